// Settings-file and pass-file faults with the built skypass: what the operator sees, and that
// nothing is lost (the settings file and the chosen pass file keep their bytes, the controller
// holds exactly what was sent). The list of cases and views is in FAULTS.md.
#include "xsession.h"
#include <gtest/gtest.h>
#include <set>

using namespace ravik::e2e;

namespace {

const std::string TimeZone = "Time Zone offset = 0 hours\n";

std::string Found(int port) {
    return "The controller was found on port " + std::to_string(port) + "\n";
}
std::string NotFound(int port) {
    return "The controller is not on port " + std::to_string(port) + "!!\n";
}

// The programs' folder as an operator would list it, without the simulator's link and log.
std::set<std::string> Entries(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("COM1", 0) != 0)
            names.insert(name);
    }
    return names;
}

struct SettingsCase {
    const char* name;
    std::optional<std::string> content; // nullopt: no settings file
    mode_t fileMode;
    mode_t folderMode;
    int uid;
    std::string line;                 // the outcome line after the time-zone line
    std::optional<std::string> after; // the file afterwards; nullopt: still no file
};

const std::string Default = "Comm Port 1\r\n";
const std::string Binary("\x00\x01\xff\xfe\x80\x7f\r\n\x05\x1a", 10);
// Three tokens between binary bytes: ab, cd and 9.
const std::string BinaryThreeTokens("\x01\xfe"
                                    "ab\x02\x80"
                                    "cd\xff"
                                    "9\x00\r\n\xaa",
                                    15);

const SettingsCase SettingsCases[] = {
    {"missing", std::nullopt, 0644, 0755, 0, Found(1), Default},
    {"empty", "", 0644, 0755, 0, Found(1), Default},
    {"binary", Binary, 0644, 0755, 0, Found(1), Binary},
    {"binary_three_tokens", BinaryThreeTokens, 0644, 0755, 0, NotFound(9), BinaryThreeTokens},
    // Read-only, as an operator who does not own it: still read (port 9 comes from it).
    {"read_only", "Comm Port 9\r\n", 0444, 0755, Nobody, NotFound(9), "Comm Port 9\r\n"},
    // Read-only and empty: the default cannot be written, so no port number at all.
    {"read_only_empty", "", 0444, 0755, Nobody, NotFound(0), ""},
    {"read_only_folder", std::nullopt, 0644, 0555, Nobody, NotFound(0), std::nullopt},
};

void PrintTo(const SettingsCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsFile : public testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsFile, OutcomeLineAndFileAfterwards) {
    const SettingsCase& c = GetParam();
    Session s;
    ASSERT_EQ(s.problem(), "");
    if (c.content)
        s.settings(*c.content, c.fileMode);
    if (c.uid == 0) { // an unprivileged operator cannot open the simulator's terminal anyway
        ASSERT_TRUE(s.startSim()) << s.sim.error();
    }
    ::chmod(s.folder.work().c_str(), c.folderMode);
    const auto before = Entries(s.folder.work());

    auto program = s.start(Which::Skypass, {c.uid, {}});
    ASSERT_TRUE(program) << s.why;
    const std::string shown = TimeZone + c.line;
    EXPECT_EQ(program->waitBox([&](auto& t) { return t == shown; }), shown);
    EXPECT_EQ(program->close(), 0) << program->stderrText();

    const std::string path = s.folder.inWork("Ravik.ini");
    if (c.after) {
        EXPECT_EQ(ReadFile(path), *c.after);
    } else {
        EXPECT_FALSE(Exists(path));
    }
    auto expected = before;
    if (c.after)
        expected.insert("Ravik.ini");
    EXPECT_EQ(Entries(s.folder.work()), expected); // nothing else created
}

