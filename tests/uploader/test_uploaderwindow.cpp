#include "errors.h"
#include "fakedialogs.h"
#include "fakeserialport.h"
#include "layoutcheck.h"
#include "qtapp.h"
#include "tempfiles.h"
#include "uploaderwindow.h"
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using ravik::TimeZoneInfo;

namespace {

struct FixedZone : ravik::TimeZoneQuery {
    TimeZoneInfo query() const override { return {2, 300, 60}; }
};
struct FixedClock : ravik::Clock {
    QDateTime now{QDate(2002, 3, 15), QTime(10, 4, 30), Qt::UTC};
    QDateTime nowUtc() const override { return now; }
};

const QString OffsetFound = "Time Zone offset = 4 hours\r\nThe controller was found on port 3\r\n";

// A skypass window over a fake port; the controller on port 3 identifies itself and answers
// every upload line with a short reply ended by the end-of-file character.
struct Uploader {
    QTemporaryDir dir;
    ravik::FakeSerialPort port;
    FakeDialogs dialogs;
    FixedZone zone;
    FixedClock clock;
    std::unique_ptr<skypass::frmDataUploader> window;

    explicit Uploader(bool present = true, ravik::Upload::Budgets budgets = {}, int tickMs = 5) {
        TestApp();
        const QString ini = WriteFile(dir.filePath("Ravik.ini"), "Comm Port 3\r\n");
        port.portExists = [present](int n) { return present && n == 3; };
        port.responder = [](const QByteArray& w) { return w == "?" ? "Ravik RC-2\r\n" : ""; };
        window = std::make_unique<skypass::frmDataUploader>(
            skypass::Platform{&port, &dialogs, &zone, &clock, ini, tickMs, budgets});
        window->Form_Load();
        Settle();
        port.written.clear();
        port.writeCount = 0;
        port.responder = [](const QByteArray& w) {
            return w.endsWith('\r') && !w.startsWith('T') ? "Motion off  Points 1\r\n\x1A" : "";
        };
    }
    void click(const char* name) {
        QTest::mouseClick(window->findChild<QPushButton*>(name), Qt::LeftButton);
    }
    // Chooses a pass file and sends it: an InstantTrack file with these points ("[date] time az
    // el", separated by ","; the date 15Mar2002 when left out), or a file as it is.
    void send(const QByteArray& points, bool asIs = false) {
        QByteArray text = "Satellite RS-99\r\nPredicted Time Az El Range Doppler Phase\r\n";
        for (const QByteArray& p : points.split(','))
            text += p.isEmpty() ? "" : (p.count(' ') == 2 ? "15Mar2002 " : "") + p + " 1 2 3\r\n";
        dialogs.files << WriteFile(dir.filePath("pass.out"), asIs ? points : text);
        click("cmdOpen");
    }
    QString text() const { return window->messages().text(); }
};

TEST(UploaderWindow, StartUpAndTheClock) {
    Uploader up(true, {}, 60000);
    EXPECT_EQ(up.text(), OffsetFound);
    EXPECT_EQ(up.window->utcOffsetMinutes(), 240);
    auto* time = up.window->findChild<QLabel*>("lblTime");
    EXPECT_TRUE(time->text().isEmpty());
    // Before the first tick the time-set command still sends the present UTC.
    up.click("cmdSynchronize");
    EXPECT_EQ(up.window->timerTickCount(), 0);
    EXPECT_EQ(up.port.written, "T2002/03/15 10:04:30\rZ");
    up.clock.now = QDateTime(QDate(2026, 12, 6), QTime(23, 59, 59), Qt::UTC);
    up.window->tmrTimer1_Timer();
    EXPECT_EQ(time->text(), "UTC:  2026/12/06 23:59:59");
    // A failed time-zone step ends start-up early, but the clock runs all the same.
    struct : ravik::TimeZoneQuery {
        TimeZoneInfo query() const override { throw ravik::RunTimeError("no time zone"); }
    } failing;
    skypass::frmDataUploader broken({&up.port, &up.dialogs, &failing, &up.clock, "", 5});
    broken.Form_Load();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !broken.findChild<QLabel*>("lblTime")->text().isEmpty(); }));
}

