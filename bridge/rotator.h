#pragma once
#include "controllerlink.h"
#include "rotctlprotocol.h"
#include <QElapsedTimer>
#include <QPointer>
#include <QQueue>
#include <QTimer>
#include <functional>
#include <optional>

namespace ravik {

class SerialPort;

// The controller side of the bridge: one port, one queue. Commands from every client go out one
// at a time, each whole, so bytes of two clients never mix on the line. A command is answered
// once the line can have carried it (and the device says its output queue is empty), and the
// next one is written only then, so the controller is never more than one command behind; a
// target still waiting behind it is replaced by a newer target. A command that expects an answer
// holds the line until its answer is complete or its deadline passes. A lost controller is looked
// for again, without ever blocking, until it comes back.
class Rotator : public QObject {
    Q_OBJECT
public:
    // How long an answer may take: a status reply at 9600 baud takes about 80 ms.
    static constexpr int ReplyDeadlineMs = 1000;
    // A status reply younger than this answers get_pos without asking again, so many clients
    // polling at once cost the line one request.
    static constexpr int StatusFreshMs = 200;
    static constexpr int RetryMs = 2000;
    // One character on the line: 10 bits at 9600 baud.
    static constexpr qint64 CharacterNs = 10 * 1000000000LL / 9600;
    // How often a device that still holds bytes for the wire is asked again.
    static constexpr int OutputPollMs = 2;

    using Done = std::function<void(const QByteArray& reply)>;
    // Whether port N has its own COM<N> entry (see portDevicePath).
    using EntryCheck = std::function<bool(int port)>;

    explicit Rotator(SerialPort& serial, QObject* parent = nullptr);

    // Looks for the controller on `port` (0: none could be read from the settings) and reports
    // the outcome once to `then`; later losses and returns only go to the log.
    void start(int port, std::function<void(bool found)> then = {});
    // Keeps looking every RetryMs while the controller is missing.
    void keepTrying();
    // A controller found through a COM<N> entry is looked for again only while that entry is
    // there, never at the device the number means without it.
    void setEntryCheck(EntryCheck check) { entryCheck_ = std::move(check); }
    // Tests shorten the time between looks.
    void setRetryMs(int ms) { retryMs_ = ms; }
    bool isConnected() const { return connected_; }
    int portNumber() const { return port_; }
    void setPark(int azimuth, int elevation);

    // Carries out a checked request; `done` gets the reply unless `owner` is gone by then.
    void execute(const rotctl::Request& request, QObject* owner, Done done);

    // Drops what has not started, lets the command on the line finish, closes the port and
    // then calls `then`.
    void shutdown(std::function<void()> then);

private:
    enum class Expect { Nothing, Status, Identity };
    struct Job {
        QPointer<QObject> owner;
        QList<QByteArray> writes;
        Expect expect = Expect::Nothing;
        std::optional<std::pair<int, int>> target; // set_pos and park: replaced by a newer one
        std::function<void(int code, const QByteArray& answer)> done;
    };

    void submit(Job job);
    void pump();
    void carried();
    void finish(int code, const QByteArray& answer = {});
    void onReceived(const QByteArray& bytes);
    void onReplyEnded();
    void onStatusReply(const QByteArray& reply);
    void onProbed(bool found, const QString& reason);
    void onLost();
    void retry();
    void answerPosition(const rotctl::Request& request, const Done& done);
    void log(const QString& line);

    SerialPort& serial_;
    ControllerLink link_;
    EntryCheck entryCheck_;
    QQueue<Job> queue_;
    std::optional<Job> current_;
    QByteArray input_; // what came since the last end-of-file
    QTimer deadline_;
    QTimer paced_;
    QTimer retry_;
    QElapsedTimer clock_;
    qint64 lineFreeNs_ = 0; // when the line has carried everything written so far
    int statusOwed_ = 0;    // status requests written whose replies have not come
    bool lateSeen_ = false; // a late reply came while the current status request waited
    bool pumping_ = false;
    bool retrying_ = false;
    bool connected_ = false;
    bool viaEntry_ = false; // found through a COM<N> entry
    int port_ = 0;
    int retryMs_ = RetryMs;
    std::function<void(bool)> started_;
    std::function<void()> shutdown_;

    int parkAz_ = 0, parkEl_ = 0;
    int commandedAz_ = 0, commandedEl_ = 0;
    QByteArray status_; // the latest complete status reply
    QElapsedTimer statusAge_;
};

// Azimuth and elevation from a status reply: the numbers after the words "Az" and "El".
bool positionFromStatus(const QByteArray& status, int& azimuth, int& elevation);

} // namespace ravik
