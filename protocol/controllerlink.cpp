#include "controllerlink.h"
#include "errors.h"
#include "numbers.h"
#include "serialport.h"
#include "settings.h"

namespace ravik {

ControllerLink::ControllerLink(SerialPort& port, QObject* parent)
    : QObject(parent), serial_(port), probe_(port) {
    connect(&probe_, &ControllerProbe::finished, this, &ControllerLink::onProbed);
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
        emit notFound(port_, Absence::NoAnswer, QString::fromStdString(e.what()));
        return;
    }
    probe(port_);
}

void ControllerLink::probe(int port) {
    port_ = port;
    connected_ = false;
    probe_.start(port);
}

void ControllerLink::onProbed(bool found, const QString& reason) {
    if (!found) {
        emit notFound(port_, probe_.foreign() ? Absence::Foreign : Absence::NoAnswer, reason);
        return;
    }
    connected_ = true;
    emit this->found(port_);
    // Whatever followed the piece the probe judged is a reply like any other.
    serial_.setNotificationsEnabled(true);
}

void ControllerLink::close() {
    connected_ = false;
    probe_.cancel();
    serial_.close();
}

bool ControllerLink::isOpen() const {
    // A command written while the probe listens would be judged as its answer, and its reply lost.
    return serial_.isOpen() && !probe_.isRunning();
}

void ControllerLink::requestStatus() {
    if (!isOpen())
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
    if (!isOpen())
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
    serial_.close();
    // Told once, and only for a controller that was found: the probe reports its own failures.
    if (std::exchange(connected_, false))
        emit lost(serial_.errorString());
}

} // namespace ravik
