#include "pointtocommand.h"
#include "commands.h"

namespace ravik {

QByteArray pointToCommand(int azimuth, int elevation) {
    return toBytes(PointToPrefix) + QByteArray::number(azimuth) + ' ' +
           QByteArray::number(elevation) + DataTerminator;
}

} // namespace ravik
