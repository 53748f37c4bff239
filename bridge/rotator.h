#pragma once
#include "controllerlink.h"
#include "messagesink.h"
#include "rotctlprotocol.h"
#include <QElapsedTimer>
#include <QPointer>
#include <QQueue>
#include <QTimer>
#include <functional>

namespace ravik {

// The controller side of the bridge: one link, one queue. Commands from every client go out one
// at a time, each whole, so bytes of two clients never mix on the line; a command that expects
// an answer holds the line until the answer is complete or its deadline passes, and the next
// command waits until the port has taken the one before, so a client flooding set_pos never
// piles bytes up in front of the controller. A lost
// controller is probed again until it comes back.
class Rotator : public QObject, private MessageSink {
    Q_OBJECT
public:
    // How long an answer may take: a status reply at 9600 baud takes about 80 ms.
    static constexpr int ReplyDeadlineMs = 1000;
    // A status reply younger than this answers get_pos without asking again, so many clients
    // polling at once cost the line one request.
    static constexpr int StatusFreshMs = 200;
    static constexpr int RetryMs = 2000;

    using Done = std::function<void(const QByteArray& reply)>;

    Rotator(SerialPort& serial, QObject* parent = nullptr);

    // The first probe, by the settings file (port 0) or a port number. True when found.
    bool connectController(int port, Tokens* tokens = nullptr, const QString& settings = {});
    // Keeps probing every RetryMs while the controller is missing.
    void keepTrying();
    bool isConnected() const { return link_.isOpen(); }
    int portNumber() const { return link_.portNumber(); }
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
        Expect expect;
        std::function<void(int code, const QByteArray& answer)> done;
    };

    void submit(QObject* owner, QList<QByteArray> writes, Expect expect,
                std::function<void(int, const QByteArray&)> done);
    void pump();
    void finish(int code);
    void onReplyEnded();
    void onLost();
    void retry();
    void rememberStatus(int code, const QByteArray& answer);
    void answerPosition(const rotctl::Request& request, const Done& done);

    // The link's operator text goes to stderr; the replies are gathered for the job waiting.
    void setText(const QString& text) override;
    void append(const QString& piece) override;

    SerialPort& serial_;
    ControllerLink link_;
    QQueue<Job> queue_;
    std::optional<Job> current_;
    QByteArray answer_;
    QTimer deadline_;
    QTimer retry_;
    bool pumping_ = false;
    bool retrying_ = false;
    std::function<void()> shutdown_;

    int parkAz_ = 0, parkEl_ = 0;
    int commandedAz_ = 0, commandedEl_ = 0;
    QByteArray status_; // the latest complete status reply
    QElapsedTimer statusAge_;
};

// Azimuth and elevation from a status reply: the numbers after the words "Az" and "El".
bool positionFromStatus(const QByteArray& status, int& azimuth, int& elevation);

} // namespace ravik
