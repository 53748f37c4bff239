#include "probe.h"
#include "commands.h"
#include "serialport.h"

namespace ravik {

ControllerProbe::ControllerProbe(SerialPort& port, QObject* parent) : QObject(parent), port_(port) {
    window_.setSingleShot(true);
    connect(&window_, &QTimer::timeout, this, &ControllerProbe::judge);
    connect(&port_, &SerialPort::inputWaiting, this, &ControllerProbe::onInput);
    connect(&port_, &SerialPort::deviceLost, this, [this] {
        if (running_)
            end(false, QStringLiteral("the device went away during the probe"));
    });
}

void ControllerProbe::start(int number) {
    cancel();
    number_ = number;
    running_ = true;
    foreign_ = false;
    answer_.clear();
    // Every outcome, even an immediate one, is signalled from the event loop.
    const auto endSoon = [this, attempt = ++attempt_](const QString& why) {
        QTimer::singleShot(0, this, [this, attempt, why] {
            if (attempt == attempt_)
                end(false, why);
        });
    };
    if (!port_.open(number))
        return endSoon(port_.errorString());
    port_.discardInput();
    if (!port_.write(toBytes(IdentifyRequest)))
        return endSoon(QStringLiteral("the identification request could not be written"));
    window_.start(WindowMs);
}

void ControllerProbe::cancel() {
    if (!running_)
        return;
    running_ = false;
    window_.stop();
    port_.close();
}

void ControllerProbe::onInput() {
    if (running_ && window_.isActive() && port_.bytesWaiting() > JudgedAfter)
        judge();
}

void ControllerProbe::judge() {
    if (!running_)
        return;
    window_.stop();
    if (!port_.isOpen())
        return end(false, QStringLiteral("the device went away during the probe"));
    if (port_.bytesWaiting() <= JudgedAfter)
        return end(false, QStringLiteral("no answer"));
    answer_ = port_.readAll();
    foreign_ = !answer_.contains(toBytes(ProductWord));
    if (foreign_)
        return end(false, QStringLiteral("an answer without the product word"));
    end(true, QStringLiteral("found"));
}

void ControllerProbe::end(bool found, const QString& reason) {
    if (!running_)
        return;
    running_ = false;
    window_.stop();
    if (!found)
        port_.close();
    emit finished(found, reason);
}

} // namespace ravik
