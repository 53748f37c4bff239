// A bounded soak of skypass's main road: a window in this process over a real pseudo-terminal
// uploads the sample passes to ravik-sim again and again, with the buffer cleared and the status
// asked between uploads. Memory must stay flat, and every reply must reach the message box, in
// order, none lost. RAVIK_SOAK_SECONDS sets the length (default 120).
#include "conditioning.h"
#include "fakedialogs.h"
#include "passfile.h"
#include "qtapp.h"
#include "qtserialport.h"
#include "simprocess.h"
#include "tempfiles.h"
#include "uploaderwindow.h"
#include "utcclock.h"
#include <QElapsedTimer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

namespace {

struct FixedZone : ravik::TimeZoneQuery {
    ravik::TimeZoneInfo query() const override { return {1, 0, 60}; }
};

// Resident memory of this process, from the kernel's own account.
long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:"))
            return std::atol(line.c_str() + 6);
    return 0;
}

// The bytes an upload of this pass puts on the line, worked out by the functional core.
QByteArray UploadBytes(const QString& file) {
    ravik::Tokens tokens;
    ravik::EphemerisTable table;
    ravik::MonthNames months;
    ravik::fillMonthNames(months);
    ravik::loadPassFile(file, tokens, table, months);
    ravik::conditionTable(table);
    QByteArray bytes;
    for (int index : ravik::pointsToSend(table))
        bytes += ravik::formatEphemerisLine(table, index);
    return bytes;
}

// A message box text as the order check needs it: "E" for an emptied box, "R" for "Reading the
// status", "P<n>" for an upload line's reply, "S<n>" for a status reply (however the controller
// breaks it into lines, the point count comes last), else the text itself.
std::string Tag(const QString& text) {
    static const QRegularExpression reply(
        QStringLiteral("^Motion (?:on|off)  (Mode \\d.*\\b)?Points (\\d+)\r\n$"),
        QRegularExpression::DotMatchesEverythingOption);
    if (const auto m = reply.match(text); m.hasMatch())
        return (m.captured(1).isEmpty() ? "P" : "S") + m.captured(2).toStdString();
    return text.isEmpty()                                 ? "E"
           : text == QStringLiteral("Reading the status") ? "R"
                                                          : text.toStdString();
}

TEST(Soak, RepeatedUploadsKeepMemoryFlatAndEveryReply) {
    TestApp();
    QTemporaryDir dir;
    ravik::test::SimProcess sim;
    ASSERT_TRUE(sim.start(dir.path().toStdString(), 1)) << sim.error();
    const QString ini = WriteFile(dir.filePath(QStringLiteral("Ravik.ini")), "Comm Port 1\r\n");
    ravik::QtSerialPort port(dir.path());
    FakeDialogs dialogs;
    FixedZone zone;
    ravik::SystemClock clock;
    // A short tick keeps the wait after each upload short.
    ravik::UploaderWindow window(
        ravik::UploaderWindow::Platform{&port, &dialogs, &zone, &clock, ini, 20});
    std::string transcript;
    QObject::connect(&window.messages(), &ravik::MessageText::replaced,
                     [&] { transcript += Tag(window.messages().text()) + " "; });
    window.start();
    window.show();
    QElapsedTimer opening;
    opening.start();
    while (!window.link().isOpen() && opening.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    ASSERT_TRUE(window.link().isOpen());
    // Runs the event loop until the box has shown `count` status replies; the bound only keeps a
    // lost reply from hanging the test.
    const auto awaitStatuses = [&](int count) {
        QElapsedTimer waited;
        waited.start();
        while (std::ranges::count(transcript, 'S') < count && waited.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    };

    const int asked = qEnvironmentVariableIntValue("RAVIK_SOAK_SECONDS"),
              seconds = asked > 0 ? asked : 120;
    const double span = std::min(60.0, seconds / 2.0); // the first and the last minute, or halves
    long firstPeak = 0, lastPeak = 0, cycles = 0;
    size_t logged = 1; // the identification request
    QElapsedTimer elapsed;
    elapsed.start();
    for (; elapsed.elapsed() < seconds * 1000LL; ++cycles) {
        const QString file = QStringLiteral(RAVIK_SOURCE_DIR "/uploader/samples/pass-%1.out")
                                 .arg(cycles % 2 ? "instanttrack" : "nova");
        const QByteArray upload = UploadBytes(file);
        const int count = int(upload.count('\r'));
        SCOPED_TRACE("cycle " + std::to_string(cycles) + ", " + file.toStdString());
        ASSERT_GT(count, 1);
        transcript.clear();
        window.findChild<QPushButton*>(QStringLiteral("cmdClear"))->click();
        awaitStatuses(1);
        dialogs.files << file;
        window.sendEphemeris();
        awaitStatuses(2);
        window.requestStatus();
        awaitStatuses(3);
        std::string expected = "R S0 E ";
        for (int n = 1; n <= count; ++n)
            expected += "P" + std::to_string(n) + " ";
        const std::string shown = "R S" + std::to_string(count) + " ";
        ASSERT_EQ(transcript, expected + shown + shown);
        // Everything written reached the controller, in order and nothing else.
        const std::string wire = sim.received().substr(logged);
        ASSERT_EQ(wire, ("XZ" + upload + "ZZ").toStdString());
        logged += wire.size();
        ASSERT_EQ(dialogs.said, "");
        const double at = elapsed.elapsed() / 1000.0;
        const long kib = ResidentKiB();
        firstPeak = at <= span ? std::max(firstPeak, kib) : firstPeak;
        lastPeak = at >= seconds - span ? std::max(lastPeak, kib) : lastPeak;
    }
    std::printf("soak: %ld cycles; peak RSS %ld KiB in the first %.0f s, %ld KiB in the last\n",
                cycles, firstPeak, span, lastPeak);
    ASSERT_GT(cycles, 1);
    EXPECT_LE(lastPeak, firstPeak + firstPeak / 10 + 4096);
}

} // namespace
