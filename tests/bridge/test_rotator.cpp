// The bridge's commands over the in-memory port: each line's reply and the bytes it puts on
// the wire, the queue's pacing, status replies and the controller looked for again.
#include "bridgeserver.h"
#include "fakeserialport.h"
#include "qtapp.h"
#include "rotator.h"
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using ravik::rotctl::parseRequest;

// Past north on the cable wrap: 483 is 123 on the compass.
const QByteArray Status = "Motion on  Mode 0\r\nAz 483  El 45  Target 180/45\r\nClock unset\r\n"
                          "Points 0\r\n\x1a";

struct Station {
    ravik::FakeSerialPort port;
    ravik::Rotator rotator{port};
    QObject client;

    explicit Station(QByteArray status = Status) {
        TestApp();
        port.responder = [status](const QByteArray& w) -> QByteArray {
            return w == "?" ? "Ravik RC-2 rotator controller\r\n" : w == "Z" ? status : "";
        };
        rotator.setPark(10, 20);
        rotator.start(1);
        EXPECT_TRUE(QTest::qWaitFor([this] { return rotator.isConnected(); }, 2000));
        port.written.clear();
    }
    // Sends `line`; its reply lands in `reply`.
    void send(const QByteArray& line, QByteArray& reply) {
        const auto request = parseRequest(line);
        if (request.error != ravik::rotctl::Ok)
            reply = ravik::rotctl::formatReply(request, request.error);
        else
            rotator.execute(request, &client, [&reply](const QByteArray& r) { reply = r; });
    }
    QByteArray ask(const QByteArray& line) {
        QByteArray reply;
        send(line, reply);
        (void)QTest::qWaitFor([&reply] { return !reply.isEmpty(); }, 3000);
        return reply;
    }
};

// (line, reply, wire)
TEST(Rotator, CommandReplyAndWire) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        // clang-format off
        {"P 114.80 14.00", "RPRT 0\n", "GP115 14\r"}, {"\\set_pos 359.6 0", "RPRT 0\n", "GP0 0\r"},
        {"set_pos 0.5 2.5", "RPRT 0\n", "GP0 2\r"}, {"P 1.5 89.5", "RPRT 0\n", "GP2 90\r"},
        {"P -90 10", "RPRT 0\n", "GP270 10\r"}, {"P 720.2 0", "RPRT 0\n", "GP0 0\r"},
        {"P 10 90", "RPRT 0\n", "GP10 90\r"}, {"P 10 0", "RPRT 0\n", "GP10 0\r"},
        {"P 10 90.01", "RPRT -1\n", ""}, {"P 10 -0.01", "RPRT -1\n", ""},
        {"P 180,00 45,00", "RPRT 0\n", "GP180 45\r"}, {"P abc 10", "RPRT -1\n", ""},
        {"+\\set_pos 180,00 45,00", "set_pos: 180,00 45,00\nRPRT 0\n", "GP180 45\r"},
        {"P 1,5,3 10", "RPRT -1\n", ""}, {"P nan 10", "RPRT -1\n", ""}, {"P 10", "RPRT -1\n", ""},
        {"+P 10 20", "set_pos: 10 20\nRPRT 0\n", "GP10 20\r"}, {"p", "123.00\n45.00\n", "Z"},
        {"+p", "get_pos:\nAzimuth: 123.00\nElevation: 45.00\nRPRT 0\n", "Z"},
        {";p", "get_pos:;Azimuth: 123.00;Elevation: 45.00;RPRT 0\n", "Z"}, {"S", "RPRT 0\n", "s"},
        {"+\\stop", "stop:\nRPRT 0\n", "s"}, {"K", "RPRT 0\n", "GP10 20\r"}, {"R", "RPRT -1\n", ""},
        {"R 1", "RPRT 0\n", "*"}, {"M 2 50", "RPRT 0\n", "u"}, {"M 2,0 50", "RPRT 0\n", "u"},
        {"\\move 8 10", "RPRT 0\n", "l"}, {"M 3 10", "RPRT -1\n", ""}, {"x", "RPRT -1\n", ""},
        {"+M 16 10", "move: 16 10\nRPRT 0\n", "r"},
        {"_", "Ravik RC-2 rotator controller\n", "?"}, {"\\foo 1", "RPRT -1\n", ""},
        {"+_", "get_info:\nInfo: Ravik RC-2 rotator controller\nRPRT 0\n", "?"},
        {"\\dump_state", "1\n1\nmin_az=-180.000000\nmax_az=540.000000\nmin_el=0.000000\n"
                         "max_el=90.000000\nsouth_zero=0\nrot_type=AzEl\ndone\n", ""},
        // clang-format on
    };
    for (const auto& [line, reply, wire] : cases) {
        Station s;
        EXPECT_EQ(s.ask(line), QByteArray(reply)) << line;
        EXPECT_EQ(s.port.written, QByteArray(wire)) << line;
    }
}

