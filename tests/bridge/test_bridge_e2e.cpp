// ravik-rotctld between real clients (Hamlib's rotctl, Gpredict's way of talking, hostile
// ones) and ravik-sim on a pseudo-terminal; Hamlib's own rotctld -m 1 beside it for the shapes.
#include "bridgeprocess.h"
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <regex>

using namespace ravik::test;

namespace {

bool Installed(const char* program) {
    return ::access((std::string("/usr/bin/") + program).c_str(), X_OK) == 0;
}

struct Station {
    QTemporaryDir dir;
    SimProcess sim;
    Process bridge;
    int port = FreePort();

    explicit Station(std::vector<std::string> simArgs = {}) {
        if (!sim.start(dir.path().toStdString(), 1, simArgs))
            throw std::runtime_error(sim.error());
        if (!bridge.start(
                {RAVIK_BRIDGE_PATH, "--port", "1", "--listen", "127.0.0.1:" + std::to_string(port)},
                dir.path().toStdString(), "listening on"))
            throw std::runtime_error("ravik-rotctld: " + bridge.output);
    }
    // What the controller received after the probe's "?".
    std::string wire() { return sim.received().substr(1); }
};

// Numbers become '#', the identification texts one word: what remains is the shape.
std::string Shape(std::string s) {
    s = std::regex_replace(s, std::regex("Ravik RC-2 rotator controller|Dummy rotator"), "INFO");
    return std::regex_replace(s, std::regex("-?[0-9]+(\\.[0-9]+)?"), "#");
}

TEST(BridgeE2E, RepliesShapedLikeHamlibsRotctld) {
    if (!Installed("rotctld"))
        GTEST_SKIP() << "rotctld (libhamlib-utils) is not installed";
    Station station;
    QTemporaryDir dir;
    Process hamlib;
    const int port = FreePort();
    ASSERT_TRUE(
        hamlib.start({"rotctld", "-m", "1", "-T", "127.0.0.1", "-t", std::to_string(port), "-vvvv"},
                     dir.path().toStdString(), "rotctld"));
    Client ours(station.port), theirs(port);
    const std::pair<const char*, size_t> lines[] = {
        {"P 114.80 14.00\n", 1},
        {"p\n", 2},
        {"+p\n", 4},
        {";p\n", 1},
        {"\\get_pos\n", 2},
        {"S\n", 1},
        {"+\\stop\n", 2},
        {"K\n", 1},
        {"+K\n", 2},
        {"R 1\n", 1},
        {"+R 1\n", 2},
        {"M 2 50\n", 1},
        {"+M 2 50\n", 2},
        {"+P 10 20\n", 2},
        {"_\n", 1},
        {"+_\n", 3},
        {"\\dump_state\n", 9},
        {"+\\dump_state\n", 11},
        {"P abc 10\n", 1},
        {"P 10 100\n", 1},
        {"+P abc 1\n", 2},
        {"q\n", 1},
    };
    for (const auto& [line, count] : lines)
        EXPECT_EQ(Shape(ours.ask(line, count)), Shape(theirs.ask(line, count))) << line;
}

TEST(BridgeE2E, HamlibsRotctlDrivesTheSimulator) {
    if (!Installed("rotctl"))
        GTEST_SKIP() << "rotctl (libhamlib-utils) is not installed";
    Station station;
    const std::string r = "127.0.0.1:" + std::to_string(station.port);
    const struct {
        const char* command;
        const char* printed; // a regular expression
        const char* wire;
    } cases[] = {
        {"P 114.8 14", "", "GP115 14\r"},
        {"p", "-?[0-9]+\\.00\n[0-9]+\\.00\n", "Z"},
        {"S", "", "s"},
        {"K", "", "GP0 0\r"},
        {"M 2 50", "", "u"},
        {"R 1", "", "*"},
        {"_", "Ravik RC-2 rotator controller\n\n", "?"},
    };
    std::string wire;
    for (const auto& c : cases) {
        FILE* f = ::popen(("rotctl -m 2 -r " + r + " " + c.command + " 2>&1").c_str(), "r");
        std::string printed;
        char buf[256];
        while (size_t n = std::fread(buf, 1, sizeof buf, f))
            printed.append(buf, n);
        EXPECT_EQ(::pclose(f), 0) << c.command;
        EXPECT_TRUE(std::regex_match(printed, std::regex(c.printed)))
            << c.command << ": " << printed;
        wire += c.wire;
        EXPECT_EQ(station.sim.waitReceived(wire.size() + 1).substr(1), wire) << c.command;
    }
}

TEST(BridgeE2E, GpredictStyleTrackingFollowsAPass) {
    // A generated pass at a quarter-second cadence, within the simulator's 6 and 3 deg/s:
    // azimuth 10 -> 90 at 4 deg/s, elevation 0 -> 20 -> 0 at 2 deg/s, 20 s in all.
    Station station;
    Client gpredict(station.port);
    double worst = 0, az = 0, el = 0;
    char line[64];
    gpredict.ask("P 10 0\n", 1);
    for (int i = 0; i < 300 && az != 10; ++i) // the rotors start at north
        std::sscanf(gpredict.ask("p\n", 2).c_str(), "%lf", &az),
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (int step = 0; step <= 80; ++step) {
        const double t = step * 0.25;
        az = 10 + 4 * t, el = 20 - std::fabs(2 * t - 20);
        std::snprintf(line, sizeof line, "P %.2f %.2f\n", az, el);
        ASSERT_EQ(gpredict.ask(line, 1), "RPRT 0\n");
        double raz = 0, rel = 0;
        ASSERT_EQ(std::sscanf(gpredict.ask("p\n", 2).c_str(), "%lf\n%lf", &raz, &rel), 2);
        worst = std::max({worst, std::fabs(raz - az), std::fabs(rel - el)});
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    EXPECT_LE(worst, 6.0);
}

TEST(BridgeE2E, HostileClientsLeaveOnlyWholeCommandsOnTheWire) {
    Station station;
    std::vector<std::unique_ptr<Client>> senders;
    for (int i = 0; i < 8; ++i)
        senders.push_back(std::make_unique<Client>(station.port));
    Client garbage(station.port), stalled(station.port), longLine(station.port);
    for (int i = 0; i < 200; ++i) // never reads what it asked for
        stalled.send("\\dump_state\np\n_\n");
    for (int i = 0; i < 8; ++i)
        senders[size_t(i)]->send("P " + std::to_string(40 * i + 1) + " " + std::to_string(10 * i) +
                                 "\n");
    std::string noise;
    for (int i = 0; i < 64; ++i)
        noise += std::string(1, char(i * 37 + 1)) + "\x01\xff zz\n";
    garbage.send(noise);
    longLine.send(std::string(2000, 'P'));
    for (auto& s : senders)
        EXPECT_EQ(s->read(1), "RPRT 0\n");
    EXPECT_EQ(garbage.read(1000).substr(0, 8), "RPRT -1\n");
    EXPECT_TRUE(garbage.read(1000).ends_with("<EOF>"));
    EXPECT_EQ(longLine.read(2), "RPRT -1\n<EOF>");
    // Sixteen at most: with the 9 left open, 7 more are served and the next is closed at once.
    std::vector<std::unique_ptr<Client>> more;
    for (int i = 0; i < 7; ++i) {
        more.push_back(std::make_unique<Client>(station.port));
        EXPECT_TRUE(more.back()->ask("\\dump_state\n", 9).ends_with("done\n"));
    }
    Client seventeenth(station.port);
    EXPECT_EQ(seventeenth.read(1), "<EOF>");
    EXPECT_EQ(senders[0]->ask("S\n", 1), "RPRT 0\n");
    const std::string wire = station.sim.waitReceived(60);
    EXPECT_TRUE(std::regex_match(wire, std::regex("\\?(GP[0-9]+ [0-9]+\r|Z|\\?|s)*")));
    EXPECT_EQ(std::count(wire.begin(), wire.end(), '\r'), 8);
}

TEST(BridgeE2E, UnplugAndReplugThenSigtermFinishesTheCommand) {
    Station station;
    Client client(station.port);
    ASSERT_EQ(client.ask("P 10 20\n", 1), "RPRT 0\n");
    station.sim.kill(); // the adapter is pulled
    std::string reply;
    for (int i = 0; i < 100 && reply != "RPRT -6\n"; ++i)
        reply = client.ask("p\n", 1, 100);
    EXPECT_EQ(reply, "RPRT -6\n");
    EXPECT_EQ(client.ask("+P 1 2\n", 2), "set_pos: 1 2\nRPRT -6\n");
    // Plugged in again, slow to answer: the bridge probes it and carries on.
    SimProcess again;
    ASSERT_TRUE(again.start(station.dir.path().toStdString(), 1, {"--pieces", "30"}));
    for (int i = 0; i < 100 && reply == "RPRT -6\n"; ++i)
        reply = client.ask("P 30 40\n", 1, 100),
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(reply, "RPRT 0\n");
    client.send("_\n");
    again.waitReceived(std::string_view("?GP30 40\r?").size()); // the request is on the line
    EXPECT_EQ(station.bridge.stop(SIGTERM), 0);
    EXPECT_EQ(client.read(2), "Ravik RC-2 rotator controller\n<EOF>");
}

} // namespace
