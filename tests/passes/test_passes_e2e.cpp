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

// A folder with the TLEs, a broken and a decayed copy, a .qth file and the settings file for
// ravik-sim on COM1.
struct Folder {
    QTemporaryDir dir;
    Folder() {
        WriteFile(dir.filePath("iss.tle"), IssTle);
        WriteFile(dir.filePath("polar.tle"), PolarTle);
        WriteFile(dir.filePath("broken.tle"), QByteArray(IssTle).replace("2927", "2928"));
        // eccentricity 0.5: the perigee lies inside the earth
        WriteFile(dir.filePath("dead.tle"),
                  QByteArray(IssTle).replace("0006703", "5000000").replace("63537", "63536"));
        WriteFile(dir.filePath("home.qth"), "[QTH]\nLAT=52.1\nLON=5.12\nALT=30\n");
        WriteFile(dir.filePath("Ravik.ini"), "Comm Port 1\r\n");
    }
    QStringList files(const char* filter) const {
        return QDir(dir.filePath("out")).entryList({filter}, QDir::Files, QDir::Name);
    }
    Result run(const char* program, const QStringList& args) const {
        static int argc = 0;
        [[maybe_unused]] static QCoreApplication* app = new QCoreApplication(argc, nullptr);
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(QString::fromLatin1(program), args);
        const bool ended = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit;
        return {ended ? p.exitCode() : -1, p.readAllStandardOutput(), p.readAllStandardError()};
    }
};

struct PassCase {
    const char* name;
    QStringList args;
    int status;
    const char* out; // stdout contains it
    const char* err; // stderr starts with it
};

// clang-format off
const PassCase PassCases[] = {
    {"Passes", Iss + QStringList{"--out", "out"}, 0,
     "ISS (ZARYA), catalogue number 25544, TLE epoch 2008-09-20 12:25:40 UTC, 0.0 days old at "
     "2008-09-20 12:00:00\nAOS (UTC)", ""},
    {"PlotsAndQthFile", {"--tle", "iss.tle", "--sat", "25544", "--qth", "home.qth", "--from",
     "2008-09-20 12:00:00", "--out", "out", "--plot"}, 0, "", ""},
    {"StaleTleAndNoPass", Iss.mid(0, 7) + QStringList{"2008-10-20 00:00:00", "--hours", "1",
     "--min-el", "90"}, 0,
     "No pass reaching 90.0 degrees from 2008-10-20 00:00:00 to 2008-10-20 01:00:00 UTC\n",
     "ravik-pass: warning: the TLE is 29.5 days from --from; its passes may be minutes off\n"},
    {"UnknownSatellite", {"--tle", "iss.tle", "--sat", "ISS", "--qth", "52.1,5.12"}, 1, "",
     "ravik-pass: no satellite \"ISS\" in the file\n"},
    {"Refused", {"--tle", "dead.tle", "--sat", "25544", "--qth", "52.1,5.12", "--from",
     "2008-09-20 12:00:00"}, 1, "",
     "ravik-pass: ISS (ZARYA): the satellite has decayed\n"},
    {"Checksum", {"--tle", "broken.tle", "--sat", "25544", "--qth", "52.1,5.12"}, 2, "",
     "ravik-pass: broken.tle: line 2: "},
    {"BadQth", {"--tle", "iss.tle", "--sat", "25544", "--qth", "95,5"}, 64, "",
     "ravik-pass: the latitude must lie between -90 and 90\nTry 'ravik-pass --help'.\n"},
};
// clang-format on

// With --out, a file for each pass printed, named after the satellite; --plot adds a plot each.
TEST(RavikPass, StatusOutputAndFiles) {
    for (const PassCase& c : PassCases) {
        SCOPED_TRACE(c.name);
        Folder folder;
        const Result r = folder.run(RAVIK_PASS_PATH, c.args);
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(c.out)) << r.out.toStdString();
        EXPECT_TRUE(r.err.startsWith(c.err)) << r.err.toStdString();
        const QStringList files = folder.files("*.out");
        EXPECT_EQ(files.size(),
                  c.args.contains("--out") ? std::max(2ll, r.out.count(".out\n")) : 0);
        for (const QString& f : files)
            EXPECT_TRUE(r.out.contains("out/" + f.toUtf8() + '\n') &&
                        f.startsWith("ISS_(ZARYA)-2008"))
                << f.toStdString();
        EXPECT_EQ(folder.files("*.svg").size(), c.args.contains("--plot") ? files.size() : 0);
    }
}

