#include "linereader.h"
#include "errors.h"
#include <QIODevice>
#include <algorithm>
#include <cstring>
#include <string>

namespace ravik {

namespace {
// Big enough that a pass file needs a handful of reads, small enough to stay cheap when a
// single endless line is skipped.
constexpr qsizetype ChunkSize = 64 * 1024;
} // namespace

LineReader::LineReader(QIODevice& device) : device_(device) {}

// Replaces the exhausted buffer with the next chunk. False at the end of the device.
bool LineReader::fill() {
    if (eof_)
        return false;
    buffer_.resize(ChunkSize);
    const qint64 n = device_.read(buffer_.data(), ChunkSize);
    pos_ = 0;
    if (n < 0) {
        buffer_.resize(0);
        eof_ = true;
        throw RunTimeError("read error: " + device_.errorString().toStdString());
    }
    buffer_.resize(n);
    if (n == 0) {
        eof_ = true;
        return false;
    }
    return true;
}

bool LineReader::atEnd() {
    return pos_ >= buffer_.size() && !fill();
}

QString LineReader::readLine() {
    if (atEnd())
        throw RunTimeError("read past the end of the file");
    ++lineNumber_;

    // Skips the line feed of a CR LF pair, even when it starts the next chunk.
    auto skipLineFeed = [this] {
        if (pos_ < buffer_.size() || fill()) {
            if (buffer_.at(pos_) == '\n')
                ++pos_;
        }
    };

    QByteArray collected; // used only by lines that cross a chunk boundary
    bool spanning = false;
    for (;;) {
        const char* data = buffer_.constData();
        const char* start = data + pos_;
        const qsizetype available = buffer_.size() - pos_;
        const auto* cr = static_cast<const char*>(std::memchr(start, '\r', size_t(available)));
        const qsizetype length = cr ? cr - start : available;

        if (cr && !spanning) {
            // The common case: the whole line lies in the buffer.
            QString line = QString::fromLatin1(start, std::min<qsizetype>(length, MaxLineLength));
            pos_ += length + 1;
            skipLineFeed();
            return line;
        }
        const qsizetype room = MaxLineLength - collected.size();
        if (room > 0)
            collected.append(start, std::min(length, room));
        if (cr) {
            pos_ += length + 1;
            skipLineFeed();
            break;
        }
        pos_ = buffer_.size();
        spanning = true;
        if (!fill())
            break; // the last line has no terminator
    }
    return QString::fromLatin1(collected);
}

} // namespace ravik
