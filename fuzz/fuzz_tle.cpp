// libFuzzer target: any bytes as a TLE or Gpredict .sat file, through the reader, the propagator
// and a short pass search. A finding is a crash, a sanitizer report, or a result the interface
// rules out: a NaN where no error was reported, passes out of order.
#include "passes.h"
#include "tle.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

using namespace ravik::orbit;

void check(bool ok) {
    if (!ok)
        __builtin_trap();
}

bool finite(const StateVector& s) {
    for (int i = 0; i < 3; ++i)
        if (!std::isfinite(s.positionKm[i]) || !std::isfinite(s.velocityKmS[i]))
            return false;
    return true;
}

// The propagator and the pass search on whatever elements a set holds.
void propagate(const Tle& tle) {
    const Propagator propagator(tle);
    for (double minutes : {0.0, 90.0, -1440.0, 10080.0}) {
        const Propagation p = propagator.propagate(minutes);
        check(finite(p.state));
        if (p.error == OrbitError::None) {
            const LookAngles look = lookAngles(Station{45, 10, 100}, p.state, 2461000.5);
            check(std::isfinite(look.azimuthDeg) && std::isfinite(look.elevationDeg));
        }
    }
    if (propagator.initError() != OrbitError::None)
        return;
    const double from = propagator.epochJd();
    const PassSearch search = findPasses(propagator, Station{45, 10, 100}, from, from + 0.25, 0);
    for (const Pass& pass : search.passes) {
        check(pass.aosJd <= pass.culminationJd && pass.culminationJd <= pass.losJd);
        check(std::isfinite(pass.maxElevationDeg) && pass.maxElevationDeg >= 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TleFile file = readTles(text);
    check(!file.sets.empty() || file.error);
    for (const Tle& tle : file.sets) {
        check(tle.name.find_first_of("\r\n") == std::string::npos);
        check(findSatellite(file.sets, std::to_string(tle.catalogNumber)) != nullptr);
        propagate(tle);
    }
    // The first two lines as a set without checksums, so that mutated elements reach the
    // propagator instead of stopping at the checksum.
    const std::size_t end1 = text.find('\n');
    if (end1 != std::string_view::npos) {
        const std::string_view rest = text.substr(end1 + 1);
        if (const auto tle = parseTle(text.substr(0, end1), rest.substr(0, rest.find('\n')), false))
            propagate(*tle);
    }
    return 0;
}
