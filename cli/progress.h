#pragma once
#include <QElapsedTimer>
#include <cstdio>

namespace ravik {

// How far an upload has come, on stderr: a bar redrawn in place on a terminal, a plain line at
// every tenth of the way otherwise (a log file should not fill up with redraws). The time left
// is the average time per line so far times the lines still to send: the controller's own pace.
class Progress {
public:
    Progress(std::FILE* stream, bool terminal) : stream_(stream), terminal_(terminal) {}

    void start() { clock_.start(); }
    void update(int sent, int total);
    // Other text is about to be written: a bar on the screen gets its line ended first.
    void interrupt();

private:
    std::FILE* stream_;
    bool terminal_;
    bool barShown_ = false;
    int lastTenth_ = 0;
    QElapsedTimer clock_;
};

} // namespace ravik
