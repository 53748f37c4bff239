#include "errors.h"
#include "linereader.h"
#include "tempfiles.h"
#include <QBuffer>
#include <QStringList>
#include <gtest/gtest.h>

using ravik::LineReader;

TEST(LineReader, Table) {
    constexpr qsizetype Chunk = 64 * 1024; // the reader's chunk size
    const QString capped(LineReader::MaxLineLength, u'x');
    // A capped first line, then one that ends with the chunk's last byte.
    const QByteArray head = QByteArray(40000, 'x') + "\r\n" + QByteArray(Chunk - 40003, 'a');
    const QStringList headLines{capped, QString(Chunk - 40003, u'a'), "next"};
    // clang-format off
    const std::pair<QByteArray, QStringList> rows[] = {
        {"", {}},
        // A lone LF stays inside the line.
        {"a\r\nb\rc\nd\r\n\r\r\n\r", {"a", "b", "c\nd", "", "", ""}},
        {head + "\r\nnext\r\n", headLines}, // CR LF across chunks
        {head + "\rnext", headLines},       // CR ends the chunk
        {QByteArray("a\0b\xE9\xFF\r\n", 7), {QString::fromUtf16(u"a\0b\u00E9\u00FF", 5)}},
        {QByteArray(100000, 'x') + "\r\nafter\r\n", {capped, "after"}},
        {QByteArray(100000, 'x'), {capped}},
    };
    // clang-format on
    for (const auto& [bytes, expected] : rows) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        LineReader reader(buffer);
        QStringList lines;
        while (!reader.atEnd())
            lines << reader.readLine();
        EXPECT_EQ(lines, expected) << bytes.left(20).toStdString();
        EXPECT_EQ(reader.lineNumber(), lines.size());
        EXPECT_THROW(reader.readLine(), ravik::RunTimeError);
    }
    GeneratedDevice failing("first\r\nsecond", 0, true); // a read error throws
    LineReader reader(failing);
    EXPECT_EQ(reader.readLine(), "first");
    EXPECT_THROW(reader.readLine(), ravik::RunTimeError);
}
