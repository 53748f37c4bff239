#include "fakedialogs.h"
#include "fakeserialport.h"
#include "layoutcheck.h"
#include "manualwindow.h"
#include "pointto.h"
#include "qtapp.h"
#include "tempfiles.h"
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <map>

namespace {

const QString Found = "The controller was found on port 3\r\n";
const QString NotFound = "The controller is not on port 3!!\r\n";

// A handpoint window over a fake port whose controller on port 3 identifies itself.
struct Console {
    QTemporaryDir dir;
    ravik::FakeSerialPort port;
    FakeDialogs dialogs;
    std::unique_ptr<handpoint::frmDataUploader> window;

    explicit Console(bool present = true, const QByteArray& identification = "Ravik RC-2") {
        TestApp();
        const QString ini = WriteFile(dir.filePath("Ravik.ini"), "Comm Port 3\r\n");
        port.portExists = [present](int n) { return present && n == 3; };
        port.responder = [=](const QByteArray& w) { return w == "?" ? identification : ""; };
        window = std::make_unique<handpoint::frmDataUploader>(
            handpoint::Platform{&port, &dialogs, ini, QLocale::c()});
        window->Form_Load();
        Settle();
        port.responder = nullptr;
        port.written.clear();
        port.writeCount = 0;
    }
    void click(const char* name) {
        QTest::mouseClick(window->findChild<QPushButton*>(name), Qt::LeftButton);
    }
    QString text() const { return window->messages().text(); }
};

// Each button pressed with the mouse, then with Return and Enter, with the port open; then once
// with no controller, where nothing is sent and only the buttons that speak before the port test
// change the box.
TEST(ManualWindow, EveryButtonPutsItsBytesOnTheWire) {
    const char* const R = "Reading the status\r\n";
    const struct {
        const char *button, *wire;
        int writes;
        const char* shown; // nullptr: the box keeps its text
    } rows[] = {{"cmdStatus", "Z", 1, R},         {"cmdEnable", "GZ", 2, R},
                {"cmdDisable", "SZ", 2, R},       {"cmdMode0", "m0Z", 2, R},
                {"cmdMode1", "m1Z", 2, R},        {"cmdUnwind", "w", 1, "Unwinding\r\n"},
                {"cmdUp", "u", 1, nullptr},       {"cmdDown", "d", 1, nullptr},
                {"cmdIncrease", "r", 1, nullptr}, {"cmdDecrease", "l", 1, nullptr},
                {"cmdStop", "sZ", 2, R},          {"cmdRestart", "*Z", 2, R},
                {"cmdCalibrate", "cxZ", 3, R},    {"cmdGo", "GP0 0\r", 1, "Moving\r\n"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.button);
        Console console, closed(false);
        ASSERT_EQ(console.text(), Found);
        console.click(row.button);
        EXPECT_EQ(console.port.writeCount, row.writes);
        EXPECT_EQ(console.text(), row.shown ? row.shown : Found);
        QTest::keyClick(console.window->findChild<QPushButton*>(row.button), Qt::Key_Return);
        QTest::keyClick(console.window->findChild<QPushButton*>(row.button), Qt::Key_Enter);
        EXPECT_EQ(console.port.written, QByteArray(row.wire).repeated(3));
        ASSERT_EQ(closed.text(), NotFound);
        closed.click(row.button);
        EXPECT_EQ(closed.port.written + closed.dialogs.said, "");
        EXPECT_EQ(closed.text(), row.shown && row.shown != R ? row.shown : NotFound);
    }
}

TEST(ManualWindow, RepliesAreAppendedAsTheyCome) {
    Console console(true, "Ravik");
    console.port.feed(" RC-2\r\n"); // the rest of the identification, after the probe's piece
    Settle();
    EXPECT_EQ(console.text(), Found + " RC-2\r\n");
    console.click("cmdStatus");
    for (const char* piece : {"Mot", "ion on\r", "\nMode 0\r\n\x1A"}) {
        console.port.feed(piece);
        Settle();
    }
    EXPECT_EQ(console.text(), "Reading the status\r\nMotion on\r\nMode 0\r\n");
    Console caps(true, "RAVIK RC-2"); // a wrong answer keeps the first text
    EXPECT_EQ(caps.text(), "Text1\r\n");
    EXPECT_FALSE(caps.window->link().isOpen());
}

// What is typed into the two boxes, and the bytes sent or the box shown: "az" and "el" for the
// range messages, "?" for "Error found in GO subroutine".
TEST(ManualWindow, PointTo) {
    const struct {
        const char *azimuth, *elevation, *outcome;
    } rows[] = {
        {"0", "0", "GP0 0\r"},     {"180", "45", "GP180 45\r"}, {"359", "90", "GP359 90\r"},
        {"360", "0", "az"},        {"-1", "0", "az"},           {"0", "91", "el"},
        {"0", "-1", "el"},         {"400", "100", "az"},        {"360", "abc", "az"},
        {"12.5", "0", "GP12 0\r"}, {"13.5", "0", "GP14 0\r"},   {"359.5", "0", "az"},
        {"-0.4", "0", "GP0 0\r"},  {"045", "0", "GP45 0\r"},    {"  45  ", " 7 ", "GP45 7\r"},
        {"+45", "7", "GP45 7\r"},  {"40000", "0", "?"},         {"", "0", "?"},
        {"abc", "0", "?"},         {"45", "abc", "?"},          {"45", "", "?"},
        {"inf", "0", "?"},         {"nan", "0", "?"},           {"0x1A", "0", "?"}};
    const std::map<QString, QString> boxes{{"az", "Az must be between 0 and 359 [Pointing Error] "},
                                           {"el", "El must be between 0 and 90 [Pointing Error] "},
                                           {"?", "Error found in GO subroutine [General Error] "}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.azimuth) + " / " + row.elevation);
        Console console;
        console.window->findChild<QLineEdit*>("txtAzimuth")->setText(row.azimuth);
        console.window->findChild<QLineEdit*>("txtElevation")->setText(row.elevation);
        console.click("cmdGo");
        const bool sent = QString(row.outcome).startsWith("GP");
        EXPECT_EQ(console.port.written, sent ? row.outcome : "");
        EXPECT_EQ(console.dialogs.said, sent ? "" : boxes.at(row.outcome));
        EXPECT_EQ(console.text(), sent ? "Moving\r\n" : Found); // a refusal leaves the box alone
    }
    const QLocale german(QLocale::German, QLocale::Germany); // the system's decimal separator
    EXPECT_EQ(ravik::CheckPointTo("12,5", "3,5", german).azimuth, 12);
    EXPECT_EQ(ravik::CheckPointTo("12,5", "3,5", german).elevation, 4);
}

