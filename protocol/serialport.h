#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>

namespace ravik {

inline constexpr char EndOfFileChar = 26; // Ctrl-Z ends every controller reply

// The operations the controller link relies on. Received bytes are delivered as notifications:
// received() when characters are waiting, and endOfFile() right after the characters in front
// of an end-of-file character have been made available. The end-of-file character itself is
// never handed out by readAll().
class SerialPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Opens port `number` at 9600 baud, no parity, 8 data bits, 1 stop bit, no handshaking.
    // False when the port is invalid, missing or in use; errorString() tells why.
    virtual bool open(int number) = 0;
    // Closing a port that is not open is no error. Never waits: the port counts as closed at
    // once, while bytes already on their way may still leave for a bounded time.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString errorString() const = 0;

    // Count of characters waiting to be read.
    virtual qint64 bytesWaiting() = 0;
    // Discards every character received so far.
    virtual void discardInput() = 0;
    // Returns every waiting character and removes them.
    virtual QByteArray readAll() = 0;
    // Sends the bytes unchanged and whole: what the device cannot take yet is kept, in order,
    // and goes out as it drains (back-pressure is no fault). False when the device is gone.
    virtual bool write(const QByteArray& bytes) = 0;
    // Bytes accepted by write() that the device has not taken yet.
    virtual qint64 bytesToWrite() const = 0;
    // Bytes the device has taken but not yet put on the wire (a UART's output queue); 0 where
    // the device cannot tell, as on a pseudo-terminal.
    virtual qint64 outputQueued() const { return 0; }
    // Notifications start off; the link switches them on after the probe. Characters already
    // waiting then are notified from the event loop.
    virtual void setNotificationsEnabled(bool enabled) = 0;

    // Characters delivered by notifications and not yet read.
    qsizetype deliveredCount() const { return input_.size(); }

signals:
    // Characters are waiting to be read.
    void received();
    // An end-of-file character arrived; the characters in front of it were notified before.
    void endOfFile();
    // Input arrived while notifications are off (what the probe waits for); it stays waiting.
    void inputWaiting();
    // The device took some of the bytes waiting to be written.
    void drained();
    // The device went away while open (adapter pulled, other end of a pseudo-terminal closed) or
    // refused a write. The port is already closed when this is emitted.
    void deviceLost();

protected:
    // Hands received bytes to the program: the characters in front of each end-of-file character
    // are notified as received, then the end-of-file itself; what follows the last one is
    // notified as received. Stops when a handler closes the port.
    void deliver(const QByteArray& bytes);
    // The characters delivered so far, removed.
    QByteArray takeDelivered();
    void dropDelivered() { input_.clear(); }

private:
    QByteArray input_;
};

} // namespace ravik
