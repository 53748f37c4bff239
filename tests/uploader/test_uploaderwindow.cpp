#include "errors.h"
#include "fakedialogs.h"
#include "fakeserialport.h"
#include "layoutcheck.h"
#include "tempfiles.h"
#include "uploaderwindow.h"
#include <QtTest>

namespace {

const QString OffsetFound = "Time Zone offset = 4 hours\r\nThe controller was found on port 3\r\n";
const ravik::Upload::Budgets Short{100, 20, 60, 50}, Long{5000, 5000, 10000, 5000};

// A skypass window over a fake port, four hours west of UTC at 2002/03/15 10:04:30 UTC (or with
// no time zone to be had); the controller on port 3 identifies itself and answers every upload
// line with a short reply ended by the end-of-file character.
struct Uploader : ravik::TimeZoneQuery, ravik::Clock {
    QTemporaryDir dir;
    ravik::FakeSerialPort port;
    FakeDialogs dialogs;
    bool noZone;
    std::unique_ptr<ravik::UploaderWindow> window;

    // `vanishing`: the device goes away while it is probed.
    explicit Uploader(ravik::Upload::Budgets budgets = {}, bool noZone = false,
                      bool vanishing = false)
        : noZone(noZone) {
        TestApp();
        const QString ini = WriteFile(dir.filePath("Ravik.ini"), "Comm Port 3\r\n");
        port.portExists = [](int n) { return n == 3; };
        port.responder = [this, vanishing](const QByteArray& w) -> QByteArray {
            return vanishing ? QTimer::singleShot(0, &port, [this] { port.loseDevice(); }), ""
               : w == "?"    ? "Ravik RC-2\r\n"
                             : "";
        };
        window = std::make_unique<ravik::UploaderWindow>(
            ravik::UploaderWindow::Platform{&port, &dialogs, this, this, ini, 5, budgets});
        window->start();
        Settle();
        port.written.clear();
        port.responder = [](const QByteArray& w) {
            return w.endsWith('\r') && !w.startsWith('T') ? "Motion off  Points 1\r\n\x1A" : "";
        };
    }
    ravik::TimeZoneInfo query() const override {
        return noZone ? throw ravik::RunTimeError("no time zone") : ravik::TimeZoneInfo{2, 300, 60};
    }
    QDateTime nowUtc() const override { return {QDate(2002, 3, 15), QTime(10, 4, 30), Qt::UTC}; }
    void click(const char* name) { window->findChild<QPushButton*>(name)->click(); }
    // Chooses a pass file and sends it: an InstantTrack file with these points ("[date] time az
    // el", separated by ","; the date 15Mar2002 when left out), or a file as it is.
    void send(const QByteArray& points, bool asIs = false) {
        QByteArray text = "Satellite RS-99\r\nPredicted Time Az El Range Doppler Phase\r\n";
        for (const QByteArray& p : points.split(','))
            text += p.isEmpty() ? "" : (p.count(' ') == 2 ? "15Mar2002 " : "") + p + " 1 2 3\r\n";
        dialogs.files << WriteFile(dir.filePath("pass.out"), asIs ? points : text);
        click("cmdOpen");
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window->uploading(); }, 30000));
    }
    QString text() const { return window->messages().text(); }
};

// The stated budgets, which the tests below hold in short form.
TEST(Upload, Budgets) {
    const ravik::Upload::Budgets b;
    EXPECT_EQ(std::vector({b.firstReplyMs, b.lineReplyMs, b.sharedMs, b.finalReplyMs, b.drainMs}),
              std::vector({10000, 2000, 10000, 10000, 10000}));
}

// A failed time-zone step ends start-up early, but the clock runs all the same.
TEST(UploaderWindow, TheClockRunsAfterAFailedTimeZoneStep) {
    Uploader up({}, true);
    auto* time = up.window->findChild<QLabel*>("lblTime");
    EXPECT_TRUE(QTest::qWaitFor([&] { return time->text() == "UTC:  2002/03/15 10:04:30"; }));
}

