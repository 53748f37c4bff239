#include "topocentric.h"

namespace ravik::orbit {

double gmstRadians(double) {
    return 0;
}
LookAngles lookAngles(const Station&, const StateVector&, double) {
    return {};
}
SubPoint subSatellitePoint(const StateVector&, double) {
    return {};
}

} // namespace ravik::orbit
