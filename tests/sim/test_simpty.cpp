#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <functional>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include "simprocess.h"

using namespace ravik::test;

namespace {

const std::string Ident = "Ravik RC-2 rotator controller\r\n";
const std::string Status0 = "Motion off  Mode 0\r\nAz 0  El 0  Target 0/0\r\nClock unset\r\nPoints 0\r\n";
const std::string Eof = "\x1A";

std::string linkTarget(const std::string& path) {
    char buf[256];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf);
    return n < 0 ? std::string() : std::string(buf, size_t(n));
}

bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

TEST(SimPty, ServesAcrossReopenAndCleansUp) {
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    SimProcess sim;
    ASSERT_TRUE(sim.start(d, 1)) << sim.error();
    EXPECT_EQ(sim.announcement(), "ravik-sim: COM1 -> " + sim.ptsPath() + "\n");
    EXPECT_EQ(linkTarget(d + "/COM1"), sim.ptsPath());

    struct Step {
        const char* send;
        std::string until, reply;
    };
    const Step steps[] = {{"?", "\r\n", Ident}, {"Z", Eof, Status0 + Eof}};
    for (int session = 0; session < 3; ++session) { // programs come and go; the sim stays
        const int fd = openRawPort(sim.devicePath());
        ASSERT_GE(fd, 0) << session;
        for (const Step& s : steps) {
            ASSERT_TRUE(writeBytes(fd, s.send));
            EXPECT_EQ(readUntil(fd, s.until), s.reply) << session << s.send;
        }
        close(fd);
    }
    EXPECT_EQ(sim.waitReceived(6), "?Z?Z?Z");
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(exists(d + "/COM1"));
}

TEST(SimPty, FaultOptions) {
    struct Case {
        std::vector<std::string> args;
        std::string send, until;
        std::function<bool(const std::string&)> ok;
        int deadlineMs = 10000;
    };
    auto is = [](std::string want) {
        return [want](const std::string& got) { return got == want; };
    };
    const Case cases[] = {
        {{"--short-answer"}, "?", "RC-2", is("RC-2")},
        {{"--caps"}, "?", "\r\n", is("RAVIK RC-2 rotator controller\r\n")},
        {{"--pieces", "5"}, "Z?", Ident, is(Status0 + Eof + Ident)},
        {{"--baud"}, "Z?", Ident, is(Status0 + Eof + Ident)},
        {{"--no-eof"}, "Z?", Ident, is(Status0 + Ident)},
        {{"--chatter", "hello\\r\\n"}, "", "\n", is("hello\r\n")}, // before any request
        {{"--garbage"},
         "?",
         Eof,
         [](const std::string& r) {
             return r.ends_with(Eof) && r.find("Ravik") == std::string::npos &&
                    r.find("Motion ") == std::string::npos;
         }},
        {{"--silent"}, "?Z", "\n", is(""), 300}, // a bound on the wait, nothing may come
        {{"--silent-after", "1"},
         "02/03/15 10:04:30 185 25\r02/03/15 10:04:31 185 25\r?",
         Eof,
         is("Motion off  Points 1\r\n" + Eof)},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        SimProcess sim;
        ASSERT_TRUE(sim.start(dir.path().toStdString(), 4, c.args)) << sim.error();
        const int fd = openRawPort(sim.devicePath());
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(writeBytes(fd, c.send));
        const std::string got = readUntil(fd, c.until, c.deadlineMs);
        EXPECT_TRUE(c.ok(got)) << c.args[0] << " got \"" << got << "\"";
        EXPECT_EQ(sim.waitReceived(c.send.size()), c.send) << c.args[0];
        close(fd);
        EXPECT_EQ(sim.stop(), 0) << c.args[0];
    }
}

