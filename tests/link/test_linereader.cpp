#include "errors.h"
#include "linereader.h"
#include <QBuffer>
#include <QStringList>
#include <gtest/gtest.h>

using ravik::LineReader;
using ravik::RunTimeError;

namespace {

constexpr qsizetype Chunk = 64 * 1024; // the reader's chunk size

QStringList ReadAll(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer);
    QStringList lines;
    while (!reader.atEnd())
        lines << reader.readLine();
    EXPECT_THROW(reader.readLine(), RunTimeError);
    EXPECT_EQ(reader.lineNumber(), lines.size());
    return lines;
}

// Hands out its data, then fails.
class FailingDevice : public QIODevice {
public:
    explicit FailingDevice(QByteArray data) : data_(std::move(data)) { open(ReadOnly); }

protected:
    qint64 readData(char* out, qint64 max) override {
        if (data_.isEmpty())
            return -1;
        const qint64 n = std::min<qint64>(max, data_.size());
        memcpy(out, data_.constData(), size_t(n));
        data_.remove(0, n);
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }
    bool isSequential() const override { return true; }

private:
    QByteArray data_;
};

} // namespace

TEST(LineReader, Table) {
    const QByteArray longLine(100000, 'x');
    const QByteArray head = QByteArray(40000, 'b') + "\r\n" + QByteArray(Chunk - 40003, 'a');
    const QStringList headLines{QString(LineReader::MaxLineLength, u'b'),
                                QString(Chunk - 40003, u'a')};
    const struct {
        const char* name;
        QByteArray bytes;
        QStringList lines;
    } rows[] = {
        {"empty file", "", {}},
        {"CR", "a\rb\r", {"a", "b"}},
        {"CR LF", "abc\r\n", {"abc"}},
        {"CR LF only", "\r\n", {""}},
        {"mixed", "a\r\nb\rc\r\n", {"a", "b", "c"}},
        {"lone LF stays", "a\nb\r\nc", {"a\nb", "c"}},
        {"LF CR", "a\n\r\nb", {"a\n", "b"}},
        {"no terminator", "x\r\nlast", {"x", "last"}},
        {"empty lines", "\r\r\n\r", {"", "", ""}},
        // A capped first line, then one that ends with the chunk's last byte.
        {"CR LF across chunks", head + "\r\nnext\r\n", headLines + QStringList{"next"}},
        {"CR ends the chunk", head + "\rnext", headLines + QStringList{"next"}},
        {"NUL and 8-bit",
         QByteArray("a\0b\xE9\xFF\r\n", 7),
         {QStringLiteral("a") + QChar(0) + QStringLiteral(u"b\u00E9\u00FF")}},
        {"long line capped",
         longLine + "\r\nafter\r\n",
         {QString(LineReader::MaxLineLength, u'x'), "after"}},
        {"long last line", longLine, {QString(LineReader::MaxLineLength, u'x')}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QStringList lines = ReadAll(row.bytes);
        ASSERT_EQ(lines.size(), row.lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            EXPECT_EQ(lines[i], row.lines[i]) << "line " << i;
    }
}

TEST(LineReader, ReadErrorThrows) {
    FailingDevice device("first\r\nsecond");
    LineReader reader(device);
    EXPECT_EQ(reader.readLine(), "first");
    EXPECT_THROW(reader.readLine(), RunTimeError);
}
