#pragma once
// Plays an operator at the real, built programs: a virtual display (Xvfb, no window manager),
// ravik-sim behind COM1, clicks at the places the programs' own layout tables give, and the
// message box read back the way a person copies it (Ctrl+A, Ctrl+C). There is no event loop here:
// every step is an outside command, and every wait is bounded.
//
// Needs on PATH: Xvfb, xdotool, xclip, setpriv, timeout. The test target defines SKYPASS_PATH and
// HANDPOINT_PATH and links xcb. One Session per process at a time: it points this process's
// DISPLAY (inherited by every command) at its own Xvfb.
#include "conditioning.h"
#include "formbuilder.h"
#include "manualwindow.h"
#include "passfile.h"
#include "simprocess.h"
#include "uploaderwindow.h"
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <span>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <xcb/xcb.h>

namespace ravik::e2e {

using test::SimProcess;

inline constexpr int Nobody = 65534;
inline const std::string Default = "Comm Port 1\r\n", TZ = "Time Zone offset = 0 hours\n";
inline std::string Found(int port) {
    return "The controller was found on port " + std::to_string(port) + "\n";
}
inline std::string NotOn(int port) {
    return "The controller is not on port " + std::to_string(port) + "!!\n";
}
// The time-set command ("T" and the UTC time) and the status request that follows it.
inline const std::string TimeSet = "T####/##/## ##:##:##\rZ";
// skypass's status reply as the box shows it, with its point count.
inline std::string Status(long points) {
    return "Motion *  Mode *Points " + std::to_string(points) + "\n*";
}

inline void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Calls `get` until `ok` holds for its value or `ms` have passed; returns the last value.
template <class Get, class Ok> auto WaitFor(int ms, Get get, Ok ok) {
    const auto deadline = test::SimClock::now() + std::chrono::milliseconds(ms);
    auto value = get();
    for (; !ok(value) && test::msLeft(deadline) > 0; value = get())
        SleepMs(20);
    return value;
}

// A pattern: '#' stands for one digit, '*' for any run of characters.
inline bool Matches(std::string_view p, std::string_view t) {
    for (; !p.empty() && p[0] != '*'; p.remove_prefix(1), t.remove_prefix(1))
        if (t.empty() ||
            (p[0] == '#' ? !std::isdigit(static_cast<unsigned char>(t[0])) : p[0] != t[0]))
            return false;
    for (size_t skip = 0; !p.empty() && skip <= t.size(); ++skip)
        if (Matches(p.substr(1), t.substr(skip)))
            return true;
    return p.empty() && t.empty();
}

inline testing::AssertionResult Shows(std::string_view pattern, const std::string& text) {
    if (Matches(pattern, text))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "got " << testing::PrintToString(text) << "\n not "
                                       << testing::PrintToString(std::string(pattern));
}

// Reads `get` until it matches `pattern` (bounded).
template <class Get>
testing::AssertionResult Eventually(const std::string& pattern, Get get, int ms = 15000) {
    return Shows(pattern, WaitFor(ms, get, [&](auto& t) { return Matches(pattern, t); }));
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, std::string_view bytes, mode_t mode = 0644) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
    ::chmod(path.c_str(), mode);
}

inline size_t Lines(std::string_view bytes) {
    return size_t(std::count(bytes.begin(), bytes.end(), '\r'));
}

