// Two-line element sets: the text form every orbital data source publishes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ravik::orbit {

struct Tle {
    std::string name; // the name line (trimmed; a leading "0 " removed); empty for 2-line sets
    int catalogNumber = 0;
    int epochYear = 0;         // four digits (two-digit 57..99 -> 19xx, else 20xx)
    double epochDay = 0;       // day of year with fraction, 1.0 = 1 Jan 00:00 UTC
    double meanMotionDot = 0;  // as written (rev/day^2 / 2)
    double meanMotionDdot = 0; // with implied decimal point and exponent (rev/day^3 / 6)
    double bstar = 0;          // with implied decimal point and exponent (1/earth radii)
    double inclinationDeg = 0, raanDeg = 0, eccentricity = 0, argPerigeeDeg = 0, meanAnomalyDeg = 0,
           meanMotionRevPerDay = 0;
    double epochJd() const; // Julian date of the epoch, UTC
};
struct TleReadError {
    int line = 0; // 1-based line in the file
    std::string reason;
};
struct TleFile {
    std::vector<Tle> sets;
    std::optional<TleReadError> error;
};

// 2- and 3-line sets (many per file), Gpredict .sat (NAME=, TLE1=, TLE2=), CR LF or LF.
// Checksums enforced; a set that fails gives `error` naming its line. `sets` holds every set
// that could be read, `error` the first that could not; a file without any set gets an error
// with line 0.
TleFile readTles(std::string_view text);
// One set from its two lines (no checksum check when `checkChecksums` is false); nullopt and
// `why` set when a field cannot be read.
std::optional<Tle> parseTle(std::string_view line1, std::string_view line2, bool checkChecksums,
                            std::string* why = nullptr);
// By exact name, or by catalogue number when `key` is all digits. nullptr when absent.
const Tle* findSatellite(const std::vector<Tle>& sets, std::string_view key);

// The TLE checksum of a line's first 68 columns: digits count their value, '-' counts 1.
int tleChecksum(std::string_view line);

} // namespace ravik::orbit
