#pragma once
#include "commands.h"
#include "tokenizer.h"
#include <QByteArray>
#include <QObject>
#include <QString>

namespace ravik {

class MessageSink;
class SerialPort;

// How a program shows what the controller says.
enum class LinkStyle {
    Uploader, // skypass: outcome lines appended; replies collected up to end-of-file, shown from
              // "Motion " on
    Manual,   // handpoint: outcome lines replace the text; replies appended as they come
};

QString FoundLine(int port);
QString NotFoundLine(int port);

// The serial link to one controller: start-up probe, closing, the status request, the fixed
// commands and the replies. Whether the port is open after start() is the single gate for every
// later write; a failed start-up is never retried.
class ControllerLink : public QObject {
    Q_OBJECT
public:
    // A controller that answers within this time is found; a silent one is reported after it.
    static constexpr int ProbeWindowMs = 1000;
    // The newest part of an unfinished reply that skypass keeps.
    static constexpr qsizetype ReplyBufferLimit = 64 * 1024;

    ControllerLink(SerialPort& port, MessageSink& box, LinkStyle style, QObject* parent = nullptr);

    // The start-up sequence from reading the settings file to the outcome line. Never throws.
    // Returns the port number as far as it was known (0 before the settings file gave one).
    int start(TokenList& tokens, const QString& settingsPath);
    // Opens port `port` and probes it, writing the outcome line as start() does. A headless
    // program that names its port itself starts here, and may call it again after a loss.
    // True when the controller was found (the port then stays open).
    bool probe(int port);
    // Closing the window: closes the port; harmless when it is already closed.
    void close();
    bool isOpen() const;
    int portNumber() const { return port_; }

    // cmdStatus_Click: "Reading the status" and "Z", when the port is open.
    void requestStatus();
    // A fixed command of the vocabulary: port gate, its one or two writes, then the status
    // request where the table says so.
    void send(Command command);
    // Writes one data-carrying string (upload line, time-set, point-to). False when the port is
    // closed or the write failed; a failed write is handled as a lost device.
    bool writeData(const QByteArray& bytes);
    // Bytes written that the device has not taken yet.
    qint64 bytesToWrite() const;

    // skypass's reply assembly, for tests and the upload's pacing.
    const QByteArray& replyBuffer() const { return replyBuffer_; }
    // Receive notifications handled so far, and end-of-file notifications handled so far.
    quint64 receiveCount() const { return receives_; }
    quint64 endOfFileCount() const { return endOfFiles_; }

    // Runs the handler for one notification kind (MSComm1_OnComm); public for the upload tests.
    void onComm(int commEvent);

signals:
    // A notification was handled (replies shown); the upload waits on this.
    void commHandled(int commEvent);
    // The device went away or refused a write: the port is closed and the not-found line shown.
    void lost();
    // The device took some of the bytes waiting to be written.
    void drained();

private:
    void writeOutcome(const QString& line);
    bool rawWrite(std::string_view bytes);
    void handleLost();

    SerialPort& serial_;
    MessageSink& box_;
    LinkStyle style_;
    int port_ = 0;
    QByteArray replyBuffer_;
    quint64 receives_ = 0;
    quint64 endOfFiles_ = 0;
    bool probing_ = false;
    bool lostReported_ = false;
};

} // namespace ravik
