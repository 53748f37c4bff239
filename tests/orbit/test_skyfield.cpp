// Look angles and passes against Skyfield (Debian's python3-skyfield, run as a process), an
// independent implementation of the same propagator and of the full earth-orientation chain.
#include "orbits.h"
#include "passes.h"
#include "timescale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>

using namespace ravik::orbit;
using namespace ravik::orbit::testing;

namespace {

struct Reference {
    struct Look {
        double azimuthDeg, elevationDeg, rangeKm, rangeRateKmS;
    };
    struct Event {
        std::string kind;
        double offsetS, elevationDeg;
    };
    std::vector<Look> looks;
    std::vector<Event> events;
};

constexpr double LookStepMin = 2.0;
constexpr double Days = 1.5;

Reference runSkyfield(const Orbit& orbit, const CalendarTime& start) {
    std::ostringstream command;
    command << "timeout 60 /usr/bin/python3 " RAVIK_SOURCE_DIR
               "/tests/orbit/skyfield_reference.py '"
            << orbit.line1 << "' '" << orbit.line2 << "' " << orbit.latitudeDeg << ' '
            << orbit.longitudeDeg << ' ' << orbit.heightM << ' ' << start.year << ' ' << start.month
            << ' ' << start.day << ' ' << start.hour << ' ' << start.minute << ' ' << start.second
            << ' ' << Days << ' ' << LookStepMin;
    Reference reference;
    FILE* pipe = popen(command.str().c_str(), "r");
    if (!pipe)
        return reference;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        std::istringstream line(buffer);
        std::string kind;
        line >> kind;
        if (kind == "look") {
            int k = 0;
            Reference::Look look{};
            line >> k >> look.azimuthDeg >> look.elevationDeg >> look.rangeKm >> look.rangeRateKmS;
            reference.looks.push_back(look);
        } else {
            Reference::Event event{kind, 0, 0};
            line >> event.offsetS >> event.elevationDeg;
            reference.events.push_back(event);
        }
    }
    pclose(pipe);
    return reference;
}

class SkyfieldTest : public ::testing::TestWithParam<Orbit> {};

TEST_P(SkyfieldTest, LookAnglesAndPassesAgree) {
    const Orbit& orbit = GetParam();
    const Propagator propagator(tleOf(orbit));
    const Station station{orbit.latitudeDeg, orbit.longitudeDeg, orbit.heightM};
    // A whole minute a little after epoch, so the window is the same on both sides.
    const double startJd = std::round((propagator.epochJd() + 0.2) * MinutesPerDay) / MinutesPerDay;
    const Reference reference = runSkyfield(orbit, calendarTime(startJd));
    ASSERT_EQ(reference.looks.size(), static_cast<std::size_t>(Days * 1440 / LookStepMin) + 1)
        << "python3-skyfield did not run";

    double worstAz = 0, worstEl = 0, worstRange = 0, worstRate = 0;
    for (std::size_t k = 0; k < reference.looks.size(); ++k) {
        const double jd = startJd + k * LookStepMin / MinutesPerDay;
        const Propagation p = propagator.at(jd);
        ASSERT_EQ(p.error, OrbitError::None);
        const LookAngles ours = lookAngles(station, p.state, jd);
        const auto& theirs = reference.looks[k];
        worstEl = std::max(worstEl, std::fabs(ours.elevationDeg - theirs.elevationDeg));
        // Azimuth is undefined at the zenith; elsewhere compare it as an angle.
        if (theirs.elevationDeg < 89.0)
            worstAz = std::max(
                worstAz, std::fabs(std::remainder(ours.azimuthDeg - theirs.azimuthDeg, 360.0)));
        worstRange = std::max(worstRange, std::fabs(ours.rangeKm - theirs.rangeKm));
        worstRate = std::max(worstRate, std::fabs(ours.rangeRateKmS - theirs.rangeRateKmS));
    }
    EXPECT_LT(worstAz, 0.01);
    EXPECT_LT(worstEl, 0.01);
    EXPECT_LT(worstRange, 1.0);
    EXPECT_LT(worstRate, 1e-3);

    // Skyfield's passes: rise, culmination(s), set; the ones whole inside the window.
    struct RefPass {
        double aos, los, maxEl;
    };
    std::vector<RefPass> expected;
    double rise = -1, maxEl = -90;
    for (const auto& e : reference.events) {
        if (e.kind == "rise") {
            rise = e.offsetS;
            maxEl = -90;
        } else if (e.kind == "culm") {
            maxEl = std::max(maxEl, e.elevationDeg);
        } else if (rise >= 0) {
            expected.push_back({rise, e.offsetS, maxEl});
            rise = -1;
        }
    }
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
            std::max({worstTime, std::fabs((p.aosJd - startJd) * SecondsPerDay - expected[i].aos),
                      std::fabs((p.losJd - startJd) * SecondsPerDay - expected[i].los)});
        worstMax = std::max(worstMax, std::fabs(p.maxElevationDeg - expected[i].maxEl));
    }
    EXPECT_LT(worstTime, 1.0);
    EXPECT_LT(worstMax, 0.01);
    std::cout << orbit.name << ": " << reference.looks.size() << " look angles, worst az "
              << worstAz << " deg, el " << worstEl << " deg, range " << worstRange
              << " km, range rate " << worstRate << " km/s; " << expected.size()
              << " passes, worst AOS/LOS " << worstTime << " s, culmination " << worstMax
              << " deg\n";
}

INSTANTIATE_TEST_SUITE_P(Orbits, SkyfieldTest, ::testing::ValuesIn(Orbits),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
