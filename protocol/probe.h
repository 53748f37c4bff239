#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

namespace ravik {

class SerialPort;

// Looks for the controller on one port without blocking: opens it, discards what is waiting,
// writes the identification request and judges the answer once more than four characters have
// come or the window has passed. Ends in exactly one finished(): found, the port stays open with
// notifications still off (the caller switches them on; what followed the judged piece is still
// waiting); not found, the port is closed again. `reason` says why in a few plain words (for a
// log, not for an operator's window).
class ControllerProbe : public QObject {
    Q_OBJECT
public:
    // A controller that answers within this time is found; a silent one is judged after it.
    static constexpr int WindowMs = 1000;
    // The product word must be among more than this many characters.
    static constexpr qint64 JudgedAfter = 4;

    explicit ControllerProbe(SerialPort& port, QObject* parent = nullptr);

    // Starts a probe of port `number`; finished() follows from the event loop, never from inside
    // this call. A probe under way is abandoned first, without its signal.
    void start(int number);
    // Abandons a probe under way, closing the port, without finished().
    void cancel();
    bool isRunning() const { return running_; }
    int portNumber() const { return number_; }
    // The characters judged: the start of the identification answer when found.
    const QByteArray& answer() const { return answer_; }
    // Not found because something answered without the product word: a foreign device, which
    // operators know as silence rather than as a missing controller.
    bool foreign() const { return foreign_; }

signals:
    void finished(bool found, const QString& reason);

private:
    void onInput();
    void judge();
    void end(bool found, const QString& reason);

    SerialPort& port_;
    QTimer window_;
    QByteArray answer_;
    int number_ = 0;
    quint64 attempt_ = 0; // an outcome posted for an abandoned attempt is dropped
    bool running_ = false;
    bool foreign_ = false;
};

} // namespace ravik
