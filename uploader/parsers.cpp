#include "parsers.h"
#include "errors.h"
#include "numbers.h"
#include <optional>
#include <string_view>

namespace ravik {
namespace {

// Both formats stop once the entry with this index has been filled.
constexpr int LastPointIndex = EphemerisTable::Capacity - 1;

// The full month names. The InstantTrack abbreviations are their first three letters, so "May"
// is one constant that serves both lists.
constexpr std::array<std::u16string_view, 12> FullMonthNames = {
    u"January", u"February", u"March",     u"April",   u"May",      u"June",
    u"July",    u"August",   u"September", u"October", u"November", u"December"};

// Three characters in one integer, so an abbreviation is found with plain comparisons.
constexpr uint64_t Key3(char16_t a, char16_t b, char16_t c) {
    return uint64_t(a) | uint64_t(b) << 16 | uint64_t(c) << 32;
}

constexpr std::array<uint64_t, 12> AbbreviationKeys = [] {
    std::array<uint64_t, 12> keys{};
    for (size_t i = 0; i < keys.size(); ++i) {
        keys[i] = Key3(FullMonthNames[i][0], FullMonthNames[i][1], FullMonthNames[i][2]);
    }
    return keys;
}();

// The second and third letters of the twelve abbreviations differ in their low five bits, so
// those ten bits pick the only month a token can be; the full key then decides.
constexpr size_t AbbreviationSlot(char16_t second, char16_t third) {
    return (size_t(second) & 31) << 5 | (size_t(third) & 31);
}

constexpr std::array<uint8_t, 1024> AbbreviationSlots = [] {
    std::array<uint8_t, 1024> table{};
    for (size_t i = 0; i < 12; ++i) {
        uint8_t& slot = table[AbbreviationSlot(FullMonthNames[i][1], FullMonthNames[i][2])];
        if (slot != 0) {
            throw "two abbreviations share a slot"; // stops the compilation
        }
        slot = uint8_t(i + 1);
    }
    return table;
}();

// 1 to 12 for an abbreviation ("Jan" to "Dec", exact case), 0 for anything else.
int AbbreviationNumber(QStringView token) {
    if (token.size() != 3) {
        return 0;
    }
    const auto* c = token.utf16();
    const int month = AbbreviationSlots[AbbreviationSlot(c[1], c[2])];
    return month != 0 && AbbreviationKeys[size_t(month - 1)] == Key3(c[0], c[1], c[2]) ? month : 0;
}

// 1 to 12 for a full month name (exact case), 0 for anything else.
int FullMonthNumber(QStringView token) {
    for (int i = 0; i < 12; ++i) {
        if (token == QStringView(FullMonthNames[size_t(i)])) {
            return i + 1;
        }
    }
    return 0;
}

// IsMonthName for a token that is not a QString of its own.
bool IsMonthNameView(QStringView token, const MonthNames& names) {
    int count = 0;
    for (int i = 1; i <= 12; ++i) {
        if (QStringView(names[size_t(i)]) == token) {
            ++count;
        }
    }
    return count == 1;
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

// Numbers the fast road leaves open: long ones, exponents, and the failures.
[[gnu::noinline]] int16_t SlowField(QStringView text, const char* field, int line) {
    return FieldFromNumber(NumberAt(text, field, line), text, field, line);
}

// The number at the start of the text, rounded into a 16-bit field.
inline int16_t Field(QStringView text, const char* field, int line) {
    if (const auto quick = ReadShortNumber(text)) {
        return quick->value;
    }
    return SlowField(text, field, line);
}

// Field, with plain digits read in place: days, years and Nova's seconds usually are.
inline int16_t DigitsField(QStringView text, const char* field, int line) {
    unsigned value = 0;
    return PlainDigits(text.utf16(), text.size(), value) ? int16_t(value)
                                                         : Field(text, field, line);
}

// A token that must be numeric and then becomes a field: one reading serves both when the
// fast road knows the number.
struct NumericField {
    QStringView text;
    std::optional<ShortNumber> quick;

    explicit NumericField(QStringView token) : text(token) {
        unsigned value = 0;
        quick = PlainDigits(token.utf16(), token.size(), value)
                    ? ShortNumber{int16_t(value), int16_t(token.size())}
                    : ReadShortNumber(token);
    }
    bool numeric() const {
        return quick ? quick->length == text.size() && !text.isEmpty() : IsNumeric(text);
    }
    int16_t field(const char* name, int line) const {
        return quick ? quick->value : SlowField(text, name, line);
    }
};

void SkipHeaderLine(LineReader& reader) {
    if (reader.atEnd()) {
        Fail(reader.lineNumber() + 1, QStringLiteral("the file ends inside the header"));
    }
    reader.readLine();
}

bool StartsWithMarker(QStringView line) {
    // Only blanks are trimmed: a tab before "===" makes the line no marker.
    const char16_t* p = line.utf16();
    const char16_t* const end = p + line.size();
    while (p != end && *p == u' ') {
        ++p;
    }
    return end - p >= 3 && p[0] == u'=' && p[1] == u'=' && p[2] == u'=';
}

} // namespace

void FillMonthNameTable(MonthNames& names) {
    names[0].clear();
    for (size_t i = 0; i < 12; ++i) {
        names[i + 1] = QStringView(FullMonthNames[i]).toString();
    }
}

bool IsMonthName(const QString& token, const MonthNames& names) {
    return IsMonthNameView(token, names);
}

void Parse_InstantTrack(LineReader& reader, TokenList& tokenList, EphemerisTable& table) {
    table.PointCount = 0;
    table.Loaded = false;
    SkipHeaderLine(reader);
    SkipHeaderLine(reader);

    DeferredTokenList tokens(tokenList);
    while (!reader.atEnd() && table.PointCount <= LastPointIndex) {
        const int n = tokens.tokenize(reader.readLine());
        if (n < 7) {
            continue;
        }
        const QStringView time = tokens[1];
        // Four plain digits, as the format writes the time, give the hour and minute at once.
        unsigned hhmm = 0;
        const bool plainTime = PlainDigits(time.utf16(), time.size(), hhmm) && time.size() == 4;
        if (!plainTime && !NumericField(time).numeric()) {
            continue;
        }
        const int number = reader.lineNumber();
        const QStringView date = tokens[0];
        // Filled in this order so that a failure leaves the same partial entry behind.
        EphemerisPoint& p = table.Points[table.PointCount];
        p.Elevation = Field(tokens[3], "elevation", number);
        p.Azimuth = Field(tokens[2], "azimuth", number);
        p.Second = 0;
        p.Minute = plainTime ? int16_t(hhmm % 100) : Field(time.right(2), "minute", number);
        p.Hour = plainTime ? int16_t(hhmm / 100) : Field(time.left(2), "hour", number);
        p.Year = DigitsField(date.right(4), "year", number);
        p.Day = DigitsField(date.left(2), "day", number);
        p.Month = static_cast<int16_t>(AbbreviationNumber(date.mid(2, 3)));
        ++table.PointCount;
    }
    table.Loaded = true;
}

void Parse_Nova(LineReader& reader, TokenList& tokenList, EphemerisTable& table,
                const MonthNames& monthNames) {
    table.PointCount = 0;
    table.Loaded = false;
    if (reader.atEnd()) {
        Fail(1, QStringLiteral("the file is empty"));
    }
    reader.readLine(); // the title

    // The date of the data lines: the year keeps any fraction until a point takes it, and a
    // year too large for its field fails only when a point takes it.
    double year = 2001;
    QString yearText = QStringLiteral("2001");
    int16_t yearField = 2001;
    bool yearFits = true;
    int16_t month = 1;
    int16_t day = 1;
    const auto setYear = [&](QStringView text, int number) {
        year = NumberAt(text, "year", number);
        yearText = text.toString();
        yearFits = year >= -32768.5 && year < 32767.5; // as RoundToInt16 checks
        yearField = yearFits ? RoundToInt16(year) : 0;
    };

    DeferredTokenList tokens(tokenList);
    while (!reader.atEnd() && table.PointCount <= LastPointIndex) {
        QString line = reader.readLine();
        const bool marker = StartsWithMarker(line);
        const int n = tokens.tokenize(std::move(line));
        const int number = reader.lineNumber();

        if (n > 25) {
            for (int k = 1; k <= 12; ++k) {
                if (IsMonthNameView(tokens[k], monthNames)) {
                    if (const int m = FullMonthNumber(tokens[k])) {
                        month = static_cast<int16_t>(m);
                    }
                    setYear(tokens[k + 2], number);
                    day = Field(tokens[k + 1], "day", number);
                    break;
                }
            }
        }

        if (n < 10 && marker) {
            if (n < 3) {
                Fail(number, QStringLiteral("a date marker needs a month, a day and a year"));
            }
            if (const int m = FullMonthNumber(tokens[n - 3])) {
                month = static_cast<int16_t>(m);
            }
            setYear(tokens[n - 1], number);
            day = Field(tokens[n - 2], "day", number);
        }

        if (n >= 9 && n < 25) {
            const NumericField hour(tokens[0]);
            if (!hour.numeric()) {
                continue;
            }
            const NumericField minute(tokens[1]);
            if (!minute.numeric()) {
                continue;
            }
            EphemerisPoint& p = table.Points[table.PointCount];
            p.Elevation = Field(tokens[4], "elevation", number);
            p.Azimuth = Field(tokens[3], "azimuth", number);
            p.Second = DigitsField(tokens[2], "second", number);
            p.Minute = minute.field("minute", number);
            p.Hour = hour.field("hour", number);
            p.Day = day;
            p.Month = month;
            p.Year = yearFits ? yearField : FieldFromNumber(year, yearText, "year", number);
            ++table.PointCount;
        }
    }
    table.Loaded = true;
}

} // namespace ravik
