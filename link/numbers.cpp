#include "numbers.h"
#include "errors.h"
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace ravik {

namespace {

inline bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// The longest leading decimal number of a text, as found by one scan.
struct Scan {
    qsizetype length = 0; // 0 when the text does not start with a number
    bool negative = false;
    uint64_t mantissa = 0;  // the digits without the point, while they are few enough
    int significant = 0;    // digits from the first non-zero one on
    qsizetype fraction = 0; // digits after the point
    int64_t exponent = 0;   // saturated, it only has to tell "huge" from "small"
};

Scan ScanNumber(QStringView text) {
    Scan s;
    const auto* p = text.utf16();
    const qsizetype size = text.size();
    qsizetype pos = 0;
    if (pos < size && (p[pos] == u'+' || p[pos] == u'-'))
        s.negative = p[pos++] == u'-';
    qsizetype digits = 0;
    bool point = false;
    for (; pos < size; ++pos) {
        const char16_t c = p[pos];
        if (IsDigit(c)) {
            ++digits;
            if (point)
                ++s.fraction;
            if (s.significant > 0 || c != u'0') {
                if (++s.significant <= 19)
                    s.mantissa = s.mantissa * 10 + (c - u'0');
            }
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return Scan{};
    // The exponent counts only when it is complete: "1e" and "1e+" read as 1.
    if (pos < size && (p[pos] == u'e' || p[pos] == u'E')) {
        qsizetype e = pos + 1;
        bool negativeExponent = false;
        if (e < size && (p[e] == u'+' || p[e] == u'-'))
            negativeExponent = p[e++] == u'-';
        if (e < size && IsDigit(p[e])) {
            for (; e < size && IsDigit(p[e]); ++e)
                s.exponent = std::min<int64_t>(s.exponent * 10 + (p[e] - u'0'), 1'000'000'000);
            if (negativeExponent)
                s.exponent = -s.exponent;
            pos = e;
        }
    }
    s.length = pos;
    return s;
}

// The "C" locale, so a host locale with a decimal comma cannot change what a file means.
locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return c;
}

// Any number the scan accepted, converted with correct rounding by the library.
double SlowConversion(QStringView text, qsizetype length) {
    std::string ascii(size_t(length), '\0');
    for (qsizetype i = 0; i < length; ++i)
        ascii[size_t(i)] = char(text[i].unicode()); // plain ASCII by construction
    // from_chars knows no "+" and reads the decimal point whatever the locale.
    const size_t skip = ascii[0] == '+' ? 1 : 0;
    double value = 0.0;
    const auto [end, error] = std::from_chars(ascii.data() + skip, ascii.data() + length, value);
    if (error == std::errc::result_out_of_range) {
        // Too large or too small; strtod tells which.
        value = strtod_l(ascii.c_str(), nullptr, CLocale());
        if (std::isinf(value))
            throw RunTimeError("number too large: " + ascii.substr(0, 40));
        return value; // an underflow reads as 0 or a denormal, which is what the text means
    }
    if (error != std::errc() || end != ascii.data() + length)
        throw RunTimeError("unreadable number: " + ascii.substr(0, 40)); // the scan prevents it
    return value;
}

constexpr double ExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Enough for the 15 digits of the fast road.
constexpr uint64_t IntegerPowersOfTen[] = {1,
                                           10,
                                           100,
                                           1000,
                                           10000,
                                           100000,
                                           1000000,
                                           10000000,
                                           100000000,
                                           1000000000,
                                           10000000000,
                                           100000000000,
                                           1000000000000,
                                           10000000000000,
                                           100000000000000,
                                           1000000000000000};

} // namespace

double LeadingNumber(QStringView text) {
    const Scan s = ScanNumber(text);
    if (s.length == 0)
        return 0.0;
    if (s.mantissa == 0 && s.significant == 0)
        return s.negative ? -0.0 : 0.0;
    // Pass files hold short numbers: up to 15 digits and a small power of ten are exact doubles,
    // and one multiplication or division of exact doubles is correctly rounded.
    const int64_t power = s.exponent - int64_t(s.fraction);
    if (s.significant <= 15 && power >= -22 && power <= 22) {
        double value = double(s.mantissa);
        value = power < 0 ? value / ExactPowersOfTen[-power] : value * ExactPowersOfTen[power];
        return s.negative ? -value : value;
    }
    return SlowConversion(text, s.length);
}

bool IsNumeric(QStringView text) {
    return !text.isEmpty() && ScanNumber(text).length == text.size();
}

std::optional<ShortNumber> ReadShortDecimal(QStringView text) {
    const char16_t* const begin = text.utf16();
    const char16_t* const end = begin + text.size();
    const char16_t* p = begin;
    const bool negative = p != end && *p == u'-';
    if (p != end && (*p == u'+' || *p == u'-')) {
        ++p;
    }
    const char16_t* const digitsStart = p;
    const char16_t* point = nullptr;
    uint64_t mantissa = 0; // the digits without the point; wraps harmlessly beyond 15 of them
    for (; p != end; ++p) {
        const unsigned d = unsigned(*p) - u'0';
        if (d <= 9) {
            mantissa = mantissa * 10 + d;
        } else if (*p == u'.' && point == nullptr) {
            point = p;
        } else {
            break;
        }
    }
    const qsizetype digits = (p - digitsStart) - (point != nullptr ? 1 : 0);
    if (digits == 0) {
        return ShortNumber{0, 0};
    }
    if (digits > 15 || (p != end && (*p | 0x20) == u'e')) {
        return std::nullopt;
    }
    // Half to even, on the magnitude: the even neighbour is the same for -x as for x.
    uint64_t whole = mantissa;
    const qsizetype fraction = point != nullptr ? p - point - 1 : 0;
    if (fraction > 0) {
        // One decimal is the usual case, and a division by a constant is cheap.
        const uint64_t scale = fraction == 1 ? 10 : IntegerPowersOfTen[fraction];
        whole = fraction == 1 ? mantissa / 10 : mantissa / scale;
        const uint64_t rest = mantissa - whole * scale;
        if (rest > scale / 2 || (rest == scale / 2 && (whole & 1))) {
            ++whole;
        }
    }
    if (whole > (negative ? 32768u : 32767u)) {
        return std::nullopt;
    }
    // At most a sign, 15 digits and a point: the length fits.
    return ShortNumber{int16_t(negative ? -int(whole) : int(whole)), int16_t(p - begin)};
}

int16_t RoundToInt16(double value) {
    // Everything from -32768.5 (which rounds to the even -32768) up to, not including, 32767.5
    // (which would round to 32768) fits; NaN fails both comparisons.
    if (!(value >= -32768.5 && value < 32767.5))
        throw RunTimeError("number out of range: " + std::to_string(value));
    // Half to even without the floating-point rounding mode or libm: value - whole is exact.
    int whole = int(value); // toward zero
    const double rest = value - whole;
    if (rest > 0.5 || (rest == 0.5 && (whole & 1)))
        ++whole;
    else if (rest < -0.5 || (rest == -0.5 && (whole & 1)))
        --whole;
    return int16_t(whole);
}

} // namespace ravik
