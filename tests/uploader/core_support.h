#pragma once
// Helpers shared by the functional-core tests: pass-file text in memory and parser runs over it.
#include "errors.h"
#include "linereader.h"
#include "parsers.h"
#include <QBuffer>
#include <QByteArray>
#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>

namespace ravik::test {

// Lines joined with CR LF, as the tracking programs write them.
inline QByteArray Lines(std::initializer_list<QByteArray> lines) {
    QByteArray text;
    for (const QByteArray& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

// A literal that may hold NUL bytes.
template <qsizetype N> QByteArray Bytes(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

// A data line of `n` numeric tokens starting with the hour and minute.
inline QByteArray NumericLine(int n) {
    QByteArray line = "23 15 30 183.4 12.6";
    for (int i = 5; i < n; ++i) {
        line += " 1";
    }
    return line;
}

inline void ExpectPoint(const EphemerisPoint& p, const EphemerisPoint& want) {
    EXPECT_EQ(p.Year, want.Year);
    EXPECT_EQ(p.Month, want.Month);
    EXPECT_EQ(p.Day, want.Day);
    EXPECT_EQ(p.Hour, want.Hour);
    EXPECT_EQ(p.Minute, want.Minute);
    EXPECT_EQ(p.Second, want.Second);
    EXPECT_EQ(p.Azimuth, want.Azimuth);
    EXPECT_EQ(p.Elevation, want.Elevation);
}

struct ParseRun {
    std::unique_ptr<EphemerisTable> table = std::make_unique<EphemerisTable>();
    QString error; // empty when the parser finished
    int linesRead = 0;
};

enum class Parser { InstantTrack, Nova };

inline ParseRun Parse(Parser parser, const QByteArray& text) {
    ParseRun run;
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer);
    TokenList tokens;
    MonthNames months;
    FillMonthNameTable(months);
    try {
        if (parser == Parser::InstantTrack) {
            Parse_InstantTrack(reader, tokens, *run.table);
        } else {
            Parse_Nova(reader, tokens, *run.table, months);
        }
    } catch (const RunTimeError& e) {
        run.error = QString::fromStdString(e.what());
    }
    run.linesRead = reader.lineNumber();
    return run;
}

} // namespace ravik::test
