// Pass files written from computed passes must read back through skypass's own reader, whatever
// the pass; stations, times and plots come from what the operator types.
#include "conditioning.h"
#include "passplan.h"
#include "passplot.h"
#include "tempfiles.h"
#include <QDateTime>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace ravik {
namespace {

// The ISS element set of 2008 that every SGP4 introduction quotes.
const QByteArray IssTle =
    "ISS (ZARYA)\r\n"
    "1 25544U 98067A   08264.51782528 -.00002182  00000-0 -11606-4 0  2927\r\n"
    "2 25544  51.6416 247.4627 0006703 130.5360 325.0288 15.72125391563537\r\n";

qint64 Utc(const char* text) {
    return *parseUtc(QString::fromLatin1(text));
}

struct WriterCase {
    const char* name;
    std::vector<PassLine> lines;
    const char* textHas; // a line of the file as written
};

// Lines: time, azimuth, elevation, range, range rate, latitude, longitude, altitude.
const WriterCase WriterCases[] = {
    {"UnderAMinute",
     {{Utc("2026-12-08 19:29:00"), 215.34, 0, 2400, -6.5, 12.3, -45.6, 420},
      {Utc("2026-12-08 19:30:00"), 215.34, 0.02, 2345.64, -6.5432, 12.345, -45.678, 420.12},
      {Utc("2026-12-08 19:30:10"), 214.0, 1.2, 2300, -6.4, 12.9, -45.1, 420},
      {Utc("2026-12-08 19:30:20"), 212.5, 0.6, 2330, 6.4, 13.4, -44.6, 420},
      {Utc("2026-12-08 19:30:25"), 211.1, -0.04, 2350, 6.5, 13.7, -44.4, 420}},
     "19:30:00   215.3    0.0   2345.6  -6.543   12.35  -45.68   420.1\r\n"},
    {"OneSecondAfterTheEarlyLine",
     {{Utc("2026-12-08 10:00:00"), 10, 0, 2400, -6.5, 1, 2, 420},
      {Utc("2026-12-08 10:01:00"), 10, 0, 2400, -6.5, 1, 2, 420}},
     "10:01:00    10.0    0.0   2400.0  -6.500    1.00    2.00   420.0\r\n"},
    {"CrossesMidnight",
     {{Utc("2026-12-31 23:59:40"), 300, 10, 900, -1, 50, 6, 420},
      {Utc("2026-12-31 23:59:50"), 320, 20, 800, -1, 51, 6, 420},
      {Utc("2027-01-01 00:00:00"), 340, 30, 700, 0, 52, 6, 420},
      {Utc("2027-01-01 00:00:10"), 359.96, 20, 800, 1, 53, 6, 420}},
     "===== UT date Friday, January 1, 2027 =====\r\n"},
    {"EarlyLineTheDayBefore",
     {{Utc("2026-02-28 23:59:30"), 0.04, 0, 2400, -6.5, -10, 170, 420},
      {Utc("2026-03-01 00:00:30"), 0.04, 0, 2400, -6.5, -10, 171, 420}},
     "23:59:30     0.0    0.0   2400.0  -6.500  -10.00  170.00   420.0\r\n"},
};

void PrintTo(const WriterCase& c, std::ostream* os) {
    *os << c.name;
}

class Writer : public testing::TestWithParam<WriterCase> {};

// Every line as written comes back from the reader that skypass and ravik-upload use: the date
// and time exactly, the angles to the nearest degree.
TEST_P(Writer, ReadsBackThroughTheNovaReader) {
    const WriterCase& c = GetParam();
    const QByteArray text = novaPassText(QStringLiteral("Pass of TEST (1) at 52N 5E"), c.lines);
    EXPECT_TRUE(text.contains(c.textHas)) << text.toStdString();
    EXPECT_EQ(text.count('\n'), text.count("\r\n"));
    QTemporaryDir dir;
    const QString file = WriteFile(dir.filePath("pass.out"), text);
    TokenList tokens;
    MonthNames months;
    FillMonthNameTable(months);
    EphemerisTable table;
    ASSERT_EQ(LoadPassFile(file, tokens, table, months), PassFormat::Nova) << text.toStdString();
    ASSERT_EQ(table.PointCount, int(c.lines.size()));
    for (size_t i = 0; i < c.lines.size(); ++i) {
        const EphemerisPoint& p = table.Points[i];
        const QDateTime t = QDateTime::fromSecsSinceEpoch(c.lines[i].utcSeconds, Qt::UTC);
        EXPECT_EQ(
            QDateTime(QDate(p.Year, p.Month, p.Day), QTime(p.Hour, p.Minute, p.Second), Qt::UTC), t)
            << i;
        const double az = std::remainder(p.Azimuth - c.lines[i].azimuthDeg, 360.0);
        EXPECT_LE(std::abs(az), 0.55) << i << ": " << p.Azimuth;
        EXPECT_LE(std::abs(p.Elevation - c.lines[i].elevationDeg), 0.55) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Passes, Writer, testing::ValuesIn(WriterCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PassFileName, KeepsOnlySafeCharacters) {
    const qint64 aos = Utc("2026-12-08 19:30:02");
    const std::pair<const char*, const char*> cases[] = {
        {"ISS (ZARYA)", "ISS_(ZARYA)-20261208-193002.out"},
        {"NOAA 19", "NOAA_19-20261208-193002.out"},
        {"AO-7.b/c:d*", "AO-7.b_c_d_-20261208-193002.out"},
        {"25544", "25544-20261208-193002.out"},
    };
    for (const auto& [satellite, name] : cases)
        EXPECT_EQ(passFileName(QString::fromLatin1(satellite), aos), QLatin1String(name));
    EXPECT_EQ(passFileName(QStringLiteral("Ørsted"), aos), "_rsted-20261208-193002.out");
}

struct StationCase {
    const char* text;
    bool qthFile;
    const char* want; // "lat lon height" or the error
};
const StationCase StationCases[] = {
    {"52.1,5.12", false, "52.1 5.12 0"},
    {"-33.9, 18.4 ,-10", false, "-33.9 18.4 -10"},
    {"52.1", false, "--qth needs LAT,LON[,HEIGHT_M] or a .qth file"},
    {"52,5,1,2", false, "--qth needs LAT,LON[,HEIGHT_M] or a .qth file"},
    {"52.1,east", false, "--qth: \"east\" is no number"},
    {"91,0", false, "the latitude must lie between -90 and 90"},
    {"0,-181", false, "the longitude must lie between -180 and 360"},
    {"0,0,30000", false, "the height must lie between -500 and 20000 metres"},
    {"[QTH]\nDESCRIPTION=Home\nLOCATION=Copenhagen\nLAT=55.6167\nLON=12.6500\nALT=5\nWX=EKCH\n",
     true, "55.6167 12.65 5"},
    {"[QTH]\r\nLAT=-34.5\r\nLON=-58.4\r\n", true, "-34.5 -58.4 0"},
    {"[QTH]\nLAT=55.6\nALT=5\n", true, "the .qth file has no LAT or no LON"},
    {"[QTH]\nLAT=north\nLON=12\n", true, "LAT is no number"},
};

TEST(Station, FromNumbersAndQthFiles) {
    for (const StationCase& c : StationCases) {
        QString why;
        const auto s =
            c.qthFile ? parseQth(c.text, &why) : parseStation(QString::fromLatin1(c.text), &why);
        EXPECT_EQ(
            s ? QStringLiteral("%1 %2 %3").arg(s->latitudeDeg).arg(s->longitudeDeg).arg(s->heightM)
              : why,
            QLatin1String(c.want))
            << c.text;
    }
    QTemporaryDir dir;
    QString why;
    const QString qth = WriteFile(dir.filePath("home.qth"), "[QTH]\nLAT=1\nLON=2\nALT=3\n");
    EXPECT_EQ(readStation(qth, &why)->heightM, 3);
    EXPECT_FALSE(readStation(dir.filePath("gone.qth"), &why));
    EXPECT_EQ(why, "--qth: cannot read " + dir.filePath("gone.qth"));
}

TEST(Utc, OnlyRealTimesInTheOneForm) {
    EXPECT_EQ(parseUtc("2026-12-08 19:30:00"), 1796758200);
    EXPECT_EQ(formatUtc(1796758200), "2026-12-08 19:30:00");
    for (const char* bad : {"2026-02-29 00:00:00", "2026-12-08T19:30:00", "2026-12-08 24:00:00",
                            "2026-12-08 19:30", "tomorrow"})
        EXPECT_FALSE(parseUtc(QString::fromLatin1(bad))) << bad;
}

// North up, east right, the zenith in the middle; the dots are the grid points the upload sends.
TEST(Plot, PolarAxesRingsAndUploadedDots) {
    const std::vector<PassLine> lines{
        {Utc("2026-12-08 19:29:00"), 123.4, 0, 1, 1, 1, 1, 1},
        {Utc("2026-12-08 19:30:00"), 123.4, 0.2, 1, 1, 1, 1, 1},
        {Utc("2026-12-08 19:30:10"), 125.0, 2.6, 1, 1, 1, 1, 1},
        {Utc("2026-12-08 19:30:20"), 126.1, 2.4, 1, 1, 1, 1, 1},
        {Utc("2026-12-08 19:30:30"), 128.0, 6.0, 1, 1, 1, 1, 1},
    };
    const std::vector<SkyPoint> sent = uploadedPoints(novaPassText("Pass", lines));
    std::vector<std::pair<double, double>> got;
    for (const SkyPoint& p : sent)
        got.emplace_back(p.azimuthDeg, p.elevationDeg);
    // the AOS line stays on the early line's grid point and is not sent; 2.4 degrees is 0 again
    EXPECT_EQ(got,
              (std::vector<std::pair<double, double>>{{125, 0}, {125, 5}, {125, 0}, {130, 5}}));

    PassPlot plot{"ISS (ZARYA), 2026-12-08 UTC",
                  {{0, 0}, {90, 0}, {180, 90}, {270, 45}},
                  "AOS 19:30:00",
                  "LOS 19:40:00",
                  sent};
    const QString svg = QString::fromUtf8(passPlotSvg(plot));
    EXPECT_TRUE(svg.contains("points=\"300.0,80.0 470.0,250.0 300.0,250.0 215.0,250.0\""))
        << svg.toStdString();
    EXPECT_EQ(svg.count("class=\"ring\""), 3);
    for (const char* r : {"r=\"170.0\"", "r=\"113.3\"", "r=\"56.7\""})
        EXPECT_TRUE(svg.contains(r)) << r;
    EXPECT_EQ(svg.count("class=\"sent\""), 4);
    EXPECT_TRUE(svg.contains(">AOS 19:30:00</text>") && svg.contains(">LOS 19:40:00</text>"));
    EXPECT_TRUE(svg.contains(">ISS (ZARYA), 2026-12-08 UTC</text>"));
}

struct PlanCase {
    const char* name;
    QByteArray tle;
    const char* satellite;
    int status;
    const char* error;
};
const PlanCase PlanCases[] = {
    {"ByName", IssTle, "ISS (ZARYA)", PassesOk, ""},
    {"ByNumber", IssTle.mid(13), "25544", PassesOk, ""},
    {"NotInTheFile", IssTle, "ISS", SatelliteUnusable, "no satellite \"ISS\" in the file"},
    {"Checksum", QByteArray(IssTle).replace("2927", "2928"), "25544", TleUnreadable, "line 2: "},
    {"Empty", "", "25544", TleUnreadable, "no "},
};

void PrintTo(const PlanCase& c, std::ostream* os) {
    *os << c.name;
}

class Plan : public testing::TestWithParam<PlanCase> {};

// Each pass: the early line a minute before AOS at the AOS azimuth and elevation 0, then AOS,
// every step, LOS; the file reads back with as many points.
TEST_P(Plan, LinesFromAosToLos) {
    const PlanCase& c = GetParam();
    PassRequest r{c.satellite, {52.1, 5.12, 0}, Utc("2008-09-20 12:00:00"), 24, 10, 7};
    const PassPlan plan = planPasses(c.tle, r);
    EXPECT_EQ(plan.status, c.status);
    EXPECT_EQ(plan.error.left(qsizetype(strlen(c.error))), QLatin1String(c.error));
    if (c.status != PassesOk)
        return;
    EXPECT_EQ(plan.catalogNumber, 25544);
    EXPECT_NEAR(plan.ageDays, -0.018, 0.001);
    ASSERT_GE(plan.passes.size(), 2u);
    for (const PlannedPass& p : plan.passes) {
        ASSERT_GE(p.lines.size(), 3u);
        EXPECT_GE(p.maxElevationDeg, 10);
        EXPECT_EQ(p.lines[0].utcSeconds, p.aos - 60);
        EXPECT_EQ(p.lines[0].azimuthDeg, p.lines[1].azimuthDeg);
        EXPECT_EQ(p.lines[0].elevationDeg, 0);
        EXPECT_EQ(p.lines[1].utcSeconds, p.aos);
        EXPECT_NEAR(p.lines[1].azimuthDeg, p.aosAzimuthDeg, 0.1);
        EXPECT_EQ(p.lines.back().utcSeconds, p.los);
        for (size_t i = 2; i + 1 < p.lines.size(); ++i)
            EXPECT_EQ(p.lines[i].utcSeconds - p.lines[i - 1].utcSeconds, 7);
        EXPECT_LE(p.lines.back().utcSeconds - p.lines[p.lines.size() - 2].utcSeconds, 7);
        EXPECT_EQ(p.fileName, passFileName(plan.satellite, p.aos));
        EphemerisTable table;
        ASSERT_EQ(loadPassText(p.text, table), PassFormat::Nova);
        EXPECT_EQ(table.PointCount, int(p.lines.size()));
    }
}

INSTANTIATE_TEST_SUITE_P(Tles, Plan, testing::ValuesIn(PlanCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace ravik
