// ravik-sim: serves the controller model on a pseudo-terminal published as DIR/COM<N>.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "controllermodel.h"
#include "pacing.h"
#include "simoptions.h"

using namespace ravik::sim;

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) {
    stopRequested = 1;
}

double monotonicMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

int fail(const std::string& message) {
    std::fprintf(stderr, "ravik-sim: %s\n", message.c_str());
    return 1;
}

std::string errnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

struct Pty {
    int master = -1;
    int slave = -1; // our own handle: the terminal outlives programs that open and close it
    std::string name;
    termios raw{};
};

bool openPty(Pty& pty, std::string& error) {
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0) {
        error = errnoText("cannot create a pseudo-terminal");
        return false;
    }
    char name[128];
    if (ptsname_r(pty.master, name, sizeof name) != 0) {
        error = errnoText("cannot name the pseudo-terminal");
        return false;
    }
    pty.name = name;
    pty.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (pty.slave < 0 || tcgetattr(pty.slave, &tio) != 0) {
        error = errnoText("cannot open " + pty.name);
        return false;
    }
    // Raw, or the line discipline would echo our replies back to us and mangle CR.
    cfmakeraw(&tio);
    cfsetspeed(&tio, B9600);
    pty.raw = tio;
    if (tcsetattr(pty.slave, TCSANOW, &tio) != 0) {
        error = errnoText("cannot set up " + pty.name);
        return false;
    }
    const int flags = fcntl(pty.master, F_GETFL);
    fcntl(pty.master, F_SETFL, flags | O_NONBLOCK);
    return true;
}

// Counts the programs that have the terminal open, from the open and close events of its node.
// Our own handle keeps the terminal alive, so what a program leaves behind would greet the next
// one: the exclusive-use flag (TIOCEXCL) of a program that died holding the port, which locks
// every later non-root program out, its terminal settings, and replies nobody read.
class OpenWatch {
public:
    explicit OpenWatch(const std::string& node) {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ >= 0 && inotify_add_watch(fd_, node.c_str(), IN_OPEN | IN_CLOSE) < 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~OpenWatch() {
        if (fd_ >= 0)
            close(fd_);
    }
    int fd() const { return fd_; }

    // Takes the pending events; true when the last program has just let go of the terminal.
    bool lastClosed() {
        alignas(inotify_event) char buf[4096];
        bool closed = false, lost = false;
        ssize_t n;
        while ((n = read(fd_, buf, sizeof buf)) > 0) {
            for (ssize_t i = 0; i + ssize_t(sizeof(inotify_event)) <= n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buf + i);
                if (e->mask & IN_OPEN)
                    ++openers_;
                if (e->mask & IN_CLOSE) {
                    openers_ = std::max(openers_ - 1, 0);
                    closed = true;
                }
                lost = lost || (e->mask & IN_Q_OVERFLOW);
                i += ssize_t(sizeof(inotify_event)) + e->len;
            }
        }
        return closed && openers_ == 0 && !lost;
    }

private:
    int fd_ = -1;
    int openers_ = 0;
};

// Publishes the link atomically, replacing an older link but never a file that is not one.
bool publishLink(const std::string& dir, const std::string& link, const std::string& target,
                 std::string& error) {
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = "the folder " + dir + " does not exist";
        return false;
    }
    if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = link + " exists and is not a symbolic link; not replacing it";
        return false;
    }
    const std::string temp = link + ".tmp" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(target.c_str(), temp.c_str()) != 0) {
        error = errnoText("cannot create a link in the folder " + dir);
        return false;
    }
    if (rename(temp.c_str(), link.c_str()) != 0) {
        error = errnoText("cannot publish " + link);
        unlink(temp.c_str());
        return false;
    }
    return true;
}

