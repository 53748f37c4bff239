#include "replytext.h"
#include "commands.h"

namespace ravik {

QString statusReplyText(const QByteArray& reply) {
    const qsizetype at = reply.indexOf(toBytes(StatusWord));
    return at < 0 ? QStringLiteral("Rotor response was garbled")
                  : QString::fromLatin1(reply.mid(at));
}

} // namespace ravik
