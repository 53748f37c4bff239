#include <gtest/gtest.h>

#include "controllermodel.h"
#include "serialport.h"

using namespace ravik;
using namespace ravik::sim;

namespace {

const QByteArray Eof(1, EndOfFileChar);

QByteArray wire(const CommandRow& row) {
    return QByteArray(row.first.data(), qsizetype(row.first.size())) +
           QByteArray(row.second.data(), qsizetype(row.second.size()));
}

ControllerConfig fast() {
    ControllerConfig c;
    c.azimuthSpeed = 100;
    c.elevationSpeed = 50;
    return c;
}

struct State {
    bool motion;
    int mode, az, el, targetAz, targetEl, jogAz, jogEl, points;
    bool operator==(const State&) const = default;
};

void PrintTo(const State& s, std::ostream* os) {
    *os << "motion " << s.motion << " mode " << s.mode << " at " << s.az << "/" << s.el
        << " target " << s.targetAz << "/" << s.targetEl << " jog " << s.jogAz << "/" << s.jogEl
        << " points " << s.points;
}

State stateOf(const ControllerModel& m) {
    return {m.motionEnabled(),
            m.mode(),
            qRound(m.azimuth()),
            qRound(m.elevation()),
            qRound(m.targetAzimuth()),
            qRound(m.targetElevation()),
            m.azimuthJog(),
            m.elevationJog(),
            int(m.points().size())};
}

// Motion off at azimuth 160, elevation 20, two stored points not yet due, clock set.
const QByteArray Start = "T2002/03/15 10:00:00\r"
                         "2002/03/15 11:00:00 90 30\r"
                         "2002/03/15 11:05:00 100 40\r"
                         "GP160 20\r";

TEST(ControllerModel, EveryCommandOfTheVocabulary) {
    struct Case {
        Command command;
        const char* before; // sent, then the rotors run for `runMs`
        int runMs;
        State after;
    };
    const Case cases[] = {
        {Command::Clear, "", 0, {false, 0, 160, 20, 160, 20, 0, 0, 0}},
        {Command::Disable, "G", 0, {false, 0, 160, 20, 160, 20, 0, 0, 2}},
        {Command::Enable, "", 0, {true, 0, 160, 20, 160, 20, 0, 0, 2}},
        {Command::GoToFirst, "", 0, {true, 0, 160, 20, 90, 30, 0, 0, 2}},
        {Command::Mode0, "m1", 0, {false, 0, 160, 20, 160, 20, 0, 0, 2}},
        {Command::Mode1, "", 0, {false, 1, 160, 20, 160, 20, 0, 0, 2}},
        // Jogged past north to 460: unwinding turns back to 100, the long way round.
        {Command::Unwind, "r", 3000, {false, 0, 460, 20, 100, 20, 0, 0, 2}},
        {Command::Up, "", 0, {false, 0, 160, 20, 160, 20, 0, 1, 2}},
        {Command::Down, "", 0, {false, 0, 160, 20, 160, 20, 0, -1, 2}},
        {Command::Increase, "", 0, {false, 0, 160, 20, 160, 20, 1, 0, 2}},
        {Command::Decrease, "", 0, {false, 0, 160, 20, 160, 20, -1, 0, 2}},
        {Command::Stop, "u", 100, {false, 0, 160, 25, 160, 25, 0, 0, 2}},
        {Command::Restart, "Gm1u", 0, {false, 0, 160, 20, 160, 20, 0, 0, 2}},
        {Command::Calibrate, "", 0, {false, 0, 0, 0, 0, 0, 0, 0, 2}},
    };
    for (const CommandRow& row : CommandTable) {
        const Case* c = nullptr;
        for (const Case& k : cases)
            if (k.command == row.command)
                c = &k;
        ASSERT_NE(c, nullptr) << "no case for " << row.button;
        ControllerModel m(fast());
        m.receive(Start, 0);
        m.advance(10000);
        m.receive("S", 10000);
        m.receive(c->before, 10000);
        m.advance(10000 + c->runMs);
        EXPECT_EQ(m.receive(wire(row), 10000 + c->runMs), QByteArray()) << row.button;
        EXPECT_EQ(stateOf(m), c->after) << row.button;
        EXPECT_TRUE(m.clockSet());
    }
}

TEST(ControllerModel, RepliesAndFaults) {
    const QByteArray status0 =
        "Motion off  Mode 0\r\nAz 0  El 0  Target 0/0\r\nClock unset\r\nPoints 0\r\n" + Eof;
    struct Case {
        const char* name;
        ControllerConfig config;
        QByteArray in;
        QByteArray out;
    };
    ControllerConfig shortAnswer, caps, silent, noEof;
    shortAnswer.shortAnswer = true;
    caps.capsAnswer = true;
    silent.silent = true;
    noEof.noEof = true;
    const Case cases[] = {
        {"identify", {}, "?", "Ravik RC-2 rotator controller\r\n"},
        {"short", shortAnswer, "?", "RC-2"},
        {"caps", caps, "?", "RAVIK RC-2 rotator controller\r\n"},
        {"silent identify", silent, "?", ""},
        {"silent status", silent, "Z", ""},
        {"silent upload", silent, "2002/03/15 10:04:30 185 25\r", ""},
        {"status", {}, "Z", status0},
        {"status no eof", noEof, "Z", status0.chopped(1)},
        {"upload", {}, "2002/03/15 10:04:30 185 25\r", "Motion off  Points 1\r\n" + Eof},
        {"upload enabled", {}, "G02/03/15 10:04:30 185 25\r", "Motion on  Points 1\r\n" + Eof},
        {"clock",
         {},
         "T2002/03/15 10:04:30\rZ",
         "Motion off  Mode 0\r\nAz 0  El 0  Target 0/0\r\nClock 2002/03/15 10:04:30\r\nPoints 0\r\n" +
             Eof},
        {"point-to has no reply", {}, "GP180 45\r", ""},
        {"unknown bytes", {}, "\r\n\x01qQ!P@ x\x1A", ""},
        {"broken two-byte commands", {}, "mcZ", status0},
        {"malformed upload", {}, "2002/13/15 10:04:30 185 25\rZ", status0},
        {"malformed time", {}, "T2002/03/15 25:04:30\rZ", status0},
    };
    for (const Case& c : cases) {
        ControllerModel m(c.config);
        EXPECT_EQ(m.receive(c.in, 0), c.out) << c.name;
        EXPECT_EQ(m.received(), c.in) << c.name;
    }
}

TEST(ControllerModel, AnySplitGivesTheSameResult) {
    const QByteArray scripts[] = {
        Start + "?ZGZ",
        "T02/03/15 10:04:30\r02/03/15 10:04:30 185 25\r02/03/15 10:05:00 190 30\rGFZcxZ",
        "\r\nm1GP359 90\rZsZ*Z?X Z",
        "GP1\r2\r\x1A?GGPPZ",
    };
    for (const QByteArray& script : scripts) {
        ControllerModel whole(fast());
        const QByteArray expected = whole.receive(script, 500);
        for (int chunk : {1, 2, 3, 7}) {
            ControllerModel split(fast());
            QByteArray got;
            for (qsizetype i = 0; i < script.size(); i += chunk)
                got += split.receive(script.mid(i, chunk), 500);
            EXPECT_EQ(got, expected) << script.constData() << " chunk " << chunk;
            EXPECT_EQ(split.statusText(500), whole.statusText(500));
        }
    }
}

TEST(ControllerModel, DataCommandParsing) {
    struct Case {
        const char* text;
        bool ok;
        int az, el;
        const char* utc;
    };
    const Case uploads[] = {
        {"2002/03/15 10:04:30 185 25", true, 185, 25, "2002-03-15T10:04:30Z"},
        {"02/03/15 10:04:30 360 0", true, 0, 0, "2002-03-15T10:04:30Z"},
        {"99/12/31 23:59:59 -5 95", true, 355, 90, "1999-12-31T23:59:59Z"},
        {"2002/02/29 10:04:30 185 25", false, 0, 0, ""},
        {"2002/03/15 10:04 185 25", false, 0, 0, ""},
        {"2002/03/15 10:04:30 185", false, 0, 0, ""},
        {"2002/03/15 10:04:30 18x 25", false, 0, 0, ""},
        {"202/03/15 10:04:30 185 25", false, 0, 0, ""},
    };
    for (const Case& c : uploads) {
        const auto p = parseUploadLine(c.text);
        ASSERT_EQ(p.has_value(), c.ok) << c.text;
        if (!p)
            continue;
        EXPECT_EQ(p->azimuth, c.az) << c.text;
        EXPECT_EQ(p->elevation, c.el) << c.text;
        EXPECT_EQ(QDateTime::fromMSecsSinceEpoch(p->utcMs, Qt::UTC).toString(Qt::ISODate),
                  QString::fromLatin1(c.utc));
    }
    const Case pointTo[] = {
        {"180 45", true, 180, 45, ""}, {"0 0", true, 0, 0, ""},    {"359 90", true, 359, 90, ""},
        {"045 5", true, 45, 5, ""},    {"360 0", false, 0, 0, ""}, {"10 91", false, 0, 0, ""},
        {"-1 0", false, 0, 0, ""},     {"180", false, 0, 0, ""},   {"", false, 0, 0, ""},
    };
    for (const Case& c : pointTo) {
        const auto p = parsePointTo(c.text);
        ASSERT_EQ(p.has_value(), c.ok) << c.text;
        if (p) {
            EXPECT_EQ(*p, std::make_pair(c.az, c.el)) << c.text;
        }
    }
    EXPECT_TRUE(parseControllerTime("1899/12/30 00:00:00")); // the programs' zero date
    EXPECT_FALSE(parseControllerTime("2002/03/15"));
}

TEST(ControllerModel, RotorsMoveTowardTheTarget) {
    ControllerConfig slow; // 10 and 5 degrees a second
    slow.azimuthSpeed = 10;
    slow.elevationSpeed = 5;
    struct Case {
        const char* name;
        QByteArray in;
        qint64 atMs;
        int az, el;
    };
    const Case cases[] = {
        {"under way", "GP90 30\r", 3000, 30, 15},
        {"arrived", "GP90 30\r", 9000, 90, 30},
        {"stays", "GP90 30\r", 60000, 90, 30},
        {"disabled", "GP90 30\rS", 9000, 0, 0},
        {"shortest way past north", "GP350 0\r", 1000, -10, 0},
        {"jog to the limit", "u", 60000, 0, 90},
        {"jog down at the limit", "d", 1000, 0, 0},
        // Clock 11:00:00; the 11:00:30 point is due after 30 s and then reached.
        {"tracking", "T2002/03/15 11:00:00\r2002/03/15 11:00:30 20 10\rG", 40000, 20, 10},
        {"not yet due", "T2002/03/15 11:00:00\r2002/03/15 11:00:30 20 10\rG", 29000, 0, 0},
    };
    for (const Case& c : cases) {
        ControllerModel m(slow);
        m.receive(c.in, 0);
        for (qint64 t = 0; t <= c.atMs; t += 20) // as the front's loop does
            EXPECT_EQ(m.advance(t), QByteArray());
        EXPECT_EQ(qRound(m.azimuth()), c.az) << c.name;
        EXPECT_EQ(qRound(m.elevation()), c.el) << c.name;
    }
}

TEST(ControllerModel, ManualTargetHoldsUntilTheNextPointFallsDue) {
    ControllerModel m(fast());
    m.receive("T2002/03/15 11:00:00\r2002/03/15 10:59:00 20 10\r2002/03/15 11:01:00 40 20\rG", 0);
    m.advance(1000);
    EXPECT_EQ(qRound(m.targetAzimuth()), 20);
    m.receive("GP100 50\r", 1000);
    m.advance(30000);
    EXPECT_EQ(qRound(m.azimuth()), 100);
    m.advance(61000);
    EXPECT_EQ(qRound(m.azimuth()), 40);
}

TEST(ControllerModel, SilentAfterUploadLines) {
    for (int n : {0, 1, 3}) {
        ControllerConfig c;
        c.silentAfter = n;
        ControllerModel m(c);
        int answered = 0;
        for (int i = 0; i < 5; ++i)
            answered += !m.receive("2002/03/15 10:04:30 185 25\r", 0).isEmpty();
        EXPECT_EQ(answered, n);
        EXPECT_EQ(m.receive("?Z", 0), QByteArray()) << n;
        EXPECT_EQ(m.points().size(), 5u);
    }
}

TEST(ControllerModel, CapacityAndRecord) {
    ControllerModel m;
    QByteArray last;
    for (int i = 0; i < ControllerModel::Capacity + 2; ++i)
        last = m.receive("2002/03/15 10:04:30 185 25\r", 0);
    EXPECT_EQ(last, "Motion off  Points 10001\r\n" + Eof);
    EXPECT_EQ(m.takeReceived().size(), 27 * (ControllerModel::Capacity + 2));
    EXPECT_TRUE(m.received().isEmpty());
}

} // namespace
