#pragma once
#include "ephemeris.h"
#include "linereader.h"
#include "tokenizer.h"
#include <QString>
#include <array>

namespace ravik {

// The full English month names, entries 1 to 12; entry 0 stays empty.
using MonthNames = std::array<QString, 13>;

void fillMonthNames(MonthNames& names);

// True when exactly one of the entries 1 to 12 equals the token (exact, case-sensitive).
bool isMonthName(const QString& token, const MonthNames& names);

// Reads an InstantTrack prediction from its first line into the table: two header lines, then
// one point per line whose second token is numeric and that has at least 7 tokens, up to
// EphemerisTable::MaxPoints. Replaces the points and, at the end, sets Loaded. Throws RunTimeError
// ("line N: ...") on a failure, leaving the points read so far and Loaded false.
void parseInstantTrack(LineReader& reader, Tokens& tokens, EphemerisTable& table);

// Reads a Nova prediction from its first line into the table: a title line, then date lines
// (long ones and "===" markers) that set the date of the data lines after them. Failures as for
// parseInstantTrack.
void parseNova(LineReader& reader, Tokens& tokens, EphemerisTable& table,
               const MonthNames& monthNames);

} // namespace ravik
