#include "rotator.h"
#include "pointtocommand.h"
#include "serialport.h"
#include <QRegularExpression>
#include <cstdio>

namespace ravik {

using namespace rotctl;

namespace {

QList<QByteArray> writesOf(Command command) {
    const CommandRow& row = commandRow(command);
    QList<QByteArray> writes{toBytes(row.first)};
    if (!row.second.empty())
        writes.append(toBytes(row.second));
    return writes;
}

// What a controller that never ends its reply may leave behind.
constexpr qsizetype InputLimit = 64 * 1024;

} // namespace

bool positionFromStatus(const QByteArray& status, int& azimuth, int& elevation) {
    static const QRegularExpression az(QStringLiteral("(?:^|\\s)Az\\s+(-?\\d+)"));
    static const QRegularExpression el(QStringLiteral("(?:^|\\s)El\\s+(-?\\d+)"));
    const QString text = QString::fromLatin1(status);
    const auto a = az.match(text), e = el.match(text);
    if (!a.hasMatch() || !e.hasMatch())
        return false;
    // The cable wrap lets the controller read below 0 or beyond 359; clients know 0..360.
    azimuth = ((a.captured(1).toInt() % 360) + 360) % 360;
    elevation = e.captured(1).toInt();
    return true;
}

Rotator::Rotator(SerialPort& serial, QObject* parent)
    : QObject(parent), serial_(serial), link_(serial) {
    clock_.start();
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] { finish(Timeout); });
    paced_.setSingleShot(true);
    paced_.setTimerType(Qt::PreciseTimer);
    connect(&paced_, &QTimer::timeout, this, &Rotator::carried);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &Rotator::retry);
    // The link's events: the probe's outcome, the controller's bytes and replies, a loss.
    connect(&link_, &ControllerLink::found, this, [this] { onProbed(true, {}); });
    connect(&link_, &ControllerLink::notFound, this,
            [this](int, ControllerLink::Absence, const QString& why) { onProbed(false, why); });
    connect(&link_, &ControllerLink::received, this, &Rotator::onReceived);
    connect(&link_, &ControllerLink::replyEnded, this, &Rotator::onReplyEnded);
    connect(&link_, &ControllerLink::lost, this, [this] {
        if (connected_)
            onLost();
    });
}

void Rotator::start(int port, std::function<void(bool)> then) {
    port_ = port;
    started_ = std::move(then);
    if (port < 1) {
        log(QStringLiteral("no port number to look for the controller on"));
        return QTimer::singleShot(0, this, [this] { onProbed(false, {}); });
    }
    link_.probe(port);
}

void Rotator::keepTrying() {
    retrying_ = true;
    if (!connected_ && !link_.isProbing() && port_ >= 1)
        retry_.start(retryMs_);
}

void Rotator::retry() {
    if (connected_ || shutdown_ || link_.isProbing())
        return;
    // Where the controller was found through COM<N>, a missing entry means it is not there: the
    // device the bare number names may belong to something else.
    if (viaEntry_ && entryCheck_ && !entryCheck_(port_))
        return retry_.start(retryMs_);
    link_.probe(port_);
}

void Rotator::onProbed(bool found, const QString& reason) {
    const bool first = bool(started_);
    if (found) {
        connected_ = true;
        viaEntry_ = entryCheck_ && entryCheck_(port_);
        input_.clear();
        statusOwed_ = 0;
        lineFreeNs_ = 0;
        log(QStringLiteral("the controller was found on port %1").arg(port_));
        pump();
    } else if (first && port_ >= 1) {
        log(QStringLiteral("the controller is not on port %1: %2").arg(port_).arg(reason));
    }
    if (first)
        std::exchange(started_, {})(found);
    if (!found && retrying_ && !shutdown_)
        retry_.start(retryMs_);
}

void Rotator::onLost() {
    connected_ = false;
    link_.close();
    status_.clear();
    statusAge_.invalidate();
    paced_.stop();
    log(QStringLiteral("the controller on port %1 was lost").arg(port_));
    finish(IoError);
    if (retrying_ && !shutdown_)
        retry_.start(retryMs_);
}

void Rotator::setPark(int azimuth, int elevation) {
    parkAz_ = commandedAz_ = azimuth;
    parkEl_ = commandedEl_ = elevation;
}

void Rotator::execute(const Request& request, QObject* owner, Done done) {
    const auto rprt = [request, done](int code, const QByteArray&) {
        done(formatReply(request, code));
    };
    switch (request.op) {
    case Op::SetPos:
    case Op::Park: {
        const bool park = request.op == Op::Park;
        const int az = park ? parkAz_ : request.azimuth, el = park ? parkEl_ : request.elevation;
        return submit({owner, {pointToCommand(az, el)}, Expect::Nothing, {{az, el}}, rprt});
    }
    case Op::Stop:
        return submit({owner, writesOf(Command::Stop), Expect::Nothing, {}, rprt});
    case Op::Reset:
        return submit({owner, writesOf(Command::Restart), Expect::Nothing, {}, rprt});
    case Op::Move:
        return submit({owner, writesOf(request.jog), Expect::Nothing, {}, rprt});
    case Op::GetPos:
        if (statusAge_.isValid() && statusAge_.elapsed() < StatusFreshMs && connected_)
            return answerPosition(request, done);
        return submit({owner,
                       {toBytes(StatusRequest)},
                       Expect::Status,
                       {},
                       [this, request, done](int code, const QByteArray&) {
                           if (code != Ok)
                               return done(formatReply(request, code));
                           answerPosition(request, done);
                       }});
    case Op::GetInfo:
        return submit({owner,
                       {toBytes(IdentifyRequest)},
                       Expect::Identity,
                       {},
                       [request, done](int code, const QByteArray& answer) {
                           const qsizetype word = answer.lastIndexOf(toBytes(ProductWord));
                           const qsizetype from = answer.lastIndexOf('\n', word) + 1;
                           const QByteArray info = answer.mid(word < 0 ? 0 : from).trimmed();
                           if (code != IoError && !info.isEmpty())
                               code = Ok;
                           done(formatReply(request, code, {{info, "Info: " + info}}));
                       }});
    case Op::DumpState:
        return done(formatReply(request, Ok, dumpStateLines()));
    default:
        done(formatReply(request, Invalid));
    }
}

