#pragma once
#include <stdexcept>

namespace ravik {

// A run-time failure that travels up to the nearest handler that reports it to the operator
// (start-up, the send button, the point-to button). The text is a short reason for the details.
struct RunTimeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace ravik
