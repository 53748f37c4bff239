#include "replytext.h"
#include "commands.h"

namespace ravik {

QString StatusReplyText(const QByteArray& reply) {
    const qsizetype at = reply.indexOf(Bytes(StatusWord));
    return at < 0 ? QStringLiteral("Rotor response was garbled")
                  : QString::fromLatin1(reply.mid(at));
}

} // namespace ravik
