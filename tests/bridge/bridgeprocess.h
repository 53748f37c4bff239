#pragma once
// Child processes and TCP clients for the bridge's end-to-end tests: loopback only, every wait
// bounded.
#include "simprocess.h"
#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <utility>

namespace ravik::test {

// A program started in a folder, its stdout and stderr read until a marker.
class Process {
public:
    ~Process() { stop(); }
    bool start(const std::vector<std::string>& args, const std::string& dir,
               std::string_view marker) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc =
            posix_spawnp(&pid_, args[0].c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (rc != 0)
            pid_ = -1;
        else
            output = readUntil(out[0], marker);
        out_ = out[0];
        return pid_ > 0 && output.find(marker) != std::string::npos;
    }
    // Sends `sig` and waits (killing at the deadline); the exit status or -1.
    int stop(int sig = SIGTERM) {
        if (out_ >= 0)
            ::close(std::exchange(out_, -1));
        if (pid_ <= 0)
            return -1;
        ::kill(pid_, sig);
        const auto deadline = SimClock::now() + std::chrono::seconds(10);
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (msLeft(deadline) == 0) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string output;
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

inline int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), len);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// One rotctld client over 127.0.0.1.
class Client {
public:
    explicit Client(int port) {
        for (int i = 0; i < 200 && fd_ < 0; ++i) { // the server may still be starting
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(uint16_t(port));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
                fd_ = fd;
            else
                ::close(fd), std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    ~Client() { ::close(fd_); }
    bool send(std::string_view bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    }
    // Reads until `lines` line ends arrived, the peer closed (marked "<EOF>") or 10 s passed.
    std::string read(size_t lines, int deadlineMs = 10000) {
        std::string got;
        const auto deadline = SimClock::now() + std::chrono::milliseconds(deadlineMs);
        while (size_t(std::count(got.begin(), got.end(), '\n')) < lines) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, msLeft(deadline)) <= 0)
                break;
            char buf[4096];
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0)
                return got + "<EOF>";
            got.append(buf, size_t(n));
        }
        return got;
    }
    std::string ask(std::string_view line, size_t lines, int deadlineMs = 10000) {
        send(line);
        return read(lines, deadlineMs);
    }

private:
    int fd_ = -1;
};

} // namespace ravik::test
