#pragma once
// Plays an operator at the real, built programs: a virtual display (Xvfb, no window manager),
// ravik-sim behind COM1, clicks at the places the programs' own layout tables give, and the
// message box read back the way a person copies it (Ctrl+A, Ctrl+C). There is no event loop here:
// every step is an outside command with a deadline, and every wait is bounded.
//
// Needs on PATH: Xvfb, xdotool, xclip, setpriv. The test target defines SKYPASS_PATH,
// HANDPOINT_PATH, RAVIK_SIM_PATH, RAVIK_LINK_LIB and RAVIK_LINK_SONAME, and links xcb.
#include "conditioning.h"
#include "formbuilder.h"
#include "manualwindow.h"
#include "passfile.h"
#include "simprocess.h"
#include "uploaderwindow.h"
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <sstream>
#include <sys/stat.h>
#include <xcb/xcb.h>

namespace ravik::e2e {

using test::msLeft;
using test::SimClock;
using test::SimProcess;

inline constexpr const char* WindowTitle = "Data Uploader and Rotor Handler";
inline constexpr int Nobody = 65534;

inline void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

inline SimClock::time_point After(int ms) {
    return SimClock::now() + std::chrono::milliseconds(ms);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, std::string_view bytes, mode_t mode = 0644) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
    }
    ::chmod(path.c_str(), mode);
}

inline bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// This process's environment with some variables set (a value) or removed (nullopt).
using EnvChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

inline std::vector<std::string> MakeEnv(const EnvChanges& changes) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        bool changed = false;
        for (const auto& c : changes)
            changed = changed || c.first == name;
        if (!changed)
            env.push_back(entry);
    }
    for (const auto& [name, value] : changes)
        if (value)
            env.push_back(name + "=" + *value);
    return env;
}

// One child process. Ended (SIGKILL) when the object goes, if it is still running.
class Child {
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { kill(); }

    // stdin from `inFd` (or /dev/null), stdout to `outFd` or the file `outPath`, stderr to
    // `errPath`; `extraFd` becomes the child's descriptor 3 when set.
    struct Io {
        int inFd = -1;
        int outFd = -1;
        std::string outPath = "/dev/null";
        std::string errPath = "/dev/null";
        int extraFd = -1;
    };

    bool start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const std::string& cwd, const Io& io) {
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        if (!cwd.empty())
            posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
        if (io.inFd >= 0)
            posix_spawn_file_actions_adddup2(&fa, io.inFd, STDIN_FILENO);
        else
            posix_spawn_file_actions_addopen(&fa, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (io.outFd >= 0)
            posix_spawn_file_actions_adddup2(&fa, io.outFd, STDOUT_FILENO);
        else
            posix_spawn_file_actions_addopen(&fa, STDOUT_FILENO, io.outPath.c_str(),
                                             O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_addopen(&fa, STDERR_FILENO, io.errPath.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (io.extraFd >= 0)
            posix_spawn_file_actions_adddup2(&fa, io.extraFd, 3);
        std::vector<char*> a, e;
        for (const std::string& s : argv)
            a.push_back(const_cast<char*>(s.c_str()));
        a.push_back(nullptr);
        for (const std::string& s : env)
            e.push_back(const_cast<char*>(s.c_str()));
        e.push_back(nullptr);
        const int rc = posix_spawnp(&pid_, argv[0].c_str(), &fa, nullptr, a.data(), e.data());
        posix_spawn_file_actions_destroy(&fa);
        if (rc != 0)
            pid_ = -1;
        return rc == 0;
    }

    pid_t pid() const { return pid_; }
    bool running() {
        poll();
        return pid_ > 0;
    }
    // The exit status; 128 + the signal when a signal ended it; nullopt while still running
    // at the deadline.
    std::optional<int> waitExit(int ms) {
        const auto deadline = After(ms);
        for (;;) {
            poll();
            if (pid_ <= 0)
                return status_;
            if (msLeft(deadline) == 0)
                return std::nullopt;
            SleepMs(10);
        }
    }
    void kill() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        int st = 0;
        ::waitpid(pid_, &st, 0);
        pid_ = -1;
        status_ = 128 + SIGKILL;
    }
    void signal(int sig) {
        if (pid_ > 0)
            ::kill(pid_, sig);
    }
    // CPU time used so far (user + system), from /proc.
    double cpuSeconds() const {
        const std::string stat = ReadFile("/proc/" + std::to_string(pid_) + "/stat");
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string f;
        long ticks = 0;
        for (int i = 3; i <= 15 && fields >> f; ++i)
            if (i >= 14)
                ticks += std::stol(f);
        return double(ticks) / double(::sysconf(_SC_CLK_TCK));
    }

private:
    void poll() {
        if (pid_ <= 0)
            return;
        int st = 0;
        if (::waitpid(pid_, &st, WNOHANG) == pid_) {
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            pid_ = -1;
        }
    }

    pid_t pid_ = -1;
    std::optional<int> status_;
};

struct Output {
    int status = -1; // -1: it overran its deadline and was killed
    std::string out;
};

// Runs a command to its end, at most `ms`, feeding `input` and collecting stdout (unless
// `collect` is false: a command that leaves a daemon behind, like xclip -i, must not hold our
// pipe open).
inline Output RunCommand(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         int ms = 10000, std::string_view input = {}, bool collect = true) {
    Output result;
    int in[2], out[2] = {-1, -1};
    if (::pipe2(in, O_CLOEXEC) != 0)
        return result;
    if (collect && ::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return result;
    }
    Child child;
    Child::Io io;
    io.inFd = in[0];
    io.outFd = out[1];
    const bool started = child.start(argv, env, {}, io);
    ::close(in[0]);
    if (out[1] >= 0)
        ::close(out[1]);
    if (started)
        test::writeBytes(in[1], input);
    ::close(in[1]);
    const auto deadline = After(ms);
    if (started && collect) {
        for (;;) {
            pollfd p{out[0], POLLIN, 0};
            const int r = ::poll(&p, 1, msLeft(deadline));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            char buf[4096];
            const ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n <= 0)
                break;
            result.out.append(buf, size_t(n));
        }
    }
    if (out[0] >= 0)
        ::close(out[0]);
    if (started) {
        const auto status = child.waitExit(msLeft(deadline));
        result.status = status ? *status : -1;
    }
    return result;
}

