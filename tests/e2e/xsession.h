#pragma once
// Plays an operator at the built programs: an Xvfb of its own (no window manager), ravik-sim
// behind COM1, clicks at the places the programs' layout tables give, and the message box read
// back as a person copies it (Ctrl+A, Ctrl+C). Every step is an outside command and every wait is
// bounded. Needs Xvfb, xdotool, xclip and setpriv on PATH. One Session per process at a time: it
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

inline constexpr int Nobody = 65534;
inline const std::string TZ = "Time Zone offset = 0 hours\n"; // the tests run with TZ=UTC
inline std::string Found(int port) {
    return "The controller was found on port " + std::to_string(port) + "\n";
}
inline std::string NotOn(int port) {
    return "The controller is not on port " + std::to_string(port) + "!!\n";
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
    if (Matches(pattern, got))
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "got " << testing::PrintToString(got) << "\n not " << testing::PrintToString(pattern);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline size_t Lines(std::string_view bytes) {
    return size_t(std::count(bytes.begin(), bytes.end(), '\r'));
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

// Puts a sentinel into the selection `which`, does `act`, and returns what the selection's new
// owner hands out within `ms`; nullopt when nobody took it.
template <class Act> std::optional<std::string> Copied(const char* which, Act act, int ms) {
    const std::string sentinel = "<nothing copied>", sel = std::string(" -selection ") + which;
    Sh("printf %s " + Q(sentinel) + " | xclip -i" + sel + " >/dev/null 2>&1");
    act();
    const std::string got = WaitFor(
        ms, [&] { return Sh("xclip -o" + sel); },
        [&](auto& s) { return !s.empty() && s != sentinel; });
    return got.empty() || got == sentinel ? std::nullopt : std::optional(got);
}

// A program started in `cwd` by `command` (sh), stdin and stdout on /dev/null, stderr appended to
// `err`; killed when the object goes if it still runs.
class Child {
public:
    Child(const std::string& command, const std::string& cwd, const std::string& err) {
        const std::string line =
            "cd " + Q(cwd) + " && exec " + command + " </dev/null >/dev/null 2>>" + Q(err);
        const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
        if (::posix_spawnp(&pid_, "sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
            throw std::runtime_error("cannot start " + command);
    }
    ~Child() {
        if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0)
            ::waitpid(pid_, nullptr, 0);
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
inline constexpr Which Sky = Which::Skypass, Hand = Which::Handpoint;
inline const char* NameOf(Which which) {
    return which == Sky ? "skypass" : "handpoint";
}

// One running program and its main window, driven by its layout table.
class Program : public Child {
public:
    Program(Which which, const std::string& command, const std::string& cwd, const std::string& err)
        : Child(command, cwd, err),
          layout_(which == Sky ? skypass::UploaderLayout() : handpoint::ManualLayout()) {
        const auto ids = WaitFor(
            30000, [&] { return windows("^Data Uploader and Rotor Handler$"); },
            [&](auto& ids) { return !ids.empty() || !running(); });
        if (ids.empty())
            throw std::runtime_error(std::string(NameOf(which)) +
                                     " showed no window: " + ReadFile(err));
        window_ = ids.front();
        geometry(window_, x_, y_);
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
        for (int attempt = 0; attempt < 2; ++attempt) {
            click("txtFileData");
            if (auto text = copy())
                return *text;
        }
        return {};
    }
    testing::AssertionResult shows(const std::string& pattern) const {
        return Eventually(pattern, [&] { return readBox(); });
    }
    // Windows of this program whose title matches `titleRegex`, visible now.
    std::vector<uint32_t> windows(const std::string& titleRegex) const {
        std::istringstream ids(Sh("xdotool search --all --onlyvisible --pid " +
                                  std::to_string(pid()) + " --name " + Q(titleRegex)));
        return {std::istream_iterator<uint32_t>(ids), std::istream_iterator<uint32_t>()};
    }
    // Waits for a modal message box titled `title`, reads its text (selected with a triple click:
    // Qt's boxes copy nothing with Ctrl+C on Linux) and closes it with Enter.
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
                         Sh("xdotool mousemove " + std::to_string(x + width * 6 / 10) + " " +
                            std::to_string(y + dy) + " click --repeat 3 --delay 40 1");
                     },
                     200)))
                break;
        pressUntilGone(ids[0], "Return");
        return text.value_or("");
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
    std::optional<int> close(int ms = 5000) {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        const auto atom = [c](const char* name) {
            auto* r = xcb_intern_atom_reply(
                c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
            const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
            std::free(r);
            return a;
        };
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = window_;
        ev.type = atom("WM_PROTOCOLS");
        ev.data.data32[0] = atom("WM_DELETE_WINDOW");
        xcb_send_event(c, 0, window_, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
        // A round trip first: requests still unread when the connection closes can be dropped.
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        xcb_disconnect(c);
        return waitExit(ms);
    }

private:
    // Ctrl+A, Ctrl+C in the focused control; what reached the clipboard (bounded).
    static std::optional<std::string> copy() {
        return Copied(
            "clipboard", [] { Sh("xdotool key ctrl+a ctrl+c"); }, 1500);
    }
    // The window's origin into x, y; returns its width.
    static int geometry(uint32_t window, int& x, int& y) {
        int width = 0;
        std::sscanf(Sh("xdotool getwindowgeometry --shell " + std::to_string(window)).c_str(),
                    "WINDOW=%*u X=%d Y=%d WIDTH=%d", &x, &y, &width);
        return width;
    }
    const ControlRow& row(const char* name) const {
        const auto r =
            std::ranges::find_if(layout_, [&](auto& r) { return !std::strcmp(r.name, name); });
        return r != layout_.end() ? *r : throw std::runtime_error(std::string("no ") + name);
    }
    // Presses a key on a dialog until it has gone (the first press can come before the focus).
    void pressUntilGone(uint32_t window, const char* key) const {
        const auto shown = [&] { return std::ranges::count(windows("."), window) > 0; };
        for (int i = 0; i < 20 && shown(); ++i) {
            Sh("xdotool windowfocus " + std::to_string(window) + " key " + key);
            WaitFor(500, shown, [](bool s) { return !s; });
        }
    }

    std::span<const ControlRow> layout_;
    uint32_t window_ = 0;
    int x_ = 0, y_ = 0;
};

// The folder under /tmp, once the tools a session needs are known to be there.
inline std::string TempFolder() {
    if (std::ranges::count(Sh("which Xvfb xdotool xclip setpriv"), '\n') != 4)
        throw std::runtime_error("needs Xvfb, xdotool, xclip, setpriv (Debian: xvfb xdotool xclip "
                                 "util-linux)");
    char templ[] = "/tmp/ravik-e2e-XXXXXX";
    return ::mkdtemp(templ) ? templ : throw std::runtime_error("no folder under /tmp");
}

// One operator's desk: a folder under /tmp that every user can reach (work/ is the programs'
// working directory with the settings file "Comm Port 1", files/ holds pass files), a display,
// the simulator, and the programs started there. Throws when it cannot be set up.
class Session {
public:
    const std::string root = TempFolder(), work = root + "/work", files = root + "/files";
    test::SimProcess sim;

    Session() {
        for (const std::string& dir : {root, work, files, root + "/home", root + "/bin"})
            std::filesystem::create_directory(dir), ::chmod(dir.c_str(), 0755);
        ::chmod((root + "/home").c_str(), 0777);
        // Xvfb picks a free display (-displayfd) and lets every user in (-ac).
        int p[2]; // only the end Xvfb writes to is handed down
        if (::pipe2(p, O_CLOEXEC) != 0 || ::fcntl(p[1], F_SETFD, 0) != 0)
            throw std::runtime_error("no pipe");
        xvfb_.emplace("Xvfb -displayfd " + std::to_string(p[1]) +
                          " -screen 0 1024x768x24 -nolisten tcp -ac -noreset",
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
        std::ofstream(work + "/Ravik.ini", std::ios::binary) << "Comm Port 1\r\n";
    }
    ~Session() {
        if (xvfb_ && xvfb_->pid() > 0)
            ::kill(xvfb_->pid(), SIGTERM), xvfb_->waitExit(5000);
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
    // Starts a program in work/ with a private runtime folder and waits for its window; as `uid`
    // when not 0 (setpriv, no groups, from a copy here as the build tree may be out of its reach).
    std::unique_ptr<Program> start(Which which, int uid = 0) {
        const std::string id = std::to_string(uid), runtime = root + "/runtime-" + id;
        std::string binary = which == Sky ? SKYPASS_PATH : HANDPOINT_PATH, prefix;
        std::filesystem::create_directory(runtime);
        if (::chown(runtime.c_str(), uid_t(uid), gid_t(uid)) == 0)
            ::chmod(runtime.c_str(), 0700);
        if (uid != 0) {
            const std::string copy = root + "/bin/" + NameOf(which);
            std::filesystem::copy_file(binary, copy,
                                       std::filesystem::copy_options::overwrite_existing);
            binary = copy;
            prefix = "setpriv --reuid=" + id + " --regid=" + id + " --clear-groups ";
        }
        return std::make_unique<Program>(
            which, prefix + "env XDG_RUNTIME_DIR=" + Q(runtime) + " " + Q(binary), work,
            root + "/" + NameOf(which) + ".err");
    }

private:
    std::optional<Child> xvfb_;
};

} // namespace ravik::e2e
