#include "pacing.h"

#include <algorithm>
#include <cmath>

namespace ravik::sim {

qsizetype LinePacer::allowance(double nowMs) const {
    if (!paced())
        return std::numeric_limits<qsizetype>::max();
    if (free_ > nowMs)
        return 0;
    const double n = 1.0 + std::floor((nowMs - free_) / msPerChar_);
    return qsizetype(std::min(n, double(Burst)));
}

void LinePacer::consumed(qsizetype count, double nowMs) {
    if (!paced() || count <= 0)
        return;
    // An idle line carries no credit beyond the catch-up allowance.
    free_ = std::max(free_, nowMs - (Burst - 1) * msPerChar_) + double(count) * msPerChar_;
}

double LinePacer::nextMs(double nowMs) const {
    return paced() ? std::max(free_, nowMs) : nowMs;
}

void OutputQueue::push(const QByteArray& reply, double nowMs) {
    if (reply.isEmpty() || size_ + reply.size() > Limit)
        return;
    if (gapMs_ < 0) {
        pieces_.push_back({reply, nowMs});
    } else {
        for (qsizetype i = 0; i < reply.size(); i += PieceSize) {
            lastPieceMs_ = std::max(nowMs, lastPieceMs_ + gapMs_);
            pieces_.push_back({reply.mid(i, PieceSize), lastPieceMs_});
        }
    }
    size_ += reply.size();
}

QByteArray OutputQueue::take(double nowMs) {
    QByteArray out;
    while (!pieces_.empty() && pieces_.front().readyMs <= nowMs) {
        Piece& p = pieces_.front();
        const qsizetype n = std::min(p.bytes.size(), line_.allowance(nowMs));
        if (n <= 0)
            break;
        out += p.bytes.left(n);
        line_.consumed(n, nowMs);
        if (n == p.bytes.size())
            pieces_.pop_front();
        else
            p.bytes.remove(0, n);
    }
    size_ -= out.size();
    return out;
}

std::optional<double> OutputQueue::nextMs(double nowMs) const {
    if (pieces_.empty())
        return std::nullopt;
    return std::max(pieces_.front().readyMs, line_.nextMs(nowMs));
}

} // namespace ravik::sim
