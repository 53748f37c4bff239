// The controller link over a real pseudo-terminal against ravik-sim: start-up outcomes of both
// programs' styles. (A controller that goes away is played with the real programs in
// test_faults.cpp.)
#include "controllerlink.h"
#include "messagetext.h"
#include "qtapp.h"
#include "qtserialport.h"
#include "simprocess.h"
#include "tempfiles.h"
#include "upload.h"
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <thread>

using ravik::FoundLine;
using ravik::LinkStyle;
using ravik::NotFoundLine;

namespace {

// A working directory with a settings file, a simulator, and one link as a program has it.
struct Bench {
    QTemporaryDir dir;
    ravik::test::SimProcess sim;
    ravik::TokenList tokens;
    std::unique_ptr<ravik::QtSerialPort> port;
    ravik::MessageText box;
    std::unique_ptr<ravik::ControllerLink> link;

    // Runs a program's start-up with `settings` ("<dir>": a directory named Ravik.ini) and the
    // simulator on `simPort` (0: none), the box holding `initial`; returns what it then holds.
    QString startUp(LinkStyle style, const QByteArray& settings, int simPort,
                    const std::vector<std::string>& simArgs = {}, const QString& initial = {}) {
        TestApp();
        const QString ini = dir.filePath(QStringLiteral("Ravik.ini"));
        if (settings == "<dir>")
            QDir(dir.path()).mkdir(QStringLiteral("Ravik.ini"));
        else if (!settings.isNull())
            WriteFile(ini, settings);
        if (simPort && !sim.start(dir.path().toStdString(), simPort, simArgs))
            throw std::runtime_error("ravik-sim: " + sim.error());
        // Port 9 has no device: a dangling link, so no real /dev/ttyS8 is ever probed.
        QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("COM9")));
        port = std::make_unique<ravik::QtSerialPort>(dir.path());
        box.setText(initial);
        link = std::make_unique<ravik::ControllerLink>(*port, box, style);
        link->start(tokens, ini);
        return box.text();
    }
};

TEST(StartUpOverAPseudoTerminal, Outcomes) {
    struct Case {
        const char* name;
        QByteArray settings; // null: no settings file
        int simPort;         // 0: no simulator
        std::vector<std::string> simArgs;
        QString line; // the outcome line; empty: none written, the box keeps its text
    } cases[] = {
        {"found on port 3", "Comm Port 3\r\n", 3, {}, FoundLine(3)},
        {"silent controller", "Comm Port 3\r\n", 3, {"--silent"}, NotFoundLine(3)},
        {"exactly 4 characters", "Comm Port 3\r\n", 3, {"--short-answer"}, NotFoundLine(3)},
        {"product word in capitals", "Comm Port 3\r\n", 3, {"--caps"}, {}},
        {"port 0", "Comm Port 0\r\n", 0, {}, NotFoundLine(0)},
        {"port without a device", "Comm Port 9\r\n", 0, {}, NotFoundLine(9)},
        {"40000 does not fit", "Comm Port 40000\r\n", 3, {}, NotFoundLine(0)},
        {"2.5 opens port 2", "Comm Port 2.5\r\n", 2, {}, FoundLine(2)},
        {"3.5 opens port 4", "Comm Port 3.5\r\n", 4, {}, FoundLine(4)},
        {"chatter before the request is discarded",
         "Comm Port 3\r\n",
         3,
         {"--chatter", "noise noise"},
         FoundLine(3)},
        {"answer in pieces", "Comm Port 3\r\n", 3, {"--pieces", "50"}, FoundLine(3)},
        {"no settings file: default port 1", {}, 1, {}, FoundLine(1)},
        {"empty settings file", "", 1, {}, FoundLine(1)},
        {"binary settings file", QByteArray("\x00\x01\xff\xfe\r\n", 6), 1, {}, FoundLine(1)},
        {"huge settings file", QByteArray(2 << 20, 'x') + "\r\n", 1, {}, FoundLine(1)},
        {"a directory named Ravik.ini", "<dir>", 1, {}, NotFoundLine(0)},
    };
    for (const Case& c : cases) {
        for (LinkStyle style : {LinkStyle::Uploader, LinkStyle::Manual}) {
            const bool manual = style == LinkStyle::Manual;
            SCOPED_TRACE(std::string(c.name) + (manual ? " (handpoint)" : " (skypass)"));
            Bench bench;
            // skypass appends its line to its time-zone line ("tz"), handpoint replaces "Text1".
            const QString initial = manual ? QStringLiteral("Text1\r\n") : QStringLiteral("tz\r\n");
            EXPECT_EQ(bench.startUp(style, c.settings, c.simPort, c.simArgs, initial),
                      c.line.isEmpty() ? initial
                      : manual         ? c.line
                                       : initial + c.line);
            EXPECT_EQ(bench.link->isOpen(),
                      c.line.startsWith(QStringLiteral("The controller was found")));
            bench.link->close();
            bench.link->close(); // closing twice, or after a failed start-up, is harmless
        }
    }
}

