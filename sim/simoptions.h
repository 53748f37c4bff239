#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "controllermodel.h"

namespace ravik::sim {

struct SimOptions {
    QString dir = QStringLiteral(".");
    int port = 1;
    ControllerConfig controller;
    int pieceGapMs = -1;  // negative: replies go out whole
    QByteArray chatter;   // written once at start, before any request
    bool baud = false;    // pace both directions like a 9600 baud line
    QString logFile;      // every received byte is appended here; empty: no log
    int readStallMs = -1; // after the first upload line, read nothing this long; negative: never
    bool help = false;
};

struct ParsedOptions {
    SimOptions options;
    QString error; // empty when the arguments were understood
};

// Reads the command line (without the program name).
ParsedOptions parseSimArguments(const QStringList& args);
QString simUsage();
// Turns the escapes \r \n \t \\ and \xHH of a command-line text into their bytes.
QByteArray unescapeText(const QString& text);

} // namespace ravik::sim
