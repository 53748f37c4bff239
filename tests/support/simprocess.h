#pragma once
// Starts the ravik-sim binary (or, with run(), any program) for a test or a benchmark and hands
// out its port, without an event loop.
// Include as "simprocess.h"; the target needs add_dependencies(<target> ravik-sim).
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace ravik::test {

#ifdef RAVIK_SIM_PATH
inline constexpr const char* SimBinary = RAVIK_SIM_PATH;
#else
inline constexpr const char* SimBinary = RAVIK_BINARY_DIR "/sim/ravik-sim";
#endif

using SimClock = std::chrono::steady_clock;

inline int msLeft(SimClock::time_point deadline) {
    using namespace std::chrono;
    return int(
        std::max<long long>(0, duration_cast<milliseconds>(deadline - SimClock::now()).count()));
}

// Opens a port the way the programs do: read/write, not as controlling terminal, raw. -1 on
// failure.
inline int openRawPort(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (fd >= 0 && tcgetattr(fd, &tio) == 0)
        cfmakeraw(&tio), tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

inline bool writeBytes(int fd, std::string_view bytes) {
    for (ssize_t n = 0; !bytes.empty(); bytes.remove_prefix(size_t(std::max<ssize_t>(n, 0))))
        if ((n = ::write(fd, bytes.data(), bytes.size())) <= 0 && errno != EINTR)
            return false;
    return true;
}

// Reads until the collected bytes contain `marker`, the line goes away, or the deadline passes
// (a bound against hanging, not a timing check). Returns everything collected.
inline std::string readUntil(int fd, std::string_view marker, int deadlineMs = 10000) {
    std::string got;
    const auto deadline = SimClock::now() + std::chrono::milliseconds(deadlineMs);
    while (got.find(marker) == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, msLeft(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        char buf[512];
        const ssize_t n = r > 0 && (p.revents & POLLIN) ? ::read(fd, buf, sizeof buf) : 0;
        if (n <= 0)
            break;
        got.append(buf, size_t(n));
    }
    return got;
}

class SimProcess {
public:
    SimProcess() = default;
    SimProcess(const SimProcess&) = delete;
    ~SimProcess() { stop(); }

    // Starts the simulator serving DIR/COM<port>, logging what it receives to DIR/COM<port>.log,
    // and waits for its announcement. False, with error(), when it does not announce itself.
    bool start(const std::string& dir, int port = 1, const std::vector<std::string>& extra = {},
               int deadlineMs = 10000) {
        device_ = dir + "/COM" + std::to_string(port);
        log_ = device_ + ".log";
        std::vector<std::string> args{SimBinary, "--dir", dir, "--port", std::to_string(port),
                                      "--log",   log_};
        args.insert(args.end(), extra.begin(), extra.end());
        return spawn(args, deadlineMs);
    }

    // Starts the simulator with exactly these arguments (for tests of its own command line).
    bool spawn(const std::vector<std::string>& args, int deadlineMs = 10000) {
        const int out = launch(args, "", false);
        if (out < 0)
            return false;
        announcement_ = readUntil(out, "\n", deadlineMs);
        const auto arrow = announcement_.find(" -> ");
        if (arrow != std::string::npos && announcement_.back() == '\n') {
            ::close(out); // it prints nothing more
            pts_ = announcement_.substr(arrow + 4, announcement_.size() - arrow - 5);
            return true;
        }
        // It is ending on its own (usage error, help text): take the rest and its status.
        announcement_ += readUntil(out, std::string_view("\0\0", 2), deadlineMs);
        ::close(out);
        exitStatus_ = waitExit(deadlineMs);
        return setError("no announcement; exit status " + std::to_string(exitStatus_));
    }

    // Starts any program (looked up in PATH) in `dir`, its stdout and stderr on one pipe that
    // stays open while it runs, and waits until what it printed, kept as announcement(),
    // contains `marker`. Stopped as the simulator is.
    bool run(const std::vector<std::string>& args, const std::string& dir, std::string_view marker,
             int deadlineMs = 10000) {
        if ((keptOut_ = launch(args, dir, true)) < 0)
            return false;
        announcement_ = readUntil(keptOut_, marker, deadlineMs);
        return announcement_.find(marker) != std::string::npos || setError(announcement_);
    }

    const std::string& devicePath() const { return device_; } // the link programs open
    const std::string& ptsPath() const { return pts_; }
    // The line it printed (or, when it ended at once, everything it printed).
    const std::string& announcement() const { return announcement_; }
    const std::string& error() const { return error_; }
    int exitStatus() const { return exitStatus_; }
    pid_t pid() const { return pid_; }

    // Every byte the controller has received so far.
    std::string received() const {
        std::ifstream in(log_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Waits until at least `count` bytes were received; returns them.
    std::string waitReceived(size_t count, int deadlineMs = 10000) const {
        const auto deadline = SimClock::now() + std::chrono::milliseconds(deadlineMs);
        std::string r;
        while ((r = received()).size() < count && msLeft(deadline) > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return r;
    }

    // Asks the simulator to end (SIGTERM) and waits; its exit status, or -1 if it had to be
    // killed or was not running.
    int stop(int deadlineMs = 10000) {
        if (keptOut_ >= 0)
            ::close(keptOut_), keptOut_ = -1;
        if (pid_ > 0)
            ::kill(pid_, SIGTERM);
        return waitExit(deadlineMs);
    }

    // Waits for the simulator to end by itself, killing it at the deadline; as stop().
    int waitExit(int deadlineMs = 10000) {
        const auto deadline = SimClock::now() + std::chrono::milliseconds(deadlineMs);
        int status = 0;
        pid_t ended = 0;
        while (pid_ > 0 && (ended = ::waitpid(pid_, &status, WNOHANG)) == 0 && msLeft(deadline))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (pid_ <= 0 || ended != pid_) // not running, or still running at the deadline
            return kill(), -1;
        return pid_ = -1, WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Ends the simulator at once, like pulling the adapter: the terminal vanishes under any
    // program that has it open, and the link stays behind.
    void kill() {
        if (pid_ > 0)
            ::kill(pid_, SIGKILL), ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    // Spawns `args`; the read end of its stdout (and stderr, with `withErr`) pipe, or -1.
    int launch(const std::vector<std::string>& args, const std::string& dir, bool withErr) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return setError("pipe failed"), -1;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        if (withErr)
            posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
        if (!dir.empty())
            posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc =
            posix_spawnp(&pid_, args[0].c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (rc == 0)
            return out[0];
        ::close(out[0]);
        pid_ = -1;
        return setError("cannot start " + args[0]), -1;
    }
    bool setError(const std::string& e) { return error_ = e, false; }

    pid_t pid_ = -1;
    std::string device_, pts_, log_, announcement_, error_;
    int exitStatus_ = -1, keptOut_ = -1;
};

} // namespace ravik::test
