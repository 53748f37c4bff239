// ravik-upload run as a shell would run it, in a folder with Ravik.ini and ravik-sim as COM1:
// exit status, stdout, stderr and every byte the controller received, one row per situation.
#include "simprocess.h"
#include "tempfiles.h"
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The lines skypass's window sends for the InstantTrack sample (copied as pass.out), each ended
// by its CR. Reading Nova and other files is the parsers' tests' business; here what the program
// adds.
// clang-format off
const QByteArray Lines = "2002/12/05 23:52:00 150 0\r2002/12/05 23:53:00 150 5\r"
    "2002/12/05 23:54:00 145 10\r2002/12/05 23:55:00 140 15\r2002/12/05 23:56:00 135 20\r"
    "2002/12/05 23:57:00 125 25\r2002/12/05 23:58:00 110 35\r2002/12/05 23:59:00 90 40\r"
    "2002/12/06 00:00:00 60 40\r2002/12/06 00:01:00 40 35\r2002/12/06 00:02:00 25 25\r"
    "2002/12/06 00:03:00 15 20\r2002/12/06 00:04:00 10 15\r2002/12/06 00:05:00 5 10\r"
    "2002/12/06 00:06:00 0 5\r2002/12/06 00:07:00 360 0\r";
// clang-format on
const QByteArray Found = "The controller was found on port 1\n",
                 Sent16 = Found + "Sent 16 of 16 lines (100%), #:## left\n",
                 Uploaded = "?" + Lines + "Z";
const QByteArray Pulled = "The controller is not on port 1!!\n"
                          "ravik-upload: the controller on port 1 went away during the upload "
                          "of pass.out\n";

struct Case {
    const char* name;
    QStringList args;                 // "<pts>": the simulator's terminal
    int iniPort;                      // Ravik.ini names this port; the simulator serves COM1
    std::vector<std::string> simArgs; // and starts with these
    int status;                       // exit status; 4: the simulator is killed once `wire` has
    QByteArray out, err, wire;        // arrived, and then it is a prefix. stdout contains `out`;
                                      // stderr, its last progress line kept, the folder "<dir>"
    const char* iniWord = "Comm";     // Ravik.ini's first word
    int withinMs = 60000;
};

// '#' stands for any digit in `err` and `wire`.
// clang-format off
const Case Cases[] = {
    {"InstantTrackViaRavikIni", {"pass.out"}, 1, {}, 0, "Points 16\n", Sent16, Uploaded},
    // Each line answered by the end-of-file character alone goes on at once, not after 2 s.
    {"BareEndOfFileReplies", {"pass.out"}, 1, {"--bare-eof"}, 0, "Points 16\n", Sent16, Uploaded, "Comm", 8000},
    {"OnDevice", {"--device", "<pts>", "pass.out"}, 9, {}, 0, "Points 16\n", Sent16, Uploaded},
    {"PortOptionAndClockFirst", {"--port", "1", "--sync-clock", "pass.out"}, 9, {}, 0, "Points 16\n",
     Sent16, "?T####/##/## ##:##:##\rZ" + Lines + "Z"},
    {"DryRunNeedsNoController", {"--dry-run", "pass.out"}, 9, {}, 0,
     QByteArray(Lines).replace('\r', '\n'), "", ""},
    {"Neither", {"notes.txt"}, 1, {}, 1, "", "File is neither InstantTrack nor Nova file\n", ""},
    {"Missing", {"gone.out"}, 1, {}, 2, "", "Can't access gone.out: the file does not exist\n", ""},
    {"ControllerAbsent", {"pass.out"}, 9, {}, 3, "",
     "The controller is not on port 9!!\nravik-upload: <dir>/COM9: No such file or directory\n", ""},
    {"ControllerPulledMidUpload", {"pass.out"}, 1, {"--silent-after", "3"}, 4, "",
     Found + Pulled + "Sent 2 of 16 lines (12%), #:## left\n", "?" + Lines.left(106)},
    {"Usage", {}, 1, {}, 64, "", "ravik-upload: no pass file given\nTry 'ravik-upload --help'.\n", ""},
    {"PortRavikIniCannotName", {"--port", "99999", "pass.out"}, 1, {}, 64, "",
     "ravik-upload: --port needs a whole number from -32768 to 32767\nTry 'ravik-upload --help'.\n", ""},
    // An empty first line counts like the settings line, as at skypass's first press: Nova.
    {"SettingsTokensCarryOver", {"--dry-run", "blank.out"}, 1, {}, 0, "", "", "", "AB"},
    {"Help", {"--help"}, 1, {}, 0, "  4   the controller went away during the upload\n", "", ""},
};
// clang-format on

bool Matches(QByteArray got, const QByteArray& want, bool prefix = false) {
    for (qsizetype i = 0; i < std::min(got.size(), want.size()); ++i)
        got[i] = want[i] == '#' && isdigit(uchar(got[i])) ? '#' : got[i];
    return (prefix ? got.left(want.size()) : got) == want;
}

TEST(RavikUpload, StatusStreamsAndWire) {
    static int argc = 0; // no arguments
    [[maybe_unused]] static QCoreApplication* app = new QCoreApplication(argc, nullptr);
    for (const Case& c : Cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        WriteFile(dir.filePath("Ravik.ini"),
                  c.iniWord + QByteArray(" Port ") + QByteArray::number(c.iniPort) + "\r\n");
        WriteFile(dir.filePath("notes.txt"), "Shopping\r\nbread and milk\r\n");
        WriteFile(dir.filePath("blank.out"), "\r\n12 x\r\n");
        QFile::copy(RAVIK_SOURCE_DIR "/uploader/samples/pass-instanttrack.out",
                    dir.filePath("pass.out"));
        QFile::link(dir.filePath("nothing"), dir.filePath("COM9")); // never /dev/ttyS8
        ravik::test::SimProcess sim;
        ASSERT_TRUE(sim.start(dir.path().toStdString(), 1, c.simArgs)) << sim.error();

        QStringList args = c.args;
        args.replaceInStrings("<pts>", QString::fromStdString(sim.ptsPath()));
        QProcess upload;
        upload.setWorkingDirectory(dir.path());
        QElapsedTimer took;
        took.start();
        upload.start(RAVIK_UPLOAD_PATH, args);
        if (c.status == 4) // pulled out
            sim.waitReceived(size_t(c.wire.size())), sim.kill();
        ASSERT_TRUE(upload.waitForFinished(60000));
        EXPECT_LT(took.elapsed(), c.withinMs);
        sim.stop();

        EXPECT_EQ(upload.exitStatus() == QProcess::NormalExit ? upload.exitCode() : -1, c.status);
        EXPECT_TRUE(upload.readAllStandardOutput().contains(c.out)) << c.out.toStdString();
        QByteArray err, progress;
        for (const QByteArray& line : upload.readAllStandardError().split('\n'))
            if (line.startsWith("Sent "))
                progress = line + '\n';
            else if (!line.isEmpty())
                err += QByteArray(line).replace(dir.path().toUtf8(), "<dir>") + '\n';
        EXPECT_TRUE(Matches(err + progress, c.err)) << (err + progress).toStdString();
        const QByteArray wire = QByteArray::fromStdString(sim.received());
        EXPECT_TRUE(Matches(wire, c.wire, c.status == 4)) << wire.toStdString();
    }
}

} // namespace
