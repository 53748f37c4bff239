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

// A pass file in memory, read line by line: lines are written with "\n" and stored with CR LF,
// as the tracking programs write them.
struct InMemory {
    QBuffer buffer;
    LineReader reader{buffer};
    explicit InMemory(QByteArray text) {
        buffer.setData(text.replace('\n', "\r\n"));
        buffer.open(QIODevice::ReadOnly);
    }
};
const char* const Names[] = {"Neither", "InstantTrack", "Nova"}; // by PassFormat
QString Show(const EphemerisPoint& p) {
    return QString::asprintf("%d/%d/%d %d:%d:%d %d %d", p.year, p.month, p.day, p.hour, p.minute,
                             p.second, p.azimuth, p.elevation);
}
template <class F> QString Catch(F&& run) try {
    return run(), QString();
} catch (const RunTimeError& e) {
    return QString::fromStdString(e.what());
}

struct Loader {
    Tokens tokens;
    EphemerisTable table;
    MonthNames months;
    Loader() { fillMonthNames(months); }
    // "<points>: <last point>" when the parser finished (Loaded), else "<reason> (<points> kept)".
    QString Parse(Parser parser, LineReader& reader) {
        const QString error = Catch([&] {
            parser == IT ? parseInstantTrack(reader, tokens, table)
                         : parseNova(reader, tokens, table, months);
        });
        EXPECT_EQ(table.loaded, error.isEmpty());
        const QString n = QString::number(table.points.size());
        return !error.isEmpty()       ? error + " (" + n + " kept)"
               : table.points.empty() ? n
                                      : n + ": " + Show(table.points.back());
    }
    // From 3 points loaded: the format, or "error: " and the reason; then the points and Loaded.
    QString Load(const QString& name) {
        table.points.resize(3), table.loaded = true;
        PassFormat f = PassFormat::Neither;
        const QString e = Catch([&] { f = loadPassFile(name, tokens, table, months); });
        return (e.isEmpty() ? QString(Names[int(f)]) : "error: " + e) +
               (table.fileName == name ? " " : " wrong name ") +
               QString::asprintf("%d %d", int(table.points.size()), table.loaded);
    }
};
QString Parse(Parser parser, const QByteArray& text) {
    InMemory file(text);
    return Loader().Parse(parser, file.reader);
}

// "L N9 N2 format"
QString Detect(const QByteArray& text) {
    InMemory file(text);
    Tokens tokens;
    const Detection d = detectFormat(file.reader, tokens);
    EXPECT_EQ(d.recognised, d.nineCharacter + d.twoCharacter);
    return QString::asprintf("%d %d %d %s", d.lines, d.nineCharacter, d.twoCharacter,
                             Names[int(d.format)]);
}

const QByteArray Nine = "05Dec2002 2315 183.4 12.6 1523 -0.8 45\n"; // first token: 9 characters
const QByteArray Two = "23:15:30 183.4 12.6 1523.4 -0.82 45.1\n";   // first token: 2 characters
const QByteArray Other = "Time Azim Elev\n";                        // first token: neither