INSTANTIATE_TEST_SUITE_P(Faults, SettingsFile, testing::ValuesIn(SettingsCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A pass file of 50 MB: 49 points the detection sees, then lines of remarks the parser reads to
// the end. It loads, is sent whole, and the window answers afterwards.
TEST(PassFile, HugeFileLoadsAndTheWindowStaysResponsive) {
    Session s;
    ASSERT_EQ(s.problem(), "");
    s.settings(Default);
    std::string content = InstantTrackPass(49);
    const std::string remark = "Remark: this line is no data line, it only makes the file big\r\n";
    content.reserve(50u << 20);
    while (content.size() < (50u << 20))
        content += remark;
    const std::string file = s.passFile("huge.out", content);
    const std::string upload = ExpectedUpload(file);
    ASSERT_EQ(StoredPoints(upload), 49);
    ASSERT_TRUE(s.startSim()) << s.sim.error();
    auto sky = s.start(Which::Skypass);
    ASSERT_TRUE(sky) << s.why;

    sky->click("cmdOpen");
    ASSERT_EQ(sky->chooseFile(file), Program::Choice::Accepted);
    const std::string want = "?" + upload + "Z";
    EXPECT_EQ(s.received(want.size(), 60000), want);
    const auto status = [](const std::string& t) {
        return t.find("  Mode ") != std::string::npos && PointsShown(t) == 49;
    };
    EXPECT_TRUE(status(sky->waitBox(status)));
    sky->click("cmdStatus");
    EXPECT_EQ(s.received(want.size() + 1), want + "Z");
    EXPECT_EQ(sky->close(), 0) << sky->stderrText();
    EXPECT_EQ(ReadFile(file), content);
    EXPECT_EQ(s.settings(), Default);
}

// Bytes above 127 in lines of 60: not one token character, so no line counts for either format.
std::string BinaryPass() {
    std::string bytes;
    for (int i = 0; i < 4096; ++i)
        bytes += i % 62 == 60 ? '\r' : i % 62 == 61 ? '\n' : char(0x80 + i * 37 % 128);
    return bytes;
}

struct PassCase {
    const char* name;
    std::string content;
    mode_t mode;
    int uid;
    bool typeMissingName; // type a name that does not exist instead of the file's
    std::string message;  // the message box; "{}" stands for the file's path
};

const PassCase PassCases[] = {
    {"binary", BinaryPass(), 0644, 0, false, "File is neither InstantTrack nor Nova file"},
    // Unreadable for the operator (another user's file).
    {"unreadable", InstantTrackPass(5), 0600, Nobody, false, "Can't access {}"},
    // Gone before it could be chosen: the dialog itself refuses the name; cancelling it leaves
    // no name to read.
    {"missing", InstantTrackPass(5), 0644, 0, true, "Can't access "},
};

void PrintTo(const PassCase& c, std::ostream* os) {
    *os << c.name;
}

class PassFileRefused : public testing::TestWithParam<PassCase> {};

TEST_P(PassFileRefused, MessageAndNothingSent) {
    const PassCase& c = GetParam();
    Session s;
    ASSERT_EQ(s.problem(), "");
    s.settings(Default);
    const std::string file = s.passFile(std::string(c.name) + ".out", c.content, c.mode);
    ASSERT_TRUE(s.startSim()) << s.sim.error();
    auto sky = s.start(Which::Skypass, {c.uid, {}});
    ASSERT_TRUE(sky) << s.why;
    // As another user the simulator's terminal is out of reach; the refusal is the same.
    const std::string start = TimeZone + (c.uid == 0 ? Found(1) : NotFound(1));
    EXPECT_EQ(sky->waitBox([&](auto& t) { return t == start; }), start);

    sky->click("cmdOpen");
    if (c.typeMissingName) {
        EXPECT_EQ(sky->chooseFile(s.folder.inFiles("gone.out")), Program::Choice::Refused);
    } else {
        EXPECT_EQ(sky->chooseFile(file), Program::Choice::Accepted);
    }
    std::string message = c.message;
    if (const auto at = message.find("{}"); at != std::string::npos)
        message.replace(at, 2, file);
    EXPECT_EQ(sky->answerMessage("Error"), message);
    EXPECT_EQ(sky->readBox(), ""); // emptied by the press
    EXPECT_EQ(sky->close(), 0) << sky->stderrText();
    EXPECT_EQ(s.sim.received(), c.uid == 0 ? "?" : "");
    EXPECT_EQ(ReadFile(file), c.content);
    EXPECT_EQ(s.settings(), Default);
}

INSTANTIATE_TEST_SUITE_P(Faults, PassFileRefused, testing::ValuesIn(PassCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
