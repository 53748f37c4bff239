#include "messagetext.h"
#include <QSignalSpy>
#include <gtest/gtest.h>

using ravik::MessageText;

TEST(MessageText, ExactTextAndDisplay) {
    const struct {
        const char* name;
        QStringList pieces;
        QString text;
        QStringList shown; // what appended() carried for each piece
    } rows[] = {
        {"CR LF in one piece", {"a\r\n", "b"}, "a\r\nb", {"a\n", "b"}},
        {"CR and LF in separate pieces", {"a\r", "\nb"}, "a\r\nb", {"a\n", "b"}},
        {"lone CR", {"a\rb"}, "a\rb", {"a\nb"}},
        {"lone LF", {"a\nb"}, "a\nb", {"a\nb"}},
        {"LF CR is two breaks", {"a\n", "\rb"}, "a\n\rb", {"a\n", "\nb"}},
        {"CR CR LF", {"\r", "\r\n"}, "\r\r\n", {"\n", "\n"}},
        {"LF piece after CR", {"x\r", "\n", "\n"}, "x\r\n\n", {"x\n", "", "\n"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MessageText box;
        QSignalSpy appended(&box, &MessageText::appended);
        for (const QString& piece : row.pieces)
            box.append(piece);
        EXPECT_EQ(box.text(), row.text);
        ASSERT_EQ(appended.size(), row.shown.size());
        for (qsizetype i = 0; i < appended.size(); ++i)
            EXPECT_EQ(appended[i][0].toString(), row.shown[i]) << "piece " << i;
    }
}

TEST(MessageText, SetTextReplaces) {
    MessageText box;
    box.append("old\r\n");
    QSignalSpy replaced(&box, &MessageText::replaced);
    box.setText("new\r\nline\r");
    EXPECT_EQ(box.text(), "new\r\nline\r");
    ASSERT_EQ(replaced.size(), 1);
    EXPECT_EQ(replaced[0][0].toString(), "new\nline\n");
}

TEST(MessageText, KeepsABoundedNewestTail) {
    constexpr qsizetype limit = 1000;
    MessageText box(limit);
    QSignalSpy replaced(&box, &MessageText::replaced);
    QString all;
    QString shown; // what a widget following the signals would show
    QObject::connect(&box, &MessageText::replaced, [&](const QString& d) { shown = d; });
    QObject::connect(&box, &MessageText::appended, [&](const QString& d) { shown += d; });
    for (int i = 0; i < 5000; ++i) {
        const QString piece = QString::number(i) + "\r\n";
        box.append(piece);
        all += piece;
        ASSERT_LE(box.text().size(), limit + limit / 16 + piece.size());
    }
    EXPECT_GE(box.text().size(), limit - 1);
    EXPECT_TRUE(all.endsWith(box.text()));
    EXPECT_FALSE(box.text().startsWith(u'\n')); // a cut never leaves half a CR LF
    ASSERT_FALSE(replaced.isEmpty());
    EXPECT_EQ(shown, MessageText::displayForm(box.text(), false));
    // Trimming is amortised: far fewer full redraws than appends.
    EXPECT_LT(replaced.size(), 5000 / 10);
}
