#include "conditioning.h"
#include "errors.h"
#include "passfile.h"
#include <QList>
#include <gtest/gtest.h>

// The cases an operator's files bring (grid near north and the horizon, repeated times, the skip
// rules) are checked as bytes on the wire in the window's tests; these are the edges beyond them.
namespace ravik {
namespace {

// Points as "year month day hour minute second azimuth elevation", separated by ",".
EphemerisTable Table(const char* points) {
    EphemerisTable t;
    for (const QByteArray& p : QByteArray(points).split(',')) {
        EphemerisPoint& e = t.Points[size_t(t.PointCount++)];
        sscanf(p.constData(), "%hd %hd %hd %hd %hd %hd %hd %hd", &e.Year, &e.Month, &e.Day, &e.Hour,
               &e.Minute, &e.Second, &e.Azimuth, &e.Elevation);
    }
    t.Loaded = true;
    return t;
}

// The lines sent after conditioning, or the failure.
QByteArray Sent(EphemerisTable t) {
    try {
        ConditionTable(t);
    } catch (const RunTimeError& e) {
        return e.what();
    }
    QByteArray out;
    for (int i : PointsToSend(t))
        out += FormatEphemerisLine(t, i);
    return out;
}

TEST(Conditioning, Edges) {
    const struct {
        const char *points, *sent;
    } rows[] = {
        {"2 12 5 23 15 30 185 10", "02/12/05 23:15:30 185 10\r"},
        {"-3 -1 0 7 59 5 360 5", "-3/-1/00 07:59:05 360 5\r"},
        {"-32768 100 32767 0 0 0 32767 32767", "-32768/100/32767 00:00:00 32765 32765\r"},
        {"2002 1 1 0 0 0 -32767 -32767", ""}, // -32765: below the horizon
        {"2002 1 1 0 0 0 10 -32768", "point 0: elevation -32768 leaves the 5-degree grid's range"},
        // The second belongs to the time: 10:04:30 then 10:04:00 twice.
        {"2002 3 15 10 4 30 10 0, 2002 3 15 10 4 0 20 0, 2002 3 15 10 4 0 30 0",
         "2002/03/15 10:04:30 10 0\r2002/03/15 10:04:00 20 0\r2002/03/15 10:04:30 30 0\r"},
        // Midnight is no repeat of the time before the first point.
        {"2002 3 15 0 0 0 10 0", "2002/03/15 00:00:00 10 0\r"},
        // Point 0 at 0/0 is sent; a later 0/0 is its repeat.
        {"2002 1 1 0 0 0 0 0, 2002 1 1 0 1 0 0 0", "2002/01/01 00:00:00 0 0\r"},
        {"2002 1 1 0 0 0 10 5, 2002 1 1 0 1 0 15 -5, 2002 1 1 0 2 0 15 0",
         "2002/01/01 00:00:00 10 5\r2002/01/01 00:02:00 15 0\r"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.points);
        EXPECT_EQ(Sent(Table(row.points)), row.sent);
    }
}

TEST(Conditioning, SecondRunChangesNothing) {
    for (const char* sample : {"pass-instanttrack.out", "pass-nova.out"}) {
        SCOPED_TRACE(sample);
        TokenList tokens;
        EphemerisTable table;
        MonthNames months;
        FillMonthNameTable(months);
        LoadPassFile(QStringLiteral(RAVIK_SOURCE_DIR "/uploader/samples/") + sample, tokens, table,
                     months);
        const QByteArray once = Sent(table);
        ConditionTable(table);
        EXPECT_GT(once.count('\r'), 10);
        EXPECT_EQ(Sent(table), once);
    }
}

} // namespace
} // namespace ravik
