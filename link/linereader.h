#pragma once
#include <QByteArray>
#include <QString>

class QIODevice;

namespace ravik {

// Reads text lines the way every file of ours is written: a line ends at a carriage return,
// optionally followed by a line feed; a lone line feed stays inside the line. Bytes are Latin-1.
// A line longer than MaxLineLength keeps its first MaxLineLength characters; the rest of it is
// skipped in chunks, never held in memory.
class LineReader {
public:
    static constexpr int MaxLineLength = 32767;

    // The device must be open for reading; the reader does not own it.
    explicit LineReader(QIODevice& device);

    // True when no further line can be read.
    bool atEnd();
    // The next line without its terminator. Throws RunTimeError at the end of the file or when
    // the device reports a read error.
    QString readLine();
    // Number of lines read so far (for messages such as "line 57: ...").
    // 64 bits: a file of bare carriage returns passes 2^31 lines at 2 GiB.
    qint64 lineNumber() const { return lineNumber_; }

private:
    bool fill();

    QIODevice& device_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
    bool eof_ = false;
    qint64 lineNumber_ = 0;
};

} // namespace ravik
