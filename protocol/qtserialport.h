#pragma once
#include "serialport.h"
#include <QSerialPort>
#include <QTimer>

namespace ravik {

// The serial layer over Qt Serial Port, for real adapters and pseudo-terminals.
class QtSerialPort : public SerialPort {
    Q_OBJECT
public:
    // How long bytes still on their way to the device may take to leave after close().
    static constexpr int CloseDrainMs = 2000;

    // Port numbers are looked up in `directory` (see portDevicePath).
    explicit QtSerialPort(QString directory = QStringLiteral("."), QObject* parent = nullptr);
    ~QtSerialPort() override;

    // Every port number opens `path` instead (a headless program's --device); empty: the
    // usual lookup.
    void setDevicePath(const QString& path) { devicePath_ = path; }

    bool open(int number) override;
    void close() override;
    bool isOpen() const override;
    QString errorString() const override { return error_; }
    qint64 bytesWaiting() override;
    void discardInput() override;
    QByteArray readAll() override;
    bool write(const QByteArray& bytes) override;
    qint64 bytesToWrite() const override;
    qint64 outputQueued() const override;
    void setNotificationsEnabled(bool enabled) override;
    // Closed for its users while the bytes on their way still leave (at most CloseDrainMs).
    bool isDraining() const { return closing_; }

signals:
    // The bytes that were on their way at close() have left, or their time ran out.
    void drainEnded();

protected:
    // Asks the driver of the port just opened to hand received bytes on at once instead of
    // holding them for its latency timer (16 ms on FTDI adapters, on every reply). True when the
    // driver took it; a refusal (a pseudo-terminal, a driver without it) is no error.
    virtual bool requestLowLatency(qintptr handle);

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void lose(const QString& why);
    void closePort(bool drain);
    void finishClosing();

    QString directory_;
    QString devicePath_;
    QSerialPort port_;
    QString error_;
    bool notifications_ = false;
    // Closed for its users, still open while the bytes on their way drain.
    bool closing_ = false;
    QTimer drainLimit_;
};

} // namespace ravik
