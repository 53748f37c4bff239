#include "qtserialport.h"
#include "portname.h"
#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace ravik {

namespace {

bool hungUp(qintptr handle) {
#ifdef Q_OS_UNIX
    pollfd p{int(handle), POLLIN, 0};
    return ::poll(&p, 1, 0) < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    Q_UNUSED(handle);
    return true;
#endif
}

} // namespace

QtSerialPort::QtSerialPort(QString directory, QObject* parent)
    : SerialPort(parent), directory_(std::move(directory)) {
    // Small buffers like the controller's own; reads are drained on every notification anyway.
    port_.setReadBufferSize(0);
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialPort::onReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
    connect(&port_, &QSerialPort::bytesWritten, this, [this] {
        if (!closing_)
            emit drained();
        else if (port_.bytesToWrite() == 0)
            finishClosing();
    });
    drainLimit_.setSingleShot(true);
    connect(&drainLimit_, &QTimer::timeout, this, &QtSerialPort::finishClosing);
}

QtSerialPort::~QtSerialPort() {
    // No notification may reach a half-destroyed owner.
    port_.disconnect(this);
    port_.close();
}

bool QtSerialPort::open(int number) {
    close();
    finishClosing(); // a port still draining gives way to the new one
    const QString path = devicePath_.isEmpty() ? portDevicePath(number, directory_) : devicePath_;
    if (path.isEmpty()) {
        error_ = QStringLiteral("port %1 does not exist").arg(number);
        return false;
    }
    port_.setPortName(path);
    if (!port_.open(QIODevice::ReadWrite)) {
        error_ = QStringLiteral("%1: %2").arg(path, port_.errorString());
        return false;
    }
    const bool configured =
        port_.setBaudRate(QSerialPort::Baud9600) && port_.setParity(QSerialPort::NoParity) &&
        port_.setDataBits(QSerialPort::Data8) && port_.setStopBits(QSerialPort::OneStop) &&
        port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        error_ = QStringLiteral("%1: %2").arg(path, port_.errorString());
        port_.close();
        return false;
    }
    requestLowLatency(port_.handle());
    error_.clear();
    return true;
}

bool QtSerialPort::requestLowLatency(qintptr handle) {
#ifdef Q_OS_LINUX
    serial_struct serial{};
    if (::ioctl(int(handle), TIOCGSERIAL, &serial) != 0)
        return false;
    if (serial.flags & ASYNC_LOW_LATENCY)
        return true;
    serial.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(int(handle), TIOCSSERIAL, &serial) == 0;
#else
    Q_UNUSED(handle);
    return false;
#endif
}

void QtSerialPort::close() {
    closePort(true);
}

void QtSerialPort::closePort(bool drain) {
    notifications_ = false;
    dropDelivered();
    if (!port_.isOpen() || closing_)
        return;
    // Closing drops what the device has not taken yet; a line on its way gets a moment to
    // finish, so the controller never keeps half of it. The event loop drains it; nobody waits.
    if (drain && port_.bytesToWrite() > 0) {
        closing_ = true;
        drainLimit_.start(CloseDrainMs);
        return;
    }
    port_.close();
}

void QtSerialPort::finishClosing() {
    if (!closing_)
        return;
    closing_ = false;
    drainLimit_.stop();
    port_.close();
    emit drainEnded();
}

bool QtSerialPort::isOpen() const {
    return port_.isOpen() && !closing_;
}

qint64 QtSerialPort::bytesWaiting() {
    return deliveredCount() + port_.bytesAvailable();
}

void QtSerialPort::discardInput() {
    dropDelivered();
    port_.clear(QSerialPort::Input);
    port_.readAll();
}

QByteArray QtSerialPort::readAll() {
    QByteArray out = takeDelivered();
    if (!notifications_)
        out += port_.readAll();
    return out;
}

bool QtSerialPort::write(const QByteArray& bytes) {
    if (!isOpen())
        return false;
    if (port_.write(bytes) != bytes.size()) {
        error_ = port_.errorString();
        return false;
    }
    // Qt keeps the bytes, whole and in order, and its event loop hands them to the device as it
    // takes them. Pushing them out here instead would meet a full device with EAGAIN, which Qt
    // reports as a resource error.
    return true;
}

qint64 QtSerialPort::bytesToWrite() const {
    return isOpen() ? port_.bytesToWrite() : 0;
}

qint64 QtSerialPort::outputQueued() const {
#ifdef Q_OS_UNIX
    int queued = 0;
    if (isOpen() && ::ioctl(int(port_.handle()), TIOCOUTQ, &queued) == 0)
        return queued;
#endif
    return 0;
}

void QtSerialPort::setNotificationsEnabled(bool enabled) {
    notifications_ = enabled && isOpen();
    if (notifications_ && port_.bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &QtSerialPort::onReadyRead, Qt::QueuedConnection);
}

void QtSerialPort::onReadyRead() {
    if (!isOpen())
        return;
    if (!notifications_)
        emit inputWaiting();
    else
        deliver(port_.readAll());
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
        // A pseudo-terminal whose other end closed reports a read error, over and over; so can a
        // read woken for nothing, and a full output buffer (EAGAIN, which Qt calls a resource
        // error) is only back-pressure: Qt keeps the bytes and sends them when the device drains.
        // Only a line that has hung up is gone.
        if (port_.isOpen() && !hungUp(port_.handle())) {
            port_.clearError();
            break;
        }
        if (closing_)
            finishClosing(); // closed already for its users: nothing more to drain
        else if (port_.isOpen())
            lose(port_.errorString());
        break;
    default: // timeouts and the like are no faults
        break;
    }
}

void QtSerialPort::lose(const QString& why) {
    error_ = why;
    closePort(false); // nothing more will drain from a device that is gone
    emit deviceLost();
}

} // namespace ravik
