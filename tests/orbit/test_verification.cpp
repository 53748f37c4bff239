// The propagator against the verification table of "Revisiting Spacetrack Report #3": the
// element sets of SGP4-VER.TLE propagated to the times of tcppver.out, as shipped by Debian's
// python3-sgp4 (read from the installed package, not copied here).
#include "sgp4.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace ravik::orbit;

namespace {

const std::string DataDir = "/usr/lib/python3/dist-packages/sgp4/";

struct Case {
    std::string line1, line2;
    double start = 0, stop = 0, step = 0;
};
struct Row {
    double t = 0;
    double values[6] = {};
};
struct Expected {
    int satellite = 0;
    std::vector<Row> rows;
};

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The test's own reader: comment lines, and start, stop and step after column 69.
std::vector<Case> readCases() {
    std::vector<Case> cases;
    std::vector<std::string> lines;
    for (const std::string& line : readLines(DataDir + "SGP4-VER.TLE"))
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    for (std::size_t i = 0; i + 1 < lines.size(); i += 2) {
        Case c{lines[i].substr(0, 69), lines[i + 1].substr(0, 69)};
        std::istringstream(lines[i + 1].substr(69)) >> c.start >> c.stop >> c.step;
        cases.push_back(c);
    }
    return cases;
}

std::vector<Expected> readExpected() {
    std::vector<Expected> all;
    for (const std::string& line : readLines(DataDir + "tcppver.out")) {
        if (line.find("xx") != std::string::npos) {
            all.push_back({std::stoi(line), {}});
            continue;
        }
        Row row;
        std::istringstream in(line);
        in >> row.t;
        for (double& v : row.values)
            in >> v;
        if (in && !all.empty())
            all.back().rows.push_back(row);
    }
    return all;
}

// The reference driver's times: the epoch, then start to stop by step, ending on stop.
std::vector<double> times(const Case& c) {
    std::vector<double> list{0.0};
    double t = c.start;
    if (std::fabs(t) > 1e-8)
        t -= c.step;
    while (t < c.stop) {
        t += c.step;
        if (t > c.stop)
            t = c.stop;
        list.push_back(t);
    }
    return list;
}

TEST(Verification, ReproducesTheTableAndItsErrorCodes) {
    const std::vector<Case> cases = readCases();
    const std::vector<Expected> expected = readExpected();
    ASSERT_EQ(cases.size(), 33u) << "SGP4-VER.TLE from python3-sgp4 is missing or changed";
    ASSERT_EQ(expected.size(), cases.size());

    int linesMatched = 0, staleEpochRows = 0;
    std::vector<int> errorCodes;
    std::vector<std::string> misses;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        std::string why;
        const auto tle = parseTle(c.line1, c.line2, false, &why);
        ASSERT_TRUE(tle) << c.line1 << ": " << why;
        ASSERT_EQ(tle->catalogNumber, expected[i].satellite);
        ++linesMatched; // the satellite's header line
        const Propagator propagator(*tle);
        const std::vector<double> list = times(c);
        const std::vector<Row>& rows = expected[i].rows;
        ASSERT_LE(rows.size(), list.size()) << tle->catalogNumber;

        int firstError = 0;
        for (std::size_t k = 0; k < rows.size(); ++k) {
            ASSERT_NEAR(rows[k].t, list[k], 1e-6) << tle->catalogNumber;
            const Propagation p = propagator.propagate(list[k]);
            if (p.error != OrbitError::None) {
                // The reference prints the epoch row even when propagation fails there: it then
                // holds the previous satellite's last state, not a result.
                if (k == 0 && firstError == 0) {
                    firstError = static_cast<int>(p.error);
                    ++staleEpochRows;
                    continue;
                }
                misses.push_back(std::to_string(tle->catalogNumber) +
                                 " t=" + std::to_string(list[k]) + ": " + describe(p.error));
                continue;
            }
            double worst = 0;
            for (int j = 0; j < 3; ++j) {
                worst = std::max(worst, std::fabs(p.state.positionKm[j] - rows[k].values[j]));
                worst = std::max(worst, std::fabs(p.state.velocityKmS[j] - rows[k].values[3 + j]));
            }
            if (worst <= 2e-7)
                ++linesMatched;
            else
                misses.push_back(std::to_string(tle->catalogNumber) + " t=" +
                                 std::to_string(list[k]) + " off by " + std::to_string(worst));
        }
        // Rows that stop early end in an error.
        if (rows.size() < list.size() && firstError == 0) {
            const Propagation p = propagator.propagate(list[rows.size()]);
            EXPECT_NE(p.error, OrbitError::None)
                << tle->catalogNumber << " propagates at t=" << list[rows.size()];
            firstError = static_cast<int>(p.error);
        }
        if (firstError != 0)
            errorCodes.push_back(firstError);
    }
    std::string report;
    for (std::size_t i = 0; i < misses.size() && i < 30; ++i)
        report += misses[i] + "\n";
    EXPECT_TRUE(misses.empty()) << misses.size() << " lines miss:\n" << report;
    EXPECT_EQ(linesMatched + staleEpochRows, 700);
    EXPECT_EQ(staleEpochRows, 1);
    EXPECT_EQ(errorCodes, (std::vector<int>{1, 1, 6, 6, 4, 3, 6}));
}

} // namespace
