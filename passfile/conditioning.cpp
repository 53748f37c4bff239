#include "conditioning.h"
#include "errors.h"
#include "numbers.h"
#include <QString>
#include <algorithm>
#include <cmath>
#include <string>

namespace ravik {
namespace {

int16_t onGrid(int16_t angle, int index, const char* field) {
    // Whole degrees divided by 5 never end in an exact half, so the rounding mode hardly matters;
    // nearbyint keeps halves to even all the same.
    const double value = 5.0 * std::nearbyint(angle / 5.0);
    try {
        return roundToInt16(value);
    } catch (const RunTimeError&) {
        throw RunTimeError(QStringLiteral("point %1: %2 %3 leaves the 5-degree grid's range")
                               .arg(index)
                               .arg(QLatin1StringView(field))
                               .arg(angle)
                               .toStdString());
    }
}

void appendPadded(std::string& out, int value) {
    const std::string text = std::to_string(value);
    if (text.size() < 2) {
        out += '0';
    }
    out += text;
}

} // namespace

void conditionTable(EphemerisTable& table) {
    float previous = -1.0f;
    for (std::size_t i = 0; i < table.points.size(); ++i) {
        EphemerisPoint& p = table.points[i];
        const double t = p.minute / 60.0 + p.hour + p.second / 3600.0;
        // Compared at single precision, as the time of day is kept between points.
        const float time = static_cast<float>(t);
        if (time == previous) {
            p.second = 30;
        }
        p.azimuth = onGrid(p.azimuth, int(i), "azimuth");
        p.elevation = onGrid(p.elevation, int(i), "elevation");
        previous = time;
    }
}

QByteArray formatEphemerisLine(const EphemerisTable& table, int index) {
    const EphemerisPoint& p = table.points.at(static_cast<size_t>(index));
    std::string line;
    line.reserve(32);
    appendPadded(line, p.year);
    line += '/';
    appendPadded(line, p.month);
    line += '/';
    appendPadded(line, p.day);
    line += ' ';
    appendPadded(line, p.hour);
    line += ':';
    appendPadded(line, p.minute);
    line += ':';
    appendPadded(line, p.second);
    line += ' ';
    line += std::to_string(p.azimuth);
    line += ' ';
    line += std::to_string(p.elevation);
    line += '\r';
    return QByteArray(line.data(), static_cast<qsizetype>(line.size()));
}

std::vector<int> pointsToSend(const EphemerisTable& table) {
    std::vector<int> sent;
    const int count = int(table.points.size());
    int16_t lastAzimuth = 0;
    int16_t lastElevation = 0;
    if (count > 0 && table.points[0].elevation >= 0) {
        sent.push_back(0);
        lastAzimuth = table.points[0].azimuth;
        lastElevation = table.points[0].elevation;
    }
    for (int i = 1; i < count; ++i) {
        const EphemerisPoint& p = table.points[i];
        if (p.elevation < 0 || (p.azimuth == lastAzimuth && p.elevation == lastElevation)) {
            continue;
        }
        sent.push_back(i);
        lastAzimuth = p.azimuth;
        lastElevation = p.elevation;
    }
    return sent;
}

std::vector<QByteArray> prepareUploadLines(EphemerisTable& table) {
    conditionTable(table);
    std::vector<QByteArray> lines;
    for (int index : pointsToSend(table))
        lines.push_back(formatEphemerisLine(table, index));
    return lines;
}

} // namespace ravik