// The next pass from the TLE puts on the wire what an upload of its pass file does, after the
// "Clear the buffer" command and the status it asks for; half a minute before AOS the controller
// then already points at the AOS azimuth, at elevation 0 (the early line).
TEST(RavikUploadTle, SameBytesAsThePassFileAndTheAntennaWaitingAtAos) {
    Folder folder;
    ASSERT_EQ(folder.run(RAVIK_PASS_PATH, Iss + QStringList{"--out", "out"}).status, 0);
    std::string wire[2];
    const QStringList runs[2] = {{"out/" + folder.files("*.out").value(0)},
                                 Iss + QStringList{"--clear"}};
    ravik::test::SimProcess sim;
    Result r;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(i == 0 || sim.stop() == 0);
        QFile::remove(folder.dir.filePath("COM1.log")); // each simulator's bytes alone
        ASSERT_TRUE(sim.start(folder.dir.path().toStdString(), 1)) << sim.error();
        r = folder.run(RAVIK_UPLOAD_PATH, runs[i]);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        wire[i] = sim.received();
    }
    EXPECT_TRUE(r.err.startsWith("Pass ISS (ZARYA) AOS 2008-09-20 18:18:51 UTC (22 lines)\n"));
    ASSERT_TRUE(wire[0].starts_with("?2008/09/20 18:17:51 185 0\r")) << wire[0];
    EXPECT_EQ(wire[1], "?XZ" + wire[0].substr(1));

    const int fd = ravik::test::openRawPort(sim.devicePath());
    ASSERT_GE(fd, 0);
    // Motion on, the clock at 18:18:21; the simulator applies what is due as its clock moves on.
    ASSERT_TRUE(ravik::test::writeBytes(fd, "GT2008/09/20 18:18:21\rZ"));
    std::string status = ravik::test::readUntil(fd, "\x1A");
    for (int i = 0; i < 100 && status.find("Target 0/0") != std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(ravik::test::writeBytes(fd, "Z"));
        status = ravik::test::readUntil(fd, "\x1A");
    }
    ::close(fd);
    // 185 on the winding nearest the rotor at 0
    EXPECT_NE(status.find("Target -175/0\r\n"), std::string::npos) << status;
}

// --hours: every pass in the window, each as its file sends it; a window that would overflow the
// controller's memory leaves passes out and says which.
TEST(RavikUploadTle, EveryPassInTheWindowUpToTheControllersMemory) {
    Folder folder;
    ASSERT_EQ(folder.run(RAVIK_PASS_PATH, Iss + QStringList{"--out", "out"}).status, 0);
    QByteArray each;
    for (const QString& f : folder.files("*.out"))
        each += folder.run(RAVIK_UPLOAD_PATH, {"--dry-run", "out/" + f}).out;
    const Result all =
        folder.run(RAVIK_UPLOAD_PATH, Iss + QStringList{"--hours", "24", "--dry-run"});
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(all.out, each);
    EXPECT_EQ(all.err.count("Pass ISS (ZARYA) AOS "), folder.files("*.out").size());

    const Result full = folder.run(
        RAVIK_UPLOAD_PATH, {"--tle", "polar.tle", "--sat", "99999", "--qth", "85,0", "--from",
                            "2008-09-20 12:00:00", "--hours", "744", "--dry-run"});
    EXPECT_EQ(full.status, 0);
    EXPECT_LE(full.out.count('\n'), 10001);
    EXPECT_GT(full.out.count('\n'), 9900);
    EXPECT_TRUE(full.err.contains("\nravik-upload: left out POLAR AOS 2008-10-08 09:13:58 UTC (44 "
                                  "lines): the controller holds 10,001 points\n"))
        << full.err.toStdString();
    // failures as ravik-pass has them
    for (const auto& [args, status] : {std::pair{QStringList{"iss.tle", "--sat", "ISS"}, 1},
                                       {{"broken.tle", "--sat", "25544"}, 2},
                                       {Iss.mid(1) + QStringList{"pass.out"}, 64}})
        EXPECT_EQ(
            folder.run(RAVIK_UPLOAD_PATH, QStringList{"--tle"} + args + QStringList{"--qth", "1,2"})
                .status,
            status);
}

} // namespace
