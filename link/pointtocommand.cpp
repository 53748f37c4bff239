#include "pointtocommand.h"
#include "commands.h"

namespace ravik {

QByteArray PointToCommand(int azimuth, int elevation) {
    return QByteArray(PointToPrefix.data(), qsizetype(PointToPrefix.size())) +
           QByteArray::number(azimuth) + ' ' + QByteArray::number(elevation) + DataTerminator;
}

} // namespace ravik
