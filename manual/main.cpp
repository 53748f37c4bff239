#include "dialogs.h"
#include "formbuilder.h"
#include "manualwindow.h"
#include "qtserialport.h"
#include <QApplication>

int main(int argc, char* argv[]) {
    if (!ravik::haveDisplay("handpoint"))
        return 2;
    QApplication app(argc, argv);
    // Closing the window ends the program only once the line has carried what was on its way.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("handpoint"));
    ravik::QtSerialPort port;
    ravik::WidgetDialogs dialogs(nullptr);
    ravik::ManualWindow window({&port, &dialogs});
    dialogs.setParent(&window);
    return ravik::runWindowProgram(window, port);
}
