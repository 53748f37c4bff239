#include "core_support.h"
#include <gtest/gtest.h>
#include <vector>

namespace ravik {
namespace {

using test::ExpectPoint;
using test::Lines;
using test::NumericLine;
using test::Parse;
using test::Parser;

struct PointCase {
    const char* name;
    QByteArray text;
    int count;
    EphemerisPoint last; // the last point stored, when count > 0
};

void RunPointCases(Parser parser, const std::vector<PointCase>& cases) {
    for (const PointCase& c : cases) {
        SCOPED_TRACE(c.name);
        const test::ParseRun run = Parse(parser, c.text);
        ASSERT_TRUE(run.error.isEmpty()) << run.error.toStdString();
        EXPECT_TRUE(run.table->Loaded);
        ASSERT_EQ(run.table->PointCount, c.count);
        if (c.count > 0) {
            ExpectPoint(run.table->Points[c.count - 1], c.last);
        }
    }
}

struct FailureCase {
    const char* name;
    QByteArray text;
    const char* message;
    int pointsKept;
};

void RunFailureCases(Parser parser, const std::vector<FailureCase>& cases) {
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const test::ParseRun run = Parse(parser, c.text);
        EXPECT_EQ(run.error.toStdString(), c.message);
        EXPECT_FALSE(run.table->Loaded);
        EXPECT_EQ(run.table->PointCount, c.pointsKept);
    }
}

QByteArray InstantTrack(const QByteArray& dataLine) {
    return Lines({"Header one", "Header two", dataLine});
}

TEST(ParseInstantTrack, DataLines) {
    RunPointCases(Parser::InstantTrack,
                  {
                      {"worked example",
                       InstantTrack("05Dec2002  2315  183.4  12.6  1523  -0.8  45"),
                       1,
                       {2002, 12, 5, 23, 15, 0, 183, 13}},
                      {"capital month",
                       InstantTrack("05DEC2002 2315 183 12 1 2 3"),
                       1,
                       {2002, 0, 5, 23, 15, 0, 183, 12}},
                      {"eight-character date",
                       InstantTrack("5Dec2002 2315 183 12 1 2 3"),
                       1,
                       {2002, 0, 5, 23, 15, 0, 183, 12}},
                      {"two-character date",
                       InstantTrack("05 2315 183 12 1 2 3"),
                       1,
                       {5, 0, 5, 23, 15, 0, 183, 12}},
                      {"time 0905",
                       InstantTrack("05Dec2002 0905 183 12 1 2 3"),
                       1,
                       {2002, 12, 5, 9, 5, 0, 183, 12}},
                      {"time 905",
                       InstantTrack("05Dec2002 905 183 12 1 2 3"),
                       1,
                       {2002, 12, 5, 90, 5, 0, 183, 12}},
                      {"halves to even",
                       InstantTrack("05Dec2002 2315 182.5 183.5 1 2 3"),
                       1,
                       {2002, 12, 5, 23, 15, 0, 182, 184}},
                      {"small negatives",
                       InstantTrack("05Dec2002 2315 -0.5 -0.4 1 2 3"),
                       1,
                       {2002, 12, 5, 23, 15, 0, 0, 0}},
                      {"nan and inf read as 0",
                       InstantTrack("05Dec2002 2315 nan inf 1 2 3"),
                       1,
                       {2002, 12, 5, 23, 15, 0, 0, 0}},
                      {"NUL and 8-bit separators",
                       InstantTrack(test::Bytes("05Jan2003\0 1200 \xb0 10.2\xb0 20.7\xb0 1 2 3")),
                       1,
                       {2003, 1, 5, 12, 0, 0, 10, 21}},
                      {"six tokens skipped", InstantTrack("05Dec2002 2315 183 12 1 2"), 0, {}},
                      {"word as time skipped", InstantTrack("05Dec2002 Time 183 12 1 2 3"), 0, {}},
                      {"empty line skipped",
                       Lines({"h", "h", "05Dec2002 2315 183 12 1 2 3", "", "x"}),
                       1,
                       {2002, 12, 5, 23, 15, 0, 183, 12}},
                      {"header lines are never data",
                       Lines({"05Dec2002 2315 183 12 1 2 3", "05Dec2002 2316 184 13 1 2 3"}),
                       0,
                       {}},
                      {"header only", Lines({"h", "h"}), 0, {}},
                  });
}

TEST(ParseInstantTrack, Failures) {
    RunFailureCases(
        Parser::InstantTrack,
        {
            {"empty file", "", "line 1: the file ends inside the header", 0},
            {"one line", "05Dec2002 2315 183 12 1 2 3\r\n",
             "line 2: the file ends inside the header", 0},
            {"azimuth 1e6",
             Lines({"h", "h", "05Dec2002 2315 183 12 1 2 3", "05Dec2002 2316 1e6 12 1 2 3"}),
             "line 4: azimuth 1e6 does not fit", 1},
            {"elevation 1e400", InstantTrack("05Dec2002 2315 183 1e400 1 2 3"),
             "line 3: elevation 1e400 is not a usable number", 0},
            {"year too large", InstantTrack("05Dec1e99 2315 183 12 1 2 3"),
             "line 3: year 1e99 does not fit", 0},
        });
}

QByteArray Nova(std::initializer_list<QByteArray> lines) {
    QByteArray text = "Title line\r\n";
    return text + Lines(lines);
}

// A line of `n` tokens with `word` as token `at`, followed by the day 6 and the year 2003.
QByteArray LongLine(int n, int at, const QByteArray& word = "December") {
    QByteArray line;
    for (int i = 0; i < n; ++i) {
        line += i == at ? word : QByteArray(i == at + 1 ? "6" : i == at + 2 ? "2003" : "w");
        line += ' ';
    }
    return line;
}

const QByteArray Marker = "===== Thursday, December 5, 2002 =====";
const QByteArray Data = "23:15:30  183.4  12.6  1523.4  -0.82  45.1  -12.3  5.5  0.25";

TEST(ParseNova, DatesAndDataLines) {
    const EphemerisPoint workedExample{2002, 12, 5, 23, 15, 30, 183, 13};
    const EphemerisPoint beforeAnyDate{2001, 1, 1, 23, 15, 30, 183, 13};
    const EphemerisPoint longDate{2003, 12, 6, 23, 15, 30, 183, 13};
    RunPointCases(
        Parser::Nova,
        {
            {"worked example", Nova({Marker, "Time Azim Elev", Data}), 1, workedExample},
            {"data before any date", Nova({Data}), 1, beforeAnyDate},
            {"first line never examined", Marker + "\r\n" + Lines({Data}), 1, beforeAnyDate},
            {"Pass 3 of 5 marker",
             Nova({Marker, "===== Pass 3 of 5 =====", Data}),
             1,
             {5, 12, 0, 23, 15, 30, 183, 13}},
            {"blanks before the marker", Nova({"   " + Marker, Data}), 1, workedExample},
            {"tab before the marker", Nova({"\t" + Marker, Data}), 1, beforeAnyDate},
            {"marker of 10 tokens", Nova({"=== a b c d e f g December 5 2002", Data}), 1,
             beforeAnyDate},
            {"marker with 9 numeric tokens is also a point",
             Nova({"=== 10 20 30 40 50 60 December 5 2002"}),
             1,
             {2002, 12, 5, 10, 20, 30, 40, 50}},
            {"two-digit year",
             Nova({"===== December 5, 02 =====", Data}),
             1,
             {2, 12, 5, 23, 15, 30, 183, 13}},
            {"year keeps its fraction",
             Nova({"=== December 5 2002.5", Data}),
             1,
             {2002, 12, 5, 23, 15, 30, 183, 13}},
            {"unknown month keeps the month",
             Nova({Marker, "=== Brumaire 7 2004", Data}),
             1,
             {2004, 12, 7, 23, 15, 30, 183, 13}},
            {"long date line, month at T1", Nova({LongLine(26, 1), Data}), 1, longDate},
            {"long date line, month at T12", Nova({LongLine(26, 12), Data}), 1, longDate},
            {"month at T13 is no date", Nova({LongLine(26, 13), Data}), 1, beforeAnyDate},
            {"month at T0 is no date", Nova({LongLine(26, 0), Data}), 1, beforeAnyDate},
            {"25 tokens is no date", Nova({LongLine(25, 1), Data}), 1, beforeAnyDate},
            {"lowercase month is no name", Nova({LongLine(30, 1, "december"), Data}), 1,
             beforeAnyDate},
            {"data line of 9 tokens", Nova({NumericLine(9)}), 1, beforeAnyDate},
            {"data line of 24 tokens", Nova({NumericLine(24)}), 1, beforeAnyDate},
            {"8 tokens are no data", Nova({NumericLine(8)}), 0, {}},
            {"25 tokens are no data", Nova({NumericLine(25)}), 0, {}},
            {"word as minute", Nova({"12 Time 30 183 12 1 2 3 4"}), 0, {}},
            {"signed hour and minute",
             Nova({"- 3 +7 30 183 12 1 2 3 4"}),
             1,
             {2001, 1, 1, -3, 7, 30, 183, 12}},
            {"empty line matches nothing", Nova({Data, ""}), 1, beforeAnyDate},
        });
}

TEST(ParseNova, Failures) {
    RunFailureCases(
        Parser::Nova,
        {
            {"empty file", "", "line 1: the file is empty", 0},
            {"marker of one token", Nova({Data, "=== 2002 ==="}),
             "line 3: a date marker needs a month, a day and a year", 1},
            {"marker of separators only", Nova({"======"}),
             "line 2: a date marker needs a month, a day and a year", 0},
            {"marker of two tokens", Nova({"=== 5 2002"}),
             "line 2: a date marker needs a month, a day and a year", 0},
            {"azimuth 1e6", Nova({"23 15 30 1e6 12 1 2 3 4"}), "line 2: azimuth 1e6 does not fit",
             0},
            {"year 1e6 fails at the data line", Nova({"=== May 1 1e6", Data}),
             "line 3: year 1e6 does not fit", 0},
            {"year 1e400 fails at the date line", Nova({"=== May 1 1e400", Data}),
             "line 2: year 1e400 is not a usable number", 0},
            {"day too large", Nova({"=== May 40000 2002"}), "line 2: day 40000 does not fit", 0},
        });
}

// 12,000 data lines: entries 0 to 10,000 are filled and the rest of the file is not read.
TEST(Parsers, StopAfter10001Points) {
    const struct {
        Parser parser;
        int headerLines;
        const char* format;
    } rows[] = {{Parser::InstantTrack, 2, "05Dec2002 %02d%02d 100 %d 1 2 3"},
                {Parser::Nova, 1, "%02d %02d 00 100 %d 1 2 3 4"}};
    for (const auto& row : rows) {
        QByteArray text = Lines({"h", "h"}).left(row.headerLines * 3);
        for (int i = 0; i < 12000; ++i) {
            text += QString::asprintf(row.format, i / 60 % 24, i % 60, i % 90).toLatin1() + "\r\n";
        }
        const test::ParseRun run = Parse(row.parser, text);
        ASSERT_TRUE(run.error.isEmpty());
        EXPECT_EQ(run.table->PointCount, 10001);
        EXPECT_EQ(run.table->Points[10000].Elevation, 10000 % 90);
        EXPECT_EQ(run.linesRead, row.headerLines + 10001);
    }
}

TEST(MonthNames, ExactNamesOnly) {
    MonthNames names;
    FillMonthNameTable(names);
    EXPECT_TRUE(names[0].isEmpty());
    const struct {
        const char* token;
        bool expected;
    } rows[] = {{"January", true},   {"May", true},  {"December", true},
                {"december", false}, {"Dec", false}, {"", false}};
    for (const auto& row : rows) {
        EXPECT_EQ(IsMonthName(row.token, names), row.expected) << row.token;
    }
    const MonthNames unfilled; // twelve equal empty entries: a count of 12 is no match
    EXPECT_FALSE(IsMonthName("", unfilled));
}

} // namespace
} // namespace ravik
