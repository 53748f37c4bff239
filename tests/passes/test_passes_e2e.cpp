// ravik-pass and ravik-upload --tle run as a shell runs them: exit statuses, what they print, the
// files they write, and the bytes the controller (ravik-sim) receives.
#include "simprocess.h"
#include "tempfiles.h"
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QByteArray IssTle =
    "ISS (ZARYA)\r\n"
    "1 25544U 98067A   08264.51782528 -.00002182  00000-0 -11606-4 0  2927\r\n"
    "2 25544  51.6416 247.4627 0006703 130.5360 325.0288 15.72125391563537\r\n";
// A made-up polar orbit: from near the pole every revolution is a pass, 15 a day.
const QByteArray PolarTle =
    "POLAR\r\n"
    "1 99999U 08001A   08264.51782528  .00000000  00000-0  00000-0 0  9992\r\n"
    "2 99999  98.0000 247.4627 0006703 130.5360 325.0288 14.50000000  1009\r\n";
const QStringList Iss{"--tle", "iss.tle",      "--sat",  "ISS (ZARYA)",
                      "--qth", "52.1,5.12,30", "--from", "2008-09-20 12:00:00"};

struct Result {
    int status = -1;
    QByteArray out, err;
};

Result Start(const char* program, const QStringList& args, const QString& dir) {
    static int argc = 0;
    [[maybe_unused]] static QCoreApplication* app = new QCoreApplication(argc, nullptr);
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QString::fromLatin1(program), args);
    Result r;
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit)
        r.status = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// A folder with the TLE, a broken copy and the settings file for ravik-sim on COM1.
struct Folder {
    QTemporaryDir dir;
    Folder() {
        WriteFile(dir.filePath("iss.tle"), IssTle);
        WriteFile(dir.filePath("polar.tle"), PolarTle);
        WriteFile(dir.filePath("broken.tle"), QByteArray(IssTle).replace("2927", "2928"));
        WriteFile(dir.filePath("home.qth"), "[QTH]\nLAT=52.1\nLON=5.12\nALT=30\n");
        WriteFile(dir.filePath("Ravik.ini"), "Comm Port 1\r\n");
    }
    QString path() const { return dir.path(); }
    QStringList files(const char* filter) const {
        return QDir(dir.filePath("out")).entryList({filter}, QDir::Files, QDir::Name);
    }
};

struct PassCase {
    const char* name;
    QStringList args;
    int status;
    const char* out; // stdout contains it
    const char* err; // stderr is exactly this
    int files;       // pass files written (-1: one per pass line printed, at least one)
};
void PrintTo(const PassCase& c, std::ostream* os) {
    *os << c.name;
}

const PassCase PassCases[] = {
    {"Passes", Iss + QStringList{"--out", "out"}, 0,
     "ISS (ZARYA), catalogue number 25544, TLE epoch 2008-09-20 12:25:40 UTC, 0.0 days old at "
     "2008-09-20 12:00:00\nAOS (UTC)",
     "", -1},
    {"PlotsAndQthFile",
     QStringList{"--tle", "iss.tle", "--sat", "25544", "--qth", "home.qth", "--from",
                 "2008-09-20 12:00:00", "--out", "out", "--plot"},
     0, "", "", -1},
    {"NoPass", Iss + QStringList{"--hours", "1", "--min-el", "90", "--out", "out"}, 0,
     "No pass reaching 90.0 degrees from 2008-09-20 12:00:00 to 2008-09-20 13:00:00 UTC\n", "", 0},
    {"StaleTle",
     {"--tle", "iss.tle", "--sat", "25544", "--qth", "52.1,5.12", "--from", "2008-10-20 00:00:00",
      "--hours", "1", "--min-el", "90"},
     0,
     "No pass",
     "ravik-pass: warning: the TLE is 29.5 days from --from; its passes may be minutes off\n",
     0},
    {"UnknownSatellite",
     {"--tle", "iss.tle", "--sat", "ISS", "--qth", "52.1,5.12"},
     1,
     "",
     "ravik-pass: no satellite \"ISS\" in the file\n",
     0},
    {"Checksum",
     {"--tle", "broken.tle", "--sat", "25544", "--qth", "52.1,5.12"},
     2,
     "",
     nullptr,
     0},
    {"MissingTle",
     {"--tle", "gone.tle", "--sat", "25544", "--qth", "52.1,5.12"},
     2,
     "",
     "ravik-pass: gone.tle: cannot be read\n",
     0},
    {"BadQth",
     {"--tle", "iss.tle", "--sat", "25544", "--qth", "95,5"},
     64,
     "",
     "ravik-pass: the latitude must lie between -90 and 90\nTry 'ravik-pass --help'.\n",
     0},
    {"NoSatellite",
     {"--tle", "iss.tle", "--qth", "52.1,5.12"},
     64,
     "",
     "ravik-pass: --sat is needed\nTry 'ravik-pass --help'.\n",
     0},
    {"BadStep", Iss + QStringList{"--step", "2.5"}, 64, "",
     "ravik-pass: --step needs whole seconds\nTry 'ravik-pass --help'.\n", 0},
};

