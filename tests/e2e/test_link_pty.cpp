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
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

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
    const QByteArray port3 = "Comm Port 3\r\n";
    const struct {
        const char* name;
        QByteArray settings; // null: no settings file
        int simPort;         // 0: no simulator
        std::vector<std::string> simArgs;
        QString line; // the outcome line; empty: none written, the box keeps its text
    } cases[] = {
        {"found on port 3", port3, 3, {}, FoundLine(3)},
        {"silent controller", port3, 3, {"--silent"}, NotFoundLine(3)},
        {"exactly 4 characters", port3, 3, {"--short-answer"}, NotFoundLine(3)},
        {"product word in capitals", port3, 3, {"--caps"}, {}},
        {"port 0", "Comm Port 0\r\n", 0, {}, NotFoundLine(0)},
        {"port without a device", "Comm Port 9\r\n", 0, {}, NotFoundLine(9)},
        {"40000 does not fit", "Comm Port 40000\r\n", 3, {}, NotFoundLine(0)},
        {"2.5 opens port 2", "Comm Port 2.5\r\n", 2, {}, FoundLine(2)},
        {"3.5 opens port 4", "Comm Port 3.5\r\n", 4, {}, FoundLine(4)},
        {"chatter before the request is discarded", port3, 3, {"--chatter", "noise"}, FoundLine(3)},
        {"answer in pieces", port3, 3, {"--pieces", "50"}, FoundLine(3)},
        {"no settings file: default port 1", {}, 1, {}, FoundLine(1)},
        {"a directory named Ravik.ini", "<dir>", 1, {}, NotFoundLine(0)},
    };
    for (const auto& c : cases) {
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
            EXPECT_EQ(bench.link->isOpen(), c.line == FoundLine(c.simPort));
            bench.link->close();
            bench.link->close(); // closing twice, or after a failed start-up, is harmless
        }
    }
}

// The probe reads what has come once more than four characters wait (whole 3-character pieces
// here); the rest of the identification answer is then shown after the found line like any other
// reply, without the part the probe consumed.
TEST(StartUpOverAPseudoTerminal, IdentificationLeftoversFollowTheFoundLine) {
    const QString ident = QStringLiteral("Ravik RC-2 rotator controller\r\n");
    Bench bench;
    bench.startUp(LinkStyle::Manual, "Comm Port 1\r\n", 1, {"--pieces", "100"});
    ASSERT_TRUE(bench.link->isOpen());
    (void)QTest::qWaitFor(
        [&] {
            return bench.box.text().size() > FoundLine(1).size() &&
                   bench.box.text().endsWith(ident.right(2));
        },
        5000);
    QTest::qWait(300); // a duplicated piece would come after
    const QString text = bench.box.text(), rest = text.mid(FoundLine(1).size());
    ASSERT_TRUE(text.startsWith(FoundLine(1))) << text.toStdString();
    EXPECT_TRUE(ident.endsWith(rest)) << rest.toStdString();
    EXPECT_GE(rest.size(), 2);
    EXPECT_LE(rest.size(), ident.size() - 5) << "what the probe read is shown again";
}

// A long pass against a controller that answers no line and reads nothing for 2 s: the port's
// buffers fill, which is back-pressure, never a lost controller, and no line is cut.
TEST(UploadOverAPseudoTerminal, AFullOutputBufferIsWaitedOut) {
    TestApp();
    std::vector<QByteArray> lines;
    std::string expected = "?";
    for (int i = 0; i < 3000; ++i) {
        lines.push_back(QString::asprintf("2026/12/07 %d:%02d:%02d %d %d\r", 10 + i / 3600,
                                          i / 60 % 60, i % 60, i % 360, i % 90)
                            .toLatin1());
        expected += lines.back().toStdString();
    }
    expected += "Z";
    QTemporaryDir dir;
    ravik::test::SimProcess sim;
    ASSERT_TRUE(
        sim.start(dir.path().toStdString(), 1, {"--silent-after", "1", "--read-stall", "2000"}))
        << sim.error();
    ravik::QtSerialPort port(dir.path());
    ravik::MessageText box;
    ravik::ControllerLink link(port, box, LinkStyle::Uploader);
    ASSERT_TRUE(link.probe(1)) << box.text().toStdString();
    ravik::Upload upload(link);
    upload.setBudgets({100, 20, 100, 100});
    qint64 mostWaiting = 0; // bytes the port has not taken yet: never more than a line
    QObject::connect(&upload, &ravik::Upload::lineSent,
                     [&] { mostWaiting = std::max(mostWaiting, link.bytesToWrite()); });
    EXPECT_EQ(upload.send(lines), ravik::Upload::Outcome::Done);
    EXPECT_LE(mostWaiting, qsizetype(strlen("2026/12/07 10:00:00 359 89\r")));
    link.requestStatus();
    EXPECT_TRUE(QTest::qWaitFor([&] { return link.bytesToWrite() == 0; }, 10000));
    EXPECT_TRUE(link.isOpen());
    const std::string got = sim.waitReceived(expected.size(), 60000);
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected); // whole lines in order, then the status request
    EXPECT_FALSE(box.text().contains(QStringLiteral("not on port")));
}

} // namespace
