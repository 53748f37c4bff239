#pragma once
#include "serialport.h"
#include <functional>

namespace ravik {

// In-memory serial port for unit tests: records every write, answers through a scripted
// responder, and can refuse to open or lose the device on demand.
class FakeSerialPort : public SerialPort {
    Q_OBJECT
public:
    using SerialPort::SerialPort;

    bool open(int number) override;
    void close() override;
    bool isOpen() const override { return open_; }
    QString errorString() const override { return error_; }
    qint64 bytesWaiting() override { return deliveredCount() + pending_.size(); }
    void discardInput() override;
    QByteArray readAll() override;
    bool write(const QByteArray& bytes) override;
    qint64 bytesToWrite() const override { return unsent; }
    qint64 outputQueued() const override { return open_ ? outputQueue : 0; }
    void setNotificationsEnabled(bool enabled) override;

    // Bytes arriving from the controller: waiting for the probe, or notified from the event
    // loop once notifications are on.
    void feed(const QByteArray& bytes);
    // The device disappears: the port closes and deviceLost is emitted.
    void loseDevice();

    // Ports that open; every other number fails like a missing device.
    std::function<bool(int)> portExists = [](int n) { return n >= 1; };
    // Called with every write; what it returns arrives as input.
    std::function<QByteArray(const QByteArray&)> responder;
    qint64 unsent = 0; // bytes the device has not taken yet
    // What the device says it still holds for the wire (a UART's TIOCOUTQ).
    qint64 outputQueue = 0;

    QByteArray written;  // everything written while open
    int openedPort = -1; // the number last opened

private:
    void flushPending();

    bool open_ = false;
    bool notifications_ = false;
    QString error_;
    QByteArray pending_;
};

} // namespace ravik
