// Controller faults with the built programs on a virtual display: what the operator sees, that
// commands go nowhere once the controller is gone, and that the programs stay responsive and
// close cleanly. The list of cases and views is in FAULTS.md.
#include "xsession.h"
#include <gtest/gtest.h>

using namespace ravik::e2e;

namespace {

const std::string TimeZone = "Time Zone offset = 0 hours\n";
const std::string NotOnPort1 = "The controller is not on port 1!!\n";

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}
bool EndsWith(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Clicks every command button (not the send button or Go!, whose dialogs and text boxes are
// tested on their own), in tab order.
void ClickEveryCommand(const Program& program, std::span<const ravik::ControlRow> layout) {
    for (const ravik::ControlRow& row : layout) {
        const std::string name = row.name;
        if (row.kind == ravik::ControlKind::Button && name != "cmdOpen" && name != "cmdGo")
            program.click(row.name);
    }
}

std::span<const ravik::ControlRow> LayoutOf(Which which) {
    return which == Which::Skypass ? skypass::UploaderLayout() : handpoint::ManualLayout();
}

// Lets bytes a click may have written reach the simulator's log before it is compared; the
// click itself has been handled once the box was read back after it.
void Settle() {
    SleepMs(300);
}

enum class Setup { Sim, NoLink, DanglingLink };

struct StartUpCase {
    const char* name;
    Which program;
    Setup setup;
    std::vector<std::string> simArgs;
    int uid;
    std::string shown;       // the box after start-up
    std::string afterClicks; // the box after every command button was clicked
};

const StartUpCase StartUpCases[] = {
    {"silent_skypass",
     Which::Skypass,
     Setup::Sim,
     {"--silent"},
     0,
     TimeZone + NotOnPort1,
     TimeZone + NotOnPort1},
    {"silent_handpoint", Which::Handpoint, Setup::Sim, {"--silent"}, 0, NotOnPort1, "Unwinding\n"},
    // A wrong answer closes the port without a word.
    {"garbage_skypass", Which::Skypass, Setup::Sim, {"--garbage"}, 0, TimeZone, TimeZone},
    {"garbage_handpoint", Which::Handpoint, Setup::Sim, {"--garbage"}, 0, "Text1\n", "Unwinding\n"},
    // No COM1 in the folder: port 1 is /dev/ttyS0, which an unprivileged operator cannot open
    // (and the test must not write to a real serial port).
    {"no_link_skypass",
     Which::Skypass,
     Setup::NoLink,
     {},
     Nobody,
     TimeZone + NotOnPort1,
     TimeZone + NotOnPort1},
    {"no_link_handpoint", Which::Handpoint, Setup::NoLink, {}, Nobody, NotOnPort1, "Unwinding\n"},
    {"dangling_link_skypass",
     Which::Skypass,
     Setup::DanglingLink,
     {},
     0,
     TimeZone + NotOnPort1,
     TimeZone + NotOnPort1},
    {"dangling_link_handpoint",
     Which::Handpoint,
     Setup::DanglingLink,
     {},
     0,
     NotOnPort1,
     "Unwinding\n"},
};

void PrintTo(const StartUpCase& c, std::ostream* os) {
    *os << c.name;
}

class ControllerAtStartUp : public testing::TestWithParam<StartUpCase> {};

TEST_P(ControllerAtStartUp, TheOperatorIsToldAndCommandsGoNowhere) {
    const StartUpCase& c = GetParam();
    Session s;
    ASSERT_EQ(s.problem(), "");
    s.settings("Comm Port 1\r\n");
    if (c.setup == Setup::Sim) {
        ASSERT_TRUE(s.startSim(c.simArgs)) << s.sim.error();
    } else if (c.setup == Setup::DanglingLink) {
        ASSERT_EQ(
            ::symlink((s.folder.root() + "/unplugged").c_str(), s.folder.inWork("COM1").c_str()),
            0);
    }
    auto program = s.start(c.program, {c.uid, {}});
    ASSERT_TRUE(program) << s.why;
    EXPECT_EQ(program->waitBox([&](auto& t) { return t == c.shown; }), c.shown);

    ClickEveryCommand(*program, LayoutOf(c.program));
    EXPECT_EQ(program->waitBox([&](auto& t) { return t == c.afterClicks; }), c.afterClicks);
    Settle();
    EXPECT_EQ(s.sim.running() ? s.sim.received() : "", c.setup == Setup::Sim ? "?" : "");
    EXPECT_EQ(program->close(), 0) << program->stderrText();
    EXPECT_EQ(s.settings(), "Comm Port 1\r\n");
}

INSTANTIATE_TEST_SUITE_P(Faults, ControllerAtStartUp, testing::ValuesIn(StartUpCases),
                         [](const auto& info) { return std::string(info.param.name); });

class ReplyNeverEnds : public testing::TestWithParam<Which> {};

// A status reply without its end-of-file character: skypass waits for the end and shows only
// its request; handpoint shows the characters as they come.
TEST_P(ReplyNeverEnds, StatusRequest) {
    Session s;
    ASSERT_EQ(s.problem(), "");
    s.settings("Comm Port 1\r\n");
    ASSERT_TRUE(s.startSim({"--no-eof"})) << s.sim.error();
    auto program = s.start(GetParam());
    ASSERT_TRUE(program) << s.why;
    const std::string found = "The controller was found on port 1\n";
    EXPECT_NE(
        program->waitBox([&](auto& t) { return t.find(found) != std::string::npos; }).find(found),
        std::string::npos);
    program->click("cmdStatus");
    EXPECT_EQ(s.received(2), "?Z");
    if (GetParam() == Which::Skypass) {
        SleepMs(1000); // the reply has long arrived (a bound, not a timing check)
        EXPECT_EQ(program->readBox(), "Reading the status");
    } else {
        const std::string box = program->waitBox([](auto& t) {
            return StartsWith(t, "Reading the status\nMotion ") && PointsShown(t) == 0;
        });
        EXPECT_TRUE(StartsWith(box, "Reading the status\nMotion ")) << box;
        EXPECT_EQ(PointsShown(box), 0) << box;
    }
    EXPECT_EQ(program->close(), 0) << program->stderrText();
    EXPECT_EQ(s.sim.received(), "?Z");
}

INSTANTIATE_TEST_SUITE_P(Faults, ReplyNeverEnds, testing::Values(Which::Skypass, Which::Handpoint),
                         [](const auto& info) { return NameOf(info.param); });

class UnpluggedBetweenCommands : public testing::TestWithParam<Which> {};

// The adapter is pulled after a command was answered: the not-found line comes, every later
// button is silent (also once the controller is back), the program idles without spinning and
// closes normally.
TEST_P(UnpluggedBetweenCommands, LaterButtonsAreSilent) {
    const bool skypass = GetParam() == Which::Skypass;
    Session s;
    ASSERT_EQ(s.problem(), "");
    s.settings("Comm Port 1\r\n");
    ASSERT_TRUE(s.startSim()) << s.sim.error();
    auto program = s.start(GetParam());
    ASSERT_TRUE(program) << s.why;
    program->click("cmdStatus");
    const auto status = [&](const std::string& t) {
        return t.find("Motion ") != std::string::npos;
    };
    EXPECT_TRUE(status(program->waitBox(status)));
    ASSERT_EQ(s.received(2), "?Z");

    s.sim.kill();
    program->click("cmdDisable");
    const std::string box = program->waitBox(
        [&](auto& t) { return skypass ? EndsWith(t, NotOnPort1) : t == NotOnPort1; });
    if (skypass) {
        EXPECT_TRUE(StartsWith(box, "Motion ")) << box; // appended after what was there
        EXPECT_TRUE(EndsWith(box, NotOnPort1)) << box;
    } else {
        EXPECT_EQ(box, NotOnPort1);
    }
    const std::string log = s.sim.received();
    EXPECT_TRUE(log == "?Z" || log == "?ZS") << log; // "S" only if it went out before the loss

    // Plugged in again: the program stays without a controller until it is started again.
    ASSERT_TRUE(s.startSim()) << s.sim.error();
    ClickEveryCommand(*program, LayoutOf(GetParam()));
    const std::string after = skypass ? box : "Unwinding\n";
    EXPECT_EQ(program->waitBox([&](auto& t) { return t == after; }), after);
    Settle();
    EXPECT_EQ(s.sim.received(), log);

    const double before = program->process().cpuSeconds();
    SleepMs(2000);
    EXPECT_LT(program->process().cpuSeconds() - before, 0.5) << "busy while idle";
    EXPECT_EQ(program->readBox(), after); // still answering
    EXPECT_EQ(program->close(), 0) << program->stderrText();
    EXPECT_EQ(s.settings(), "Comm Port 1\r\n");
}

INSTANTIATE_TEST_SUITE_P(Faults, UnpluggedBetweenCommands,
                         testing::Values(Which::Skypass, Which::Handpoint),
                         [](const auto& info) { return NameOf(info.param); });

// handpoint holds the port: skypass, started second in the same folder, finds no controller and
// sends nothing; handpoint keeps its controller.
TEST(PortHeldByTheOtherProgram, SkypassSaysNotFound) {
    Session s;
    ASSERT_EQ(s.problem(), "");
    s.settings("Comm Port 1\r\n");
    ASSERT_TRUE(s.startSim()) << s.sim.error();
    auto hand = s.start(Which::Handpoint);
    ASSERT_TRUE(hand) << s.why;
    const std::string found = "The controller was found on port 1\n";
    EXPECT_TRUE(StartsWith(hand->waitBox([&](auto& t) { return StartsWith(t, found); }), found));
    auto sky = s.start(Which::Skypass);
    ASSERT_TRUE(sky) << s.why;
    EXPECT_EQ(sky->waitBox([](auto& t) { return t == TimeZone + NotOnPort1; }),
              TimeZone + NotOnPort1);
    sky->click("cmdStatus");
    EXPECT_EQ(sky->readBox(), TimeZone + NotOnPort1);
    EXPECT_EQ(sky->close(), 0) << sky->stderrText(); // its window lies on top of handpoint's
    Settle();
    EXPECT_EQ(s.sim.received(), "?");

    hand->click("cmdStatus");
    EXPECT_EQ(s.received(2), "?Z");
    EXPECT_EQ(hand->close(), 0) << hand->stderrText();
    EXPECT_EQ(s.settings(), "Comm Port 1\r\n");
}

} // namespace
