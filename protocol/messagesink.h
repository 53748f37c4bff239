#pragma once
#include <QString>

namespace ravik {

// Where the link and the upload put what the operator reads: a window's message box, or a
// headless program's standard streams. Text is exact, with its own CR LF.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Replaces everything shown so far.
    virtual void setText(const QString& text) = 0;
    // Adds `piece` after what is shown.
    virtual void append(const QString& piece) = 0;
};

} // namespace ravik
