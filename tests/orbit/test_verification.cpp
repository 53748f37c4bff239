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

std::vector<std::string> readLines(const char* name) {
    std::ifstream in(std::string("/usr/lib/python3/dist-packages/sgp4/") + name);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#')
            lines.push_back(line.substr(0, line.find_last_not_of('\r') + 1));
    return lines;
}

// The reference driver's times: the epoch, then start to stop by step, ending on stop.
std::vector<double> times(double start, double stop, double step) {
    std::vector<double> list{0.0};
    for (double t = std::fabs(start) > 1e-8 ? start - step : start; t < stop;)
        list.push_back(t = std::min(t + step, stop));
    return list;
}

TEST(Verification, ReproducesTheTableAndItsErrorCodes) {
    // Element sets (start, stop and step after column 69), and the table: a header line per
    // satellite, then "t x y z vx vy vz".
    const std::vector<std::string> sets = readLines("SGP4-VER.TLE");
    std::vector<std::vector<std::vector<double>>> table;
    for (const std::string& line : readLines("tcppver.out")) {
        std::vector<double> row(7); // a header's is the satellite's number
        std::istringstream in(line);
        for (double& v : row)
            in >> v;
        if (line.find("xx") != std::string::npos)
            table.push_back({row});
        else if (in && !table.empty())
            table.back().push_back(row);
    }
    ASSERT_EQ(sets.size(), 66u) << "SGP4-VER.TLE from python3-sgp4 is missing or changed";
    ASSERT_EQ(table.size(), 33u);

    int linesMatched = 0, staleEpochRows = 0;
    std::vector<int> errorCodes;
    for (std::size_t i = 0; i < table.size(); ++i) {
        std::string why;
        const auto tle =
            parseTle(sets[2 * i].substr(0, 69), sets[2 * i + 1].substr(0, 69), false, &why);
        ASSERT_TRUE(tle) << sets[2 * i] << ": " << why;
        ASSERT_EQ(tle->catalogNumber, table[i][0][0]);
        ++linesMatched; // the satellite's header line
        double start, stop, step;
        std::istringstream(sets[2 * i + 1].substr(69)) >> start >> stop >> step;
        const std::vector<double> list = times(start, stop, step);
        const std::size_t rows = table[i].size() - 1;
        ASSERT_LE(rows, list.size()) << tle->catalogNumber;
        const Propagator propagator(*tle);
        int firstError = 0;
        for (std::size_t k = 0; k < rows; ++k) {
            const std::vector<double>& row = table[i][k + 1];
            ASSERT_NEAR(row[0], list[k], 1e-6) << tle->catalogNumber;
            const Propagation p = propagator.propagate(list[k]);
            // The reference prints the epoch row even when propagation fails there: it then holds
            // the previous satellite's last state, not a result.
            if (p.error != OrbitError::None && k == 0) {
                firstError = static_cast<int>(p.error);
                ++staleEpochRows;
                continue;
            }
            double worst = p.error != OrbitError::None ? HUGE_VAL : 0;
            for (int j = 0; j < 3; ++j)
                worst = std::max({worst, std::fabs(p.state.positionKm[j] - row[1 + j]),
                                  std::fabs(p.state.velocityKmS[j] - row[4 + j])});
            EXPECT_LE(worst, 2e-7) << tle->catalogNumber << " t=" << list[k];
            linesMatched += worst <= 2e-7;
        }
        // Rows that stop early end in an error.
        if (rows < list.size() && firstError == 0) {
            firstError = static_cast<int>(propagator.propagate(list[rows]).error);
            EXPECT_NE(firstError, 0) << tle->catalogNumber << " propagates at t=" << list[rows];
        }
        if (firstError != 0)
            errorCodes.push_back(firstError);
    }
    EXPECT_EQ(linesMatched + staleEpochRows, 700);
    EXPECT_EQ(staleEpochRows, 1);
    EXPECT_EQ(errorCodes, (std::vector<int>{1, 1, 6, 6, 4, 3, 6}));
}

} // namespace
