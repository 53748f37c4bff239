#pragma once
#include <QString>
#include <cstdint>
#include <vector>

namespace ravik {

// One time-stamped pointing point of a pass, as the parsers read it from the file: date and time
// as written (no time-zone conversion, no range check), angles in whole degrees.
struct EphemerisPoint {
    int16_t year = 0;
    int16_t month = 0;
    int16_t day = 0;
    int16_t hour = 0;
    int16_t minute = 0;
    int16_t second = 0;
    int16_t azimuth = 0;
    int16_t elevation = 0;
};

// The points of one pass, in file order.
struct EphemerisTable {
    // The controller stores at most this many points; a parser stops reading once it has them.
    static constexpr std::size_t MaxPoints = 10001;
    std::vector<EphemerisPoint> points;
    bool loaded = false;
    QString fileName;
};

} // namespace ravik