// Runs a command to its end, at most 10 s; what it wrote to stdout.
inline std::string Run(std::vector<std::string> words) {
    std::string line = "timeout -s KILL 10";
    for (const std::string& word : words) {
        line += " '";
        for (char c : word)
            line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += '\'';
    }
    std::string out;
    FILE* pipe = ::popen((line + " 2>/dev/null").c_str(), "re");
    char buf[4096];
    for (size_t n; pipe && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        out.append(buf, n);
    if (pipe)
        ::pclose(pipe);
    return out;
}

inline std::string Xdo(std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    return Run(args);
}

// Takes the selection `which` with a sentinel, does `act`, and returns what the selection's new
// owner hands out within `ms`; nullopt when nobody took it. (A copy that has not happened yet is
// so told apart from one that has.)
template <class Act> std::optional<std::string> Copied(const char* which, Act act, int ms) {
    static constexpr const char* Sentinel = "<nothing copied>";
    Run({"sh", "-c", "printf %s \"$1\" | xclip -i -selection \"$2\" >/dev/null 2>&1", "-", Sentinel,
         which});
    act();
    const std::string got = WaitFor(
        ms,
        [&] {
            return Run({"xclip", "-o", "-selection", which});
        },
        [](auto& s) { return !s.empty() && s != Sentinel; });
    return got.empty() || got == Sentinel ? std::nullopt : std::optional(got);
}

// What a window manager's close button does: WM_DELETE_WINDOW to the window. (xdotool's
// windowclose destroys the window under the program, which a person cannot do.)
inline void AskToClose(uint32_t window) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const auto atom = [c](const char* name) {
        auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name),
                                        nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
        return a;
    };
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = window;
    ev.type = atom("WM_PROTOCOLS");
    ev.data.data32[0] = atom("WM_DELETE_WINDOW");
    xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
    // A round trip first: requests still unread when the connection closes can be dropped.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);
}

