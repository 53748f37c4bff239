#pragma once
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <string>

namespace ravik {

// The tokens of the last line split. Entries at and above the returned count keep what earlier
// lines left there; callers (settings reader, format detection, parsers) rely on that.
using TokenList = std::array<QString, 101>;

// Splits a line into runs of letters, digits, "+", "." and "-"; a lone sign joins the token that
// follows it; at most 100 raw tokens are taken. Returns the token count (0 to 100). With n >= 1,
// entry n holds a second copy of entry n-1; with n == 0 nothing changes.
int16_t TokenizeLine(const QString& line, TokenList& tokens);

// TokenizeLine for callers that read a few entries of many lines (the pass-file parsers): the
// same counts and the same entries, read as views, while the copies into the list are put off.
// Entries that a line leaves behind in the list (those above a later, shorter line's count) are
// written when the shorter line comes; the others by flush() and on destruction. The list thus
// ends up as after the same calls of TokenizeLine, also when a failure ends the caller.
class DeferredTokenList {
public:
    explicit DeferredTokenList(TokenList& list) : list_(list) {}
    DeferredTokenList(const DeferredTokenList&) = delete;
    DeferredTokenList& operator=(const DeferredTokenList&) = delete;
    ~DeferredTokenList() { flush(); }

    // Splits the line as TokenizeLine does and returns the token count.
    int16_t tokenize(const QString& line);
    // The same for a line the caller no longer needs: it is kept without a copy.
    int16_t tokenize(QString&& line);
    // Entry i (0 to 100) as TokenizeLine would have left it; valid until the next tokenize().
    QStringView operator[](int i) const {
        const Line& pending = lines_[current_];
        if (pending.count > 0 && i < pending.taken) {
            const View& v = pending.views[size_t(i)];
            return QStringView(v.data, v.size);
        }
        return entryBeyondQuick(i);
    }
    // Writes the entries still owed to the list.
    void flush();

private:
    // Views taken of a line before anyone asks: the parsers read the first five entries.
    static constexpr int QuickTokens = 5;

    // No initialisers: the views are written as far as a line needs, never cleared.
    struct View {
        const char16_t* data;
        qsizetype size;
    };
    // The tokens of one line as views into it, and into `joined` for a sign joined to the token
    // after it (the two stand apart in the line).
    struct Line {
        QString text; // keeps the viewed characters alive
        std::u16string joined;
        std::array<View, 101> views;
        int count = 0; // tokens owed to the list, 0 for none
        int taken = 0; // views[0] to views[taken - 1] are filled
    };
    static bool Scan(Line& line);
    static void SplitAll(Line& line);
    QStringView entryBeyondQuick(int i) const;
    void write(Line& line, int from, int to);

    TokenList& list_;
    // The line owed to the list, and the one being split; the views of the first are completed
    // when an entry beyond the quick ones is read.
    mutable std::array<Line, 2> lines_;
    int current_ = 0;
};

} // namespace ravik
