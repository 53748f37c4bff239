// Two measurements of ravik-rotctld between a TCP client and ravik-sim, each against a
// reference taken in the same run:
//  1. set_pos from the client's send to the command's last byte reaching the controller at 9600
//     baud (ravik-sim --baud), against the wire time of those bytes;
//  2. resident memory over 100,000 set_pos/get_pos commands on one connection, against the
//     resident memory after a warm-up of 5,000.
// Usage: bench_bridge [commands]
#include "benchcommon.h"
#include "rotctlclient.h"
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fstream>

using namespace ravik::test;

namespace {

using bench::die;
using bench::writeFile;

long residentKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

struct Station {
    QTemporaryDir dir;
    SimProcess sim;
    SimProcess bridge;
    int port = FreePort();
    explicit Station(const std::vector<std::string>& simArgs) {
        if (!sim.start(dir.path().toStdString(), 1, simArgs))
            die("ravik-sim: " + sim.error());
        if (!bridge.run(
                {RAVIK_BRIDGE_PATH, "--port", "1", "--listen", "127.0.0.1:" + std::to_string(port)},
                dir.path().toStdString(), "listening on"))
            die("ravik-rotctld: " + bridge.announcement());
    }
};

void latency() {
    Station station({"--baud"});
    Client client(station.port);
    std::vector<double> ratios;
    size_t seen = station.sim.received().size();
    for (int i = 0; i < 200; ++i) {
        const std::string command =
            "GP" + std::to_string(i % 360) + " " + std::to_string(i % 90) + "\r";
        const auto start = SimClock::now();
        client.send("P " + std::to_string(i % 360) + ".2 " + std::to_string(i % 90) + "\n");
        while (station.sim.received().size() < seen + command.size()) {
            if (SimClock::now() - start > std::chrono::seconds(5))
                die("the command never reached the controller");
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        const double took = std::chrono::duration<double>(SimClock::now() - start).count();
        const double wire = double(command.size()) * 10.0 / 9600.0;
        ratios.push_back(took / wire);
        seen += command.size();
        if (client.read(1) != "RPRT 0\n")
            die("set_pos was not answered");
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("set_pos send-to-last-byte / wire time at 9600 baud: median %.3f, 90th %.3f, "
                "max %.3f (goal <= 1.1)\n",
                ratios[ratios.size() / 2], ratios[ratios.size() * 9 / 10], ratios.back());
}

void memory(int commands) {
    Station station({});
    Client client(station.port);
    long reference = 0;
    for (int i = 0; i < commands + 5000; ++i) {
        if (i == 5000)
            reference = residentKiB(station.bridge.pid());
        const std::string reply =
            i % 2 ? client.ask("p\n", 2) : client.ask("P " + std::to_string(i % 360) + " 45\n", 1);
        if (reply.empty() || reply.starts_with("RPRT -"))
            die("command " + std::to_string(i) + " failed: " + reply);
    }
    const long after = residentKiB(station.bridge.pid());
    std::printf("resident memory over %d set_pos/get_pos: %ld KiB after warm-up, %ld KiB after; "
                "growth %ld KiB = %.3f of the 1 MiB goal (goal < 1)\n",
                commands, reference, after, after - reference, double(after - reference) / 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    latency();
    memory(argc > 1 ? std::atoi(argv[1]) : 100000);
}
