#include "tokenizer.h"
#include <QVarLengthArray>

namespace ravik {
namespace {

constexpr qsizetype MaxRawTokens = 100;

// By character code alone: no locale, so accented letters separate.
constexpr std::array<bool, 128> TokenChars = [] {
    std::array<bool, 128> table{};
    for (char c = 'a'; c <= 'z'; ++c)
        table[size_t(c)] = table[size_t(c - 'a' + 'A')] = true;
    for (char c : {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '+', '.', '-'})
        table[size_t(c)] = true;
    return table;
}();

inline bool isTokenChar(QChar c) {
    return c.unicode() < TokenChars.size() && TokenChars[c.unicode()];
}

bool isLoneSign(QStringView token) {
    return token == u"+" || token == u"-";
}

// Writes the token into the entry's own buffer, which lines of one file keep reusing, so a long
// file is split without an allocation per token.
void overwrite(QString& entry, QStringView token) {
    if (entry.size() != token.size())
        entry.resize(token.size());
    QChar* out = entry.data();
    for (QChar c : token)
        *out++ = c;
}

} // namespace

qsizetype Tokens::split(const QString& line) {
    const QChar* const text = line.constData();
    const qsizetype size = line.size();

    // Raw tokens: skip separators, take a run of token characters, skip separators. A line of
    // separators alone thus gives one empty token, and the rest after the 100th is not read.
    QVarLengthArray<QStringView, MaxRawTokens> raw;
    qsizetype pos = 0;
    const auto skipSeparators = [&] {
        while (pos < size && !isTokenChar(text[pos]))
            ++pos;
    };
    while (raw.size() < MaxRawTokens && pos < size) {
        skipSeparators();
        const qsizetype start = pos;
        while (pos < size && isTokenChar(text[pos]))
            ++pos;
        raw.append(QStringView(text + start, pos - start));
        skipSeparators();
    }

    // A lone sign joins the raw token after it; the joined token is not looked at again.
    count_ = 0;
    if (items_.size() < std::size_t(raw.size()))
        items_.resize(std::size_t(raw.size()));
    for (qsizetype j = 0; j < raw.size(); ++j) {
        QString& entry = items_[std::size_t(count_++)];
        if (isLoneSign(raw[j]) && j + 1 < raw.size()) {
            entry = raw[j].toString().append(raw[j + 1]);
            ++j;
        } else {
            overwrite(entry, raw[j]);
        }
    }
    return count_;
}

} // namespace ravik
