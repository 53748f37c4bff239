#include "simprocess.h"
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

// The front over a real pseudo-terminal. What the controller answers and how replies are paced
// are the model's and the queue's business; here what the terminal adds: the link and the
// announcement, reopening, the log, a paced line answering, and cleaning up on SIGTERM.
using namespace ravik::test;

namespace {

// Programs come and go; the simulator stays. Each one takes the port exclusively and leaves
// with an answer unread, and the next finds the line free and empty (once the simulator has
// seen the last close).
TEST(SimPty, ServesAcrossReopenAndCleansUp) {
    QTemporaryDir dir;
    SimProcess sim;
    ASSERT_TRUE(sim.start(dir.path().toStdString(), 1, {"--baud"})) << sim.error(); // paced
    EXPECT_EQ(sim.announcement(), "ravik-sim: COM1 -> " + sim.ptsPath() + "\n");
    EXPECT_EQ(QFile::symLinkTarget(dir.filePath("COM1")).toStdString(), sim.ptsPath());
    for (int session = 0; session < 2; ++session) {
        int fd = -1, exclusive = 1, waiting = 1;
        const auto deadline = SimClock::now() + std::chrono::seconds(10);
        while ((exclusive || waiting) && msLeft(deadline) > 0) { // root opens in spite of it
            close(fd), std::this_thread::sleep_for(std::chrono::milliseconds(session ? 10 : 0));
            ASSERT_GE(fd = openRawPort(sim.devicePath()), 0);
            ioctl(fd, TIOCGEXCL, &exclusive), ioctl(fd, FIONREAD, &waiting);
        }
        ASSERT_EQ(exclusive + waiting, 0) << session;
        ASSERT_EQ(ioctl(fd, TIOCEXCL), 0);
        ASSERT_TRUE(writeBytes(fd, "?"));
        EXPECT_EQ(readUntil(fd, "\r\n"), "Ravik RC-2 rotator controller\r\n");
        ASSERT_TRUE(writeBytes(fd, "Z"));
        EXPECT_EQ(readUntil(fd, "\x1A"), "Motion off  Mode 0\r\nAz 0  El 0  Target 0/0\r\n"
                                         "Clock unset\r\nPoints 0\r\n\x1A");
        ASSERT_TRUE(writeBytes(fd, "?"));
        pollfd p{fd, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 10000), 1); // the second answer is there, and left unread
        close(fd);
    }
    EXPECT_EQ(sim.waitReceived(6), "?Z??Z?");
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_EQ(QFile::symLinkTarget(dir.filePath("COM1")), ""); // the link is gone
}

// (arguments, exit status, what it says); a file already named COM3 is kept.
TEST(SimPty, RefusesToStart) {
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    std::ofstream(d + "/COM3") << "keep me";
    const std::tuple<std::vector<std::string>, int, const char*> rows[] = {
        // clang-format off
        {{SimBinary, "--dir", d, "--port", "3"}, 1, ""}, {{SimBinary, "--port", "x"}, 2, ""},
        {{SimBinary, "--help"}, 0, "--speed-el DEG/S"}, {{SimBinary, "--dir", d + "/no"}, 1, ""},
        // clang-format on
    };
    for (const auto& [args, status, says] : rows) {
        SimProcess sim;
        EXPECT_FALSE(sim.spawn(args));
        EXPECT_EQ(sim.exitStatus(), status) << args.back();
        EXPECT_NE(sim.announcement().find(says), std::string::npos) << args.back();
    }
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(std::ifstream(d + "/COM3").rdbuf()), {}),
              "keep me");
}

} // namespace
