#include "fakeserialport.h"
#include <QTimer>

namespace ravik {

bool FakeSerialPort::open(int number) {
    openedPort = number;
    if (!(open_ = portExists(number)))
        error_ = QStringLiteral("no such port");
    return open_;
}

void FakeSerialPort::close() {
    open_ = notifications_ = false;
    discardInput();
}

void FakeSerialPort::discardInput() {
    pending_.clear();
    dropDelivered();
}

QByteArray FakeSerialPort::readAll() {
    const QByteArray out = takeDelivered();
    return notifications_ ? out : out + std::exchange(pending_, {});
}

bool FakeSerialPort::write(const QByteArray& bytes) {
    if (open_ && (written += bytes, responder))
        feed(responder(bytes));
    return open_;
}

void FakeSerialPort::setNotificationsEnabled(bool enabled) {
    if ((notifications_ = enabled && open_) && !pending_.isEmpty())
        QTimer::singleShot(0, this, &FakeSerialPort::flushPending);
}

void FakeSerialPort::feed(const QByteArray& bytes) {
    if (!open_ || bytes.isEmpty())
        return;
    pending_ += bytes;
    // Like a real port, arrivals are notified from the event loop, never inside a write.
    QTimer::singleShot(0, this, [this, notified = notifications_] {
        if (notified)
            flushPending();
        else if (open_ && !notifications_ && !pending_.isEmpty())
            emit inputWaiting();
    });
}

void FakeSerialPort::flushPending() {
    if (notifications_ && !pending_.isEmpty())
        deliver(std::exchange(pending_, {}));
}

void FakeSerialPort::loseDevice() {
    if (open_)
        close(), emit deviceLost();
}

} // namespace ravik