// The tools the sessions need, by the Debian package that brings them; empty when all are there.
inline std::string MissingTools() {
    std::string missing;
    const std::pair<const char*, const char*> tools[] = {
        {"Xvfb", "xvfb"}, {"xdotool", "xdotool"}, {"xclip", "xclip"}, {"setpriv", "util-linux"}};
    for (const auto& [tool, package] : tools)
        if (RunCommand({"sh", "-c", std::string("command -v ") + tool}, MakeEnv({})).status != 0)
            missing += std::string(" ") + package;
    return missing;
}

// A virtual display of its own: Xvfb picks a free number itself (-displayfd), so sessions can
// run side by side. No window manager, and open to every user (-ac) for the runs as nobody.
class Desktop {
public:
    ~Desktop() {
        if (server_.running()) {
            server_.signal(SIGTERM);
            if (!server_.waitExit(5000))
                server_.kill();
        }
    }

    bool start(const std::string& logDir, int ms = 15000) {
        int p[2];
        if (::pipe2(p, O_CLOEXEC) != 0)
            return false;
        Child::Io io;
        io.errPath = logDir + "/Xvfb.log";
        io.extraFd = p[1];
        const bool started = server_.start({"Xvfb", "-displayfd", "3", "-screen", "0",
                                            "1024x768x24", "-nolisten", "tcp", "-ac", "-noreset"},
                                           MakeEnv({}), {}, io);
        ::close(p[1]);
        std::string number;
        if (started)
            number = test::readUntil(p[0], "\n", ms);
        ::close(p[0]);
        if (number.empty() || number.back() != '\n')
            return false;
        display_ = ":" + number.substr(0, number.size() - 1);
        return true;
    }
    const std::string& display() const { return display_; }

