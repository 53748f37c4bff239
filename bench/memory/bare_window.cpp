// The reference for the memory bench: an empty QWidget, shown and painted, and nothing else.
// With --label it holds one text label, which is what it takes to load Qt's font machinery.
// Prints its own peak resident memory as "VmHWM <kB>".
#include "procstatus.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QWidget>
#include <QWindow>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    if (argc > 1 && QByteArray(argv[1]) == "--label")
        new QLabel(QStringLiteral("Ravik"), &window);
    window.resize(425, 335); // skypass's client size
    window.show();
    QElapsedTimer clock;
    clock.start();
    while ((!window.windowHandle() || !window.windowHandle()->isExposed()) &&
           clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    // As long as the sessions settle after their round-trip.
    while (clock.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::printf("VmHWM %ld\n", ravik::bench::StatusKiB("/proc/self/status", "VmHWM"));
    return 0;
}
