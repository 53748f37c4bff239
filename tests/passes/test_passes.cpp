// Pass files written from computed passes must read back through skypass's own reader, whatever
// the pass; stations, times and plots come from what the operator types.
#include "passplan.h"
#include "passplot.h"
#include "tempfiles.h"
#include <QDateTime>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace ravik {
namespace {

qint64 Utc(const char* text) {
    return *parseUtc(QString::fromLatin1(text));
}
// A line whose other columns do not matter here.
PassLine At(const char* time, double az, double el) {
    return {Utc(time), az, el, 2400, -6.5, -10, 170, 420};
}

// Every line as written comes back from the reader that skypass and ravik-upload use: the date
// and time exactly, the angles to the nearest degree; CR LF ends every line. (lines, a line of
// the file as written): under a minute, across midnight, the early line the day before.
TEST(Writer, ReadsBackThroughTheNovaReader) {
    const std::pair<std::vector<PassLine>, const char*> rows[] = {
        {{At("2026-12-08 19:29:00", 215.34, 0),
          {Utc("2026-12-08 19:30:00"), 215.34, 0.02, 2345.64, -6.5432, 12.345, -45.678, 420.12},
          At("2026-12-08 19:30:10", 214.0, 1.2),
          At("2026-12-08 19:30:25", 211.1, -0.04)},
         "19:30:00   215.3    0.0   2345.6  -6.543   12.35  -45.68   420.1\r\n"},
        {{At("2026-12-31 23:59:50", 320, 20), At("2027-01-01 00:00:00", 340, 30),
          At("2027-01-01 00:00:10", 359.96, 20)},
         "===== UT date Friday, January 1, 2027 =====\r\n"},
        {{At("2026-02-28 23:59:30", 0.04, 0), At("2026-03-01 00:00:30", 0.04, 0)},
         "23:59:30     0.0    0.0   2400.0"},
    };
    QTemporaryDir dir;
    MonthNames months;
    fillMonthNames(months);
    for (const auto& [lines, textHas] : rows) {
        Tokens tokens;
        const QByteArray text = novaPassText(QStringLiteral("Pass of TEST (1) at 52N 5E"), lines);
        SCOPED_TRACE(text.toStdString());
        EXPECT_TRUE(text.contains(textHas));
        EXPECT_EQ(text.count('\n'), text.count("\r\n"));
        EphemerisTable table;
        ASSERT_EQ(loadPassFile(WriteFile(dir.filePath("pass.out"), text), tokens, table, months),
                  PassFormat::Nova);
        ASSERT_EQ(int(table.points.size()), int(lines.size()));
        for (size_t i = 0; i < lines.size(); ++i) {
            const EphemerisPoint& p = table.points[i];
            EXPECT_EQ(
                QDateTime(QDate(p.year, p.month, p.day), QTime(p.hour, p.minute, p.second), Qt::UTC)
                    .toSecsSinceEpoch(),
                lines[i].utcSeconds);
            EXPECT_LE(std::abs(std::remainder(p.azimuth - lines[i].azimuthDeg, 360.0)), 0.55) << i;
            EXPECT_LE(std::abs(p.elevation - lines[i].elevationDeg), 0.55) << i;
        }
    }
}

TEST(PassFileName, KeepsOnlySafeCharacters) {
    const qint64 aos = Utc("2026-12-08 19:30:02");
    EXPECT_EQ(passFileName("ISS (ZARYA)", aos), "ISS_(ZARYA)-20261208-193002.out");
    EXPECT_EQ(passFileName("AO-7.b/c:d*", aos), "AO-7.b_c_d_-20261208-193002.out");
    EXPECT_EQ(passFileName(QStringLiteral("Ørsted 2"), aos), "_rsted_2-20261208-193002.out");
}

// "lat lon height" or the reason; rows with '=' are .qth files.
const std::pair<const char*, const char*> StationCases[] = {
    {"52.1,5.12", "52.1 5.12 0"},
    {"-33.9, 18.4 ,-10", "-33.9 18.4 -10"},
    {"52,5,1,2", "--qth needs LAT,LON[,HEIGHT_M] or a .qth file"},
    {"52.1,east", "--qth: \"east\" is no number"},
    {"91,0", "the latitude must lie between -90 and 90"},
    {"0,0,30000", "the height must lie between -500 and 20000 metres"},
    {"[QTH]\nLOCATION=Copenhagen\nLAT=55.6167\nLON=12.6500\nALT=5\nWX=EKCH\n", "55.6167 12.65 5"},
    {"[QTH]\r\nLAT=-34.5\r\nLON=-58.4\r\n", "-34.5 -58.4 0"},
    {"[QTH]\nLAT=55.6\nALT=5\n", "the .qth file has no LAT or no LON"},
    {"[QTH]\nLAT=north\nLON=12\n", "LAT is no number"},
};

TEST(Station, FromNumbersAndQthFiles) {
    for (const auto& [text, want] : StationCases) {
        QString why;
        const auto s = strchr(text, '=') ? parseQth(text, &why) : parseStation(text, &why);
        EXPECT_EQ(
            s ? QStringLiteral("%1 %2 %3").arg(s->latitudeDeg).arg(s->longitudeDeg).arg(s->heightM)
              : why,
            want);
    }
    QTemporaryDir dir;
    QString why;
    EXPECT_FALSE(readStation(dir.filePath("gone.qth"), &why));
    EXPECT_EQ(why, "--qth: cannot read " + dir.filePath("gone.qth"));
}

TEST(Utc, OnlyRealTimesInTheOneForm) {
    EXPECT_EQ(formatUtc(*parseUtc("2026-12-08 19:30:00")), "2026-12-08 19:30:00");
    for (const char* bad : {"2026-02-29 00:00:00", "2026-12-08T19:30:00", "2026-12-08 24:00:00"})
        EXPECT_FALSE(parseUtc(bad)) << bad;
}

// North up, east right, the zenith in the middle; the dots are the grid points the upload sends.
TEST(Plot, PolarAxesRingsAndUploadedDots) {
    const std::vector<SkyPoint> sent = uploadedPoints(novaPassText(
        "Pass", {At("2026-12-08 19:29:00", 123.4, 0), At("2026-12-08 19:30:00", 123.4, 0.2),
                 At("2026-12-08 19:30:10", 125.0, 2.6), At("2026-12-08 19:30:20", 126.1, 2.4),
                 At("2026-12-08 19:30:30", 128.0, 6.0)}));
    // The AOS line stays on the early line's grid point and is not sent; 2.4 degrees is 0 again.
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(std::tuple(sent[0].azimuthDeg, sent[1].elevationDeg, sent[2].elevationDeg,
                         sent[3].azimuthDeg),
              std::tuple(125, 5, 0, 130));
    const QString svg = QString::fromUtf8(passPlotSvg(
        {"ISS", {{0, 0}, {90, 0}, {180, 90}, {270, 45}}, "AOS 19:30:00", "LOS 19:40:00", sent}));
    EXPECT_TRUE(svg.contains("points=\"300.0,80.0 470.0,250.0 300.0,250.0 215.0,250.0\""));
    EXPECT_EQ(std::tuple(svg.count("class=\"ring\""), svg.count("class=\"sent\"")),
              std::tuple(3, 4));
    for (const char* s :
         {"r=\"113.3\"", ">AOS 19:30:00</text>", ">LOS 19:40:00</text>", ">ISS</text>"})
        EXPECT_TRUE(svg.contains(s)) << s;
}

// Each pass: the early line a minute before AOS at the AOS azimuth and elevation 0, then AOS,
// every step, LOS; the file reads back with as many points.
TEST(Plan, LinesFromAosToLos) {
    const QByteArray tle =
        "1 25544U 98067A   08264.51782528 -.00002182  00000-0 -11606-4 0  2927\n"
        "2 25544  51.6416 247.4627 0006703 130.5360 325.0288 15.72125391563537\n";
    const PassPlan plan =
        planPasses(tle, {"25544", {52.1, 5.12, 0}, Utc("2008-09-20 12:00:00"), 24, 10, 7});
    EXPECT_EQ(plan.status, PassesOk) << plan.error.toStdString();
    EXPECT_EQ(plan.satellite, "25544"); // a set without a name line
    EXPECT_NEAR(plan.ageDays, -0.018, 0.001);
    ASSERT_GE(plan.passes.size(), 2u);
    for (const PlannedPass& p : plan.passes) {
        ASSERT_GE(p.lines.size(), 3u);
        EXPECT_GE(p.maxElevationDeg, 10);
        EXPECT_EQ(std::tuple(p.lines[0].utcSeconds, p.lines[0].azimuthDeg, p.lines[0].elevationDeg),
                  std::tuple(p.aos - 60, p.lines[1].azimuthDeg, 0.0));
        EXPECT_EQ(std::pair(p.lines[1].utcSeconds, p.lines.back().utcSeconds),
                  std::pair(p.aos, p.los));
        EXPECT_NEAR(p.lines[1].azimuthDeg, p.aosAzimuthDeg, 0.1);
        for (size_t i = 2; i + 1 < p.lines.size(); ++i)
            EXPECT_EQ(p.lines[i].utcSeconds - p.lines[i - 1].utcSeconds, 7);
        EXPECT_LE(p.los - p.lines[p.lines.size() - 2].utcSeconds, 7);
        EphemerisTable table;
        ASSERT_EQ(loadPassText(p.text, table), PassFormat::Nova);
        EXPECT_EQ(int(table.points.size()), int(p.lines.size()));
    }
}

} // namespace
} // namespace ravik
