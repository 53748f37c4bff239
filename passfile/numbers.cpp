#include "numbers.h"
#include "errors.h"
#include <QVarLengthArray>
#include <algorithm>
#include <charconv>
#include <string>

namespace ravik {
namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Where the leading number of a text ends (0 when there is none), and the power of ten of its
// first significant digit plus one, which tells a number too large for a double from one too
// small.
struct Scan {
    qsizetype length = 0;
    int64_t magnitude = 0;
};

Scan scanNumber(QStringView text) {
    const qsizetype size = text.size();
    qsizetype pos = 0;
    if (pos < size && (text[pos] == u'+' || text[pos] == u'-'))
        ++pos;
    qsizetype digits = 0;
    int64_t magnitude = 0;
    bool point = false;
    bool significant = false;
    for (; pos < size; ++pos) {
        if (isDigit(text[pos])) {
            ++digits;
            significant = significant || text[pos] != u'0';
            if (significant && !point)
                ++magnitude;
            else if (!significant && point)
                --magnitude;
        } else if (text[pos] == u'.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return {};
    // The exponent counts only when it is complete: "1e" and "1e+" read as 1.
    if (pos < size && (text[pos] == u'e' || text[pos] == u'E')) {
        qsizetype e = pos + 1;
        const bool negative = e < size && text[e] == u'-';
        if (e < size && (text[e] == u'+' || text[e] == u'-'))
            ++e;
        if (e < size && isDigit(text[e])) {
            int64_t exponent = 0; // saturated: it only has to tell huge from tiny
            for (; e < size && isDigit(text[e]); ++e)
                exponent =
                    std::min<int64_t>(exponent * 10 + (text[e].unicode() - u'0'), 1'000'000'000);
            magnitude += negative ? -exponent : exponent;
            pos = e;
        }
    }
    return {pos, magnitude};
}

} // namespace

double leadingNumber(QStringView text) {
    const Scan scan = scanNumber(text);
    if (scan.length == 0)
        return 0.0;
    QVarLengthArray<char, 32> ascii(scan.length); // short numbers fit without an allocation
    for (qsizetype i = 0; i < scan.length; ++i)
        ascii[i] = char(text[i].unicode()); // ASCII: the scan took nothing else
    // from_chars reads "." whatever the locale, and knows no "+".
    const char* const first = ascii.data() + (ascii[0] == '+' ? 1 : 0);
    double value = 0.0;
    if (std::from_chars(first, ascii.data() + ascii.size(), value).ec == std::errc())
        return value;
    if (scan.magnitude > 0)
        throw RunTimeError(
            "number too large: " +
            std::string(ascii.data(), size_t(std::min<qsizetype>(ascii.size(), 40))));
    return ascii[0] == '-' ? -0.0 : 0.0; // too small: it means zero
}

bool isNumeric(QStringView text) {
    return !text.isEmpty() && scanNumber(text).length == text.size();
}

int16_t roundToInt16(double value) {
    // Everything from -32768.5 (which rounds to the even -32768) up to, not including, 32767.5
    // (which would round to 32768) fits; NaN fails both comparisons.
    if (!(value >= -32768.5 && value < 32767.5))
        throw RunTimeError("number out of range: " + std::to_string(value));
    // Half to even without the floating-point rounding mode: value - whole is exact. Added up,
    // not branched on: which way an angle rounds follows no pattern a branch could learn.
    const int whole = int(value); // toward zero
    const double rest = value - whole;
    const bool odd = whole & 1;
    const int up = (rest > 0.5) | ((rest == 0.5) & odd);
    const int down = (rest < -0.5) | ((rest == -0.5) & odd);
    return int16_t(whole + up - down);
}

} // namespace ravik
