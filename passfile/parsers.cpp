#include "parsers.h"
#include "errors.h"
#include "numbers.h"
#include <algorithm>
#include <climits>
#include <string_view>

namespace ravik {
namespace {

// InstantTrack's abbreviations are the first three letters of these, so "May" serves both.
constexpr std::array<std::u16string_view, 12> FullMonthNames = {
    u"January", u"February", u"March",     u"April",   u"May",      u"June",
    u"July",    u"August",   u"September", u"October", u"November", u"December"};

// 1 to 12 for a month name (exact case) cut to `letters` characters, 0 for anything else.
int monthNumber(QStringView token, size_t letters) {
    const std::u16string_view text(token.utf16(), size_t(token.size()));
    for (size_t i = 0; i < FullMonthNames.size(); ++i) {
        if (text == FullMonthNames[i].substr(0, letters))
            return int(i + 1);
    }
    return 0;
}

[[noreturn]] void fail(qint64 line, const QString& what) {
    throw RunTimeError(QStringLiteral("line %1: %2").arg(line).arg(what).toStdString());
}

// A token quoted in a message; a line can hold a token of 32,767 characters.
QString quoted(QStringView text) {
    constexpr qsizetype Shown = 40;
    return text.size() <= Shown ? text.toString()
                                : text.left(Shown).toString() + QStringLiteral("...");
}

// The number at the start of the text, checked to be one a double can hold.
double readNumberField(QStringView text, const char* field, qint64 line) {
    try {
        return leadingNumber(text);
    } catch (const RunTimeError&) {
        fail(line, QStringLiteral("%1 %2 is not a usable number").arg(field, quoted(text)));
    }
}

// The number at the start of the text, rounded into a 16-bit field.
int16_t readField(QStringView text, const char* field, qint64 line) {
    const double value = readNumberField(text, field, line);
    try {
        return roundToInt16(value);
    } catch (const RunTimeError&) {
        fail(line, QStringLiteral("%1 %2 does not fit").arg(field, quoted(text)));
    }
}

// Only blanks are trimmed: a tab before "===" makes the line no marker.
bool isMarkerLine(QStringView line) {
    qsizetype blanks = 0;
    while (blanks < line.size() && line[blanks] == u' ')
        ++blanks;
    return line.sliced(blanks).startsWith(u"===");
}

} // namespace

void fillMonthNames(MonthNames& names) {
    names[0].clear();
    for (size_t i = 0; i < FullMonthNames.size(); ++i)
        names[i + 1] = QStringView(FullMonthNames[i]).toString();
}

bool isMonthName(const QString& token, const MonthNames& names) {
    return std::count(names.begin() + 1, names.end(), token) == 1;
}

void parseInstantTrack(LineReader& reader, Tokens& tokens, EphemerisTable& table) {
    table.points.clear();
    table.loaded = false;
    for (int header = 1; header <= 2; ++header) {
        if (reader.atEnd())
            fail(header, QStringLiteral("the file ends inside the header"));
        reader.readLine();
    }
    // Date DDMonYYYY, time HHMM, azimuth, elevation, then columns that are not read.
    while (!reader.atEnd() && table.points.size() < EphemerisTable::MaxPoints) {
        const int n = int(tokens.split(reader.readLine()));
        if (n < 7 || !isNumeric(tokens[1]))
            continue;
        const QStringView date = tokens[0];
        const QStringView time = tokens[1];
        const qint64 line = reader.lineNumber();
        EphemerisPoint p;
        p.elevation = readField(tokens[3], "elevation", line);
        p.azimuth = readField(tokens[2], "azimuth", line);
        p.second = 0;
        p.minute = readField(time.right(2), "minute", line);
        p.hour = readField(time.left(2), "hour", line);
        p.year = readField(date.right(4), "year", line);
        p.day = readField(date.left(2), "day", line);
        p.month = int16_t(monthNumber(date.mid(2, 3), 3));
        table.points.push_back(p);
    }
    table.loaded = true;
}

void parseNova(LineReader& reader, Tokens& tokens, EphemerisTable& table,
               const MonthNames& monthNames) {
    table.points.clear();
    table.loaded = false;
    if (reader.atEnd())
        fail(1, QStringLiteral("the file is empty"));
    reader.readLine(); // the title

    // The date of the data lines. The year is kept as written: it may carry a fraction, and one
    // too large for its field, or even for a double, fails only when a point takes it.
    QString year = QStringLiteral("2001");
    constexpr int NotConverted = INT_MIN; // no 16-bit field
    int yearField = NotConverted;         // the year converted, by the first point that takes it
    int16_t month = 1;
    int16_t day = 1;
    const auto setDate = [&](const QString& monthName, const QString& dayText,
                             const QString& yearText, qint64 line) {
        if (const int m = monthNumber(monthName, 12))
            month = int16_t(m);
        year = yearText;
        yearField = NotConverted;
        day = readField(dayText, "day", line);
    };

    while (!reader.atEnd() && table.points.size() < EphemerisTable::MaxPoints) {
        QString text = reader.readLine();
        const bool marker = isMarkerLine(text);
        const int n = int(tokens.split(text));
        const qint64 line = reader.lineNumber();

        // A long line names the month among its first tokens, followed by the day and the year.
        if (n > 25) {
            for (int k = 1; k <= 12; ++k) {
                if (isMonthName(tokens[k], monthNames)) {
                    setDate(tokens[k], tokens[k + 1], tokens[k + 2], line);
                    break;
                }
            }
        }
        // A marker line ends with the month, the day and the year.
        if (n < 10 && marker) {
            if (n < 3)
                fail(line, QStringLiteral("a date marker needs a month, a day and a year"));
            setDate(tokens[n - 3], tokens[n - 2], tokens[n - 1], line);
        }
        // A data line: hour, minute, second, azimuth, elevation, then columns that are not read.
        if (n >= 9 && n < 25 && isNumeric(tokens[0]) && isNumeric(tokens[1])) {
            EphemerisPoint p;
            p.elevation = readField(tokens[4], "elevation", line);
            p.azimuth = readField(tokens[3], "azimuth", line);
            p.second = readField(tokens[2], "second", line);
            p.minute = readField(tokens[1], "minute", line);
            p.hour = readField(tokens[0], "hour", line);
            p.day = day;
            p.month = month;
            if (yearField == NotConverted)
                yearField = readField(year, "year", line);
            p.year = int16_t(yearField);
            table.points.push_back(p);
        }
    }
    table.loaded = true;
}

} // namespace ravik