    // Environment for a command on this display.
    std::vector<std::string> env(EnvChanges more = {}) const {
        more.push_back({"DISPLAY", display_});
        more.push_back({"WAYLAND_DISPLAY", std::nullopt});
        more.push_back({"XAUTHORITY", std::nullopt});
        return MakeEnv(more);
    }
    Output xdotool(std::vector<std::string> args, int ms = 10000) const {
        args.insert(args.begin(), "xdotool");
        return RunCommand(args, env(), ms);
    }
    // What an owner of the selection ("clipboard" or "primary") hands out; status != 0 when
    // nobody owns it.
    Output selection(const char* which) const {
        return RunCommand({"xclip", "-o", "-selection", which}, env(), 5000);
    }
    // Takes the selection with a known text, so a copy that has not happened yet is told apart
    // from one that has. The xclip left serving it ends when someone else takes the selection.
    void claimSelection(const char* which, std::string_view text) const {
        RunCommand({"xclip", "-i", "-selection", which}, env(), 5000, text, false);
    }
    // What a window manager's close button does: WM_DELETE_WINDOW to the window. (xdotool's
    // windowclose destroys the window under the program, which a person cannot do.)
    bool askToClose(uint32_t window) const {
        int screen = 0;
        xcb_connection_t* c = xcb_connect(display_.c_str(), &screen);
        if (xcb_connection_has_error(c)) {
            xcb_disconnect(c);
            return false;
        }
        const auto atom = [c](const char* name) {
            xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
                c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
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
        ev.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
        // A round trip before leaving: requests still unread when the connection closes can be
        // dropped by the server.
        xcb_generic_error_t* error = nullptr;
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), &error));
        const bool sent = error == nullptr;
        std::free(error);
        xcb_disconnect(c);
        return sent;
    }

private:
    Child server_;
    std::string display_;
};

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

// How a program is started: as whom, and with which environment on top of the display's.
struct Launch {
    int uid = 0; // 0: as the test runs; otherwise through setpriv, with no groups
    EnvChanges env;
};

// One running program and its main window, driven by its layout table.
class Program {
public:
    Program(const Desktop& desktop, std::span<const ControlRow> layout)
        : desktop_(desktop), layout_(layout) {}
    ~Program() { child_.kill(); }

    // Starts `binary` in `workdir` and waits for its window. False, with error(), when no window
    // shows up or the program ends first.
    bool start(const std::string& binary, const std::string& workdir, const Launch& how = {},
               int ms = 30000) {
        std::vector<std::string> argv{binary};
        if (how.uid != 0) {
            const std::string id = std::to_string(how.uid);
            argv.insert(argv.begin(),
                        {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"});
        }
        EnvChanges env = how.env;
        env.push_back({"QT_QPA_PLATFORM", "xcb"});
        env.push_back({"QT_QPA_PLATFORMTHEME", ""}); // Qt's own file dialog, not a portal
        env.push_back({"TZ", "UTC"});
        // Qt's file dialog keeps its history under $HOME, and Qt wants a private runtime folder:
        // both in the session's folder, so nothing is left behind.
        env.push_back({"HOME", workdir + "/../home"});
        const std::string runtime = workdir + "/../runtime-" + std::to_string(how.uid);
        std::filesystem::create_directory(runtime);
        if (::chown(runtime.c_str(), uid_t(how.uid), gid_t(how.uid)) == 0)
            ::chmod(runtime.c_str(), 0700);
        env.push_back({"XDG_RUNTIME_DIR", runtime});
        Child::Io io;
        io.errPath = workdir + "/../" + std::filesystem::path(binary).filename().string() + ".err";
        errPath_ = io.errPath;
        if (!child_.start(argv, desktop_.env(env), workdir, io))
            return fail("cannot start " + binary);
        const auto deadline = After(ms);
        while (msLeft(deadline) > 0) {
            if (!child_.running())
                return fail(binary + " ended before showing its window");
            const Output found = find(std::string("^") + WindowTitle + "$");
            if (!found.out.empty()) {
                window_ = uint32_t(std::stoul(found.out));
                return geometry(window_, origin_);
            }
            SleepMs(50);
        }
        return fail("no window of " + binary);
    }
    const std::string& error() const { return error_; }
    Child& process() { return child_; }
    // What the program wrote to stderr so far (Qt's warnings, sanitizer reports).
    std::string stderrText() const { return ReadFile(errPath_); }

    // The centre of a control on the screen: window origin + frame's place + control's place.
    std::pair<int, int> centre(const char* control) const {
        const ControlRow& row = rowOf(control);
        int x = origin_.x + px(row.left) + px(row.width) / 2;
        int y = origin_.y + px(row.top) + px(row.height) / 2;
        if (row.frame) {
            x += px(rowOf(row.frame).left);
            y += px(rowOf(row.frame).top);
        }
        return {x, y};
    }

    void click(const char* control) const {
        const auto [x, y] = centre(control);
        desktop_.xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
    }

    // Replaces the text of a one-line box, as typed.
    void typeInto(const char* control, const std::string& text) const {
        const auto [x, y] = centre(control);
        desktop_.xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", "1", "key",
                          "ctrl+a", "BackSpace", "type", "--delay", "10", "--", text});
    }

