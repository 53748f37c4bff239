#include "errors.h"
#include "fakedialogs.h"
#include "fakeserialport.h"
#include "layoutcheck.h"
#include "tempfiles.h"
#include "uploaderwindow.h"
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using ravik::TimeZoneInfo;

namespace {

// Four hours west of UTC at 2002/03/15 10:04:30 UTC.
struct Fixed : ravik::TimeZoneQuery, ravik::Clock {
    QDateTime now{QDate(2002, 3, 15), QTime(10, 4, 30), Qt::UTC};
    TimeZoneInfo query() const override { return {2, 300, 60}; }
    QDateTime nowUtc() const override { return now; }
};

const QString OffsetFound = "Time Zone offset = 4 hours\r\nThe controller was found on port 3\r\n";
const ravik::Upload::Budgets Short{100, 20, 60, 50}, Long{5000, 5000, 10000, 5000};

// A skypass window over a fake port; the controller on port 3 identifies itself and answers
// every upload line with a short reply ended by the end-of-file character.
struct Uploader {
    QTemporaryDir dir;
    ravik::FakeSerialPort port;
    FakeDialogs dialogs;
    Fixed fixed;
    std::unique_ptr<skypass::frmDataUploader> window;

    explicit Uploader(bool present = true, ravik::Upload::Budgets budgets = {}, int tickMs = 5) {
        TestApp();
        const QString ini = WriteFile(dir.filePath("Ravik.ini"), "Comm Port 3\r\n");
        port.portExists = [present](int n) { return present && n == 3; };
        port.responder = [](const QByteArray& w) { return w == "?" ? "Ravik RC-2\r\n" : ""; };
        window = std::make_unique<skypass::frmDataUploader>(
            skypass::Platform{&port, &dialogs, &fixed, &fixed, ini, tickMs, budgets});
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
    EXPECT_EQ(time->text(), "");
    up.click("cmdSynchronize"); // before the first tick: still the present UTC
    EXPECT_EQ(up.window->timerTickCount(), 0);
    EXPECT_EQ(up.port.written, "T2002/03/15 10:04:30\rZ");
    up.fixed.now = QDateTime(QDate(2026, 12, 6), QTime(23, 59, 59), Qt::UTC);
    up.window->tmrTimer1_Timer();
    EXPECT_EQ(time->text(), "UTC:  2026/12/06 23:59:59");
    // A failed time-zone step ends start-up early, but the clock runs all the same.
    struct : ravik::TimeZoneQuery {
        TimeZoneInfo query() const override { throw ravik::RunTimeError("no time zone"); }
    } failing;
    skypass::frmDataUploader broken({&up.port, &up.dialogs, &failing, &up.fixed, "", 5});
    broken.Form_Load();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !broken.findChild<QLabel*>("lblTime")->text().isEmpty(); }));
}

// Hours in the time-zone line; nullptr: "Couldn't determine UTC time offset".
TEST(UploaderWindow, OffsetLines) {
    const auto howe = [](int month) { // Lord Howe Island: +10:30, half an hour more in summer
        return ravik::ZoneInfoAt(QTimeZone("Australia/Lord_Howe"),
                                 QDateTime(QDate(2024, month, 15), {}, Qt::UTC));
    };
    const struct {
        TimeZoneInfo zone;
        const char* hours;
    } rows[] = {{{2, 0, 60}, "-1"},      {{1, -330, 60}, "-5.5"}, {{1, -345, 60}, "-5.75"},
                {{0, 300, 60}, nullptr}, {{2, 300, 60}, "4"},     {{1, 300, 60}, "5"},
                {{2, -60, 60}, "-2"},    {{2, -630, 30}, "-11"},  {{0xFFFFFFFFu, 0, 60}, "0"},
                {howe(1), "-11"},        {howe(7), "-10.5"}};
    for (const auto& row : rows)
        EXPECT_EQ(ravik::OffsetLine(row.zone),
                  row.hours ? "Time Zone offset = " + QString(row.hours) + " hours\r\n"
                            : "Couldn't determine UTC time offset\r\n");
}

// Each button pressed twice with the port open (the box then reads "Reading the status" or keeps
// its text), then once with no controller: nothing is sent and the box keeps its text.
TEST(UploaderWindow, EveryButtonPutsItsBytesOnTheWire) {
    const struct {
        const char *button, *wire;
        int writes;
        bool status;
    } rows[] = {{"cmdClear", "XZ", 2, true},
                {"cmdStatus", "Z", 1, true},
                {"cmdGoTo", "GF", 2, false},
                {"cmdEnable", "GZ", 2, true},
                {"cmdDisable", "SZ", 2, true},
                {"cmdMode0", "m0Z", 2, true},
                {"cmdMode1", "m1Z", 2, true},
                {"cmdUnwind", "w", 1, false},
                {"cmdSynchronize", "T2002/03/15 10:04:30\rZ", 2, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.button);
        Uploader up, closed(false);
        up.click(row.button);
        EXPECT_EQ(up.port.writeCount, row.writes);
        EXPECT_EQ(up.text(), row.status ? "Reading the status" : OffsetFound);
        up.click(row.button);
        EXPECT_EQ(up.port.written, QByteArray(row.wire).repeated(2));
        closed.click(row.button);
        EXPECT_EQ(closed.port.written, "");
        EXPECT_EQ(closed.text(),
                  "Time Zone offset = 4 hours\r\nThe controller is not on port 3!!\r\n");
    }
}

