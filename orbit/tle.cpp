#include "tle.h"

#include "timescale.h"

namespace ravik::orbit {

double Tle::epochJd() const {
    return julianDate(epochYear, 1, 1, 0, 0, 0.0) + (epochDay - 1.0);
}

int tleChecksum(std::string_view line) {
    int sum = 0;
    for (std::size_t i = 0; i < line.size() && i < 68; ++i) {
        const char c = line[i];
        if (c >= '0' && c <= '9')
            sum += c - '0';
        else if (c == '-')
            sum += 1;
    }
    return sum % 10;
}

TleFile readTles(std::string_view) {
    return {};
}

std::optional<Tle> parseTle(std::string_view, std::string_view, bool, std::string*) {
    return std::nullopt;
}

const Tle* findSatellite(const std::vector<Tle>&, std::string_view) {
    return nullptr;
}

} // namespace ravik::orbit
