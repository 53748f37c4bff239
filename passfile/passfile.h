#pragma once
#include "ephemeris.h"
#include "linereader.h"
#include "parsers.h"
#include "tokenizer.h"
#include <QString>

namespace ravik {

enum class PassFormat { Neither, InstantTrack, Nova };

// What the operator reads about a pass file that is neither format, or cannot be read (the
// file's name follows).
inline const QString NeitherFormatText =
    QStringLiteral("File is neither InstantTrack nor Nova file");
inline const QString CantAccessText = QStringLiteral("Can't access ");

// The counts of the detection pass: lines read (L), lines whose first token has 9 characters
// (N9) or 2 characters (N2), and T = N9 + N2.
struct Detection {
    int lines = 0;
    int nineCharacter = 0;
    int twoCharacter = 0;
    int recognised = 0;
    PassFormat format = PassFormat::Neither;
};

// Reads at most 51 lines and classifies each by the length of its first token (an empty line
// counts like the line before it, see Tokens::first()).
// A format is taken when more than half of the lines (half rounded to even) fall in a class;
// the larger class decides and a tie goes to Nova.
Detection detectFormat(LineReader& reader, Tokens& tokens);

// Opens the pass file and runs detectFormat on it. Throws RunTimeError when the file cannot be
// read (no name, missing, a directory or other non-regular file, no permission).
Detection detectPassFile(const QString& fileName, Tokens& tokens);

// Opens the pass file again from its start and runs the parser of the given format (nothing for
// Neither). Throws RunTimeError as detectPassFile does, and for any failure of the parser.
void parsePassFile(const QString& fileName, PassFormat format, Tokens& tokens,
                   EphemerisTable& table, const MonthNames& monthNames);

// The whole load behind the send button: records the name, clears Loaded, detects the format
// and parses the file. Neither leaves the table untouched. Throws RunTimeError with the reason.
PassFormat loadPassFile(const QString& fileName, Tokens& tokens, EphemerisTable& table,
                        const MonthNames& monthNames);

} // namespace ravik
