// One session of a program as its main() runs it, in the folder given as the only argument:
// start-up with the probe, the window shown, then one status request and its reply. Prints
// "VmHWM <kB>" and whether the reply arrived. Built once per program (RAVIK_HANDPOINT).
#include "dialogs.h"
#include "procstatus.h"
#include "qtserialport.h"
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QWindow>
#include <cstdio>
#include <functional>
#ifdef RAVIK_HANDPOINT
#include "manualwindow.h"
#else
#include "uploaderwindow.h"
#include "utcclock.h"
#endif

namespace {

void RunFor(int ms, const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || !QDir::setCurrent(QString::fromLocal8Bit(argv[1]))) {
        std::fputs("usage: memory_session FOLDER (with Ravik.ini)\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    ravik::QtSerialPort port;
    ravik::WidgetDialogs dialogs(nullptr);
#ifdef RAVIK_HANDPOINT
    ravik::ManualWindow window({&port, &dialogs});
#else
    ravik::SystemTimeZone zone;
    ravik::SystemClock clock;
    ravik::UploaderWindow window({&port, &dialogs, &zone, &clock});
#endif
    dialogs.setParent(&window);
    QObject::connect(&window, &ravik::ControllerWindow::started, &window, &QWidget::show);
    window.start();
    RunFor(10000, [&] { return window.windowHandle() && window.windowHandle()->isExposed(); });
    if (!window.link().isOpen()) {
        std::fputs("memory_session: the controller was not found\n", stderr);
        return 1;
    }
    window.findChild<QPushButton*>(QStringLiteral("cmdStatus"))->click();
    RunFor(5000, [&] { return window.messages().text().contains(QStringLiteral("Points ")); });
    const bool replied = window.messages().text().contains(QStringLiteral("Points "));
    RunFor(300, [] { return false; }); // the reply painted, the line quiet
    std::printf("VmHWM %ld %s\n", ravik::bench::StatusKiB("/proc/self/status", "VmHWM"),
                replied ? "replied" : "no-reply");
    return replied ? 0 : 1;
}
