#include <gtest/gtest.h>

#include "pacing.h"
#include "simoptions.h"

using namespace ravik::sim;

namespace {

TEST(SimOptions, CommandLine) {
    struct Case {
        QStringList args;
        bool ok;
        std::function<bool(const SimOptions&)> check;
    };
    const Case cases[] = {
        {{}, true, [](const SimOptions& o) { return o.dir == "." && o.port == 1 && !o.baud; }},
        {{"--dir", "/tmp/x", "--port=7"},
         true,
         [](const SimOptions& o) { return o.dir == "/tmp/x" && o.port == 7; }},
        {{"--silent", "--short-answer", "--caps", "--no-eof", "--garbage", "--baud"},
         true,
         [](const SimOptions& o) {
             const ControllerConfig& c = o.controller;
             return c.silent && c.shortAnswer && c.capsAnswer && c.noEof && c.garbage && o.baud;
         }},
        {{"--pieces", "0", "--silent-after", "3", "--log", "l.bin"},
         true,
         [](const SimOptions& o) {
             return o.pieceGapMs == 0 && o.controller.silentAfter == 3 && o.logFile == "l.bin";
         }},
        {{"--speed-az", "60.5", "--speed-el=30"},
         true,
         [](const SimOptions& o) {
             return o.controller.azimuthSpeed == 60.5 && o.controller.elevationSpeed == 30;
         }},
        {{"--chatter", "x\\r\\n\\x1A\\\\\\q"},
         true,
         [](const SimOptions& o) { return o.chatter == QByteArray("x\r\n\x1A\\\\q"); }},
        {{"--help"}, true, [](const SimOptions& o) { return o.help; }},
        {{"--port", "-1"}, false, nullptr},
        {{"--port", "40000"}, false, nullptr},
        {{"--port"}, false, nullptr},
        {{"--pieces", "abc"}, false, nullptr},
        {{"--speed-az", "0"}, false, nullptr},
        {{"--speed-el", "nan"}, false, nullptr},
        {{"--silent=1"}, false, nullptr},
        {{"--dir", ""}, false, nullptr},
        {{"--bogus"}, false, nullptr},
    };
    for (const Case& c : cases) {
        const ParsedOptions p = parseSimArguments(c.args);
        EXPECT_EQ(p.error.isEmpty(), c.ok) << qPrintable(c.args.join(' ')) << qPrintable(p.error);
        if (c.ok && p.error.isEmpty()) {
            EXPECT_TRUE(c.check(p.options)) << qPrintable(c.args.join(' '));
        }
    }
}

TEST(SimOptions, UsageNamesEveryOption) {
    for (const char* name : {"--dir", "--port", "--silent", "--short-answer", "--caps", "--pieces",
                             "--chatter", "--baud", "--silent-after", "--no-eof", "--garbage",
                             "--log", "--speed-az", "--speed-el", "--help"}) {
        EXPECT_TRUE(simUsage().contains(QLatin1String(name))) << name;
        const bool takesValue = !parseSimArguments({QString::fromLatin1(name)}).error.isEmpty();
        if (takesValue) { // and every option that takes a value is understood with one
            EXPECT_TRUE(parseSimArguments({QString::fromLatin1(name), "5"}).error.isEmpty())
                << name;
        }
    }
}

TEST(OutputQueue, PiecesAndGaps) {
    struct Case {
        int gapMs;
        double msPerChar;
        double atMs;
        const char* released; // everything released by then, taking at each 0.5 ms
    };
    const Case cases[] = {
        {-1, 0, 0, "Motion on\r\n"},
        {10, 0, 0, "Mot"},
        {10, 0, 9.5, "Mot"},
        {10, 0, 10, "Motion"},
        {10, 0, 30, "Motion on\r\n"},
        {-1, MsPerCharAt9600, 0, "Mo"}, // the catch-up allowance of an idle line
        {-1, MsPerCharAt9600, 5, "Motion"},
        {-1, MsPerCharAt9600, 9.5, "Motion on\r\n"},
    };
    for (const Case& c : cases) {
        OutputQueue q(c.gapMs, c.msPerChar);
        q.push("Motion on\r\n", 0);
        QByteArray got;
        for (double t = 0; t <= c.atMs; t += 0.5)
            got += q.take(t);
        EXPECT_EQ(got, QByteArray(c.released)) << c.gapMs << " " << c.atMs;
        EXPECT_EQ(q.empty(), got.size() == 11);
        EXPECT_EQ(q.size(), 11 - got.size());
    }
}

TEST(LinePacer, NeverFasterThanTheLine) {
    for (double step : {0.1, 1.0, 7.0}) { // how often the loop happens to wake
        LinePacer p(MsPerCharAt9600);
        qsizetype total = 0;
        for (double t = 0; t < 1000; t += step) {
            const qsizetype n = p.allowance(t);
            p.consumed(n, t);
            total += n;
        }
        // 1000 ms carry 960 characters at 9600 baud; late wake-ups catch up within the burst.
        EXPECT_LE(total, 960 + LinePacer::Burst) << step;
        EXPECT_GE(total, step <= 1.0 ? 955 : 280) << step;
    }
}

} // namespace
