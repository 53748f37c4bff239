#include "utcclock.h"
#include "commands.h"
#include <QTimeZone>

namespace ravik {

TimeZoneInfo SystemTimeZone::query() const {
    return zoneInfoAt(QTimeZone::systemTimeZone(), QDateTime::currentDateTimeUtc());
}

TimeZoneInfo zoneInfoAt(const QTimeZone& zone, const QDateTime& now) {
    if (!zone.isValid())
        return {0, 0, 60};
    const int standard = zone.standardTimeOffset(now);
    const bool daylight = zone.isDaylightTime(now);
    // The offset in force now, so a daylight saving of other than an hour comes out exact.
    const int daylightMinutes = daylight ? (zone.offsetFromUtc(now) - standard) / 60 : 60;
    return {daylight ? 2u : 1u, -standard / 60, daylightMinutes};
}

double computeUtcOffset(const TimeZoneInfo& zone) {
    if (zone.result == 0)
        return 0;
    const int correction = zone.result == 2 ? -zone.daylightMinutes : 0;
    return zone.bias + correction;
}

QString offsetLine(const TimeZoneInfo& zone) {
    if (zone.result == 0)
        return QStringLiteral("Couldn't determine UTC time offset\r\n");
    const double hours = computeUtcOffset(zone) / 60.0;
    return QStringLiteral("Time Zone offset = ") + QString::number(hours, 'g', 15) +
           QStringLiteral(" hours\r\n");
}

QString formatUtc(const QDateTime& utc) {
    return utc.toUTC().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

QByteArray timeSetCommand(const QDateTime& utc) {
    return toBytes(TimeSetPrefix) + formatUtc(utc).toLatin1() + DataTerminator;
}

} // namespace ravik