class RavikPass : public testing::TestWithParam<PassCase> {};

TEST_P(RavikPass, StatusOutputAndFiles) {
    const PassCase& c = GetParam();
    Folder folder;
    const Result r = Start(RAVIK_PASS_PATH, c.args, folder.path());
    EXPECT_EQ(r.status, c.status) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(c.out)) << r.out.toStdString();
    if (c.err) {
        EXPECT_EQ(r.err, c.err);
    } else {
        EXPECT_TRUE(r.err.startsWith("ravik-pass: broken.tle: line 2: ")) << r.err.toStdString();
    }
    const QStringList files = folder.files("*.out");
    const int printed = int(r.out.count(".out\n"));
    EXPECT_EQ(files.size(), c.files < 0 ? printed : c.files);
    if (c.files < 0) {
        EXPECT_GE(printed, 2);
    }
    for (const QString& f : files) {
        EXPECT_TRUE(r.out.contains("out/" + f.toUtf8() + '\n')) << f.toStdString();
        EXPECT_TRUE(f.startsWith("ISS_(ZARYA)-20080920-") || f.startsWith("ISS_(ZARYA)-20080921-"))
            << f.toStdString();
    }
    if (c.args.contains("--plot")) {
        EXPECT_EQ(folder.files("*.svg").size(), files.size());
    }
}

INSTANTIATE_TEST_SUITE_P(CommandLines, RavikPass, testing::ValuesIn(PassCases),
                         [](const auto& info) { return std::string(info.param.name); });

// What the controller received from one run of ravik-upload against a fresh ravik-sim.
struct Upload {
    Result run;
    QByteArray wire;
};
Upload UploadWith(const Folder& folder, const QStringList& args) {
    ravik::test::SimProcess sim;
    Upload u;
    QFile::remove(folder.dir.filePath("COM1.log")); // each simulator's bytes alone
    if (!sim.start(folder.path().toStdString(), 1)) {
        ADD_FAILURE() << sim.error();
        return u;
    }
    u.run = Start(RAVIK_UPLOAD_PATH, args, folder.path());
    u.wire = QByteArray::fromStdString(sim.received());
    return u;
}

// The next pass from the TLE puts on the wire exactly what an upload of its pass file does, and
// --clear sends the "Clear the buffer" command (with the status it asks for) first.
TEST(RavikUploadTle, SameBytesAsThePassFileAndClearFirst) {
    Folder folder;
    ASSERT_EQ(Start(RAVIK_PASS_PATH, Iss + QStringList{"--out", "out"}, folder.path()).status, 0);
    const QString first = "out/" + folder.files("*.out").value(0);
    const Upload file = UploadWith(folder, {first});
    ASSERT_EQ(file.run.status, 0) << file.run.err.toStdString();
    ASSERT_TRUE(file.wire.startsWith("?2008/09/20 ")) << file.wire.toStdString();

    const Upload tle = UploadWith(folder, Iss);
    EXPECT_EQ(tle.run.status, 0) << tle.run.err.toStdString();
    EXPECT_EQ(tle.wire.toStdString(), file.wire.toStdString());
    const QByteArray aos = first.mid(first.indexOf('-') + 1, 15).toLatin1(); // yyyymmdd-hhmmss
    const QByteArray shown = aos.left(4) + '-' + aos.mid(4, 2) + '-' + aos.mid(6, 2) + ' ' +
                             aos.mid(9, 2) + ':' + aos.mid(11, 2) + ':' + aos.mid(13, 2);
    EXPECT_TRUE(tle.run.err.startsWith("Pass ISS (ZARYA) AOS " + shown + " UTC ("))
        << tle.run.err.toStdString();

    const Upload cleared = UploadWith(folder, Iss + QStringList{"--clear"});
    EXPECT_EQ(cleared.run.status, 0);
    EXPECT_EQ(cleared.wire.toStdString(), ("?XZ" + file.wire.mid(1)).toStdString());
}