TEST(detectFormat, CountsAndDecision) {
    const std::pair<QByteArray, const char*> rows[] = {
        // Line 52 on is never read; 26 of 51 is no majority, 27 is.
        {Two.repeated(26) + Other.repeated(25) + Nine.repeated(9), "51 0 26 Neither"},
        {Two.repeated(27) + Other.repeated(24), "51 0 27 Nova"},
        {Other.repeated(3) + Two.repeated(4), "7 0 4 Neither"}, // half of 7 is 3.5, to even 4
        {Other.repeated(4) + Two.repeated(5), "9 0 5 Nova"},    // half of 9 is 4.5, to even 4
        {Nine, "1 1 0 InstantTrack"},
        {Nine + "\n\n" + Other + "\n", "5 3 0 InstantTrack"}, // empty lines count like the last
        {QByteArray("\0\xb0", 2) + Nine + "\xe9\xe9" + Two,
         "2 1 1 Nova"}, // a tie; NUL, 8-bit separate
    };
    for (const auto& [text, outcome] : rows)
        EXPECT_EQ(Detect(text), outcome) << outcome;
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
    const QString marker = "a date marker needs a month, a day and a year";
    // clang-format off
    const std::tuple<Parser, QByteArray, QString> rows[] = {
        {IT, "h\nh\n05Dec2002  2315  183.4  12.6  1523  -0.8  45\n", "1: 2002/12/5 23:15:0 183 13"},
        {IT, "h\nh\n05Dec2002 912 183 12 1 2 3\n", "1: 2002/12/5 91:12:0 183 12"},
        {IT, QByteArray("h\nh\n05Jan2003\0 1200 \xb0 10.2\xb0 20.7\xb0 1 2 3\n", 40),
         "1: 2003/1/5 12:0:0 10 21"}, // NUL and 8-bit bytes separate
        {IT, "h\nh\n05Dec2002 2315 183 12 1 2\n", "0"},
        {IT, "h\nh\n05Dec2002 Time 183 12 1 2 3\n", "0"},
        {IT, Nine.repeated(2), "0"}, // the two header lines are never data
        {IT, "", "line 1: the file ends inside the header (0 kept)"},
        {IT, Nine, "line 2: the file ends inside the header (0 kept)"},
        {IT, "h\nh\n" + Nine + "05Dec2002 2316 1e6 12 1 2 3\n", "line 4: azimuth 1e6 does not fit (1 kept)"},
        {IT, "h\nh\n05Dec2002 2315 183 1e400 1 2 3\n", "line 3: elevation 1e400 is not a usable number (0 kept)"},
        {IT, "h\nh\n05Dec1e99 2315 183 12 1 2 3\n", "line 3: year 1e99 does not fit (0 kept)"},
        {NV, "t\n" + M + "Time Azim Elev\n" + D, "1: 2002/12/5 23:15:30 183 13"},
        {NV, "t\n" + D, nodate},
        {NV, M + D, nodate}, // the first line is never examined
        {NV, "t\n" + M + "===== Pass 3 of 5 =====\n" + D, "1: 5/12/0 23:15:30 183 13"},
        {NV, "t\n   " + M + D, "1: 2002/12/5 23:15:30 183 13"},
        {NV, "t\n\t" + M + D, nodate}, // a tab is no blank
        {NV, "t\n=== a b c d e f g December 5 2002\n" + D, nodate}, // 10 tokens: no marker
        {NV, "t\n=== 10 20 30 40 50 60 December 5 2002\n", "1: 2002/12/5 10:20:30 40 50"},
        {NV, "t\n" + M + "=== Brumaire 7 2004\n" + D, "1: 2004/12/7 23:15:30 183 13"},
        {NV, "t\n" + Long(26, 12) + D, after},
        {NV, "t\n" + Long(26, 13) + D, nodate},
        {NV, "t\n" + Long(25, 1) + D, nodate},
        {NV, "t\n" + Numeric(9) + Numeric(24), "2: 2001/1/1 23:15:30 183 13"},
        {NV, "t\n" + Numeric(8) + Numeric(25), "0"},
        {NV, "t\n12 Time 30 183 12 1 2 3 4\n", "0"},
        {NV, "", "line 1: the file is empty (0 kept)"},
        {NV, "t\n" + D + "=== 5 2002\n", "line 3: " + marker + " (1 kept)"},
        {NV, "t\n23 15 1e6 183 12 1 2 3 4\n", "line 2: second 1e6 does not fit (0 kept)"},
        {NV, "t\n=== May 1 1e6\n" + D, "line 3: year 1e6 does not fit (0 kept)"},
        {NV, "t\n=== May 1 1e400\n" + D, "line 3: year 1e400 is not a usable number (0 kept)"},
        {NV, "t\n=== May 5 1e999\n" + M + D, "1: 2002/12/5 23:15:30 183 13"}, // no point takes it
        {NV, "t\n=== May 40000 2002\n", "line 2: day 40000 does not fit (0 kept)"},
    };
    // clang-format on
    for (const auto& [parser, text, outcome] : rows)
        EXPECT_EQ(Parse(parser, text), outcome) << text.left(60).toStdString();
}

// 12,000 data lines: entries 0 to 10,000 are filled and the rest of the file is not read.
TEST(Parsers, StopAfter10001Points) {
    for (auto [parser, header, format, last] :
         {std::tuple{IT, "h\nh\n", "05Dec2002 %02d%02d 100 %d 1 2 3\n", "2002/12/5 22:40:0 100 10"},
          {NV, "t\n", "%02d %02d 00 100 %d 1 2 3 4\n", "2001/1/1 22:40:0 100 10"}}) {
        QByteArray text = header;
        for (int i = 0; i < 12000; ++i)
            text += QString::asprintf(format, i / 60 % 24, i % 60, i % 90).toLatin1();
        InMemory file(text);
        EXPECT_EQ(Loader().Parse(parser, file.reader), QString("10001: ") + last);
        EXPECT_EQ(file.reader.lineNumber(), QByteArray(header).count('\n') + 10001);
    }
}

