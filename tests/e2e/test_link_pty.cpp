// The controller link over a real pseudo-terminal against ravik-sim: start-up outcomes of both
// programs' styles, the leftovers of the identification answer, and back-pressure. (A controller
// that goes away is played with the real programs in test_faults.cpp; the settings file's own
// cases are in tests/link.)
#include "controllerlink.h"
#include "messagetext.h"
#include "qtapp.h"
#include "qtserialport.h"
#include "simprocess.h"
#include "tempfiles.h"
#include "upload.h"
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace ravik;

namespace {

// A working directory, a simulator, and one link as a program in `style` has it.
struct Bench {
    QApplication& app = TestApp();
    QTemporaryDir dir;
    test::SimProcess sim;
    TokenList tokens;
    QtSerialPort port{dir.path()};
    MessageText box;
    ControllerLink link;

    explicit Bench(LinkStyle style) : link(port, box, style) {}

    // Runs the start-up with `settings` ("<dir>": a directory named Ravik.ini) and
    // the simulator on `simPort` (0: none), the box holding `initial`; returns what it then holds.
    QString startUp(const QByteArray& settings, int simPort,
                    const std::vector<std::string>& simArgs = {}, const QString& initial = {}) {
        const QString ini = dir.filePath("Ravik.ini");
        settings == "<dir>" ? void(QDir().mkdir(ini)) : void(WriteFile(ini, settings));
        EXPECT_TRUE(!simPort || sim.start(dir.path().toStdString(), simPort, simArgs));
        // Port 9 has no device: a dangling link, so no real /dev/ttyS8 is ever probed.
        QFile::link(dir.filePath("gone"), dir.filePath("COM9"));
        box.setText(initial);
        link.start(tokens, ini);
        return box.text();
    }
};

// (name, settings, simulator port, its arguments, the outcome line; empty: none written and the
// box keeps its text)
TEST(StartUpOverAPseudoTerminal, Outcomes) {
    const QByteArray port3 = "Comm Port 3\r\n";
    const std::tuple<const char*, QByteArray, int, std::vector<std::string>, QString> cases[] = {
        {"found on port 3", port3, 3, {}, FoundLine(3)},
        {"silent controller", port3, 3, {"--silent"}, NotFoundLine(3)},
        {"exactly 4 characters", port3, 3, {"--short-answer"}, NotFoundLine(3)},
        {"product word in capitals", port3, 3, {"--caps"}, {}},
        {"port without a device", "Comm Port 9\r\n", 0, {}, NotFoundLine(9)},
        {"2.5 opens port 2", "Comm Port 2.5\r\n", 2, {}, FoundLine(2)},
        {"3.5 opens port 4", "Comm Port 3.5\r\n", 4, {}, FoundLine(4)},
        {"chatter before the request is discarded", port3, 3, {"--chatter", "noise"}, FoundLine(3)},
        {"answer in pieces", port3, 3, {"--pieces", "50"}, FoundLine(3)},
        {"a directory named Ravik.ini", "<dir>", 1, {}, NotFoundLine(0)},
    };
    for (const auto& [name, settings, simPort, simArgs, line] : cases)
        for (bool manual : {false, true}) {
            Bench bench(manual ? LinkStyle::Manual : LinkStyle::Uploader);
            // skypass appends its line to its time-zone line ("tz"), handpoint replaces "Text1".
            const QString initial = manual ? "Text1\r\n" : "tz\r\n";
            const QString want = line.isEmpty() ? initial : manual ? line : initial + line;
            EXPECT_EQ(bench.startUp(settings, simPort, simArgs, initial), want) << name << manual;
            EXPECT_EQ(bench.link.isOpen(), line == FoundLine(simPort)) << name << manual;
        }
}

// The probe reads what has come once more than four characters wait (whole 3-character pieces
// here); the rest of the identification answer is then shown after the found line like any other
// reply, without the part the probe consumed.
TEST(StartUpOverAPseudoTerminal, IdentificationLeftoversFollowTheFoundLine) {
    const QString ident = QStringLiteral("Ravik RC-2 rotator controller\r\n"), found = FoundLine(1);
    Bench bench(LinkStyle::Manual);
    bench.startUp("Comm Port 1\r\n", 1, {"--pieces", "100"});
    const auto text = [&] { return bench.box.text(); };
    (void)QTest::qWaitFor([&] { return text() != found && text().endsWith("\r\n"); }, 5000);
    QTest::qWait(300); // a duplicated piece would come after
    const QString rest = text().mid(found.size());
    ASSERT_TRUE(text().startsWith(found)) << text().toStdString();
    EXPECT_TRUE(ident.endsWith(rest)) << rest.toStdString();
    // At least the line end; what the probe read is not shown again.
    EXPECT_TRUE(rest.size() >= 2 && rest.size() <= ident.size() - 5) << rest.toStdString();
}

// A long pass against a controller that answers no line and reads nothing for 2 s: the port's
// buffers fill, which is back-pressure, never a lost controller, and no line is cut.
TEST(UploadOverAPseudoTerminal, AFullOutputBufferIsWaitedOut) {
    Bench bench(LinkStyle::Uploader);
    std::vector<QByteArray> lines;
    for (int i = 0; i < 3000; ++i)
        lines.push_back(
            QString::asprintf("2026/12/07 10:%02d:%02d %d %d\r", i / 60, i % 60, i % 360, i % 90)
                .toLatin1());
    const std::string expected =
        "?" + QByteArrayList(lines.begin(), lines.end()).join().toStdString() + "Z";
    ASSERT_TRUE(bench.sim.start(bench.dir.path().toStdString(), 1,
                                {"--silent-after", "1", "--read-stall", "2000"}));
    ASSERT_TRUE(bench.link.probe(1)) << bench.box.text().toStdString();
    Upload upload(bench.link);
    upload.setBudgets({100, 20, 100, 100});
    qint64 mostWaiting = 0; // bytes the port has not taken yet: never more than a line
    QObject::connect(&upload, &Upload::lineSent,
                     [&] { mostWaiting = std::max(mostWaiting, bench.link.bytesToWrite()); });
    EXPECT_EQ(upload.send(lines), Upload::Outcome::Done);
    EXPECT_LE(mostWaiting, qsizetype(strlen("2026/12/07 10:00:00 359 89\r")));
    bench.link.requestStatus();
    EXPECT_TRUE(bench.link.isOpen());
    bench.link.close(); // what the port has not taken yet still goes out, whole, as it drains
    (void)QTest::qWaitFor([&] { return bench.sim.received().size() >= expected.size(); }, 60000);
    const std::string got = bench.sim.received();
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected); // whole lines in order, then the status request
    EXPECT_FALSE(bench.box.text().contains(QStringLiteral("not on port")));
}

// Every open asks the driver for low latency, on the port it has just opened; a pseudo-terminal
// refuses, and the controller is found all the same.
TEST(LowLatencyOverAPseudoTerminal, AskedAtOpenRefusalIsNoError) {
    struct Recording : QtSerialPort {
        using QtSerialPort::QtSerialPort;
        std::vector<std::pair<bool, bool>> asked; // (open then, the driver took it)
        bool requestLowLatency(qintptr handle) override {
            asked.emplace_back(isOpen(), QtSerialPort::requestLowLatency(handle));
            return asked.back().second;
        }
    };
    TestApp();
    QTemporaryDir dir;
    test::SimProcess sim;
    ASSERT_TRUE(sim.start(dir.path().toStdString(), 1, {}));
    Recording port(dir.path());
    MessageText box;
    ControllerLink link(port, box, LinkStyle::Manual);
    TokenList tokens;
    link.start(tokens, WriteFile(dir.filePath("Ravik.ini"), "Comm Port 1\r\n"));
    EXPECT_EQ(box.text(), FoundLine(1));
    EXPECT_EQ(port.asked, (std::vector<std::pair<bool, bool>>{{true, false}}));
}

} // namespace
