// The same job done by skypass's window and by ravik-upload, against ravik-sim --baud: find the
// controller, load a 1,000-point InstantTrack pass, send it at the controller's pace, read the
// status. skypass is timed from its start-up probe to the end of the status reply, its two-tick
// pause before the status left out (a 1 ms tick); ravik-upload from its start to its exit, the
// process start-up included. Both controllers' logs must hold the same bytes.
// Usage: bench_cli [points]   (default 1000; about a minute)
#include "benchcommon.h"
#include "dialogs.h"
#include "qtserialport.h"
#include "simprocess.h"
#include "uploaderwindow.h"
#include "utcclock.h"
#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

using ravik::test::SimProcess;

namespace {

using bench::die;
using bench::writeFile;

// One point a minute; every point is above the horizon and moves the rotors, so every point is
// sent.
QByteArray InstantTrackPass(int points) {
    static const char* const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    QByteArray text = "BENCHSAT  Station KILO  Times UTC\r\n  Date     Time   Azim   Elev\r\n";
    const QDate first(2030, 6, 1);
    for (int i = 0; i < points; ++i) {
        const QDate day = first.addDays(i / 1440);
        text += QString::asprintf("%02d%s%04d  %02d%02d  %5.1f  %5.1f   4093    3.1  112\r\n",
                                  day.day(), Months[day.month() - 1], day.year(), i / 60 % 24,
                                  i % 60, double(i * 5 % 360), double(i * 5 % 95 / 5 * 5))
                    .toLatin1();
    }
    return text;
}

struct Folder {
    QTemporaryDir dir;
    SimProcess sim;
    QString pass;
    explicit Folder(const QByteArray& passText) {
        if (!sim.start(dir.path().toStdString(), 1, {"--baud"}))
            die(("ravik-sim did not start: " + sim.error()).c_str());
        writeFile(dir.filePath(QStringLiteral("Ravik.ini")), "Comm Port 1\r\n");
        pass = dir.filePath(QStringLiteral("pass.out"));
        writeFile(pass, passText);
    }
};

struct OneFile : ravik::Dialogs {
    QString file;
    void message(const QString& text, const QString&, Icon, const QString&) override {
        die(qPrintable(QStringLiteral("message box: ") + text));
    }
    QString chooseFile(const QStringList&) override { return file; }
};

double SkypassMs(Folder& f) {
    ravik::QtSerialPort port(f.dir.path());
    OneFile dialogs;
    dialogs.file = f.pass;
    ravik::SystemTimeZone zone;
    ravik::SystemClock clock;
    ravik::UploaderWindow window(
        {&port, &dialogs, &zone, &clock, f.dir.filePath(QStringLiteral("Ravik.ini")), 1});
    QElapsedTimer t;
    t.start();
    window.start();
    while (!window.link().isOpen() && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    if (!window.link().isOpen())
        die("skypass did not find the controller");
    // Done when the status reply has ended: the box then shows its point count.
    window.sendEphemeris();
    const auto done = [&] {
        const QString& text = window.messages().text();
        return !window.uploading() && text.startsWith(QStringLiteral("Motion ")) &&
               text.contains(QStringLiteral("Points "));
    };
    while (!done() && t.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    return double(t.nsecsElapsed()) / 1e6;
}

double CliMs(Folder& f) {
    QProcess upload;
    upload.setWorkingDirectory(f.dir.path());
    QElapsedTimer t;
    t.start();
    upload.start(QStringLiteral(RAVIK_UPLOAD_PATH), {f.pass});
    if (!upload.waitForFinished(600000) || upload.exitCode() != 0)
        die(("ravik-upload failed: " + upload.readAllStandardError().toStdString()).c_str());
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (!upload.readAllStandardOutput().contains("Points "))
        die("ravik-upload printed no status");
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    bench::offscreenUnlessSet();
    QApplication app(argc, argv);
    const int points = bench::countArgument(argc, argv, 1000, 1, 10001, "points");
    const QByteArray pass = InstantTrackPass(points);

    Folder window(pass), cli(pass);
    const double skypassMs = SkypassMs(window);
    const double cliMs = CliMs(cli);
    const std::string skypassWire = window.sim.received(), cliWire = cli.sim.received();
    std::printf("%d points at 9600 baud emulation: skypass %.0f ms, ravik-upload %.0f ms; "
                "%zu bytes sent each, the same bytes: %s\n",
                points, skypassMs, cliMs, cliWire.size(), skypassWire == cliWire ? "yes" : "NO");
    std::printf("ravik-upload/skypass: %.3fx (goal <= 1.02)\n", cliMs / skypassMs);
    return skypassWire == cliWire ? 0 : 1;
}
