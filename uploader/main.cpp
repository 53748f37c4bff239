#include "dialogs.h"
#include "formbuilder.h"
#include "qtserialport.h"
#include "uploaderwindow.h"
#include <QApplication>

int main(int argc, char* argv[]) {
    if (!ravik::haveDisplay("skypass"))
        return 2;
    QApplication app(argc, argv);
    // Closing the window ends the program only once the line has carried what was on its way.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("skypass"));
    ravik::QtSerialPort port;
    ravik::WidgetDialogs dialogs(nullptr);
    ravik::SystemTimeZone zone;
    ravik::SystemClock clock;
    ravik::UploaderWindow window({&port, &dialogs, &zone, &clock});
    dialogs.setParent(&window);
    return ravik::runWindowProgram(window, port);
}
