#include "novawriter.h"
#include "parsers.h"
#include <QBuffer>
#include <QDateTime>
#include <array>
#include <cmath>

namespace ravik {
namespace {

const std::array<const char*, 7> DayNames{"Monday", "Tuesday",  "Wednesday", "Thursday",
                                          "Friday", "Saturday", "Sunday"};
const std::array<const char*, 12> MonthNameList{"January",   "February", "March",    "April",
                                                "May",       "June",     "July",     "August",
                                                "September", "October",  "November", "December"};

QDateTime Utc(qint64 seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

// Right-aligned in `width`, without the "-0.0" a value just below zero would print as.
QByteArray Fixed(double value, int width, int decimals) {
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0.0)
        rounded = 0.0; // drops the sign of -0
    // at least one blank before it, however wide the number: columns never run together
    return ' ' + QByteArray::number(rounded, 'f', decimals).rightJustified(width - 1, ' ');
}

// Azimuth to a tenth of a degree in 0.0 to 359.9: 359.96 would otherwise print as 360.0.
double CompassTenths(double azimuthDeg) {
    double a = std::round(azimuthDeg * 10.0) / 10.0;
    a = std::fmod(a, 360.0);
    return a < 0 ? a + 360.0 : a;
}

// "===== UT date Tuesday, December 8, 2026 =====": the parser takes the month, day and year from
// the last three words; "UT" makes the line count as Nova in the format detection.
QByteArray DateMarker(const QDate& date) {
    return QByteArray("===== UT date ") + DayNames[size_t(date.dayOfWeek() - 1)] + ", " +
           MonthNameList[size_t(date.month() - 1)] + ' ' + QByteArray::number(date.day()) + ", " +
           QByteArray::number(date.year()) + " =====\r\n";
}

} // namespace

QByteArray novaPassText(const QString& title, const std::vector<PassLine>& lines) {
    QByteArray text = title.toLatin1() + "\r\n";
    QDate date;
    for (const PassLine& line : lines) {
        const QDateTime t = Utc(line.utcSeconds);
        if (t.date() != date) {
            text += DateMarker(t.date());
            if (!date.isValid())
                text += "UT         Azim   Elev    Range   RRate    SLat    SLon     Alt\r\n";
            date = t.date();
        }
        text += t.time().toString(QStringLiteral("HH:mm:ss")).toLatin1() +
                Fixed(CompassTenths(line.azimuthDeg), 8, 1) + Fixed(line.elevationDeg, 7, 1) +
                Fixed(line.rangeKm, 9, 1) + Fixed(line.rangeRateKmS, 8, 3) +
                Fixed(line.latitudeDeg, 8, 2) + Fixed(line.longitudeDeg, 8, 2) +
                Fixed(line.altitudeKm, 8, 1) + "\r\n";
    }
    return text;
}

QString passFileName(const QString& satellite, qint64 aosUtcSeconds) {
    QString name = satellite;
    for (QChar& c : name) {
        const char16_t u = c.unicode();
        const bool kept = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                          (u >= '0' && u <= '9') || u == '-' || u == '(' || u == ')' || u == '.';
        if (!kept)
            c = QLatin1Char('_');
    }
    return name + QLatin1Char('-') +
           Utc(aosUtcSeconds).toString(QStringLiteral("yyyyMMdd-HHmmss")) + QStringLiteral(".out");
}

PassFormat loadPassText(const QByteArray& text, EphemerisTable& table) {
    TokenList tokens;
    MonthNames monthNames;
    FillMonthNameTable(monthNames);
    table.Loaded = false;
    QBuffer detectBuffer;
    detectBuffer.setData(text);
    detectBuffer.open(QIODevice::ReadOnly);
    LineReader detectReader(detectBuffer);
    const PassFormat format = DetectFormat(detectReader, tokens).format;
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer);
    if (format == PassFormat::InstantTrack)
        Parse_InstantTrack(reader, tokens, table);
    else if (format == PassFormat::Nova)
        Parse_Nova(reader, tokens, table, monthNames);
    return format;
}

} // namespace ravik
