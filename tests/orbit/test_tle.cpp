// The TLE reader: the fields' encodings, file layouts, and every way a file can be refused.
#include "orbits.h"
#include "timescale.h"
#include "tle.h"

#include <gtest/gtest.h>

using namespace ravik::orbit;
using namespace ravik::orbit::testing;

namespace {

const std::string Iss1 = Orbits[0].line1, Iss2 = Orbits[0].line2;
const std::string Molniya1 = Orbits[2].line1, Molniya2 = Orbits[2].line2;

TEST(Tle, ReadsEveryFieldWithItsEncoding) {
    const auto tle = parseTle(Iss1, Iss2, true);
    ASSERT_TRUE(tle);
    EXPECT_EQ(tle->catalogNumber, 25544);
    EXPECT_EQ(tle->epochYear, 2008);
    EXPECT_DOUBLE_EQ(tle->epochDay, 264.51782528);
    EXPECT_DOUBLE_EQ(tle->meanMotionDot, -0.00002182);
    EXPECT_DOUBLE_EQ(tle->meanMotionDdot, 0.0);
    EXPECT_DOUBLE_EQ(tle->bstar, -0.11606e-4);
    EXPECT_DOUBLE_EQ(tle->inclinationDeg, 51.6416);
    EXPECT_DOUBLE_EQ(tle->raanDeg, 247.4627);
    EXPECT_DOUBLE_EQ(tle->eccentricity, 0.0006703);
    EXPECT_DOUBLE_EQ(tle->argPerigeeDeg, 130.5360);
    EXPECT_DOUBLE_EQ(tle->meanAnomalyDeg, 325.0288);
    EXPECT_DOUBLE_EQ(tle->meanMotionRevPerDay, 15.72125391);
    // Day 264.51782528 of 2008 (a leap year) is 20 September, 12:25:40.104 UTC.
    EXPECT_NEAR(tle->epochJd(), julianDate(2008, 9, 20, 12, 25, 40.104192), 1e-8);
}

// Fields that come in several spellings, each put into the ISS set (checksums not checked).
struct FieldCase {
    const char* label;
    int line, column;
    const char* text;
    double Tle::*field;
    double expected;
};
void PrintTo(const FieldCase& c, std::ostream* out) {
    *out << c.label;
}
class TleFieldTest : public ::testing::TestWithParam<FieldCase> {};
TEST_P(TleFieldTest, IsReadAsWritten) {
    const FieldCase& c = GetParam();
    std::string lines[2] = {Iss1, Iss2};
    lines[c.line - 1].replace(c.column - 1, std::string(c.text).size(), c.text);
    const auto tle = parseTle(lines[0], lines[1], false);
    ASSERT_TRUE(tle) << lines[c.line - 1];
    EXPECT_DOUBLE_EQ((*tle).*c.field, c.expected);
}
const FieldCase FieldCases[] = {
    {"bstarPositive", 1, 54, " 12345-3", &Tle::bstar, 0.12345e-3},
    {"bstarPlusExponent", 1, 54, "-12345+1", &Tle::bstar, -1.2345},
    {"bstarBlank", 1, 54, "        ", &Tle::bstar, 0.0},
    {"nddotNegative", 1, 45, "-30915-6", &Tle::meanMotionDdot, -0.30915e-6},
    {"ndotPositive", 1, 34, " .99999999", &Tle::meanMotionDot, 0.99999999},
    {"eccentricityImplied", 2, 27, "9950000", &Tle::eccentricity, 0.995},
    {"year57Is1957", 1, 19, "57", &Tle::epochDay, 264.51782528},
};
INSTANTIATE_TEST_SUITE_P(Fields, TleFieldTest, ::testing::ValuesIn(FieldCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(Tle, TwoDigitYearsFrom57AreThe1900s) {
    for (auto [yy, year] : {std::pair{"57", 1957}, {"99", 1999}, {"00", 2000}, {"56", 2056}}) {
        std::string line1 = Iss1;
        line1.replace(18, 2, yy);
        EXPECT_EQ(parseTle(line1, Iss2, false)->epochYear, year) << yy;
    }
}

TEST(Tle, ReadsTwoAndThreeLineSetsAndGpredictFilesWithEitherLineEnd) {
    const std::string threeLine = "0 ISS (ZARYA)  \r\n" + Iss1 + "\r\n" + Iss2 + "\r\n\r\n" +
                                  Molniya1 + "\r\n" + Molniya2 + "\r\n";
    const TleFile file = readTles(threeLine);
    ASSERT_FALSE(file.error) << file.error->reason;
    ASSERT_EQ(file.sets.size(), 2u);
    EXPECT_EQ(file.sets[0].name, "ISS (ZARYA)");
    EXPECT_EQ(file.sets[1].name, "");
    EXPECT_EQ(findSatellite(file.sets, "ISS (ZARYA)"), &file.sets[0]);
    EXPECT_EQ(findSatellite(file.sets, "23420"), &file.sets[1]);
    EXPECT_EQ(findSatellite(file.sets, "ISS"), nullptr);
    EXPECT_EQ(findSatellite(file.sets, "99999"), nullptr);

    const std::string sat =
        "[Satellite]\nVERSION=1.1\nNAME=MOLNIYA 1-T\nNICKNAME=M1\nTLE1=" + Molniya1 +
        "\nTLE2=" + Molniya2 + "\nSTATUS=0\n";
    const TleFile gpredict = readTles(sat);
    ASSERT_FALSE(gpredict.error) << gpredict.error->reason;
    ASSERT_EQ(gpredict.sets.size(), 1u);
    EXPECT_EQ(gpredict.sets[0].name, "MOLNIYA 1-T");
    EXPECT_EQ(gpredict.sets[0].catalogNumber, 23420);
}

TEST(Tle, ReadsAlphaFiveCatalogueNumbers) {
    std::string line1 = Iss1, line2 = Iss2;
    line1.replace(2, 5, "B1234");
    line2.replace(2, 5, "B1234");
    EXPECT_EQ(parseTle(line1, line2, false)->catalogNumber, 111234);
}

// Files that are refused, with the line named and the reason.
struct BadFile {
    const char* label;
    std::string text;
    int line;
    const char* reason;
};
void PrintTo(const BadFile& c, std::ostream* out) {
    *out << c.label;
}
class TleBadFileTest : public ::testing::TestWithParam<BadFile> {};
TEST_P(TleBadFileTest, NamesTheLineAndTheReason) {
    const TleFile file = readTles(GetParam().text);
    ASSERT_TRUE(file.error);
    EXPECT_EQ(file.error->line, GetParam().line);
    EXPECT_EQ(file.error->reason, GetParam().reason);
}
std::string withChar(std::string line, std::size_t column, char c) {
    line[column - 1] = c;
    return line;
}
const BadFile BadFiles[] = {
    {"checksumLine1", "ISS\n" + withChar(Iss1, 69, '8') + "\n" + Iss2 + "\n", 2,
     "line 1 fails its checksum"},
    {"checksumLine2", Iss1 + "\n" + withChar(Iss2, 20, '8') + "\n", 2, "line 2 fails its checksum"},
    // A '-' counts one: turning it into a '+' breaks the sum.
    {"minusCountsOne", withChar(Iss1, 34, '+') + "\n" + Iss2 + "\n", 1,
     "line 1 fails its checksum"},
    {"numbersDiffer", Iss1 + "\n" + Molniya2 + "\n", 1,
     "lines 1 and 2 have different catalogue numbers"},
    {"line2Missing", "ISS\n" + Iss1 + "\n\n", 2, "line 1 of a set is not followed by its line 2"},
    {"line1Missing", Iss2 + "\n", 1, "line 2 of a set comes without its line 1"},
    {"shortLine", Iss1.substr(0, 66) + "\n" + Iss2 + "\n", 1, "line 1 is shorter than 69 columns"},
    {"noSets", "hello\nworld\n", 0, "no two-line element set in the file"},
    {"empty", "", 0, "no two-line element set in the file"},
    {"gpredictWithoutTle2", "NAME=X\nTLE1=" + Iss1 + "\n", 2, "TLE1 comes without TLE2"},
};
INSTANTIATE_TEST_SUITE_P(Files, TleBadFileTest, ::testing::ValuesIn(BadFiles),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(Tle, AFieldThatCannotBeReadIsNamed) {
    std::string why;
    EXPECT_FALSE(parseTle(withChar(Iss1, 22, 'x'), Iss2, false, &why));
    EXPECT_EQ(why, "the epoch day cannot be read");
    EXPECT_FALSE(parseTle(Iss1, withChar(Iss2, 30, 'x'), false, &why));
    EXPECT_EQ(why, "the eccentricity cannot be read");
    EXPECT_FALSE(parseTle(withChar(Iss1, 59, 'x'), Iss2, false, &why));
    EXPECT_EQ(why, "the drag term (B*) cannot be read");
}

} // namespace

namespace {

TEST(Timescale, JulianDatesAndBack) {
    EXPECT_EQ(julianDate(2000, 1, 1, 12, 0, 0.0), 2451545.0);
    EXPECT_EQ(julianDateFromUnixSeconds(0.0), 2440587.5);
    EXPECT_NEAR(unixSecondsFromJulianDate(julianDate(2026, 12, 8, 10, 56, 25.0)), 1796727385.0,
                1e-4);
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
