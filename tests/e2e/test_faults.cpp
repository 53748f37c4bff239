// The built programs on their own display against ravik-sim over a pseudo-terminal: only what
// needs a real X server, process and terminal (FAULTS.md). What a window does with a reply, a
// settings line or a pass file is checked in-process with a fake port (tests/uploader,
// tests/manual, tests/protocol, test_link_pty.cpp).
#include "xsession.h"

using namespace ravik::e2e;

namespace {

// The shipped InstantTrack sample as skypass uploads it.
const std::string SampleUpload =
    "2002/12/05 23:52:00 150 0\r2002/12/05 23:53:00 150 5\r2002/12/05 23:54:00 145 10\r"
    "2002/12/05 23:55:00 140 15\r2002/12/05 23:56:00 135 20\r2002/12/05 23:57:00 125 25\r"
    "2002/12/05 23:58:00 110 35\r2002/12/05 23:59:00 90 40\r2002/12/06 00:00:00 60 40\r"
    "2002/12/06 00:01:00 40 35\r2002/12/06 00:02:00 25 25\r2002/12/06 00:03:00 15 20\r"
    "2002/12/06 00:04:00 10 15\r2002/12/06 00:05:00 5 10\r2002/12/06 00:06:00 0 5\r"
    "2002/12/06 00:07:00 360 0\r";

// Both windows once, by place, in one folder against one simulator: every button's bytes reach
// the controller ('#' a digit, '*' any run), the sample through the real file dialog, Go! with
// 180 and 45 typed into the real boxes.
TEST(OperatorSession, EveryButtonOfBothWindowsByPlace) {
    // clang-format off
    const std::vector<std::pair<const char*, std::string>> steps[] = {
        {{"cmdSynchronize", "T####/##/## ##:##:##\rZ"}, {"cmdOpen", SampleUpload + "Z"},
         {"cmdDisable", "SZ"}, {"cmdGoTo", "GF"}, {"cmdStatus", "Z"}, {"cmdClear", "XZ"},
         {"cmdEnable", "GZ"}, {"cmdMode0", "m0Z"}, {"cmdMode1", "m1Z"}, {"cmdUnwind", "w"}},
        {{"cmdGo", "GP180 45\r"}, {"cmdUp", "u"}, {"cmdStop", "sZ"}, {"cmdCalibrate", "cxZ"},
         {"cmdUnwind", "w"}, {"cmdMode1", "m1Z"}, {"cmdMode0", "m0Z"}, {"cmdDisable", "SZ"},
         {"cmdEnable", "GZ"}, {"cmdStatus", "Z"}, {"cmdDown", "d"}, {"cmdDecrease", "l"},
         {"cmdIncrease", "r"}, {"cmdRestart", "*Z"}},
    };
    // clang-format on
    Session s;
    s.startSim();
    const std::string sample = s.files + "/pass-instanttrack.out";
    std::filesystem::copy_file(RAVIK_SOURCE_DIR "/uploader/samples/pass-instanttrack.out", sample);
    std::string want;
    for (const std::string& which : {Sky, Hand}) {
        auto program = s.start(which);
        EXPECT_TRUE(program->shows(which == Sky ? TZ + Found(1) : Found(1) + "*"));
        ASSERT_TRUE(s.sent(want += "?"));
        if (which == Hand) {
            program->click("txtAzimuth"), Program::type("180");
            program->click("txtElevation"), Program::type("45");
        }
        for (const auto& [button, bytes] : steps[which == Hand]) {
            SCOPED_TRACE(button);
            program->click(button);
            ASSERT_TRUE(std::strcmp(button, "cmdOpen") || program->chooseFile(sample));
            ASSERT_TRUE(s.sent(want += bytes));
        }
        EXPECT_EQ(program->close(), 0);
    }
    EXPECT_TRUE(s.sent(want)); // nothing after the closes
}

// Start-up in a real folder against a controller that misbehaves on the wire, then buttons.
struct Case {
    const char* name;
    std::vector<std::string> sim; // the simulator's fault options
    const char* button;           // nullptr: every command button
    std::string shown, after;     // the box after start-up, after the clicks
    std::string bytes;            // what the controller got, all told
    bool held = false;            // handpoint, started first, holds the controller
};

// A failure names its case, not the bytes of the struct.
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

// clang-format off
const Case Cases[] = {
    // The command's own "OK" reply and the status in the same read: the status is shown.
    {"own_reply", {"--own-reply"}, "cmdDisable", TZ + Found(1), "Motion *  Mode *Points 0\n*", "?SZ"},
    // The product word after the five characters the probe judges: closed without a word.
    {"late_product", {"--late-product", "1000"}, nullptr, TZ, TZ, "?"},
    // The terminal is the other program's: skypass's probe never reaches the controller.
    {"port_held", {}, nullptr, TZ + NotOn(1), TZ + NotOn(1), "?", true},
};
// clang-format on

class Faults : public testing::TestWithParam<Case> {};

TEST_P(Faults, StartUpThenButtons) {
    const Case& c = GetParam();
    Session s;
    s.startSim(c.sim);
    std::unique_ptr<Program> holder = c.held ? s.start(Hand) : nullptr;
    if (holder) {
        EXPECT_TRUE(holder->shows(Found(1) + "*"));
    }
    auto sky = s.start(Sky);
    EXPECT_TRUE(sky->shows(c.shown));
    c.button ? sky->click(c.button) : sky->clickEveryCommand();
    SleepMs(1000); // a reply that would change the box has long come (a bound)
    EXPECT_TRUE(sky->shows(c.after));
    EXPECT_TRUE(s.sent(c.bytes));
    EXPECT_EQ(sky->close(), 0);
    if (holder) { // it kept its controller
        holder->click("cmdStatus");
        EXPECT_TRUE(s.sent(c.bytes + "Z"));
        EXPECT_EQ(holder->close(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Matrix, Faults, testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

// The controller unplugged (simulator killed) after an answered status request: noticed at once,
// skypass appends the line under the status, handpoint replaces the box with it; plugged in
// again, every button stays silent, and the program idles without spinning and closes cleanly.
class Unplugged : public testing::TestWithParam<std::string> {};

TEST_P(Unplugged, BetweenCommands) {
    const std::string which = GetParam();
    Session s;
    s.startSim();
    auto program = s.start(which);
    EXPECT_TRUE(program->shows(which == Sky ? TZ + Found(1) : Found(1) + "*"));
    program->click("cmdStatus");
    EXPECT_TRUE(program->shows("*Motion *"));
    ASSERT_TRUE(s.sent("?Z"));
    s.sim.kill(); // noticed with nothing written: the hang-up alone tells
    EXPECT_TRUE(program->shows(which == Sky ? "Motion *" + NotOn(1) : NotOn(1)));
    const std::string box = program->readBox();
    s.startSim();
    program->clickEveryCommand();
    SleepMs(1000);
    EXPECT_TRUE(program->shows(which == Sky ? box : "Unwinding\n"));
    EXPECT_EQ(s.sim.received(), "?Z");
    const double before = program->cpuSeconds();
    SleepMs(2000);
    EXPECT_LT(program->cpuSeconds() - before, 0.5) << "busy while idle";
    EXPECT_EQ(program->close(), 0);
}

INSTANTIATE_TEST_SUITE_P(Both, Unplugged, testing::Values(Sky, Hand),
                         [](const auto& info) { return info.param; });

} // namespace
