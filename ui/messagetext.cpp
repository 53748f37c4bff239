#include "messagetext.h"
#include <algorithm>

namespace ravik {

MessageText::MessageText(qsizetype limit, QObject* parent)
    : QObject(parent), limit_(std::max<qsizetype>(limit, 1)) {}

namespace {

// Keeps the newest `limit` characters once the text has grown a sixteenth past the limit, so
// the cost of moving the text is spread over many appends. False when nothing was cut.
bool trimFront(QString& text, qsizetype limit) {
    if (text.size() <= limit + limit / 16)
        return false;
    qsizetype cut = text.size() - limit;
    // Do not leave the line feed of a CR LF pair whose CR was cut away.
    if (text.at(cut - 1) == u'\r' && text.at(cut) == u'\n')
        ++cut;
    text.remove(0, cut);
    return true;
}

} // namespace

void MessageText::setText(const QString& text) {
    text_ = text;
    trimFront(text_, limit_);
    emit replaced(displayForm(text_, false));
}

void MessageText::append(const QString& piece) {
    if (piece.isEmpty())
        return;
    const bool previousEndedWithCr = !text_.isEmpty() && text_.back() == u'\r';
    text_.append(piece);
    if (trimFront(text_, limit_))
        emit replaced(displayForm(text_, false));
    else
        emit appended(displayForm(piece, previousEndedWithCr));
}

QString MessageText::displayForm(const QString& piece, bool previousEndedWithCr) {
    const bool dropFirst = previousEndedWithCr && piece.startsWith(u'\n');
    if (!dropFirst && !piece.contains(u'\r'))
        return piece; // lone line feeds already are the widget's line breaks
    QString out;
    out.reserve(piece.size());
    const QChar* p = piece.constData();
    const qsizetype size = piece.size();
    for (qsizetype i = dropFirst ? 1 : 0; i < size; ++i) {
        if (p[i] == u'\r') {
            out.append(u'\n');
            if (i + 1 < size && p[i + 1] == u'\n')
                ++i;
        } else {
            out.append(p[i]);
        }
    }
    return out;
}

} // namespace ravik
