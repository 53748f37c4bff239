#include "qtserialport.h"
#include "portname.h"
#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace ravik {

namespace {

bool HungUp(qintptr handle) {
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
}

QtSerialPort::~QtSerialPort() {
    // No notification may reach a half-destroyed owner.
    port_.disconnect(this);
    port_.close();
}

bool QtSerialPort::open(int number) {
    close();
    const QString path = devicePath_.isEmpty() ? PortDevicePath(number, directory_) : devicePath_;
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
    error_.clear();
    return true;
}

void QtSerialPort::close() {
    notifications_ = false;
    dropDelivered();
    if (port_.isOpen())
        port_.close();
}

bool QtSerialPort::isOpen() const {
    return port_.isOpen();
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
    if (!port_.isOpen())
        return false;
    if (port_.write(bytes) != bytes.size()) {
        error_ = port_.errorString();
        return false;
    }
    // Qt only buffers; push the bytes out now so they leave in the order they were written and a
    // dead device shows at once.
    port_.flush();
    return port_.isOpen();
}

bool QtSerialPort::waitForInput(int msecs) {
    if (!port_.isOpen())
        return false;
    return port_.waitForReadyRead(msecs);
}

void QtSerialPort::setNotificationsEnabled(bool enabled) {
    notifications_ = enabled && port_.isOpen();
    if (notifications_ && port_.bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &QtSerialPort::onReadyRead, Qt::QueuedConnection);
}

void QtSerialPort::onReadyRead() {
    if (!notifications_ || !port_.isOpen())
        return;
    deliver(port_.readAll());
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ReadError:
        // A pseudo-terminal whose other end closed reports this, over and over; so can a read
        // woken for nothing (EAGAIN). Only a line that has hung up is gone.
        if (port_.isOpen() && !HungUp(port_.handle())) {
            port_.clearError();
            break;
        }
        [[fallthrough]];
    case QSerialPort::ResourceError:
    case QSerialPort::WriteError: // a flush from the event loop that failed
        if (port_.isOpen())
            lose(port_.errorString());
        break;
    default: // timeouts of waitForReadyRead and the like are no faults
        break;
    }
}

void QtSerialPort::lose(const QString& why) {
    error_ = why;
    close();
    emit deviceLost();
}

} // namespace ravik
