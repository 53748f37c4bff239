#pragma once
#include <QStringView>
#include <cstdint>

namespace ravik {

// The value of the longest leading decimal number of a text: optional sign, digits with at most
// one ".", optional exponent (E or e, optional sign, digits). No such number gives 0, so "nan",
// "inf" and "0x1A" read as 0. Throws RunTimeError when the number is too large for a double.
double leadingNumber(QStringView text);

// True when the whole text is one such number (at least one digit before the exponent).
bool isNumeric(QStringView text);

// Rounds to the nearest integer, an exact half to the even neighbour. Throws RunTimeError when
// the result lies outside -32768..32767 or the value is not finite.
int16_t roundToInt16(double value);

} // namespace ravik
