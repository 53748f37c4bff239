#include "upload.h"
#include "controllerlink.h"
#include "serialport.h"
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

namespace ravik {

Upload::Upload(ControllerLink& link, QObject* parent) : QObject(parent), link_(link) {
    connect(&link_, &ControllerLink::commHandled, this, &Upload::wake);
    connect(&link_, &ControllerLink::lost, this, &Upload::wake);
    connect(&link_, &ControllerLink::drained, this, &Upload::wake);
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

void Upload::wake() {
    emit woken();
}

void Upload::abort() {
    aborted_ = true;
    emit woken();
}

bool Upload::waitFor(const std::function<bool()>& done, int maxMs) {
    if (done())
        return true;
    if (aborted_ || maxMs <= 0)
        return false;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &Upload::woken, &loop, [&] {
        if (aborted_ || done())
            loop.quit();
    });
    deadline.start(maxMs);
    loop.exec();
    return done();
}

bool Upload::waitForDrain() {
    for (qint64 left = link_.bytesToWrite(); left > 0; left = link_.bytesToWrite()) {
        waitFor([&] { return link_.bytesToWrite() < left || !link_.isOpen(); }, budgets_.drainMs);
        if (aborted_ || !link_.isOpen() || link_.bytesToWrite() >= left)
            return false;
    }
    return true;
}

Upload::Outcome Upload::send(const std::vector<QByteArray>& lines) {
    // A reply answers a line only if it begins after the line was written: when the previous
    // reply was still arriving at the write, its tail (end-of-file included) is passed over.
    bool tailPending = false;
    bool endSeen = false;
    bool answered = false;
    const auto tracker = connect(&link_, &ControllerLink::commHandled, this, [&](int event) {
        // Anything that begins after the line answers it, even a bare end-of-file character.
        if (!tailPending || endSeen)
            answered = true;
        if (event == CommEndOfFile)
            endSeen = true;
    });
    struct Disconnect {
        QMetaObject::Connection c;
        ~Disconnect() { QObject::disconnect(c); }
    } disconnectTracker{tracker};

    const auto answeredOrGone = [&] { return answered || !link_.isOpen(); };
    int sharedLeft = budgets_.sharedMs;
    bool lastAnswered = true;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (aborted_)
            return Outcome::Aborted;
        tailPending = i > 0 && !link_.replyBuffer().isEmpty();
        endSeen = false;
        answered = false;
        if (!waitForDrain()) {
            if (aborted_)
                return Outcome::Aborted;
            return link_.isOpen() ? Outcome::Stalled : Outcome::Lost;
        }
        if (!link_.writeData(lines[i]))
            return aborted_ ? Outcome::Aborted : Outcome::Lost;
        const int budget =
            i == 0 ? budgets_.firstReplyMs : std::min(budgets_.lineReplyMs, sharedLeft);
        QElapsedTimer waited;
        waited.start();
        waitFor(answeredOrGone, budget);
        if (aborted_)
            return Outcome::Aborted;
        if (!link_.isOpen())
            return Outcome::Lost;
        if (!answered && i > 0 && budget > 0)
            sharedLeft -= int(std::min<qint64>(waited.elapsed(), budget));
        lastAnswered = answered;
        emit lineSent(int(i + 1), int(lines.size()));
    }
    if (!lastAnswered) {
        waitFor(answeredOrGone, budgets_.finalReplyMs);
        if (aborted_)
            return Outcome::Aborted;
        if (!link_.isOpen())
            return Outcome::Lost;
    }
    return Outcome::Done;
}

} // namespace ravik
