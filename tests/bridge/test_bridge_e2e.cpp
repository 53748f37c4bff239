// ravik-rotctld between real clients (Hamlib's rotctl and raw sockets; comma decimals, bad and
// long lines and the client limit are the rotator tests') and ravik-sim on a pseudo-terminal;
// Hamlib's own rotctld -m 1 beside it for the shapes. Loopback only, every wait bounded.
#include "rotctlclient.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <regex>

using namespace ravik::test;

namespace {

struct Station {
    QTemporaryDir dir;
    SimProcess sim, bridge;
    int port = FreePort();

    explicit Station(const std::vector<std::string>& simArgs = {},
                     const std::vector<std::string>& bridgeArgs = {}) {
        const std::string d = dir.path().toStdString(), at = "127.0.0.1:" + std::to_string(port);
        std::vector<std::string> args{RAVIK_BRIDGE_PATH, "--port", "1", "--listen", at};
        args.insert(args.end(), bridgeArgs.begin(), bridgeArgs.end());
        if (!sim.start(d, 1, simArgs) || !bridge.run(args, d, "listening on"))
            throw std::runtime_error(sim.error() + bridge.error());
    }
};

// Numbers become '#', the identification texts one word: what remains is the shape.
std::string Shape(std::string s) {
    s = std::regex_replace(s, std::regex("Ravik RC-2 rotator controller|Dummy rotator"), "INFO");
    return std::regex_replace(s, std::regex("-?[0-9]+(\\.[0-9]+)?"), "#");
}

// Hamlib's rotctl drives the simulator through the bridge: (command, what rotctl prints as a
// regular expression, the bytes on the line). Then the exact replies are the rotator tests'
// business; here the forms Hamlib's rotctld -m 1 gives them.
TEST(BridgeE2E, HamlibsRotctlDrivesTheSimulatorAndRepliesHaveHamlibsShapes) {
    if (::access("/usr/bin/rotctl", X_OK) != 0 || ::access("/usr/bin/rotctld", X_OK) != 0)
        GTEST_SKIP() << "rotctl and rotctld (libhamlib-utils) are not installed";
    Station station;
    const std::tuple<const char*, const char*, const char*> cases[] = {
        // clang-format off
        {"P 114.8 14", "", "GP115 14\r"}, {"p", "-?[0-9]+\\.00\n[0-9]+\\.00\n", "Z"},
        {"S", "", "s"}, {"K", "", "GP0 0\r"}, {"M 2 50", "", "u"}, {"R 1", "", "*"},
        {"_", "Ravik RC-2 rotator controller\n\n", "?"}, {"P -90 10", "", "GP270 10\r"},
        // clang-format on
    };
    std::string wire = "?"; // the bridge's probe
    const std::string rotctl = "rotctl -m 2 -r 127.0.0.1:" + std::to_string(station.port) + " ";
    for (const auto& [command, printed, sent] : cases) {
        FILE* f = ::popen((rotctl + command + " 2>&1").c_str(), "r");
        std::string out(4096, '\0');
        out.resize(std::fread(out.data(), 1, out.size(), f));
        EXPECT_TRUE(::pclose(f) == 0 && std::regex_match(out, std::regex(printed))) << out;
        EXPECT_EQ(station.sim.waitReceived((wire += sent).size()), wire) << command;
    }
    SimProcess hamlib;
    const int port = FreePort();
    ASSERT_TRUE(hamlib.run({"rotctld", "-m", "1", "-T", "127.0.0.1", "-t", std::to_string(port)},
                           station.dir.path().toStdString(), ""));
    Client ours(station.port), theirs(port);
    // clang-format off
    const std::pair<const char*, size_t> lines[] = {
        {"P 114.80 14.00\n", 1}, {"p\n", 2}, {"+p\n", 4}, {";p\n", 1}, {"+\\stop\n", 2},
        {"+K\n", 2}, {"+R 1\n", 2}, {"+M 2 50\n", 2}, {"_\n", 1}, {"+_\n", 3}, {"\\dump_state\n", 9},
        {"+\\dump_state\n", 11}, {"P abc 10\n", 1}, {"P 10 100\n", 1}, {"+P abc 1\n", 2}, {"q\n", 1}};
    // clang-format on
    for (const auto& [line, count] : lines)
        EXPECT_EQ(Shape(ours.ask(line, count)), Shape(theirs.ask(line, count))) << line;
}

// A get_pos answers the status reply of its own request or times out; a command's own short
// reply is no status (the rotors start at north).
TEST(BridgeE2E, GetPosAnswersOnlyAStatusReplyInTime) {
    Station own({"--own-reply", "--baud"}), noEof({"--no-eof"});
    const std::string got = Client(own.port).ask("P 101 40\nS\np\n", 4);
    EXPECT_TRUE(got.starts_with("RPRT 0\nRPRT 0\n") && std::stod(got.substr(14)) < 50) << got;
    EXPECT_EQ(Client(noEof.port).ask("p\n+p\n", 3), "RPRT -5\nget_pos:\nRPRT -5\n");
}

// A client sending set_pos as fast as it is answered never gets ahead of a controller reading at
// 9600 baud: once the last answer is in, the controller has (nearly) read the last target.
TEST(BridgeE2E, AnswersKeepPaceWithTheLine) {
    Station station({"--baud"});
    Client client(station.port);
    std::string lines, wire = "?";
    for (int i = 0; i < 100; ++i)
        lines += "P " + std::to_string(i) + " 10\n", wire += "GP" + std::to_string(i) + " 10\r";
    ASSERT_EQ(client.ask(lines, 100).size(), 700u);
    EXPECT_EQ(station.sim.waitReceived(wire.size(), 300), wire);
}

// While the controller is missing, clients get I/O errors at once, also while it is looked for.
// A bridge that cannot listen writes nothing to the controller; port 0 logs the port bound.
TEST(BridgeE2E, MissingControllerAndListeningAddress) {
    Station silent({"--silent"}, {"--wait"});
    Client client(silent.port);
    for (int i = 0; i < 60; ++i, usleep(50000))
        ASSERT_EQ(client.ask("p\n", 1, 500), "RPRT -6\n") << i;
    SimProcess other, busy, any;
    const std::string d = silent.dir.path().toStdString(), at = "127.0.0.1:";
    ASSERT_TRUE(other.start(d, 2) && busy.run({RAVIK_BRIDGE_PATH, "--port", "2", "--listen",
                                               at + std::to_string(silent.port)},
                                              d, "cannot"));
    EXPECT_EQ(busy.waitExit(), 1);
    EXPECT_EQ(other.received(), "");
    ASSERT_TRUE(any.run({RAVIK_BRIDGE_PATH, "--port", "2", "--listen", at + "0"}, d, "listening"));
    EXPECT_TRUE(std::regex_search(any.announcement(), std::regex("listening on [0-9.]+:[1-9]")));
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
    // Plugged in again, slow to answer: the bridge probes it and carries on.
    SimProcess again;
    ASSERT_TRUE(again.start(station.dir.path().toStdString(), 1, {"--pieces", "30"}));
    for (int i = 0; i < 100 && reply == "RPRT -6\n"; ++i)
        reply = client.ask("P 30 40\n", 1, 100), usleep(100000);
    EXPECT_EQ(reply, "RPRT 0\n");
    client.send("_\n");
    again.waitReceived(std::string_view("?GP30 40\r?").size()); // the request is on the line
    EXPECT_EQ(station.bridge.stop(), 0);
    EXPECT_EQ(client.read(2), "Ravik RC-2 rotator controller\n<EOF>");
}

} // namespace
