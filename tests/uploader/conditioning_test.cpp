#include "conditioning.h"
#include "errors.h"
#include "passfile.h"
#include <gtest/gtest.h>
#include <vector>

namespace ravik {
namespace {

EphemerisTable Table(const std::vector<EphemerisPoint>& points) {
    EphemerisTable table;
    std::copy(points.begin(), points.end(), table.Points.begin());
    table.PointCount = static_cast<int16_t>(points.size());
    table.Loaded = true;
    return table;
}

TEST(ConditionTable, WorkedExampleBytes) {
    EphemerisTable table =
        Table({{2002, 3, 15, 10, 4, 0, 180, 20}, {2002, 3, 15, 10, 4, 0, 183, 27}});
    ConditionTable(table);
    const QByteArray expected = QByteArray::fromHex(
        "323030322f30332f31352031303a30343a3330203138352032350d"); // 2002/03/15 10:04:30 185 25 CR
    EXPECT_EQ(expected.size(), 27);
    EXPECT_EQ(FormatEphemerisLine(table, 1), expected);
}

TEST(ConditionTable, FiveDegreeGrid) {
    const struct {
        int16_t in, out;
    } rows[] = {{357, 355}, {358, 360}, {359, 360}, {2, 0},         {3, 5},          {-1, 0},
                {-2, 0},    {-3, -5},   {0, 0},     {32767, 32765}, {-32767, -32765}};
    for (const auto& row : rows) {
        EphemerisTable table = Table({{2002, 1, 1, 0, 0, 0, row.in, row.in}});
        ConditionTable(table);
        EXPECT_EQ(table.Points[0].Azimuth, row.out) << row.in;
        EXPECT_EQ(table.Points[0].Elevation, row.out) << row.in;
    }
    // -32768 would go to -32770, which no 16-bit field holds.
    EphemerisTable table = Table({{2002, 1, 1, 0, 0, 0, 10, -32768}});
    EXPECT_THROW(ConditionTable(table), RunTimeError);
}

TEST(ConditionTable, RepeatedTimesGetSecond30) {
    const struct {
        const char* name;
        std::vector<EphemerisPoint> points;
        std::vector<int16_t> seconds;
    } rows[] = {
        {"three at 10:04:00",
         {{2002, 3, 15, 10, 4, 0, 0, 0},
          {2002, 3, 15, 10, 4, 0, 0, 0},
          {2002, 3, 15, 10, 4, 0, 0, 0}},
         {0, 30, 30}},
        {"same time, other date",
         {{2002, 3, 15, 10, 4, 0, 0, 0}, {2003, 7, 1, 10, 4, 0, 0, 0}},
         {0, 30}},
        {"seconds are part of the time",
         {{2002, 3, 15, 10, 4, 30, 0, 0},
          {2002, 3, 15, 10, 4, 0, 0, 0},
          {2002, 3, 15, 10, 4, 0, 0, 0}},
         {30, 0, 30}},
        {"different times", {{2002, 3, 15, 10, 4, 0, 0, 0}, {2002, 3, 15, 10, 5, 0, 0, 0}}, {0, 0}},
        {"midnight never matches the start value", {{2002, 3, 15, 0, 0, 0, 0, 0}}, {0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EphemerisTable table = Table(row.points);
        ConditionTable(table);
        for (size_t i = 0; i < row.seconds.size(); ++i) {
            EXPECT_EQ(table.Points[i].Second, row.seconds[i]) << i;
        }
    }
}

TEST(FormatEphemerisLine, FieldWidths) {
    const struct {
        EphemerisPoint point;
        const char* line;
    } rows[] = {
        {{2, 12, 5, 23, 15, 30, 185, 10}, "02/12/05 23:15:30 185 10\r"},
        {{2002, 1, 9, 0, 0, 0, 0, 0}, "2002/01/09 00:00:00 0 0\r"},
        {{-3, -1, 0, 7, 59, 5, 360, -5}, "-3/-1/00 07:59:05 360 -5\r"},
        {{-32768, 100, 32767, 0, 0, 0, -32765, 32765}, "-32768/100/32767 00:00:00 -32765 32765\r"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FormatEphemerisLine(Table({row.point}), 0), row.line);
    }
}

TEST(PointsToSend, SkipRules) {
    const struct {
        const char* name;
        std::vector<EphemerisPoint> points;
        std::vector<int> sent;
    } rows[] = {
        {"empty table", {}, {}},
        {"point 0 below the horizon, then 0/0 skipped",
         {{2002, 1, 1, 0, 0, 0, 10, -5}, {2002, 1, 1, 0, 1, 0, 0, 0}, {2002, 1, 1, 0, 2, 0, 5, 0}},
         {2}},
        {"point 0 at 0/0 is sent", {{2002, 1, 1, 0, 0, 0, 0, 0}, {2002, 1, 1, 0, 1, 0, 0, 0}}, {0}},
        {"A A B A sends A B A",
         {{2002, 1, 1, 0, 0, 0, 10, 5},
          {2002, 1, 1, 0, 1, 0, 10, 5},
          {2002, 1, 1, 0, 2, 0, 15, 5},
          {2002, 1, 1, 0, 3, 0, 10, 5}},
         {0, 2, 3}},
        {"below the horizon in the middle",
         {{2002, 1, 1, 0, 0, 0, 10, 5},
          {2002, 1, 1, 0, 1, 0, 15, -5},
          {2002, 1, 1, 0, 2, 0, 15, 0}},
         {0, 2}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(PointsToSend(Table(row.points)), row.sent);
    }
}

TEST(ConditionTable, SecondRunChangesNothing) {
    for (const char* sample : {"pass-instanttrack.out", "pass-nova.out"}) {
        SCOPED_TRACE(sample);
        TokenList tokens;
        EphemerisTable table;
        MonthNames months;
        FillMonthNameTable(months);
        LoadPassFile(QStringLiteral(RAVIK_SOURCE_DIR "/uploader/samples/") + sample, tokens, table,
                     months);
        ConditionTable(table);
        std::vector<QByteArray> once;
        for (int i = 0; i < table.PointCount; ++i) {
            once.push_back(FormatEphemerisLine(table, i));
        }
        ConditionTable(table);
        for (int i = 0; i < table.PointCount; ++i) {
            EXPECT_EQ(FormatEphemerisLine(table, i), once[size_t(i)]);
        }
        EXPECT_GT(PointsToSend(table).size(), 10u);
    }
}

} // namespace
} // namespace ravik
