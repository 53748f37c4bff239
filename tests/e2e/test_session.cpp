// One operator's whole session with the built programs against ravik-sim, and every button of
// both windows clicked by its place on the screen.
#include "xsession.h"

using namespace ravik::e2e;

namespace {

const char* const Samples[] = {"pass-instanttrack.out", "pass-nova.out"};

TEST(OperatorSession, SkypassThenHandpointInTheSameFolder) {
    Session s;
    s.startSim();
    auto sky = s.start(Which::Skypass);
    EXPECT_TRUE(sky->shows(TZ + Found(1)));
    sky->click("cmdSynchronize");
    std::string want = "?" + TimeSet;
    EXPECT_TRUE(s.sent(want));
    EXPECT_TRUE(sky->shows("Motion *Clock ####/##/## ##:##:##\n*")); // the clock now set

    long points = 0;
    for (const char* name : Samples) {
        SCOPED_TRACE(name);
        const std::string file = s.sample(name), upload = ExpectedUpload(file);
        sky->click("cmdOpen");
        ASSERT_EQ(sky->chooseFile(file), Program::Choice::Accepted);
        want += upload + "Z";
        EXPECT_TRUE(s.sent(want));
        EXPECT_TRUE(sky->shows(Status(points += long(Lines(upload)))));
    }
    sky->click("cmdGoTo");
    EXPECT_TRUE(s.sent(want += "GF"));
    sky->click("cmdStatus");
    EXPECT_TRUE(s.sent(want += "Z"));
    EXPECT_TRUE(sky->shows("Motion on  Mode *")); // "G" of the pair enabled motion
    EXPECT_EQ(sky->close(), 0) << sky->err();

    auto hand = s.start(Which::Handpoint);
    EXPECT_TRUE(hand->shows(Found(1) + "*"));
    want += "?";
    hand->typeInto("txtAzimuth", "180");
    hand->typeInto("txtElevation", "45");
    hand->click("cmdGo");
    EXPECT_TRUE(s.sent(want += "GP180 45\r"));
    EXPECT_TRUE(hand->shows("Moving\n"));
    for (const auto& [button, bytes] :
         {std::pair{"cmdUp", "u"}, {"cmdStop", "sZ"}, {"cmdCalibrate", "cxZ"}}) {
        hand->click(button);
        EXPECT_TRUE(s.sent(want += bytes)) << button;
    }
    EXPECT_TRUE(hand->shows("Reading the status\nMotion *\nAz 0  El 0 *")); // zero where it stood
    EXPECT_EQ(hand->close(), 0) << hand->err();

    EXPECT_TRUE(s.sent(want)); // nothing else, nothing after the closes
    EXPECT_EQ(s.settings(), Default);
    for (const char* name : Samples)
        EXPECT_EQ(ReadFile(s.files() + "/" + name),
                  ReadFile(std::string(RAVIK_SOURCE_DIR "/uploader/samples/") + name));
}

// Every button of both windows, found by its place on the screen (the layout table's twips,
// 15 to a pixel, from the window's origin): the bytes the controller gets, twice for two clicks.
struct ButtonBytes {
    Which program;
    const char* button;
    std::string bytes; // empty: the upload of the InstantTrack sample
};

const ButtonBytes Buttons[] = {
    {Which::Skypass, "cmdOpen", ""},
    {Which::Skypass, "cmdClear", "XZ"},
    {Which::Skypass, "cmdStatus", "Z"},
    {Which::Skypass, "cmdGoTo", "GF"},
    {Which::Skypass, "cmdEnable", "GZ"},
    {Which::Skypass, "cmdDisable", "SZ"},
    {Which::Skypass, "cmdSynchronize", TimeSet},
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
    const std::string sample = s.sample("pass-instanttrack.out");
    s.startSim();
    auto program = s.start(GetParam());
    std::string want = "?"; // the identification request
    ASSERT_TRUE(s.sent(want));
    for (const ButtonBytes& row : Buttons) {
        for (int click = 1; click <= 2 && row.program == GetParam(); ++click) {
            SCOPED_TRACE(std::string(row.button) + " click " + std::to_string(click));
            program->click(row.button);
            if (row.bytes.empty()) {
                ASSERT_EQ(program->chooseFile(sample), Program::Choice::Accepted);
            }
            want += row.bytes.empty() ? ExpectedUpload(sample) + "Z" : row.bytes;
            ASSERT_TRUE(s.sent(want));
        }
    }
    EXPECT_EQ(program->close(), 0) << program->err();
    EXPECT_TRUE(s.sent(want));
}

INSTANTIATE_TEST_SUITE_P(BothWindows, ButtonsByPlace,
                         testing::Values(Which::Skypass, Which::Handpoint),
                         [](const auto& info) { return NameOf(info.param); });

} // namespace
