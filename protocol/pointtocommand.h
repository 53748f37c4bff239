#pragma once
#include <QByteArray>

namespace ravik {

// The point-to command line: "GP", azimuth, blank, elevation, CR. handpoint and the rotctld
// bridge both send it, so it is formatted in one place.
QByteArray pointToCommand(int azimuth, int elevation);

} // namespace ravik
