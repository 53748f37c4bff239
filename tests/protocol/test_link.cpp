#include "controllerlink.h"
#include "fakeserialport.h"
#include <QCoreApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace ravik;

// While the probe listens, nothing else may reach the line: a command written then would be
// judged as the controller's answer and its own reply lost (a click before the window shows,
// a client of the bridge during a re-probe).
TEST(ControllerLink, WritesNothingWhileTheProbeListens) {
    int argc = 1;
    char name[] = "protocol_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    FakeSerialPort port;
    ControllerLink link(port);
    QSignalSpy found(&link, &ControllerLink::found);
    link.probe(1);
    link.send(Command::Clear);
    link.requestStatus();
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(port.written, "?");

    port.feed("Ravik RC-2 rotator controller\r\n");
    ASSERT_TRUE(found.count() > 0 || found.wait(5000));
    EXPECT_TRUE(link.isOpen());
    link.send(Command::Clear);
    EXPECT_EQ(port.written, "?XZ");
}
