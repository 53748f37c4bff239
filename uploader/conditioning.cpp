#include "conditioning.h"
#include "errors.h"
#include "numbers.h"
#include <QString>
#include <algorithm>
#include <cmath>
#include <string>

namespace ravik {
namespace {

int16_t OnGrid(int16_t angle, int index, const char* field) {
    // Whole degrees divided by 5 never end in an exact half, so the rounding mode hardly matters;
    // nearbyint keeps halves to even all the same.
    const double value = 5.0 * std::nearbyint(angle / 5.0);
    try {
        return RoundToInt16(value);
    } catch (const RunTimeError&) {
        throw RunTimeError(QStringLiteral("point %1: %2 %3 leaves the 5-degree grid's range")
                               .arg(index)
                               .arg(QLatin1StringView(field))
                               .arg(angle)
                               .toStdString());
    }
}

void AppendPadded(std::string& out, int value) {
    const std::string text = std::to_string(value);
    if (text.size() < 2) {
        out += '0';
    }
    out += text;
}

} // namespace

void ConditionTable(EphemerisTable& table) {
    float previous = -1.0f;
    for (std::size_t i = 0; i < table.Points.size(); ++i) {
        EphemerisPoint& p = table.Points[i];
        const double t = p.Minute / 60.0 + p.Hour + p.Second / 3600.0;
        // Compared at single precision, as the time of day is kept between points.
        const float time = static_cast<float>(t);
        if (time == previous) {
            p.Second = 30;
        }
        p.Azimuth = OnGrid(p.Azimuth, int(i), "azimuth");
        p.Elevation = OnGrid(p.Elevation, int(i), "elevation");
        previous = time;
    }
}

QByteArray FormatEphemerisLine(const EphemerisTable& table, int index) {
    const EphemerisPoint& p = table.Points.at(static_cast<size_t>(index));
    std::string line;
    line.reserve(32);
    AppendPadded(line, p.Year);
    line += '/';
    AppendPadded(line, p.Month);
    line += '/';
    AppendPadded(line, p.Day);
    line += ' ';
    AppendPadded(line, p.Hour);
    line += ':';
    AppendPadded(line, p.Minute);
    line += ':';
    AppendPadded(line, p.Second);
    line += ' ';
    line += std::to_string(p.Azimuth);
    line += ' ';
    line += std::to_string(p.Elevation);
    line += '\r';
    return QByteArray(line.data(), static_cast<qsizetype>(line.size()));
}

std::vector<int> PointsToSend(const EphemerisTable& table) {
    std::vector<int> sent;
    const int count = int(table.Points.size());
    int16_t lastAzimuth = 0;
    int16_t lastElevation = 0;
    if (count > 0 && table.Points[0].Elevation >= 0) {
        sent.push_back(0);
        lastAzimuth = table.Points[0].Azimuth;
        lastElevation = table.Points[0].Elevation;
    }
    for (int i = 1; i < count; ++i) {
        const EphemerisPoint& p = table.Points[i];
        if (p.Elevation < 0 || (p.Azimuth == lastAzimuth && p.Elevation == lastElevation)) {
            continue;
        }
        sent.push_back(i);
        lastAzimuth = p.Azimuth;
        lastElevation = p.Elevation;
    }
    return sent;
}

std::vector<QByteArray> PrepareUploadLines(EphemerisTable& table) {
    ConditionTable(table);
    std::vector<QByteArray> lines;
    for (int index : PointsToSend(table))
        lines.push_back(FormatEphemerisLine(table, index));
    return lines;
}

} // namespace ravik
