#include "parsers.h"
#include "errors.h"
#include "numbers.h"
#include <algorithm>
#include <climits>
#include <string_view>

namespace ravik {
namespace {

// Both formats stop once the entry with this index has been filled.
constexpr int LastPointIndex = EphemerisTable::Capacity - 1;

// InstantTrack's abbreviations are the first three letters of these, so "May" serves both.
constexpr std::array<std::u16string_view, 12> FullMonthNames = {
    u"January", u"February", u"March",     u"April",   u"May",      u"June",
    u"July",    u"August",   u"September", u"October", u"November", u"December"};

// 1 to 12 for a month name (exact case) cut to `letters` characters, 0 for anything else.
int MonthNumber(QStringView token, size_t letters) {
    const std::u16string_view text(token.utf16(), size_t(token.size()));
    for (size_t i = 0; i < FullMonthNames.size(); ++i) {
        if (text == FullMonthNames[i].substr(0, letters))
            return int(i + 1);
    }
    return 0;
}

[[noreturn]] void Fail(qint64 line, const QString& what) {
    throw RunTimeError(QStringLiteral("line %1: %2").arg(line).arg(what).toStdString());
}

// A token quoted in a message; a line can hold a token of 32,767 characters.
QString Quoted(QStringView text) {
    constexpr qsizetype Shown = 40;
    return text.size() <= Shown ? text.toString()
                                : text.left(Shown).toString() + QStringLiteral("...");
}

// The number at the start of the text, checked to be one a double can hold.
double Number(QStringView text, const char* field, qint64 line) {
    try {
        return LeadingNumber(text);
    } catch (const RunTimeError&) {
        Fail(line, QStringLiteral("%1 %2 is not a usable number").arg(field, Quoted(text)));
    }
}

// The number at the start of the text, rounded into a 16-bit field.
int16_t Field(QStringView text, const char* field, qint64 line) {
    const double value = Number(text, field, line);
    try {
        return RoundToInt16(value);
    } catch (const RunTimeError&) {
        Fail(line, QStringLiteral("%1 %2 does not fit").arg(field, Quoted(text)));
    }
}

// Only blanks are trimmed: a tab before "===" makes the line no marker.
bool IsMarkerLine(QStringView line) {
    qsizetype blanks = 0;
    while (blanks < line.size() && line[blanks] == u' ')
        ++blanks;
    return line.sliced(blanks).startsWith(u"===");
}

} // namespace

void FillMonthNameTable(MonthNames& names) {
    names[0].clear();
    for (size_t i = 0; i < FullMonthNames.size(); ++i)
        names[i + 1] = QStringView(FullMonthNames[i]).toString();
}

bool IsMonthName(const QString& token, const MonthNames& names) {
    return std::count(names.begin() + 1, names.end(), token) == 1;
}

void Parse_InstantTrack(LineReader& reader, TokenList& tokens, EphemerisTable& table) {
    table.PointCount = 0;
    table.Loaded = false;
    for (int header = 1; header <= 2; ++header) {
        if (reader.atEnd())
            Fail(header, QStringLiteral("the file ends inside the header"));
        reader.readLine();
    }
    // Date DDMonYYYY, time HHMM, azimuth, elevation, then columns that are not read.
    while (!reader.atEnd() && table.PointCount <= LastPointIndex) {
        const int n = TokenizeLine(reader.readLine(), tokens);
        const QStringView date = tokens[0];
        const QStringView time = tokens[1];
        if (n < 7 || !IsNumeric(time))
            continue;
        const qint64 line = reader.lineNumber();
        // In this order, so that a failure leaves the entry filled as far as it got.
        EphemerisPoint& p = table.Points[size_t(table.PointCount)];
        p.Elevation = Field(tokens[3], "elevation", line);
        p.Azimuth = Field(tokens[2], "azimuth", line);
        p.Second = 0;
        p.Minute = Field(time.right(2), "minute", line);
        p.Hour = Field(time.left(2), "hour", line);
        p.Year = Field(date.right(4), "year", line);
        p.Day = Field(date.left(2), "day", line);
        p.Month = int16_t(MonthNumber(date.mid(2, 3), 3));
        ++table.PointCount;
    }
    table.Loaded = true;
}

void Parse_Nova(LineReader& reader, TokenList& tokens, EphemerisTable& table,
                const MonthNames& monthNames) {
    table.PointCount = 0;
    table.Loaded = false;
    if (reader.atEnd())
        Fail(1, QStringLiteral("the file is empty"));
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
        if (const int m = MonthNumber(monthName, 12))
            month = int16_t(m);
        year = yearText;
        yearField = NotConverted;
        day = Field(dayText, "day", line);
    };

    while (!reader.atEnd() && table.PointCount <= LastPointIndex) {
        QString text = reader.readLine();
        const bool marker = IsMarkerLine(text);
        const int n = TokenizeLine(std::move(text), tokens);
        const qint64 line = reader.lineNumber();

        // A long line names the month among its first tokens, followed by the day and the year.
        if (n > 25) {
            for (int k = 1; k <= 12; ++k) {
                if (IsMonthName(tokens[k], monthNames)) {
                    setDate(tokens[k], tokens[k + 1], tokens[k + 2], line);
                    break;
                }
            }
        }
        // A marker line ends with the month, the day and the year.
        if (n < 10 && marker) {
            if (n < 3)
                Fail(line, QStringLiteral("a date marker needs a month, a day and a year"));
            setDate(tokens[n - 3], tokens[n - 2], tokens[n - 1], line);
        }
        // A data line: hour, minute, second, azimuth, elevation, then columns that are not read.
        if (n >= 9 && n < 25 && IsNumeric(tokens[0]) && IsNumeric(tokens[1])) {
            EphemerisPoint& p = table.Points[size_t(table.PointCount)];
            p.Elevation = Field(tokens[4], "elevation", line);
            p.Azimuth = Field(tokens[3], "azimuth", line);
            p.Second = Field(tokens[2], "second", line);
            p.Minute = Field(tokens[1], "minute", line);
            p.Hour = Field(tokens[0], "hour", line);
            p.Day = day;
            p.Month = month;
            if (yearField == NotConverted)
                yearField = Field(year, "year", line);
            p.Year = int16_t(yearField);
            ++table.PointCount;
        }
    }
    table.Loaded = true;
}

} // namespace ravik
