#pragma once
#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <vector>

namespace ravik {

class ControllerLink;

// Sends prepared upload lines at the controller's pace: a small state machine driven by the
// link's events and one single-shot timer, ending in one finished() signal. Nothing in it waits:
// replies, clock ticks and clicks go on between lines. Every wait is bounded by time.
class Upload : public QObject {
    Q_OBJECT
public:
    // How long replies are waited for. The defaults suit a controller at 9600 baud, where a
    // line and its reply take about 33 ms; tests shorten them.
    struct Budgets {
        int firstReplyMs = 10000; // the first line's own wait
        int lineReplyMs = 2000;   // each later line waits at most this long...
        // ...and only waits that ran out are charged here; once it is spent, later lines are
        // no longer waited for
        int sharedMs = 10000;
        int finalReplyMs = 10000; // after the last line, for a reply still missing
        // A line is written only once the one before has left; a controller that takes none of
        // it for this long stalls the upload (the port stays open, nothing is cut).
        int drainMs = 10000;
    };

    enum class Outcome { Done, Lost, Aborted, Stalled };
    Q_ENUM(Outcome)

    explicit Upload(ControllerLink& link, QObject* parent = nullptr);
    void setBudgets(const Budgets& budgets) { budgets_ = budgets; }

    // Starts writing the lines in order, each after the reply to the one before (or its budget),
    // then waits for the last reply; finished() follows once. Each line waits for the port to
    // take the one before, so however silent the controller, the lines not yet taken never pile
    // up.
    void start(std::vector<QByteArray> lines);
    // Ends a running upload at once, with finished(Aborted).
    void abort();
    bool isRunning() const { return state_ != State::Idle; }
    // Why an upload that ended with `outcome` failed, as the operator reads it.
    QString failureReason(Outcome outcome) const;

signals:
    // A line went out and its wait is over: `sent` of the `total` lines are done (progress).
    void lineSent(int sent, int total);
    void finished(ravik::Upload::Outcome outcome);

private:
    enum class State { Idle, Draining, AwaitingReply, Answered, AwaitingLast };

    void writeWhenDrained();
    void onDrained();
    void onReply(bool ended);
    void onTimeout();
    void lineDone();
    void finish(Outcome outcome);

    ControllerLink& link_;
    Budgets budgets_;
    QTimer timer_; // the wait in progress: for the port to drain, or for a reply
    State state_ = State::Idle;
    std::vector<QByteArray> lines_;
    std::size_t next_ = 0; // the line being sent
    int budget_ = 0;       // its reply budget
    int sharedLeft_ = 0;   // of Budgets::sharedMs
    qint64 unsent_ = 0;    // bytes the port had not taken at the last progress
    // A reply answers a line only if it begins after the line was written: when the previous
    // reply was still arriving at the write, its tail (end-of-file included) is passed over.
    bool tailPending_ = false;
    bool endSeen_ = false;
    bool answered_ = false;
};

} // namespace ravik
