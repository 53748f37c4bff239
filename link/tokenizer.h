#pragma once
#include <QString>
#include <array>
#include <cstdint>

namespace ravik {

// The tokens of the last line split. Entries at and above the returned count keep what earlier
// lines left there; callers (settings reader, format detection, parsers) rely on that.
using TokenList = std::array<QString, 101>;

// Splits a line into runs of letters, digits, "+", "." and "-"; a lone sign joins the token that
// follows it; at most 100 raw tokens are taken. Returns the token count (0 to 100). With n >= 1,
// entry n holds a second copy of entry n-1; with n == 0 nothing changes.
int16_t TokenizeLine(QString line, TokenList& tokens);

} // namespace ravik
