// Pass search: when a satellite rises and sets at a station.
#pragma once

#include "topocentric.h"

#include <vector>

namespace ravik::orbit {

struct Pass {
    double aosJd = 0, culminationJd = 0, losJd = 0; // exact (well under 0.1 s); fronts round
    double maxElevationDeg = 0, aosAzimuthDeg = 0, losAzimuthDeg = 0;
};
struct PassSearch {
    std::vector<Pass> passes;
    OrbitError error = OrbitError::None;
    int propagations = 0; // the search's cost, for measurements
};

// Every pass whose LOS is after fromJd and whose AOS is before toJd (a pass in progress at fromJd
// comes with its true AOS, before fromJd), whose highest elevation reaches minElevationDeg, in
// time order. Does not miss a short low pass shorter than its coarse step. A propagation error on
// the way ends the search: the passes found so far plus `error`.
PassSearch findPasses(const Propagator& propagator, const Station& station, double fromJd,
                      double toJd, double minElevationDeg);

} // namespace ravik::orbit
