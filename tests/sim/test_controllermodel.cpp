#include "controllermodel.h"
#include "serialport.h"
#include <gtest/gtest.h>

using namespace ravik;
using namespace ravik::sim;

namespace {

const QByteArray Eof(1, EndOfFileChar);
const QByteArray Upload = "2002/03/15 10:04:30 185 25\r";
const QByteArray Status0 =
    "Motion off  Mode 0\r\nAz 0  El 0  Target 0/0\r\nClock unset\r\nPoints 0\r\n";
const QByteArray Points1 = "Motion off  Points 1\r\n" + Eof;
const ControllerConfig Fast{.azimuthSpeed = 100, .elevationSpeed = 50};

// "motion mode azimuth/elevation target jogs points"
QString State(const ControllerModel& m) {
    return QString::asprintf("%s %d %d/%d %d/%d %d/%d %d", m.motionEnabled() ? "on" : "off",
                             m.mode(), qRound(m.azimuth()), qRound(m.elevation()),
                             qRound(m.targetAzimuth()), qRound(m.targetElevation()), m.azimuthJog(),
                             m.elevationJog(), int(m.points().size()));
}

// Every command of the vocabulary, from motion off at 160/20 with two stored points not yet due
// and the clock set: what is sent before it, how long the rotors then run, the state after it.
TEST(ControllerModel, EveryCommandOfTheVocabulary) {
    const QByteArray start = "T2002/03/15 10:00:00\r2002/03/15 11:00:00 90 30\r"
                             "2002/03/15 11:05:00 100 40\rGP160 20\r";
    const struct {
        Command command;
        const char* before;
        int runMs;
        const char* after;
    } rows[] = {
        {Command::Clear, "", 0, "off 0 160/20 160/20 0/0 0"},
        {Command::Disable, "G", 0, "off 0 160/20 160/20 0/0 2"},
        {Command::Enable, "", 0, "on 0 160/20 160/20 0/0 2"},
        {Command::GoToFirst, "", 0, "on 0 160/20 90/30 0/0 2"},
        {Command::Mode0, "m1", 0, "off 0 160/20 160/20 0/0 2"},
        {Command::Mode1, "", 0, "off 1 160/20 160/20 0/0 2"},
        // Jogged past north to 460: unwinding turns back to 100, the long way round.
        {Command::Unwind, "r", 3000, "off 0 460/20 100/20 0/0 2"},
        {Command::Up, "", 0, "off 0 160/20 160/20 0/1 2"},
        {Command::Down, "", 0, "off 0 160/20 160/20 0/-1 2"},
        {Command::Increase, "", 0, "off 0 160/20 160/20 1/0 2"},
        {Command::Decrease, "", 0, "off 0 160/20 160/20 -1/0 2"},
        {Command::Stop, "u", 100, "off 0 160/25 160/25 0/0 2"},
        {Command::Restart, "Gm1u", 0, "off 0 160/20 160/20 0/0 2"},
        {Command::Calibrate, "", 0, "off 0 0/0 0/0 0/0 2"},
    };
    ASSERT_EQ(std::size(rows), CommandTable.size());
    for (size_t i = 0; i < CommandTable.size(); ++i) {
        const CommandRow& command = CommandTable[i];
        SCOPED_TRACE(command.button.data());
        ASSERT_EQ(rows[i].command, command.command);
        ControllerModel m(Fast);
        m.receive(start, 0);
        m.advance(10000);
        m.receive("S", 10000);
        m.receive(rows[i].before, 10000);
        const qint64 now = 10000 + rows[i].runMs;
        m.advance(now);
        const QByteArray wire = QByteArray(command.first.data(), command.first.size()) +
                                QByteArray(command.second.data(), command.second.size());
        EXPECT_EQ(m.receive(wire, now), "");
        EXPECT_EQ(State(m), rows[i].after);
        EXPECT_TRUE(m.clockSet());
    }
}

// Bytes in at 0, replies out; then the rotors moved as the front's loop does, every 20 ms, up to
// `runMs` (at 10 and 5 degrees a second in the `Slow` rows).
TEST(ControllerModel, RepliesFaultsAndRotors) {
    const ControllerConfig Slow{.azimuthSpeed = 10, .elevationSpeed = 5};
    const QByteArray track = "T2002/03/15 11:00:00\r2002/03/15 11:00:30 20 10\rG";
    const QByteArray pointTo = "T2002/03/15 11:00:00\r2002/03/15 11:01:00 40 20\rGGP100 50\r";
    const struct {
        ControllerConfig config;
        QByteArray in, out;
        qint64 runMs = 0;
        const char* at = "0/0";
    } rows[] = {
        {{}, "?", "Ravik RC-2 rotator controller\r\n"},
        {{.shortAnswer = true}, "?", "RC-2"},
        {{.capsAnswer = true}, "?", "RAVIK RC-2 rotator controller\r\n"},
        {{.silent = true}, "?Z" + Upload, ""},
        {{}, "Z", Status0 + Eof},
        {{.noEof = true}, "Z", Status0},
        {{.garbage = true}, "Z", "#@%! 0x3F ~~ line noise ~~\r\n" + Eof},
        {{}, Upload, Points1},
        {{}, "G02/03/15 10:04:30 185 25\r", "Motion on  Points 1\r\n" + Eof},
        {{.silentAfter = 1}, Upload + Upload + "?Z", Points1},
        {{},
         "T2002/03/15 10:04:30\rZ",
         QByteArray(Status0).replace("unset", "2002/03/15 10:04:30") + Eof},
        {{}, "GP180 45\r", ""},          // a point-to command has no reply
        {{}, "\r\n\x01qQ!P@ x\x1A", ""}, // unknown bytes are ignored
        {{}, "mcZ", Status0 + Eof},      // broken two-byte commands
        {{}, "2002/13/15 10:04:30 185 25\rZ", Status0 + Eof},
        {{}, "T2002/03/15 25:04:30\rZ", Status0 + Eof},
        {{},
         "2002/02/29 10:04:30 185 25\r2002/03/15 10:04 185 25\r2002/03/15 10:04:30 18x 25\r",
         ""},
        {{},
         "T1899/12/30 00:00:00\rZ",
         QByteArray(Status0).replace("unset", "1899/12/30 00:00:00") + Eof},
        {Slow, "GP90 30\r", "", 3000, "30/15"},
        {Slow, "GP90 30\r", "", 9000, "90/30"},
        {Slow, "GP90 30\r", "", 60000, "90/30"},
        {Slow, "GP90 30\rS", "", 9000, "0/0"},  // motion disabled
        {Slow, "GP350 0\r", "", 1000, "-10/0"}, // the shortest way, past north
        {Slow, "u", "", 60000, "0/90"},         // jogged up to the limit
        {Slow, "d", "", 1000, "0/0"},           // and down at the limit
        {Slow, track, Points1, 40000, "20/10"}, // the 11:00:30 point falls due and is reached
        {Slow, track, Points1, 29000, "0/0"},   // not yet due
        // A point-to target holds until the next stored point falls due.
        {Slow, pointTo, Points1, 59000, "100/50"},
        {Slow, pointTo, Points1, 80000, "40/20"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.in.toStdString() + " run " + std::to_string(row.runMs));
        ControllerModel m(row.config);
        EXPECT_EQ(m.receive(row.in, 0), row.out);
        EXPECT_EQ(m.received(), row.in);
        for (qint64 t = 20; t <= row.runMs; t += 20)
            EXPECT_EQ(m.advance(t), "");
        EXPECT_EQ(QString::asprintf("%d/%d", qRound(m.azimuth()), qRound(m.elevation())), row.at);
    }
    ControllerModel full; // the store is full at 10,001 points; the record can be taken away
    QByteArray last;
    for (int i = 0; i < ControllerModel::Capacity + 2; ++i)
        last = full.receive(Upload, 0);
    EXPECT_EQ(last, "Motion off  Points 10001\r\n" + Eof);
    EXPECT_EQ(full.takeReceived().size(), 27 * (ControllerModel::Capacity + 2));
    EXPECT_TRUE(full.received().isEmpty());
    ControllerModel held; // stored points are held to the compass and to 0..90
    held.receive("2002/03/15 10:04:30 -10 95\r", 0);
    EXPECT_EQ(std::pair(held.points().at(0).azimuth, held.points()[0].elevation),
              std::pair(350, 90));
}

TEST(ControllerModel, AnySplitGivesTheSameResult) {
    for (const QByteArray& script :
         {"T2002/03/15 10:00:00\rGP160 20\r?ZGZ" + Upload,
          QByteArray(
              "T02/03/15 10:04:30\r02/03/15 10:04:30 185 25\r02/03/15 10:05:00 190 30\rGFZcxZ"),
          QByteArray("\r\nm1GP359 90\rZsZ*Z?X Z"), QByteArray("GP1\r2\r\x1A?GGPPZ")}) {
        ControllerModel whole(Fast);
        const QByteArray expected = whole.receive(script, 500);
        for (int chunk : {1, 2, 3, 7}) {
            SCOPED_TRACE(script.toStdString() + " in pieces of " + std::to_string(chunk));
            ControllerModel split(Fast);
            QByteArray got;
            for (qsizetype i = 0; i < script.size(); i += chunk)
                got += split.receive(script.mid(i, chunk), 500);
            EXPECT_EQ(got, expected);
            EXPECT_EQ(split.statusText(500), whole.statusText(500));
        }
    }
}

} // namespace
