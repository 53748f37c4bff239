#include "controllerlink.h"
#include "errors.h"
#include "messagesink.h"
#include "numbers.h"
#include "serialport.h"
#include "settings.h"
#include <QElapsedTimer>

namespace ravik {

namespace {

const QString ReadingStatus = QStringLiteral("Reading the status");
const QString Garbled = QStringLiteral("Rotor response was garbled");
const QString Unwinding = QStringLiteral("Unwinding");
const QString LineEnd = QStringLiteral("\r\n");

} // namespace

QString FoundLine(int port) {
    return QStringLiteral("The controller was found on port %1").arg(port) + LineEnd;
}

QString NotFoundLine(int port) {
    return QStringLiteral("The controller is not on port %1!!").arg(port) + LineEnd;
}

ControllerLink::ControllerLink(SerialPort& port, MessageSink& box, LinkStyle style, QObject* parent)
    : QObject(parent), serial_(port), box_(box), style_(style) {
    connect(&serial_, &SerialPort::notified, this, &ControllerLink::onComm);
    connect(&serial_, &SerialPort::deviceLost, this, &ControllerLink::handleLost);
    connect(&serial_, &SerialPort::drained, this, &ControllerLink::drained);
}

int ControllerLink::start(TokenList& tokens, const QString& settingsPath) {
    port_ = 0;
    try {
        port_ = RoundToInt16(ReadPortSetting(tokens, settingsPath));
    } catch (const RunTimeError&) {
        writeOutcome(NotFoundLine(port_));
        return port_;
    }
    probe(port_);
    return port_;
}

bool ControllerLink::probe(int port) {
    port_ = port;
    probing_ = true;
    lostReported_ = false;
    try {
        if (!serial_.open(port_))
            throw RunTimeError(serial_.errorString().toStdString());
        serial_.discardInput();
        if (!serial_.write(Bytes(IdentifyRequest)))
            throw RunTimeError("the identification request could not be written");
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
            throw RunTimeError("the device went away during the probe");
        probing_ = false;
        if (serial_.bytesWaiting() <= 4) {
            serial_.close();
            writeOutcome(NotFoundLine(port_));
            return false;
        }
        const QByteArray answer = serial_.readAll();
        if (!answer.contains(Bytes(ProductWord))) {
            serial_.close(); // a foreign device: stay silent, as operators know it
            return false;
        }
        writeOutcome(FoundLine(port_));
        // Whatever followed the piece read above is shown like any other reply.
        serial_.setNotificationsEnabled(true);
        return true;
    } catch (const RunTimeError&) {
        probing_ = false;
        serial_.close();
        writeOutcome(NotFoundLine(port_));
        return false;
    }
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
    box_.setText(style_ == LinkStyle::Manual ? ReadingStatus + LineEnd : ReadingStatus);
    rawWrite(StatusRequest);
}

void ControllerLink::send(Command command) {
    const CommandRow& row = Row(command);
    if (style_ == LinkStyle::Manual && command == Command::Unwind)
        box_.setText(Unwinding + LineEnd); // shown even without a controller
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
    return writeData(Bytes(bytes));
}

void ControllerLink::onComm(int commEvent) {
    if (commEvent == CommReceive) {
        ++receives_;
        const QByteArray piece = serial_.readAll();
        if (style_ == LinkStyle::Manual) {
            box_.append(QString::fromLatin1(piece));
        } else {
            replyBuffer_ += piece;
            // A controller that never ends its reply must not grow this without bound.
            if (replyBuffer_.size() > ReplyBufferLimit)
                replyBuffer_.remove(0, replyBuffer_.size() - ReplyBufferLimit);
        }
    } else if (commEvent == CommEndOfFile) {
        ++endOfFiles_;
        if (style_ == LinkStyle::Uploader) {
            const qsizetype at = replyBuffer_.indexOf(Bytes(StatusWord));
            box_.setText(at < 0 ? Garbled : QString::fromLatin1(replyBuffer_.mid(at)));
            replyBuffer_.clear();
        }
    } else {
        return;
    }
    emit commHandled(commEvent);
}

void ControllerLink::writeOutcome(const QString& line) {
    if (style_ == LinkStyle::Manual)
        box_.setText(line);
    else
        box_.append(line);
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
    writeOutcome(NotFoundLine(port_));
    emit lost();
}

} // namespace ravik
