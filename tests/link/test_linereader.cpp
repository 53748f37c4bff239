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
    const struct {
        QByteArray bytes;
        QStringList lines;
    } rows[] = {
        {"", {}},
        {"a\rb\r", {"a", "b"}},
        {"abc\r\n", {"abc"}},
        {"\r\n", {""}},
        {"a\r\nb\rc\r\n", {"a", "b", "c"}},
        {"a\nb\r\nc", {"a\nb", "c"}}, // a lone LF stays inside the line
        {"a\n\r\nb", {"a\n", "b"}},
        {"\r\r\n\r", {"", "", ""}},
        {head + "\r\nnext\r\n", headLines}, // CR LF across chunks
        {head + "\rnext", headLines},       // CR ends the chunk
        {QByteArray("a\0b\xE9\xFF\r\n", 7), {QString::fromUtf16(u"a\0b\u00E9\u00FF", 5)}},
        {QByteArray(100000, 'x') + "\r\nafter\r\n", {capped, "after"}},
        {QByteArray(100000, 'x'), {capped}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes.left(20).toStdString());
        QBuffer buffer;
        buffer.setData(row.bytes);
        buffer.open(QIODevice::ReadOnly);
        LineReader reader(buffer);
        QStringList lines;
        while (!reader.atEnd())
            lines << reader.readLine();
        EXPECT_EQ(lines, row.lines);
        EXPECT_EQ(reader.lineNumber(), lines.size());
        EXPECT_THROW(reader.readLine(), ravik::RunTimeError);
    }
}

TEST(LineReader, ReadErrorThrows) {
    GeneratedDevice device("first\r\nsecond", 0, true);
    LineReader reader(device);
    EXPECT_EQ(reader.readLine(), "first");
    EXPECT_THROW(reader.readLine(), ravik::RunTimeError);
}
