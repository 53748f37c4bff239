// SGP4/SDP4 (Spacetrack Report No. 3 as revised in "Revisiting Spacetrack Report #3", 2006):
// WGS-72 constants, the "improved" operation mode. Positions and velocities are in TEME.
#pragma once

#include "tle.h"

#include <array>
#include <memory>

namespace ravik::orbit {

enum class OrbitError {
    None = 0,
    MeanElements = 1,
    MeanMotion = 2,
    PerturbedElements = 3,
    SemiLatusRectum = 4,
    Decayed = 6
};
const char* describe(OrbitError error); // one short English reason

struct StateVector {
    std::array<double, 3> positionKm{}, velocityKmS{};
}; // TEME
struct Propagation {
    StateVector state;
    OrbitError error = OrbitError::None;
};

struct OrbitModel; // the elements after initialisation

class Propagator {
public:
    explicit Propagator(const Tle& tle);
    ~Propagator();
    Propagator(const Propagator& other);
    Propagator& operator=(const Propagator& other);
    Propagator(Propagator&&) noexcept;
    Propagator& operator=(Propagator&&) noexcept;

    OrbitError initError() const; // None when the elements are usable
    bool isDeepSpace() const;
    double epochJd() const;
    Propagation propagate(double minutesSinceEpoch) const;
    Propagation at(double jd) const; // jd in UTC

private:
    std::unique_ptr<OrbitModel> model_;
};

} // namespace ravik::orbit
