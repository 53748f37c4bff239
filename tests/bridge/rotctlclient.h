#pragma once
// A rotctld client over 127.0.0.1 for the bridge's tests and benchmark; every wait is bounded.
#include "simprocess.h"
#include <algorithm>
#include <arpa/inet.h>
#include <sys/socket.h>

namespace ravik::test {

// A TCP port on loopback that nothing listens on right now.
inline int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof a;
    const auto address = reinterpret_cast<sockaddr*>(&a);
    ::bind(fd, address, len), ::getsockname(fd, address, &len);
    return ::close(fd), ntohs(a.sin_port);
}

// One rotctld client over 127.0.0.1; the server may still be starting.
struct Client {
    int fd = -1;
    explicit Client(int port) {
        const sockaddr_in a{AF_INET, htons(uint16_t(port)), {htonl(INADDR_LOOPBACK)}, {}};
        for (int i = 0; i < 200 && fd < 0; ++i)
            if (fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
                ::close(fd), fd = -1, usleep(25000);
    }
    ~Client() { ::close(fd); }
    void send(std::string_view b) { ::send(fd, b.data(), b.size(), MSG_NOSIGNAL); }
    // Reads until `lines` line ends arrived, the peer closed (marked "<EOF>") or the deadline.
    std::string read(size_t lines, int deadlineMs = 10000) {
        std::string got;
        for (std::string m = "-"; !m.empty() && size_t(std::ranges::count(got, '\n')) < lines;)
            got += m = readUntil(fd, "\n", deadlineMs);
        char c;
        return ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0 ? got + "<EOF>" : got;
    }
    // Sends `s`, then reads as read() does.
    std::string ask(std::string_view s, size_t n, int ms = 10000) { return send(s), read(n, ms); }
};

} // namespace ravik::test
