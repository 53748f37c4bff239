// The fault matrix with the built programs on a virtual display against ravik-sim: what the
// operator sees, that nothing is lost (the settings file and the chosen pass file keep their
// bytes, the controller gets exactly what is listed), that commands go nowhere once the
// controller is gone, and that the programs stay responsive and close cleanly. FAULTS.md lists
// the cases and views.
#include "xsession.h"
#include <set>

using namespace ravik::e2e;

namespace {

// The programs' folder as an operator would list it, without the simulator's link and log.
std::set<std::string> Entries(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (!e.path().filename().string().starts_with("COM1"))
            names.insert(e.path().filename().string());
    return names;
}

// Bytes above 127 in lines of 60: not one token character, so no line counts for either format.
std::string BinaryPass() {
    std::string bytes;
    for (int i = 0; i < 4096; ++i)
        bytes += i % 62 == 60 ? '\r' : i % 62 == 61 ? '\n' : char(0x80 + i * 37 % 128);
    return bytes;
}

// 50 MB: 49 points the detection sees, then remark lines the parser reads to the end.
std::string HugePass() {
    std::string content = InstantTrackPass(49);
    while (content.size() < (50u << 20))
        content += "Remark: this line is no data line, it only makes the file big\r\n";
    return content;
}

// Held: handpoint, started first in the same folder, holds the simulator's port. None: no COM1
// (as nobody: port 1 is /dev/ttyS0).
enum class Port { Sim, Held, None, Dangling };
// Unplug: the simulator is killed after an answered status request, then "Disable" is pressed;
// plugged in again, every command button stays silent and the program idles without spinning.
enum class Act { None, Commands, Status, Disable, Open, Unplug };

const std::string Binary("\x00\x01\xff\xfe\x80\x7f\r\n\x05\x1a", 10);
const std::string BinaryThreeTokens("\001\376ab\002\200cd\3779\000\r\n\252\000", 15); // ab cd 9

struct Case {
    const char* name;
    Which program = Which::Skypass;
    Port port = Port::Sim;
    std::vector<std::string> sim = {}; // the simulator's fault options
    int uid = 0;
    std::optional<std::string> ini = Default; // nullopt: no settings file
    mode_t iniMode = 0644, dirMode = 0755;
    std::string shown = TZ + Found(1); // the box after start-up (a pattern)
    Act act = Act::None;
    // The pass file in files/; nullptr: none, its name is typed into the dialog all the same.
    std::string (*pass)() = [] { return InstantTrackPass(5); };
    mode_t passMode = 0644;
    std::optional<std::string> message = {}; // the "Error" box of Open; "{}": the file's path
    std::string after = {};                  // the box after the action (a pattern)
    std::string bytes = "?"; // what the controller received; "@": the pass file's upload
    std::optional<std::string> iniAfter = Default; // nullopt: still no settings file
};
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

const std::string NotOn1 = TZ + NotOn(1);
const Which Hand = Which::Handpoint;
// clang-format off
const Case Cases[] = {
    // The controller: every command button afterwards is silent.
    {.name = "silent_skypass", .sim = {"--silent"}, .shown = NotOn1, .act = Act::Commands,
     .after = NotOn1},
    {.name = "silent_handpoint", .program = Hand, .sim = {"--silent"}, .shown = NotOn(1),
     .act = Act::Commands, .after = "Unwinding\n"},
    // A wrong answer closes the port without a word.
    {.name = "garbage_skypass", .sim = {"--garbage"}, .shown = TZ, .act = Act::Commands,
     .after = TZ},
    {.name = "garbage_handpoint", .program = Hand, .sim = {"--garbage"}, .shown = "Text1\n",
     .act = Act::Commands, .after = "Unwinding\n"},
    // Unplugged at start: port 1 falls to /dev/ttyS0, which an unprivileged operator cannot
    // open (and a test must not write to a real serial port); or COM1 leads nowhere.
    {.name = "no_link_skypass", .port = Port::None, .uid = Nobody, .shown = NotOn1,
     .act = Act::Commands, .after = NotOn1, .bytes = ""},
    {.name = "no_link_handpoint", .program = Hand, .port = Port::None, .uid = Nobody,
     .shown = NotOn(1), .act = Act::Commands, .after = "Unwinding\n", .bytes = ""},
    {.name = "dangling_link_skypass", .port = Port::Dangling, .shown = NotOn1,
     .act = Act::Commands, .after = NotOn1, .bytes = ""},
    {.name = "dangling_link_handpoint", .program = Hand, .port = Port::Dangling, .shown = NotOn(1),
     .act = Act::Commands, .after = "Unwinding\n", .bytes = ""},
    // skypass's probe never reaches the controller that handpoint holds.
    {.name = "port_held_by_handpoint", .port = Port::Held, .shown = NotOn1, .act = Act::Status,
     .after = NotOn1},
    // A status reply never ended: skypass waits for the end, handpoint shows what comes.
    {.name = "no_eof_skypass", .sim = {"--no-eof"}, .act = Act::Status,
     .after = "Reading the status", .bytes = "?Z"},
    {.name = "no_eof_handpoint", .program = Hand, .sim = {"--no-eof"}, .shown = Found(1) + "*",
     .act = Act::Status, .after = "Reading the status\nMotion *\nPoints 0\n*", .bytes = "?Z"},
    // A command answered by a reply of its own: skypass's "garbled" gives way to the status,
    // handpoint shows both.
    {.name = "own_reply_skypass", .sim = {"--own-reply"}, .act = Act::Disable,
     .after = Status(0), .bytes = "?SZ"},
    {.name = "own_reply_handpoint", .program = Hand, .sim = {"--own-reply"},
     .shown = Found(1) + "*", .act = Act::Disable, .after = "Reading the status\nOK\n*Motion off*",
     .bytes = "?SZ"},
    // The product word comes after the five characters the probe judges: closed without a word.
    {.name = "late_product_skypass", .sim = {"--late-product", "1000"}, .shown = TZ,
     .act = Act::Commands, .after = TZ},
    {.name = "late_product_handpoint", .program = Hand, .sim = {"--late-product", "1000"},
     .shown = "Text1\n", .act = Act::Commands, .after = "Unwinding\n"},
    // The settings file: read-only ones as an operator who does not own them.
    {.name = "ini_missing", .ini = std::nullopt},
    {.name = "ini_empty", .ini = ""},
    {.name = "ini_binary", .ini = Binary, .iniAfter = Binary},
    {.name = "ini_binary_three_tokens", .ini = BinaryThreeTokens, .shown = TZ + NotOn(9),
     .bytes = "", .iniAfter = BinaryThreeTokens},
    {.name = "ini_read_only", .port = Port::None, .uid = Nobody, .ini = "Comm Port 9\r\n",
     .iniMode = 0444, .shown = TZ + NotOn(9), .bytes = "", .iniAfter = "Comm Port 9\r\n"},
    // The default cannot be written: no port number at all.
    {.name = "ini_read_only_empty", .port = Port::None, .uid = Nobody, .ini = "", .iniMode = 0444,
     .shown = TZ + NotOn(0), .bytes = "", .iniAfter = ""},
    {.name = "ini_read_only_folder", .port = Port::None, .uid = Nobody, .ini = std::nullopt,
     .dirMode = 0555, .shown = TZ + NotOn(0), .bytes = "", .iniAfter = std::nullopt},
    // The pass file: a huge one is read whole and sent; a refused one empties the box.
    {.name = "pass_huge", .act = Act::Open, .pass = HugePass, .after = Status(49), .bytes = "?@Z"},
    {.name = "pass_binary", .act = Act::Open, .pass = BinaryPass,
     .message = "File is neither InstantTrack nor Nova file"},
    {.name = "pass_unreadable", .uid = Nobody, .shown = NotOn1, .act = Act::Open, .passMode = 0600,
     .message = "Can't access {}", .bytes = ""},
    // Gone before it was chosen: the dialog refuses the name; cancelled, no name is left.
    {.name = "pass_gone", .act = Act::Open, .pass = nullptr, .message = "Can't access "},
    // Unplugged after a command was answered: skypass appends the line under the status,
    // handpoint replaces the box with it; "S" only if it went out before the loss.
    {.name = "unplugged_skypass", .act = Act::Unplug, .after = "Motion *" + NotOn(1),
     .bytes = "?Z*"},
    {.name = "unplugged_handpoint", .program = Hand, .shown = Found(1) + "*", .act = Act::Unplug,
     .after = NotOn(1), .bytes = "?Z*"},
};
// clang-format on

class Faults : public testing::TestWithParam<Case> {};

TEST_P(Faults, TheOperatorIsToldAndNothingIsLost) {
    const Case& c = GetParam();
    Session s;
    if (c.ini)
        s.settings(*c.ini, c.iniMode);
    else
        std::filesystem::remove(s.work() + "/Ravik.ini");
    if (c.port == Port::Sim || c.port == Port::Held)
        s.startSim(c.sim);
    std::unique_ptr<Program> holder;
    if (c.port == Port::Held) {
        holder = s.start(Which::Handpoint);
        EXPECT_TRUE(holder->shows(Found(1) + "*"));
    }
    if (c.port == Port::Dangling)
        std::filesystem::create_symlink(s.root + "/unplugged", s.work() + "/COM1");
    // Port 9 rows must never reach a real /dev/ttyS8 of the machine running the tests.
    std::filesystem::create_symlink(s.root + "/unplugged", s.work() + "/COM9");
    const std::string content = c.pass ? c.pass() : "", pass = s.files() + "/pass.out";
    if (c.pass)
        s.passFile("pass.out", content, c.passMode);
    ::chmod(s.work().c_str(), c.dirMode);
    const auto before = Entries(s.work());

    auto program = s.start(c.program, c.uid);
    EXPECT_TRUE(program->shows(c.shown));
    if (c.act == Act::Commands)
        program->clickEveryCommand();
    if (c.act == Act::Status)
        program->click("cmdStatus");
    if (c.act == Act::Unplug) {
        program->click("cmdStatus");
        EXPECT_TRUE(program->shows("*Motion *"));
        ASSERT_TRUE(s.sent("?Z"));
        s.sim.kill();
    }
    if (c.act == Act::Disable || c.act == Act::Unplug)
        program->click("cmdDisable");
    if (c.act == Act::Open) {
        program->click("cmdOpen");
        EXPECT_EQ(program->chooseFile(pass),
                  c.pass ? Program::Choice::Accepted : Program::Choice::Refused);
        if (std::string message = c.message.value_or(""); c.message) {
            if (const auto at = message.find("{}"); at != std::string::npos)
                message.replace(at, 2, pass);
            EXPECT_EQ(program->answerMessage("Error"), message);
        }
    }
    if (c.act != Act::None) {
        // A reply that would change the box has long come (a bound, not a timing check).
        SleepMs(1000);
        EXPECT_TRUE(program->shows(c.after, 60000));
        SleepMs(300); // what the clicks wrote reaches the log
    }
    if (c.act == Act::Unplug) { // plugged in again: no controller until the program restarts
        const std::string box = program->readBox(), log = s.sim.received();
        EXPECT_TRUE(log == "?Z" || log == "?ZS") << log;
        s.startSim();
        program->clickEveryCommand();
        const std::string still = c.program == Which::Skypass ? box : "Unwinding\n";
        EXPECT_TRUE(program->shows(still));
        SleepMs(300);
        EXPECT_EQ(s.sim.received(), log);
        const double before = program->process().cpuSeconds();
        SleepMs(2000);
        EXPECT_LT(program->process().cpuSeconds() - before, 0.5) << "busy while idle";
        EXPECT_TRUE(program->shows(still)); // still answering
    }
    std::string bytes = c.bytes;
    if (const auto at = bytes.find('@'); at != std::string::npos)
        bytes.replace(at, 1, ExpectedUpload(pass));
    EXPECT_TRUE(s.sent(bytes));
    EXPECT_EQ(program->close(), 0) << program->err();
    if (holder) { // it kept its controller
        holder->click("cmdStatus");
        EXPECT_TRUE(s.sent("?Z"));
        EXPECT_EQ(holder->close(), 0) << holder->err();
    }

    EXPECT_EQ(ReadFile(pass), content);
    EXPECT_EQ(s.settings(), c.iniAfter.value_or(""));
    auto expected = before;
    if (c.iniAfter)
        expected.insert("Ravik.ini");
    EXPECT_EQ(Entries(s.work()), expected); // nothing else created
}

INSTANTIATE_TEST_SUITE_P(Matrix, Faults, testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

// The upload lines of a log (each from a digit to its carriage return) and, apart, everything
// else in order; a time-set command ("T...\r") and a mode command ("m0", "m1") are everything
// else.
std::pair<std::string, std::string> SplitLog(std::string_view log) {
    std::string upload, other;
    for (size_t i = 0; i < log.size(); ++i) {
        const bool line = std::isdigit(static_cast<unsigned char>(log[i]));
        const size_t end = line || log[i] == 'T' ? std::min(log.find('\r', i), log.size() - 1)
                           : log[i] == 'm'       ? i + 1
                                                 : i;
        (line ? upload : other) += log.substr(i, end - i + 1);
        i = end;
    }
    return {upload, other};
}

// skypass uploading a pass to a simulator started with `sim`; the file was chosen.
struct Upload {
    Session s;
    std::string content, file = s.passFile("long.out", content), upload = ExpectedUpload(file);
    std::unique_ptr<Program> sky;

    Upload(const std::vector<std::string>& sim, std::string pass) : content(std::move(pass)) {
        s.startSim(sim);
        sky = s.start(Which::Skypass);
        sky->click("cmdOpen");
        if (sky->chooseFile(file) != Program::Choice::Accepted)
            throw std::runtime_error("the file dialog took no name");
    }
    // The log once at least `lines` upload lines are in it (bounded).
    std::string waitLines(size_t lines) const {
        const auto enough = [&](auto& log) { return Lines(SplitLog(log).first) >= lines; };
        return WaitFor(
            30000, [&] { return s.sim.received(); }, enough);
    }
};

const std::pair<const char*, std::string> Presses[] = {
    {"cmdSynchronize", TimeSet}, {"cmdStatus", "Z"}, {"cmdGoTo", "GF"},   {"cmdEnable", "GZ"},
    {"cmdDisable", "SZ"},        {"cmdClear", "XZ"}, {"cmdMode0", "m0Z"}, {"cmdMode1", "m1Z"},
    {"cmdUnwind", "w"},          {"cmdOpen", ""},
};

// Every button pressed while a paced upload runs: each command reaches the controller whole
// between two lines, a second send is refused (no dialog), and the upload still completes with
// every line; the controller then holds what was sent since the "Clear the buffer".
TEST(UploadFaults, EveryButtonBetweenLines) {
    Upload u({"--baud"}, InstantTrackPass(120));
    u.waitLines(3);
    std::string pattern;
    for (const auto& [button, bytes] : Presses) {
        u.sky->click(button);
        pattern += bytes;
    }
    u.sky->readBox(); // every click handled
    EXPECT_TRUE(u.sky->windows("^Open$").empty()) << "a second send was not refused";

    const std::string log = u.s.sim.waitReceived(1 + u.upload.size() + pattern.size() + 1, 60000);
    const auto [upload, other] = SplitLog(std::string_view(log).substr(1));
    EXPECT_EQ(upload, u.upload);
    EXPECT_TRUE(Shows(pattern + "Z", other));
    EXPECT_NE(log.substr(1, upload.size()), upload) << "the commands went out after the upload";
    EXPECT_TRUE(u.sky->shows(Status(long(Lines(SplitLog(log.substr(log.rfind('X'))).first)))));
    EXPECT_EQ(u.sky->close(), 0) << u.sky->err();
    EXPECT_EQ(u.s.sim.received(), log);
    EXPECT_EQ(ReadFile(u.file), u.content);
}

// An upload cut short: the controller pulled (the press ends with "Can't access" and the file's
// name, the box says the controller is gone, later buttons are silent), or the window closed
// during one of the upload's waits (the program ends at once). Either way the program ends with
// status 0 and the controller got a prefix of the lines, at most the one already on its way
// after the cut, and no status request.
struct CutCase {
    const char* name;
    std::vector<std::string> sim;
    int points;   // of the pass, every one uploaded
    size_t lines; // cut after this many lines; 0: after all of them
    bool pull = false;
};
void PrintTo(const CutCase& c, std::ostream* os) {
    *os << c.name;
}

const CutCase CutCases[] = {
    {"pulled_mid_upload", {"--baud"}, 120, 10, true},
    {"line_wait", {"--baud"}, 120, 5},               // paced: a line waits for its reply
    {"final_wait", {"--silent-after", "15"}, 16, 0}, // the last line goes unanswered
    {"two_tick_wait", {}, 16, 0},                    // the ticks before the status request
};

class UploadCut : public testing::TestWithParam<CutCase> {};

TEST_P(UploadCut, EndsAtOnceAndSendsNothingMore) {
    const CutCase& c = GetParam();
    Upload u(c.sim, InstantTrackPass(c.points));
    size_t atCut = Lines(SplitLog(u.waitLines(c.lines ? c.lines : Lines(u.upload))).first);
    if (c.pull) {
        u.s.sim.kill();
        atCut = Lines(SplitLog(u.s.sim.received()).first);
        EXPECT_EQ(u.sky->answerMessage("Error"), "Can't access " + u.file);
        EXPECT_TRUE(u.sky->shows("*" + NotOn(1)));
        const std::string box = u.sky->readBox();
        u.sky->clickEveryCommand();
        EXPECT_EQ(u.sky->readBox(), box); // answering, and nothing new to say
    }
    if (c.sim.size() == 2 && !c.pull) { // in the final wait
        SleepMs(2500);                  // past the last line's own wait (2 s)
        const double before = u.sky->process().cpuSeconds();
        SleepMs(2000);
        EXPECT_LT(u.sky->process().cpuSeconds() - before, 0.5) << "the wait spins";
    }
    EXPECT_EQ(u.sky->close(5000), 0) << "not ended within 5 s";
    SleepMs(300); // what was already on its way arrives
    const auto [upload, other] = SplitLog(u.s.sim.received().substr(1));
    EXPECT_EQ(other, "") << "sent after the cut";
    EXPECT_TRUE(u.upload.starts_with(upload));
    EXPECT_GE(Lines(upload), atCut);
    EXPECT_LE(Lines(upload), std::min(atCut + 1, Lines(u.upload)));
    EXPECT_EQ(ReadFile(u.file), u.content);
    EXPECT_EQ(u.s.settings(), Default);
}

INSTANTIATE_TEST_SUITE_P(Faults, UploadCut, testing::ValuesIn(CutCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
