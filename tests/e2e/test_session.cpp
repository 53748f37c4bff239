// One operator's whole session with the built programs against ravik-sim, and every button of
// both windows clicked by its place on the screen.
#include "xsession.h"
#include <gtest/gtest.h>

using namespace ravik::e2e;

namespace {

const char* const SkypassFound = "Time Zone offset = 0 hours\nThe controller was found on port 1\n";
const char* const HandpointFound = "The controller was found on port 1\n";

// '#' stands for any digit.
bool Matches(std::string_view pattern, std::string_view text) {
    if (pattern.size() != text.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (pattern[i] == '#' ? !std::isdigit(static_cast<unsigned char>(text[i]))
                              : pattern[i] != text[i])
            return false;
    return true;
}

constexpr std::string_view TimeSetThenStatus = "T####/##/## ##:##:##\rZ";

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The final status of an upload, not one of the line replies ("Motion on  Points 12").
bool IsStatus(const std::string& box) {
    return StartsWith(box, "Motion ") && box.find("  Mode ") != std::string::npos;
}

TEST(OperatorSession, SkypassThenHandpointInTheSameFolder) {
    Session s;
    ASSERT_EQ(s.problem(), "");
    s.settings("Comm Port 1\r\n");
    const std::string instant = s.sample("pass-instanttrack.out");
    const std::string nova = s.sample("pass-nova.out");
    const std::string instantBytes = ReadFile(instant), novaBytes = ReadFile(nova);
    const std::string instantUpload = ExpectedUpload(instant), novaUpload = ExpectedUpload(nova);
    ASSERT_FALSE(instantUpload.empty());
    ASSERT_FALSE(novaUpload.empty());
    ASSERT_TRUE(s.startSim()) << s.sim.error();

    auto sky = s.start(Which::Skypass);
    ASSERT_TRUE(sky) << s.why;
    EXPECT_EQ(sky->waitBox([](auto& t) { return t == SkypassFound; }), SkypassFound);

    sky->click("cmdSynchronize");
    std::string log = s.received(1 + TimeSetThenStatus.size());
    EXPECT_TRUE(Matches(std::string("?") + TimeSetThenStatus.data(), log)) << log;
    std::string box = sky->waitBox([](auto& t) { return StartsWith(t, "Motion "); });
    EXPECT_EQ(box.find("Clock unset"), std::string::npos) << box;

    std::string want = log;
    for (const auto& [file, upload] : {std::pair{instant, instantUpload}, {nova, novaUpload}}) {
        SCOPED_TRACE(file);
        sky->click("cmdOpen");
        ASSERT_EQ(sky->chooseFile(file), Program::Choice::Accepted);
        want += upload + "Z";
        log = s.received(want.size());
        EXPECT_EQ(log, want);
        box = sky->waitBox(
            [&](auto& t) { return IsStatus(t) && PointsShown(t) == StoredPoints(want); });
        EXPECT_TRUE(IsStatus(box)) << box;
        EXPECT_EQ(PointsShown(box), StoredPoints(want)) << box;
    }

    sky->click("cmdGoTo");
    want += "GF";
    EXPECT_EQ(s.received(want.size()), want);
    sky->click("cmdStatus");
    want += "Z";
    EXPECT_EQ(s.received(want.size()), want);
    box = sky->waitBox([](auto& t) { return IsStatus(t) && StartsWith(t, "Motion on "); });
    EXPECT_TRUE(StartsWith(box, "Motion on ")) << box; // "G" of the pair enabled motion
    EXPECT_EQ(sky->close(), 0) << sky->stderrText();

    auto hand = s.start(Which::Handpoint);
    ASSERT_TRUE(hand) << s.why;
    box = hand->waitBox([](auto& t) { return StartsWith(t, HandpointFound); });
    EXPECT_TRUE(StartsWith(box, HandpointFound)) << box;
    want += "?";
    hand->typeInto("txtAzimuth", "180");
    hand->typeInto("txtElevation", "45");
    hand->click("cmdGo");
    want += "GP180 45\r";
    EXPECT_EQ(s.received(want.size()), want);
    EXPECT_EQ(hand->waitBox([](auto& t) { return t == "Moving\n"; }), "Moving\n");
    for (const auto& [button, bytes] :
         {std::pair{"cmdUp", "u"}, {"cmdStop", "sZ"}, {"cmdCalibrate", "cxZ"}}) {
        hand->click(button);
        want += bytes;
        EXPECT_EQ(s.received(want.size()), want) << button;
    }
    box = hand->waitBox([](auto& t) { return StartsWith(t, "Reading the status\nMotion "); });
    EXPECT_TRUE(StartsWith(box, "Reading the status\nMotion ")) << box;
    EXPECT_NE(box.find("Az 0  El 0"), std::string::npos) << box; // zero set where it stood
    EXPECT_EQ(hand->close(), 0) << hand->stderrText();

    EXPECT_EQ(s.sim.received(), want); // nothing else, nothing after the closes
    EXPECT_EQ(s.settings(), "Comm Port 1\r\n");
    EXPECT_EQ(ReadFile(instant), instantBytes);
    EXPECT_EQ(ReadFile(nova), novaBytes);
}

// What an operator types into handpoint's point-to boxes, through the real text boxes and the
// platform's number conversion: refusals come as modal boxes and send nothing.
struct PointTo {
    const char* azimuth;
    const char* elevation;
    const char* title; // nullptr: accepted
    const char* text;  // the refusal, or the command sent
};

constexpr PointTo PointTos[] = {
    {"360", "0", "Pointing Error", "Az must be between 0 and 359"},
    {"-1", "91", "Pointing Error", "Az must be between 0 and 359"},
    {"0", "91", "Pointing Error", "El must be between 0 and 90"},
    {"abc", "0", "General Error", "Error found in GO subroutine"},
    {"10", "", "General Error", "Error found in GO subroutine"},
    {" 045 ", "12.5", nullptr, "GP45 12\r"},
    {"359", "90", nullptr, "GP359 90\r"},
};

TEST(PointToByHand, RefusalsAndCommands) {
    Session s;
    ASSERT_EQ(s.problem(), "");
    s.settings("Comm Port 1\r\n");
    ASSERT_TRUE(s.startSim()) << s.sim.error();
    auto hand = s.start(Which::Handpoint);
    ASSERT_TRUE(hand) << s.why;
    std::string box = hand->waitBox([](auto& t) { return StartsWith(t, HandpointFound); });
    std::string sent = s.received(1);
    for (const PointTo& row : PointTos) {
        SCOPED_TRACE(std::string(row.azimuth) + " / " + row.elevation);
        hand->typeInto("txtAzimuth", row.azimuth);
        hand->typeInto("txtElevation", row.elevation);
        hand->click("cmdGo");
        if (row.title) {
            EXPECT_EQ(hand->answerMessage(row.title), row.text);
            EXPECT_EQ(hand->readBox(), box); // unchanged
        } else {
            sent += row.text;
            EXPECT_EQ(s.received(sent.size()), sent);
            box = hand->waitBox([](auto& t) { return t == "Moving\n"; });
            EXPECT_EQ(box, "Moving\n");
        }
    }
    EXPECT_EQ(hand->close(), 0) << hand->stderrText();
    EXPECT_EQ(s.sim.received(), sent);
}

// Every button of both windows, found by its place on the screen (the layout table's twips,
// 15 to a pixel, from the window's origin): the bytes the controller gets, twice for two clicks.
struct ButtonBytes {
    Which program;
    const char* button;
    std::string_view bytes; // '#' any digit; empty: the upload of the InstantTrack sample
};

constexpr ButtonBytes Buttons[] = {
    {Which::Skypass, "cmdOpen", ""},
    {Which::Skypass, "cmdClear", "XZ"},
    {Which::Skypass, "cmdStatus", "Z"},
    {Which::Skypass, "cmdGoTo", "GF"},
    {Which::Skypass, "cmdEnable", "GZ"},
    {Which::Skypass, "cmdDisable", "SZ"},
    {Which::Skypass, "cmdSynchronize", TimeSetThenStatus},
    {Which::Skypass, "cmdMode0", "m0Z"},
    {Which::Skypass, "cmdMode1", "m1Z"},
    {Which::Skypass, "cmdUnwind", "w"},
    {Which::Handpoint, "cmdUnwind", "w"},
    {Which::Handpoint, "cmdMode1", "m1Z"},
    {Which::Handpoint, "cmdMode0", "m0Z"},
    {Which::Handpoint, "cmdDisable", "SZ"},
    {Which::Handpoint, "cmdEnable", "GZ"},
    {Which::Handpoint, "cmdStatus", "Z"},
    {Which::Handpoint, "cmdGo", "GP0 0\r"},
    {Which::Handpoint, "cmdUp", "u"},
    {Which::Handpoint, "cmdStop", "sZ"},
    {Which::Handpoint, "cmdDown", "d"},
    {Which::Handpoint, "cmdDecrease", "l"},
    {Which::Handpoint, "cmdIncrease", "r"},
    {Which::Handpoint, "cmdCalibrate", "cxZ"},
    {Which::Handpoint, "cmdRestart", "*Z"},
};

class ButtonsByPlace : public testing::TestWithParam<Which> {};

TEST_P(ButtonsByPlace, EachClickSendsItsBytes) {
    Session s;
    ASSERT_EQ(s.problem(), "");
    s.settings("Comm Port 1\r\n");
    const std::string sample = s.sample("pass-instanttrack.out");
    const std::string upload = ExpectedUpload(sample) + "Z";
    ASSERT_TRUE(s.startSim()) << s.sim.error();
    auto program = s.start(GetParam());
    ASSERT_TRUE(program) << s.why;
    size_t seen = s.received(1).size();
    ASSERT_EQ(seen, 1u); // the identification request
    for (const ButtonBytes& row : Buttons) {
        if (row.program != GetParam())
            continue;
        SCOPED_TRACE(row.button);
        const std::string one = row.bytes.empty() ? upload : std::string(row.bytes);
        for (int click = 1; click <= 2; ++click) {
            program->click(row.button);
            if (row.bytes.empty()) {
                ASSERT_EQ(program->chooseFile(sample), Program::Choice::Accepted);
            }
            const std::string log = s.received(seen + one.size());
            EXPECT_TRUE(Matches(one, log.substr(seen))) << "click " << click << ": " << log;
            seen = log.size();
        }
    }
    EXPECT_EQ(program->close(), 0) << program->stderrText();
    EXPECT_EQ(s.sim.received().size(), seen);
}

INSTANTIATE_TEST_SUITE_P(BothWindows, ButtonsByPlace,
                         testing::Values(Which::Skypass, Which::Handpoint),
                         [](const auto& info) { return NameOf(info.param); });

} // namespace
