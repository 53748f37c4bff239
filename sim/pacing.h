#pragma once
#include <QByteArray>
#include <deque>
#include <optional>

namespace ravik::sim {

// Time of one character on a 9600 baud line: 10 bits (start, 8 data, stop).
inline constexpr double MsPerCharAt9600 = 10.0 * 1000.0 / 9600.0;

// Paces characters as a serial line would: at most one per `msPerChar` on average, with a small
// catch-up allowance so that late wake-ups do not slow the line down. 0 means unpaced.
class LinePacer {
public:
    static constexpr int Burst = 2;

    explicit LinePacer(double msPerChar = 0) : msPerChar_(msPerChar) {}

    bool paced() const { return msPerChar_ > 0; }
    // How many characters may pass at `nowMs`.
    qsizetype allowance(double nowMs) const;
    void consumed(qsizetype count, double nowMs);
    // When the next character may pass; `nowMs` itself when it may already.
    double nextMs(double nowMs) const;

private:
    double msPerChar_;
    double free_ = -1e300; // when the line has finished the last character
};

// Replies waiting to go out, optionally cut into pieces of `PieceSize` characters with a gap of
// `pieceGapMs` between consecutive pieces (a controller that answers in dribs and drabs); a
// negative gap sends every reply whole.
class OutputQueue {
public:
    static constexpr qsizetype PieceSize = 3;
    static constexpr qsizetype Limit = 1 << 20; // nobody is reading: drop rather than grow forever

    OutputQueue(int pieceGapMs, double msPerChar) : gapMs_(pieceGapMs), line_(msPerChar) {}

    void push(const QByteArray& reply, double nowMs);
    // Removes and returns the bytes whose time has come.
    QByteArray take(double nowMs);
    bool empty() const { return pieces_.empty(); }
    void clear() {
        pieces_.clear();
        size_ = 0;
    }
    // When the next byte is due; nothing when the queue is empty.
    std::optional<double> nextMs(double nowMs) const;
    qsizetype size() const { return size_; }

private:
    struct Piece {
        QByteArray bytes;
        double readyMs;
    };
    int gapMs_;
    LinePacer line_;
    std::deque<Piece> pieces_;
    double lastPieceMs_ = -1e300;
    qsizetype size_ = 0;
};

} // namespace ravik::sim
