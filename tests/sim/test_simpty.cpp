#include "simprocess.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

// The front over a real pseudo-terminal. What the controller answers and how replies are paced
// are the model's and the queue's business; here what the terminal adds: the link and the
// announcement, reopening, the log, a paced line answering, and cleaning up on SIGTERM.
using namespace ravik::test;

namespace {

const std::string Ident = "Ravik RC-2 rotator controller\r\n";
const std::string Status0 =
    "Motion off  Mode 0\r\nAz 0  El 0  Target 0/0\r\nClock unset\r\nPoints 0\r\n\x1A";

std::string LinkTarget(const std::string& path) {
    char buf[256];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf);
    return n < 0 ? "(none)" : std::string(buf, size_t(n));
}

// Programs come and go; the simulator stays. Each one takes the port exclusively and leaves
// with an answer unread, and the next finds the line free and empty (once the simulator has
// seen the last close).
TEST(SimPty, ServesAcrossReopenAndCleansUp) {
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    SimProcess sim;
    ASSERT_TRUE(sim.start(d, 1, {"--baud"})) << sim.error(); // paced like a serial line
    EXPECT_EQ(sim.announcement(), "ravik-sim: COM1 -> " + sim.ptsPath() + "\n");
    EXPECT_EQ(LinkTarget(d + "/COM1"), sim.ptsPath());
    for (int session = 0; session < 2; ++session) {
        SCOPED_TRACE(session);
        int fd = -1, exclusive = 1, waiting = 1;
        const auto deadline = SimClock::now() + std::chrono::seconds(10);
        while ((exclusive || waiting) && msLeft(deadline) > 0) { // root opens in spite of it
            close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(session ? 10 : 0));
            ASSERT_GE(fd = openRawPort(sim.devicePath()), 0);
            ioctl(fd, TIOCGEXCL, &exclusive);
            ioctl(fd, FIONREAD, &waiting);
        }
        ASSERT_EQ(exclusive + waiting, 0);
        ASSERT_EQ(ioctl(fd, TIOCEXCL), 0);
        ASSERT_TRUE(writeBytes(fd, "?"));
        EXPECT_EQ(readUntil(fd, "\r\n"), Ident);
        ASSERT_TRUE(writeBytes(fd, "Z"));
        EXPECT_EQ(readUntil(fd, "\x1A"), Status0);
        ASSERT_TRUE(writeBytes(fd, "?"));
        pollfd p{fd, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 10000), 1); // the second answer is there, and left unread
        close(fd);
    }
    EXPECT_EQ(sim.waitReceived(6), "?Z??Z?");
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_EQ(LinkTarget(d + "/COM1"), "(none)");
}

TEST(SimPty, RefusesToStart) {
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    std::ofstream(d + "/COM3") << "keep me";
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;
    } rows[] = {
        {{SimBinary, "--dir", d + "/missing"}, 1, ""},
        {{SimBinary, "--dir", d, "--port", "3"}, 1, ""}, // COM3 is a file, not a link
        {{SimBinary, "--port", "x"}, 2, ""},
        {{SimBinary, "--help"}, 0, "--speed-el DEG/S"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.back());
        SimProcess sim;
        EXPECT_FALSE(sim.spawn(row.args));
        EXPECT_EQ(sim.exitStatus(), row.status);
        EXPECT_NE(sim.announcement().find(row.says), std::string::npos);
    }
    std::ifstream kept(d + "/COM3");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me");
}

} // namespace