// One child process, killed when the object goes if it still runs: `argv` run in `cwd` with
// stdin and stdout on /dev/null and stderr appended to `err`.
class Child {
public:
    ~Child() {
        if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0)
            ::waitpid(pid_, nullptr, 0);
    }
    void start(std::vector<std::string> argv, const std::string& cwd, const std::string& err) {
        argv.insert(argv.begin(), {"sh", "-c",
                                   "cd \"$1\" && e=$2 && shift 2 && exec \"$@\" "
                                   "</dev/null >/dev/null 2>>\"$e\"",
                                   "sh", cwd, err});
        std::vector<char*> args;
        for (std::string& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        if (::posix_spawnp(&pid_, "sh", nullptr, nullptr, args.data(), environ) != 0)
            throw std::runtime_error("cannot start " + argv[6]);
    }
    pid_t pid() const { return pid_; }
    bool running() {
        if (int st = 0; pid_ > 0 && ::waitpid(pid_, &st, WNOHANG) == pid_)
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st), pid_ = -1;
        return pid_ > 0;
    }
    // The exit status (128 + the signal that ended it); nullopt while it still runs at `ms`.
    std::optional<int> waitExit(int ms) {
        return WaitFor(
                   ms, [&] { return running(); }, [](bool r) { return !r; })
                   ? std::nullopt
                   : status_;
    }
    // CPU time used so far (user + system: fields 14 and 15, after the name in parentheses).
    double cpuSeconds() const {
        const std::string stat = ReadFile("/proc/" + std::to_string(pid_) + "/stat");
        unsigned long user = 0, system = 0;
        std::sscanf(stat.c_str() + stat.rfind(')') + 2,
                    "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user, &system);
        return double(user + system) / double(::sysconf(_SC_CLK_TCK));
    }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

enum class Which { Skypass, Handpoint };
inline const char* NameOf(Which which) {
    return which == Which::Skypass ? "skypass" : "handpoint";
}
inline void PrintTo(Which which, std::ostream* os) {
    *os << NameOf(which);
}

// One running program and its main window, driven by its layout table.
class Program {
public:
    enum class Choice { Accepted, Refused, NoDialog };

    Program(Which which, const std::vector<std::string>& argv, const std::string& cwd,
            const std::string& err)
        : layout_(which == Which::Skypass ? skypass::UploaderLayout() : handpoint::ManualLayout()),
          err_(err) {
        child_.start(argv, cwd, err);
        const auto ids = WaitFor(
            30000, [&] { return windows("^Data Uploader and Rotor Handler$"); },
            [&](auto& ids) { return !ids.empty() || !child_.running(); });
        if (ids.empty())
            throw std::runtime_error(std::string(NameOf(which)) + " showed no window: " + ReadFile(err));
        window_ = ids.front();
        geometry(window_, x_, y_);
    }
    Child& process() { return child_; }
    // What the program wrote to stderr so far (Qt's warnings, sanitizer reports).
    std::string err() const { return ReadFile(err_); }

    // Clicks a control at its place: window origin + its frame's place + its own place.
    void click(const char* control) const {
        const ControlRow& r = row(control);
        const ControlRow* frame = r.frame ? &row(r.frame) : nullptr;
        const auto px = [](int twips) { return (twips + TwipsPerPixel / 2) / TwipsPerPixel; };
        const int x = x_ + px(r.left) + px(r.width) / 2 + (frame ? px(frame->left) : 0),
                  y = y_ + px(r.top) + px(r.height) / 2 + (frame ? px(frame->top) : 0);
        Xdo({"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
    }
    // Clicks every command button in tab order (not the send button or Go!).
    void clickEveryCommand() const {
        for (const ControlRow& r : layout_)
            if (r.kind == ControlKind::Button && std::strcmp(r.name, "cmdOpen") &&
                std::strcmp(r.name, "cmdGo"))
                click(r.name);
    }
    // Replaces the text of a one-line box, as typed.
    void typeInto(const char* control, const std::string& text) const {
        click(control);
        Xdo({"key", "ctrl+a", "BackSpace", "type", "--delay", "10", "--", text});
    }
    // The message box's text as copied from it: lines end with "\n". An empty box has nothing to
    // copy; that reads as "".
    std::string readBox() const {
        for (int attempt = 0; attempt < 2; ++attempt) {
            click("txtFileData");
            if (auto text = copy())
                return *text;
        }
        return {};
    }
    testing::AssertionResult shows(const std::string& pattern, int ms = 15000) const {
        return Eventually(
            pattern, [&] { return readBox(); }, ms);
    }
    // Windows of this program whose title matches `titleRegex`, visible now.
    std::vector<uint32_t> windows(const std::string& titleRegex) const {
        std::istringstream ids(Xdo({"search", "--all", "--onlyvisible", "--pid",
                                    std::to_string(child_.pid()), "--name", titleRegex}));
        return {std::istream_iterator<uint32_t>(ids), std::istream_iterator<uint32_t>()};
    }
    // Waits for a modal message box titled `title`, reads its text (selecting it with a triple
    // click, as Qt's boxes copy nothing with Ctrl+C on Linux) and closes it with Enter.
    std::optional<std::string> answerMessage(const std::string& title) const {
        const auto ids = WaitFor(
            15000, [&] { return windows("^" + title + "$"); }, [](auto& v) { return !v.empty(); });
        if (ids.empty())
            return std::nullopt;
        int x = 0, y = 0, width = geometry(ids[0], x, y);
        std::optional<std::string> text;
        for (int dy : {18, 14, 24, 30, 10, 36}) // the text's first line, below the top margin
            if ((text = Copied(
                     "primary",
                     [&] {
                         Xdo({"mousemove", std::to_string(x + width * 6 / 10),
                              std::to_string(y + dy), "click", "--repeat", "3", "--delay", "40",
                              "1"});
                     },
                     200)))
                break;
        pressUntilGone(ids[0], "Return");
        return text.value_or("");
    }
    // Types a full path into the open-file dialog and presses Enter. Refused: the dialog said
    // the file does not exist (its warning is closed, the dialog cancelled with Escape).
    Choice chooseFile(const std::string& path) const {
        const auto open = [&] { return windows("^Open$"); };
        const auto dialog = WaitFor(15000, open, [](auto& v) { return !v.empty(); });
        if (dialog.empty())
            return Choice::NoDialog;
        // Keys typed before the dialog has the focus, or lost while its completer pops up, would
        // make another name: type until the name field holds exactly the path.
        const std::string focus = std::to_string(dialog[0]) + "\n";
        WaitFor(
            3000, [] { return Xdo({"getwindowfocus"}); }, [&](auto& f) { return f == focus; });
        for (int attempt = 0; attempt < 3; ++attempt) {
            Xdo({"key", "ctrl+a", "BackSpace", "type", "--delay", "10", "--", path});
            if (copy() == path)
                break;
        }
        Xdo({"key", "Return"});
        const auto left = WaitFor(15000, open, [](auto& v) { return v.size() != 1; });
        if (left.size() < 2) // gone, or still there with nothing said
            return left.empty() ? Choice::Accepted : Choice::NoDialog;
        for (uint32_t id : left) // the dialog's own "File not found" box on top of it
            if (id != dialog[0])
                pressUntilGone(id, "Return");
        pressUntilGone(dialog[0], "Escape");
        return Choice::Refused;
    }
    // Closes the window as the title bar's close button does and waits for the program to end.
    std::optional<int> close(int ms = 5000) {
        AskToClose(window_);
        return child_.waitExit(ms);
    }

private:
    // Ctrl+A, Ctrl+C in the focused control; what reached the clipboard (bounded).
    std::optional<std::string> copy() const {
        return Copied(
            "clipboard",
            [] {
                Xdo({"key", "ctrl+a", "ctrl+c"});
            },
            1500);
    }
    // The window's origin into x, y; returns its width.
    static int geometry(uint32_t window, int& x, int& y) {
        int width = 0;
        std::sscanf(Xdo({"getwindowgeometry", "--shell", std::to_string(window)}).c_str(),
                    "WINDOW=%*u X=%d Y=%d WIDTH=%d", &x, &y, &width);
        return width;
    }
    const ControlRow& row(const char* name) const {
        const auto r =
            std::ranges::find_if(layout_, [&](auto& r) { return !std::strcmp(r.name, name); });
        return r != layout_.end() ? *r : throw std::runtime_error(std::string("no ") + name);
    }
    // Presses a key on a dialog until it has gone (the first press can come before it has the
    // focus).
    void pressUntilGone(uint32_t window, const char* key) const {
        const auto shown = [&] { return std::ranges::count(windows("."), window) > 0; };
        for (int i = 0; i < 20 && shown(); ++i) {
            Xdo({"windowfocus", std::to_string(window), "key", key});
            WaitFor(500, shown, [](bool s) { return !s; });
        }
    }

    std::span<const ControlRow> layout_;
    std::string err_;
    Child child_;
    uint32_t window_ = 0;
    int x_ = 0, y_ = 0;
};

// The session's folder, once the tools it needs are known to be there.
inline std::string TempFolder() {
    if (std::ranges::count(Run({"which", "Xvfb", "xdotool", "xclip", "setpriv"}), '\n') != 4)
        throw std::runtime_error(
            "needs Xvfb, xdotool, xclip, setpriv (Debian: xvfb xdotool xclip util-linux)");
    char templ[] = "/tmp/ravik-e2e-XXXXXX";
    return ::mkdtemp(templ) ? templ : throw std::runtime_error("no folder under /tmp");
}

// One operator's desk: a folder under /tmp reachable by every user (work/ is the programs'
// working directory with the settings file "Comm Port 1", files/ holds the pass files), a
// display, the simulator, and the programs started there. Throws when it cannot be set up.
class Session {
public:
    Session() {
        for (const std::string& dir : {root, work(), files(), root + "/home"})
            std::filesystem::create_directory(dir), ::chmod(dir.c_str(), 0755);
        ::chmod((root + "/home").c_str(), 0777);
        // Xvfb picks a free display itself (-displayfd), so sessions run side by side; no window
        // manager, and open to every user (-ac) for the runs as nobody.
        int p[2]; // only the end Xvfb writes to is handed down
        if (::pipe2(p, O_CLOEXEC) != 0 || ::fcntl(p[1], F_SETFD, 0) != 0)
            throw std::runtime_error("no pipe");
        xvfb_.start({"Xvfb", "-displayfd", std::to_string(p[1]), "-screen", "0", "1024x768x24",
                     "-nolisten", "tcp", "-ac", "-noreset"},
                    "/", root + "/Xvfb.log");
        ::close(p[1]);
        const std::string number = test::readUntil(p[0], "\n", 15000);
        ::close(p[0]);
        if (number.empty() || number.back() != '\n')
            throw std::runtime_error("Xvfb did not start");
        ::setenv("DISPLAY", (":" + number.substr(0, number.size() - 1)).c_str(), 1);
        ::unsetenv("WAYLAND_DISPLAY");
        ::unsetenv("XAUTHORITY");
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::setenv("QT_QPA_PLATFORMTHEME", "", 1); // Qt's own file dialog, not a portal
        ::setenv("TZ", "UTC", 1);
        ::setenv("HOME", (root + "/home").c_str(), 1); // the file dialog's history stays here
        settings(Default);
    }
    ~Session() {
        if (xvfb_.pid() > 0)
            ::kill(xvfb_.pid(), SIGTERM);
        xvfb_.waitExit(5000);
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }

    std::string work() const { return root + "/work"; }
    std::string files() const { return root + "/files"; }
    void startSim(const std::vector<std::string>& extra = {}) {
        if (!sim.start(work(), 1, extra))
            throw std::runtime_error("ravik-sim: " + sim.error());
    }
    void settings(std::string_view content, mode_t mode = 0644) {
        WriteFile(work() + "/Ravik.ini", content, mode);
    }
    std::string settings() const { return ReadFile(work() + "/Ravik.ini"); }
    // A pass file in files/, by default a copy of the sample `name`; returns its path.
    std::string passFile(const std::string& name, std::optional<std::string> content = {},
                         mode_t mode = 0644) const {
        WriteFile(files() + "/" + name,
                  content ? *content : ReadFile(RAVIK_SOURCE_DIR "/uploader/samples/" + name),
                  mode);
        return files() + "/" + name;
    }
    // Waits until what the simulator received matches `pattern` (bounded).
    testing::AssertionResult sent(const std::string& pattern, int ms = 15000) const {
        return Eventually(
            pattern, [&] { return sim.received(); }, ms);
    }

    // Starts a program in work/ (as `uid` when not 0, through setpriv with no groups, from a
    // copy in the session's folder as the build tree may be out of its reach), with a private
    // runtime folder, and waits for its window.
    std::unique_ptr<Program> start(Which which, int uid = 0) {
        const std::string id = std::to_string(uid), runtime = root + "/runtime-" + id;
        std::filesystem::create_directory(runtime);
        if (::chown(runtime.c_str(), uid_t(uid), gid_t(uid)) == 0)
            ::chmod(runtime.c_str(), 0700);
        std::string binary = which == Which::Skypass ? SKYPASS_PATH : HANDPOINT_PATH;
        std::vector<std::string> argv{"env", "XDG_RUNTIME_DIR=" + runtime};
        if (uid != 0) {
            Run({"install", "-Dm755", binary, root + "/bin/" + NameOf(which)});
            binary = root + "/bin/" + NameOf(which);
            argv.insert(argv.begin(),
                        {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"});
        }
        argv.push_back(binary);
        return std::make_unique<Program>(which, argv, work(), root + "/" + NameOf(which) + ".err");
    }

    const std::string root = TempFolder();
    SimProcess sim;

private:
    Child xvfb_;
};

// The bytes skypass must upload for a pass file, worked out by the program's own functions.
inline std::string ExpectedUpload(const std::string& passFile) {
    TokenList tokens;
    EphemerisTable table;
    MonthNames months;
    FillMonthNameTable(months);
    if (LoadPassFile(QString::fromStdString(passFile), tokens, table, months) ==
        PassFormat::Neither)
        return {};
    ConditionTable(table);
    std::string lines;
    for (int index : PointsToSend(table))
        lines += FormatEphemerisLine(table, index).toStdString();
    return lines;
}

// An InstantTrack pass of `points` lines, one a minute from 5 December 2002 00:00, every point a
// step of 5 degrees in azimuth from the one before, so every line is uploaded.
inline std::string InstantTrackPass(int points) {
    std::string text = "RAVSAT-2 (made up)  Station KILO  Times UTC\r\n"
                       "  Date     Time   Azim   Elev   Range  Doppler  Phase\r\n";
    for (int i = 0; i < points; ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "%02dDec2002  %02d%02d  %5.1f  %4.1f  1523  -0.8  45\r\n",
                      5 + i / 1440, i / 60 % 24, i % 60, double(i * 5 % 360),
                      double(10 + i % 10 * 5));
        text += line;
    }
    return text;
}

} // namespace ravik::e2e
