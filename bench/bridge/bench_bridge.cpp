// Two measurements of ravik-rotctld between a TCP client and ravik-sim, each against a
// reference taken in the same run:
//  1. set_pos from the client's send to the command's last byte reaching the controller at 9600
//     baud (ravik-sim --baud), against the wire time of those bytes;
//  2. a flood: a client sending set_pos as fast as it is answered for 3 s; the slowest answer
//     against one command's wire time, and how long after the last answer the controller has
//     read the last target, against that command's wire time;
//  3. resident memory over 100,000 set_pos/get_pos commands on one connection, against the
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

double wireMs(const std::string& command) {
    return double(command.size()) * 10.0 * 1000.0 / 9600.0;
}

void flood() {
    Station station({"--baud"});
    Client client(station.port);
    const auto start = SimClock::now();
    double slowest = 0, slowestWire = 0;
    std::vector<double> over; // each answer's time beyond its wire time
    std::string last;
    int answers = 0;
    for (int i = 0; SimClock::now() - start < std::chrono::seconds(3); ++i, ++answers) {
        last = "GP" + std::to_string(i % 360) + " " + std::to_string(i % 90) + "\r";
        const auto sent = SimClock::now();
        client.send("P " + std::to_string(i % 360) + " " + std::to_string(i % 90) + "\n");
        if (client.read(1) != "RPRT 0\n")
            die("set_pos was not answered");
        const double took =
            std::chrono::duration<double, std::milli>(SimClock::now() - sent).count();
        over.push_back(took - wireMs(last));
        if (took - wireMs(last) > slowest - slowestWire)
            slowest = took, slowestWire = wireMs(last);
    }
    const auto answered = SimClock::now();
    while (!station.sim.received().ends_with(last)) {
        if (SimClock::now() - answered > std::chrono::seconds(30))
            die("the last target never reached the controller");
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    const double behind =
        std::chrono::duration<double, std::milli>(SimClock::now() - answered).count();
    std::sort(over.begin(), over.end());
    std::printf("flood: %d set_pos in 3 s; answer beyond its wire time: median %.1f ms, 99th "
                "%.1f ms; slowest answer %.1f ms against its wire time %.1f ms (goal <= wire + "
                "20 ms); the controller read the last target %.1f ms after its answer (goal <= "
                "50 ms + %.1f ms)\n",
                answers, over[over.size() / 2], over[over.size() * 99 / 100], slowest, slowestWire,
                behind, wireMs(last));
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
    flood();
    memory(argc > 1 ? std::atoi(argv[1]) : 100000);
}