TEST(ManualWindow, AFailingWriteIsToldAndClosesThePort) {
    Console console;
    console.port.failWrites = true;
    console.click("cmdGo");
    EXPECT_EQ(console.dialogs.said, "Error found in GO subroutine [General Error] ");
    EXPECT_FALSE(console.window->link().isOpen());
    EXPECT_EQ(console.text(), NotFound);
    console.port.failWrites = false;
    console.click("cmdStatus"); // silent from now on, as after a failed start-up
    EXPECT_EQ(console.port.written, "");
}

// As built, before start-up, in each font to try: pixels within the client area, in tab order.
TEST(ManualWindow, LooksAsMeasured) {
    Console c;
    for (const char* family : FontsToTry) {
        handpoint::frmDataUploader window({&c.port, &c.dialogs, "", QLocale::c(), family});
        CheckWindow(window, {{"txtFileData", 'V', "Text1\n", 192, 56, 225, 161},
                             {"Label1", 'L', "Manual Control", 96, 8, 225, 33, 24, 0xffff0000},
                             {"Frame3", 'F', "Rotor Controls", 8, 56, 169, 161},
                             {"cmdUnwind", 'B', "Unwind", 24, 192, 137, 17},
                             {"cmdMode1", 'B', "Mode 1", 24, 144, 137, 17},
                             {"cmdMode0", 'B', "Mode 0", 24, 168, 137, 17},
                             {"cmdDisable", 'B', "Disable rotor motion", 24, 120, 137, 17},
                             {"cmdEnable", 'B', "Enable rotor motion", 24, 96, 137, 17},
                             {"cmdStatus", 'B', "Show rotor status", 24, 72, 137, 17},
                             {"frmPoint", 'F', "Point Rotors", 8, 240, 169, 73},
                             {"txtAzimuth", 'E', "0", 72, 256, 33, 19},
                             {"txtElevation", 'E', "0", 72, 280, 33, 19},
                             {"lblAzimuth", 'L', "Azimuth", 16, 256, 41, 17},
                             {"lblElevation", 'L', "Elevation", 16, 280, 57, 17},
                             {"cmdGo", 'B', "Go!", 120, 256, 41, 41},
                             {"cmdUp", 'B', "Up", 224, 232, 41, 33},
                             {"cmdStop", 'B', "Stop", 224, 264, 41, 33},
                             {"cmdDown", 'B', "Down", 224, 296, 41, 33},
                             {"cmdDecrease", 'B', "Dec. Az.", 184, 264, 41, 33},
                             {"cmdIncrease", 'B', "Inc. Az.", 264, 264, 41, 33},
                             {"cmdCalibrate", 'B', "Set Zero", 328, 240, 89, 33},
                             {"cmdRestart", 'B', "Restart", 328, 288, 89, 33}});
    }
}

} // namespace
