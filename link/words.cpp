#include "words.h"

namespace ravik {

QString FoundLine(int port) {
    return QStringLiteral("The controller was found on port %1\r\n").arg(port);
}

QString NotFoundLine(int port) {
    return QStringLiteral("The controller is not on port %1!!\r\n").arg(port);
}

} // namespace ravik
