#include "parsers.h"
#include "errors.h"
#include "numbers.h"

namespace ravik {
namespace {

// Both formats stop once the entry with this index has been filled.
constexpr int LastPointIndex = EphemerisTable::Capacity - 1;

// "May" is both an abbreviation and a full name; one constant serves both lists.
const QString May = QStringLiteral("May");

const std::array<QString, 12> MonthAbbreviations = {QStringLiteral("Jan"),
                                                    QStringLiteral("Feb"),
                                                    QStringLiteral("Mar"),
                                                    QStringLiteral("Apr"),
                                                    May,
                                                    QStringLiteral("Jun"),
                                                    QStringLiteral("Jul"),
                                                    QStringLiteral("Aug"),
                                                    QStringLiteral("Sep"),
                                                    QStringLiteral("Oct"),
                                                    QStringLiteral("Nov"),
                                                    QStringLiteral("Dec")};

const std::array<QString, 12> FullMonthNames = {QStringLiteral("January"),
                                                QStringLiteral("February"),
                                                QStringLiteral("March"),
                                                QStringLiteral("April"),
                                                May,
                                                QStringLiteral("June"),
                                                QStringLiteral("July"),
                                                QStringLiteral("August"),
                                                QStringLiteral("September"),
                                                QStringLiteral("October"),
                                                QStringLiteral("November"),
                                                QStringLiteral("December")};

// 1 to 12 for a name of the list, 0 for anything else.
int MonthNumber(QStringView token, const std::array<QString, 12>& list) {
    for (int i = 0; i < 12; ++i) {
        if (token == list[i]) {
            return i + 1;
        }
    }
    return 0;
}

[[noreturn]] void Fail(int line, const QString& what) {
    throw RunTimeError(QStringLiteral("line %1: %2").arg(line).arg(what).toStdString());
}

// A token quoted in a message; a line can hold a token of 32,767 characters.
QString Quoted(QStringView text) {
    constexpr qsizetype Shown = 40;
    return text.size() <= Shown ? text.toString()
                                : text.left(Shown).toString() + QStringLiteral("...");
}

double NumberAt(QStringView text, const char* field, int line) {
    try {
        return LeadingNumber(text);
    } catch (const RunTimeError&) {
        Fail(line, QStringLiteral("%1 %2 is not a usable number").arg(field, Quoted(text)));
    }
}

int16_t FieldFromNumber(double value, QStringView text, const char* field, int line) {
    try {
        return RoundToInt16(value);
    } catch (const RunTimeError&) {
        Fail(line, QStringLiteral("%1 %2 does not fit").arg(field, Quoted(text)));
    }
}

// The number at the start of the text, rounded into a 16-bit field.
int16_t Field(QStringView text, const char* field, int line) {
    return FieldFromNumber(NumberAt(text, field, line), text, field, line);
}

void SkipHeaderLine(LineReader& reader) {
    if (reader.atEnd()) {
        Fail(reader.lineNumber() + 1, QStringLiteral("the file ends inside the header"));
    }
    reader.readLine();
}

bool StartsWithMarker(const QString& line) {
    // Only blanks are trimmed: a tab before "===" makes the line no marker.
    qsizetype i = 0;
    while (i < line.size() && line[i] == u' ') {
        ++i;
    }
    return QStringView(line).mid(i).startsWith(u"===");
}

} // namespace

void FillMonthNameTable(MonthNames& names) {
    names[0].clear();
    for (int i = 0; i < 12; ++i) {
        names[i + 1] = FullMonthNames[i];
    }
}

bool IsMonthName(const QString& token, const MonthNames& names) {
    int count = 0;
    for (int i = 1; i <= 12; ++i) {
        if (names[i] == token) {
            ++count;
        }
    }
    return count == 1;
}

void Parse_InstantTrack(LineReader& reader, TokenList& tokens, EphemerisTable& table) {
    table.PointCount = 0;
    table.Loaded = false;
    SkipHeaderLine(reader);
    SkipHeaderLine(reader);

    while (!reader.atEnd() && table.PointCount <= LastPointIndex) {
        const QString line = reader.readLine();
        const int n = TokenizeLine(line, tokens);
        if (n < 7 || !IsNumeric(tokens[1])) {
            continue;
        }
        const int number = reader.lineNumber();
        const QStringView date = tokens[0];
        const QStringView time = tokens[1];
        // Filled in this order so that a failure leaves the same partial entry behind.
        EphemerisPoint& p = table.Points[table.PointCount];
        p.Elevation = Field(tokens[3], "elevation", number);
        p.Azimuth = Field(tokens[2], "azimuth", number);
        p.Second = 0;
        p.Minute = Field(time.right(2), "minute", number);
        p.Hour = Field(time.left(2), "hour", number);
        p.Year = Field(date.right(4), "year", number);
        p.Day = Field(date.left(2), "day", number);
        p.Month = static_cast<int16_t>(MonthNumber(date.mid(2, 3), MonthAbbreviations));
        ++table.PointCount;
    }
    table.Loaded = true;
}

void Parse_Nova(LineReader& reader, TokenList& tokens, EphemerisTable& table,
                const MonthNames& monthNames) {
    table.PointCount = 0;
    table.Loaded = false;
    if (reader.atEnd()) {
        Fail(1, QStringLiteral("the file is empty"));
    }
    reader.readLine(); // the title

    // The date of the data lines: the year keeps any fraction until a point takes it.
    double year = 2001;
    QString yearText = QStringLiteral("2001");
    int16_t month = 1;
    int16_t day = 1;

    while (!reader.atEnd() && table.PointCount <= LastPointIndex) {
        const QString line = reader.readLine();
        const int n = TokenizeLine(line, tokens);
        const int number = reader.lineNumber();

        if (n > 25) {
            for (int k = 1; k <= 12; ++k) {
                if (IsMonthName(tokens[k], monthNames)) {
                    if (const int m = MonthNumber(tokens[k], FullMonthNames)) {
                        month = static_cast<int16_t>(m);
                    }
                    year = NumberAt(tokens[k + 2], "year", number);
                    yearText = tokens[k + 2];
                    day = Field(tokens[k + 1], "day", number);
                    break;
                }
            }
        }

        if (n < 10 && StartsWithMarker(line)) {
            if (n < 3) {
                Fail(number, QStringLiteral("a date marker needs a month, a day and a year"));
            }
            if (const int m = MonthNumber(tokens[n - 3], FullMonthNames)) {
                month = static_cast<int16_t>(m);
            }
            year = NumberAt(tokens[n - 1], "year", number);
            yearText = tokens[n - 1];
            day = Field(tokens[n - 2], "day", number);
        }

        if (n >= 9 && n < 25 && IsNumeric(tokens[0]) && IsNumeric(tokens[1])) {
            EphemerisPoint& p = table.Points[table.PointCount];
            p.Elevation = Field(tokens[4], "elevation", number);
            p.Azimuth = Field(tokens[3], "azimuth", number);
            p.Second = Field(tokens[2], "second", number);
            p.Minute = Field(tokens[1], "minute", number);
            p.Hour = Field(tokens[0], "hour", number);
            p.Day = day;
            p.Month = month;
            p.Year = FieldFromNumber(year, yearText, "year", number);
            ++table.PointCount;
        }
    }
    table.Loaded = true;
}

} // namespace ravik
