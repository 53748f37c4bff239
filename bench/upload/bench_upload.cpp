// Two measurements of the paced upload, each against a reference taken in the same run:
//  1. a 1,000-point upload to ravik-sim at 9600 baud emulation, from the first write to the end
//     of the last line's reply, against the pure wire time of the bytes exchanged;
//  2. the CPU time a skypass window spends while an upload waits on a silent controller, against
//     the wall time of the wait.
// Usage: bench_upload [points [upload|cpu]]   (default: 1000 points, both measurements)
#include "benchcommon.h"
#include "controllerlink.h"
#include "dialogs.h"
#include "qtserialport.h"
#include "simprocess.h"
#include "upload.h"
#include "uploaderwindow.h"
#include "utcclock.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>

using ravik::test::SimProcess;

namespace {

using bench::die;
using bench::writeFile;

constexpr double BitsPerChar = 10.0; // start, 8 data, stop
constexpr double Baud = 9600.0;

double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The serial layer as the programs use it, counting the bytes both ways and noting the moment
// of the first write after reset().
class CountingPort : public ravik::QtSerialPort {
public:
    using QtSerialPort::QtSerialPort;
    qint64 sent = 0;
    qint64 received = 0; // end-of-file characters are not handed out; they are added separately
    QElapsedTimer firstWrite;

    void reset() {
        sent = received = 0;
        firstWrite.invalidate();
    }
    QByteArray readAll() override {
        QByteArray bytes = QtSerialPort::readAll();
        received += bytes.size();
        return bytes;
    }
    bool write(const QByteArray& bytes) override {
        if (!firstWrite.isValid())
            firstWrite.start();
        sent += bytes.size();
        return QtSerialPort::write(bytes);
    }
};

// One upload line per point; consecutive points differ, as a real pass's sent points do.
std::vector<QByteArray> PassLines(int count) {
    std::vector<QByteArray> lines;
    lines.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        const int seconds = i * 30;
        lines.push_back(QString::asprintf("2030/06/%02d %02d:%02d:%02d %d %d\r",
                                          1 + seconds / 86400, seconds / 3600 % 24,
                                          seconds / 60 % 60, seconds % 60, i * 5 % 360,
                                          i * 5 % 95 / 5 * 5)
                            .toLatin1());
    }
    return lines;
}

