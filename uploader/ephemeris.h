#pragma once
#include <QString>
#include <cstdint>
#include <vector>

namespace ravik {

// One time-stamped pointing point of a pass, as the parsers read it from the file: date and time
// as written (no time-zone conversion, no range check), angles in whole degrees.
struct EphemerisPoint {
    int16_t Year = 0;
    int16_t Month = 0;
    int16_t Day = 0;
    int16_t Hour = 0;
    int16_t Minute = 0;
    int16_t Second = 0;
    int16_t Azimuth = 0;
    int16_t Elevation = 0;
};

// The points of one pass, in file order.
struct EphemerisTable {
    // The controller stores at most this many points; a parser stops reading once it has them.
    static constexpr std::size_t MaxPoints = 10001;
    std::vector<EphemerisPoint> Points;
    bool Loaded = false;
    QString PassFileName;
};

} // namespace ravik
