#include "pointtocommand.h"
#include "commands.h"

namespace ravik {

QByteArray PointToCommand(int azimuth, int elevation) {
    return Bytes(PointToPrefix) + QByteArray::number(azimuth) + ' ' +
           QByteArray::number(elevation) + DataTerminator;
}

} // namespace ravik
