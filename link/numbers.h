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
    int16_t value;  // what RoundToInt16(LeadingNumber(text)) gives
    int16_t length; // characters the number takes; IsNumeric(text) is length == text.size() > 0
};

// The fast road for the numbers pass files are made of ("183.4", "-0.82", "05", "2002"): an
// optional sign and at most 15 digits with at most one ".", not followed by an exponent. With so
// few digits the double of LeadingNumber lies on the same side of every half as the decimal
// text, so rounding the text itself gives the same field. Anything else (more digits, an
// exponent, a result outside -32768..32767) gives nullopt and is left to the functions above,
// which also raise the failures. A text that does not start with a number gives 0 and length 0.
std::optional<ShortNumber> ReadShortDecimal(QStringView text);

// The value of one to four plain digits ("0905" is 905); false for anything else, signs and
// points included. Unrolled by length: each call site reads tokens of one width, so the branch
// is predicted and the digits need no loop.
inline bool PlainDigits(const char16_t* p, qsizetype n, unsigned& value) {
    const auto digit = [p](int i) { return unsigned(p[i]) - u'0'; };
    switch (n) {
    case 1:
        value = digit(0);
        return value <= 9;
    case 2:
        value = digit(0) * 10 + digit(1);
        return (digit(0) <= 9) & (digit(1) <= 9);
    case 3:
        value = digit(0) * 100 + digit(1) * 10 + digit(2);
        return (digit(0) <= 9) & (digit(1) <= 9) & (digit(2) <= 9);
    case 4:
        value = digit(0) * 1000 + digit(1) * 100 + digit(2) * 10 + digit(3);
        return (digit(0) <= 9) & (digit(1) <= 9) & (digit(2) <= 9) & (digit(3) <= 9);
    default:
        return false;
    }
}

// ReadShortDecimal, with the two commonest shapes read in place: one to four plain digits (days,
// hours, minutes, years), and angles of one decimal (an optional minus, one to four digits, a
// point and one digit).
inline std::optional<ShortNumber> ReadShortNumber(QStringView text) {
    const char16_t* const p = text.utf16();
    const qsizetype size = text.size();
    unsigned value = 0;
    if (PlainDigits(p, size, value)) {
        return ShortNumber{int16_t(value), int16_t(size)};
    }
    if (size >= 3 && p[size - 2] == u'.') {
        const bool negative = p[0] == u'-';
        const unsigned last = unsigned(p[size - 1]) - u'0';
        if (last <= 9 && PlainDigits(p + negative, size - 2 - negative, value)) {
            // Half to even: a last digit of 5 is an exact half.
            value += last > 5 || (last == 5 && (value & 1));
            return ShortNumber{int16_t(negative ? -int(value) : int(value)), int16_t(size)};
        }
    }
    return ReadShortDecimal(text);
}

} // namespace ravik
