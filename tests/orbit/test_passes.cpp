// The pass search against a brute-force scan of the elevation second by second.
#include "orbits.h"
#include "passes.h"
#include "timescale.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

using namespace ravik::orbit;
using namespace ravik::orbit::testing;

namespace {

// Every stretch above the horizon and whole inside the window, from one-second samples (crossings
// interpolated): {AOS, LOS, highest elevation}.
std::vector<std::array<double, 3>> bruteForce(const Propagator& p, const Station& s, double from,
                                              double to) {
    std::vector<std::array<double, 3>> found;
    const auto el = [&](double jd) { return lookAngles(s, p.at(jd).state, jd).elevationDeg; };
    const double dt = 1.0 / SecondsPerDay;
    bool up = false;
    for (double jd = from + dt, prev = el(from), now; jd <= to; jd += dt, prev = now) {
        now = el(jd);
        const double cross = jd - dt * now / (now - prev);
        if (!up && now >= 0 && prev < 0)
            found.push_back({cross, 0, now});
        else if (up && now < 0)
            found.back()[1] = cross;
        up = now >= 0 && (up || prev < 0);
        if (up)
            found.back()[2] = std::max(found.back()[2], now);
    }
    if (up)
        found.pop_back();
    std::erase_if(found, [](const auto& w) { return w[2] <= 0.0; });
    return found;
}

class PassSearchTest : public ::testing::TestWithParam<Orbit> {};

// Stations from the equator to the arctic, so that grazing passes shorter than a search step
// turn up; every pass the scan sees must be found, to the second, and nothing else.
TEST_P(PassSearchTest, FindsEveryPassTheSecondByScanFinds) {
    const Propagator propagator(tleOf(GetParam()));
    const double from = propagator.epochJd() + 0.1;
    const double to = from + 1.0;
    int shortPasses = 0;
    for (double lat : {0.0, 35.0, 52.0, 70.0}) {
        const Station station{lat, GetParam().longitudeDeg, 0};
        auto search = findPasses(propagator, station, from, to, 0.0);
        ASSERT_EQ(search.error, OrbitError::None);
        // Passes cut by the window's ends are looked at in the next test.
        std::erase_if(search.passes, [&](const Pass& p) { return p.aosJd < from || p.losJd > to; });
        const auto expected = bruteForce(propagator, station, from, to);
        ASSERT_EQ(search.passes.size(), expected.size()) << "station at " << lat;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const Pass& p = search.passes[i];
            EXPECT_NEAR(p.aosJd, expected[i][0], 0.5 / SecondsPerDay) << lat << " #" << i;
            EXPECT_NEAR(p.losJd, expected[i][1], 0.5 / SecondsPerDay) << lat << " #" << i;
            // The rate comes from SGP4's velocity, not from differencing positions: a hair apart.
            EXPECT_GE(p.maxElevationDeg, expected[i][2] - 1e-4);
            EXPECT_TRUE(p.aosJd < p.culminationJd && p.culminationJd < p.losJd);
            const LookAngles atAos = lookAngles(station, propagator.at(p.aosJd).state, p.aosJd);
            EXPECT_NEAR(atAos.elevationDeg, 0.0, 1e-3);
            EXPECT_NEAR(atAos.azimuthDeg, p.aosAzimuthDeg, 0.01);
            if ((p.losJd - p.aosJd) * MinutesPerDay < 3.0)
                ++shortPasses;
        }
    }
    EXPECT_TRUE(shortPasses > 0 || GetParam().name != std::string("iss"))
        << "no pass shorter than the search step was tried";
}

INSTANTIATE_TEST_SUITE_P(Orbits, PassSearchTest, ::testing::ValuesIn(Orbits),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PassSearch, APassInProgressComesWithItsTrueRiseAndTheWindowLimitsTheRest) {
    const Orbit& iss = Orbits[0];
    const Propagator propagator(tleOf(iss));
    const Station station{iss.latitudeDeg, iss.longitudeDeg, iss.heightM};
    const double from = propagator.epochJd();
    const auto all = findPasses(propagator, station, from, from + 1.0, 0.0);
    ASSERT_GE(all.passes.size(), 3u);
    const Pass& second = all.passes[1];

    const double middle = 0.5 * (second.aosJd + second.losJd);
    const auto fromMiddle = findPasses(propagator, station, middle, from + 1.0, 0.0);
    ASSERT_EQ(fromMiddle.passes.size(), all.passes.size() - 1);
    EXPECT_NEAR(fromMiddle.passes[0].aosJd, second.aosJd, 1e-3 / SecondsPerDay);
    EXPECT_NEAR(fromMiddle.passes[0].maxElevationDeg, second.maxElevationDeg, 1e-6);

    // Ending the window inside a pass keeps that pass, whole; ending it before its rise drops it.
    const auto toMiddle = findPasses(propagator, station, from, middle, 0.0);
    ASSERT_EQ(toMiddle.passes.size(), 2u);
    EXPECT_NEAR(toMiddle.passes[1].losJd, second.losJd, 1e-3 / SecondsPerDay);
    EXPECT_EQ(findPasses(propagator, station, from, second.aosJd - 1e-5, 0.0).passes.size(), 1u);

    // --min-el keeps only the passes that reach it.
    const double threshold = all.passes[0].maxElevationDeg + 1e-3;
    const auto high = findPasses(propagator, station, from, from + 1.0, threshold);
    for (const Pass& p : high.passes)
        EXPECT_GE(p.maxElevationDeg, threshold);
    EXPECT_LT(high.passes.size(), all.passes.size());
}

// A satellite straight up the ellipsoid's normal at a station: elevation 90, and its sub-point is
// the station, at the height above it. Checks the station geometry and the earth's rotation.
TEST(Topocentric, AboveTheStationAlongItsNormalIsTheZenith) {
    const double jd = 2461383.25, a = 6378.137, f = 1 / 298.257223563, e2 = f * (2 - f);
    for (const Station& s : {Station{0, 0, 0}, Station{52.2, 0.1, 80}, Station{-89.9, 200, 3000}}) {
        const double lat = s.latitudeDeg * M_PI / 180, lon = s.longitudeDeg * M_PI / 180;
        const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
        const double up = 500, h = s.heightM / 1000 + up, r = (n + h) * std::cos(lat);
        // turned by the sidereal angle from earth-fixed into the inertial frame
        const double east = lon + gmstRadians(jd), z = (n * (1 - e2) + h) * std::sin(lat);
        StateVector teme;
        teme.positionKm = {r * std::cos(east), r * std::sin(east), z};
        const LookAngles look = lookAngles(s, teme, jd);
        const SubPoint point = subSatellitePoint(teme, jd);
        SCOPED_TRACE(s.latitudeDeg);
        EXPECT_NEAR(std::hypot(look.elevationDeg - 90.0, look.rangeKm - up), 0.0, 1e-6);
        EXPECT_NEAR(std::hypot(point.latitudeDeg - s.latitudeDeg, point.altitudeKm - h,
                               std::remainder(point.longitudeDeg - s.longitudeDeg, 360.0)),
                    0.0, 1e-6);
    }
    // GMST (IAU 1982) at 2000-01-01 12:00 UT1: 280.46061837 degrees.
    EXPECT_NEAR(gmstRadians(2451545.0) * 180 / M_PI, 280.46061837, 1e-7);
}

} // namespace
