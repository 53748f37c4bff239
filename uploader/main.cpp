#include "dialogs.h"
#include "qtserialport.h"
#include "uploaderwindow.h"
#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
#if defined(Q_OS_LINUX)
    // Without a display Qt would abort with a platform plugin error; say what to do instead.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("skypass needs a display. Without one, run it under a virtual display:\n"
                   "  xvfb-run -a skypass\n",
                   stderr);
        return 2;
    }
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("skypass"));
    ravik::QtSerialPort port;
    ravik::WidgetDialogs dialogs(nullptr);
    ravik::SystemTimeZone zone;
    ravik::SystemClock clock;
    skypass::frmDataUploader window({&port, &dialogs, &zone, &clock});
    dialogs.setParent(&window);
    window.Form_Load();
    window.show();
    return app.exec();
}
