// The controller link over a real pseudo-terminal against ravik-sim: start-up outcomes of both
// programs' styles (low latency asked at each open), back-pressure and the bare end-of-file
// reply. (A controller that goes away is played with the real programs in test_faults.cpp.)
#include "controllerlink.h"
#include "fakedialogs.h"
#include "qtapp.h"
#include "qtserialport.h"
#include "simprocess.h"
#include "tempfiles.h"
#include "upload.h"
#include "uploaderwindow.h"
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace ravik;

namespace {

// The port, recording each request for low latency: (open then, the driver took it).
struct Recording : QtSerialPort {
    using QtSerialPort::QtSerialPort;
    std::vector<std::pair<bool, bool>> asked;
    bool requestLowLatency(qintptr handle) override {
        asked.emplace_back(isOpen(), QtSerialPort::requestLowLatency(handle));
        return asked.back().second;
    }
};

// A working directory, a simulator, and one link, its events written down as they come.
struct Bench {
    QApplication& app = TestApp();
    QTemporaryDir dir;
    test::SimProcess sim;
    Tokens tokens;
    Recording port{dir.path()};
    ControllerLink link{port};
    QString events; // "found N", "absent N", "foreign N", "lost"

    Bench() {
        QObject::connect(&link, &ControllerLink::found,
                         [this](int n) { events += "found " + QString::number(n); });
        QObject::connect(
            &link, &ControllerLink::notFound, [this](int n, ControllerLink::Absence why) {
                events += (why == ControllerLink::Absence::Foreign ? "foreign " : "absent ") +
                          QString::number(n);
            });
        QObject::connect(&link, &ControllerLink::lost, [this] { events += "lost"; });
    }

