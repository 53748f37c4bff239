#include "words.h"

namespace ravik {

QString foundLine(int port) {
    return QStringLiteral("The controller was found on port %1\r\n").arg(port);
}

QString notFoundLine(int port) {
    return QStringLiteral("The controller is not on port %1!!\r\n").arg(port);
}

} // namespace ravik
