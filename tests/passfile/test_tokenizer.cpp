#include "tokenizer.h"
#include <QStringList>
#include <gtest/gtest.h>

using ravik::Tokens;

namespace {

QStringList Numbers(int from, int count) {
    QStringList parts;
    for (int i = from; i < from + count; ++i)
        parts << QString::number(i);
    return parts;
}

} // namespace

// Each row's lines are split in turn by one Tokens: the count and the tokens are the last line's,
// and first() the first token of the last line that had any.
TEST(Tokenizer, EdgeTable) {
    // Separators next to the token characters' ranges, and non-Latin-1 characters whose low byte
    // is a token character.
    const QString seps = QString::fromUtf16(u"/@[`{:,*\u0141\u012D\u012B\u012E\u0161\u0130"
                                            u"\u00E9\u00C0\uFF21");
    // 100 raw tokens with two lone signs: 98 tokens, and raw token 101 is never read.
    const QString signs = "- 1 + 2 " + Numbers(3, 96).join(' ') + " 999";
    const QString q(70, u'q');
    // clang-format off
    const std::tuple<QStringList, int, QStringList> rows[] = {
        {{"Comm Port 1"}, 3, {"Comm", "Port", "1"}},
        {{"   "}, 1, {""}},
        {{"Az - 12.5 El + 3"}, 4, {"Az", "-12.5", "El", "+3"}},
        {{"1 -"}, 2, {"1", "-"}},
        {{"- - 5"}, 2, {"--", "5"}},
        {{"12,5;x_y"}, 4, {"12", "5", "x", "y"}},
        {{"a-b+c.d"}, 1, {"a-b+c.d"}},
        {{QString::fromLatin1("x\xB0y\xE9z\tq\nr")}, 5, {"x", "y", "z", "q", "r"}},
        {{"+-.09AZaz" + seps + "z9" + seps + "Q"}, 3, {"+-.09AZaz", "z9", "Q"}},
        {{q + " z"}, 2, {q, "z"}},
        {{Numbers(1, 120).join(' ')}, 100, Numbers(1, 100)},
        {{Numbers(1, 99).join(' ') + " - 7 8"}, 100, Numbers(1, 99) << "-"},
        {{signs}, 98, QStringList{"-1", "+2"} + Numbers(3, 96)},
        {{"a b c d e", "x y"}, 2, {"x", "y"}},
        // An empty line has no tokens; the first token of the line before stays in first().
        {{"a b c d e", "x y", ""}, 0, {"x"}},
        {{""}, 0, {""}},
    };
    // clang-format on
    for (const auto& [lines, count, expected] : rows) {
        Tokens t;
        for (const QString& line : lines)
            t.split(line);
        QStringList got;
        for (qsizetype i = 0; i < t.size(); ++i)
            got << t[i];
        EXPECT_EQ(t.size(), count) << lines.join(u'|').left(60).toStdString();
        EXPECT_EQ(count ? got : QStringList{t.first()}, expected)
            << lines[0].left(60).toStdString();
        EXPECT_EQ(t.first(), expected.value(0));
    }
}
