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

// "motion mode azimuth/elevation target jogs points"
QString State(const ControllerModel& m) {
    return QString::asprintf("%s %d %d/%d %d/%d %d/%d %d", m.motionEnabled() ? "on" : "off",
                             m.mode(), qRound(m.azimuth()), qRound(m.elevation()),
                             qRound(m.targetAzimuth()), qRound(m.targetElevation()), m.azimuthJog(),
                             m.elevationJog(), int(m.points().size()));
}

// Every command of the vocabulary, from motion off at 160/20 with two stored points not yet due
// and the clock set: (command, what is sent before it, how long the rotors then run, the state).
TEST(ControllerModel, EveryCommandOfTheVocabulary) {
    const QByteArray start = "T2002/03/15 10:00:00\r2002/03/15 11:00:00 90 30\r"
                             "2002/03/15 11:05:00 100 40\rGP160 20\r";
    const std::tuple<Command, const char*, int, const char*> rows[] = {
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
        const auto& [command, before, runMs, after] = rows[i];
        const CommandRow& c = CommandTable[i];
        ASSERT_EQ(command, c.command) << c.button;
        ControllerModel m({.azimuthSpeed = 100, .elevationSpeed = 50});
        m.receive(start, 0), m.advance(10000);
        m.receive("S" + QByteArray(before), 10000), m.advance(10000 + runMs);
        const auto wire = QByteArray::fromStdString(std::string(c.first).append(c.second));
        EXPECT_EQ(m.receive(wire, 10000 + runMs), "") << c.button;
        EXPECT_EQ(State(m), after) << c.button;
    }
}

// Bytes in at 0, replies out, the same whole or byte by byte; then the rotors moved as the
// front's loop does, every 20 ms, to the run's end (at 10 and 5 degrees a second when Slow), and
// where they are.
TEST(ControllerModel, RepliesFaultsAndRotors) {
    const ControllerConfig Slow{.azimuthSpeed = 10, .elevationSpeed = 5};
    const QByteArray track = "T2002/03/15 11:00:00\r2002/03/15 11:00:30 20 10\rG";
    const QByteArray pointTo = "T2002/03/15 11:00:00\r2002/03/15 11:01:00 40 20\rGGP100 50\r";
    const QByteArray overlong = "2002/03/15 10:04:30" + QByteArray(64, ' ') + "185 25\r";
    const auto clock = [](const char* set) { return QByteArray(Status0).replace("unset", set); };
    const std::tuple<ControllerConfig, QByteArray, QByteArray, qint64, const char*> rows[] = {
        {{}, "?", "Ravik RC-2 rotator controller\r\n", 0, "0/0"},
        {{.silent = true}, "?Z" + Upload, "", 0, "0/0"},
        {{.noEof = true}, "Z", Status0, 0, "0/0"},
        {{.garbage = true}, "Z", "#@%! 0x3F ~~ line noise ~~\r\n" + Eof, 0, "0/0"},
        {{}, Upload, Points1, 0, "0/0"},
        {{}, "G02/03/15 10:04:30 185 25\r", "Motion on  Points 1\r\n" + Eof, 0, "0/0"},
        {{.silentAfter = 1}, Upload + Upload + "?Z", Points1, 0, "0/0"},
        {{}, "T2002/03/15 10:04:30\rZ", clock("2002/03/15 10:04:30") + Eof, 0, "0/0"},
        {{}, "T69/12/30 00:00:00\rZ", clock("2069/12/30 00:00:00") + Eof, 0, "0/0"},
        // Unknown bytes, broken two-byte commands, a bad point-to, bad dates and times, bad
        // lines and one longer than kept: no reply, nothing changed.
        {{}, "\r\n\x01qQ!P@ x\x1AmcGP360 0\rSZ", Status0 + Eof, 0, "0/0"},
        {{}, "2002/13/15 10:04:30 185 25\rT2002/03/15 25:04:30\rZ", Status0 + Eof, 0, "0/0"},
        {{}, "2002/02/29 10:04:30 185 25\r2002/03/15 10:04 185 25\r" + overlong, "", 0, "0/0"},
        {Slow, "GP90 30\r", "", 3000, "30/15"},
        {Slow, "GP90 30\r", "", 60000, "90/30"},
        {Slow, "GP90 30\rS", "", 9000, "0/0"},  // motion disabled
        {Slow, "GP350 0\r", "", 1000, "-10/0"}, // the shortest way, past north
        {Slow, "u", "", 60000, "0/90"},         // jogged up to the limit
        {Slow, track, Points1, 40000, "20/10"}, // the 11:00:30 point falls due and is reached
        {Slow, track, Points1, 29000, "0/0"},   // not yet due
        // A point-to target holds until the next stored point falls due.
        {Slow, pointTo, Points1, 59000, "100/50"},
        {Slow, pointTo, Points1, 80000, "40/20"},
    };
    for (const auto& [config, in, out, runMs, at] : rows) {
        SCOPED_TRACE(in.toStdString() + " run " + std::to_string(runMs));
        ControllerModel m(config), split(config);
        EXPECT_EQ(m.receive(in, 0), out);
        EXPECT_EQ(m.received(), in);
        QByteArray pieces;
        for (char byte : in)
            pieces += split.receive(QByteArray(1, byte), 0);
        EXPECT_EQ(pieces + split.statusText(0), out + m.statusText(0));
        for (qint64 t = 20; t <= runMs; t += 20)
            EXPECT_EQ(m.advance(t), "");
        EXPECT_EQ(QString::asprintf("%d/%d", qRound(m.azimuth()), qRound(m.elevation())), at);
        const QList<QByteArray> azEl = QByteArray(at).split('/'); // and the status says so
        EXPECT_TRUE(m.statusText(runMs).contains("\r\nAz " + azEl[0] + "  El " + azEl[1] + "  "));
    }
    ControllerModel full; // stored points are held to the compass and 0..90; at most 10,001
    QByteArray last = full.receive("2002/03/15 10:04:30 -10 95\r", 0);
    for (int i = 0; i <= ControllerModel::Capacity; ++i)
        last = full.receive(Upload, 0);
    EXPECT_EQ(last, "Motion off  Points 10001\r\n" + Eof);
    const StoredPoint first = full.points().at(0);
    EXPECT_EQ(std::pair(first.azimuth, first.elevation), std::pair(350, 90));
}

} // namespace
