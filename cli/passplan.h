#pragma once
#include "novawriter.h"
#include "topocentric.h"
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace ravik {

// The exit statuses of ravik-pass, and of ravik-upload --tle where it computes passes.
enum PassStatus : int {
    PassesOk = 0,
    SatelliteUnusable = 1, // not in the file, or the propagator refuses its elements
    TleUnreadable = 2,     // the file cannot be read, holds no valid set, or fails a checksum
    PassUsageError = 64,
};

// The station from "LAT,LON[,HEIGHT_M]": decimal degrees, north and east positive, metres.
std::optional<orbit::Station> parseStation(const QString& text, QString* why);
// The station from a Gpredict .qth file: ini-like, keys LAT, LON (east positive) and ALT
// (metres, optional).
std::optional<orbit::Station> parseQth(const QByteArray& text, QString* why);
// --qth: a .qth file when the text names one (or ends in ".qth"), else the numbers.
std::optional<orbit::Station> readStation(const QString& arg, QString* why);

// "YYYY-MM-DD HH:MM:SS" in UTC, as seconds since 1970; nullopt when it is no such time.
std::optional<qint64> parseUtc(const QString& text);
// The same form back.
QString formatUtc(qint64 utcSeconds);

struct PassRequest {
    QString satellite; // the name as written, or the catalogue number
    orbit::Station station;
    qint64 fromUtc = 0;
    double hours = 24;
    double minElevationDeg = 0;
    int stepSeconds = 10;
};

// The antenna turns to the AOS azimuth at elevation 0 this long before AOS, so that it is
// there when the satellite rises instead of slewing while the pass has begun.
constexpr int EarlyAosSeconds = 60;

struct PlannedPass {
    qint64 aos = 0, culmination = 0, los = 0; // whole seconds, UTC, rounded to nearest
    double aosAzimuthDeg = 0, maxElevationDeg = 0, losAzimuthDeg = 0;
    std::vector<PassLine> lines; // the early line, then AOS, every step, LOS
    QString fileName;            // passFileName()
    QByteArray text;             // the pass file
};

struct PassPlan {
    int status = PassesOk;
    QString error;     // one line saying why, when status is not 0
    QString satellite; // the set's name, or its catalogue number when it has none
    int catalogNumber = 0;
    double epochJd = 0;
    double ageDays = 0;              // from the TLE epoch to --from
    std::vector<PlannedPass> passes; // in time order; those found before an error too
};

// Finds the satellite in the TLE (or Gpredict .sat) text and plans its passes over the station
// in [from, from + hours]: a pass in progress at `from` comes whole, from its AOS.
PassPlan planPasses(const QByteArray& tleText, const PassRequest& request);

} // namespace ravik
