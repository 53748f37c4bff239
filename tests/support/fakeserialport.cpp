#include "fakeserialport.h"
#include <QTimer>

namespace ravik {

bool FakeSerialPort::open(int number) {
    openedPort = number;
    if (!portExists(number)) {
        error_ = QStringLiteral("no such port");
        return false;
    }
    open_ = true;
    return true;
}

void FakeSerialPort::close() {
    open_ = false;
    notifications_ = false;
    pending_.clear();
    dropDelivered();
}

void FakeSerialPort::discardInput() {
    pending_.clear();
    dropDelivered();
}

QByteArray FakeSerialPort::readAll() {
    QByteArray out = takeDelivered();
    if (!notifications_) {
        out += pending_;
        pending_.clear();
    }
    return out;
}

bool FakeSerialPort::write(const QByteArray& bytes) {
    if (!open_)
        return false;
    written += bytes;
    if (responder)
        feed(responder(bytes));
    return true;
}

void FakeSerialPort::setNotificationsEnabled(bool enabled) {
    notifications_ = enabled && open_;
    if (notifications_ && !pending_.isEmpty())
        QTimer::singleShot(0, this, &FakeSerialPort::flushPending);
}

void FakeSerialPort::feed(const QByteArray& bytes) {
    if (!open_ || bytes.isEmpty())
        return;
    pending_ += bytes;
    // Like a real port, arrivals are notified from the event loop, never inside a write.
    if (notifications_)
        QTimer::singleShot(0, this, &FakeSerialPort::flushPending);
    else
        QTimer::singleShot(0, this, [this] {
            if (open_ && !notifications_ && !pending_.isEmpty())
                emit inputWaiting();
        });
}

void FakeSerialPort::flushPending() {
    if (!notifications_ || pending_.isEmpty())
        return;
    QByteArray bytes;
    bytes.swap(pending_);
    deliver(bytes);
}

void FakeSerialPort::loseDevice() {
    if (!open_)
        return;
    close();
    emit deviceLost();
}

} // namespace ravik
