#include "messagetext.h"
#include <gtest/gtest.h>

using ravik::MessageText;

// Each piece is appended, or set when it starts with "="; the log holds what the signals carried,
// each ended by "|" and a replacement marked by "[".
TEST(MessageText, ExactTextAndDisplay) {
    const struct {
        QStringList pieces;
        QString text, log;
    } rows[] = {
        {{"a\r\n", "b"}, "a\r\nb", "a\n|b|"},
        {{"a\r", "\nb"}, "a\r\nb", "a\n|b|"}, // CR and LF in separate pieces: one break
        {{"a\rb"}, "a\rb", "a\nb|"},
        {{"a\nb"}, "a\nb", "a\nb|"},
        {{"a\n", "\rb"}, "a\n\rb", "a\n|\nb|"},
        {{"\r", "\r\n"}, "\r\r\n", "\n|\n|"},
        {{"x\r", "\n", "\n"}, "x\r\n\n", "x\n||\n|"},
        {{"old\r\n", "=new\r\nline\r", "\nz"}, "new\r\nline\r\nz", "old\n|[new\nline\n|z|"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pieces.join(u'+').toStdString());
        MessageText box;
        QString log;
        QObject::connect(&box, &MessageText::appended, [&](const QString& d) { log += d + "|"; });
        QObject::connect(&box, &MessageText::replaced,
                         [&](const QString& d) { log += "[" + d + "|"; });
        for (const QString& piece : row.pieces)
            piece.startsWith(u'=') ? box.setText(piece.mid(1)) : box.append(piece);
        EXPECT_EQ(box.text(), row.text);
        EXPECT_EQ(log, row.log);
    }
}

TEST(MessageText, KeepsABoundedNewestTail) {
    constexpr qsizetype limit = 1000;
    MessageText box(limit);
    QString all, shown; // shown: what a widget following the signals would show
    int replaced = 0;
    QObject::connect(&box, &MessageText::replaced,
                     [&](const QString& d) { shown = d, ++replaced; });
    QObject::connect(&box, &MessageText::appended, [&](const QString& d) { shown += d; });
    for (int i = 0; i < 5000; ++i) {
        const QString piece = QString::number(i) + "\r\n";
        box.append(piece);
        all += piece;
        ASSERT_LE(box.text().size(), limit + limit / 16 + piece.size());
        ASSERT_FALSE(box.text().startsWith(u'\n')); // a cut never leaves half a CR LF
    }
    EXPECT_GE(box.text().size(), limit - 1);
    EXPECT_TRUE(all.endsWith(box.text()));
    EXPECT_EQ(shown, MessageText::displayForm(box.text(), false));
    EXPECT_GT(replaced, 0);
    EXPECT_LT(replaced, 5000 / 10); // trimming is amortised: far fewer redraws than appends
}
