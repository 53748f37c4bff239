// Start-up of a skypass window up to its first exposure, with a controller on the port (ravik-sim
// at 9600 baud emulation) against the same start-up on a port that fails at once (a dangling
// COM link). The difference is what the probe costs; it is set against the controller's own
// answer time, measured in the same run over a plain file descriptor.
// Usage: bench_startup [rounds]   (default 20)
#include "benchcommon.h"
#include "dialogs.h"
#include "qtserialport.h"
#include "simprocess.h"
#include "uploaderwindow.h"
#include "utcclock.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using ravik::test::SimProcess;

namespace {

using bench::die;
using bench::writeFile;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct FixedZone : ravik::TimeZoneQuery {
    ravik::TimeZoneInfo query() const override { return {1, 0, 60}; }
};

struct NoDialogs : ravik::Dialogs {
    void message(const QString& text, const QString&, Icon, const QString&) override {
        die("unexpected message box: " + text.toStdString());
    }
    QString chooseFile(const QStringList&) override { return {}; }
};

// A working folder with its settings file.
struct Folder {
    QTemporaryDir dir;
    QString ini = dir.filePath(QStringLiteral("Ravik.ini"));
    explicit Folder(int port) {
        QFile f(ini);
        const QByteArray line = "Comm Port " + QByteArray::number(port) + "\r\n";
        if (!f.open(QIODevice::WriteOnly) || f.write(line) != line.size())
            die("cannot write the settings file");
    }
};

// Milliseconds from nothing to a shown, exposed window that has run its start-up; the port is
// open afterwards exactly when `expectOpen`.
double StartUpMs(const Folder& folder, bool expectOpen) {
    QElapsedTimer clock;
    clock.start();
    ravik::QtSerialPort port(folder.dir.path());
    NoDialogs dialogs;
    FixedZone zone;
    ravik::SystemClock utc;
    ravik::UploaderWindow window({&port, &dialogs, &zone, &utc, folder.ini});
    QObject::connect(&window, &ravik::ControllerWindow::started, &window, &QWidget::show);
    window.start();
    while (!window.windowHandle() || !window.windowHandle()->isExposed()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (clock.elapsed() > 10000)
            die("the window was never exposed");
    }
    QCoreApplication::processEvents(); // its first paint
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    if (window.link().isOpen() != expectOpen)
        die(expectOpen ? "the controller was not found" : "a missing port opened");
    return ms;
}

// From writing "?" to holding the five characters the probe decides on, over a raw descriptor.
double AnswerMs(const std::string& device) {
    const int fd = ravik::test::openRawPort(device);
    if (fd < 0)
        die("cannot open " + device);
    QElapsedTimer clock;
    clock.start();
    ravik::test::writeBytes(fd, "?");
    size_t got = 0;
    while (got < 5) {
        pollfd p{fd, POLLIN, 0};
        char buf[64];
        if (::poll(&p, 1, 5000) <= 0 || !(p.revents & POLLIN))
            die("the controller did not answer");
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            die("the line went away");
        got += size_t(n);
    }
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    // Let the rest of the answer come before closing, so the next opener finds a quiet line.
    ravik::test::readUntil(fd, "\n", 200);
    ::close(fd);
    return ms;
}

void Pause(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
}

} // namespace

int main(int argc, char** argv) {
    bench::offscreenUnlessSet();
    QApplication app(argc, argv);
    const int rounds = bench::countArgument(argc, argv, 20, 1, 100000, "rounds");

    Folder present(1);
    SimProcess sim;
    if (!sim.start(present.dir.path().toStdString(), 1, {"--baud"}))
        die("ravik-sim did not start: " + sim.error());
    Folder missing(9);
    if (!QFile::link(missing.dir.filePath(QStringLiteral("gone")),
                     missing.dir.filePath(QStringLiteral("COM9"))))
        die("cannot make the dangling link");

    // The first window of a process pays for fonts, styles and plugins; leave that out.
    StartUpMs(missing, false);
    StartUpMs(present, true);
    Pause(100);

    std::vector<double> with, without, answer;
    for (int i = 0; i < rounds; ++i) {
        with.push_back(StartUpMs(present, true));
        Pause(50); // the controller sees the port closed and goes quiet
        without.push_back(StartUpMs(missing, false));
        answer.push_back(AnswerMs(sim.devicePath()));
        Pause(50);
    }
    const double w = Median(with), wo = Median(without), a = Median(answer);
    std::printf("start-up to a shown window (median of %d): %.1f ms with the controller at 9600 "
                "baud, %.1f ms on a port that fails at once\n",
                rounds, w, wo);
    std::printf("controller's own answer time (first 5 characters of the identification): %.1f "
                "ms\n",
                a);
    std::printf("probe cost: %.1f ms over the controller's own answer time (goal <= answer + 20 "
                "ms)\n",
                w - wo - a);
    std::printf("start-up with controller / without: %.2fx\n", w / wo);
    return 0;
}
