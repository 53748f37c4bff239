#pragma once
#include "tokenizer.h"
#include <QString>

namespace ravik {

inline constexpr const char* SettingsFileName = "Ravik.ini";

// Reads the port number from the first line of the settings file (three tokens, the third the
// port). A missing, empty or unreadable file, or a third token too large for a double, is
// replaced silently by the default file "Comm Port 1" CR LF and gives 1. Throws RunTimeError
// when the default file cannot be written either. Anything but a regular file (a FIFO, a device,
// a folder) is never opened: it can be neither read nor overwritten, so that throws too.
// Splits the line with `tokens`.
double readPortSetting(Tokens& tokens, const QString& path = QString::fromLatin1(SettingsFileName));

} // namespace ravik