// Removes the link unless a newer simulator has taken the name meanwhile.
void removeLink(const std::string& link, const std::string& target) {
    char buf[256];
    const ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    if (n >= 0 && std::string(buf, size_t(n)) == target)
        unlink(link.c_str());
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const ParsedOptions parsed = parseSimArguments(args);
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "ravik-sim: %s\nTry ravik-sim --help\n", qPrintable(parsed.error));
        return 2;
    }
    const SimOptions& opt = parsed.options;
    if (opt.help) {
        std::fputs(qPrintable(simUsage()), stdout);
        return 0;
    }

    struct sigaction sa {};
    sa.sa_handler = onSignal; // no SA_RESTART: poll must return so the loop can clean up
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    int logFd = -1;
    if (!opt.logFile.isEmpty()) {
        logFd = open(opt.logFile.toLocal8Bit().constData(),
                     O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (logFd < 0)
            return fail(errnoText("cannot open the log " + opt.logFile.toStdString()));
    }

    Pty pty;
    std::string error;
    if (!openPty(pty, error))
        return fail(error);
    OpenWatch watch(pty.name); // before the link exists, so no program's opening goes unseen
    const std::string dir = opt.dir.toLocal8Bit().toStdString();
    const std::string linkName = "COM" + std::to_string(opt.port);
    const std::string link = dir + "/" + linkName;
    // Chatter is on the line before anyone can open it, as if left over from an earlier run;
    // written later, it could race with a program's discarding of old input.
    for (qsizetype done = 0; done < opt.chatter.size();) {
        const ssize_t n =
            write(pty.master, opt.chatter.constData() + done, size_t(opt.chatter.size() - done));
        if (n <= 0)
            return fail(errnoText("cannot write the chatter"));
        done += n;
    }
    if (!publishLink(dir, link, pty.name, error))
        return fail(error);
    std::printf("ravik-sim: %s -> %s\n", linkName.c_str(), pty.name.c_str());
    std::fflush(stdout);

    const double msPerChar = opt.baud ? MsPerCharAt9600 : 0.0;
    const double start = monotonicMs();
    auto now = [&] { return monotonicMs() - start; };
    ControllerModel model(opt.controller, 0);
    OutputQueue output(opt.pieceGapMs, msPerChar);
    LinePacer input(msPerChar);
    QByteArray unwritten; // released by the pacer, not yet taken by the terminal

    int status = 0;
    bool skipRead = false;
    // --read-stall: bytes are taken one at a time until the first upload line is complete, so
    // nothing after it has been read when the stall begins.
    bool stallArmed = opt.readStallMs >= 0;
    double stallUntil = -1;
    while (!stopRequested) {
        double t = now();
        output.push(model.advance(qint64(t)), t);
        if (unwritten.size() < 4096)
            unwritten += output.take(t);
        if (!unwritten.isEmpty()) {
            const ssize_t n = write(pty.master, unwritten.constData(), size_t(unwritten.size()));
            if (n > 0)
                unwritten.remove(0, n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                unwritten.clear(); // the line is gone; nobody will read these
        }

        double waitMs = 20.0; // the rotors move even when nobody talks
        if (unwritten.isEmpty()) {
            if (const auto next = output.nextMs(t))
                waitMs = std::min(waitMs, *next - t);
        }
        const bool stalled = t < stallUntil;
        const bool mayRead = input.allowance(t) > 0 && !skipRead && !stalled;
        if (stalled)
            waitMs = std::min(waitMs, stallUntil - t);
        else if (!mayRead && !skipRead)
            waitMs = std::min(waitMs, input.nextMs(t) - t);
        skipRead = false;
        const short events = short((mayRead ? POLLIN : 0) | (unwritten.isEmpty() ? 0 : POLLOUT));
        // With nothing to wait for on the terminal, only sleep: a hung-up terminal reports
        // POLLHUP whatever we ask for, which would spin the loop.
        pollfd fds[2] = {{events != 0 ? pty.master : -1, events, 0}, {watch.fd(), POLLIN, 0}};
        pollfd& pfd = fds[0];
        waitMs = std::max(waitMs, 0.0);
        const timespec ts{time_t(waitMs / 1000.0),
                          long(std::fmod(waitMs, 1000.0) * 1e6)}; // sub-millisecond for --baud
        const int ready = ppoll(fds, 2, &ts, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            status = fail(errnoText("poll failed"));
            break;
        }
        if (pfd.revents & POLLIN) {
            char buf[4096];
            const size_t want =
                stallArmed ? 1
                           : size_t(std::min<qsizetype>(qsizetype(sizeof buf), input.allowance(t)));
            const ssize_t n = read(pty.master, buf, want);
            if (n > 0) {
                t = now();
                input.consumed(n, t);
                if (logFd >= 0 && !writeAll(logFd, buf, size_t(n)))
                    std::fprintf(stderr, "ravik-sim: %s\n", errnoText("log write failed").c_str());
                output.push(model.receive(QByteArrayView(buf, n), qint64(t)), t);
                model.takeReceived(); // the log keeps the record; no growing copy here
                if (stallArmed && model.uploadLinesAccepted() > 0) {
                    stallArmed = false;
                    stallUntil = t + opt.readStallMs;
                }
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                skipRead = true; // e.g. EIO: wait a round instead of spinning
            }
        } else if (pfd.revents & (POLLHUP | POLLERR)) {
            skipRead = true;
        }
        if ((fds[1].revents & POLLIN) && watch.lastClosed()) {
            // Like a line nobody listens on: replies not read are gone, the port is free again.
            // What the program sent before leaving still reaches the controller.
            output.clear();
            unwritten.clear();
            tcflush(pty.slave, TCIFLUSH);
            tcsetattr(pty.slave, TCSANOW, &pty.raw);
            ioctl(pty.slave, TIOCNXCL);
        }
    }

    removeLink(link, pty.name);
    if (logFd >= 0)
        close(logFd);
    close(pty.slave);
    close(pty.master);
    return status;
}