// A device that goes away while it is probed is not found, and told so once.
TEST(UploaderWindow, ADeviceGoneDuringTheProbeIsToldOnce) {
    EXPECT_EQ(Uploader({}, false, true).text(),
              "Time Zone offset = 4 hours\r\nThe controller is not on port 3!!\r\n");
}

// Hours in the time-zone line, and the line when the zone could not be read.
TEST(UploaderWindow, OffsetLines) {
    const QTimeZone howe("Australia/Lord_Howe"); // +10:30, half an hour more in summer
    // clang-format off
    const std::pair<ravik::TimeZoneInfo, QString> rows[] = {{{2, 0, 60}, "-1"},
        {{1, -330, 60}, "-5.5"}, {{1, -345, 60}, "-5.75"}, {{2, 300, 60}, "4"}, {{1, 300, 60}, "5"},
        {{2, -630, 30}, "-11"}, {{0xFFFFFFFFu, 0, 60}, "0"},
        {ravik::zoneInfoAt(howe, QDateTime(QDate(2024, 1, 15), {}, Qt::UTC)), "-11"},
        {ravik::zoneInfoAt(howe, QDateTime(QDate(2024, 7, 15), {}, Qt::UTC)), "-10.5"}};
    // clang-format on
    for (const auto& [zone, hours] : rows)
        EXPECT_EQ(ravik::offsetLine(zone), "Time Zone offset = " + hours + " hours\r\n");
    EXPECT_EQ(ravik::offsetLine({0, 300, 60}), "Couldn't determine UTC time offset\r\n");
}

// Each button pressed twice with the port open (the box then reads "Reading the status" when a
// status request ends the bytes, or keeps its text).
TEST(UploaderWindow, EveryButtonPutsItsBytesOnTheWire) {
    // clang-format off
    const std::pair<const char*, QByteArray> rows[] = {{"cmdClear", "XZ"}, {"cmdStatus", "Z"},
        {"cmdGoTo", "GF"}, {"cmdEnable", "GZ"}, {"cmdDisable", "SZ"}, {"cmdMode0", "m0Z"},
        {"cmdMode1", "m1Z"}, {"cmdUnwind", "w"}, {"cmdSynchronize", "T2002/03/15 10:04:30\rZ"}};
    // clang-format on
    for (const auto& [button, wire] : rows) {
        SCOPED_TRACE(button);
        Uploader up;
        up.click(button);
        EXPECT_EQ(up.text(), wire.endsWith('Z') ? "Reading the status" : OffsetFound);
        up.click(button);
        EXPECT_EQ(up.port.written, wire.repeated(2));
    }
}

// The reply in pieces after "Show rotor status", and what the box then shows: from the status word
// on, after identification leftovers or a command's own reply; a reply that never ends is bounded
// and only its newest part kept.
TEST(UploaderWindow, RepliesAreShownFromTheStatusWordOn) {
    // clang-format off
    const std::pair<QByteArrayList, QString> rows[] = {
        {{"RC-2\r\nMotion on\x1A"}, "Motion on"}, {{"motion\x1A"}, "Rotor response was garbled"},
        {{"OK\x1A", "Motion on\x1A"}, "Motion on"}, {{"M", "otion x\r", "\n\x1A"}, "Motion x\r\n"},
        {QByteArrayList(20, QByteArray(16 * 1024, 'x')) << "Motion on\x1A", "Motion on"}};
    // clang-format on
    for (const auto& [pieces, shown] : rows) {
        Uploader up;
        up.click("cmdStatus");
        for (const QByteArray& piece : pieces) {
            up.port.feed(piece), Settle();
            EXPECT_LE(up.window->link().replyBuffer().size(),
                      ravik::ControllerLink::ReplyBufferLimit);
        }
        EXPECT_EQ(up.text(), shown);
        EXPECT_TRUE(up.window->link().replyBuffer().isEmpty());
    }
}

