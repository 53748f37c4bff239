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
    // The first line may wait this long for the controller's reply.
    static constexpr int FirstReplyMs = 10000;
    // Each later line waits at most this long...
    static constexpr int LineReplyMs = 2000;
    // ...and waits that run out are charged to this budget; once it is spent lines are no
    // longer waited for (normal pacing, about 33 ms a line at 9600 baud, never touches it).
    static constexpr int SharedBudgetMs = 10000;
    // After the last line, a reply still missing is waited for this long.
    static constexpr int FinalReplyMs = 10000;

    enum class Outcome { Done, Lost, Aborted };

    explicit Upload(ControllerLink& link, QObject* parent = nullptr);

    // Writes the lines in order, waiting for a reply after each, then for the last reply.
    Outcome send(const std::vector<QByteArray>& lines);
    // Runs the event loop until `done` holds, `maxMs` pass, or the upload is aborted. True when
    // `done` held. `wake` is emitted by whatever may change the answer.
    bool waitFor(const std::function<bool()>& done, int maxMs);
    // Ends any wait at once; later waits return at once too.
    void abort();
    bool aborted() const { return aborted_; }
    bool running() const { return running_; }

public slots:
    // Something happened that a wait may be waiting for (a reply, a clock tick).
    void wake();

signals:
    void woken();

private:
    ControllerLink& link_;
    bool aborted_ = false;
    bool running_ = false;
};

} // namespace ravik
