#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTimeZone>

namespace ravik {

// What the system's time-zone query tells: result 0 unknown, 1 standard time, 2 daylight time
// (any other value: the query failed). `Bias` is minus the standard offset in minutes, so
// UTC = local standard time + Bias; `DaylightMinutes` is how far daylight time moves the clock.
struct TimeZoneInfo {
    quint32 result = 0;
    int bias = 0;
    int daylightMinutes = 60;
};

class TimeZoneQuery {
public:
    virtual ~TimeZoneQuery() = default;
    virtual TimeZoneInfo query() const = 0;
};

// What `zone` tells at the moment `utc`: daylight saving counts as much as it moves the clock
// there then (30 minutes on Lord Howe Island), not a fixed hour.
TimeZoneInfo zoneInfoAt(const QTimeZone& zone, const QDateTime& utc);

// The system time zone through QTimeZone, at the present moment.
class SystemTimeZone : public TimeZoneQuery {
public:
    TimeZoneInfo query() const override;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime nowUtc() const = 0;
};

class SystemClock : public Clock {
public:
    QDateTime nowUtc() const override { return QDateTime::currentDateTimeUtc(); }
};

// Minutes to add to local time to get UTC (positive west of Greenwich); 0 when unknown.
double computeUtcOffset(const TimeZoneInfo& zone);
// The start-up line: "Time Zone offset = 4 hours" or "Couldn't determine UTC time offset", CR LF.
QString offsetLine(const TimeZoneInfo& zone);
// "yyyy/mm/dd HH:mm:ss"
QString formatUtc(const QDateTime& utc);
// The time-set command: "T", the time as above, CR (21 bytes).
QByteArray timeSetCommand(const QDateTime& utc);

} // namespace ravik
