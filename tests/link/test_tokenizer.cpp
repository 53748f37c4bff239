#include "tokenizer.h"
#include <QStringList>
#include <gtest/gtest.h>

using ravik::TokenizeLine;
using ravik::TokenList;

namespace {

QString Numbers(int from, int count) {
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts << QString::number(from + i);
    return parts.join(u' ');
}

// Every entry starts as "old<i>" so untouched entries are visible.
TokenList Marked() {
    TokenList t;
    for (int i = 0; i < int(t.size()); ++i)
        t[i] = QStringLiteral("old%1").arg(i);
    return t;
}

struct Row {
    QString line;
    int count;
    QStringList expected; // entries 0..count (the last one is the duplicate)
};

} // namespace

TEST(Tokenizer, EdgeTable) {
    QStringList hundred;
    for (int i = 1; i <= 100; ++i)
        hundred << QString::number(i);
    QStringList ninetyNine = hundred.mid(0, 99);
    // Separators next to the token characters' ranges, and non-Latin-1 characters whose low byte
    // is a token character.
    const QString seps = QString::fromUtf16(u"/@[`{:,*\u0141\u012D\u012B\u012E\u0161\u0130"
                                            u"\u00E9\u00C0\uFF21");

    const Row rows[] = {
        {"Comm Port 1", 3, {"Comm", "Port", "1", "1"}},
        {"", 0, {"old0"}},
        {"   ", 1, {"", ""}},
        {":::", 1, {"", ""}},
        {"  05Dec2002 13:05:20 183.2 12.5  ",
         6,
         {"05Dec2002", "13", "05", "20", "183.2", "12.5", "12.5"}},
        {"Az - 12.5 El + 3", 4, {"Az", "-12.5", "El", "+3", "+3"}},
        {"-12.5 -3", 2, {"-12.5", "-3", "-3"}},
        {"1 -", 2, {"1", "-", "-"}},
        {"- - 5", 2, {"--", "5", "5"}},
        {"- abc", 1, {"-abc", "-abc"}},
        {"12,5;x_y", 4, {"12", "5", "x", "y", "y"}},
        {"a-b+c.d", 1, {"a-b+c.d", "a-b+c.d"}},
        {QString::fromLatin1("x\xB0y\xE9z\tq\nr"), 5, {"x", "y", "z", "q", "r", "r"}},
        {"+-.09AZaz" + seps + "z9" + seps + "Q", 3, {"+-.09AZaz", "z9", "Q", "Q"}},
        {"a" + seps.left(8) + "b", 2, {"a", "b", "b"}},
        {QString(63, u' ') + "abc", 1, {"abc", "abc"}},
        {QString(70, u'q') + " z", 2, {QString(70, u'q'), "z", "z"}},
        {QString(200, u';'), 1, {"", ""}},
        {Numbers(1, 120), 100, hundred + QStringList{"100"}},
        {Numbers(1, 99) + " - 7 8", 100, ninetyNine + QStringList{"-", "-"}},
        // 100 raw tokens with two lone signs: 98 tokens, and raw token 101 is never read.
        {"- 1 + 2 " + Numbers(3, 96) + " 999", 98,
         [] {
             QStringList e{"-1", "+2"};
             for (int i = 3; i <= 98; ++i)
                 e << QString::number(i);
             return e << "98";
         }()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line.left(60).toStdString());
        TokenList t = Marked();
        ASSERT_EQ(TokenizeLine(row.line, t), row.count);
        for (int i = 0; i < row.expected.size(); ++i)
            EXPECT_EQ(t[i], row.expected[i]) << "entry " << i;
        for (int i = int(row.expected.size()); i < int(t.size()); ++i)
            EXPECT_EQ(t[i], QStringLiteral("old%1").arg(i)) << "entry " << i;
    }
}

TEST(Tokenizer, ShorterLineLeavesLeftovers) {
    TokenList t;
    EXPECT_EQ(TokenizeLine("a b c d e", t), 5);
    EXPECT_EQ(TokenizeLine("x y", t), 2);
    const QStringList expected{"x", "y", "y", "d", "e", "e"};
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_EQ(t[i], expected[i]) << "entry " << i;
    EXPECT_EQ(TokenizeLine("", t), 0);
    EXPECT_EQ(t[0], "x");
}

TEST(Tokenizer, LineMayBeOneOfTheEntries) {
    TokenList t;
    t[0] = "zz 12 ab";
    EXPECT_EQ(TokenizeLine(t[0], t), 3);
    EXPECT_EQ(t[0], "zz");
    EXPECT_EQ(t[1], "12");
    EXPECT_EQ(t[2], "ab");
}

// The deferred list must read and leave behind what TokenizeLine does, whether a caller reads
// the first entries only (the quick views), entries beyond them, or none.
TEST(Tokenizer, DeferredListAgreesWithTokenizeLine) {
    const QString lines[] = {
        "23:15:30  183.4  12.6  1523.4  -0.82  45.1  -12.3  5.5  0.25",
        "05Dec2002 2315 183.4 12.6 1523 -0.8 45",
        "",
        "Az - 12.5 El + 3",
        "- - 5",
        "a b c d e f g h",
        "x",
        ":::",
        QString(62, u' ') + "+1 -2 +3",
        QString(63, u' ') + "- 7",
        QString(70, u'q') + " z " + QString(60, u'r'),
        Numbers(1, 120),
        "1 -",
        "short",
    };
    for (int reads : {0, 1, 6, 101}) {
        SCOPED_TRACE(reads);
        TokenList expected = Marked();
        TokenList list = Marked();
        {
            ravik::DeferredTokenList deferred(list);
            for (const QString& line : lines) {
                SCOPED_TRACE(line.left(40).toStdString());
                const int count = TokenizeLine(line, expected);
                ASSERT_EQ(deferred.tokenize(line), count);
                for (int i = 0; i < reads; ++i)
                    EXPECT_EQ(deferred[i], expected[i]) << "entry " << i;
            }
            deferred.tokenize(list[3]); // a line taken from the list reads the list as it stands
            TokenizeLine(QString(expected[3]), expected);
        }
        for (int i = 0; i < int(list.size()); ++i)
            EXPECT_EQ(list[i], expected[i]) << "entry " << i;
    }
}
