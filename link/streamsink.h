#pragma once
#include "messagesink.h"
#include <cstdio>

namespace ravik {

// A message sink for headless programs: every piece goes to a standard stream as the Latin-1
// bytes the controller sent, flushed at once so a log shows it as it happens. Replacing the
// text cannot take back what a stream already printed, so it prints the new text after it.
class StreamSink : public MessageSink {
public:
    explicit StreamSink(std::FILE* stream) : stream_(stream) {}
    void setText(const QString& text) override { append(text); }
    void append(const QString& piece) override {
        const QByteArray bytes = piece.toLatin1();
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream_);
        std::fflush(stream_);
    }

private:
    std::FILE* stream_;
};

} // namespace ravik
