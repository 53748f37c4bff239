#include "conditioning.h"
#include "errors.h"
#include "passfile.h"
#include "tempfiles.h"
#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace ravik {
namespace {

enum Parser { IT, NV };

// Lines are written with "\n" and stored with CR LF, as the tracking programs write them.
QByteArray CrLf(QByteArray text) {
    return text.replace('\n', "\r\n");
}
// A pass file in memory, read line by line.
struct InMemory {
    QBuffer buffer;
    LineReader reader{buffer};
    explicit InMemory(const QByteArray& text) {
        buffer.setData(CrLf(text));
        buffer.open(QIODevice::ReadOnly);
    }
};
const char* Name(PassFormat f) {
    return f == PassFormat::Nova           ? "Nova"
           : f == PassFormat::InstantTrack ? "InstantTrack"
                                           : "Neither";
}
QString Show(const EphemerisPoint& p) {
    return QString::asprintf("%d/%d/%d %d:%d:%d %d %d", p.Year, p.Month, p.Day, p.Hour, p.Minute,
                             p.Second, p.Azimuth, p.Elevation);
}
template <class F> QString Catch(F&& run) {
    try {
        run();
        return {};
    } catch (const RunTimeError& e) {
        return QString::fromStdString(e.what());
    }
}

// "<points>: <last point>" when the parser finished (Loaded), else "<reason> (<points> kept)".
QString Parse(Parser parser, const QByteArray& text, int* linesRead = nullptr) {
    InMemory file(text);
    LineReader& reader = file.reader;
    TokenList tokens;
    MonthNames months;
    FillMonthNameTable(months);
    EphemerisTable t;
    const QString error = Catch([&] {
        parser == IT ? Parse_InstantTrack(reader, tokens, t)
                     : Parse_Nova(reader, tokens, t, months);
    });
    if (linesRead)
        *linesRead = reader.lineNumber();
    EXPECT_EQ(t.Loaded, error.isEmpty());
    const QString n = QString::number(t.PointCount);
    return !error.isEmpty() ? error + " (" + n + " kept)"
           : t.PointCount   ? n + ": " + Show(t.Points[t.PointCount - 1])
                            : n;
}

// "L N9 N2 format"
QString Detect(const QByteArray& text, TokenList tokens = {}) {
    InMemory file(text);
    const Detection d = DetectFormat(file.reader, tokens);
    EXPECT_EQ(d.T, d.N9 + d.N2);
    return QString::asprintf("%d %d %d %s", d.L, d.N9, d.N2, Name(d.format));
}

const QByteArray Nine = "05Dec2002 2315 183.4 12.6 1523 -0.8 45\n"; // first token: 9 characters
const QByteArray Two = "23:15:30 183.4 12.6 1523.4 -0.82 45.1\n";   // first token: 2 characters
const QByteArray Other = "Time Azim Elev\n";                        // first token: neither

TEST(DetectFormat, CountsAndDecision) {
    const struct {
        QByteArray text;
        const char* outcome;
    } rows[] = {
        {"", "0 0 0 Neither"},
        {Two.repeated(26) + Other.repeated(25), "51 0 26 Neither"},
        {Two.repeated(27) + Other.repeated(24), "51 0 27 Nova"},
        {Two.repeated(26) + Other.repeated(25) + Nine.repeated(9), "51 0 26 Neither"}, // 52+ unread
        {Nine.repeated(20) + Two.repeated(20) + Other.repeated(11), "51 20 20 Nova"},  // tie
        {Nine.repeated(21) + Two.repeated(20) + Other.repeated(10), "51 21 20 InstantTrack"},
        {Other.repeated(3) + Two.repeated(4), "7 0 4 Neither"},
        {Other.repeated(3) + Two.repeated(5), "8 0 5 Nova"},
        {Other.repeated(5) + Two.repeated(4), "9 0 4 Neither"}, // half of 9 is 4.5, to even 4
        {Other.repeated(4) + Two.repeated(5), "9 0 5 Nova"},
        {Nine, "1 1 0 InstantTrack"},
        {Nine + "\n\n" + Other + "\n", "5 3 0 InstantTrack"}, // empty lines count like the last
        {"=========\n==\n" + Two, "3 0 1 Neither"},           // separators only count in neither
        {"abcdefghi\nxy\n", "2 1 1 Nova"},                    // length alone decides
        {QByteArray("\0\xb0", 2) + Nine + "\xe9\xe9" + Two, "2 1 1 Nova"}, // NUL, 8-bit separate
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.outcome);
        EXPECT_EQ(Detect(row.text), row.outcome);
    }
    TokenList leftover; // an empty first line counts like what the list holds
    leftover[0] = "123456789";
    EXPECT_EQ(Detect("\n" + Two, leftover), "2 1 1 Nova");
}

