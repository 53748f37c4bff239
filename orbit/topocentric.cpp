#include "topocentric.h"

#include <cmath>
#include <numbers>

namespace ravik::orbit {

namespace {

constexpr double Pi = std::numbers::pi;
constexpr double DegToRad = Pi / 180.0;
constexpr double RadToDeg = 180.0 / Pi;
// WGS-84, the ellipsoid station coordinates are given on.
constexpr double EquatorKm = 6378.137;
constexpr double Flattening = 1.0 / 298.257223563;
constexpr double E2 = Flattening * (2.0 - Flattening);
constexpr double EarthRotationRadS = 7.292115146706979e-5;

using Vec = std::array<double, 3>;

// TEME to the earth-fixed frame by a rotation about the pole through GMST; polar motion left
// out (its few metres do not show in an antenna's pointing).
void temeToEarthFixed(const StateVector& teme, double jd, Vec& r, Vec& v) {
    const double g = gmstRadians(jd);
    const double c = std::cos(g), s = std::sin(g);
    const Vec& p = teme.positionKm;
    const Vec& u = teme.velocityKmS;
    r = {c * p[0] + s * p[1], -s * p[0] + c * p[1], p[2]};
    // The frame turns under the satellite: subtract omega x r.
    v = {c * u[0] + s * u[1] + EarthRotationRadS * r[1],
         -s * u[0] + c * u[1] - EarthRotationRadS * r[0], u[2]};
}

} // namespace

double gmstRadians(double jdUt1) {
    const double tut1 = (jdUt1 - 2451545.0) / 36525.0;
    const double seconds = -6.2e-6 * tut1 * tut1 * tut1 + 0.093104 * tut1 * tut1 +
                           (876600.0 * 3600.0 + 8640184.812866) * tut1 + 67310.54841;
    double theta = std::fmod(seconds * DegToRad / 240.0, 2.0 * Pi);
    if (theta < 0.0)
        theta += 2.0 * Pi;
    return theta;
}

LookAngles lookAngles(const Station& station, const StateVector& teme, double jd) {
    Vec r, v;
    temeToEarthFixed(teme, jd, r, v);

    const double lat = station.latitudeDeg * DegToRad;
    const double lon = station.longitudeDeg * DegToRad;
    const double sinLat = std::sin(lat), cosLat = std::cos(lat);
    const double sinLon = std::sin(lon), cosLon = std::cos(lon);
    const double n = EquatorKm / std::sqrt(1.0 - E2 * sinLat * sinLat);
    const double h = station.heightM / 1000.0;
    const Vec site = {(n + h) * cosLat * cosLon, (n + h) * cosLat * sinLon,
                      (n * (1.0 - E2) + h) * sinLat};
    const Vec d = {r[0] - site[0], r[1] - site[1], r[2] - site[2]};

    // East, north, up at the station, and their rates (the station is fixed in this frame).
    const double east = -sinLon * d[0] + cosLon * d[1];
    const double north = -sinLat * cosLon * d[0] - sinLat * sinLon * d[1] + cosLat * d[2];
    const double up = cosLat * cosLon * d[0] + cosLat * sinLon * d[1] + sinLat * d[2];
    const double eastRate = -sinLon * v[0] + cosLon * v[1];
    const double northRate = -sinLat * cosLon * v[0] - sinLat * sinLon * v[1] + cosLat * v[2];
    const double upRate = cosLat * cosLon * v[0] + cosLat * sinLon * v[1] + sinLat * v[2];

    LookAngles look;
    const double horizontal = std::hypot(east, north);
    look.rangeKm = std::sqrt(horizontal * horizontal + up * up);
    double azimuth = std::atan2(east, north) * RadToDeg;
    if (azimuth < 0.0)
        azimuth += 360.0;
    look.azimuthDeg = azimuth;
    look.elevationDeg = std::atan2(up, horizontal) * RadToDeg;
    if (look.rangeKm > 0.0)
        look.rangeRateKmS = (d[0] * v[0] + d[1] * v[1] + d[2] * v[2]) / look.rangeKm;
    if (horizontal > 0.0) {
        const double horizontalRate = (east * eastRate + north * northRate) / horizontal;
        look.elevationRateDegS =
            (horizontal * upRate - up * horizontalRate) / (look.rangeKm * look.rangeKm) * RadToDeg;
    }
    return look;
}

SubPoint subSatellitePoint(const StateVector& teme, double jd) {
    Vec r, v;
    temeToEarthFixed(teme, jd, r, v);
    const double p = std::hypot(r[0], r[1]);
    // Geodetic latitude by fixed-point iteration; converges to well under a metre in a few
    // steps for any height above the earth's centre region.
    double lat = std::atan2(r[2], p * (1.0 - E2));
    for (int i = 0; i < 6; ++i) {
        const double s = std::sin(lat);
        const double n = EquatorKm / std::sqrt(1.0 - E2 * s * s);
        lat = std::atan2(r[2] + E2 * n * s, p);
    }
    const double s = std::sin(lat);
    SubPoint point;
    point.latitudeDeg = lat * RadToDeg;
    point.longitudeDeg = std::atan2(r[1], r[0]) * RadToDeg;
    point.altitudeKm = p * std::cos(lat) + r[2] * s - EquatorKm * std::sqrt(1.0 - E2 * s * s);
    return point;
}

} // namespace ravik::orbit