    // The message box's text as copied from it: lines end with "\n". An empty box has nothing to
    // copy; that shows as no copy within the bound, and reads as "".
    std::string readBox() const {
        const auto [x, y] = centre("txtFileData");
        for (int attempt = 0; attempt < 2; ++attempt) {
            desktop_.xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
            if (auto text = copySelection())
                return *text;
        }
        return {};
    }

    // Reads the box until `ok` holds (bounded); the last text read.
    std::string waitBox(const std::function<bool(const std::string&)>& ok, int ms = 15000) const {
        const auto deadline = After(ms);
        std::string text = readBox();
        while (!ok(text) && msLeft(deadline) > 0) {
            SleepMs(100);
            text = readBox();
        }
        return text;
    }

    // Windows of this program whose title matches `titleRegex`, visible now.
    std::vector<uint32_t> windows(const std::string& titleRegex) const {
        std::vector<uint32_t> ids;
        std::istringstream lines(find(titleRegex).out);
        for (std::string id; std::getline(lines, id);)
            ids.push_back(uint32_t(std::stoul(id)));
        return ids;
    }

    // Waits for a modal message box titled `title`, reads its text (selecting it with a triple
    // click, as Qt's boxes copy nothing with Ctrl+C on Linux) and closes it with Enter.
    // nullopt when no such box appeared in time.
    std::optional<std::string> answerMessage(const std::string& title, int ms = 15000) const {
        const auto id = waitWindow("^" + title + "$", ms);
        if (!id)
            return std::nullopt;
        Rect box;
        geometry(*id, box);
        std::string text;
        desktop_.claimSelection("primary", Sentinel);
        for (int dy : {18, 14, 24, 30, 10, 36}) { // the text's first line, below the top margin
            desktop_.xdotool({"mousemove", std::to_string(box.x + box.width * 6 / 10),
                              std::to_string(box.y + dy), "click", "--repeat", "3", "--delay", "40",
                              "1"});
            const Output got = desktop_.selection("primary");
            if (got.status == 0 && got.out != Sentinel) {
                text = got.out;
                break;
            }
        }
        pressUntilGone(*id, "Return");
        return text;
    }

    enum class Choice { Accepted, Refused, NoDialog };
    // Types a full path into the open-file dialog and presses Enter. Refused: the dialog said
    // the file does not exist (its warning is closed, the dialog cancelled with Escape).
    Choice chooseFile(const std::string& path, int ms = 15000) const {
        const auto dialog = waitWindow("^Open$", ms);
        if (!dialog)
            return Choice::NoDialog;
        // Keys typed before the dialog has the focus, or lost while its completer pops up, would
        // make another name: type until the name field holds exactly the path.
        waitFocus(*dialog, 3000);
        for (int attempt = 0; attempt < 3; ++attempt) {
            desktop_.xdotool({"key", "ctrl+a", "BackSpace"});
            desktop_.xdotool({"type", "--delay", "10", "--", path});
            if (copySelection() == path)
                break;
        }
        desktop_.xdotool({"key", "Return"});
        const auto deadline = After(ms);
        while (msLeft(deadline) > 0) {
            const auto open = windows("^Open$");
            if (open.empty())
                return Choice::Accepted;
            if (open.size() > 1) { // the dialog's own "File not found" box on top of it
                for (uint32_t id : open)
                    if (id != *dialog)
                        pressUntilGone(id, "Return");
                pressUntilGone(*dialog, "Escape");
                return Choice::Refused;
            }
            SleepMs(50);
        }
        return Choice::NoDialog;
    }

    // Closes the window as the title bar's close button does and waits for the program to end.
    std::optional<int> close(int ms = 5000) {
        desktop_.askToClose(window_);
        return child_.waitExit(ms);
    }

private:
    static constexpr const char* Sentinel = "<nothing copied>";

    // Ctrl+A, Ctrl+C in the focused control; what reached the clipboard, or nullopt when
    // nothing did within the bound.
    std::optional<std::string> copySelection() const {
        desktop_.claimSelection("clipboard", Sentinel);
        desktop_.xdotool({"key", "ctrl+a", "ctrl+c"});
        const auto deadline = After(1500);
        while (msLeft(deadline) > 0) {
            const Output got = desktop_.selection("clipboard");
            if (got.status == 0 && got.out != Sentinel)
                return got.out;
            SleepMs(30);
        }
        return std::nullopt;
    }

