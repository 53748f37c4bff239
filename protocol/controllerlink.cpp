#include "controllerlink.h"
#include "errors.h"
#include "numbers.h"
#include "serialport.h"
#include "settings.h"
#include <QElapsedTimer>

namespace ravik {

ControllerLink::ControllerLink(SerialPort& port, QObject* parent) : QObject(parent), serial_(port) {
    connect(&serial_, &SerialPort::received, this, &ControllerLink::onReceived);
    connect(&serial_, &SerialPort::endOfFile, this, &ControllerLink::onEndOfFile);
    connect(&serial_, &SerialPort::deviceLost, this, &ControllerLink::handleLost);
    connect(&serial_, &SerialPort::drained, this, &ControllerLink::drained);
}

void ControllerLink::start(Tokens& tokens, const QString& settingsPath) {
    port_ = 0;
    try {
        port_ = roundToInt16(readPortSetting(tokens, settingsPath));
    } catch (const RunTimeError& e) {
        fail(Absence::NoAnswer, QString::fromStdString(e.what()));
        return;
    }
    probe(port_);
}

void ControllerLink::fail(Absence why, const QString& reason) {
    probing_ = false;
    serial_.close();
    emit notFound(port_, why, reason);
}

void ControllerLink::probe(int port) {
    port_ = port;
    probing_ = true;
    lostReported_ = false;
    if (!serial_.open(port_))
        return fail(Absence::NoAnswer, serial_.errorString());
    serial_.discardInput();
    if (!serial_.write(toBytes(IdentifyRequest)))
        return fail(Absence::NoAnswer, serial_.errorString());
    // The first five characters decide. Qt only sees new input while it waits, so wait for
    // input with a deadline instead of polling a count that cannot grow.
    QElapsedTimer clock;
    clock.start();
    while (serial_.isOpen() && serial_.bytesWaiting() <= 4) {
        const qint64 left = ProbeWindowMs - clock.elapsed();
        if (left <= 0)
            break;
        serial_.waitForInput(int(left));
    }
    if (!serial_.isOpen())
        return fail(Absence::NoAnswer, serial_.errorString());
    if (serial_.bytesWaiting() <= 4)
        return fail(Absence::NoAnswer, {});
    if (!serial_.readAll().contains(toBytes(ProductWord)))
        return fail(Absence::Foreign, {});
    probing_ = false;
    emit found(port_);
    // Whatever followed the piece read above is a reply like any other.
    serial_.setNotificationsEnabled(true);
}

void ControllerLink::close() {
    serial_.close();
}

bool ControllerLink::isOpen() const {
    return serial_.isOpen();
}

void ControllerLink::requestStatus() {
    if (!serial_.isOpen())
        return;
    emit statusRequested();
    rawWrite(StatusRequest);
}

void ControllerLink::send(Command command) {
    const CommandRow& row = commandRow(command);
    if (!rawWrite(row.first))
        return;
    if (!row.second.empty() && !rawWrite(row.second))
        return;
    if (row.statusAfter)
        requestStatus();
}

bool ControllerLink::writeData(const QByteArray& bytes) {
    if (!serial_.isOpen())
        return false;
    if (!serial_.write(bytes)) {
        handleLost();
        return false;
    }
    return true;
}

qint64 ControllerLink::bytesToWrite() const {
    return serial_.isOpen() ? serial_.bytesToWrite() : 0;
}

bool ControllerLink::rawWrite(std::string_view bytes) {
    return writeData(toBytes(bytes));
}

void ControllerLink::onReceived() {
    const QByteArray piece = serial_.readAll();
    replyBuffer_ += piece;
    // A controller that never ends its reply must not grow this without bound.
    if (replyBuffer_.size() > ReplyBufferLimit)
        replyBuffer_.remove(0, replyBuffer_.size() - ReplyBufferLimit);
    emit received(piece);
}

void ControllerLink::onEndOfFile() {
    QByteArray reply;
    reply.swap(replyBuffer_);
    emit replyEnded(reply);
}

void ControllerLink::handleLost() {
    if (probing_) { // the probe reports it itself
        serial_.close();
        return;
    }
    if (lostReported_)
        return;
    lostReported_ = true;
    serial_.close();
    emit lost(serial_.errorString());
}

} // namespace ravik
