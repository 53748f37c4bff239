#pragma once
#include "commands.h"
#include "probe.h"
#include "tokenizer.h"
#include <QByteArray>
#include <QObject>
#include <QString>

namespace ravik {

class SerialPort;

// The serial link to one controller: start-up probe, closing, the status request, the fixed
// commands and the replies. It reports what happens as events and never words it: each program
// says it its own way. Whether the port is open after start() is the single gate for every later
// write; a failed start-up is never retried.
class ControllerLink : public QObject {
    Q_OBJECT
public:
    // The newest part of an unfinished reply that is kept.
    static constexpr qsizetype ReplyBufferLimit = 64 * 1024;

    // Why a probe found no controller.
    enum class Absence {
        NoAnswer, // the port failed, or nothing like an answer came in time
        Foreign,  // an answer without the product word: some other device
    };
    Q_ENUM(Absence)

    explicit ControllerLink(SerialPort& port, QObject* parent = nullptr);

    // The start-up sequence from reading the settings file to the probe's outcome, which found()
    // or notFound() tells (with port 0 when the settings file gave none). Never throws.
    void start(Tokens& tokens, const QString& settingsPath);
    // Opens port `port` and probes it; found() or notFound() tells the outcome. A headless program
    // that names its port itself starts here, and may call it again after a loss.
    void probe(int port);
    // Closing the window: closes the port; harmless when it is already closed.
    void close();
    // Open, and no probe is listening: the gate for every write.
    bool isOpen() const;
    bool isProbing() const { return probe_.isRunning(); }
    int portNumber() const { return port_; }

    // The status request "Z", when the port is open.
    void requestStatus();
    // A fixed command of the vocabulary: port gate, its one or two writes, then the status
    // request where the table says so.
    void send(Command command);
    // Writes one data-carrying string (upload line, time-set, point-to). False when the port is
    // closed or the write failed; a failed write is handled as a lost device.
    bool writeData(const QByteArray& bytes);
    // Bytes written that the device has not taken yet.
    qint64 bytesToWrite() const;

    // The reply being collected: what arrived since the last end-of-file character.
    const QByteArray& replyBuffer() const { return replyBuffer_; }

signals:
    void found(int port);
    // `reason` is the serial layer's own, when it gave one.
    void notFound(int port, ravik::ControllerLink::Absence why, const QString& reason);
    // The status request is about to go out.
    void statusRequested();
    // Characters of a reply arrived.
    void received(const QByteArray& bytes);
    // An end-of-file character ended the reply: everything since the one before (its newest
    // ReplyBufferLimit characters).
    void replyEnded(const QByteArray& reply);
    // The device went away or refused a write: the port is closed.
    void lost(const QString& reason);
    // The device took some of the bytes waiting to be written.
    void drained();

private:
    void onReceived();
    void onEndOfFile();
    bool rawWrite(std::string_view bytes);
    void handleLost();
    void onProbed(bool found, const QString& reason);

    SerialPort& serial_;
    ControllerProbe probe_;
    int port_ = 0;
    QByteArray replyBuffer_;
    bool connected_ = false; // found, and not lost or closed since
};

} // namespace ravik
