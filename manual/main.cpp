#include "dialogs.h"
#include "formbuilder.h"
#include "manualwindow.h"
#include "qtserialport.h"
#include <QApplication>

int main(int argc, char* argv[]) {
    if (!ravik::haveDisplay("handpoint"))
        return 2;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("handpoint"));
    ravik::QtSerialPort port;
    ravik::WidgetDialogs dialogs(nullptr);
    ravik::ManualWindow window({&port, &dialogs});
    dialogs.setParent(&window);
    window.start();
    window.show();
    return app.exec();
}