TEST(StartUpOverAPseudoTerminal, IdentificationLeftoversFollowTheFoundLine) {
    Bench bench;
    bench.startUp(LinkStyle::Manual, "Comm Port 1\r\n", 1, {"--pieces", "30"});
    ASSERT_TRUE(bench.link->isOpen());
    // The rest of the answer arrives after the probe's piece and is shown after the line.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return bench.box.text().endsWith("\r\n") && bench.box.text() != FoundLine(1); },
        5000));
    EXPECT_TRUE(bench.box.text().startsWith(FoundLine(1)));
    EXPECT_TRUE(bench.box.text().contains(QStringLiteral("controller")));
}

// A controller on the far end of a pseudo-terminal that answers the probe, then reads nothing
// for `stallMs` (the line's buffers fill), then takes everything; it never answers a line.
class StallingController {
public:
    explicit StallingController(int stallMs) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ::grantpt(master_);
        ::unlockpt(master_);
        device_ = QString::fromLocal8Bit(::ptsname(master_));
        thread_ = std::thread([this, stallMs] {
            using ravik::test::readUntil;
            received_ = readUntil(master_, "?", 10000);
            ravik::test::writeBytes(master_, "Ravik RC-2 rotator controller\r\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
            received_ += readUntil(master_, "\rZ", 60000);
        });
    }
    ~StallingController() {
        if (thread_.joinable())
            thread_.join();
        ::close(master_);
    }
    const QString& device() const { return device_; }
    std::string received() {
        thread_.join();
        return received_;
    }

private:
    int master_ = -1;
    QString device_;
    std::thread thread_;
    std::string received_;
};

// A long pass against a controller that takes its bytes slowly or not at all for a while: the
// port's buffers fill, which is back-pressure, never a lost controller, and no line is cut.
TEST(UploadOverAPseudoTerminal, AFullOutputBufferIsWaitedOut) {
    struct Case {
        const char* name;
        std::vector<std::string> simArgs; // empty: the stalling controller above
        int lines;
    } cases[] = {
        {"controller that stops reading for 2 s", {}, 3000},
        {"ravik-sim silent after a line, not reading for 2 s",
         {"--silent-after", "1", "--read-stall", "2000"},
         3000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestApp();
        std::vector<QByteArray> lines;
        std::string expected = "?";
        for (int i = 0; i < c.lines; ++i) {
            lines.push_back(QStringLiteral("2026/12/07 %1:%2:%3 %4 %5\r")
                                .arg(10 + i / 3600)
                                .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                                .arg(i % 60, 2, 10, QLatin1Char('0'))
                                .arg(i % 360)
                                .arg(i % 90)
                                .toLatin1());
            expected += lines.back().toStdString();
        }
        expected += "Z";
        QTemporaryDir dir;
        ravik::test::SimProcess sim;
        std::unique_ptr<StallingController> stalling;
        ravik::QtSerialPort port(dir.path());
        if (c.simArgs.empty()) {
            stalling = std::make_unique<StallingController>(2000);
            port.setDevicePath(stalling->device());
        } else {
            ASSERT_TRUE(sim.start(dir.path().toStdString(), 1, c.simArgs)) << sim.error();
        }
        ravik::MessageText box;
        ravik::ControllerLink link(port, box, LinkStyle::Uploader);
        ASSERT_TRUE(link.probe(1)) << box.text().toStdString();
        ravik::Upload upload(link);
        upload.setBudgets({100, 20, 100, 100});
        qint64 mostWaiting = 0; // bytes not yet taken by the port: never more than a line
        QObject::connect(&upload, &ravik::Upload::lineSent,
                         [&] { mostWaiting = std::max(mostWaiting, link.bytesToWrite()); });
        EXPECT_EQ(upload.send(lines), ravik::Upload::Outcome::Done);
        EXPECT_LE(mostWaiting, qsizetype(std::string_view("2026/12/07 10:00:00 359 89\r").size()));
        link.requestStatus();
        EXPECT_TRUE(link.isOpen());
        const std::string got =
            stalling ? stalling->received() : sim.waitReceived(expected.size(), 60000);
        EXPECT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got == expected);
        EXPECT_FALSE(box.text().contains(QStringLiteral("not on port")));
        link.close();
    }
}

} // namespace
