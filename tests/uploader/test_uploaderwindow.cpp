#include "fakedialogs.h"
#include "fakeserialport.h"
#include "layoutcheck.h"
#include "qtapp.h"
#include "tempfiles.h"
#include "uploaderwindow.h"
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using ravik::FakeSerialPort;
using ravik::TimeZoneInfo;

namespace {

struct FixedZone : ravik::TimeZoneQuery {
    TimeZoneInfo info{2, 300, 60};
    TimeZoneInfo query() const override { return info; }
};

struct FixedClock : ravik::Clock {
    QDateTime now{QDate(2002, 3, 15), QTime(10, 4, 30), Qt::UTC};
    QDateTime nowUtc() const override { return now; }
};

const QString OffsetFound = QStringLiteral("Time Zone offset = 4 hours\r\n"
                                           "The controller was found on port 3\r\n");

// A skypass window over a fake port; the controller on port 3 identifies itself and answers
// every upload line with a short reply ended by the end-of-file character.
struct Uploader {
    QTemporaryDir dir;
    FakeSerialPort port;
    FakeDialogs dialogs;
    FixedZone zone;
    FixedClock clock;
    std::unique_ptr<skypass::frmDataUploader> window;
    int linesAnswered = 0;

    explicit Uploader(bool controllerPresent = true, ravik::Upload::Budgets budgets = {}) {
        TestApp();
        const QString ini = WriteFile(dir.filePath(QStringLiteral("Ravik.ini")), "Comm Port 3\r\n");
        port.portExists = [controllerPresent](int n) { return controllerPresent && n == 3; };
        port.responder = [](const QByteArray& w) {
            return w == "?" ? QByteArray("Ravik RC-2\r\n") : QByteArray();
        };
        skypass::Platform platform{&port, &dialogs, &zone, &clock, ini, 5, budgets};
        window = std::make_unique<skypass::frmDataUploader>(platform);
        window->Form_Load();
        Settle();
        port.written.clear();
        port.writeCount = 0;
        answerLines();
    }
    // Upload lines start with a digit; each gets "Motion off  Points n" and end-of-file.
    void answerLines() {
        port.responder = [this](const QByteArray& w) {
            if (w.isEmpty() || !std::isdigit(uchar(w[0])))
                return QByteArray();
            return QByteArray("Motion off  Points ") + QByteArray::number(++linesAnswered) +
                   "\r\n\x1A";
        };
    }
    QString file(const char* name, const QByteArray& content) {
        return WriteFile(dir.filePath(QString::fromLatin1(name)), content);
    }
    void click(const char* name) {
        QTest::mouseClick(window->findChild<QPushButton*>(QString::fromLatin1(name)),
                          Qt::LeftButton);
    }
    QString text() const { return window->messages().text(); }
};

QString Sample(const char* name) {
    return QStringLiteral(RAVIK_SOURCE_DIR "/uploader/samples/") + QString::fromLatin1(name);
}

// Two header lines and one data line per point: day, hhmm, azimuth, elevation. The headers'
// first words have nine letters, so even a short file is recognised.
QByteArray InstantTrack(std::initializer_list<const char*> points) {
    QByteArray out = "Satellite RS-99\r\nPredicted Time Az El Range Doppler Phase\r\n";
    for (const char* p : points)
        out += QByteArray(p) + "  1523  -0.8  45\r\n";
    return out;
}

TEST(UploaderWindow, StartUpShowsTheOffsetThenTheOutcome) {
    Uploader up;
    EXPECT_EQ(up.text(), OffsetFound);
    EXPECT_DOUBLE_EQ(up.window->utcOffsetMinutes(), 240);
    EXPECT_TRUE(up.window->link().isOpen());
    EXPECT_TRUE(up.window->findChild<QLabel*>(QStringLiteral("lblTime"))->text().isEmpty());
}

TEST(UploaderWindow, OffsetLines) {
    struct Case {
        TimeZoneInfo zone;
        const char* line;
    } cases[] = {
        {{2, 0, 60}, "Time Zone offset = -1 hours\r\n"},
        {{1, -330, 60}, "Time Zone offset = -5.5 hours\r\n"},
        {{1, -345, 60}, "Time Zone offset = -5.75 hours\r\n"},
        {{0, 300, 60}, "Couldn't determine UTC time offset\r\n"},
        {{2, 300, 60}, "Time Zone offset = 4 hours\r\n"},
        {{1, 300, 60}, "Time Zone offset = 5 hours\r\n"},
        {{2, -60, 60}, "Time Zone offset = -2 hours\r\n"},   // Berlin in summer
        {{2, -630, 30}, "Time Zone offset = -11 hours\r\n"}, // a half-hour daylight saving
        {{0xFFFFFFFFu, 0, 60}, "Time Zone offset = 0 hours\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(ravik::OffsetLine(c.zone), QString::fromLatin1(c.line));
    }
}

TEST(UploaderWindow, EveryButtonPutsItsBytesOnTheWire) {
    struct Case {
        const char* button;
        QByteArray wire;
        int writes;
        const char* shown;
    } cases[] = {
        {"cmdClear", "XZ", 2, "Reading the status"},
        {"cmdStatus", "Z", 1, "Reading the status"},
        {"cmdGoTo", "GF", 2, nullptr},
        {"cmdEnable", "GZ", 2, "Reading the status"},
        {"cmdDisable", "SZ", 2, "Reading the status"},
        {"cmdMode0", "m0Z", 2, "Reading the status"},
        {"cmdMode1", "m1Z", 2, "Reading the status"},
        {"cmdUnwind", "w", 1, nullptr},
        {"cmdSynchronize", "T2002/03/15 10:04:30\rZ", 2, "Reading the status"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        Uploader up;
        up.click(c.button);
        EXPECT_EQ(up.port.written, c.wire);
        EXPECT_EQ(up.port.writeCount, c.writes);
        EXPECT_EQ(up.text(), c.shown ? QString::fromLatin1(c.shown) : OffsetFound);
        up.click(c.button);
        EXPECT_EQ(up.port.written, c.wire + c.wire);

        Uploader closed(false);
        const QString before = closed.text();
        closed.click(c.button);
        EXPECT_TRUE(closed.port.written.isEmpty());
        EXPECT_EQ(closed.text(), before);
    }
}

TEST(UploaderWindow, TimeSetSendsThePresentUtcEvenBeforeTheFirstTick) {
    Uploader up;
    ASSERT_EQ(up.window->timerTickCount(), 0);
    up.click("cmdSynchronize");
    const QByteArray sent = up.port.written.left(21);
    EXPECT_EQ(sent.toHex(' '), QByteArray("54 32 30 30 32 2f 30 33 2f 31 35 20 31 30 3a 30 34 3a "
                                          "33 30 0d"));
    // A tick shows the clock; a daylight change later does not shift it.
    up.clock.now = QDateTime(QDate(2026, 12, 6), QTime(23, 59, 59), Qt::UTC);
    up.window->tmrTimer1_Timer();
    EXPECT_EQ(up.window->findChild<QLabel*>(QStringLiteral("lblTime"))->text(),
              QStringLiteral("UTC:  2026/12/06 23:59:59"));
}

TEST(UploaderWindow, RepliesAreShownFromTheStatusWordOn) {
    struct Case {
        const char* name;
        std::vector<QByteArray> pieces;
        const char* shown;
    } cases[] = {
        {"status", {"Motion on  Az 10\r\n\x1A"}, "Motion on  Az 10\r\n"},
        {"identification leftovers", {"RC-2\r\nMotion on\r\n\x1A"}, "Motion on\r\n"},
        {"twice", {"xx Motion a Motion b\x1A"}, "Motion a Motion b"},
        {"lower case", {"motion on\r\n\x1A"}, "Rotor response was garbled"},
        {"line break after the word", {"Motion\r\non\x1A"}, "Rotor response was garbled"},
        {"end-of-file alone", {"\x1A"}, "Rotor response was garbled"},
        {"command reply then status", {"OK\r\n\x1A", "Motion on\r\n\x1A"}, "Motion on\r\n"},
        {"one byte at a time",
         {"M", "o", "t", "i", "o", "n", " ", "x", "\r", "\n", "\x1A"},
         "Motion x\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Uploader up;
        up.click("cmdStatus");
        for (const QByteArray& piece : c.pieces) {
            up.port.feed(piece);
            Settle();
        }
        EXPECT_EQ(up.text(), QString::fromLatin1(c.shown));
        EXPECT_TRUE(up.window->link().replyBuffer().isEmpty());
    }
}

TEST(UploaderWindow, AReplyThatNeverEndsIsBounded) {
    Uploader up;
    up.click("cmdStatus");
    const QByteArray chunk(16 * 1024, 'x');
    for (int i = 0; i < 20; ++i) {
        up.port.feed(chunk);
        Settle();
    }
    EXPECT_LE(up.window->link().replyBuffer().size(), ravik::ControllerLink::ReplyBufferLimit);
    EXPECT_EQ(up.text(), QStringLiteral("Reading the status"));
    up.port.feed("Motion on\x1A");
    Settle();
    EXPECT_EQ(up.text(), QStringLiteral("Motion on"));
}

TEST(UploaderWindow, UploadsBothSamplePassesAndAsksForStatus) {
    for (const char* name : {"pass-instanttrack.out", "pass-nova.out"}) {
        SCOPED_TRACE(name);
        Uploader up;
        up.dialogs.files << Sample(name);
        up.click("cmdOpen");
        EXPECT_TRUE(up.dialogs.shown.empty());
        EXPECT_TRUE(up.window->table().Loaded);
        ASSERT_GT(up.linesAnswered, 5);
        const QList<QByteArray> lines = up.port.written.split('\r');
        EXPECT_EQ(lines.size(), up.linesAnswered + 1);
        EXPECT_EQ(lines.last(), "Z"); // the status request closes the upload
        EXPECT_EQ(up.text(), QStringLiteral("Reading the status"));
        EXPECT_EQ(up.dialogs.lastFilters.value(0), QStringLiteral("Output files (*.out)"));
        EXPECT_TRUE(up.dialogs.lastFilters.value(1).startsWith(QStringLiteral("All files(*.*)")));
    }
}

TEST(UploaderWindow, UploadEdgeCases) {
    struct Case {
        const char* name;
        QByteArray file;
        QByteArray wire;
    } cases[] = {
        {"worked example", InstantTrack({"15Mar2002  1004  180  0", "15Mar2002  1004  183.4  27"}),
         "2002/03/15 10:04:00 180 0\r2002/03/15 10:04:30 185 25\rZ"},
        {"elevations -1 -2 -3",
         InstantTrack(
             {"15Mar2002  1000  10  -1", "15Mar2002  1001  20  -2", "15Mar2002  1002  30  -3"}),
         "2002/03/15 10:00:00 10 0\r2002/03/15 10:01:00 20 0\rZ"},
        {"azimuths near north",
         InstantTrack({"15Mar2002  1000  357  10", "15Mar2002  1001  358  10",
                       "15Mar2002  1002  359  10", "15Mar2002  1003  2  10",
                       "15Mar2002  1004  3  10"}),
         "2002/03/15 10:00:00 355 10\r2002/03/15 10:01:00 360 10\r2002/03/15 10:03:00 0 10\r"
         "2002/03/15 10:04:00 5 10\rZ"},
        {"point 0 below the horizon, then 0/0",
         InstantTrack(
             {"15Mar2002  1000  90  -10", "15Mar2002  1001  0  0", "15Mar2002  1002  5  5"}),
         "2002/03/15 10:02:00 5 5\rZ"},
        {"A A B A",
         InstantTrack({"15Mar2002  1000  10  10", "15Mar2002  1001  10  10",
                       "15Mar2002  1002  20  10", "15Mar2002  1003  10  10"}),
         "2002/03/15 10:00:00 10 10\r2002/03/15 10:02:00 20 10\r2002/03/15 10:03:00 10 10\rZ"},
        {"two-digit year", InstantTrack({"15Mar0002  1000  10  10"}), "02/03/15 10:00:00 10 10\rZ"},
        {"empty table", InstantTrack({}), "Z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Uploader up;
        up.dialogs.files << up.file("pass.out", c.file);
        up.click("cmdOpen");
        EXPECT_TRUE(up.dialogs.shown.empty());
        EXPECT_EQ(up.port.written, c.wire);
    }
}

TEST(UploaderWindow, FailuresAreToldWithTheFileName) {
    Uploader up;
    // Cancel: no file chosen, nothing uploaded, not even the previous pass.
    up.click("cmdOpen");
    ASSERT_EQ(up.dialogs.shown.size(), 1u);
    EXPECT_EQ(up.dialogs.shown[0].text, QStringLiteral("Can't access "));
    EXPECT_EQ(up.dialogs.shown[0].title, QStringLiteral("Error"));
    EXPECT_EQ(up.dialogs.shown[0].icon, ravik::Dialogs::Icon::Exclamation);

    const QString bad = up.file("bad.out", InstantTrack({"15Mar2002  1000  1e6  10"}));
    up.dialogs.files << bad;
    up.click("cmdOpen");
    ASSERT_EQ(up.dialogs.shown.size(), 2u);
    EXPECT_EQ(up.dialogs.shown[1].text, QStringLiteral("Can't access ") + bad);
    EXPECT_FALSE(up.dialogs.shown[1].detail.isEmpty()); // which line and what failed
    EXPECT_TRUE(up.window->table().PassFileName.isEmpty());

    const QString other = up.file("notes.txt", "Shopping\r\nmilk\r\nbread\r\n");
    up.dialogs.files << other;
    up.click("cmdOpen");
    ASSERT_EQ(up.dialogs.shown.size(), 3u);
    EXPECT_EQ(up.dialogs.shown[2].text,
              QStringLiteral("File is neither InstantTrack nor Nova file"));
    EXPECT_EQ(up.window->table().PassFileName, other);
    EXPECT_TRUE(up.port.written.isEmpty());
}

TEST(UploaderWindow, NotLoadedAndPortClosed) {
    Uploader up;
    up.window->UploadEphemeris();
    ASSERT_EQ(up.dialogs.shown.size(), 1u);
    EXPECT_EQ(up.dialogs.shown[0].text, QStringLiteral("No valid file selected"));

    Uploader closed(false);
    closed.dialogs.files << closed.file(
        "pass.out", InstantTrack({"15Mar2002  1004  183  27", "15Mar2002  1004  183  27"}));
    closed.click("cmdOpen");
    EXPECT_TRUE(closed.dialogs.shown.empty());
    EXPECT_TRUE(closed.port.written.isEmpty());
    EXPECT_EQ(closed.window->table().Points[1].Second, 30); // conditioned all the same
    EXPECT_EQ(closed.window->table().Points[1].Azimuth, 185);
}

ravik::Upload::Budgets Short() {
    return {300, 60, 200, 150};
}

TEST(UploaderWindow, ASilentControllerCostsOnlyTheBudgets) {
    Uploader up(true, Short());
    up.port.responder = nullptr; // silent after the identification
    QByteArray pass;
    std::vector<const char*> points;
    static const char* rows[] = {"15Mar2002  1000  10  10", "15Mar2002  1001  20  10",
                                 "15Mar2002  1002  30  10", "15Mar2002  1003  40  10",
                                 "15Mar2002  1004  50  10", "15Mar2002  1005  60  10",
                                 "15Mar2002  1006  70  10", "15Mar2002  1007  80  10"};
    up.dialogs.files << up.file("pass.out", InstantTrack({rows[0], rows[1], rows[2], rows[3],
                                                          rows[4], rows[5], rows[6], rows[7]}));
    up.click("cmdOpen");
    // Every line still goes out, the status request closes it, and the window is free again.
    EXPECT_EQ(up.port.written.count('\r'), 8);
    EXPECT_TRUE(up.port.written.endsWith("\rZ"));
    EXPECT_FALSE(up.window->uploading());
}

TEST(UploaderWindow, TheTailOfTheLastReplyDoesNotPaceTheNextLine) {
    Uploader up(true, {5000, 5000, 10000, 5000});
    int linesAtCheck = -1;
    up.port.responder = [&](const QByteArray& w) -> QByteArray {
        const int line = int(up.port.written.count('\r'));
        if (line == 1)
            return "Motion off  Points 1"; // its end arrives only after the next line
        if (line == 2) {
            QTimer::singleShot(0, &up.port, [&] { up.port.feed("\r\n\x1A"); });
            QTimer::singleShot(40, &up.port, [&] {
                linesAtCheck = int(up.port.written.count('\r'));
                up.port.feed("Motion off  Points 2\r\n\x1A");
            });
        } else if (line == 3) {
            return "Motion off  Points 3\r\n\x1A";
        }
        (void)w;
        return {};
    };
    up.dialogs.files << up.file("pass.out",
                                InstantTrack({"15Mar2002  1000  10  10", "15Mar2002  1001  20  10",
                                              "15Mar2002  1002  30  10"}));
    up.click("cmdOpen");
    EXPECT_EQ(linesAtCheck, 2); // line 3 waited for the reply that began after line 2
    EXPECT_EQ(up.port.written.count('\r'), 3);
}

TEST(UploaderWindow, OtherButtonsWorkDuringAnUploadButASecondLoadIsRefused) {
    Uploader up(true, {5000, 5000, 10000, 5000});
    bool clicked = false;
    up.port.responder = [&](const QByteArray& w) -> QByteArray {
        if (!clicked && w.endsWith('\r')) {
            clicked = true;
            QTimer::singleShot(0, &up.port, [&] {
                up.click("cmdOpen");    // refused: the table is being sent
                up.click("cmdDisable"); // goes out between two lines
            });
            QTimer::singleShot(20, &up.port, [&] { up.port.feed("Motion off\r\n\x1A"); });
        }
        return {};
    };
    up.dialogs.files << up.file("pass.out", InstantTrack({"15Mar2002  1000  10  10"}))
                     << QStringLiteral("second.out");
    up.click("cmdOpen");
    EXPECT_EQ(up.port.written, "2002/03/15 10:00:00 10 10\rSZZ");
    EXPECT_EQ(up.dialogs.files, QStringList{QStringLiteral("second.out")});
}

TEST(UploaderWindow, ALostDeviceEndsTheUploadWithItsMessage) {
    Uploader up(true, Short());
    up.port.responder = [&](const QByteArray&) -> QByteArray {
        QTimer::singleShot(0, &up.port, [&] { up.port.loseDevice(); });
        return {};
    };
    const QString pass =
        up.file("pass.out", InstantTrack({"15Mar2002  1000  10  10", "15Mar2002  1001  20  10"}));
    up.dialogs.files << pass;
    up.click("cmdOpen");
    EXPECT_EQ(up.port.written, "2002/03/15 10:00:00 10 10\r");
    ASSERT_EQ(up.dialogs.shown.size(), 1u);
    EXPECT_EQ(up.dialogs.shown[0].text, QStringLiteral("Can't access ") + pass);
    EXPECT_TRUE(up.text().endsWith(QStringLiteral("The controller is not on port 3!!\r\n")));
    up.click("cmdStatus");
    EXPECT_EQ(up.port.written, "2002/03/15 10:00:00 10 10\r");
}

TEST(UploaderWindow, ClosingDuringAnUploadEndsItAtOnce) {
    Uploader up; // full budgets: only the close can end the wait early
    up.port.responder = [&](const QByteArray&) -> QByteArray {
        QTimer::singleShot(0, up.window.get(), [&] { up.window->close(); });
        return {};
    };
    up.dialogs.files << up.file(
        "pass.out", InstantTrack({"15Mar2002  1000  10  10", "15Mar2002  1001  20  10"}));
    up.click("cmdOpen");
    EXPECT_EQ(up.port.written, "2002/03/15 10:00:00 10 10\r"); // nothing after the close
    EXPECT_FALSE(up.window->link().isOpen());
    EXPECT_FALSE(up.window->uploading());
    EXPECT_TRUE(up.dialogs.shown.empty());
}

TEST(UploaderWindow, LayoutMatchesTheTable) {
    Uploader up;
    CheckLayout(*up.window, skypass::UploaderLayout());
    EXPECT_EQ(up.window->windowTitle(), QStringLiteral("Data Uploader and Rotor Handler"));
}

} // namespace