// The points ("[date] time az el", see send()) and the bytes sent, "2002/03/15 " left out: with a
// controller that answers each line, one that answers with a bare end-of-file character (neither
// may have to wait out a budget before the window is closed), and a silent one.
TEST(UploaderWindow, UploadBytes) {
    // clang-format off
    const std::pair<QByteArray, QByteArray> rows[] = {
        {"1004 180 0,1004 183.4 27", "10:04:00 180 0\r10:04:30 185 25\rZ"},
        {"1000 10 -1,1001 20 -2,1002 30 -3", "10:00:00 10 0\r10:01:00 20 0\rZ"},
        {"1000 357 10,1001 358 10,1002 359 10,1003 2 10,1004 3 10",
         "10:00:00 355 10\r10:01:00 360 10\r10:03:00 0 10\r10:04:00 5 10\rZ"},
        {"1004 10 10,16Mar2002 1004 20 10", "10:04:00 10 10\r2002/03/16 10:04:30 20 10\rZ"},
        {"1000 90 -10,1001 0 0,1002 5 5", "10:02:00 5 5\rZ"},
        {"1000 10 10,1001 10 10,1002 20 10,1003 10 10",
         "10:00:00 10 10\r10:02:00 20 10\r10:03:00 10 10\rZ"},
        {"", "Z"}}; // an empty table: the final wait, two ticks, the status request
    // clang-format on
    for (const auto& [points, wire] : rows) {
        for (const char* reply : {"Motion off  Points 1\r\n\x1A", "\x1A", ""}) {
            SCOPED_TRACE(points.toStdString() + ", reply " + reply);
            Uploader up(*reply ? Long : Short);
            up.port.responder = [&](const QByteArray& w) { return w.endsWith('\r') ? reply : ""; };
            QTimer::singleShot(4000, up.window.get(), [&] { up.window->close(); });
            up.send(points);
            EXPECT_EQ(up.dialogs.said, "");
            EXPECT_EQ(up.port.written.replace("2002/03/15 ", ""), wire);
            EXPECT_FALSE(up.window->uploading());
        }
    }
}

// Each failure names the file: no choice yet, an earlier choice (sent in full) then a cancelled
// one (nothing sent, not even the previous pass), a point out of range, a file of no known kind.
TEST(UploaderWindow, FailuresAreToldWithTheFileName) {
    Uploader up;
    up.window->uploadTable();
    up.send("1000 10 10");
    up.port.written.clear();
    up.click("cmdOpen");
    up.send("1000 1e6 10");
    up.send("Shopping\r\nmilk\r\nbread\r\n", true);
    EXPECT_EQ(up.dialogs.said, "No valid file selected [Error]! Can't access  [Error: no file name "
                               "was given]! Can't access " +
                                   up.dir.filePath("pass.out") +
                                   " [Error: line 3: azimuth 1e6 does not fit]! File is neither "
                                   "InstantTrack nor Nova file [Error]! ");
    EXPECT_EQ(up.port.written, "");
}

// The end of line 1's reply arrives only after line 2 went out: line 3 waits for the reply that
// began after line 2.
TEST(UploaderWindow, TheTailOfTheLastReplyDoesNotPaceTheNextLine) {
    Uploader up({5000, 100, 10000, 5000});
    int linesAtCheck = -1;
    bool statusBeforeLastReply = true;
    up.port.responder = [&](const QByteArray& w) -> QByteArray {
        const auto line = up.port.written.count('\r');
        if (line == 2) {
            QTimer::singleShot(0, &up.port, [&] { up.port.feed("\r\n\x1A"); });
            QTimer::singleShot(40, &up.port, [&] {
                up.click("cmdOpen"); // a second load during the upload is refused
                linesAtCheck = int(up.port.written.count('\r'));
                up.port.feed("Motion off  Points 2\r\n\x1A");
            });
        }
        if (line == 3 && w.endsWith('\r')) // the last reply outlasts its line's wait: still awaited
            QTimer::singleShot(200, &up.port, [&] {
                statusBeforeLastReply = up.port.written.endsWith('Z');
                up.port.feed("Points 3\r\n\x1A");
            });
        return line == 1 ? "Motion off  Points 1" : "";
    };
    up.send("1000 10 10,1001 20 10,1002 30 10");
    EXPECT_EQ(linesAtCheck, 2);
    EXPECT_FALSE(statusBeforeLastReply);
    EXPECT_EQ(up.port.written.count('\r'), 3);
    EXPECT_EQ(up.dialogs.said, "");
}