// A failure empties nothing but Loaded; Neither leaves the table as it was. The loader runs as an
// unprivileged user, whom permission bits bind. The outcome ends with the points and Loaded after.
TEST(loadPassFile, UnusableNames) {
    QTemporaryDir dir("/tmp/ravik-pass-XXXXXX");
    chmod(QFile::encodeName(dir.path()).constData(), 0755);
    WriteFile(dir.filePath("neither.out"), "Title\r\nTime Azim Elev\r\n");
    WriteFile(dir.filePath("one-line.out"), Nine);
    chmod(QFile::encodeName(WriteFile(dir.filePath("secret.out"), Two)).constData(), 0);
    // A FIFO without a writer: opened the ordinary way, it would wait for ever.
    mkfifo(QFile::encodeName(dir.filePath("fifo.out")).constData(), 0666);
    const std::pair<QString, const char*> rows[] = {
        {"", "error: no file name was given 3 0"},
        {dir.filePath("missing.out"), "error: the file does not exist 3 0"},
        {dir.path(), "error: the name is a directory, not a file 3 0"},
        {"/dev/zero", "error: the name is not a regular file 3 0"},
        {dir.filePath("fifo.out"), "error: the name is not a regular file 3 0"},
        {dir.filePath("neither.out"), "Neither 3 0"},
        {dir.filePath("one-line.out"), "error: line 2: the file ends inside the header 0 0"},
        {dir.filePath("secret.out"), "error: the file cannot be opened: Permission denied 3 0"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(AsNobody([&] { return Loader().Load(row.first); }), row.second);
}

// A line of 1 GiB made up as it is read: nothing of it is stored, and it counts as one line cut
// to the cap before it is tokenized.
TEST(HostileInput, OneGibibyteLine) {
    for (const char* step : {"Neither", "line 2: the file ends inside the header (0 kept)", "0"}) {
        GeneratedDevice device("", qint64(1) << 30);
        LineReader reader(device);
        Loader l;
        const bool detect = *step == 'N';
        EXPECT_EQ(detect ? Names[int(detectFormat(reader, l.tokens).format)]
                         : l.Parse(*step == 'l' ? IT : NV, reader),
                  step);
        EXPECT_EQ(reader.lineNumber(), 1);
        EXPECT_TRUE(reader.atEnd());
        EXPECT_EQ(l.tokens.first().size(), detect ? LineReader::MaxLineLength : 0);
    }
}

// The cases an operator's files bring (grid near north and the horizon, repeated times, the skip
// rules) are checked as bytes on the wire in the window's tests; these are the edges beyond them.
// Points as "year month day hour minute second azimuth elevation", separated by ",".
// The lines sent after conditioning, or the failure.
QByteArray Sent(const char* points) {
    EphemerisTable t{{}, true, {}};
    for (const QByteArray& p : QByteArray(points).split(',')) {
        EphemerisPoint& e = t.points.emplace_back();
        sscanf(p.constData(), "%hd %hd %hd %hd %hd %hd %hd %hd", &e.year, &e.month, &e.day, &e.hour,
               &e.minute, &e.second, &e.azimuth, &e.elevation);
    }
    QByteArray out = Catch([&] { conditionTable(t); }).toLatin1();
    for (int i : out.isEmpty() ? pointsToSend(t) : std::vector<int>{})
        out += formatEphemerisLine(t, i);
    return out;
}

TEST(Conditioning, Edges) {
    // clang-format off
    const std::pair<const char*, const char*> rows[] = {
        {"-3 -1 0 7 59 5 361 5", "-3/-1/00 07:59:05 360 5\r"},
        {"-32768 100 32767 0 0 0 32767 32767", "-32768/100/32767 00:00:00 32765 32765\r"},
        {"2002 1 1 0 0 0 -32767 -32767", ""}, // -32765: below the horizon
        {"2002 1 1 0 0 0 10 -32768", "point 0: elevation -32768 leaves the 5-degree grid's range"},
        // The second belongs to the time: 10:04:30 then 10:04:00 twice.
        {"2002 3 15 10 4 30 10 0, 2002 3 15 10 4 0 20 0, 2002 3 15 10 4 0 30 0",
         "2002/03/15 10:04:30 10 0\r2002/03/15 10:04:00 20 0\r2002/03/15 10:04:30 30 0\r"},
        // Point 0 at 0/0 and midnight is sent; a later 0/0 repeats it, -5 is below the horizon.
        {"2002 1 1 0 0 0 0 0, 2002 1 1 0 1 0 0 0, 2002 1 1 0 2 0 0 -5, 2002 1 1 0 3 0 0 5",
         "2002/01/01 00:00:00 0 0\r2002/01/01 00:03:00 0 5\r"},
    };
    // clang-format on
    for (const auto& [points, sent] : rows)
        EXPECT_EQ(Sent(points), sent) << points;
}

} // namespace
} // namespace ravik
