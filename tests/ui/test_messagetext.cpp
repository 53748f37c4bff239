#include "messagetext.h"
#include <gtest/gtest.h>

using ravik::MessageText;

// Each piece is appended, or set when it starts with "="; the log holds what the signals carried,
// each ended by "|" and a replacement marked by "[".
TEST(MessageText, ExactTextAndDisplay) {
    // clang-format off
    const std::tuple<QStringList, QString, QString> rows[] = {
        {{"a\r", "\nb"}, "a\r\nb", "a\n|b|"}, // CR and LF in separate pieces: one break
        {{"a\rb\nc"}, "a\rb\nc", "a\nb\nc|"},
        {{"x\r", "\n", "\n"}, "x\r\n\n", "x\n||\n|"},
        {{"old\r\n", "=new\r\nline\r", "\nz"}, "new\r\nline\r\nz", "old\n|[new\nline\n|z|"},
    };
    // clang-format on
    for (const auto& [pieces, text, log] : rows) {
        MessageText box;
        QString got;
        QObject::connect(&box, &MessageText::appended, [&](const QString& d) { got += d + "|"; });
        QObject::connect(&box, &MessageText::replaced,
                         [&](const QString& d) { got += "[" + d + "|"; });
        for (const QString& piece : pieces)
            piece.startsWith(u'=') ? box.setText(piece.mid(1)) : box.append(piece);
        EXPECT_EQ(QStringList({box.text(), got}), QStringList({text, log}));
    }
}

TEST(MessageText, KeepsABoundedNewestTail) {
    constexpr qsizetype limit = 1000;
    MessageText box(limit);
    QString all, shown; // shown: what a widget following the signals would show
    QObject::connect(&box, &MessageText::replaced, [&](const QString& d) { shown = d; });
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
}