    void waitFocus(uint32_t window, int ms) const {
        const auto deadline = After(ms);
        while (msLeft(deadline) > 0 &&
               desktop_.xdotool({"getwindowfocus"}).out != std::to_string(window) + "\n")
            SleepMs(30);
    }

    static int px(int twips) { return (twips + TwipsPerPixel / 2) / TwipsPerPixel; }

    const ControlRow& rowOf(const char* name) const {
        for (const ControlRow& row : layout_)
            if (std::strcmp(row.name, name) == 0)
                return row;
        throw std::runtime_error(std::string("no control ") + name);
    }

    Output find(const std::string& titleRegex) const {
        return desktop_.xdotool({"search", "--all", "--onlyvisible", "--pid",
                                 std::to_string(child_.pid()), "--name", titleRegex});
    }

    std::optional<uint32_t> waitWindow(const std::string& titleRegex, int ms) const {
        const auto deadline = After(ms);
        do {
            const auto ids = windows(titleRegex);
            if (!ids.empty())
                return ids.front();
            SleepMs(50);
        } while (msLeft(deadline) > 0);
        return std::nullopt;
    }

    bool geometry(uint32_t window, Rect& into) const {
        const Output g = desktop_.xdotool({"getwindowgeometry", "--shell", std::to_string(window)});
        std::istringstream lines(g.out);
        for (std::string line; std::getline(lines, line);) {
            const auto eq = line.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string key = line.substr(0, eq);
            const int value = std::atoi(line.c_str() + eq + 1);
            if (key == "X")
                into.x = value;
            else if (key == "Y")
                into.y = value;
            else if (key == "WIDTH")
                into.width = value;
            else if (key == "HEIGHT")
                into.height = value;
        }
        return g.status == 0 || fail("no geometry for the window");
    }

    // Presses a key on a dialog until it has gone (the first press can come before the dialog
    // has the focus).
    void pressUntilGone(uint32_t window, const char* key) const {
        const std::string id = std::to_string(window);
        for (int i = 0; i < 20; ++i) {
            desktop_.xdotool({"windowfocus", id});
            desktop_.xdotool({"key", key});
            for (int j = 0; j < 10; ++j) {
                SleepMs(50);
                const auto open = windows(".");
                if (std::find(open.begin(), open.end(), window) == open.end())
                    return;
            }
        }
    }

    bool fail(const std::string& why) const {
        error_ = why;
        return false;
    }

    const Desktop& desktop_;
    std::span<const ControlRow> layout_;
    Child child_;
    uint32_t window_ = 0;
    Rect origin_;
    mutable std::string error_;
    std::string errPath_;
};

