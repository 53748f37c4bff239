// The TLE reader: the fields' encodings, file layouts, and every way a file can be refused.
#include "orbits.h"
#include "timescale.h"
#include "tle.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace ravik::orbit;
using namespace ravik::orbit::testing;

namespace {

const std::string Iss1 = Orbits[0].line1, Iss2 = Orbits[0].line2;
const std::string Molniya1 = Orbits[2].line1, Molniya2 = Orbits[2].line2;

// Fields that come in several spellings, each put into the ISS set (checksums not checked):
// (line, column, text, field, value).
TEST(Tle, FieldsAreReadAsWritten) {
    const std::tuple<int, int, const char*, double Tle::*, double> rows[] = {
        {0, 54, " 12345-3", &Tle::bstar, 0.12345e-3},
        {0, 54, "-12345+1", &Tle::bstar, -1.2345},
        {0, 54, "        ", &Tle::bstar, 0.0},
        {0, 45, "-30915-6", &Tle::meanMotionDdot, -0.30915e-6},
        {0, 34, " .99999999", &Tle::meanMotionDot, 0.99999999},
        {1, 27, "9950000", &Tle::eccentricity, 0.995}};
    for (const auto& [line, column, text, field, value] : rows) {
        std::string lines[2] = {Iss1, Iss2};
        lines[line].replace(column - 1, std::strlen(text), text);
        const auto tle = parseTle(lines[0], lines[1], false);
        ASSERT_TRUE(tle) << lines[line];
        EXPECT_DOUBLE_EQ((*tle).*field, value) << text;
    }
}

// The verification table checks every field through the propagator; here the epoch's encoding:
// two-digit years from 57 are the 1900s. An alpha-5 catalogue number's letter counts from 10.
TEST(Tle, EpochsAndCatalogueNumbers) {
    // Day 264.51782528 of 2008 (a leap year) is 20 September, 12:25:40.104 UTC.
    EXPECT_NEAR(parseTle(Iss1, Iss2, true)->epochJd(), julianDate(2008, 9, 20, 12, 25, 40.104192),
                1e-8);
    for (auto [yy, year] : {std::pair{"57", 1957}, {"99", 1999}, {"00", 2000}, {"56", 2056}}) {
        std::string line1 = Iss1;
        EXPECT_EQ(parseTle(line1.replace(18, 2, yy), Iss2, false)->epochYear, year) << yy;
    }
    std::string line1 = Iss1, line2 = Iss2;
    EXPECT_EQ(
        parseTle(line1.replace(2, 5, "B1234"), line2.replace(2, 5, "B1234"), false)->catalogNumber,
        111234);
}

TEST(Tle, ReadsTwoAndThreeLineSetsAndGpredictFilesWithEitherLineEnd) {
    const std::string threeLine = "0 ISS (ZARYA)  \r\n" + Iss1 + "\r\n" + Iss2 + "\r\n\r\n" +
                                  Molniya1 + "\r\n" + Molniya2 + "\r\n";
    const TleFile file = readTles(threeLine);
    ASSERT_FALSE(file.error) << file.error->reason;
    ASSERT_EQ(file.sets.size(), 2u);
    EXPECT_EQ(std::pair(file.sets[0].name, file.sets[1].name),
              std::pair(std::string("ISS (ZARYA)"), std::string()));
    // by name or by number, whole
    EXPECT_EQ(std::tuple(findSatellite(file.sets, "ISS (ZARYA)"), findSatellite(file.sets, "23420"),
                         findSatellite(file.sets, "ISS"), findSatellite(file.sets, "99999")),
              std::tuple(&file.sets[0], &file.sets[1], nullptr, nullptr));

    const std::string sat =
        "[Satellite]\nVERSION=1.1\nNAME=MOLNIYA 1-T\nNICKNAME=M1\nTLE1=" + Molniya1 +
        "\nTLE2=" + Molniya2 + "\nSTATUS=0\n";
    const TleFile gpredict = readTles(sat);
    ASSERT_FALSE(gpredict.error) << gpredict.error->reason;
    ASSERT_EQ(gpredict.sets.size(), 1u);
    EXPECT_EQ(std::pair(gpredict.sets[0].name, gpredict.sets[0].catalogNumber),
              std::pair(std::string("MOLNIYA 1-T"), 23420));
}

std::string withChar(std::string line, std::size_t column, char c) {
    line[column - 1] = c;
    return line;
}

// Files that are refused, with the line named and the reason.
TEST(Tle, RefusedFilesNameTheLineAndTheReason) {
    const std::tuple<std::string, int, const char*> rows[] = {
        {"ISS\n" + withChar(Iss1, 69, '8') + "\n" + Iss2 + "\n", 2, "line 1 fails its checksum"},
        {Iss1 + "\n" + withChar(Iss2, 20, '8') + "\n", 2, "line 2 fails its checksum"},
        // A '-' counts one: turning it into a '+' breaks the sum.
        {withChar(Iss1, 34, '+') + "\n" + Iss2 + "\n", 1, "line 1 fails its checksum"},
        {Iss1 + "\n" + Molniya2 + "\n", 1, "lines 1 and 2 have different catalogue numbers"},
        {"ISS\n" + Iss1 + "\n\n", 2, "line 1 of a set is not followed by its line 2"},
        {Iss2 + "\n", 1, "line 2 of a set comes without its line 1"},
        {Iss1.substr(0, 66) + "\n" + Iss2 + "\n", 1, "line 1 is shorter than 69 columns"},
        {"hello\nworld\n", 0, "no two-line element set in the file"},
        {"", 0, "no two-line element set in the file"},
        {"NAME=X\nTLE1=" + Iss1 + "\n", 2, "TLE1 comes without TLE2"},
    };
    for (const auto& [text, line, reason] : rows) {
        const TleFile file = readTles(text);
        ASSERT_TRUE(file.error) << reason;
        EXPECT_EQ(std::pair(file.error->line, file.error->reason),
                  std::pair(line, std::string(reason)));
    }
}

TEST(Tle, AFieldThatCannotBeReadIsNamed) {
    for (auto [line, column, field] :
         {std::tuple{0, 22, "epoch day"}, {1, 30, "eccentricity"}, {0, 59, "drag term (B*)"}}) {
        std::string why;
        EXPECT_FALSE(parseTle(line ? Iss1 : withChar(Iss1, column, 'x'),
                              line ? withChar(Iss2, column, 'x') : Iss2, false, &why));
        EXPECT_EQ(why, std::string("the ") + field + " cannot be read");
    }
}

TEST(Timescale, JulianDatesAndBack) {
    EXPECT_EQ(julianDate(2000, 1, 1, 12, 0, 0.0), 2451545.0);
    EXPECT_EQ(julianDateFromUnixSeconds(0.0), 2440587.5);
    for (const CalendarTime& t :
         {CalendarTime{2024, 2, 29, 23, 59, 59.5}, CalendarTime{1999, 12, 31, 0, 0, 0.0},
          CalendarTime{2026, 3, 1, 12, 30, 1.0}}) {
        const CalendarTime back =
            calendarTime(julianDate(t.year, t.month, t.day, t.hour, t.minute, t.second));
        EXPECT_EQ(std::tie(back.year, back.month, back.day, back.hour, back.minute),
                  std::tie(t.year, t.month, t.day, t.hour, t.minute));
        EXPECT_NEAR(back.second, t.second, 1e-9); // to the millisecond, exactly
    }
}

} // namespace
