// Element sets the orbit tests share: a low inclined orbit (the ISS set of 2008 that is quoted
// everywhere), a polar sun-synchronous one and a Molniya (12-hour resonant, deep space).
#pragma once

#include "tle.h"

#include <ostream>

namespace ravik::orbit::testing {

struct Orbit {
    const char* name;
    const char* line1;
    const char* line2;
    double latitudeDeg, longitudeDeg, heightM; // a station that sees it
};

inline const Orbit Orbits[] = {
    {"iss", "1 25544U 98067A   08264.51782528 -.00002182  00000-0 -11606-4 0  2927",
     "2 25544  51.6416 247.4627 0006703 130.5360 325.0288 15.72125391563537", 52.2, 0.1, 80},
    {"polar", "1 28654U 05018A   26341.50000000  .00000072  00000-0  62000-4 0  9991",
     "2 28654  99.0320 340.1200 0014200  95.4000 264.8700 14.12700000 12347", 60.0, 25.0, 30},
    {"molniya", "1 23420U 94081A   26341.25000000  .00000050  00000-0  10000-3 0  9995",
     "2 23420  63.4000 120.0000 7200000 270.0000   0.5000  2.00610000 23455", 55.75, 37.6, 150},
};

inline void PrintTo(const Orbit& orbit, std::ostream* out) {
    *out << orbit.name;
}

// Throws (a failed test, not undefined behaviour) when the reader refuses the set.
inline Tle tleOf(const Orbit& orbit) {
    return parseTle(orbit.line1, orbit.line2, true).value();
}

} // namespace ravik::orbit::testing
