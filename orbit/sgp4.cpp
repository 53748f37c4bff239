#include "sgp4.h"

#include "timescale.h"

namespace ravik::orbit {

struct OrbitModel {
    double epochJd = 0;
    bool deepSpace = false;
    OrbitError initError = OrbitError::None;
};

const char* describe(OrbitError error) {
    switch (error) {
    case OrbitError::None:
        return "no error";
    case OrbitError::MeanElements:
        return "the mean eccentricity is out of range";
    case OrbitError::MeanMotion:
        return "the mean motion is not positive";
    case OrbitError::PerturbedElements:
        return "the perturbed eccentricity is out of range";
    case OrbitError::SemiLatusRectum:
        return "the semi-latus rectum is negative";
    case OrbitError::Decayed:
        return "the satellite has decayed";
    }
    return "unknown error";
}

Propagator::Propagator(const Tle& tle) : model_(std::make_unique<OrbitModel>()) {
    model_->epochJd = tle.epochJd();
}
Propagator::~Propagator() = default;
Propagator::Propagator(const Propagator& other)
    : model_(std::make_unique<OrbitModel>(*other.model_)) {}
Propagator& Propagator::operator=(const Propagator& other) {
    if (this != &other)
        model_ = std::make_unique<OrbitModel>(*other.model_);
    return *this;
}
Propagator::Propagator(Propagator&&) noexcept = default;
Propagator& Propagator::operator=(Propagator&&) noexcept = default;

OrbitError Propagator::initError() const {
    return model_->initError;
}
bool Propagator::isDeepSpace() const {
    return model_->deepSpace;
}
double Propagator::epochJd() const {
    return model_->epochJd;
}
Propagation Propagator::propagate(double) const {
    return {};
}
Propagation Propagator::at(double jd) const {
    return propagate((jd - model_->epochJd) * MinutesPerDay);
}

} // namespace ravik::orbit