// A folder for one session under /tmp, reachable by every user (0755), removed afterwards:
// work/ is the programs' working directory, files/ holds the pass files.
class Folder {
public:
    Folder() {
        char templ[] = "/tmp/ravik-e2e-XXXXXX";
        root_ = ::mkdtemp(templ) ? templ : "";
        ::chmod(root_.c_str(), 0755);
        for (const std::string& dir : {work(), files(), root_ + "/home"}) {
            std::filesystem::create_directory(dir);
            ::chmod(dir.c_str(), 0755);
        }
        ::chmod((root_ + "/home").c_str(), 0777);
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    const std::string& root() const { return root_; }
    std::string work() const { return root_ + "/work"; }
    std::string files() const { return root_ + "/files"; }
    std::string inWork(const std::string& name) const { return work() + "/" + name; }
    std::string inFiles(const std::string& name) const { return files() + "/" + name; }

private:
    std::string root_;
};

// A program path that user `uid` can run: the built one when it can reach it and the link
// library, else copies in `folder` (the library found through LD_LIBRARY_PATH, as the build's
// own run path points into the unreachable tree).
inline std::string ReachableBinary(const std::string& binary, int uid, const Folder& folder,
                                   EnvChanges& env) {
    const std::string id = std::to_string(uid);
    const Output check = RunCommand({"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups",
                                     "test", "-x", binary, "-a", "-r", RAVIK_LINK_LIB},
                                    MakeEnv({}));
    if (check.status == 0)
        return binary;
    namespace fs = std::filesystem;
    const fs::path bin = fs::path(folder.root()) / "bin", lib = fs::path(folder.root()) / "lib";
    fs::create_directories(bin);
    fs::create_directories(lib);
    const fs::path copy = bin / fs::path(binary).filename();
    fs::copy_file(binary, copy, fs::copy_options::overwrite_existing);
    fs::copy_file(RAVIK_LINK_LIB, lib / RAVIK_LINK_SONAME, fs::copy_options::overwrite_existing);
    for (const fs::path& p : {bin, lib, copy, lib / RAVIK_LINK_SONAME})
        ::chmod(p.c_str(), 0755);
    env.push_back({"LD_LIBRARY_PATH", lib.string()});
    return copy.string();
}

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

// The number of points a controller holds after receiving `log`: every upload line stores one
// (at most 10,001), "X" clears them. Data commands that start with a letter ("T...", "GP...")
// are passed over to their carriage return.
inline int StoredPoints(std::string_view log) {
    int points = 0;
    for (size_t i = 0; i < log.size(); ++i) {
        const char c = log[i];
        const bool dataCommand = c == 'T' || (c == 'G' && i + 1 < log.size() && log[i + 1] == 'P');
        if (std::isdigit(static_cast<unsigned char>(c)) || dataCommand) {
            const size_t end = log.find('\r', i);
            if (end == std::string_view::npos)
                break;
            if (!dataCommand && points < 10001)
                ++points;
            i = end;
        } else if (c == 'X') {
            points = 0;
        }
    }
    return points;
}

// The "Points N" of a status line; -1 when there is none.
inline int PointsShown(const std::string& status) {
    const auto at = status.find("Points ");
    return at == std::string::npos ? -1 : std::atoi(status.c_str() + at + 7);
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

enum class Which { Skypass, Handpoint };

inline const char* NameOf(Which which) {
    return which == Which::Skypass ? "skypass" : "handpoint";
}
inline void PrintTo(Which which, std::ostream* os) {
    *os << NameOf(which);
}

// One operator's desk: a folder, a display, the simulator, and the programs started there.
class Session {
public:
    Session() {
        missing_ = MissingTools();
        ready_ = missing_.empty() && !folder.root().empty() && desktop.start(folder.root());
    }
    // Why the desk could not be set up; empty when it is ready.
    std::string problem() const {
        if (!missing_.empty())
            return "missing Debian packages:" + missing_;
        return ready_ ? std::string() : "cannot start Xvfb";
    }

    bool startSim(const std::vector<std::string>& extra = {}) {
        return sim.start(folder.work(), 1, extra);
    }
    void settings(std::string_view content, mode_t mode = 0644) {
        WriteFile(folder.inWork("Ravik.ini"), content, mode);
    }
    std::string settings() const { return ReadFile(folder.inWork("Ravik.ini")); }
    // A pass file in files/; returns its path.
    std::string passFile(const std::string& name, std::string_view content, mode_t mode = 0644) {
        const std::string path = folder.inFiles(name);
        WriteFile(path, content, mode);
        return path;
    }
    std::string sample(const std::string& name) {
        return passFile(name,
                        ReadFile(std::string(RAVIK_SOURCE_DIR) + "/uploader/samples/" + name));
    }

    // Starts a program in work/ and waits for its window; null, with problem text in `why`,
    // when it does not come up.
    std::unique_ptr<Program> start(Which which, Launch how = {}) {
        std::string binary = which == Which::Skypass ? SKYPASS_PATH : HANDPOINT_PATH;
        if (how.uid != 0)
            binary = ReachableBinary(binary, how.uid, folder, how.env);
        auto program =
            std::make_unique<Program>(desktop, which == Which::Skypass ? skypass::UploaderLayout()
                                                                       : handpoint::ManualLayout());
        if (!program->start(binary, folder.work(), how)) {
            why = program->error();
            return nullptr;
        }
        return program;
    }

    // What the simulator received, once at least `count` bytes are there (bounded).
    std::string received(size_t count = 0, int ms = 15000) const {
        return sim.waitReceived(count, ms);
    }
    // Waits until what the simulator received contains `marker` (bounded).
    std::string receivedUntil(const std::string& marker, int ms = 15000) const {
        const auto deadline = After(ms);
        std::string log = sim.received();
        while (log.find(marker) == std::string::npos && msLeft(deadline) > 0) {
            SleepMs(20);
            log = sim.received();
        }
        return log;
    }

    Folder folder;
    Desktop desktop;
    SimProcess sim;
    std::string why;

private:
    std::string missing_;
    bool ready_ = false;
};

} // namespace ravik::e2e