TEST(UploaderWindow, OffsetLines) {
    const struct {
        TimeZoneInfo zone;
        const char* line;
    } rows[] = {
        {{2, 0, 60}, "Time Zone offset = -1 hours\r\n"},
        {{1, -330, 60}, "Time Zone offset = -5.5 hours\r\n"},
        {{1, -345, 60}, "Time Zone offset = -5.75 hours\r\n"},
        {{0, 300, 60}, "Couldn't determine UTC time offset\r\n"},
        {{2, 300, 60}, "Time Zone offset = 4 hours\r\n"},
        {{1, 300, 60}, "Time Zone offset = 5 hours\r\n"},
        {{2, -60, 60}, "Time Zone offset = -2 hours\r\n"},   // Berlin in summer
        {{2, -630, 30}, "Time Zone offset = -11 hours\r\n"}, // a half-hour daylight saving
        {{0xFFFFFFFFu, 0, 60}, "Time Zone offset = 0 hours\r\n"},
        // Lord Howe Island: UTC+10:30, and half an hour more in its summer
        {ravik::ZoneInfoAt(QTimeZone("Australia/Lord_Howe"),
                           QDateTime(QDate(2024, 1, 15), {}, Qt::UTC)),
         "Time Zone offset = -11 hours\r\n"},
        {ravik::ZoneInfoAt(QTimeZone("Australia/Lord_Howe"),
                           QDateTime(QDate(2024, 7, 15), {}, Qt::UTC)),
         "Time Zone offset = -10.5 hours\r\n"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ravik::OffsetLine(row.zone), row.line);
}

// Each button pressed twice with the port open, then once with no controller: nothing is sent
// and the box keeps its text.
TEST(UploaderWindow, EveryButtonPutsItsBytesOnTheWire) {
    const struct {
        const char* button;
        QByteArray wire;
        int writes;
        const char* shown; // nullptr: the box keeps its text
    } rows[] = {
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
    for (const auto& row : rows) {
        SCOPED_TRACE(row.button);
        Uploader up;
        up.click(row.button);
        EXPECT_EQ(up.port.writeCount, row.writes);
        EXPECT_EQ(up.text(), row.shown ? row.shown : OffsetFound);
        up.click(row.button);
        EXPECT_EQ(up.port.written, row.wire + row.wire);
        Uploader closed(false);
        const QString before = closed.text();
        closed.click(row.button);
        EXPECT_EQ(closed.port.written, "");
        EXPECT_EQ(closed.text(), before);
    }
}

TEST(UploaderWindow, RepliesAreShownFromTheStatusWordOn) {
    const struct {
        QByteArrayList pieces;
        const char* shown;
    } rows[] = {
        {{"Motion on  Az 10\r\n\x1A"}, "Motion on  Az 10\r\n"},
        {{"RC-2\r\nMotion on\r\n\x1A"}, "Motion on\r\n"}, // identification leftovers
        {{"xx Motion a Motion b\x1A"}, "Motion a Motion b"},
        {{"motion on\r\n\x1A"}, "Rotor response was garbled"},
        {{"Motion\r\non\x1A"}, "Rotor response was garbled"},
        {{"\x1A"}, "Rotor response was garbled"},
        {{"OK\r\n\x1A", "Motion on\r\n\x1A"}, "Motion on\r\n"}, // a command's reply first
        {{"M", "o", "t", "i", "o", "n", " ", "x", "\r", "\n", "\x1A"}, "Motion x\r\n"},
        // A reply that never ends is bounded: only its newest part is kept.
        {QByteArrayList(20, QByteArray(16 * 1024, 'x')) << "Motion on\x1A", "Motion on"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pieces.join('+').left(40).toStdString());
        Uploader up;
        up.click("cmdStatus");
        for (const QByteArray& piece : row.pieces) {
            up.port.feed(piece);
            Settle();
            EXPECT_LE(up.window->link().replyBuffer().size(),
                      ravik::ControllerLink::ReplyBufferLimit);
        }
        EXPECT_EQ(up.text(), row.shown);
        EXPECT_TRUE(up.window->link().replyBuffer().isEmpty());
    }
}

const ravik::Upload::Budgets Short{100, 20, 60, 50}, Long{5000, 5000, 10000, 5000};

// Points without a date are on 2002/03/15, and that date is left out of the wire column too;
// names of sample files stand for the file itself.
TEST(UploaderWindow, UploadBytes) {
    const struct {
        QByteArray points, wire;
    } rows[] = {
        {"1004 180 0,1004 183.4 27", "10:04:00 180 0\r10:04:30 185 25\rZ"}, // the worked example
        {"1000 10 -1,1001 20 -2,1002 30 -3", "10:00:00 10 0\r10:01:00 20 0\rZ"},
        {"1000 357 10,1001 358 10,1002 359 10,1003 2 10,1004 3 10",
         "10:00:00 355 10\r10:01:00 360 10\r10:03:00 0 10\r10:04:00 5 10\rZ"},
        {"1004 10 10,1004 20 10,1004 30 10", "10:04:00 10 10\r10:04:30 20 10\r10:04:30 30 10\rZ"},
        {"1004 10 10,16Mar2002 1004 20 10", "10:04:00 10 10\r2002/03/16 10:04:30 20 10\rZ"},
        {"1000 90 -10,1001 0 0,1002 5 5", "10:02:00 5 5\rZ"}, // point 0 below the horizon, 0/0
        {"1000 10 10,1001 10 10,1002 20 10,1003 10 10",
         "10:00:00 10 10\r10:02:00 20 10\r10:03:00 10 10\rZ"},
        {"15Mar0002 1000 10 10,1001 20 10", "02/03/15 10:00:00 10 10\r10:01:00 20 10\rZ"},
        {"", "Z"}, // an empty table: the final wait, two ticks, the status request
                   // The shipped samples, as a whole.
        {"pass-instanttrack.out",
         "2002/12/05 23:52:00 150 0\r2002/12/05 23:53:00 150 5\r2002/12/05 23:54:00 145 10\r"
         "2002/12/05 23:55:00 140 15\r2002/12/05 23:56:00 135 20\r2002/12/05 23:57:00 125 25\r"
         "2002/12/05 23:58:00 110 35\r2002/12/05 23:59:00 90 40\r2002/12/06 00:00:00 60 40\r"
         "2002/12/06 00:01:00 40 35\r2002/12/06 00:02:00 25 25\r2002/12/06 00:03:00 15 20\r"
         "2002/12/06 00:04:00 10 15\r2002/12/06 00:05:00 5 10\r2002/12/06 00:06:00 0 5\r"
         "2002/12/06 00:07:00 360 0\rZ"},
        {"pass-nova.out",
         "2002/12/05 23:51:30 150 0\r2002/12/05 23:53:00 150 5\r2002/12/05 23:54:00 145 10\r"
         "2002/12/05 23:55:00 140 15\r2002/12/05 23:56:00 135 20\r2002/12/05 23:56:30 130 25\r"
         "2002/12/05 23:57:00 125 25\r2002/12/05 23:57:30 120 30\r2002/12/05 23:58:00 110 35\r"
         "2002/12/05 23:58:30 100 40\r2002/12/05 23:59:00 90 40\r2002/12/05 23:59:30 75 40\r"
         "2002/12/06 00:00:00 60 40\r2002/12/06 00:00:30 50 40\r2002/12/06 00:01:00 40 35\r"
         "2002/12/06 00:01:30 30 30\r2002/12/06 00:02:00 25 25\r2002/12/06 00:02:30 20 25\r"
         "2002/12/06 00:03:00 15 20\r2002/12/06 00:03:30 10 15\r2002/12/06 00:04:30 5 10\r"
         "2002/12/06 00:05:30 0 5\r2002/12/06 00:06:30 360 0\rZ"},
    };
    for (const auto& row : rows) {
        for (bool silent : {false, true}) { // a silent controller costs only the budgets
            SCOPED_TRACE(row.points.toStdString() + (silent ? ", silent" : ""));
            Uploader up(true, Short);
            if (silent)
                up.port.responder = nullptr;
            if (row.points.startsWith("pass-"))
                up.dialogs.files << RAVIK_SOURCE_DIR "/uploader/samples/" + row.points;
            row.points.startsWith("pass-") ? up.click("cmdOpen") : up.send(row.points);
            EXPECT_EQ(up.dialogs.said(), "");
            EXPECT_EQ(up.port.written.replace("2002/03/15 ", ""), row.wire);
            EXPECT_FALSE(up.window->uploading());
        }
    }
}

TEST(UploaderWindow, FailuresAreToldWithTheFileName) {
    Uploader up;
    const QString pass = up.dir.filePath("pass.out");
    up.window->UploadEphemeris();
    up.send("1000 10 10"); // an earlier choice, sent in full
    up.port.written.clear();
    up.click("cmdOpen"); // cancelled: nothing uploaded, not even the previous pass
    up.send("1000 1e6 10");
    EXPECT_TRUE(up.window->table().PassFileName.isEmpty());
    up.send("Shopping\r\nmilk\r\nbread\r\n", true);
    EXPECT_EQ(up.window->table().PassFileName, pass);
    EXPECT_EQ(up.dialogs.said(), "No valid file selected [Error] Can't access  [Error: no file "
                                 "name was given] Can't access " +
                                     pass +
                                     " [Error: line 3: azimuth 1e6 does not fit] File is neither "
                                     "InstantTrack nor Nova file [Error] ");
    for (const auto& shown : up.dialogs.shown)
        EXPECT_EQ(shown.icon, ravik::Dialogs::Icon::Exclamation);
    EXPECT_EQ(up.dialogs.lastFilters.value(0), "Output files (*.out)");
    EXPECT_TRUE(up.dialogs.lastFilters.value(1).startsWith("All files(*.*)"));
    EXPECT_EQ(up.port.written, "");
}

TEST(UploaderWindow, WithThePortClosedTheTableIsConditionedAndNothingSent) {
    Uploader closed(false);
    closed.send("1004 183 27,1004 183 27");
    EXPECT_EQ(closed.dialogs.said(), "");
    EXPECT_EQ(closed.port.written, "");
    EXPECT_EQ(closed.window->table().Points[1].Second, 30);
    EXPECT_EQ(closed.window->table().Points[1].Azimuth, 185);
}

TEST(UploaderWindow, TheTailOfTheLastReplyDoesNotPaceTheNextLine) {
    Uploader up(true, Long);
    int linesAtCheck = -1;
    up.port.responder = [&](const QByteArray&) -> QByteArray {
        const auto line = up.port.written.count('\r');
        if (line == 2) { // the end of line 1's reply arrives only now
            QTimer::singleShot(0, &up.port, [&] { up.port.feed("\r\n\x1A"); });
            QTimer::singleShot(40, &up.port, [&] {
                linesAtCheck = int(up.port.written.count('\r'));
                up.port.feed("Motion off  Points 2\r\n\x1A");
            });
        }
        return line == 1 ? "Motion off  Points 1" : line == 3 ? "Points 3\r\n\x1A" : "";
    };
    up.send("1000 10 10,1001 20 10,1002 30 10");
    EXPECT_EQ(linesAtCheck, 2); // line 3 waited for the reply that began after line 2
    EXPECT_EQ(up.port.written.count('\r'), 3);
}

TEST(UploaderWindow, ABareEndOfFileAnswersALine) {
    Uploader up(true, Long);
    up.port.responder = [](const QByteArray& w) { return w.endsWith('\r') ? "\x1A" : ""; };
    // Only a bound: waiting out each line's budget would leave two lines unsent at the close.
    QTimer::singleShot(4000, up.window.get(), [&] { up.window->close(); });
    up.send("1000 10 10,1001 20 10,1002 30 10");
    EXPECT_EQ(up.port.written.count('\r'), 3);
}

TEST(UploaderWindow, OtherButtonsWorkDuringAnUploadButASecondLoadIsRefused) {
    Uploader up(true, Long);
    up.port.responder = [&](const QByteArray& w) -> QByteArray {
        if (w.endsWith('\r')) {
            QTimer::singleShot(0, &up.port, [&] {
                up.dialogs.files << "second.out";
                up.click("cmdOpen");    // refused: the table is being sent
                up.click("cmdDisable"); // goes out between two lines
            });
            QTimer::singleShot(20, &up.port, [&] { up.port.feed("Motion off\r\n\x1A"); });
        }
        return {};
    };
    up.send("1000 10 10");
    EXPECT_EQ(up.port.written, "2002/03/15 10:00:00 10 10\rSZZ");
    EXPECT_EQ(up.dialogs.files, QStringList{"second.out"});
}

TEST(UploaderWindow, ALostDeviceEndsTheUploadWithItsMessage) {
    Uploader up(true, Short);
    up.port.responder = [&](const QByteArray&) {
        QTimer::singleShot(0, &up.port, [&] { up.port.loseDevice(); });
        return QByteArray();
    };
    up.send("1000 10 10,1001 20 10");
    up.click("cmdStatus"); // silent from now on
    EXPECT_EQ(up.port.written, "2002/03/15 10:00:00 10 10\r");
    EXPECT_EQ(up.dialogs.said(), "Can't access " + up.dir.filePath("pass.out") +
                                     " [Error: the controller went away during the upload] ");
    EXPECT_TRUE(up.text().endsWith("The controller is not on port 3!!\r\n"));
}

TEST(UploaderWindow, ClosingDuringAnUploadEndsItAtOnce) {
    Uploader up; // full budgets: only the close can end the wait early
    up.port.responder = [&](const QByteArray&) {
        QTimer::singleShot(0, up.window.get(), [&] { up.window->close(); });
        return QByteArray();
    };
    up.send("1000 10 10,1001 20 10");
    EXPECT_EQ(up.port.written, "2002/03/15 10:00:00 10 10\r"); // nothing after the close
    EXPECT_FALSE(up.window->link().isOpen());
    EXPECT_FALSE(up.window->uploading());
    EXPECT_EQ(up.dialogs.said(), "");
}

// As built, before start-up, in the font chosen and in each font a Debian desktop may have instead.
TEST(UploaderWindow, LooksAsMeasured) {
    Uploader up;
    for (const QString& family : FontsToTry()) {
        skypass::frmDataUploader window(
            {&up.port, &up.dialogs, &up.zone, &up.clock, "", 5, {}, family});
        CheckWindow(window,
                    {{"cmdOpen", 'B', "Send an ephemeris to the controller", 40, 64, 97, 89},
                     {"txtFileData", 'M', "Text1", 192, 24, 225, 145},
                     {"lblTime", 'L', "", 192, 0, 297, 25, 12},
                     {"Frame3", 'F', "Rotor Controls", 8, 176, 409, 145},
                     {"cmdClear", 'B', "Clear the buffer", 24, 240, 185, 17},
                     {"cmdStatus", 'B', "Show rotor status", 216, 192, 185, 17},
                     {"cmdGoTo", 'B', "Go to first stored position", 24, 216, 185, 17},
                     {"cmdEnable", 'B', "Enable rotor motion", 216, 216, 185, 17},
                     {"cmdDisable", 'B', "Disable rotor motion", 216, 240, 185, 17},
                     {"cmdSynchronize", 'B', "Synchronize rotor time with UTC", 24, 192, 185, 17},
                     {"Label1", 'L', "Ravik", 32, 16, 113, 33, 24},
                     {"cmdMode0", 'B', "Mode 0", 24, 264, 185, 17},
                     {"cmdMode1", 'B', "Mode 1", 216, 264, 185, 17},
                     {"cmdUnwind", 'B', "Unwind", 184, 288, 57, 25}});
    }
}

} // namespace