void Rotator::answerPosition(const Request& request, const Done& done) {
    // Only a controller whose status replies carry no position is answered with the position
    // last commanded, and only while its replies keep coming (a fresh one was just credited).
    int az = commandedAz_, el = commandedEl_;
    positionFromStatus(status_, az, el);
    done(formatReply(request, Ok, positionLines(az, el)));
}

void Rotator::submit(Job job) {
    if (shutdown_)
        return;
    // The newest target replaces one still waiting at the end of the queue, where it stands;
    // that one was overtaken, not refused.
    std::optional<Job> overtaken;
    if (job.target && !queue_.isEmpty() && queue_.last().target)
        overtaken = queue_.takeLast();
    queue_.enqueue(std::move(job));
    if (overtaken && overtaken->owner)
        overtaken->done(Ok, {});
    pump();
}

void Rotator::pump() {
    // A reply handed to a client may bring its next command at once; it only joins the queue.
    if (pumping_)
        return;
    pumping_ = true;
    while (!current_ && !queue_.isEmpty()) {
        Job job = queue_.dequeue();
        if (!job.owner)
            continue; // its client left before its turn
        if (!connected_) {
            job.done(IoError, {});
            continue;
        }
        qint64 count = 0;
        bool written = true;
        for (const QByteArray& bytes : job.writes) {
            written = written && link_.writeData(bytes);
            count += bytes.size();
        }
        if (!written) { // the link has told of the loss already
            if (connected_)
                onLost();
            job.done(IoError, {});
            continue;
        }
        if (job.target)
            std::tie(commandedAz_, commandedEl_) = *job.target;
        lineFreeNs_ = std::max(lineFreeNs_, clock_.nsecsElapsed()) + count * CharacterNs;
        const Expect expect = job.expect;
        current_ = std::move(job);
        if (expect == Expect::Nothing) {
            carried();
        } else {
            if (expect == Expect::Status)
                ++statusOwed_;
            lateSeen_ = false;
            input_.clear();
            deadline_.start(ReplyDeadlineMs);
        }
    }
    pumping_ = false;
    if (!current_ && shutdown_) {
        link_.close();
        std::exchange(shutdown_, {})();
    }
}

void Rotator::carried() {
    // Answered no sooner than the line can have carried the command, and, where the device can
    // tell, not before its output queue is empty.
    if (!current_ || current_->expect != Expect::Nothing)
        return;
    const qint64 leftNs = lineFreeNs_ - clock_.nsecsElapsed();
    if (leftNs > 0)
        return paced_.start(int((leftNs + 999999) / 1000000));
    if (serial_.bytesToWrite() > 0 || serial_.outputQueued() > 0)
        return paced_.start(OutputPollMs);
    finish(Ok);
}

void Rotator::finish(int code, const QByteArray& answer) {
    deadline_.stop();
    paced_.stop();
    if (!current_)
        return;
    if (code == Timeout && current_->expect == Expect::Status && lateSeen_)
        statusOwed_ = 0; // it answered, but not this request: it lost one
    Job job = std::move(*current_);
    current_.reset();
    if (job.owner)
        job.done(code, answer);
    pump();
}

void Rotator::onReceived(const QByteArray& bytes) {
    if (!connected_)
        return;
    input_ += bytes;
    if (input_.size() > InputLimit)
        input_.remove(0, input_.size() - InputLimit);
    // The identification answer is the line with the product word, without end-of-file.
    const qsizetype word = input_.lastIndexOf(toBytes(ProductWord));
    if (current_ && current_->expect == Expect::Identity && word >= 0 &&
        input_.indexOf('\n', word) > 0)
        finish(Ok, std::exchange(input_, {}));
}

void Rotator::onReplyEnded() {
    if (!connected_)
        return;
    const QByteArray reply = std::exchange(input_, {});
    // A status reply carries the status word, as skypass judges it; anything else ending in
    // end-of-file (a command's own short reply) is not one.
    if (const qsizetype at = reply.indexOf(toBytes(StatusWord)); at >= 0)
        onStatusReply(reply.mid(at));
}

void Rotator::onStatusReply(const QByteArray& reply) {
    if (statusOwed_ == 0)
        return; // nobody asked
    // Replies come in the order of the requests: while an older request is still owed its
    // reply, this one is that reply, come after its request timed out.
    if (--statusOwed_ > 0) {
        lateSeen_ = true;
        return;
    }
    if (!current_ || current_->expect != Expect::Status)
        return;
    status_ = reply;
    statusAge_.start();
    finish(Ok, reply);
}

void Rotator::log(const QString& line) {
    std::fprintf(stderr, "ravik-rotctld: %s\n", qPrintable(line));
    std::fflush(stderr);
}

void Rotator::shutdown(std::function<void()> then) {
    retry_.stop();
    if (link_.isProbing())
        link_.close();
    shutdown_ = std::move(then);
    queue_.clear();
    pump();
}

} // namespace ravik
