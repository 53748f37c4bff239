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
    // The window appears once the controller has been looked for, with the outcome in its box.
    QObject::connect(&window, &ravik::ControllerWindow::started, &window, &QWidget::show);
    window.start();
    return app.exec();
}
