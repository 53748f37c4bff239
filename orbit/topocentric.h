// From TEME to what an antenna needs: azimuth, elevation, range and range rate at a station.
#pragma once

#include "sgp4.h"

namespace ravik::orbit {

struct Station {
    double latitudeDeg = 0, longitudeDeg = 0, heightM = 0;
}; // WGS-84 geodetic, east +
struct LookAngles {
    double azimuthDeg = 0, elevationDeg = 0, rangeKm = 0, rangeRateKmS = 0;
    double elevationRateDegS = 0; // the pass search brackets culminations by its sign
};
struct SubPoint {
    double latitudeDeg = 0, longitudeDeg = 0, altitudeKm = 0;
};

double gmstRadians(double jdUt1); // IAU 1982
// Azimuth 0..360 from north through east; elevation above the geodetic horizon, no refraction.
LookAngles lookAngles(const Station& station, const StateVector& teme, double jd);
SubPoint subSatellitePoint(const StateVector& teme, double jd);

} // namespace ravik::orbit
