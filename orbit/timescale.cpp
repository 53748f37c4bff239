#include "timescale.h"

#include <cmath>

namespace ravik::orbit {

namespace {
constexpr double UnixEpochJd = 2440587.5;
}

double julianDate(int year, int month, int day, int hour, int minute, double second) {
    // Fliegel and Van Flandern's day number, valid for every Gregorian date we meet.
    const int a = (14 - month) / 12;
    const int y = year + 4800 - a;
    const int m = month + 12 * a - 3;
    const long dayNumber = day + (153 * m + 2) / 5 + 365L * y + y / 4 - y / 100 + y / 400 - 32045;
    return static_cast<double>(dayNumber) - 0.5 +
           (hour * 3600.0 + minute * 60.0 + second) / SecondsPerDay;
}

CalendarTime calendarTime(double jd) {
    const double shifted = jd + 0.5;
    long dayNumber = static_cast<long>(std::floor(shifted));
    double seconds = (shifted - static_cast<double>(dayNumber)) * SecondsPerDay;
    // A Julian date near the present resolves about 40 microseconds: round to the millisecond,
    // so that a time built from whole seconds comes back whole.
    seconds = std::round(seconds * 1e3) / 1e3;
    if (seconds >= SecondsPerDay) {
        seconds -= SecondsPerDay;
        ++dayNumber;
    }
    const long a = dayNumber + 32044;
    const long b = (4 * a + 3) / 146097;
    const long c = a - 146097 * b / 4;
    const long d = (4 * c + 3) / 1461;
    const long e = c - 1461 * d / 4;
    const long m = (5 * e + 2) / 153;
    CalendarTime t{};
    t.day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
    t.month = static_cast<int>(m + 3 - 12 * (m / 10));
    t.year = static_cast<int>(100 * b + d - 4800 + m / 10);
    t.hour = static_cast<int>(seconds / 3600.0);
    seconds -= t.hour * 3600.0;
    t.minute = static_cast<int>(seconds / 60.0);
    t.second = seconds - t.minute * 60.0;
    return t;
}

double julianDateFromUnixSeconds(double unixSeconds) {
    return UnixEpochJd + unixSeconds / SecondsPerDay;
}

double unixSecondsFromJulianDate(double jd) {
    return (jd - UnixEpochJd) * SecondsPerDay;
}

} // namespace ravik::orbit
