// ravik-upload run as a shell would run it, in a folder with Ravik.ini and ravik-sim as COM1:
// exit status, stdout, stderr and every byte the controller received, one row per situation.
#include "simprocess.h"
#include "tempfiles.h"
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The lines skypass's window sends for the InstantTrack sample, each ended by its CR. Reading
// Nova and other files is the parsers' tests' business; here what the program adds.
const QByteArray InstantTrackLines =
    "2002/12/05 23:52:00 150 0\r2002/12/05 23:53:00 150 5\r2002/12/05 23:54:00 145 10\r"
    "2002/12/05 23:55:00 140 15\r2002/12/05 23:56:00 135 20\r2002/12/05 23:57:00 125 25\r"
    "2002/12/05 23:58:00 110 35\r2002/12/05 23:59:00 90 40\r2002/12/06 00:00:00 60 40\r"
    "2002/12/06 00:01:00 40 35\r2002/12/06 00:02:00 25 25\r2002/12/06 00:03:00 15 20\r"
    "2002/12/06 00:04:00 10 15\r2002/12/06 00:05:00 5 10\r2002/12/06 00:06:00 0 5\r"
    "2002/12/06 00:07:00 360 0\r";
const QByteArray Found = "The controller was found on port 1\n";
const QByteArray Pulled =
    "The controller is not on port 1!!\n"
    "Can't access pass-instanttrack.out: the controller went away during the upload\n";

struct Case {
    const char* name;
    QStringList args;    // "<pts>": the simulator's terminal
    int iniPort;         // Ravik.ini names this port; the simulator serves COM1
    QStringList simArgs; // and starts with these
    int status;          // exit status
    QByteArray out;      // stdout contains this
    QByteArray err;      // stderr, only the last progress line kept, the folder as "<dir>"
    QByteArray wire;     // every byte the controller received
    bool pull = false;   // kill the simulator once `wire` has arrived; then a prefix
};

// '#' stands for any digit in `err` and `wire`.
// clang-format off
const Case Cases[] = {
    {"InstantTrackThroughRavikIni", {"pass-instanttrack.out"}, 1, {}, 0, "Points 16\n",
     Found + "Sent 16 of 16 lines (100%), #:## left\n", "?" + InstantTrackLines + "Z"},
    {"OnADevice", {"--device", "<pts>", "pass-instanttrack.out"}, 9, {}, 0, "Points 16\n",
     Found + "Sent 16 of 16 lines (100%), #:## left\n", "?" + InstantTrackLines + "Z"},
    {"PortOptionAndClockFirst", {"--port", "1", "--sync-clock", "pass-instanttrack.out"}, 9, {}, 0,
     "Points 16\n", Found + "Sent 16 of 16 lines (100%), #:## left\n",
     "?T####/##/## ##:##:##\rZ" + InstantTrackLines + "Z"},
    {"DryRunNeedsNoController", {"--dry-run", "pass-instanttrack.out"}, 9, {}, 0,
     QByteArray(InstantTrackLines).replace('\r', '\n'), "", ""},
    {"Neither", {"notes.txt"}, 1, {}, 1, "", "File is neither InstantTrack nor Nova file\n", ""},
    {"Missing", {"gone.out"}, 1, {}, 2, "", "Can't access gone.out: the file does not exist\n", ""},
    {"Directory", {"folder.out"}, 1, {}, 2, "",
     "Can't access folder.out: the name is a directory, not a file\n", ""},
    {"ControllerAbsent", {"pass-instanttrack.out"}, 9, {}, 3, "",
     "The controller is not on port 9!!\nravik-upload: <dir>/COM9: No such file or directory\n", ""},
    {"ControllerPulledMidUpload", {"pass-instanttrack.out"}, 1, {"--silent-after", "3"}, 4, "",
     Found + Pulled + "Sent 2 of 16 lines (12%), #:## left\n", "?" + InstantTrackLines.left(106), true},
    {"Usage", {}, 1, {}, 64, "", "ravik-upload: no pass file given\nTry 'ravik-upload --help'.\n", ""},
    {"Help", {"--help"}, 1, {}, 0, "  4   the controller went away during the upload\n", "", ""},
};
// clang-format on

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

bool Matches(const QByteArray& got, const QByteArray& want, bool prefix = false) {
    if (got.size() < want.size() || (!prefix && got.size() != want.size()))
        return false;
    for (qsizetype i = 0; i < want.size(); ++i)
        if (want[i] == '#' ? !isdigit(uchar(got[i])) : want[i] != got[i])
            return false;
    return true;
}

class RavikUpload : public testing::TestWithParam<Case> {};

TEST_P(RavikUpload, StatusStreamsAndWire) {
    static int argc = 1;
    static char name[] = "cli_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
    const Case& c = GetParam();
    QTemporaryDir dir;
    const QDir here(dir.path());
    WriteFile(here.filePath("Ravik.ini"),
              QByteArray("Comm Port ") + char('0' + c.iniPort) + "\r\n");
    WriteFile(here.filePath("notes.txt"), "Shopping\r\nbread and milk\r\n");
    here.mkdir("folder.out");
    QFile::copy(RAVIK_SOURCE_DIR "/uploader/samples/pass-instanttrack.out",
                here.filePath("pass-instanttrack.out"));
    QFile::link(here.filePath("nothing"), here.filePath("COM9")); // never /dev/ttyS8
    std::vector<std::string> simArgs;
    for (const QString& a : c.simArgs)
        simArgs.push_back(a.toStdString());
    ravik::test::SimProcess sim;
    ASSERT_TRUE(sim.start(dir.path().toStdString(), 1, simArgs)) << sim.error();

    QStringList args = c.args;
    args.replaceInStrings("<pts>", QString::fromStdString(sim.ptsPath()));
    QProcess upload;
    upload.setWorkingDirectory(dir.path());
    upload.start(RAVIK_UPLOAD_PATH, args);
    ASSERT_TRUE(upload.waitForStarted());
    if (c.pull) {
        sim.waitReceived(size_t(c.wire.size()));
        sim.kill();
    }
    ASSERT_TRUE(upload.waitForFinished(60000));
    sim.stop();

    EXPECT_EQ(upload.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(upload.exitCode(), c.status);
    EXPECT_TRUE(upload.readAllStandardOutput().contains(c.out)) << c.out.toStdString();
    QByteArray err, progress;
    for (const QByteArray& line : upload.readAllStandardError().split('\n'))
        if (line.startsWith("Sent "))
            progress = line + '\n';
        else if (!line.isEmpty())
            err += QByteArray(line).replace(dir.path().toUtf8(), "<dir>") + '\n';
    EXPECT_TRUE(Matches(err + progress, c.err)) << (err + progress).toStdString();
    const QByteArray wire = QByteArray::fromStdString(sim.received());
    EXPECT_TRUE(Matches(wire, c.wire, c.pull)) << wire.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Files, RavikUpload, testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