// The device lost after the first line, or the window closed then (full budgets: only the close
// can end the wait early): the upload ends at once, and the link with it.
TEST(UploaderWindow, ALostDeviceOrAClosedWindowEndsTheUpload) {
    for (bool lost : {true, false}) {
        Uploader up(lost ? Short : ravik::Upload::Budgets{});
        up.port.responder = [&](const QByteArray&) {
            QTimer::singleShot(0, up.window.get(),
                               [&] { lost ? up.port.loseDevice() : (void)up.window->close(); });
            return QByteArray();
        };
        up.send("1000 10 10,1001 20 10");
        EXPECT_EQ(up.port.written, "2002/03/15 10:00:00 10 10\r");
        EXPECT_FALSE(up.window->link().isOpen() || up.window->uploading());
        const QString gone = " [Error: the controller went away during the upload]! ";
        EXPECT_EQ(up.dialogs.said,
                  lost ? "Can't access " + up.dir.filePath("pass.out") + gone : "");
        EXPECT_EQ(up.text().endsWith("The controller is not on port 3!!\r\n"), lost);
    }
}

// Each reply comes 150 ms after its line: the first line waits for it (its own budget, 1 s), the
// later ones only 20 ms. The count of lines written when each reply comes, then a controller that
// takes nothing after the first line: the upload stops once its drain budget has passed.
TEST(UploaderWindow, TheFirstLinesOwnWaitAndTheStall) {
    Uploader up({1000, 20, 1000, 50, 50});
    QByteArray atReply;
    up.port.responder = [&](const QByteArray& w) {
        if (w.endsWith('\r'))
            QTimer::singleShot(150, &up.port, [&] {
                atReply += QByteArray::number(up.port.written.count('\r')), up.port.feed("\x1A");
            });
        return QByteArray();
    };
    up.send("1000 10 10,1001 20 10,1002 30 10");
    EXPECT_TRUE(QTest::qWaitFor([&] { return atReply.size() == 3; }));
    EXPECT_EQ(atReply, "133");
    up.port.responder = [&](const QByteArray&) { return up.port.unsent = 5, QByteArray(); };
    up.send("1000 10 10,1001 20 10");
    EXPECT_EQ(up.dialogs.said, "Can't access " + up.dir.filePath("pass.out") +
                                   " [Error: the controller took no data for 0 s]! ");
}

// As built, before start-up, in each font to try: pixels within the client area, in tab order.
TEST(UploaderWindow, LooksAsMeasured) {
    Uploader u;
    // clang-format off
    const auto controls = {
        Measured{"cmdOpen", "Send an ephemeris to the controller", 40, 64, 97, 89},
        {"txtFileData", "Text1", 192, 24, 225, 145, 'M'}, {"lblTime", "", 192, 0, 297, 25, 'L', 12},
        {"Frame3", "Rotor Controls", 8, 176, 409, 145, 'F'},
        {"cmdClear", "Clear the buffer", 24, 240, 185, 17},
        {"cmdStatus", "Show rotor status", 216, 192, 185, 17},
        {"cmdGoTo", "Go to first stored position", 24, 216, 185, 17},
        {"cmdEnable", "Enable rotor motion", 216, 216, 185, 17},
        {"cmdDisable", "Disable rotor motion", 216, 240, 185, 17},
        {"cmdSynchronize", "Synchronize rotor time with UTC", 24, 192, 185, 17},
        {"Label1", "Ravik", 32, 16, 113, 33, 'L', 24}, {"cmdMode0", "Mode 0", 24, 264, 185, 17},
        {"cmdMode1", "Mode 1", 216, 264, 185, 17}, {"cmdUnwind", "Unwind", 184, 288, 57, 25}};
    // clang-format on
    for (const char* f : FontsToTry)
        CheckWindow(ravik::UploaderWindow({&u.port, &u.dialogs, &u, &u, "", 5, {}, f}), controls);
}

} // namespace
