// Look angles and passes against Skyfield (Debian's python3-skyfield, run as a process), an
// independent implementation of the same propagator and of the full earth-orientation chain.
#include "orbits.h"
#include "passes.h"
#include "timescale.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>

using namespace ravik::orbit;
using namespace ravik::orbit::testing;

namespace {

constexpr double LookStepMin = 2.0, Days = 1.5;

class SkyfieldTest : public ::testing::TestWithParam<Orbit> {};

TEST_P(SkyfieldTest, LookAnglesAndPassesAgree) {
    const Orbit& orbit = GetParam();
    const Propagator propagator(tleOf(orbit));
    const Station station{orbit.latitudeDeg, orbit.longitudeDeg, orbit.heightM};
    // A whole minute a little after epoch, so the window is the same on both sides.
    const double startJd = std::round((propagator.epochJd() + 0.2) * MinutesPerDay) / MinutesPerDay;
    const CalendarTime start = calendarTime(startJd);
    std::ostringstream command;
    command << "timeout 60 /usr/bin/python3 " RAVIK_SOURCE_DIR
               "/tests/orbit/skyfield_reference.py '"
            << orbit.line1 << "' '" << orbit.line2 << "' " << orbit.latitudeDeg << ' '
            << orbit.longitudeDeg << ' ' << orbit.heightM << ' ' << start.year << ' ' << start.month
            << ' ' << start.day << ' ' << start.hour << ' ' << start.minute << ' ' << start.second
            << ' ' << Days << ' ' << LookStepMin;
    FILE* pipe = popen(command.str().c_str(), "r");
    ASSERT_TRUE(pipe);

    // "look k az el range rate" every step; "rise t", "culm t el", "set t": the passes whole
    // inside the window, as (AOS, LOS, highest elevation) in seconds from the start.
    int looks = 0;
    double worstAz = 0, worstEl = 0, worstRange = 0, worstRate = 0, rise = -1, maxEl = -90;
    std::vector<std::array<double, 3>> expected;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        std::istringstream line(buffer);
        std::string kind;
        double k, az, el, range, rate;
        line >> kind;
        if (kind == "look" && line >> k >> az >> el >> range >> rate) {
            const double jd = startJd + k * LookStepMin / MinutesPerDay;
            const Propagation p = propagator.at(jd);
            ASSERT_EQ(p.error, OrbitError::None);
            const LookAngles ours = lookAngles(station, p.state, jd);
            worstEl = std::max(worstEl, std::fabs(ours.elevationDeg - el));
            // Azimuth is undefined at the zenith; elsewhere compare it as an angle.
            if (el < 89.0)
                worstAz = std::max(worstAz, std::fabs(std::remainder(ours.azimuthDeg - az, 360.0)));
            worstRange = std::max(worstRange, std::fabs(ours.rangeKm - range));
            worstRate = std::max(worstRate, std::fabs(ours.rangeRateKmS - rate));
            ++looks;
        } else if (line >> k; kind == "rise") {
            rise = k, maxEl = -90;
        } else if (line >> el; kind == "culm") {
            maxEl = std::max(maxEl, el);
        } else if (rise >= 0) {
            expected.push_back({rise, k, maxEl});
            rise = -1;
        }
    }
    pclose(pipe);
    ASSERT_EQ(looks, int(Days * 1440 / LookStepMin) + 1) << "python3-skyfield did not run";
    EXPECT_LT(worstAz, 0.01);
    EXPECT_LT(worstEl, 0.01);
    EXPECT_LT(worstRange, 1.0);
    EXPECT_LT(worstRate, 1e-3);

    auto search = findPasses(propagator, station, startJd, startJd + Days, 0.0);
    ASSERT_EQ(search.error, OrbitError::None);
    std::erase_if(search.passes,
                  [&](const Pass& p) { return p.aosJd < startJd || p.losJd > startJd + Days; });
    ASSERT_EQ(search.passes.size(), expected.size());
    ASSERT_FALSE(expected.empty());
    double worstTime = 0, worstMax = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Pass& p = search.passes[i];
        worstTime =
            std::max({worstTime, std::fabs((p.aosJd - startJd) * SecondsPerDay - expected[i][0]),
                      std::fabs((p.losJd - startJd) * SecondsPerDay - expected[i][1])});
        worstMax = std::max(worstMax, std::fabs(p.maxElevationDeg - expected[i][2]));
    }
    EXPECT_LT(worstTime, 1.0);
    EXPECT_LT(worstMax, 0.01);
    std::cout << orbit.name << ": worst az " << worstAz << " el " << worstEl << " deg, range "
              << worstRange << " km, rate " << worstRate << " km/s; " << expected.size()
              << " passes, worst AOS/LOS " << worstTime << " s, culmination " << worstMax << "\n";
}

INSTANTIATE_TEST_SUITE_P(Orbits, SkyfieldTest, ::testing::ValuesIn(Orbits),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