// A minute before AOS the controller already points at the AOS azimuth, at elevation 0.
TEST(RavikUploadTle, AntennaWaitsAtTheAosAzimuth) {
    Folder folder;
    ravik::test::SimProcess sim;
    ASSERT_TRUE(sim.start(folder.path().toStdString(), 1)) << sim.error();
    const Result run = Start(RAVIK_UPLOAD_PATH, Iss, folder.path());
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    // "?yyyy/mm/dd HH:MM:SS az 0\r": the early line comes first
    const QList<QByteArray> early = QByteArray::fromStdString(sim.received()).mid(1).split(' ');
    ASSERT_GE(early.size(), 4);
    EXPECT_TRUE(early[3].startsWith("0\r"));
    const QDateTime at = QDateTime::fromString(QString::fromLatin1(early[0] + ' ' + early[1]),
                                               QStringLiteral("yyyy/MM/dd HH:mm:ss"))
                             .addSecs(30);
    const int fd = ravik::test::openRawPort(sim.devicePath());
    ASSERT_GE(fd, 0);
    // Motion on, the clock half a minute before AOS; the second status shows what became due.
    const std::string set =
        "GT" + at.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")).toStdString() + "\rZ";
    ASSERT_TRUE(ravik::test::writeBytes(fd, set));
    ravik::test::readUntil(fd, "\x1A");
    // The simulator moves on by its clock: ask again until the due line has been applied.
    std::string status;
    for (int i = 0; i < 100 && (status.empty() || status.find("Target 0/0") != std::string::npos);
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(ravik::test::writeBytes(fd, "Z"));
        status = ravik::test::readUntil(fd, "\x1A");
    }
    ::close(fd);
    // "Target -175/0": the azimuth on the winding nearest the rotor's
    const auto target = status.find("Target ");
    ASSERT_NE(target, std::string::npos) << status;
    const QByteArray az = QByteArray::fromStdString(status.substr(target + 7)).split('/')[0];
    EXPECT_EQ((az.toInt() + 360) % 360, early[2].toInt()) << status;
    EXPECT_NE(status.find("/0\r\n"), std::string::npos) << status;
}

// --hours: every pass in the window, each as its file sends it; a window that would overflow the
// controller's memory leaves passes out and says which.
TEST(RavikUploadTle, EveryPassInTheWindowUpToTheControllersMemory) {
    Folder folder;
    ASSERT_EQ(Start(RAVIK_PASS_PATH, Iss + QStringList{"--out", "out"}, folder.path()).status, 0);
    QByteArray each;
    for (const QString& f : folder.files("*.out"))
        each += Start(RAVIK_UPLOAD_PATH, {"--dry-run", "out/" + f}, folder.path()).out;
    const Result all =
        Start(RAVIK_UPLOAD_PATH, Iss + QStringList{"--hours", "24", "--dry-run"}, folder.path());
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(all.out, each);
    EXPECT_EQ(int(all.err.count("Pass ISS (ZARYA) AOS ")), folder.files("*.out").size());

    const Result full = Start(RAVIK_UPLOAD_PATH,
                              {"--tle", "polar.tle", "--sat", "99999", "--qth", "85,0", "--from",
                               "2008-09-20 12:00:00", "--hours", "744", "--dry-run"},
                              folder.path());
    EXPECT_EQ(full.status, 0);
    EXPECT_LE(full.out.count('\n'), 10001);
    EXPECT_GT(full.out.count('\n'), 9900);
    EXPECT_TRUE(full.err.contains("\nravik-upload: left out POLAR AOS 2008-10-08 09:13:58 UTC (44 "
                                  "lines): the controller holds 10,001 points\n"))
        << full.err.toStdString();
}

TEST(RavikUploadTle, FailuresAsRavikPass) {
    Folder folder;
    const std::pair<QStringList, int> cases[] = {
        {{"--tle", "iss.tle", "--sat", "ISS", "--qth", "52.1,5.12"}, 1},
        {{"--tle", "broken.tle", "--sat", "25544", "--qth", "52.1,5.12"}, 2},
        {{"--tle", "iss.tle", "--sat", "25544", "--qth", "north"}, 64},
        {{"--tle", "iss.tle", "--sat", "25544", "--qth", "52.1,5.12", "pass.out"}, 64},
    };
    for (const auto& [args, status] : cases)
        EXPECT_EQ(Start(RAVIK_UPLOAD_PATH, args, folder.path()).status, status)
            << args.join(' ').toStdString();
}

} // namespace
