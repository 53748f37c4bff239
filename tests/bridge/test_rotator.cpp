// The bridge's commands over the in-memory port: each line's reply and the bytes it puts on
// the wire.
#include "fakeserialport.h"
#include "qtapp.h"
#include "rotator.h"
#include <gtest/gtest.h>

namespace {

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
            if (w == "?")
                return "Ravik RC-2 rotator controller\r\n";
            return w == "Z" ? status : QByteArray();
        };
        rotator.setPark(10, 20);
        rotator.connectController(1);
        Settle();
        port.written.clear();
    }
    QByteArray ask(const QByteArray& line) {
        QByteArray reply;
        const auto request = ravik::rotctl::parseRequest(line);
        if (request.error != ravik::rotctl::Ok)
            return ravik::rotctl::formatReply(request, request.error);
        rotator.execute(request, &client, [&reply](const QByteArray& r) { reply = r; });
        for (int i = 0; i < 100 && reply.isEmpty(); ++i)
            Settle();
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
        {"P 10 90.5", "RPRT -1\n", ""}, {"P 10 -0.1", "RPRT -1\n", ""},
        {"P nan 10", "RPRT -1\n", ""}, {"P 1,5 10", "RPRT -1\n", ""}, {"P 10", "RPRT -1\n", ""},
        {"+P 10 20", "set_pos: 10 20\nRPRT 0\n", "GP10 20\r"}, {"p", "123.00\n45.00\n", "Z"},
        {"\\get_pos", "123.00\n45.00\n", "Z"}, {"P abc 10", "RPRT -1\n", ""},
        {"+p", "get_pos:\nAzimuth: 123.00\nElevation: 45.00\nRPRT 0\n", "Z"},
        {";p", "get_pos:;Azimuth: 123.00;Elevation: 45.00;RPRT 0\n", "Z"},
        {"S", "RPRT 0\n", "s"}, {"+\\stop", "stop:\nRPRT 0\n", "s"}, {"K", "RPRT 0\n", "GP10 20\r"},
        {"R 1", "RPRT 0\n", "*"}, {"R", "RPRT -1\n", ""}, {"M 2 50", "RPRT 0\n", "u"},
        {"M 4 50", "RPRT 0\n", "d"}, {"\\move 8 10", "RPRT 0\n", "l"}, {"M 3 10", "RPRT -1\n", ""},
        {"+M 16 10", "move: 16 10\nRPRT 0\n", "r"}, {"_", "Ravik RC-2 rotator controller\n", "?"},
        {"+_", "get_info:\nInfo: Ravik RC-2 rotator controller\nRPRT 0\n", "?"},
        {"\\dump_state", "1\n1\nmin_az=0.000000\nmax_az=360.000000\nmin_el=0.000000\n"
                         "max_el=90.000000\nsouth_zero=0\nrot_type=AzEl\ndone\n", ""},
        {"x", "RPRT -1\n", ""}, {"\\foo 1", "RPRT -1\n", ""},
        // clang-format on
    };
    for (const auto& [line, reply, wire] : cases) {
        Station s;
        EXPECT_EQ(s.ask(line), QByteArray(reply)) << line;
        EXPECT_EQ(s.port.written, QByteArray(wire)) << line;
    }
}

// Without a position in the status, the last commanded one (the park position before any);
// with the controller lost, I/O errors and nothing written.
TEST(Rotator, PositionFallbackAndLostController) {
    Station s("Motion on  Mode 0\r\n\x1a");
    EXPECT_EQ(s.ask("p"), "10.00\n20.00\n");
    s.ask("P 200 30");
    EXPECT_EQ(s.ask("p"), "200.00\n30.00\n");
    s.port.written.clear();
    s.port.loseDevice();
    for (const char* line : {"P 1 2", "p", "S", "_"})
        EXPECT_EQ(s.ask(line), "RPRT -6\n") << line;
    EXPECT_EQ(s.ask("+p"), "get_pos:\nRPRT -6\n");
    EXPECT_EQ(s.port.written, "");
}

} // namespace
