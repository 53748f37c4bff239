#include "tokenizer.h"
#include <vector>

namespace ravik {
namespace {

constexpr size_t MaxRawTokens = 100;

// By character code alone: no locale, so accented letters separate.
bool IsTokenChar(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'+' || c == u'.' || c == u'-';
}

bool IsLoneSign(const QString& token) {
    return token == u"+" || token == u"-";
}

} // namespace

int16_t TokenizeLine(const QString& line, TokenList& tokens) {
    const QString text = line; // the line may be an entry of the list itself
    const qsizetype size = text.size();

    // Raw tokens: skip separators, take a run of token characters, skip separators. A line of
    // separators alone thus gives one empty token, and the rest after the 100th is not read.
    std::vector<QString> raw;
    qsizetype pos = 0;
    const auto skipSeparators = [&] {
        while (pos < size && !IsTokenChar(text[pos]))
            ++pos;
    };
    while (raw.size() < MaxRawTokens && pos < size) {
        skipSeparators();
        const qsizetype start = pos;
        while (pos < size && IsTokenChar(text[pos]))
            ++pos;
        raw.push_back(text.mid(start, pos - start));
        skipSeparators();
    }

    // A lone sign joins the raw token after it; the joined token is not looked at again.
    size_t count = 0;
    for (size_t j = 0; j < raw.size(); ++j) {
        if (IsLoneSign(raw[j]) && j + 1 < raw.size()) {
            tokens[count++] = raw[j] + raw[j + 1];
            ++j;
        } else {
            tokens[count++] = raw[j];
        }
    }
    if (count > 0)
        tokens[count] = tokens[count - 1];
    return int16_t(count);
}

} // namespace ravik
