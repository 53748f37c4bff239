#include "passes.h"

namespace ravik::orbit {

PassSearch findPasses(const Propagator&, const Station&, double, double, double) {
    return {};
}

} // namespace ravik::orbit
