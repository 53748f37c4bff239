// Faults during a pass upload with the built skypass against ravik-sim: the controller pulled
// mid-upload, every button pressed between lines, the window closed in each kind of wait. The
// list of cases and views is in FAULTS.md.
#include "xsession.h"
#include <gtest/gtest.h>

using namespace ravik::e2e;

namespace {

const std::string Default = "Comm Port 1\r\n";

size_t Lines(std::string_view bytes) {
    return size_t(std::count(bytes.begin(), bytes.end(), '\r'));
}

// A log split into the upload lines (each from a digit to its carriage return) and everything
// else in order; a time-set command ("T...\r") and a mode command ("m0", "m1") count as
// everything else.
struct Split {
    std::string upload;
    std::string other;
    size_t firstOther = std::string::npos; // where the first other byte stood in the log
    size_t lastLine = 0;                   // where the last upload line began
};

Split SplitLog(std::string_view log) {
    Split split;
    for (size_t i = 0; i < log.size(); ++i) {
        const bool upload = std::isdigit(static_cast<unsigned char>(log[i]));
        size_t end = upload || log[i] == 'T' ? log.find('\r', i) : log[i] == 'm' ? i + 1 : i;
        if (end == std::string_view::npos)
            end = log.size() - 1;
        if (upload) {
            split.lastLine = i;
            split.upload.append(log.substr(i, end - i + 1));
        } else {
            split.firstOther = std::min(split.firstOther, i);
            split.other.append(log.substr(i, end - i + 1));
        }
        i = end;
    }
    return split;
}

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

// The upload lines received so far, once at least `lines` of them are there (bounded).
std::string WaitForLines(const Session& s, size_t lines, int ms = 30000) {
    const auto deadline = After(ms);
    std::string log = s.sim.received();
    while (Lines(SplitLog(log).upload) < lines && msLeft(deadline) > 0) {
        SleepMs(10);
        log = s.sim.received();
    }
    return log;
}

// The controller is pulled after some lines of a paced upload: the press ends with "Can't
// access" and the file's name, the box says the controller is gone, later buttons are silent.
TEST(UploadFaults, ControllerPulledMidUpload) {
    Session s;
    ASSERT_EQ(s.problem(), "");
    s.settings(Default);
    const std::string content = InstantTrackPass(120);
    const std::string file = s.passFile("long.out", content);
    const std::string upload = ExpectedUpload(file);
    ASSERT_TRUE(s.startSim({"--baud"})) << s.sim.error();
    auto sky = s.start(Which::Skypass);
    ASSERT_TRUE(sky) << s.why;

    sky->click("cmdOpen");
    ASSERT_EQ(sky->chooseFile(file), Program::Choice::Accepted);
    WaitForLines(s, 10);
    s.sim.kill();
    const std::string log = s.sim.received();
    EXPECT_EQ(sky->answerMessage("Error"), "Can't access " + file);
    const std::string notFound = "The controller is not on port 1!!\n";
    const std::string box = sky->waitBox([&](auto& t) { return t.ends_with(notFound); });
    EXPECT_TRUE(box.ends_with(notFound)) << box;
    ASSERT_GT(log.size(), 1u);
    EXPECT_EQ(upload.compare(0, log.size() - 1, log, 1), 0) << "not a prefix: " << log;

    for (const ravik::ControlRow& row : skypass::UploaderLayout())
        if (row.kind == ravik::ControlKind::Button && std::string_view(row.name) != "cmdOpen")
            sky->click(row.name);
    EXPECT_EQ(sky->readBox(), box); // answering, and nothing new to say
    EXPECT_EQ(sky->close(), 0) << sky->stderrText();
    EXPECT_EQ(s.sim.received(), log);
    EXPECT_EQ(ReadFile(file), content);
    EXPECT_EQ(s.settings(), Default);
}

// Every button pressed while a paced upload runs: each command reaches the controller whole
// between two lines, a second send is refused (no dialog), and the upload still completes with
// every line; the controller then holds what was sent since the "Clear the buffer".
TEST(UploadFaults, EveryButtonBetweenLines) {
    Session s;
    ASSERT_EQ(s.problem(), "");
    s.settings(Default);
    const std::string content = InstantTrackPass(120);
    const std::string file = s.passFile("long.out", content);
    const std::string upload = ExpectedUpload(file);
    ASSERT_TRUE(s.startSim({"--baud"})) << s.sim.error();
    auto sky = s.start(Which::Skypass);
    ASSERT_TRUE(sky) << s.why;

    sky->click("cmdOpen");
    ASSERT_EQ(sky->chooseFile(file), Program::Choice::Accepted);
    WaitForLines(s, 3);
    const std::pair<const char*, std::string_view> presses[] = {
        {"cmdSynchronize", "T####/##/## ##:##:##\rZ"},
        {"cmdStatus", "Z"},
        {"cmdGoTo", "GF"},
        {"cmdEnable", "GZ"},
        {"cmdDisable", "SZ"},
        {"cmdClear", "XZ"},
        {"cmdMode0", "m0Z"},
        {"cmdMode1", "m1Z"},
        {"cmdUnwind", "w"},
        {"cmdOpen", ""},
    };
    std::string pattern;
    for (const auto& [button, bytes] : presses) {
        sky->click(button);
        pattern += bytes;
    }
    sky->readBox(); // every click handled
    EXPECT_TRUE(sky->windows("^Open$").empty()) << "a second send was not refused";

    const std::string want = upload + pattern + "Z";
    std::string log = s.received(1 + want.size(), 60000);
    const Split split = SplitLog(std::string_view(log).substr(1));
    EXPECT_EQ(split.upload, upload);
    EXPECT_TRUE(Matches(pattern + "Z", split.other)) << split.other;
    EXPECT_LT(split.firstOther, split.lastLine) << "the commands went out after the upload";
    const auto status = [&](const std::string& t) {
        return t.find("  Mode ") != std::string::npos && PointsShown(t) == StoredPoints(log);
    };
    EXPECT_TRUE(status(sky->waitBox(status))) << "Points " << StoredPoints(log);
    EXPECT_EQ(sky->close(), 0) << sky->stderrText();
    EXPECT_EQ(s.sim.received(), log);
    EXPECT_EQ(ReadFile(file), content);
    EXPECT_EQ(s.settings(), Default);
}

enum class Wait { Line, Final, TwoTicks };

struct CloseCase {
    const char* name;
    Wait wait;
    std::vector<std::string> simArgs;
    int points; // 0: the InstantTrack sample (16 lines uploaded)
};

const CloseCase CloseCases[] = {
    // Paced: closed while a line waits for its reply.
    {"line_wait", Wait::Line, {"--baud"}, 120},
    // The last line goes unanswered: closed in the wait for that reply.
    {"final_wait", Wait::Final, {"--silent-after", "15"}, 0},
    // Every line answered: closed in the two ticks before the status request.
    {"two_tick_wait", Wait::TwoTicks, {}, 0},
};

void PrintTo(const CloseCase& c, std::ostream* os) {
    *os << c.name;
}

class ClosedDuringUpload : public testing::TestWithParam<CloseCase> {};

// The window closed during a wait of the upload: the program ends at once with status 0 and the
// controller gets nothing more (at most the line already on its way).
TEST_P(ClosedDuringUpload, EndsAtOnceAndSendsNothingMore) {
    const CloseCase& c = GetParam();
    Session s;
    ASSERT_EQ(s.problem(), "");
    s.settings(Default);
    const std::string file = c.points ? s.passFile("long.out", InstantTrackPass(c.points))
                                      : s.sample("pass-instanttrack.out");
    const std::string content = ReadFile(file);
    const std::string upload = ExpectedUpload(file);
    ASSERT_TRUE(s.startSim(c.simArgs)) << s.sim.error();
    auto sky = s.start(Which::Skypass);
    ASSERT_TRUE(sky) << s.why;

    sky->click("cmdOpen");
    ASSERT_EQ(sky->chooseFile(file), Program::Choice::Accepted);
    const size_t total = Lines(upload);
    std::string log = WaitForLines(s, c.wait == Wait::Line ? 5 : total);
    if (c.wait == Wait::Final) {
        SleepMs(2500); // past the last line's own wait (2 s), into the final one
        const double before = sky->process().cpuSeconds();
        SleepMs(2000);
        EXPECT_LT(sky->process().cpuSeconds() - before, 0.5) << "the wait spins";
    }
    const size_t atClose = Lines(SplitLog(log).upload);
    EXPECT_EQ(sky->close(5000), 0) << "not ended within 5 s";
    SleepMs(300); // what was already on its way arrives
    log = s.sim.received();
    const Split split = SplitLog(std::string_view(log).substr(1));
    EXPECT_EQ(split.other, "") << "sent after the close";
    EXPECT_EQ(upload.compare(0, split.upload.size(), split.upload), 0);
    EXPECT_LE(Lines(split.upload), atClose + 1);
    if (c.wait != Wait::Line) {
        EXPECT_EQ(split.upload, upload);
    }
    EXPECT_EQ(ReadFile(file), content);
    EXPECT_EQ(s.settings(), Default);
}

INSTANTIATE_TEST_SUITE_P(Faults, ClosedDuringUpload, testing::ValuesIn(CloseCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