// Runs the event loop until `done` holds or `ms` pass.
void runFor(int ms, const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

void UploadAgainstWireTime(int points) {
    QTemporaryDir dir;
    SimProcess sim;
    if (!sim.start(dir.path().toStdString(), 1, {"--baud"}))
        die(("ravik-sim did not start: " + sim.error()).c_str());
    const QString ini = dir.filePath(QStringLiteral("Ravik.ini"));
    writeFile(ini, "Comm Port 1\r\n");

    CountingPort port(dir.path());
    ravik::ControllerLink link(port);
    ravik::Tokens tokens;
    link.start(tokens, ini);
    runFor(5000, [&] { return link.isOpen(); });
    if (!link.isOpen())
        die("the controller was not found");
    ravik::Upload upload(link);
    // Let the rest of the identification answer arrive and be passed over.
    runFor(300, [] { return false; });

    const std::vector<QByteArray> lines = PassLines(points);
    qint64 ends = 0;
    double elapsedMs = -1;
    QObject::connect(&link, &ravik::ControllerLink::replyEnded, [&] {
        if (++ends == points)
            elapsedMs = double(port.firstWrite.nsecsElapsed()) / 1e6;
    });
    std::optional<ravik::Upload::Outcome> outcome;
    QObject::connect(&upload, &ravik::Upload::finished, [&](auto o) { outcome = o; });
    port.reset();
    upload.start(lines);
    runFor(600000, [&] { return outcome.has_value(); });
    if (outcome != ravik::Upload::Outcome::Done) {
        std::fprintf(stderr, "outcome %d after %lld bytes, %lld replies\n",
                     outcome ? int(*outcome) : -1, static_cast<long long>(port.sent),
                     static_cast<long long>(ends));
        die("the upload did not complete");
    }
    // The upload ends once the last reply has begun; its end is what the operator waits for.
    runFor(10000, [&] { return elapsedMs >= 0; });
    if (elapsedMs < 0)
        die("the last reply never ended");

    const qint64 received = port.received + ends;
    const double wireMs = double(port.sent + received) * BitsPerChar * 1000.0 / Baud;
    const double fullDuplexMs = double(std::max(port.sent, received)) * BitsPerChar * 1000.0 / Baud;
    std::printf("upload of %d points at 9600 baud emulation: %.0f ms; %lld bytes sent, %lld "
                "received (%lld replies)\n",
                points, elapsedMs, static_cast<long long>(port.sent),
                static_cast<long long>(received), static_cast<long long>(ends));
    std::printf("wire time of those bytes: %.0f ms one after the other, %.0f ms if both "
                "directions overlap fully\n",
                wireMs, fullDuplexMs);
    std::printf("upload/wire time: %.2fx (goal <= 1.05)\n", elapsedMs / wireMs);
    std::printf("upload/full-duplex wire time: %.2fx\n", elapsedMs / fullDuplexMs);
    std::fflush(stdout);
}

struct OneFile : ravik::Dialogs {
    QString file;
    void message(const QString& text, const QString&, Icon, const QString&) override {
        std::fprintf(stderr, "bench_upload: message box: %s\n", qPrintable(text));
    }
    QString chooseFile(const QStringList&) override { return file; }
};

// A skypass window, shown, whose upload waits on a controller that answered the first line and
// then fell silent. The wait is measured from one second into it for `waitMs`.
void CpuWhileWaiting(int waitMs) {
    QTemporaryDir dir;
    SimProcess sim;
    if (!sim.start(dir.path().toStdString(), 1, {"--silent-after", "1"}))
        die(("ravik-sim did not start: " + sim.error()).c_str());
    const QString ini = dir.filePath(QStringLiteral("Ravik.ini"));
    writeFile(ini, "Comm Port 1\r\n");

    ravik::QtSerialPort port(dir.path());
    OneFile dialogs;
    dialogs.file = QStringLiteral(RAVIK_SOURCE_DIR "/uploader/samples/pass-nova.out");
    ravik::SystemTimeZone zone;
    ravik::SystemClock clock;
    // The second line's wait outlasts the measurement; nothing after it is waited for.
    const ravik::Upload::Budgets budgets{10000, waitMs + 5000, waitMs + 5000, 0};
    ravik::UploaderWindow window({&port, &dialogs, &zone, &clock, ini, 1000, budgets});
    window.start();
    window.show();
    runFor(5000, [&] { return window.link().isOpen(); });
    if (!window.link().isOpen())
        die("the controller was not found");

    double cpu0 = 0, cpu1 = 0;
    qint64 wall0 = 0, wall1 = 0;
    quint64 receives = 0, receives0 = 0, receives1 = 0;
    QObject::connect(&window.link(), &ravik::ControllerLink::received, [&] { ++receives; });
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(1000, Qt::PreciseTimer, [&] {
        receives0 = receives;
        cpu0 = processCpuSeconds();
        wall0 = wall.nsecsElapsed();
    });
    QTimer::singleShot(1000 + waitMs, Qt::PreciseTimer, [&] {
        cpu1 = processCpuSeconds();
        wall1 = wall.nsecsElapsed();
        receives1 = receives;
        window.shutDown(); // ends the upload's wait
    });
    QTimer::singleShot(0, [&] { window.sendEphemeris(); });
    while (wall1 == 0 && wall.elapsed() < waitMs + 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    if (wall1 == 0)
        die("the wait was not measured");
    if (receives1 != receives0)
        die("the controller was not silent during the measurement");

    const double wallSeconds = double(wall1 - wall0) / 1e9;
    std::printf("cpu while waiting on a silent controller: %.3f s CPU in %.2f s\n", cpu1 - cpu0,
                wallSeconds);
    std::printf("cpu/wall while waiting: %.1f%% (goal <= 2%%)\n",
                100.0 * (cpu1 - cpu0) / wallSeconds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    bench::offscreenUnlessSet();
    QApplication app(argc, argv);
    const int points = bench::countArgument(argc, argv, 1000, 1, 10001, "points");
    const QByteArray only = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    if (only.isEmpty() || only == "cpu")
        CpuWhileWaiting(10000);
    if (only.isEmpty() || only == "upload")
        UploadAgainstWireTime(points);
    return 0;
}
