#pragma once
#include <QByteArray>
#include <QObject>
#include <functional>
#include <vector>

namespace ravik {

class ControllerLink;

// Sends prepared upload lines at the controller's pace. Waiting hands control to the event loop
// (replies, clock ticks and clicks go on) and is bounded by time, never by spinning.
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

    explicit Upload(ControllerLink& link, QObject* parent = nullptr);
    void setBudgets(const Budgets& budgets) { budgets_ = budgets; }

    // Writes the lines in order, waiting for a reply after each, then for the last reply. Each
    // line waits for the port to take the one before, so however silent the controller, the
    // lines not yet taken never pile up.
    Outcome send(const std::vector<QByteArray>& lines);
    // Runs the event loop until `done` holds, `maxMs` pass, or the upload is aborted. True when
    // `done` held. `wake` is emitted by whatever may change the answer.
    bool waitFor(const std::function<bool()>& done, int maxMs);
    // Why an upload that ended with `outcome` failed, as the operator reads it.
    QString failureReason(Outcome outcome) const;
    // Ends any wait at once; later waits return at once too.
    void abort();
    bool aborted() const { return aborted_; }

public slots:
    // Something happened that a wait may be waiting for (a reply, a clock tick).
    void wake();

signals:
    void woken();
    // A line went out and its wait is over: `sent` of the `total` lines are done (progress).
    void lineSent(int sent, int total);

private:
    // Waits until the port has taken every byte written; false when it took none for
    // drainMs (or the upload ended).
    bool waitForDrain();

    ControllerLink& link_;
    Budgets budgets_;
    bool aborted_ = false;
};

} // namespace ravik