// Never more than one command behind: a target waiting at the end of the queue is replaced by a
// newer one and answered at once; a stop keeps its place. Each command is answered only once the
// device's output queue is empty (the line's own pace is the e2e tests' business).
TEST(Rotator, NewerTargetsReplaceWaitingOnesAndAnswersWaitForTheLine) {
    Station s;
    s.port.outputQueue = 3;
    QByteArray first, second, third, stop, last;
    s.send("P 1 1", first);
    s.send("P 2 2", second);
    s.send("P 3 3", third);
    EXPECT_EQ(second, "RPRT 0\n"); // overtaken at once
    s.send("S", stop);
    s.send("K", last);
    QTest::qWait(50);
    EXPECT_EQ(first, ""); // the device still holds bytes for the wire
    s.port.outputQueue = 0;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !last.isEmpty(); }, 2000));
    EXPECT_EQ(first + third + stop + last, "RPRT 0\nRPRT 0\nRPRT 0\nRPRT 0\n");
    EXPECT_EQ(s.port.written, "GP1 1\rGP3 3\rsGP10 20\r");
}

// get_pos answers only a status reply that belongs to its own request (a command's own short
// reply ahead of the status is the e2e tests' business); anything else ends in a timeout.
TEST(Rotator, GetPosTakesOnlyItsOwnStatusReply) {
    Station silent("");
    EXPECT_EQ(silent.ask("p"), "RPRT -5\n");
    // The late reply to the first request is not the second's.
    QByteArray late;
    silent.send("p", late);
    silent.port.feed(Status);
    silent.port.feed(QByteArray(Status).replace("483", "20"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return late == "20.00\n45.00\n"; }, 2000)) << late.data();
    // Without a position in the status, the last commanded one (the park position before any).
    Station bare("Motion on  Mode 0\r\n\x1a");
    EXPECT_EQ(bare.ask("p"), "10.00\n20.00\n");
    bare.ask("P 200 30");
    EXPECT_EQ(bare.ask("p"), "200.00\n30.00\n");
}

// Lost: I/O errors at once and nothing written; looked for again only through its COM1 entry,
// not at all while the entry is missing.
TEST(Rotator, LostControllerIsLookedForOnlyThroughItsEntry) {
    Station s;
    bool entry = true;
    s.rotator.setEntryCheck([&entry](int) { return entry; });
    s.rotator.setRetryMs(20);
    s.rotator.keepTrying();
    s.port.loseDevice(); // found again, now through its entry
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.rotator.isConnected(); }, 2000));
    s.port.loseDevice();
    s.port.written.clear(), s.port.openedPort = -1, entry = false;
    for (const char* line : {"P 1 2", "p", "S", "_", "+p"})
        EXPECT_TRUE(s.ask(line).endsWith("RPRT -6\n")) << line;
    QTest::qWait(200);
    EXPECT_EQ(s.port.openedPort, -1);
    EXPECT_EQ(s.port.written, "");
    entry = true;
    EXPECT_TRUE(QTest::qWaitFor([&] { return s.rotator.isConnected(); }, 2000));
    EXPECT_EQ(s.ask("S"), "RPRT 0\n");
}

// Over real TCP, the exact bytes Gpredict sends under a comma locale (de_DE) move the antenna.
TEST(BridgeServer, GpredictInACommaLocaleMovesTheAntenna) {
    Station s;
    ravik::BridgeServer server(s.rotator);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket gpredict;
    gpredict.connectToHost(QHostAddress::LocalHost, server.serverPort());
    gpredict.write("P 180,00 45,00\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return gpredict.canReadLine(); }));
    EXPECT_EQ(gpredict.readAll(), "RPRT 0\n");
    EXPECT_EQ(s.port.written, "GP180 45\r");
}

// Over real TCP: argument errors count toward the eight bad lines in a row too; a line longer
// than the limit is refused and closed before its end comes; with every place taken, the client
// idle longest gives way to a newcomer once it has been idle long enough.
TEST(BridgeServer, BadLinesInARowAndIdleClientsGiveWay) {
    Station s;
    ravik::BridgeServer server(s.rotator);
    server.setIdleGiveWayMs(1000);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const auto open = [&](const QByteArray& lines) {
        auto* c = new QTcpSocket(&s.client);
        c->connectToHost(QHostAddress::LocalHost, server.serverPort());
        c->write(lines);
        return c;
    };
    const auto gone = [](QTcpSocket* c) { return c->state() == QAbstractSocket::UnconnectedState; };
    const auto closed = [&](QTcpSocket* c) { return QTest::qWaitFor([&] { return gone(c); }); };
    QTcpSocket* garbage = open(QByteArray("P x 10\n").repeated(9));
    EXPECT_TRUE(closed(garbage));
    EXPECT_EQ(garbage->readAll(), QByteArray("RPRT -1\n").repeated(8));
    QTcpSocket* longLine = open(QByteArray(2 * ravik::BridgeServer::MaxLine, 'P')); // no line end
    EXPECT_TRUE(closed(longLine));
    EXPECT_EQ(longLine->readAll(), "RPRT -1\n");
    QList<QTcpSocket*> house;
    for (int i = 0; i < ravik::BridgeServer::MaxClients; ++i)
        house.append(open("\\dump_state\n"));
    const auto answered = [](QTcpSocket* c) { return c->canReadLine(); };
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::ranges::all_of(house, answered); }));
    EXPECT_TRUE(closed(open(""))); // nobody has been idle long enough yet
    QTest::qWait(1100);
    QTcpSocket* newcomer = open("\\dump_state\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return answered(newcomer); }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::ranges::count_if(house, gone) == 1; }));
    EXPECT_FALSE(gone(house.last()));
}

} // namespace
