#include "fakedialogs.h"
#include "fakeserialport.h"
#include "layoutcheck.h"
#include "manualwindow.h"
#include "qtapp.h"
#include "tempfiles.h"
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using ravik::FakeSerialPort;

namespace {

// A handpoint window over a fake port whose controller on port 3 identifies itself.
struct Console {
    QTemporaryDir dir;
    FakeSerialPort port;
    FakeDialogs dialogs;
    std::unique_ptr<handpoint::frmDataUploader> window;

    explicit Console(bool controllerPresent = true,
                     const QByteArray& identification = "Ravik RC-2") {
        TestApp();
        const QString ini = WriteFile(dir.filePath(QStringLiteral("Ravik.ini")), "Comm Port 3\r\n");
        port.portExists = [controllerPresent](int n) { return controllerPresent && n == 3; };
        port.responder = [identification](const QByteArray& w) {
            return w == "?" ? identification : QByteArray();
        };
        handpoint::Platform platform{&port, &dialogs, ini, QLocale::c()};
        window = std::make_unique<handpoint::frmDataUploader>(platform);
        window->Form_Load();
        Settle();
        port.responder = nullptr;
        port.written.clear();
        port.writeCount = 0;
    }
    void click(const char* name) {
        auto* button = window->findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    void type(const char* box, const char* text) {
        window->findChild<QLineEdit*>(QString::fromLatin1(box))->setText(QString::fromLatin1(text));
    }
    QString text() const { return window->messages().text(); }
};

struct ButtonCase {
    const char* button;
    QByteArray wire;
    int writes;
    const char* shown; // message box text afterwards with the port open
};

const QString Found = QStringLiteral("The controller was found on port 3\r\n");

const ButtonCase Buttons[] = {
    {"cmdStatus", "Z", 1, "Reading the status\r\n"},
    {"cmdEnable", "GZ", 2, "Reading the status\r\n"},
    {"cmdDisable", "SZ", 2, "Reading the status\r\n"},
    {"cmdMode0", "m0Z", 2, "Reading the status\r\n"},
    {"cmdMode1", "m1Z", 2, "Reading the status\r\n"},
    {"cmdUnwind", "w", 1, "Unwinding\r\n"},
    {"cmdUp", "u", 1, nullptr},
    {"cmdDown", "d", 1, nullptr},
    {"cmdIncrease", "r", 1, nullptr},
    {"cmdDecrease", "l", 1, nullptr},
    {"cmdStop", "sZ", 2, "Reading the status\r\n"},
    {"cmdRestart", "*Z", 2, "Reading the status\r\n"},
    {"cmdCalibrate", "cxZ", 3, "Reading the status\r\n"},
    {"cmdGo", "GP0 0\r", 1, "Moving\r\n"},
};

TEST(ManualWindow, EveryButtonPutsItsBytesOnTheWire) {
    for (const ButtonCase& c : Buttons) {
        SCOPED_TRACE(c.button);
        Console console;
        ASSERT_EQ(console.text(), Found);
        console.click(c.button);
        EXPECT_EQ(console.port.written, c.wire);
        EXPECT_EQ(console.port.writeCount, c.writes);
        EXPECT_EQ(console.text(), c.shown ? QString::fromLatin1(c.shown) : Found);
        console.click(c.button); // nothing is suppressed
        EXPECT_EQ(console.port.written, c.wire + c.wire);
    }
}

TEST(ManualWindow, WithoutAControllerNoButtonSendsAndOnlyUnwindAndGoSpeak) {
    for (const ButtonCase& c : Buttons) {
        SCOPED_TRACE(c.button);
        Console console(false);
        const QString before = QStringLiteral("The controller is not on port 3!!\r\n");
        ASSERT_EQ(console.text(), before);
        console.click(c.button);
        EXPECT_TRUE(console.port.written.isEmpty());
        const bool speaks = QByteArray(c.button) == "cmdUnwind" || QByteArray(c.button) == "cmdGo";
        EXPECT_EQ(console.text(), speaks ? QString::fromLatin1(c.shown) : before);
        EXPECT_TRUE(console.dialogs.shown.empty());
    }
}

TEST(ManualWindow, RepliesAreAppendedAsTheyCome) {
    Console console(true, "Ravik");
    console.port.feed(" RC-2\r\n"); // the rest of the identification, after the probe's piece
    Settle();
    EXPECT_EQ(console.text(), Found + QStringLiteral(" RC-2\r\n"));
    console.click("cmdStatus");
    for (const char* piece : {"Mot", "ion on\r", "\nMode 0\r\n\x1A"}) {
        console.port.feed(piece);
        Settle();
    }
    EXPECT_EQ(console.text(), QStringLiteral("Reading the status\r\nMotion on\r\nMode 0\r\n"));
}

TEST(ManualWindow, AWrongAnswerKeepsTheFirstText) {
    Console console(true, "RAVIK RC-2");
    EXPECT_EQ(console.text(), QStringLiteral("Text1\r\n"));
    EXPECT_FALSE(console.window->link().isOpen());
}

TEST(ManualWindow, PointingMessagesAndBytes) {
    struct Case {
        const char *azimuth, *elevation;
        const char* message;
        const char* title;
        QByteArray wire;
    } cases[] = {
        {"359", "90", nullptr, nullptr, "GP359 90\r"},
        {"360", "0", "Az must be between 0 and 359", "Pointing Error", ""},
        {"0", "91", "El must be between 0 and 90", "Pointing Error", ""},
        {"abc", "0", "Error found in GO subroutine", "General Error", ""},
        {"12.5", "13.5", nullptr, nullptr, "GP12 14\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.azimuth);
        Console console;
        console.type("txtAzimuth", c.azimuth);
        console.type("txtElevation", c.elevation);
        console.click("cmdGo");
        EXPECT_EQ(console.port.written, c.wire);
        if (c.message) {
            ASSERT_EQ(console.dialogs.shown.size(), 1u);
            EXPECT_EQ(console.dialogs.shown[0].text, QString::fromLatin1(c.message));
            EXPECT_EQ(console.dialogs.shown[0].title, QString::fromLatin1(c.title));
            EXPECT_EQ(console.dialogs.shown[0].icon, ravik::Dialogs::Icon::None);
            EXPECT_EQ(console.text(), Found); // the box is left alone
        } else {
            EXPECT_TRUE(console.dialogs.shown.empty());
            EXPECT_EQ(console.text(), QStringLiteral("Moving\r\n"));
        }
    }
}

TEST(ManualWindow, AFailingWriteIsToldAndClosesThePort) {
    Console console;
    console.port.failWrites = true;
    console.click("cmdGo");
    ASSERT_EQ(console.dialogs.shown.size(), 1u);
    EXPECT_EQ(console.dialogs.shown[0].text, QStringLiteral("Error found in GO subroutine"));
    EXPECT_FALSE(console.window->link().isOpen());
    EXPECT_EQ(console.text(), QStringLiteral("The controller is not on port 3!!\r\n"));
    console.port.failWrites = false;
    console.click("cmdStatus"); // silent from now on, as after a failed start-up
    EXPECT_TRUE(console.port.written.isEmpty());
}

TEST(ManualWindow, LayoutMatchesTheTable) {
    Console console;
    CheckLayout(*console.window, handpoint::ManualLayout());
    EXPECT_EQ(console.window->windowTitle(), QStringLiteral("Data Uploader and Rotor Handler"));
    auto* title = console.window->findChild<QLabel*>(QStringLiteral("Label1"));
    EXPECT_EQ(title->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(console.window->findChild<QLineEdit*>(QStringLiteral("txtAzimuth"))->text(),
              QStringLiteral("0"));
}

} // namespace
