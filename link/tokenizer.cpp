#include "tokenizer.h"
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ravik {

namespace {

constexpr int MaxRawTokens = 100;
constexpr qsizetype BlockSize = 64; // characters classified at once, one bit each

// Letters, digits, "+", "." and "-", by code alone: no locale, accented letters separate.
constexpr std::array<bool, 128> TokenChars = [] {
    std::array<bool, 128> t{};
    for (int c = 0; c < 128; ++c)
        t[size_t(c)] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '+' || c == '.' || c == '-';
    return t;
}();

inline bool IsTokenChar(char16_t c) {
    return TokenChars[c & 127u] & (c < 128u);
}

#ifdef __SSE2__
// The same test for 16 characters at once: "+", "-" to "9" without "/", and the letters.
inline uint32_t TokenCharBits16(const char16_t* p) {
    const auto classify = [](__m128i c) {
        const auto atMost = [](__m128i v, short limit) {
            return _mm_cmpeq_epi16(_mm_subs_epu16(v, _mm_set1_epi16(limit)), _mm_setzero_si128());
        };
        const __m128i dashToNine =
            _mm_andnot_si128(_mm_cmpeq_epi16(c, _mm_set1_epi16('/')),
                             atMost(_mm_sub_epi16(c, _mm_set1_epi16('-')), '9' - '-'));
        const __m128i plus = _mm_cmpeq_epi16(c, _mm_set1_epi16('+'));
        const __m128i letter = atMost(
            _mm_sub_epi16(_mm_or_si128(c, _mm_set1_epi16(0x20)), _mm_set1_epi16('a')), 'z' - 'a');
        return _mm_or_si128(_mm_or_si128(dashToNine, plus), letter);
    };
    const __m128i low = classify(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    const __m128i high = classify(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)));
    return uint32_t(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
}
#endif

// Bit i tells whether p[i] is a token character, for the first n (at most 64) characters; the
// bits from n on are clear. Lines alternate between tokens and separators every few characters;
// finding the boundaries in a bit mask avoids a mispredicted branch at each of them.
inline uint64_t TokenCharBits(const char16_t* p, qsizetype n) {
    uint64_t bits = 0;
    qsizetype i = 0;
#ifdef __SSE2__
    for (; i + 16 <= n; i += 16)
        bits |= uint64_t(TokenCharBits16(p + i)) << i;
    if (i < n) {
        // The last few characters go through the same test from a copy padded with separators,
        // never reading past the line.
        char16_t tail[16] = {};
        std::memcpy(tail, p + i, size_t(n - i) * sizeof(char16_t));
        bits |= uint64_t(TokenCharBits16(tail)) << i;
    }
#else
    for (; i < n; ++i)
        bits |= uint64_t(IsTokenChar(p[i])) << i;
#endif
    return bits;
}

// No member initialisers: the work area of 100 spans is filled as far as needed, never cleared.
struct Span {
    qsizetype start;
    qsizetype length;
};

// The raw tokens: maximal runs of token characters, at most 100; characters after the 100th
// run are not looked at. A non-empty line of separators alone gives one empty raw token.
int GetRawTokens(const char16_t* text, qsizetype size, Span* raw) {
    int count = 0;
    qsizetype tokenStart = -1; // start of a run that goes on past the block, -1 for none
    uint64_t carry = 0;        // whether the previous block ended inside a run
    for (qsizetype block = 0; block < size && count < MaxRawTokens; block += BlockSize) {
        const uint64_t bits = TokenCharBits(text + block, std::min(BlockSize, size - block));
        const uint64_t before = (bits << 1) | carry; // bit i: character i-1 is a token character
        uint64_t starts = bits & ~before;
        uint64_t ends = ~bits & before;
        carry = bits >> 63;
        // Starts and ends alternate; a run begun in an earlier block ends first.
        if (tokenStart >= 0 && ends != 0) {
            raw[count++] = Span{tokenStart, block + std::countr_zero(ends) - tokenStart};
            ends &= ends - 1;
            tokenStart = -1;
        }
        while (starts != 0 && count < MaxRawTokens) {
            const qsizetype start = block + std::countr_zero(starts);
            starts &= starts - 1;
            if (ends == 0) {
                tokenStart = start; // the run goes on in the next block
                break;
            }
            raw[count++] = Span{start, block + std::countr_zero(ends) - start};
            ends &= ends - 1;
        }
    }
    if (tokenStart >= 0 && count < MaxRawTokens)
        raw[count++] = Span{tokenStart, size - tokenStart};
    if (count == 0 && size > 0)
        raw[count++] = Span{0, 0};
    return count;
}

inline bool IsLoneSign(const char16_t* text, Span s) {
    return s.length == 1 && (text[s.start] == u'-' || text[s.start] == u'+');
}

// Overwrites `target` in place: its buffer is reused from line to line, so a steady stream of
// lines allocates nothing.
inline void Assign(QString& target, QStringView text) {
    // Lines of one file repeat their token widths, so the size usually fits already.
    if (text.size() != target.size() || !target.isDetached())
        target.resize(text.size());
    if (!text.isEmpty())
        std::memcpy(static_cast<void*>(target.data()), text.utf16(),
                    size_t(text.size()) * sizeof(char16_t));
}

} // namespace

int DeferredTokenList::Split(const QString& line, Line& out) {
    out.text = line; // the caller's string may be an entry of the list, soon overwritten
    const auto* text = reinterpret_cast<const char16_t*>(out.text.constData());
    Span raw[MaxRawTokens];
    const int rawCount = GetRawTokens(text, out.text.size(), raw);

    // Joined tokens go straight to their final index, where the shift down by one would put them.
    int count = 0;
    qsizetype joinedSize = 0;
    for (int j = 0; j < rawCount; ++count) {
        const Span& s = raw[j];
        if (IsLoneSign(text, s) && j + 1 < rawCount) {
            const Span& next = raw[j + 1];
            // A joined token is no longer than the stretch of line it comes from, so a buffer
            // of the line's size never grows while views into it are handed out.
            if (joinedSize == 0 && out.joined.size() < size_t(out.text.size()))
                out.joined.resize(size_t(out.text.size()));
            char16_t* joined = out.joined.data() + joinedSize;
            joined[0] = text[s.start];
            std::memcpy(joined + 1, text + next.start, size_t(next.length) * sizeof(char16_t));
            out.views[size_t(count)] = View{joined, 1 + next.length};
            joinedSize += 1 + next.length;
            j += 2;
        } else {
            out.views[size_t(count)] = View{text + s.start, s.length};
            j += 1;
        }
    }
    if (count > 0) // entry `count` holds a second copy of the last token; callers rely on it
        out.views[size_t(count)] = out.views[size_t(count - 1)];
    return count;
}

void DeferredTokenList::write(const Line& line, int from, int to) {
    for (int i = from; i <= to; ++i) {
        const View& v = line.views[size_t(i)];
        Assign(list_[size_t(i)], QStringView(v.data, v.size));
    }
}

int16_t DeferredTokenList::tokenize(const QString& line) {
    // A line taken from the list itself must read as the list stands after the earlier calls.
    const std::less<const QString*> before;
    if (!before(&line, list_.data()) && before(&line, list_.data() + list_.size()))
        flush();
    Line& next = lines_[1 - current_];
    const int count = Split(line, next);
    next.count = count;
    if (count == 0)
        return 0; // an empty line changes no entry
    // Entries above the new count keep the older line's tokens: they are written now.
    Line& owed = lines_[current_];
    if (owed.count > count)
        write(owed, count + 1, owed.count);
    owed.count = 0;
    current_ = 1 - current_;
    return int16_t(count);
}

void DeferredTokenList::flush() {
    Line& owed = lines_[current_];
    if (owed.count > 0)
        write(owed, 0, owed.count);
    owed.count = 0;
}

int16_t TokenizeLine(const QString& line, TokenList& tokens) {
    DeferredTokenList deferred(tokens);
    return deferred.tokenize(line); // written to the list when `deferred` goes
}

} // namespace ravik
