#include "tokenizer.h"
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>
#include <optional>
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

// Bit i tells whether p[i] is a token character, for the first n (at most 64) characters.
// Lines alternate between tokens and separators every few characters; finding the boundaries in
// a bit mask avoids a mispredicted branch at each of them.
inline uint64_t TokenCharBits(const char16_t* p, qsizetype n) {
    uint64_t bits = 0;
    qsizetype i = 0;
#ifdef __SSE2__
    for (; i + 16 <= n; i += 16)
        bits |= uint64_t(TokenCharBits16(p + i)) << i;
#endif
    for (; i < n; ++i)
        bits |= uint64_t(IsTokenChar(p[i])) << i;
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
    qsizetype tokenStart = -1; // start of the run in progress, -1 between runs
    uint64_t carry = 0;        // whether the previous block ended inside a run
    for (qsizetype block = 0; block < size && count < MaxRawTokens; block += BlockSize) {
        const uint64_t bits = TokenCharBits(text + block, std::min(BlockSize, size - block));
        // A set bit wherever a run starts or ends.
        uint64_t edges = bits ^ ((bits << 1) | carry);
        carry = bits >> 63;
        while (edges != 0) {
            const qsizetype at = block + std::countr_zero(edges);
            edges &= edges - 1;
            if (tokenStart < 0) {
                tokenStart = at;
            } else {
                raw[count++] = Span{tokenStart, at - tokenStart};
                tokenStart = -1;
                if (count == MaxRawTokens)
                    break;
            }
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
inline void Assign(QString& target, const char16_t* first, qsizetype firstLength,
                   const char16_t* second = nullptr, qsizetype secondLength = 0) {
    const qsizetype length = firstLength + secondLength;
    // Lines of one file repeat their token widths, so the size usually fits already.
    if (length != target.size() || !target.isDetached())
        target.resize(length);
    if (length == 0)
        return;
    auto* out = reinterpret_cast<char16_t*>(target.data());
    std::memcpy(out, first, size_t(firstLength) * sizeof(char16_t));
    if (secondLength > 0)
        std::memcpy(out + firstLength, second, size_t(secondLength) * sizeof(char16_t));
}

} // namespace

int16_t TokenizeLine(const QString& lineIn, TokenList& tokens) {
    // When the caller passes one of the entries itself, work on a copy that the writes below
    // cannot disturb.
    std::optional<QString> keep;
    const std::less<const QString*> before;
    if (!before(&lineIn, tokens.data()) && before(&lineIn, tokens.data() + tokens.size()))
        keep = lineIn;
    const QString& line = keep ? *keep : lineIn;
    const auto* text = reinterpret_cast<const char16_t*>(line.constData());

    Span raw[MaxRawTokens];
    const int rawCount = GetRawTokens(text, line.size(), raw);

    // Joined tokens go straight to their final index, where the shift down by one would put them.
    int count = 0;
    for (int j = 0; j < rawCount; ++count) {
        const Span& s = raw[j];
        if (IsLoneSign(text, s) && j + 1 < rawCount) {
            const Span& next = raw[j + 1];
            Assign(tokens[count], text + s.start, 1, text + next.start, next.length);
            j += 2;
        } else {
            Assign(tokens[count], text + s.start, s.length);
            j += 1;
        }
    }
    if (count > 0) {
        // Entry `count` holds a second copy of the last token; callers rely on it.
        const QString& last = tokens[count - 1];
        Assign(tokens[count], reinterpret_cast<const char16_t*>(last.constData()), last.size());
    }
    return int16_t(count);
}

} // namespace ravik
