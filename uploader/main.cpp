#include "dialogs.h"
#include "formbuilder.h"
#include "qtserialport.h"
#include "uploaderwindow.h"
#include <QApplication>

int main(int argc, char* argv[]) {
    if (!ravik::haveDisplay("skypass"))
        return 2;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("skypass"));
    ravik::QtSerialPort port;
    ravik::WidgetDialogs dialogs(nullptr);
    ravik::SystemTimeZone zone;
    ravik::SystemClock clock;
    ravik::UploaderWindow window({&port, &dialogs, &zone, &clock});
    dialogs.setParent(&window);
    window.start();
    window.show();
    return app.exec();
}
