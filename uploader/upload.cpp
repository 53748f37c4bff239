#include "upload.h"
#include "controllerlink.h"
#include <algorithm>

namespace ravik {

Upload::Upload(ControllerLink& link, QObject* parent) : QObject(parent), link_(link) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &Upload::onTimeout);
    connect(&link_, &ControllerLink::received, this, [this] { onReply(false); });
    connect(&link_, &ControllerLink::replyEnded, this, [this] { onReply(true); });
    connect(&link_, &ControllerLink::drained, this, &Upload::onDrained);
    connect(&link_, &ControllerLink::lost, this, [this] {
        if (isRunning())
            finish(Outcome::Lost);
    });
}

QString Upload::failureReason(Outcome outcome) const {
    switch (outcome) {
    case Outcome::Lost:
        return QStringLiteral("the controller went away during the upload");
    case Outcome::Stalled:
        return QStringLiteral("the controller took no data for %1 s").arg(budgets_.drainMs / 1000);
    case Outcome::Aborted:
        return QStringLiteral("the upload was ended");
    case Outcome::Done:
        break;
    }
    return {};
}

void Upload::start(std::vector<QByteArray> lines) {
    lines_ = std::move(lines);
    next_ = 0;
    sharedLeft_ = budgets_.sharedMs;
    answered_ = true; // nothing is missing before the first line
    if (lines_.empty()) {
        state_ = State::Answered;
        QMetaObject::invokeMethod(
            this, [this] { finish(Outcome::Done); }, Qt::QueuedConnection);
        return;
    }
    writeWhenDrained();
}

void Upload::abort() {
    if (isRunning())
        finish(Outcome::Aborted);
}

void Upload::writeWhenDrained() {
    if (!link_.isOpen())
        return finish(Outcome::Lost);
    unsent_ = link_.bytesToWrite();
    if (unsent_ > 0) {
        state_ = State::Draining;
        timer_.start(budgets_.drainMs);
        return;
    }
    const std::size_t i = next_;
    tailPending_ = i > 0 && !link_.replyBuffer().isEmpty();
    endSeen_ = false;
    answered_ = false;
    state_ = State::AwaitingReply;
    if (!link_.writeData(lines_[i])) {
        if (isRunning()) // the loss may have ended the upload already
            finish(Outcome::Lost);
        return;
    }
    budget_ = i == 0 ? budgets_.firstReplyMs : std::min(budgets_.lineReplyMs, sharedLeft_);
    if (budget_ > 0) {
        timer_.start(budget_);
    } else { // the shared budget is spent: on as fast as the line takes the lines
        state_ = State::Answered;
        QMetaObject::invokeMethod(this, &Upload::lineDone, Qt::QueuedConnection);
    }
}

void Upload::onDrained() {
    if (state_ != State::Draining)
        return;
    const qint64 left = link_.bytesToWrite();
    if (left == 0) {
        timer_.stop();
        writeWhenDrained();
    } else if (left < unsent_) { // progress: the controller gets the full time again
        unsent_ = left;
        timer_.start(budgets_.drainMs);
    }
}

void Upload::onReply(bool ended) {
    if (state_ != State::AwaitingReply && state_ != State::AwaitingLast)
        return;
    // Anything that begins after the line answers it, even a bare end-of-file character.
    if (!tailPending_ || endSeen_)
        answered_ = true;
    if (ended)
        endSeen_ = true;
    if (!answered_)
        return;
    timer_.stop();
    if (state_ == State::AwaitingLast)
        return finish(Outcome::Done);
    // On from the event loop, so the rest of what arrived with this reply is taken first.
    state_ = State::Answered;
    QMetaObject::invokeMethod(this, &Upload::lineDone, Qt::QueuedConnection);
}

void Upload::onTimeout() {
    switch (state_) {
    case State::Draining:
        return finish(link_.isOpen() ? Outcome::Stalled : Outcome::Lost);
    case State::AwaitingReply:
        if (next_ > 0)
            sharedLeft_ -= budget_;
        return lineDone();
    case State::AwaitingLast:
        return finish(Outcome::Done);
    case State::Idle:
    case State::Answered:
        break;
    }
}

void Upload::lineDone() {
    if (state_ != State::AwaitingReply && state_ != State::Answered)
        return; // ended meanwhile
    ++next_;
    emit lineSent(int(next_), int(lines_.size()));
    if (!isRunning())
        return;
    if (next_ < lines_.size())
        return writeWhenDrained();
    if (answered_)
        return finish(Outcome::Done);
    state_ = State::AwaitingLast;
    timer_.start(budgets_.finalReplyMs);
}

void Upload::finish(Outcome outcome) {
    timer_.stop();
    state_ = State::Idle;
    lines_.clear();
    emit finished(outcome);
}

} // namespace ravik
