// The pass search walks forward in steps sized by how fast the satellite moves across the sky
// (a fixed angle of its orbit, so an eccentric orbit is stepped finely at perigee and coarsely at
// apogee). Culminations are bracketed by the sign of the elevation rate, not by samples above
// the horizon, so a pass shorter than a step is still seen: every maximum of elevation that could
// reach the horizon is refined. Horizon crossings are then refined to a millisecond.
#include "passes.h"

#include "timescale.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace ravik::orbit {

namespace {

constexpr double StepAngleRad = 15.0 * std::numbers::pi / 180.0;
constexpr double EarthRotationRadS = 7.292115146706979e-5;
constexpr double MinStepS = 10.0;
constexpr double MaxStepS = 1200.0;
constexpr double CrossingToleranceS = 1e-3;
constexpr double CulminationToleranceS = 0.01;
// A maximum whose estimate stays this far below the horizon cannot be a pass: the cubic through
// the step's ends is good to far better than this over 15 degrees of orbit.
constexpr double HopelessElevationDeg = -5.0;
// How far before fromJd and after toJd a pass is followed to its rise and set; a satellite
// that stays up longer (geostationary) gets those limits as its AOS and LOS.
constexpr double PassLimitDays = 2.0;

struct Sample {
    double jd = 0;
    double el = 0;   // degrees
    double rate = 0; // degrees per second
    double az = 0;
    double stepS = 0; // the step to take from here
};

class Sampler {
public:
    Sampler(const Propagator& propagator, const Station& station)
        : propagator_(propagator), station_(station) {}

    std::optional<Sample> at(double jd) {
        ++count;
        const Propagation p = propagator_.at(jd);
        if (p.error != OrbitError::None) {
            error = p.error;
            return std::nullopt;
        }
        const LookAngles look = lookAngles(station_, p.state, jd);
        const auto& r = p.state.positionKm;
        const auto& v = p.state.velocityKmS;
        const double cx = r[1] * v[2] - r[2] * v[1];
        const double cy = r[2] * v[0] - r[0] * v[2];
        const double cz = r[0] * v[1] - r[1] * v[0];
        const double r2 = r[0] * r[0] + r[1] * r[1] + r[2] * r[2];
        const double angularRate = std::sqrt(cx * cx + cy * cy + cz * cz) / r2 + EarthRotationRadS;
        return Sample{jd, look.elevationDeg, look.elevationRateDegS, look.azimuthDeg,
                      std::clamp(StepAngleRad / angularRate, MinStepS, MaxStepS)};
    }

