#include "core_support.h"
#include "passfile.h"
#include <gtest/gtest.h>
#include <vector>

namespace ravik {
namespace {

using test::Lines;

const QByteArray Nine = "05Dec2002 2315 183.4 12.6 1523 -0.8 45"; // first token: 9 characters
const QByteArray Two = "23:15:30 183.4 12.6 1523.4 -0.82 45.1";   // first token: 2 characters
const QByteArray Other = "Time Azim Elev";                        // first token: neither

QByteArray Repeat(const QByteArray& line, int count) {
    QByteArray text;
    for (int i = 0; i < count; ++i) {
        text += line + "\r\n";
    }
    return text;
}

Detection Detect(const QByteArray& text, TokenList& tokens) {
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer);
    return DetectFormat(reader, tokens);
}

Detection Detect(const QByteArray& text) {
    TokenList tokens;
    return Detect(text, tokens);
}

struct DetectionCase {
    const char* name;
    QByteArray text;
    int L, N9, N2;
    PassFormat format;
};

TEST(DetectFormat, CountsAndDecision) {
    const std::vector<DetectionCase> cases = {
        {"empty file", "", 0, 0, 0, PassFormat::Neither},
        {"26 of 51 counted", Repeat(Two, 26) + Repeat(Other, 25), 51, 0, 26, PassFormat::Neither},
        {"27 of 51 counted", Repeat(Two, 27) + Repeat(Other, 24), 51, 0, 27, PassFormat::Nova},
        {"lines 52 to 60 ignored", Repeat(Two, 26) + Repeat(Other, 25) + Repeat(Nine, 9), 51, 0, 26,
         PassFormat::Neither},
        {"20/20 tie goes to Nova", Repeat(Nine, 20) + Repeat(Two, 20) + Repeat(Other, 11), 51, 20,
         20, PassFormat::Nova},
        {"more 9s than 2s", Repeat(Nine, 21) + Repeat(Two, 20) + Repeat(Other, 10), 51, 21, 20,
         PassFormat::InstantTrack},
        {"3 headers, 4 data", Repeat(Other, 3) + Repeat(Two, 4), 7, 0, 4, PassFormat::Neither},
        {"3 headers, 5 data", Repeat(Other, 3) + Repeat(Two, 5), 8, 0, 5, PassFormat::Nova},
        {"one 9-character line", Nine + "\r\n", 1, 1, 0, PassFormat::InstantTrack},
        {"empty lines count like the line before", Lines({Nine, "", "", Other, ""}), 5, 3, 0,
         PassFormat::InstantTrack},
        {"separator-only lines count in neither", Lines({"=========", "==", Two}), 3, 0, 1,
         PassFormat::Neither},
        {"length alone decides", Lines({"abcdefghi", "xy"}), 2, 1, 1, PassFormat::Nova},
        {"NUL and 8-bit bytes separate", Lines({QByteArray("\0\xb0", 2) + Nine, "\xe9\xe9" + Two}),
         2, 1, 1, PassFormat::Nova},
    };
    for (const DetectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Detection d = Detect(c.text);
        EXPECT_EQ(d.L, c.L);
        EXPECT_EQ(d.N9, c.N9);
        EXPECT_EQ(d.N2, c.N2);
        EXPECT_EQ(d.T, c.N9 + c.N2);
        EXPECT_EQ(d.format, c.format);
    }
}

// The fewest counted lines a file of L lines needs: more than half of L, the half rounded to even.
TEST(DetectFormat, ThresholdByLineCount) {
    const struct {
        int L, needed;
    } rows[] = {{1, 1}, {2, 2}, {6, 4}, {7, 5}, {9, 5}, {49, 25}, {50, 26}, {51, 27}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.L);
        const QByteArray enough = Repeat(Two, row.needed) + Repeat(Other, row.L - row.needed);
        const QByteArray oneShort =
            Repeat(Two, row.needed - 1) + Repeat(Other, row.L - row.needed + 1);
        EXPECT_EQ(Detect(enough).format, PassFormat::Nova);
        EXPECT_EQ(Detect(oneShort).format, PassFormat::Neither);
    }
}

TEST(DetectFormat, EmptyFirstLineSeesTheLeftoverToken) {
    TokenList tokens;
    tokens[0] = "123456789";
    const Detection d = Detect(Lines({"", Two}), tokens);
    EXPECT_EQ(d.N9, 1);
    EXPECT_EQ(d.N2, 1);
    EXPECT_EQ(d.format, PassFormat::Nova);
}

} // namespace
} // namespace ravik
