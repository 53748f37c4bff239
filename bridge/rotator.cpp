#include "rotator.h"
#include "pointtocommand.h"
#include "serialport.h"
#include "words.h"
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
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] { finish(Timeout); });
    connect(&retry_, &QTimer::timeout, this, &Rotator::retry);
    connect(&link_, &ControllerLink::found, this, [this](int n) { setText(foundLine(n)); });
    connect(&link_, &ControllerLink::notFound, this, [this](int n, ControllerLink::Absence why) {
        if (why != ControllerLink::Absence::Foreign)
            setText(notFoundLine(n));
    });
    connect(&link_, &ControllerLink::received, this,
            [this](const QByteArray& piece) { append(QString::fromLatin1(piece)); });
    connect(&link_, &ControllerLink::replyEnded, this, &Rotator::onReplyEnded);
    connect(&link_, &ControllerLink::lost, this, &Rotator::onLost);
    connect(&link_, &ControllerLink::drained, this, &Rotator::pump);
}

bool Rotator::connectController(int port, Tokens* tokens, const QString& settings) {
    if (tokens)
        link_.start(*tokens, settings);
    else
        link_.probe(port);
    return link_.isOpen();
}

void Rotator::keepTrying() {
    retrying_ = true;
    if (!link_.isOpen())
        retry_.start(RetryMs);
}

void Rotator::retry() {
    if (link_.isOpen() || shutdown_ || current_)
        return;
    link_.probe(link_.portNumber());
    if (link_.isOpen())
        retry_.stop();
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
        submit(owner, {pointToCommand(az, el)}, Expect::Nothing,
               [this, az, el, rprt](int code, const QByteArray& a) {
                   if (code == Ok) {
                       commandedAz_ = az;
                       commandedEl_ = el;
                   }
                   rprt(code, a);
               });
        return;
    }
    case Op::Stop:
        return submit(owner, writesOf(Command::Stop), Expect::Nothing, rprt);
    case Op::Reset:
        return submit(owner, writesOf(Command::Restart), Expect::Nothing, rprt);
    case Op::Move:
        return submit(owner, writesOf(request.jog), Expect::Nothing, rprt);
    case Op::GetPos:
        if (statusAge_.isValid() && statusAge_.elapsed() < StatusFreshMs && link_.isOpen())
            return answerPosition(request, done);
        return submit(owner, {toBytes(StatusRequest)}, Expect::Status,
                      [this, request, done](int code, const QByteArray& answer) {
                          if (code == IoError)
                              return done(formatReply(request, code));
                          rememberStatus(code, answer);
                          answerPosition(request, done);
                      });
    case Op::GetInfo:
        return submit(owner, {toBytes(IdentifyRequest)}, Expect::Identity,
                      [request, done](int code, const QByteArray& answer) {
                          const qsizetype word = answer.lastIndexOf(toBytes(ProductWord));
                          const qsizetype from = answer.lastIndexOf('\n', word) + 1;
                          const QByteArray info = answer.mid(word < 0 ? 0 : from).trimmed();
                          if (code != IoError && !info.isEmpty())
                              code = Ok;
                          done(formatReply(request, code, {{info, "Info: " + info}}));
                      });
    case Op::DumpState:
        return done(formatReply(request, Ok, dumpStateLines()));
    default:
        done(formatReply(request, Invalid));
    }
}

void Rotator::rememberStatus(int code, const QByteArray& answer) {
    if (code != Ok)
        return;
    status_ = answer;
    statusAge_.start();
}

void Rotator::answerPosition(const Request& request, const Done& done) {
    int az = commandedAz_, el = commandedEl_;
    positionFromStatus(status_, az, el); // else the last position commanded
    done(formatReply(request, Ok, positionLines(az, el)));
}

void Rotator::submit(QObject* owner, QList<QByteArray> writes, Expect expect,
                     std::function<void(int, const QByteArray&)> done) {
    if (shutdown_)
        return;
    queue_.enqueue({owner, std::move(writes), expect, std::move(done)});
    pump();
}

void Rotator::pump() {
    // A reply handed to a client may bring its next command at once; it only joins the queue.
    if (pumping_)
        return;
    pumping_ = true;
    while (!current_ && !queue_.isEmpty() && link_.bytesToWrite() == 0) {
        Job job = queue_.dequeue();
        if (!job.owner)
            continue; // its client left before its turn
        if (!link_.isOpen()) {
            job.done(IoError, {});
            continue;
        }
        bool written = true;
        for (const QByteArray& bytes : job.writes)
            written = written && link_.writeData(bytes);
        if (!written) {
            job.done(IoError, {});
            continue;
        }
        if (job.expect == Expect::Nothing) {
            job.done(Ok, {});
            continue;
        }
        answer_.clear();
        current_ = std::move(job);
        deadline_.start(ReplyDeadlineMs);
    }
    pumping_ = false;
    if (!current_ && shutdown_) {
        link_.close();
        std::exchange(shutdown_, {})();
    }
}

void Rotator::finish(int code) {
    deadline_.stop();
    if (!current_)
        return;
    Job job = std::move(*current_);
    current_.reset();
    if (job.owner)
        job.done(code, answer_);
    answer_.clear();
    pump();
}

void Rotator::append(const QString& piece) {
    if (!current_)
        return; // nobody asked: leftovers of the probe, a late answer
    answer_ += piece.toLatin1();
    // The answer is the line with the product word; the probe's leftovers may come before it.
    const qsizetype word = answer_.lastIndexOf(toBytes(ProductWord));
    if (current_->expect == Expect::Identity && word >= 0 && answer_.indexOf('\n', word) > 0)
        finish(Ok);
}

void Rotator::onReplyEnded() {
    if (current_ && current_->expect == Expect::Status)
        finish(Ok);
}

void Rotator::setText(const QString& text) {
    std::fprintf(stderr, "ravik-rotctld: %s\n", qPrintable(text.trimmed()));
    std::fflush(stderr);
}

void Rotator::onLost() {
    setText(notFoundLine(link_.portNumber()));
    status_.clear();
    statusAge_.invalidate();
    finish(IoError);
    if (retrying_)
        retry_.start(RetryMs);
}

void Rotator::shutdown(std::function<void()> then) {
    retry_.stop();
    shutdown_ = std::move(then);
    queue_.clear();
    pump();
}

} // namespace ravik