    OrbitError error = OrbitError::None;
    int count = 0;

private:
    const Propagator& propagator_;
    const Station& station_;
};

// Where value() changes sign between a and b (regula falsi, Illinois variant, kept from creeping
// by never stepping closer than half the tolerance to an end).
template <class Value>
std::optional<Sample> refine(Sampler& sampler, Sample a, Sample b, Value value, double tolS) {
    const double tol = tolS / SecondsPerDay;
    double fa = value(a), fb = value(b);
    int kept = 0;
    for (int i = 0; i < 100 && b.jd - a.jd > tol; ++i) {
        double x = fb != fa ? (a.jd * fb - b.jd * fa) / (fb - fa) : 0.5 * (a.jd + b.jd);
        x = std::clamp(x, a.jd + 0.5 * tol, b.jd - 0.5 * tol);
        if (!(x > a.jd && x < b.jd))
            x = 0.5 * (a.jd + b.jd);
        const auto m = sampler.at(x);
        if (!m)
            return std::nullopt;
        const double fm = value(*m);
        if (fm == 0.0)
            return m;
        if ((fm < 0.0) == (fa < 0.0)) {
            a = *m;
            fa = fm;
            if (kept == 1)
                fb *= 0.5;
            kept = 1;
        } else {
            b = *m;
            fb = fm;
            if (kept == -1)
                fa *= 0.5;
            kept = -1;
        }
    }
    return std::fabs(value(a)) < std::fabs(value(b)) ? a : b;
}

// The cubic through both ends' elevations and rates: the position (0..1) of its maximum inside
// the step and the elevation there, when it has one.
std::optional<std::pair<double, double>> cubicMaximum(const Sample& a, const Sample& b) {
    const double h = (b.jd - a.jd) * SecondsPerDay;
    const double p0 = a.el, p1 = b.el, m0 = a.rate * h, m1 = b.rate * h;
    // p'(s) = qa s^2 + qb s + qc
    const double qa = 6.0 * p0 + 3.0 * m0 - 6.0 * p1 + 3.0 * m1;
    const double qb = -6.0 * p0 - 4.0 * m0 + 6.0 * p1 - 2.0 * m1;
    const double qc = m0;
    auto valueAt = [&](double s) {
        const double s2 = s * s, s3 = s2 * s;
        return (2 * s3 - 3 * s2 + 1) * p0 + (s3 - 2 * s2 + s) * m0 + (-2 * s3 + 3 * s2) * p1 +
               (s3 - s2) * m1;
    };
    double roots[2];
    int count = 0;
    if (std::fabs(qa) < 1e-12) {
        if (qb != 0.0)
            roots[count++] = -qc / qb;
    } else {
        const double disc = qb * qb - 4.0 * qa * qc;
        if (disc >= 0.0) {
            const double sq = std::sqrt(disc);
            roots[count++] = (-qb - sq) / (2.0 * qa);
            roots[count++] = (-qb + sq) / (2.0 * qa);
        }
    }
    for (int i = 0; i < count; ++i) {
        const double s = roots[i];
        if (s > 0.0 && s < 1.0 && 2.0 * qa * s + qb < 0.0)
            return std::make_pair(s, valueAt(s));
    }
    return std::nullopt;
}

// The highest point between a and b, when the elevation has a maximum there that could matter.
// `needed` is false when the step is below the horizon by too much for any pass to hide in it.
std::optional<Sample> maximumBetween(Sampler& sampler, const Sample& a, const Sample& b,
                                     bool& failed) {
    failed = false;
    const auto cubic = cubicMaximum(a, b);
    Sample left = a, right = b;
    if (a.rate > 0.0 && b.rate <= 0.0) {
        // bracketed by the ends
    } else if (cubic) {
        // Both ends rise (or both fall) yet the cubic turns over: look where it says.
        const auto probe = sampler.at(a.jd + cubic->first * (b.jd - a.jd));
        if (!probe) {
            failed = true;
            return std::nullopt;
        }
        if (a.rate > 0.0 && probe->rate <= 0.0)
            right = *probe;
        else if (probe->rate > 0.0 && b.rate <= 0.0)
            left = *probe;
        else
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    const double estimate = cubic ? cubic->second : std::max(a.el, b.el);
    if (std::max({a.el, b.el, estimate}) < HopelessElevationDeg)
        return std::nullopt;
    const auto peak = refine(
        sampler, left, right, [](const Sample& s) { return -s.rate; }, CulminationToleranceS);
    failed = !peak;
    return peak;
}

} // namespace

PassSearch findPasses(const Propagator& propagator, const Station& station, double fromJd,
                      double toJd, double minElevationDeg) {
    PassSearch result;
    if (propagator.initError() != OrbitError::None) {
        result.error = propagator.initError();
        return result;
    }
    Sampler sampler(propagator, station);
    auto finish = [&]() {
        result.error = sampler.error;
        result.propagations = sampler.count;
        return result;
    };
    auto start = sampler.at(fromJd);
    if (!start)
        return finish();
    Sample prev = *start;
    // A pass in progress: go back to before its rise so that it is found whole.
    while (prev.el >= 0.0 && prev.jd > fromJd - PassLimitDays) {
        const auto earlier = sampler.at(prev.jd - prev.stepS / SecondsPerDay);
        if (!earlier)
            return finish();
        prev = *earlier;
    }

    bool inPass = prev.el >= 0.0;
    Pass pass;
    Sample best = prev;
    if (inPass) {
        pass.aosJd = prev.jd;
        pass.aosAzimuthDeg = prev.az;
    }
    auto close = [&](const Sample& los) {
        pass.losJd = los.jd;
        pass.losAzimuthDeg = los.az;
        pass.culminationJd = best.jd;
        pass.maxElevationDeg = best.el;
        inPass = false;
        if (pass.maxElevationDeg >= minElevationDeg && pass.losJd > fromJd && pass.aosJd < toJd)
            result.passes.push_back(pass);
    };
    auto crossing = [&](const Sample& a, const Sample& b) {
        return refine(
            sampler, a, b, [](const Sample& s) { return s.el; }, CrossingToleranceS);
    };
    // Rise, culmination and set within one stretch where the elevation is monotonic.
    auto stretch = [&](const Sample& a, const Sample& b) {
        if (!inPass && a.el < 0.0 && b.el >= 0.0) {
            const auto aos = crossing(a, b);
            if (!aos)
                return false;
            pass = Pass{};
            pass.aosJd = aos->jd;
            pass.aosAzimuthDeg = aos->az;
            best = *aos;
            inPass = true;
        }
        if (inPass && b.el > best.el)
            best = b;
        if (inPass && a.el >= 0.0 && b.el < 0.0) {
            const auto los = crossing(a, b);
            if (!los)
                return false;
            close(*los);
        }
        return true;
    };

    for (;;) {
        if (!inPass && prev.jd >= toJd)
            break;
        if (inPass && prev.jd >= toJd + PassLimitDays) {
            close(prev);
            break;
        }
        const auto cur = sampler.at(prev.jd + prev.stepS / SecondsPerDay);
        if (!cur)
            return finish();
        bool failed = false;
        const auto peak = maximumBetween(sampler, prev, *cur, failed);
        if (failed)
            return finish();
        if (peak) {
            if (!stretch(prev, *peak) || !stretch(*peak, *cur))
                return finish();
        } else if (!stretch(prev, *cur)) {
            return finish();
        }
        prev = *cur;
    }
    return finish();
}

} // namespace ravik::orbit
