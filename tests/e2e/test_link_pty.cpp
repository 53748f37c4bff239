#include "controllerlink.h"
#include "messagetext.h"
#include "qtapp.h"
#include "qtserialport.h"
#include "simprocess.h"
#include "tempfiles.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using ravik::ControllerLink;
using ravik::LinkStyle;
using ravik::test::SimProcess;

namespace {

// A working directory with a settings file, a simulator, and one link as a program has it.
struct Bench {
    QTemporaryDir dir;
    SimProcess sim;
    ravik::TokenList tokens;

    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    void settings(const QByteArray& content) { WriteFile(path("Ravik.ini"), content); }
    bool startSim(int port, std::vector<std::string> extra = {}) {
        return sim.start(dir.path().toStdString(), port, extra);
    }
    // Runs a program's start-up and returns what its message box then holds.
    QString startUp(LinkStyle style, const QString& initial = {}) {
        TestApp();
        port = std::make_unique<ravik::QtSerialPort>(dir.path());
        box = std::make_unique<ravik::MessageText>();
        box->setText(initial);
        link = std::make_unique<ControllerLink>(*port, *box, style);
        link->start(tokens, path("Ravik.ini"));
        return box->text();
    }
    std::unique_ptr<ravik::QtSerialPort> port;
    std::unique_ptr<ravik::MessageText> box;
    std::unique_ptr<ControllerLink> link;
};

QString Found(int n) {
    return ravik::FoundLine(n);
}
QString NotFound(int n) {
    return ravik::NotFoundLine(n);
}

TEST(StartUpOverAPseudoTerminal, Outcomes) {
    struct Case {
        const char* name;
        QByteArray settings;
        int simPort; // 0: no simulator
        std::vector<std::string> simArgs;
        bool open;
        QString uploaderText; // skypass appends to its time-zone line (here "tz\r\n")
        QString manualText;   // handpoint replaces "Text1\r\n"
    } cases[] = {
        {"found on port 3", "Comm Port 3\r\n", 3, {}, true, Found(3), Found(3)},
        {"silent controller", "Comm Port 3\r\n", 3, {"--silent"}, false, NotFound(3), NotFound(3)},
        {"exactly 4 characters",
         "Comm Port 3\r\n",
         3,
         {"--short-answer"},
         false,
         NotFound(3),
         NotFound(3)},
        {"product word in capitals", "Comm Port 3\r\n", 3, {"--caps"}, false, {}, {}},
        {"port 0", "Comm Port 0\r\n", 0, {}, false, NotFound(0), NotFound(0)},
        {"port without a device", "Comm Port 9\r\n", 0, {}, false, NotFound(9), NotFound(9)},
        {"40000 does not fit", "Comm Port 40000\r\n", 3, {}, false, NotFound(0), NotFound(0)},
        {"2.5 opens port 2", "Comm Port 2.5\r\n", 2, {}, true, Found(2), Found(2)},
        {"3.5 opens port 4", "Comm Port 3.5\r\n", 4, {}, true, Found(4), Found(4)},
        {"chatter before the request is discarded",
         "Comm Port 3\r\n",
         3,
         {"--chatter", "noise noise noise"},
         true,
         Found(3),
         Found(3)},
        {"answer in pieces", "Comm Port 3\r\n", 3, {"--pieces", "50"}, true, Found(3), Found(3)},
        {"no settings file: default port 1", "", 1, {}, true, Found(1), Found(1)},
    };
    for (const Case& c : cases) {
        for (LinkStyle style : {LinkStyle::Uploader, LinkStyle::Manual}) {
            SCOPED_TRACE(std::string(c.name) + (style == LinkStyle::Manual ? " (handpoint)" : ""));
            Bench bench;
            if (!c.settings.isEmpty())
                bench.settings(c.settings);
            if (c.simPort) {
                ASSERT_TRUE(bench.startSim(c.simPort, c.simArgs)) << bench.sim.error();
            }
            const bool manual = style == LinkStyle::Manual;
            const QString initial = manual ? QStringLiteral("Text1\r\n") : QStringLiteral("tz\r\n");
            const QString shown = bench.startUp(style, initial);
            const QString& added = manual ? c.manualText : c.uploaderText;
            EXPECT_EQ(shown, added.isEmpty() ? initial : (manual ? added : initial + added));
            EXPECT_EQ(bench.link->isOpen(), c.open);
            bench.link->close();
            bench.link->close(); // closing twice, or after a failed start-up, is harmless
        }
    }
}

TEST(StartUpOverAPseudoTerminal, BadSettingsFilesGiveAClearOutcome) {
    struct Case {
        const char* name;
        std::function<void(Bench&)> prepare;
        QString shown;
        QByteArray fileAfter; // empty: not a file any more / untouched check skipped
    } cases[] = {
        {"binary", [](Bench& b) { b.settings(QByteArray("\x00\x01\xff\xfe\r\n", 6)); }, Found(1),
         QByteArray("\x00\x01\xff\xfe\r\n", 6)},
        {"huge", [](Bench& b) { b.settings(QByteArray(2 << 20, 'x') + "\r\n"); }, Found(1), {}},
        {"empty", [](Bench& b) { b.settings(""); }, Found(1), "Comm Port 1\r\n"},
        {"a directory named Ravik.ini",
         [](Bench& b) { QDir(b.dir.path()).mkdir(QStringLiteral("Ravik.ini")); },
         NotFound(0),
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        ASSERT_TRUE(bench.startSim(1)) << bench.sim.error();
        c.prepare(bench);
        EXPECT_EQ(bench.startUp(LinkStyle::Manual), c.shown);
        if (!c.fileAfter.isEmpty()) {
            QFile f(bench.path("Ravik.ini"));
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            EXPECT_EQ(f.readAll(), c.fileAfter);
        }
    }
}

TEST(StartUpOverAPseudoTerminal, APortHeldByTheOtherProgramIsNotFound) {
    Bench bench;
    bench.settings("Comm Port 1\r\n");
    ASSERT_TRUE(bench.startSim(1)) << bench.sim.error();
    // handpoint starts first in the same folder and keeps the port.
    SimProcess other;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ASSERT_EQ(::chdir(bench.dir.path().toLocal8Bit().constData()), 0);
    pid_t pid = -1;
    char* argv[] = {const_cast<char*>(HANDPOINT_PATH), nullptr};
    ASSERT_EQ(posix_spawn(&pid, HANDPOINT_PATH, nullptr, nullptr, argv, environ), 0);
    bench.sim.waitReceived(1); // its identification request
    QTest::qWait(300);         // and its answer, so the port is surely held
    EXPECT_EQ(bench.startUp(LinkStyle::Manual), NotFound(1));
    EXPECT_EQ(bench.sim.received(), "?"); // our probe never reached the controller
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

TEST(StartUpOverAPseudoTerminal, IdentificationLeftoversFollowTheFoundLine) {
    Bench bench;
    bench.settings("Comm Port 1\r\n");
    ASSERT_TRUE(bench.startSim(1, {"--pieces", "30"})) << bench.sim.error();
    bench.startUp(LinkStyle::Manual);
    ASSERT_TRUE(bench.link->isOpen());
    // The rest of the answer arrives after the probe's piece and is shown after the line.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return bench.box->text().endsWith(QStringLiteral("\r\n")) &&
                   bench.box->text() != Found(1);
        },
        5000));
    EXPECT_TRUE(bench.box->text().startsWith(Found(1)));
    EXPECT_TRUE(bench.box->text().contains(QStringLiteral("controller")));
}

