#pragma once
// Plays an operator at the built programs: an Xvfb of its own (no window manager), ravik-sim
// behind COM1, clicks at the places the programs' layout tables give, and the message box read
// back as a person copies it (Ctrl+A, Ctrl+C). Every step is an outside command and every wait is
// bounded. Needs Xvfb, xdotool and xclip on PATH. One Session per process at a time: it
// points this process's DISPLAY (inherited by every command) at its Xvfb.
#include "manualwindow.h"
#include "simprocess.h"
#include "uploaderwindow.h"
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <xcb/xcb.h>

namespace ravik::e2e {

inline const std::string TZ = "Time Zone offset = 0 hours\n"; // the tests run with TZ=UTC
const auto Found = [](int n) {
    return "The controller was found on port " + std::to_string(n) + "\n";
};
const auto NotOn = [](int n) {
    return "The controller is not on port " + std::to_string(n) + "!!\n";
};
const auto SleepMs = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };

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
        if (t.empty() || (p[0] == '#' ? !std::isdigit((unsigned char)t[0]) : p[0] != t[0]))
            return false;
    for (size_t skip = 0; !p.empty() && skip <= t.size(); ++skip)
        if (Matches(p.substr(1), t.substr(skip)))
            return true;
    return p.empty() && t.empty();
}