    // Runs the start-up with `settings` ("<dir>": a directory named Ravik.ini) and the simulator
    // on `simPort` (0: none); returns the events.
    QString startUp(const QByteArray& settings, int simPort,
                    const std::vector<std::string>& simArgs = {}) {
        const QString ini = dir.filePath("Ravik.ini");
        settings == "<dir>" ? void(QDir().mkdir(ini)) : void(WriteFile(ini, settings));
        EXPECT_TRUE(!simPort || sim.start(dir.path().toStdString(), simPort, simArgs));
        // Port 9 has no device: a dangling link, so no real /dev/ttyS8 is ever probed.
        QFile::link(dir.filePath("gone"), dir.filePath("COM9"));
        link.start(tokens, ini);
        (void)QTest::qWaitFor([&] { return !events.isEmpty(); }, 5000);
        return events;
    }
};

// (name, settings, simulator port, its arguments, the outcome)
TEST(StartUpOverAPseudoTerminal, Outcomes) {
    const QByteArray port3 = "Comm Port 3\r\n";
    const std::tuple<const char*, QByteArray, int, std::vector<std::string>, QString> cases[] = {
        {"found on port 3", port3, 3, {}, "found 3"},
        {"silent controller", port3, 3, {"--silent"}, "absent 3"},
        {"exactly 4 characters", port3, 3, {"--short-answer"}, "absent 3"},
        {"product word in capitals", port3, 3, {"--caps"}, "foreign 3"},
        {"port without a device", "Comm Port 9\r\n", 0, {}, "absent 9"},
        {"2.5 opens port 2", "Comm Port 2.5\r\n", 2, {}, "found 2"},
        {"3.5 opens port 4", "Comm Port 3.5\r\n", 4, {}, "found 4"},
        {"chatter before the request is discarded", port3, 3, {"--chatter", "noise"}, "found 3"},
        {"answer in pieces", port3, 3, {"--pieces", "50"}, "found 3"},
        {"a directory named Ravik.ini", "<dir>", 1, {}, "absent 0"},
    };
    for (const auto& [name, settings, simPort, simArgs, outcome] : cases) {
        Bench bench;
        EXPECT_EQ(bench.startUp(settings, simPort, simArgs), outcome) << name;
        EXPECT_EQ(bench.link.isOpen(), outcome.startsWith("found")) << name;
        // Every open asks the driver for low latency, on the port it has just opened; a
        // pseudo-terminal refuses, and the controller is found all the same.
        if (bench.link.isOpen()) {
            EXPECT_EQ(bench.port.asked, (std::vector<std::pair<bool, bool>>{{true, false}}));
        }
    }
}

// A long pass against a controller that answers no line and reads nothing for 2 s: the port's
// buffers fill, which is back-pressure, never a lost controller, and no line is cut.
TEST(UploadOverAPseudoTerminal, AFullOutputBufferIsWaitedOut) {
    Bench bench;
    std::vector<QByteArray> lines;
    for (int i = 0; i < 3000; ++i)
        lines.push_back(
            QString::asprintf("2026/12/07 10:%02d:%02d %d %d\r", i / 60, i % 60, i % 360, i % 90)
                .toLatin1());
    const std::string expected =
        "?" + QByteArrayList(lines.begin(), lines.end()).join().toStdString() + "Z";
    ASSERT_EQ(bench.startUp("Comm Port 1\r\n", 1, {"--silent-after", "1", "--read-stall", "2000"}),
              "found 1");
    Upload upload(bench.link);
    upload.setBudgets({100, 20, 100, 100});
    qint64 mostWaiting = 0; // bytes the port has not taken yet: never more than a line
    QObject::connect(&upload, &Upload::lineSent,
                     [&] { mostWaiting = std::max(mostWaiting, bench.link.bytesToWrite()); });
    std::optional<Upload::Outcome> outcome;
    QObject::connect(&upload, &Upload::finished, [&](Upload::Outcome o) { outcome = o; });
    upload.start(lines);
    EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 60000));
    EXPECT_EQ(outcome, Upload::Outcome::Done);
    EXPECT_LE(mostWaiting, qsizetype(strlen("2026/12/07 10:00:00 359 89\r")));
    bench.link.requestStatus();
    EXPECT_TRUE(bench.link.isOpen());
    bench.link.close(); // what the port has not taken yet still goes out, whole, as it drains
    (void)QTest::qWaitFor([&] { return bench.sim.received().size() >= expected.size(); }, 60000);
    const std::string got = bench.sim.received();
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);       // whole lines in order, then the status request
    EXPECT_EQ(bench.events, "found 1"); // never lost
}

// A 28-line pass against a controller that answers each line with the end-of-file character
// alone: each line goes out as soon as that reply has come, never at the clock's pace (once a
// clock tick per line, 27 s, when a bare end-of-file was not taken for a reply).
TEST(UploadOverAPseudoTerminal, ABareEndOfFileAnswersItsLineAtOnce) {
    Bench bench;
    QByteArray pass = "Satellite\r\nTime Az El\r\n";
    for (int i = 0; i < 28; ++i)
        pass += QString::asprintf("05Dec2002 23%02d %d 10 1 2 3\r\n", i, i * 5).toLatin1();
    FakeDialogs dialogs;
    dialogs.files << WriteFile(bench.dir.filePath("pass.out"), pass);
    ASSERT_TRUE(bench.sim.start(bench.dir.path().toStdString(), 1, {"--bare-eof"}));
    SystemTimeZone zone;
    SystemClock clock;
    ravik::UploaderWindow window({&bench.port, &dialogs, &zone, &clock,
                                  WriteFile(bench.dir.filePath("Ravik.ini"), "Comm Port 1\r\n")});
    window.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.link().isOpen(); }));
    QElapsedTimer took;
    took.start();
    window.sendEphemeris();
    const auto lines = [&] {
        const std::string got = bench.sim.received();
        return std::count(got.begin(), got.end(), '\r');
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return lines() == 28; }, 60000));
    EXPECT_LT(took.elapsed(), 8000) << "28 lines";
    EXPECT_EQ(dialogs.said, "");
}

} // namespace
