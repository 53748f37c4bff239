#include "pacing.h"
#include "simoptions.h"
#include <gtest/gtest.h>

using namespace ravik::sim;

namespace {

// The options that differ from the defaults, or the error.
QString Parsed(const QString& line) {
    const ParsedOptions p = parseSimArguments(line.isEmpty() ? QStringList() : line.split(' '));
    const SimOptions &o = p.options, d;
    const ControllerConfig &c = o.controller, &dc = d.controller;
    QStringList s;
    const auto add = [&](const auto& value, const auto& byDefault, const char* name) {
        s << (value != byDefault ? name + ("=" + QVariant(value).toString()) : QString());
    };
    add(o.dir, d.dir, "dir"), add(o.port, d.port, "port"), add(o.baud, d.baud, "baud");
    add(o.pieceGapMs, d.pieceGapMs, "pieces"), add(o.logFile, d.logFile, "log");
    add(o.chatter.toPercentEncoding(), d.chatter.toPercentEncoding(), "chatter");
    add(o.readStallMs, d.readStallMs, "read-stall"), add(o.help, d.help, "help");
    add(c.lateProductMs, dc.lateProductMs, "late-product"), add(c.silentAfter, -1, "silent-after");
    add(c.azimuthSpeed, dc.azimuthSpeed, "az"), add(c.elevationSpeed, dc.elevationSpeed, "el");
    add(c.silent && c.shortAnswer && c.capsAnswer && c.noEof && c.garbage && c.ownReply &&
            c.bareEof,
        0, "all");
    s.removeAll(QString());
    return p.error.isEmpty() ? s.join(' ') : "error";
}

// Every option, understood or refused; the usage names each one.
TEST(SimOptions, CommandLine) {
    const std::pair<const char*, const char*> rows[] = {
        // clang-format off
        {"--silent --short-answer --caps --no-eof --garbage --own-reply --bare-eof --baud",
         "baud=true all=true"},
        {"--read-stall 500 --late-product=40", "read-stall=500 late-product=40"},
        {"--pieces 0 --silent-after 3 --log l.bin", "pieces=0 log=l.bin silent-after=3"},
        {"--dir /tmp/x --port=32767 --speed-az 60.5 --speed-el=30", "dir=/tmp/x port=32767 az=60.5 el=30"},
        {"--chatter x\\r\\n\\x1A\\\\\\q", "chatter=x%0D%0A%1A%5C%5Cq"}, {"--help", "help=true"},
        // clang-format on
    };
    for (const auto& [line, parsed] : rows) { // the usage names the first option of each
        EXPECT_EQ(Parsed(line), parsed) << line;
        EXPECT_TRUE(simUsage().contains(QString(line).section(' ', 0, 0).section('=', 0, 0)));
    }
    // An empty folder name last.
    for (const char* line : {"--port -1", "--port 32768", "--port", "--pieces abc", "--speed-az 0",
                             "--speed-el nan", "--silent=1", "--bogus", "--dir "})
        EXPECT_EQ(Parsed(line), "error") << line;
}

// (gap between pieces, ms a character, until when taken every 0.5 ms, what was released by then)
TEST(OutputQueue, PiecesAndGaps) {
    const std::tuple<int, double, double, const char*> rows[] = {
        // clang-format off
        {-1, 0, 0, "Motion on\r\n"}, {10, 0, 0, "Mot"}, {10, 0, 9.5, "Mot"}, {10, 0, 10, "Motion"},
        {10, 0, 30, "Motion on\r\n"}, {-1, MsPerCharAt9600, 0, "Mo"}, // an idle line's catch-up
        {-1, MsPerCharAt9600, 5, "Motion"}, {-1, MsPerCharAt9600, 9.5, "Motion on\r\n"},
        // clang-format on
    };
    for (const auto& [gapMs, msPerChar, atMs, released] : rows) {
        OutputQueue q(gapMs, msPerChar);
        q.push("Motion on\r\n", 0);
        QByteArray got;
        for (double t = 0; t <= atMs; t += 0.5)
            got += q.take(t);
        EXPECT_EQ(got, released) << gapMs << " at " << atMs;
    }
    OutputQueue unread(-1, 0); // what nobody reads is dropped beyond a mebibyte
    unread.push(QByteArray(OutputQueue::Limit - 1, 'x'), 0);
    unread.push("ab", 0), unread.push("c", 0); // only the one that fits
    EXPECT_EQ(unread.size(), OutputQueue::Limit);
}

} // namespace