// Reads `get` until it matches `pattern` (bounded).
template <class Get>
testing::AssertionResult Eventually(const std::string& pattern, Get get, int ms = 15000) {
    const std::string got = WaitFor(ms, get, [&](auto& t) { return Matches(pattern, t); });
    return Matches(pattern, got) ? testing::AssertionSuccess()
                                 : testing::AssertionFailure()
                                       << "got " << testing::PrintToString(got) << "\n not "
                                       << testing::PrintToString(pattern);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A word quoted for sh.
inline std::string Q(const std::string& word) {
    std::string q = "'";
    for (char c : word)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command to its end, at most 10 s; what it wrote to stdout.
inline std::string Sh(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(("timeout -s KILL 10 sh -c " + Q(command) + " 2>/dev/null").c_str(), "re");
    char buf[4096];
    for (size_t n; pipe && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        out.append(buf, n);
    if (pipe)
        ::pclose(pipe);
    return out;
}

inline const std::string Sky = "skypass", Hand = "handpoint";

// One running program (`command`, through sh, in `cwd`, stderr appended to `err`) and its main
// window, driven by its layout table; killed when the object goes if it still runs.
class Program {
public:
    Program(const std::string& which, const std::string& command, const std::string& cwd,
            const std::string& err)
        : layout_(which == Sky ? ravik::uploaderLayout() : ravik::manualLayout()) {
        const std::string line =
            "cd " + Q(cwd) + " && exec " + command + " </dev/null >/dev/null 2>>" + Q(err);
        const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
        ::posix_spawnp(&pid_, "sh", nullptr, nullptr, const_cast<char**>(argv), environ);
        const auto main = [&] { return windows("^Data Uploader and Rotor Handler$"); };
        const auto ids = WaitFor(30000, main, [&](auto& v) { return !v.empty() || !running(); });
        if (ids.empty())
            throw std::runtime_error(which + " showed no window: " + ReadFile(err));
        window_ = ids.front();
        std::sscanf(Sh("xdotool getwindowgeometry --shell " + std::to_string(window_)).c_str(),
                    "WINDOW=%*u X=%d Y=%d", &x_, &y_);
    }
    ~Program() {
        if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0)
            ::waitpid(pid_, nullptr, 0);
    }
    bool running() {
        if (int st = 0; pid_ > 0 && ::waitpid(pid_, &st, WNOHANG) == pid_)
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st), pid_ = -1;
        return pid_ > 0;
    }
    // CPU time used so far: user + system, in clock ticks (fields 14 and 15).
    double cpuSeconds() const {
        const std::string stat = "/proc/" + std::to_string(pid_) + "/stat";
        return std::atof(Sh("awk '{print $14 + $15}' " + stat).c_str()) /
               double(sysconf(_SC_CLK_TCK));
    }
    // Clicks a control at its place: window origin + its frame's place + its own place.
    void click(const char* control) const {
        const ControlRow& r = row(control);
        const ControlRow* frame = r.frame ? &row(r.frame) : nullptr;
        const auto px = [](int twips) { return (twips + TwipsPerPixel / 2) / TwipsPerPixel; };
        const int x = x_ + px(r.left) + px(r.width) / 2 + (frame ? px(frame->left) : 0),
                  y = y_ + px(r.top) + px(r.height) / 2 + (frame ? px(frame->top) : 0);
        Sh("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
    }
    // Clicks every command button in tab order (not the send button or Go!).
    void clickEveryCommand() const {
        for (const ControlRow& r : layout_)
            if (r.kind == ControlKind::Button && std::strcmp(r.name, "cmdOpen") &&
                std::strcmp(r.name, "cmdGo"))
                click(r.name);
    }
    // Replaces what the focused box holds by `text`, as typed.
    static void type(const std::string& text) {
        Sh("xdotool key ctrl+a BackSpace type --delay 10 -- " + Q(text));
    }
    // The message box's text as copied from it, lines ending with "\n"; "" when empty.
    std::string readBox() const {
        for (int attempt = 0; attempt < 2; ++attempt)
            if (click("txtFileData"); auto text = copy())
                return *text;
        return {};
    }
    testing::AssertionResult shows(const std::string& pattern) const {
        return Eventually(pattern, [&] { return readBox(); });
    }
    // Windows of this program whose title matches `titleRegex`, visible now.
    std::vector<uint32_t> windows(const std::string& titleRegex) const {
        std::istringstream ids(Sh("xdotool search --all --onlyvisible --pid " +
                                  std::to_string(pid_) + " --name " + Q(titleRegex)));
        return {std::istream_iterator<uint32_t>(ids), std::istream_iterator<uint32_t>()};
    }
    // Types a full path into the open-file dialog until its name field holds exactly that (keys
    // typed before it has the focus, or while its completer pops up, go astray), then Enter.
    // True when the dialog took it and went.
    bool chooseFile(const std::string& path) const {
        const auto open = [&] { return windows("^Open$"); };
        const auto dialog = WaitFor(15000, open, [](auto& v) { return !v.empty(); });
        if (dialog.empty())
            return false;
        const std::string focus = std::to_string(dialog[0]) + "\n";
        WaitFor(
            3000, [] { return Sh("xdotool getwindowfocus"); }, [&](auto& f) { return f == focus; });
        for (int attempt = 0; attempt < 3 && (type(path), copy() != path); ++attempt) {
        }
        Sh("xdotool key Return");
        return WaitFor(15000, open, [](auto& v) { return v.empty(); }).empty();
    }
    // Closes the window as a window manager's close button does (WM_DELETE_WINDOW; xdotool's
    // windowclose would destroy it under the program) and waits for the program to end.
    std::optional<int> close() {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        xcb_client_message_event_t ev{XCB_CLIENT_MESSAGE, 32, 0, window_, 0, {}};
        uint32_t* atoms[] = {&ev.type, &ev.data.data32[0]};
        const char* names[] = {"WM_PROTOCOLS", "WM_DELETE_WINDOW"};
        for (int i = 0; i < 2; ++i) {
            auto* r = xcb_intern_atom_reply(
                c, xcb_intern_atom(c, 0, uint16_t(std::strlen(names[i])), names[i]), nullptr);
            *atoms[i] = r ? r->atom : 0;
            std::free(r);
        }
        xcb_send_event(c, 0, window_, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
        // A round trip first: requests still unread when the connection closes can be dropped.
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        xcb_disconnect(c);
        // The exit status (128 + the signal that ended it); nullopt while it still runs at 5 s.
        const auto alive = [&] { return running(); };
        return WaitFor(5000, alive, [](bool r) { return !r; }) ? std::nullopt : status_;
    }

private:
    // Ctrl+A, Ctrl+C in the focused control, a sentinel in the clipboard before; what reached
    // the clipboard within 1.5 s, nullopt when nobody took it.
    static std::optional<std::string> copy() {
        const std::string sentinel = "<nothing copied>";
        Sh("printf %s " + Q(sentinel) + " | xclip -i -selection clipboard >/dev/null 2>&1");
        Sh("xdotool key ctrl+a ctrl+c");
        const auto paste = [] { return Sh("xclip -o -selection clipboard"); };
        const std::string got =
            WaitFor(1500, paste, [&](auto& s) { return !s.empty() && s != sentinel; });
        return got.empty() || got == sentinel ? std::nullopt : std::optional(got);
    }
    const ControlRow& row(const char* name) const {
        const auto r =
            std::ranges::find_if(layout_, [&](auto& r) { return !std::strcmp(r.name, name); });
        return r != layout_.end() ? *r : throw std::runtime_error(std::string("no ") + name);
    }

    std::span<const ControlRow> layout_;
    pid_t pid_ = -1;
    std::optional<int> status_;
    uint32_t window_ = 0;
    int x_ = 0, y_ = 0;
};

// A folder under /tmp, once the tools a session needs are known to be there.
inline std::string TempFolder() {
    char templ[] = "/tmp/ravik-e2e-XXXXXX";
    if (std::ranges::count(Sh("which Xvfb xdotool xclip"), '\n') != 3 || !::mkdtemp(templ))
        throw std::runtime_error("needs Xvfb, xdotool, xclip and a folder under /tmp");
    return templ;
}

// One operator's desk: a folder under /tmp (work/ is the programs' working directory with the
// settings file "Comm Port 1", files/ holds pass files), a display, the simulator, and the
// programs started there. Throws when it cannot be set up.
class Session {
public:
    const std::string root = TempFolder(), work = root + "/work", files = root + "/files";
    test::SimProcess sim;

    Session() {
        Sh("mkdir " + Q(work) + " " + Q(files) + " " + Q(root + "/home"));
        // Xvfb picks a free display (-displayfd) and lets every client in (-ac).
        const std::string to = " 3>" + Q(root + "/display") + " </dev/null >/dev/null 2>&1";
        xvfb_ = std::stoi(Sh("Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -ac -noreset" +
                             to + " & echo $!"));
        const auto display = [&] { return ReadFile(root + "/display"); };
        const std::string number =
            WaitFor(15000, display, [](auto& n) { return n.ends_with('\n'); });
        if (!number.ends_with('\n'))
            throw std::runtime_error("Xvfb did not start");
        ::setenv("DISPLAY", (":" + number.substr(0, number.size() - 1)).c_str(), 1);
        ::unsetenv("WAYLAND_DISPLAY");
        ::unsetenv("XAUTHORITY");
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::setenv("QT_QPA_PLATFORMTHEME", "", 1); // Qt's own file dialog, not a portal
        ::setenv("TZ", "UTC", 1);
        ::setenv("HOME", (root + "/home").c_str(), 1); // the file dialog's history stays here
        std::ofstream(work + "/Ravik.ini", std::ios::binary) << "Comm Port 1\r\n";
    }
    ~Session() {
        if (xvfb_ > 0)
            ::kill(xvfb_, SIGTERM);
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    void startSim(const std::vector<std::string>& options = {}) {
        if (!sim.start(work, 1, options))
            throw std::runtime_error("ravik-sim: " + sim.error());
    }
    // Waits until what the simulator received matches `pattern` (bounded).
    testing::AssertionResult sent(const std::string& pattern) const {
        return Eventually(pattern, [&] { return sim.received(); });
    }
    // Starts a program in work/ with a private runtime folder and waits for its window.
    std::unique_ptr<Program> start(const std::string& which) {
        const std::string runtime = root + "/runtime-" + which;
        Sh("mkdir -m 700 " + Q(runtime));
        return std::make_unique<Program>(which,
                                         "env XDG_RUNTIME_DIR=" + Q(runtime) + " " +
                                             Q(which == Sky ? SKYPASS_PATH : HANDPOINT_PATH),
                                         work, root + "/" + which + ".err");
    }

private:
    pid_t xvfb_ = -1;
};

} // namespace ravik::e2e
