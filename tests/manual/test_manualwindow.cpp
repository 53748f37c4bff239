#include "fakedialogs.h"
#include "fakeserialport.h"
#include "layoutcheck.h"
#include "manualwindow.h"
#include "pointto.h"
#include "tempfiles.h"
#include <QtTest>

namespace {

const QString Found = "The controller was found on port 3\r\n";

// A handpoint window over a fake port whose controller on port 3 identifies itself.
struct Console {
    QTemporaryDir dir;
    ravik::FakeSerialPort port;
    FakeDialogs dialogs;
    std::unique_ptr<ravik::ManualWindow> window;

    explicit Console(bool present = true) {
        TestApp();
        const QString ini = WriteFile(dir.filePath("Ravik.ini"), "Comm Port 3\r\n");
        port.portExists = [present](int n) { return present && n == 3; };
        port.responder = [](const QByteArray& w) { return w == "?" ? "Ravik RC-2" : ""; };
        window = std::make_unique<ravik::ManualWindow>(
            ravik::ManualWindow::Platform{&port, &dialogs, ini, QLocale::c()});
        window->start();
        Settle();
        port.written.clear();
    }
    QPushButton* button(const char* name) { return window->findChild<QPushButton*>(name); }
    QString text() const { return window->messages().text(); }
};

// Each button pressed with the mouse, then with Return and Enter, with the port open; then once
// with no controller, where nothing is sent and only the buttons that speak before the port test
// change the box (R: "Reading the status", kept: "").
TEST(ManualWindow, EveryButtonPutsItsBytesOnTheWire) {
    const QString R = "Reading the status\r\n", No = "The controller is not on port 3!!\r\n";
    // clang-format off
    const std::tuple<const char*, QByteArray, QString> rows[] = {{"cmdStatus", "Z", R},
        {"cmdEnable", "GZ", R}, {"cmdDisable", "SZ", R}, {"cmdMode0", "m0Z", R},
        {"cmdMode1", "m1Z", R}, {"cmdUnwind", "w", "Unwinding\r\n"}, {"cmdUp", "u", ""},
        {"cmdDown", "d", ""}, {"cmdIncrease", "r", ""}, {"cmdDecrease", "l", ""},
        {"cmdStop", "sZ", R}, {"cmdRestart", "*Z", R}, {"cmdCalibrate", "cxZ", R},
        {"cmdGo", "GP0 0\r", "Moving\r\n"}};
    // clang-format on
    for (auto [name, wire, shown] : rows) {
        SCOPED_TRACE(name);
        Console console, closed(false);
        QTest::mouseClick(console.button(name), Qt::LeftButton);
        EXPECT_EQ(console.text(), shown.isEmpty() ? Found : shown);
        QTest::keyClick(console.button(name), Qt::Key_Return);
        QTest::keyClick(console.button(name), Qt::Key_Enter);
        EXPECT_EQ(console.port.written, wire.repeated(3));
        QTest::mouseClick(closed.button(name), Qt::LeftButton);
        EXPECT_EQ(closed.port.written + closed.dialogs.said, "");
        EXPECT_EQ(closed.text(), shown.isEmpty() || shown == R ? No : shown);
    }
}

// What is typed into the two boxes, and the bytes sent or the box shown: "az" and "el" for the
// range messages, "?" for "Error found in GO subroutine"; a refusal leaves the box alone.
TEST(ManualWindow, PointTo) {
    // clang-format off
    const std::tuple<const char*, const char*, QString> rows[] = {{"180", "45", "GP180 45\r"},
        {"359", "90", "GP359 90\r"}, {"360", "0", "az"}, {"-1", "0", "az"}, {"0", "91", "el"},
        {"0", "-1", "el"}, {"360", "abc", "az"}, {"12.5", "0", "GP12 0\r"},
        {"13.5", "0", "GP14 0\r"}, {"359.5", "0", "az"}, {"-0.4", "0", "GP0 0\r"},
        {"  45  ", " 7 ", "GP45 7\r"}, {"+45", "7", "GP45 7\r"}, {"40000", "0", "?"},
        {"", "0", "?"}, {"abc", "0", "?"}, {"45", "abc", "?"}, {"45", "", "?"}, {"inf", "0", "?"},
        {"nan", "0", "?"}, {"0x1A", "0", "?"}};
    // clang-format on
    const std::map<QString, QString> boxes{{"az", "Az must be between 0 and 359 [Pointing Error] "},
                                           {"el", "El must be between 0 and 90 [Pointing Error] "},
                                           {"?", "Error found in GO subroutine [General Error] "}};
    for (const auto& [azimuth, elevation, outcome] : rows) {
        SCOPED_TRACE(std::string(azimuth) + " / " + elevation);
        Console console;
        console.window->findChild<QLineEdit*>("txtAzimuth")->setText(azimuth);
        console.window->findChild<QLineEdit*>("txtElevation")->setText(elevation);
        QTest::mouseClick(console.button("cmdGo"), Qt::LeftButton);
        const bool sent = outcome.startsWith("GP");
        EXPECT_EQ(console.port.written + console.dialogs.said, sent ? outcome : boxes.at(outcome));
        EXPECT_EQ(console.text(), sent ? "Moving\r\n" : Found);
    }
    // The system's decimal separator: both numbers read, a half rounded to the even neighbour.
    EXPECT_EQ(ravik::checkPointTo("12,5", "3,5", QLocale(QLocale::German)).elevation, 4);
}

// As built, before start-up, in each font to try: pixels within the client area, in tab order.
TEST(ManualWindow, LooksAsMeasured) {
    Console c;
    // clang-format off
    const auto controls = {Measured{"txtFileData", "Text1\n", 192, 56, 225, 161, 'V'},
        {"Label1", "Manual Control", 96, 8, 225, 33, 'L', 24, 0xffff0000},
        {"Frame3", "Rotor Controls", 8, 56, 169, 161, 'F'},
        {"cmdUnwind", "Unwind", 24, 192, 137, 17}, {"cmdMode1", "Mode 1", 24, 144, 137, 17},
        {"cmdMode0", "Mode 0", 24, 168, 137, 17},
        {"cmdDisable", "Disable rotor motion", 24, 120, 137, 17},
        {"cmdEnable", "Enable rotor motion", 24, 96, 137, 17},
        {"cmdStatus", "Show rotor status", 24, 72, 137, 17},
        {"frmPoint", "Point Rotors", 8, 240, 169, 73, 'F'},
        {"txtAzimuth", "0", 72, 256, 33, 19, 'E'}, {"txtElevation", "0", 72, 280, 33, 19, 'E'},
        {"lblAzimuth", "Azimuth", 16, 256, 41, 17, 'L'},
        {"lblElevation", "Elevation", 16, 280, 57, 17, 'L'}, {"cmdGo", "Go!", 120, 256, 41, 41},
        {"cmdUp", "Up", 224, 232, 41, 33}, {"cmdStop", "Stop", 224, 264, 41, 33},
        {"cmdDown", "Down", 224, 296, 41, 33}, {"cmdDecrease", "Dec. Az.", 184, 264, 41, 33},
        {"cmdIncrease", "Inc. Az.", 264, 264, 41, 33},
        {"cmdCalibrate", "Set Zero", 328, 240, 89, 33},
        {"cmdRestart", "Restart", 328, 288, 89, 33}};
    // clang-format on
    for (const char* f : FontsToTry)
        CheckWindow(ravik::ManualWindow({&c.port, &c.dialogs, "", QLocale::c(), f}), controls);
}

} // namespace
