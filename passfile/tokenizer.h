#pragma once
#include <QString>
#include <vector>

namespace ravik {

// The tokens of one line: runs of letters, digits, "+", "." and "-"; a lone sign joins the token
// that follows it; at most 100 raw tokens are taken. One object serves line after line, so a long
// file is split without an allocation per token.
class Tokens {
public:
    // Splits `line` and returns the count of its tokens (0 to 100).
    qsizetype split(const QString& line);
    qsizetype size() const { return count_; }
    // Token `i` of the last line split, 0 <= i < size().
    const QString& operator[](qsizetype i) const { return items_[std::size_t(i)]; }
    // The first token of the last line that had any; empty before the first. Format detection
    // reads it: a window keeps one Tokens for the settings line and every pass file, so an empty
    // line counts like the line before it, across files too.
    const QString& first() const { return items_.front(); }

private:
    std::vector<QString> items_ = std::vector<QString>(1);
    qsizetype count_ = 0;
};

} // namespace ravik
