#pragma once
#include <QHostAddress>
#include <QString>
#include <QStringList>

namespace ravik {

// ravik-rotctld's command line.
struct BridgeOptions {
    int port = 0;   // 0: the one Ravik.ini names
    QString device; // opens this device whatever the port number
    QHostAddress address = QHostAddress::LocalHost;
    quint16 listenPort = 4533;
    bool wait = false; // keep trying until the controller answers
    int parkAz = 0, parkEl = 0;
    bool help = false;
    QString error; // set when the command line does not parse
};

// Reads the command line (with the program's name first).
BridgeOptions parseBridgeOptions(const QStringList& arguments);
QString bridgeUsage();

} // namespace ravik
