#include "tokenizer.h"
#include <QStringList>
#include <gtest/gtest.h>

using ravik::TokenizeLine;
using ravik::TokenList;

namespace {

QStringList Numbers(int from, int count) {
    QStringList parts;
    for (int i = from; i < from + count; ++i)
        parts << QString::number(i);
    return parts;
}

} // namespace

// Each row's lines are split in turn into one list whose entries start as "old<i>": the count is
// the last line's, and the entries from 0 on are the expected ones, the rest still "old<i>".
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
        {{"Comm Port 1"}, 3, {"Comm", "Port", "1", "1"}},
        {{"   "}, 1, {"", ""}},
        {{"Az - 12.5 El + 3"}, 4, {"Az", "-12.5", "El", "+3", "+3"}},
        {{"1 -"}, 2, {"1", "-", "-"}},
        {{"- - 5"}, 2, {"--", "5", "5"}},
        {{"12,5;x_y"}, 4, {"12", "5", "x", "y", "y"}},
        {{"a-b+c.d"}, 1, {"a-b+c.d", "a-b+c.d"}},
        {{QString::fromLatin1("x\xB0y\xE9z\tq\nr")}, 5, {"x", "y", "z", "q", "r", "r"}},
        {{"+-.09AZaz" + seps + "z9" + seps + "Q"}, 3, {"+-.09AZaz", "z9", "Q", "Q"}},
        {{q + " z"}, 2, {q, "z", "z"}},
        {{Numbers(1, 120).join(' ')}, 100, Numbers(1, 100) << "100"},
        {{Numbers(1, 99).join(' ') + " - 7 8"}, 100, Numbers(1, 99) << "-" << "-"},
        {{signs}, 98, QStringList{"-1", "+2"} + Numbers(3, 96) << "98"},
        // A shorter line leaves the longer one's entries; an empty line changes nothing.
        {{"a b c d e", "x y", ""}, 0, {"x", "y", "y", "d", "e", "e"}},
    };
    // clang-format on
    for (const auto& [lines, count, expected] : rows) {
        TokenList t;
        for (int i = 0; i < int(t.size()); ++i)
            t[i] = QStringLiteral("old%1").arg(i);
        int got = -1;
        for (const QString& line : lines)
            got = TokenizeLine(line, t);
        ASSERT_EQ(got, count) << lines.join(u'|').left(60).toStdString();
        for (int i = 0; i < int(t.size()); ++i)
            EXPECT_EQ(t[i], expected.value(i, QStringLiteral("old%1").arg(i)))
                << i << lines[0].left(60).toStdString();
    }
    TokenList t; // the line may be one of the entries
    t[0] = "zz 12 ab";
    EXPECT_EQ(TokenizeLine(t[0], t), 3);
    EXPECT_EQ(QStringList({t[0], t[1], t[2], t[3]}), QStringList({"zz", "12", "ab", "ab"}));
}
