#pragma once
#include <QStringView>
#include <cstdint>
#include <optional>

namespace ravik {

// The value of the longest leading decimal number of a text: optional sign, digits with at most
// one ".", optional exponent (E or e, optional sign, digits). No such number gives 0, so "nan",
// "inf" and "0x1A" read as 0. Throws RunTimeError when the number is too large for a double.
double LeadingNumber(QStringView text);

// True when the whole text is one such number (at least one digit before the exponent).
bool IsNumeric(QStringView text);

// Rounds to the nearest integer, an exact half to the even neighbour. Throws RunTimeError when
// the result lies outside -32768..32767 or the value is not finite.
int16_t RoundToInt16(double value);

// A short plain number at the start of a text, read with integers alone.
struct ShortNumber {
    int16_t value;    // what RoundToInt16(LeadingNumber(text)) gives
    qsizetype length; // characters the number takes; IsNumeric(text) is length == text.size() > 0
};

// The fast road for the numbers pass files are made of ("183.4", "-0.82", "05", "2002"): an
// optional sign and at most 15 digits with at most one ".", not followed by an exponent. With so
// few digits the double of LeadingNumber lies on the same side of every half as the decimal
// text, so rounding the text itself gives the same field. Anything else (more digits, an
// exponent, a result outside -32768..32767) gives nullopt and is left to the functions above,
// which also raise the failures. A text that does not start with a number gives 0 and length 0.
inline std::optional<ShortNumber> ReadShortNumber(QStringView text) {
    const char16_t* p = text.utf16();
    const qsizetype size = text.size();
    qsizetype pos = 0;
    bool negative = false;
    if (pos < size && (p[pos] == u'+' || p[pos] == u'-')) {
        negative = p[pos] == u'-';
        ++pos;
    }
    uint64_t whole = 0;
    int digits = 0;
    for (; pos < size && p[pos] >= u'0' && p[pos] <= u'9'; ++pos, ++digits) {
        whole = whole * 10 + (p[pos] - u'0');
    }
    unsigned firstFraction = 0;  // the first digit after the point
    bool restOfFraction = false; // a non-zero digit after that one
    if (pos < size && p[pos] == u'.') {
        const qsizetype first = ++pos;
        for (; pos < size && p[pos] >= u'0' && p[pos] <= u'9'; ++pos, ++digits) {
            if (pos == first) {
                firstFraction = p[pos] - u'0';
            } else {
                restOfFraction |= p[pos] != u'0';
            }
        }
    }
    if (digits == 0) {
        return ShortNumber{0, 0};
    }
    if (digits > 15 || (pos < size && (p[pos] == u'e' || p[pos] == u'E'))) {
        return std::nullopt;
    }
    // Half to even, on the magnitude: the even neighbour is the same for -x as for x.
    if (firstFraction > 5 || (firstFraction == 5 && (restOfFraction || (whole & 1)))) {
        ++whole;
    }
    if (whole > (negative ? 32768u : 32767u)) {
        return std::nullopt;
    }
    return ShortNumber{int16_t(negative ? -int(whole) : int(whole)), pos};
}

} // namespace ravik