// The reply in pieces after "Show rotor status", and what the box then shows: from the status word
// on, after identification leftovers or a command's own reply; a reply that never ends is bounded
// and only its newest part kept.
TEST(UploaderWindow, RepliesAreShownFromTheStatusWordOn) {
    const QString garbled = "Rotor response was garbled", on = "Motion on\r\n";
    // clang-format off
    const struct {
        QByteArrayList pieces;
        QString shown;
    } rows[] = {
        {{"Motion on  Az 10\r\n\x1A"}, "Motion on  Az 10\r\n"}, {{"RC-2\r\nMotion on\r\n\x1A"}, on},
        {{"xx Motion a Motion b\x1A"}, "Motion a Motion b"}, {{"motion on\r\n\x1A"}, garbled},
        {{"Motion\r\non\x1A"}, garbled}, {{"\x1A"}, garbled},
        {{"OK\r\n\x1A", "Motion on\r\n\x1A"}, on},
        {{"M", "o", "t", "i", "o", "n", " ", "x", "\r", "\n", "\x1A"}, "Motion x\r\n"},
        {QByteArrayList(20, QByteArray(16 * 1024, 'x')) << "Motion on\x1A", "Motion on"}};
    // clang-format on
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

// The points ("[date] time az el", see send()) and the bytes sent, "2002/03/15 " left out: with a
// controller that answers each line, one that answers with a bare end-of-file character (neither
// may have to wait out a budget before the window is closed), and a silent one.
TEST(UploaderWindow, UploadBytes) {
    const struct {
        QByteArray points, wire;
    } rows[] = {{"1004 180 0,1004 183.4 27", "10:04:00 180 0\r10:04:30 185 25\rZ"},
                {"1000 10 -1,1001 20 -2,1002 30 -3", "10:00:00 10 0\r10:01:00 20 0\rZ"},
                {"1000 357 10,1001 358 10,1002 359 10,1003 2 10,1004 3 10",
                 "10:00:00 355 10\r10:01:00 360 10\r10:03:00 0 10\r10:04:00 5 10\rZ"},
                {"1004 10 10,16Mar2002 1004 20 10", "10:04:00 10 10\r2002/03/16 10:04:30 20 10\rZ"},
                {"1000 90 -10,1001 0 0,1002 5 5", "10:02:00 5 5\rZ"},
                {"1000 10 10,1001 10 10,1002 20 10,1003 10 10",
                 "10:00:00 10 10\r10:02:00 20 10\r10:03:00 10 10\rZ"},
                {"", "Z"}}; // an empty table: the final wait, two ticks, the status request
    for (const auto& row : rows) {
        for (const char* reply : {"Motion off  Points 1\r\n\x1A", "\x1A", ""}) {
            SCOPED_TRACE(row.points.toStdString() + ", reply " + reply);
            Uploader up(true, *reply ? Long : Short);
            up.port.responder = [&](const QByteArray& w) { return w.endsWith('\r') ? reply : ""; };
            QTimer::singleShot(4000, up.window.get(), [&] { up.window->close(); });
            up.send(row.points);
            EXPECT_EQ(up.dialogs.said, "");
            EXPECT_EQ(up.port.written.replace("2002/03/15 ", ""), row.wire);
            EXPECT_FALSE(up.window->uploading());
        }
    }
    Uploader closed(false); // the table is conditioned all the same, and nothing sent
    closed.send("1004 183 27,1004 183 27");
    EXPECT_EQ(closed.dialogs.said + closed.port.written, "");
    EXPECT_EQ(closed.window->table().Points[1].Second, 30);
    EXPECT_EQ(closed.window->table().Points[1].Azimuth, 185);
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
    EXPECT_EQ(up.dialogs.said, "No valid file selected [Error]! Can't access  [Error: no file name "
                               "was given]! Can't access " +
                                   pass +
                                   " [Error: line 3: azimuth 1e6 does not fit]! File is neither "
                                   "InstantTrack nor Nova file [Error]! ");
    EXPECT_EQ(up.dialogs.lastFilters,
              QStringList({"Output files (*.out)", "All files(*.*) (*.* *)"}));
    EXPECT_EQ(up.port.written, "");
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

// The device lost after the first line, or the window closed then (full budgets: only the close
// can end the wait early): the upload ends at once.
TEST(UploaderWindow, ALostDeviceOrAClosedWindowEndsTheUpload) {
    for (bool lost : {true, false}) {
        Uploader up(true, lost ? Short : ravik::Upload::Budgets{});
        up.port.responder = [&](const QByteArray&) {
            QTimer::singleShot(0, up.window.get(),
                               [&] { lost ? up.port.loseDevice() : (void)up.window->close(); });
            return QByteArray();
        };
        up.send("1000 10 10,1001 20 10");
        up.click("cmdStatus"); // silent from now on
        EXPECT_EQ(up.port.written, "2002/03/15 10:00:00 10 10\r");
        EXPECT_FALSE(up.window->link().isOpen());
        EXPECT_FALSE(up.window->uploading());
        EXPECT_EQ(up.dialogs.said, lost ? "Can't access " + up.dir.filePath("pass.out") +
                                              " [Error: the controller went away during the "
                                              "upload]! "
                                        : "");
        EXPECT_EQ(up.text().endsWith("The controller is not on port 3!!\r\n"), lost);
    }
}

// As built, before start-up, in each font to try: pixels within the client area, in tab order.
TEST(UploaderWindow, LooksAsMeasured) {
    Uploader up;
    for (const char* family : FontsToTry) {
        skypass::frmDataUploader window(
            {&up.port, &up.dialogs, &up.fixed, &up.fixed, "", 5, {}, family});
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