TEST(SimPty, SpeedOptionsMoveTheRotors) {
    QTemporaryDir dir;
    SimProcess sim;
    ASSERT_TRUE(sim.start(dir.path().toStdString(), 5, {"--speed-az", "1000", "--speed-el=500"}))
        << sim.error();
    const int fd = openRawPort(sim.devicePath());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(writeBytes(fd, "GP90 45\r"));
    // At the default speeds this takes 15 s, past the deadline.
    const auto deadline = SimClock::now() + std::chrono::seconds(5);
    std::string status;
    while (status.find("Az 90  El 45") == std::string::npos && msLeft(deadline) > 0) {
        ASSERT_TRUE(writeBytes(fd, "Z"));
        status = readUntil(fd, Eof);
    }
    EXPECT_NE(status.find("Motion on  Mode 0\r\nAz 90  El 45  Target 90/45"), std::string::npos)
        << status;
    close(fd);
}

TEST(SimPty, UnpluggedAndStaleLink) {
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    SimProcess first;
    ASSERT_TRUE(first.start(d, 2)) << first.error();
    const int fd = openRawPort(first.devicePath());
    ASSERT_GE(fd, 0);
    first.kill(); // the program holding the port sees the line vanish
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1);
    EXPECT_TRUE(p.revents & (POLLHUP | POLLERR));
    close(fd);
    EXPECT_TRUE(exists(d + "/COM2")); // left behind, as by a crash

    SimProcess second;
    ASSERT_TRUE(second.start(d, 2)) << second.error();
    EXPECT_EQ(linkTarget(d + "/COM2"), second.ptsPath());
    const int again = openRawPort(second.devicePath());
    ASSERT_GE(again, 0);
    ASSERT_TRUE(writeBytes(again, "?"));
    EXPECT_EQ(readUntil(again, "\r\n"), Ident);
    close(again);
}

TEST(SimPty, LastCloseFreesTheLine) {
    QTemporaryDir dir;
    SimProcess sim;
    ASSERT_TRUE(sim.start(dir.path().toStdString(), 6)) << sim.error();
    // A program that dies holding the port exclusively, its answer unread.
    const int fd = openRawPort(sim.devicePath());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ioctl(fd, TIOCEXCL), 0);
    ASSERT_TRUE(writeBytes(fd, "?"));
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1);
    close(fd);
    // Every last close frees the line, so look until it is seen (root opens in spite of it).
    int exclusive = 1, waiting = -1;
    const auto deadline = SimClock::now() + std::chrono::seconds(10);
    while (exclusive != 0 && msLeft(deadline) > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const int again = openRawPort(sim.devicePath());
        ASSERT_GE(again, 0);
        ioctl(again, TIOCGEXCL, &exclusive);
        ioctl(again, FIONREAD, &waiting);
        close(again);
    }
    EXPECT_EQ(exclusive, 0);
    EXPECT_EQ(waiting, 0);
}

TEST(SimPty, RefusesToStart) {
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    std::ofstream(d + "/COM3") << "keep me";
    const std::string readOnly = d + "/ro";
    mkdir(readOnly.c_str(), 0555);
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
        bool run = true;
    };
    const Case cases[] = {
        {{SimBinary, "--dir", d + "/missing"}, 1, ""},
        {{SimBinary, "--dir", d, "--port", "3"}, 1, ""},         // COM3 is a file, not a link
        {{SimBinary, "--dir", readOnly}, 1, "", geteuid() != 0}, // root may write anywhere
        {{SimBinary, "--port", "x"}, 2, ""},
        {{SimBinary, "--help"}, 0, "--speed-el DEG/S"},
    };
    for (const Case& c : cases) {
        if (!c.run)
            continue;
        SimProcess sim;
        EXPECT_FALSE(sim.spawn(c.args)) << c.args[1];
        EXPECT_EQ(sim.exitStatus(), c.status) << c.args[1];
        EXPECT_NE(sim.announcement().find(c.says), std::string::npos) << c.args[1];
    }
    std::ifstream kept(d + "/COM3");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me");
}

} // namespace
