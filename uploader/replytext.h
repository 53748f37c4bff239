#pragma once
#include <QByteArray>
#include <QString>

namespace ravik {

// What skypass (and ravik-upload, with the same words) shows of a reply that has ended: the text
// from the status word "Motion " on, or "Rotor response was garbled" when the word is missing.
// What came before the word (leftovers of the identification answer, a command's own reply) is
// dropped.
QString statusReplyText(const QByteArray& reply);

} // namespace ravik
