#include "numbers.h"
#include "errors.h"
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace ravik {

namespace {

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Length of the longest leading decimal number of `text`, 0 when there is none.
qsizetype NumberLength(QStringView text) {
    const qsizetype size = text.size();
    qsizetype pos = 0;
    if (pos < size && (text[pos] == u'+' || text[pos] == u'-'))
        ++pos;
    qsizetype digits = 0;
    for (; pos < size && IsDigit(text[pos]); ++pos)
        ++digits;
    if (pos < size && text[pos] == u'.') {
        ++pos;
        for (; pos < size && IsDigit(text[pos]); ++pos)
            ++digits;
    }
    if (digits == 0)
        return 0;
    // The exponent counts only when it is complete: "1e" and "1e+" read as 1.
    if (pos < size && (text[pos] == u'e' || text[pos] == u'E')) {
        qsizetype e = pos + 1;
        if (e < size && (text[e] == u'+' || text[e] == u'-'))
            ++e;
        if (e < size && IsDigit(text[e])) {
            while (e < size && IsDigit(text[e]))
                ++e;
            pos = e;
        }
    }
    return pos;
}

// The "C" locale, so a host locale with a decimal comma cannot change what a file means.
locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return c;
}

} // namespace

double LeadingNumber(QStringView text) {
    const qsizetype length = NumberLength(text);
    if (length == 0)
        return 0.0;
    // The prefix is plain ASCII by construction; short ones, the usual case, stay on the stack.
    char small[64];
    std::string large;
    char* ascii = small;
    if (length >= qsizetype(sizeof small)) {
        large.resize(size_t(length));
        ascii = large.data();
    }
    for (qsizetype i = 0; i < length; ++i)
        ascii[i] = char(text[i].unicode());
    // from_chars knows no "+" and reads the decimal point whatever the locale.
    const char* first = ascii + (ascii[0] == '+' ? 1 : 0);
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, ascii + length, value);
    if (error == std::errc::result_out_of_range) {
        // Too large or too small; strtod tells which (the "C" locale keeps "." the point).
        const std::string copy(ascii, size_t(length));
        value = strtod_l(copy.c_str(), nullptr, CLocale());
        if (std::isinf(value))
            throw RunTimeError("number too large: " + copy.substr(0, 40));
        return value; // an underflow reads as 0 or a denormal, which is what the text means
    }
    if (error != std::errc() || end != ascii + length)
        throw RunTimeError("unreadable number"); // cannot happen for a prefix that passed the scan
    return value;
}

bool IsNumeric(QStringView text) {
    return !text.isEmpty() && NumberLength(text) == text.size();
}

int16_t RoundToInt16(double value) {
    if (!std::isfinite(value))
        throw RunTimeError("number out of range");
    // Half to even without depending on the floating-point rounding mode; value - trunc(value)
    // is exact, so only true halves take the even branch.
    double whole = std::round(value);
    if (std::fabs(value - std::trunc(value)) == 0.5)
        whole = 2.0 * std::round(value / 2.0);
    if (whole < -32768.0 || whole > 32767.0)
        throw RunTimeError("number out of range: " + std::to_string(value));
    return int16_t(whole);
}

} // namespace ravik
