// One operator's session with the built programs against ravik-sim, skypass and then handpoint in
// the same folder: every button of both windows clicked twice at its place on the screen (the
// layout table's twips, 15 to a pixel, from the window's origin), the bytes the controller gets
// and what the box then shows.
#include "xsession.h"

using namespace ravik::e2e;

namespace {

struct Step {
    Which program;
    const char* button;
    std::string bytes; // empty: the upload of the first, then the second sample
    std::string box = "*";
};

const Which Sky = Which::Skypass, Hand = Which::Handpoint;
const char* const Samples[] = {"pass-instanttrack.out", "pass-nova.out"};

const Step Steps[] = {
    {Sky, "cmdSynchronize", TimeSet, "Motion *Clock ####/##/## ##:##:##\n*"}, // the clock now set
    {Sky, "cmdOpen", ""},
    {Sky, "cmdDisable", "SZ", "Motion off  Mode *"},
    {Sky, "cmdGoTo", "GF"},
    {Sky, "cmdStatus", "Z", "Motion on  Mode *"}, // "G" of the pair enabled motion
    {Sky, "cmdClear", "XZ", Status(0)},
    {Sky, "cmdEnable", "GZ"},
    {Sky, "cmdMode0", "m0Z"},
    {Sky, "cmdMode1", "m1Z"},
    {Sky, "cmdUnwind", "w"},
    {Hand, "cmdGo", "GP180 45\r", "Moving\n"}, // after 180 and 45 were typed
    {Hand, "cmdUp", "u"},
    {Hand, "cmdStop", "sZ"},
    {Hand, "cmdCalibrate", "cxZ",
     "Reading the status\nMotion *\nAz 0  El 0 *"}, // zero where it stood
    {Hand, "cmdUnwind", "w", "Unwinding\n"},
    {Hand, "cmdMode1", "m1Z"},
    {Hand, "cmdMode0", "m0Z"},
    {Hand, "cmdDisable", "SZ"},
    {Hand, "cmdEnable", "GZ"},
    {Hand, "cmdStatus", "Z"},
    {Hand, "cmdDown", "d"},
    {Hand, "cmdDecrease", "l"},
    {Hand, "cmdIncrease", "r"},
    {Hand, "cmdRestart", "*Z"},
};

TEST(OperatorSession, EveryButtonOfBothWindowsByPlace) {
    Session s;
    s.startSim();
    std::string want;
    long points = 0;
    for (Which which : {Sky, Hand}) {
        SCOPED_TRACE(NameOf(which));
        auto program = s.start(which);
        EXPECT_TRUE(program->shows(which == Sky ? TZ + Found(1) : Found(1) + "*"));
        if (which == Hand) {
            program->typeInto("txtAzimuth", "180");
            program->typeInto("txtElevation", "45");
        }
        ASSERT_TRUE(s.sent(want += "?")); // the identification request
        for (const Step& step : Steps) {
            for (int click = 0; click < 2 && step.program == which; ++click) {
                SCOPED_TRACE(std::string(step.button) + " click " + std::to_string(click + 1));
                program->click(step.button);
                std::string box = step.box;
                if (step.bytes.empty()) {
                    const std::string file = s.passFile(Samples[click]);
                    ASSERT_EQ(program->chooseFile(file), Program::Choice::Accepted);
                    const std::string upload = ExpectedUpload(file);
                    want += upload + "Z";
                    box = Status(points += long(Lines(upload)));
                }
                ASSERT_TRUE(s.sent(want += step.bytes));
                EXPECT_TRUE(program->shows(box));
            }
        }
        EXPECT_EQ(program->close(), 0) << program->err();
    }
    EXPECT_TRUE(s.sent(want)); // nothing else, nothing after the closes
    EXPECT_EQ(s.settings(), Default);
    for (const char* name : Samples)
        EXPECT_EQ(ReadFile(s.files() + "/" + name),
                  ReadFile(std::string(RAVIK_SOURCE_DIR "/uploader/samples/") + name));
}

} // namespace