// A line of `n` tokens with `word` as token `at`, followed by the day 6 and the year 2003.
QByteArray Long(int n, int at, const QByteArray& word = "December") {
    QByteArray line;
    for (int i = 0; i < n; ++i)
        line += (i == at ? word : QByteArray(i == at + 1 ? "6" : i == at + 2 ? "2003" : "w")) + ' ';
    return line + '\n';
}
// A data line of `n` numeric tokens starting with the hour and minute.
QByteArray Numeric(int n) {
    return "23 15 30 183.4 12.6" + QByteArray(" 1").repeated(n - 5) + '\n';
}

TEST(Parsers, EdgeTable) {
    const QByteArray M = "===== Thursday, December 5, 2002 =====\n";
    const QByteArray D = "23:15:30  183.4  12.6  1523.4  -0.82  45.1  -12.3  5.5  0.25\n";
    const QString nodate = "1: 2001/1/1 23:15:30 183 13"; // Nova data before any date
    const QString after = "1: 2003/12/6 23:15:30 183 13"; // after the long date line
    const struct {
        Parser parser;
        QByteArray text;
        QString outcome;
    } rows[] = {
        {IT, "h\nh\n05Dec2002  2315  183.4  12.6  1523  -0.8  45\n", "1: 2002/12/5 23:15:0 183 13"},
        {IT, "h\nh\n05DEC2002 2315 183 12 1 2 3\n", "1: 2002/0/5 23:15:0 183 12"},
        {IT, "h\nh\n5Dec2002 2315 183 12 1 2 3\n", "1: 2002/0/5 23:15:0 183 12"},
        {IT, "h\nh\n05 2315 183 12 1 2 3\n", "1: 5/0/5 23:15:0 183 12"},
        {IT, "h\nh\n05Dec0002 2315 183 12 1 2 3\n", "1: 2/12/5 23:15:0 183 12"},
        {IT, "h\nh\n05Dec2002 0905 183 12 1 2 3\n", "1: 2002/12/5 9:5:0 183 12"},
        {IT, "h\nh\n05Dec2002 905 183 12 1 2 3\n", "1: 2002/12/5 90:5:0 183 12"},
        {IT, QByteArray("h\nh\n05Jan2003\0 1200 \xb0 10.2\xb0 20.7\xb0 1 2 3\n", 40),
         "1: 2003/1/5 12:0:0 10 21"}, // NUL and 8-bit bytes separate
        {IT, "h\nh\n05Dec2002 2315 183 12 1 2\n", "0"},
        {IT, "h\nh\n05Dec2002 Time 183 12 1 2 3\n", "0"},
        {IT, "h\nh\n05Dec2002 2315 183 12 1 2 3\n\nx\n", "1: 2002/12/5 23:15:0 183 12"},
        {IT, Nine.repeated(2), "0"}, // the two header lines are never data
        {IT, "", "line 1: the file ends inside the header (0 kept)"},
        {IT, Nine, "line 2: the file ends inside the header (0 kept)"},
        {IT, "h\nh\n" + Nine + "05Dec2002 2316 1e6 12 1 2 3\n",
         "line 4: azimuth 1e6 does not fit (1 kept)"},
        {IT, "h\nh\n05Dec2002 2315 183 1e400 1 2 3\n",
         "line 3: elevation 1e400 is not a usable number (0 kept)"},
        {IT, "h\nh\n05Dec1e99 2315 183 12 1 2 3\n", "line 3: year 1e99 does not fit (0 kept)"},
        {NV, "t\n" + M + "Time Azim Elev\n" + D, "1: 2002/12/5 23:15:30 183 13"},
        {NV, "t\n" + D, nodate},
        {NV, M + D, nodate}, // the first line is never examined
        {NV, "t\n" + M + "===== Pass 3 of 5 =====\n" + D, "1: 5/12/0 23:15:30 183 13"},
        {NV, "t\n   " + M + D, "1: 2002/12/5 23:15:30 183 13"},
        {NV, "t\n\t" + M + D, nodate}, // a tab is no blank
        {NV, "t\n=== a b c d e f g December 5 2002\n" + D, nodate},
        {NV, "t\n=== 10 20 30 40 50 60 December 5 2002\n", "1: 2002/12/5 10:20:30 40 50"},
        {NV, "t\n===== December 5, 02 =====\n" + D, "1: 2/12/5 23:15:30 183 13"},
        {NV, "t\n=== December 5 2002.5\n" + D, "1: 2002/12/5 23:15:30 183 13"},
        {NV, "t\n" + M + "=== Brumaire 7 2004\n" + D, "1: 2004/12/7 23:15:30 183 13"},
        {NV, "t\n" + Long(26, 1) + D, after},
        {NV, "t\n" + Long(26, 12) + D, after},
        {NV, "t\n" + Long(26, 13) + D, nodate},
        {NV, "t\n" + Long(26, 0) + D, nodate},
        {NV, "t\n" + Long(25, 1) + D, nodate},
        {NV, "t\n" + Long(30, 1, "december") + D, nodate},
        {NV, "t\n" + Numeric(9), nodate},
        {NV, "t\n" + Numeric(24), nodate},
        {NV, "t\n" + Numeric(8), "0"},
        {NV, "t\n" + Numeric(25), "0"},
        {NV, "t\n12 Time 30 183 12 1 2 3 4\n", "0"},
        {NV, "t\n- 3 +7 30 183 12 1 2 3 4\n", "1: 2001/1/1 -3:7:30 183 12"},
        {NV, "t\n" + D + "\n", nodate},
        {NV, "", "line 1: the file is empty (0 kept)"},
        {NV, "t\n" + D + "=== 2002 ===\n",
         "line 3: a date marker needs a month, a day and a year (1 kept)"},
        {NV, "t\n======\n", "line 2: a date marker needs a month, a day and a year (0 kept)"},
        {NV, "t\n=== 5 2002\n", "line 2: a date marker needs a month, a day and a year (0 kept)"},
        {NV, "t\n23 15 30 1e6 12 1 2 3 4\n", "line 2: azimuth 1e6 does not fit (0 kept)"},
        {NV, "t\n=== May 1 1e6\n" + D, "line 3: year 1e6 does not fit (0 kept)"},
        {NV, "t\n=== May 1 1e400\n" + D, "line 2: year 1e400 is not a usable number (0 kept)"},
        {NV, "t\n=== May 40000 2002\n", "line 2: day 40000 does not fit (0 kept)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text.left(60).toStdString());
        EXPECT_EQ(Parse(row.parser, row.text), row.outcome);
    }
}

// 12,000 data lines: entries 0 to 10,000 are filled and the rest of the file is not read.
TEST(Parsers, StopAfter10001Points) {
    for (auto [parser, header, format, last] :
         {std::tuple{IT, "h\nh\n", "05Dec2002 %02d%02d 100 %d 1 2 3\n", "2002/12/5 22:40:0 100 10"},
          {NV, "t\n", "%02d %02d 00 100 %d 1 2 3 4\n", "2001/1/1 22:40:0 100 10"}}) {
        QByteArray text = header;
        for (int i = 0; i < 12000; ++i)
            text += QString::asprintf(format, i / 60 % 24, i % 60, i % 90).toLatin1();
        int lines = 0;
        EXPECT_EQ(Parse(parser, text, &lines), QString("10001: ") + last);
        EXPECT_EQ(lines, QByteArray(header).count('\n') + 10001);
    }
}

struct Loader {
    TokenList tokens;
    EphemerisTable table;
    MonthNames months;
    Loader() { FillMonthNameTable(months); }
    // The format, or "error: " and the reason.
    QString Load(const QString& name) {
        PassFormat f = PassFormat::Neither;
        const QString e = Catch([&] { f = LoadPassFile(name, tokens, table, months); });
        return e.isEmpty() ? QString(Name(f)) : "error: " + e;
    }
};

// A failure empties nothing but Loaded; Neither leaves the table as it was. The unreadable file
// is tried as an unprivileged user, whom permission bits bind.
TEST(LoadPassFile, UnusableNames) {
    QTemporaryDir dir("/tmp/ravik-pass-XXXXXX");
    chmod(QFile::encodeName(dir.path()).constData(), 0755);
    WriteFile(dir.filePath("neither.out"), CrLf("Title\nTime Azim Elev\n"));
    WriteFile(dir.filePath("one-line.out"), CrLf(Nine));
    const QString secret = WriteFile(dir.filePath("secret.out"), CrLf("t\n" + Two));
    chmod(QFile::encodeName(secret).constData(), 0);
    const struct {
        QString name;
        const char* outcome;
    } rows[] = {
        {"", "error: no file name was given"},
        {dir.filePath("missing.out"), "error: the file does not exist"},
        {dir.path(), "error: the name is a directory, not a file"},
        {"/dev/zero", "error: the name is not a regular file"},
        {dir.filePath("neither.out"), "Neither"},
        {dir.filePath("one-line.out"), "error: line 2: the file ends inside the header"},
        {secret, "error: the file cannot be opened: Permission denied"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        EXPECT_EQ(AsNobody([&] { return Loader().Load(row.name); }), row.outcome);
        if (row.name == secret)
            continue; // root would read it
        Loader loader;
        loader.table.PointCount = 3;
        loader.table.Loaded = true;
        EXPECT_EQ(loader.Load(row.name), row.outcome);
        EXPECT_EQ(loader.table.PassFileName, row.name);
        EXPECT_FALSE(loader.table.Loaded);
        EXPECT_EQ(loader.table.PointCount, QString(row.outcome).startsWith("error: line") ? 0 : 3);
    }
}

// The file is read twice; whatever the second read finds is parsed or refused, never trusted.
TEST(LoadPassFile, FileChangesBetweenDetectionAndParsing) {
    const struct {
        QByteArray now; // "-": removed
        const char* outcome;
    } rows[] = {
        {"", "line 1: the file is empty (0)"},
        {"Title\n23 15 30 1 2 3 4 5 6\n", " (1)"},
        {"h\nh\n05Dec2002 2315 183.4 12.6 1523 -0.8 45\n", " (0)"}, // now InstantTrack
        {"-", "the file does not exist (0)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.outcome);
        QTemporaryDir dir;
        const QString path = WriteFile(dir.filePath("pass.out"), CrLf("t\n" + Two.repeated(3)));
        Loader l;
        const Detection detection = DetectPassFile(path, l.tokens);
        ASSERT_EQ(detection.format, PassFormat::Nova);
        QFile::remove(path);
        if (row.now != "-")
            WriteFile(path, CrLf(row.now));
        const QString error =
            Catch([&] { ParsePassFile(path, detection.format, l.tokens, l.table, l.months); });
        EXPECT_EQ(error + " (" + QString::number(l.table.PointCount) + ")", row.outcome);
        EXPECT_EQ(l.table.Loaded, error.isEmpty());
    }
}

// A line of 1 GiB made up as it is read: nothing of it is stored, and it counts as one line cut
// to the cap before it is tokenized.
TEST(HostileInput, OneGibibyteLine) {
    for (const char* step : {"detection", "line 2: the file ends inside the header", ""}) {
        SCOPED_TRACE(step);
        GeneratedDevice device("", qint64(1) << 30);
        LineReader reader(device);
        Loader l;
        const QString error = Catch([&] {
            if (step == QString("detection"))
                EXPECT_EQ(DetectFormat(reader, l.tokens).format, PassFormat::Neither);
            else if (*step)
                Parse_InstantTrack(reader, l.tokens, l.table);
            else
                Parse_Nova(reader, l.tokens, l.table, l.months);
        });
        EXPECT_EQ(error, step == QString("detection") ? "" : step);
        EXPECT_EQ(reader.lineNumber(), 1);
        EXPECT_TRUE(reader.atEnd());
        EXPECT_EQ(l.table.PointCount, 0);
        EXPECT_EQ(l.tokens[0].size(), step == QString("detection") ? LineReader::MaxLineLength : 0);
    }
}

// The cases an operator's files bring (grid near north and the horizon, repeated times, the skip
// rules) are checked as bytes on the wire in the window's tests; these are the edges beyond them.
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
    QByteArray out = Catch([&] { ConditionTable(t); }).toLatin1();
    if (!out.isEmpty())
        return out;
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

} // namespace
} // namespace ravik
