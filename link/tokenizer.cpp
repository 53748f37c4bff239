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

inline bool IsSign(char16_t c) {
    return c == u'+' || c == u'-';
}

#ifdef __SSE2__
// The same test for 16 characters at once: "+", "-" to "9" without "/", and the letters of either
// case. The characters are narrowed to bytes first; those above 255 become 0 or 255, both
// separators.
inline uint32_t TokenCharBits16(const char16_t* p) {
    const __m128i c = _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)));
    const auto atMost = [](__m128i v, char limit) {
        return _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(limit)), v);
    };
    const __m128i dashToNine = _mm_andnot_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8('/')),
                                                atMost(_mm_sub_epi8(c, _mm_set1_epi8('-')), 12));
    const __m128i plus = _mm_cmpeq_epi8(c, _mm_set1_epi8('+'));
    const __m128i letter =
        atMost(_mm_sub_epi8(_mm_or_si128(c, _mm_set1_epi8(0x20)), _mm_set1_epi8('a')), 25);
    return uint32_t(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(dashToNine, plus), letter)));
}
#endif

// Bit i tells whether text[block + i] is a token character, for the n (at most 64) characters
// from there on; the bits from n on are clear. Lines alternate between tokens and separators
// every few characters; finding the boundaries in a bit mask avoids a mispredicted branch at
// each of them.
[[gnu::always_inline]] inline uint64_t TokenCharBits(const char16_t* text, qsizetype block,
                                                     qsizetype n) {
    const char16_t* const p = text + block;
    uint64_t bits = 0;
    qsizetype i = 0;
#ifdef __SSE2__
    for (; i + 16 <= n; i += 16)
        bits |= uint64_t(TokenCharBits16(p + i)) << i;
    if (i < n) {
        const qsizetype rest = n - i;
        if (block + n >= 16) {
            // The last 16 characters, overlapping ones already done, and only those wanted.
            bits |= uint64_t(TokenCharBits16(p + n - 16) >> (16 - rest)) << i;
        } else {
            // A line shorter than 16 characters: a copy padded with separators.
            char16_t tail[16] = {};
            std::memcpy(tail, p + i, size_t(rest) * sizeof(char16_t));
            bits |= uint64_t(TokenCharBits16(tail)) << i;
        }
    }
#else
    for (; i < n; ++i)
        bits |= uint64_t(IsTokenChar(p[i])) << i;
#endif
    return bits;
}

