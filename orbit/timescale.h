// Julian dates in UTC. UT1 is taken as UTC everywhere in the orbit code: the difference (under
// a second) moves a low satellite's look angles by far less than an antenna's beam width.
#pragma once

namespace ravik::orbit {

double julianDate(int year, int month, int day, int hour, int minute, double second);
struct CalendarTime {
    int year, month, day, hour, minute;
    double second;
};
CalendarTime calendarTime(double jd); // inverse of julianDate
double julianDateFromUnixSeconds(double unixSeconds);
double unixSecondsFromJulianDate(double jd);

constexpr double MinutesPerDay = 1440.0;
constexpr double SecondsPerDay = 86400.0;

} // namespace ravik::orbit
