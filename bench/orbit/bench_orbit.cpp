// SGP4/SDP4 propagation time against satellite.js on the same satellites and times, in the same
// run; and a week's pass search for a low orbit: its time and propagations per pass found.
// Usage: bench_orbit [rounds=9]. Needs nodejs and npm for the comparison (not for the search).
#include "orbits.h"
#include "passes.h"
#include "sgp4.h"
#include "timescale.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace ravik::orbit;

namespace {

struct Set {
    std::string line1, line2;
};

// Near-earth, deep-space and both resonances: the test orbits, and three sets of the published
// verification table (a drag-heavy low orbit, a GPS satellite, a geostationary one).
std::vector<Set> satellites() {
    std::vector<Set> sets;
    for (const auto& orbit : testing::Orbits)
        sets.push_back({orbit.line1, orbit.line2});
    sets.push_back({"1 06251U 62025E   06176.82412014  .00008885  00000-0  12808-3 0  3985",
                    "2 06251  58.0579  54.0425 0030035 139.1568 221.1854 15.56387291  6774"});
    sets.push_back({"1 28129U 03058A   06175.57071136 -.00000104  00000-0  10000-3 0   459",
                    "2 28129  54.7298 324.8098 0048506 266.2640  93.1663  2.00562768 18443"});
    sets.push_back({"1 24208U 96044A   06177.04061740 -.00000094  00000-0  10000-3 0  1600",
                    "2 24208   3.8536  80.0121 0026640 311.0977  48.3000  1.00778054 36119"});
    return sets;
}

constexpr int Minutes = 1440; // each satellite at 0, 1, ..., 1440 minutes from its epoch

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Nanoseconds per propagation, median of the rounds; `checksum` is the sum of all x positions,
// so both sides can be seen to do the same work.
double ours(const std::vector<Set>& sets, int rounds, double& checksum) {
    std::vector<Propagator> propagators;
    for (const Set& s : sets)
        propagators.emplace_back(*parseTle(s.line1, s.line2, false));
    std::vector<double> perProp;
    for (int r = 0; r < rounds; ++r) {
        double sum = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const Propagator& p : propagators)
            for (int t = 0; t <= Minutes; ++t)
                sum += p.propagate(t).state.positionKm[0];
        const auto ns =
            std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start)
                .count();
        perProp.push_back(ns / (propagators.size() * (Minutes + 1.0)));
        checksum = sum;
    }
    return median(perProp);
}

bool run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// The same loop in satellite.js; nullopt-like -1 when node or npm is missing.
double theirs(const std::vector<Set>& sets, int rounds, double& checksum) {
    const std::string dir = BENCH_ORBIT_NODE_DIR;
    // Debian's nodejs, whatever else is first on the PATH.
    if (!run("test -x /usr/bin/node && test -x /usr/bin/npm")) {
        std::printf("satellite.js: skipped, nodejs and npm are not installed "
                    "(apt-get install nodejs npm)\n");
        return -1;
    }
    if (!run("test -d '" + dir + "/node_modules/satellite.js'")) {
        std::printf("installing satellite.js into %s\n", dir.c_str());
        std::fflush(stdout);
        if (!run("/usr/bin/npm install --silent --prefix '" + dir + "' satellite.js >/dev/null"))
            return -1;
    }
    std::ofstream script(dir + "/bench.mjs");
    script << "import * as satellite from 'satellite.js';\nconst sets = [\n";
    for (const Set& s : sets)
        script << "  ['" << s.line1 << "', '" << s.line2 << "'],\n";
    script << "];\n"
              "const recs = sets.map(([a, b]) => satellite.twoline2satrec(a, b));\n"
              "const perProp = [];\nlet sum = 0;\n"
              "for (let r = 0; r < "
           << rounds
           << "; ++r) {\n"
              "  sum = 0;\n"
              "  const start = process.hrtime.bigint();\n"
              "  for (const rec of recs)\n"
              "    for (let t = 0; t <= "
           << Minutes
           << "; ++t) sum += satellite.sgp4(rec, t).position.x;\n"
              "  const ns = Number(process.hrtime.bigint() - start);\n"
              "  perProp.push(ns / (recs.length * "
           << Minutes + 1
           << "));\n"
              "}\n"
              "perProp.sort((a, b) => a - b);\n"
              "console.log(perProp[Math.floor(perProp.length / 2)], sum);\n";
    script.close();
    FILE* pipe = popen(("/usr/bin/node '" + dir + "/bench.mjs'").c_str(), "r");
    double ns = -1;
    if (pipe) {
        if (std::fscanf(pipe, "%lf %lf", &ns, &checksum) != 2)
            ns = -1;
        pclose(pipe);
    }
    return ns;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const std::vector<Set> sets = satellites();

    // satellite.js before and after ours (its just-in-time compiler warms up within its own
    // rounds); the faster of its two runs counts, so a busy machine does not flatter us.
    double theirSum = 0, ourSum = 0;
    double theirNs = theirs(sets, rounds + 4, theirSum);
    const double ourNs = ours(sets, rounds, ourSum);
    if (theirNs > 0)
        theirNs = std::min(theirNs, theirs(sets, rounds + 4, theirSum));
    std::printf("%zu satellites x %d times: ours %.0f ns per propagation", sets.size(), Minutes + 1,
                ourNs);
    if (theirNs > 0) {
        std::printf(", satellite.js %.0f ns (x sums %.6f and %.6f km)\n", theirNs, ourSum,
                    theirSum);
        std::printf("ours/satellite.js: %.2fx (goal <= 0.5)\n", ourNs / theirNs);
    } else {
        std::printf("\n");
    }

    // A week of passes of the ISS-like orbit over a mid-latitude station.
    const auto& iss = testing::Orbits[0];
    const Propagator propagator(*parseTle(iss.line1, iss.line2, false));
    const Station station{iss.latitudeDeg, iss.longitudeDeg, iss.heightM};
    const double from = propagator.epochJd();
    std::vector<double> ms;
    PassSearch search;
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        search = findPasses(propagator, station, from, from + 7.0, 0.0);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    const double passes = static_cast<double>(search.passes.size());
    std::printf("7-day pass search: %.2f ms, %zu passes, %d propagations (%.0f per pass; a "
                "10-s scan of the week would take %d)\n",
                median(ms), search.passes.size(), search.propagations,
                search.propagations / std::max(1.0, passes), 7 * 8640);
    return search.error == OrbitError::None ? 0 : 1;
}