// Set bits, inline: without a popcnt instruction in the baseline x86-64 set, std::popcount
// becomes a library call.
inline int BitCount(uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555u;
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fu;
    return int((x * 0x0101010101010101u) >> 56);
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

// The quick pass: counts the raw tokens from the boundary masks and takes views of the first
// few. A line with a lone sign, or with 100 raw tokens or more, needs the full split instead.
// Returns false for those.
bool DeferredTokenList::Scan(Line& out) {
    const auto* text = reinterpret_cast<const char16_t*>(out.text.constData());
    const qsizetype size = out.text.size();
    int raw = 0;
    int taken = 0;
    qsizetype open = -1; // start of a run taken in part, going on past its block
    uint64_t carry = 0;  // whether the previous block ended inside a run
    for (qsizetype block = 0; block < size; block += BlockSize) {
        const uint64_t bits = TokenCharBits(text, block, std::min(BlockSize, size - block));
        const uint64_t before = (bits << 1) | carry; // bit i: character i-1 is one too
        uint64_t starts = bits & ~before;
        uint64_t ends = ~bits & before;
        carry = bits >> 63;
        // A token of one character may be a lone sign; at the end of a block the next block
        // would tell, so a sign there counts as one and the full split decides.
        for (uint64_t single = starts & (~(bits >> 1) | (uint64_t(1) << 63)); single != 0;
             single &= single - 1) {
            if (IsSign(text[block + std::countr_zero(single)]))
                return false;
        }
        raw += BitCount(starts);
        if (raw >= MaxRawTokens)
            return false;
        // Starts and ends alternate; a run begun in an earlier block ends first.
        if (open >= 0 && ends != 0) {
            out.views[size_t(taken++)] = View{text + open, block + std::countr_zero(ends) - open};
            ends &= ends - 1;
            open = -1;
        }
        while (starts != 0 && taken < QuickTokens) {
            const qsizetype start = block + std::countr_zero(starts);
            starts &= starts - 1;
            if (ends == 0) {
                open = start;
                break;
            }
            out.views[size_t(taken++)] = View{text + start, block + std::countr_zero(ends) - start};
            ends &= ends - 1;
        }
    }
    if (open >= 0)
        out.views[size_t(taken++)] = View{text + open, size - open};
    if (raw == 0 && size > 0) {
        // A line of separators alone: one empty token.
        out.views[0] = View{text, 0};
        raw = taken = 1;
    }
    out.count = raw;
    out.taken = taken;
    if (taken == raw && raw > 0) // entry `count` holds a second copy of the last token
        out.views[size_t(out.taken++)] = out.views[size_t(raw - 1)];
    return true;
}

// The full split, in one pass over the line: the raw tokens are the maximal runs of token
// characters, at most 100 (characters after the 100th run are not looked at); a non-empty line
// of separators alone gives one empty raw token. A lone sign waits for the raw token after it and
// is joined to it; with none after it, it stands alone.
void DeferredTokenList::SplitAll(Line& out) {
    const auto* text = reinterpret_cast<const char16_t*>(out.text.constData());
    const qsizetype size = out.text.size();
    int raw = 0;
    int count = 0;
    qsizetype sign = -1;      // a lone sign waiting for the next raw token, -1 for none
    qsizetype joinedSize = 0; // characters used in out.joined
    const auto take = [&](qsizetype start, qsizetype length) __attribute__((always_inline)) {
        ++raw;
        if (sign >= 0) {
            // A joined token is no longer than the stretch of line it comes from, so a buffer
            // of the line's size never grows while views into it are handed out.
            if (joinedSize == 0 && out.joined.size() < size_t(size))
                out.joined.resize(size_t(size));
            char16_t* joined = out.joined.data() + joinedSize;
            joined[0] = text[sign];
            std::memcpy(joined + 1, text + start, size_t(length) * sizeof(char16_t));
            out.views[size_t(count++)] = View{joined, 1 + length};
            joinedSize += 1 + length;
            sign = -1;
        } else if (length == 1 && IsSign(text[start])) {
            sign = start;
        } else {
            out.views[size_t(count++)] = View{text + start, length};
        }
    };

    qsizetype open = -1; // start of a run that goes on past the block, -1 for none
    uint64_t carry = 0;  // whether the previous block ended inside a run
    for (qsizetype block = 0; block < size && raw < MaxRawTokens; block += BlockSize) {
        const uint64_t bits = TokenCharBits(text, block, std::min(BlockSize, size - block));
        const uint64_t before = (bits << 1) | carry;
        uint64_t starts = bits & ~before;
        uint64_t ends = ~bits & before;
        carry = bits >> 63;
        if (open >= 0 && ends != 0) {
            take(open, block + std::countr_zero(ends) - open);
            ends &= ends - 1;
            open = -1;
        }
        while (starts != 0 && raw < MaxRawTokens) {
            const qsizetype start = block + std::countr_zero(starts);
            starts &= starts - 1;
            if (ends == 0) {
                open = start;
                break;
            }
            take(start, block + std::countr_zero(ends) - start);
            ends &= ends - 1;
        }
    }
    if (open >= 0 && raw < MaxRawTokens)
        take(open, size - open);
    if (raw == 0 && size > 0)
        take(0, 0);
    if (sign >= 0)
        out.views[size_t(count++)] = View{text + sign, 1};
    if (count > 0)
        out.views[size_t(count)] = out.views[size_t(count - 1)];
    out.count = count;
    out.taken = count > 0 ? count + 1 : 0;
}

QStringView DeferredTokenList::entryBeyondQuick(int i) const {
    Line& pending = lines_[current_];
    if (pending.count > 0 && i <= pending.count) {
        SplitAll(pending);
        const View& v = pending.views[size_t(i)];
        return QStringView(v.data, v.size);
    }
    return list_[size_t(i)];
}

void DeferredTokenList::write(Line& line, int from, int to) {
    if (line.taken <= to)
        SplitAll(line);
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
    return tokenize(QString(line)); // a copy that the writes into the list cannot disturb
}

int16_t DeferredTokenList::tokenize(QString&& line) {
    Line& next = lines_[1 - current_];
    next.text.swap(line); // the line two calls ago goes with `line`
    if (!Scan(next))
        SplitAll(next);
    const int count = next.count;
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