TEST(ControllerGoesAway, TheLinkClosesAndSaysSo) {
    for (LinkStyle style : {LinkStyle::Uploader, LinkStyle::Manual}) {
        SCOPED_TRACE(style == LinkStyle::Manual ? "handpoint" : "skypass");
        Bench bench;
        bench.settings("Comm Port 1\r\n");
        ASSERT_TRUE(bench.startSim(1)) << bench.sim.error();
        bench.startUp(style);
        ASSERT_TRUE(bench.link->isOpen());
        bool lost = false;
        QObject::connect(bench.link.get(), &ControllerLink::lost, [&] { lost = true; });
        bench.link->requestStatus();
        bench.sim.waitReceived(2);
        bench.sim.kill(); // the adapter is pulled
        EXPECT_TRUE(QTest::qWaitFor([&] { return lost; }, 5000));
        EXPECT_FALSE(bench.link->isOpen());
        EXPECT_TRUE(bench.box->text().endsWith(NotFound(1)));
        const QString after = bench.box->text();
        bench.link->requestStatus(); // silent, as after a failed start-up
        bench.link->send(ravik::Command::Disable);
        QTest::qWait(50);
        EXPECT_EQ(bench.box->text(), after);
    }
}

TEST(ControllerGoesAway, StatusOverTheWireIsShownFromTheStatusWord) {
    Bench bench;
    bench.settings("Comm Port 1\r\n");
    ASSERT_TRUE(bench.startSim(1)) << bench.sim.error();
    bench.startUp(LinkStyle::Uploader);
    ASSERT_TRUE(bench.link->isOpen());
    bench.link->send(ravik::Command::Disable);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return bench.box->text().startsWith(QStringLiteral("Motion ")); }, 5000));
    EXPECT_EQ(bench.sim.received(), "?SZ");
    EXPECT_TRUE(bench.box->text().endsWith(QStringLiteral("\r\n")));
}

} // namespace
