#include "pacing.h"
#include "simoptions.h"
#include <gtest/gtest.h>

using namespace ravik::sim;

namespace {

// The options that differ from the defaults, or the error.
QString Parsed(const QString& line) {
    const ParsedOptions p = parseSimArguments(line.isEmpty() ? QStringList() : line.split(' '));
    const SimOptions& o = p.options;
    const ControllerConfig& c = o.controller;
    const SimOptions d;
    QStringList s;
    const auto add = [&](bool changed, const char* name, const QVariant& value) {
        if (changed)
            s << name + ("=" + value.toString());
    };
    add(o.dir != d.dir, "dir", o.dir);
    add(o.port != d.port, "port", o.port);
    add(o.pieceGapMs != d.pieceGapMs, "pieces", o.pieceGapMs);
    add(o.chatter != d.chatter, "chatter", o.chatter.toPercentEncoding());
    add(o.baud, "baud", o.baud);
    add(o.logFile != d.logFile, "log", o.logFile);
    add(o.readStallMs != d.readStallMs, "read-stall", o.readStallMs);
    add(c.lateProductMs != d.controller.lateProductMs, "late-product", c.lateProductMs);
    add(o.help, "help", o.help);
    add(c.azimuthSpeed != d.controller.azimuthSpeed, "az", c.azimuthSpeed);
    add(c.elevationSpeed != d.controller.elevationSpeed, "el", c.elevationSpeed);
    add(c.silentAfter != d.controller.silentAfter, "silent-after", c.silentAfter);
    add(c.silent && c.shortAnswer && c.capsAnswer && c.noEof && c.garbage && c.ownReply, "faults",
        "all");
    return p.error.isEmpty() ? s.join(' ') : "error";
}

// Every option, understood or refused; the usage names each one.
TEST(SimOptions, CommandLine) {
    const struct {
        const char *line, *parsed;
    } rows[] = {
        {"", ""},
        {"--dir /tmp/x --port=7", "dir=/tmp/x port=7"},
        {"--silent --short-answer --caps --no-eof --garbage --own-reply --baud",
         "baud=true faults=all"},
        {"--read-stall 500 --late-product=40", "read-stall=500 late-product=40"},
        {"--pieces 0 --silent-after 3 --log l.bin", "pieces=0 log=l.bin silent-after=3"},
        {"--speed-az 60.5 --speed-el=30", "az=60.5 el=30"},
        {"--chatter x\\r\\n\\x1A\\\\\\q", "chatter=x%0D%0A%1A%5C%5Cq"},
        {"--help", "help=true"},
        {"--port -1", "error"},
        {"--port 40000", "error"},
        {"--port", "error"},
        {"--pieces abc", "error"},
        {"--speed-az 0", "error"},
        {"--speed-el nan", "error"},
        {"--silent=1", "error"},
        {"--dir ", "error"}, // an empty folder name
        {"--bogus", "error"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Parsed(row.line), row.parsed) << row.line;
        for (const QString& word : QString(row.line).split(' ')) // the usage names every option
            EXPECT_TRUE(!word.startsWith("--") || word == "--bogus" ||
                        simUsage().contains(word.section('=', 0, 0)))
                << word.toStdString();
    }
}

TEST(OutputQueue, PiecesAndGaps) {
    const struct {
        int gapMs;
        double msPerChar, atMs;
        const char* released; // everything released by then, taking every 0.5 ms
    } rows[] = {
        {-1, 0, 0, "Motion on\r\n"},
        {10, 0, 0, "Mot"},
        {10, 0, 9.5, "Mot"},
        {10, 0, 10, "Motion"},
        {10, 0, 30, "Motion on\r\n"},
        {-1, MsPerCharAt9600, 0, "Mo"}, // the catch-up allowance of an idle line
        {-1, MsPerCharAt9600, 5, "Motion"},
        {-1, MsPerCharAt9600, 9.5, "Motion on\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.gapMs) + " at " + std::to_string(row.atMs));
        OutputQueue q(row.gapMs, row.msPerChar);
        q.push("Motion on\r\n", 0);
        QByteArray got;
        for (double t = 0; t <= row.atMs; t += 0.5)
            got += q.take(t);
        EXPECT_EQ(got, row.released);
        EXPECT_EQ(q.empty(), got.size() == 11);
        EXPECT_EQ(q.size(), 11 - got.size());
    }
}

} // namespace
