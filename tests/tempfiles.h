#pragma once
#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QString>
#include <algorithm>
#include <cstring>
#include <functional>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

// Writes `bytes` to `path`, replacing it; returns the path.
inline QString WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
    return path;
}

// Permission bits do not bind root, and CI runs as root: there `check` runs in a child that has
// become nobody, and its result comes back through a pipe.
inline QString AsNobody(const std::function<QString()>& check) {
    if (geteuid() != 0)
        return check();
    int fd[2];
    if (pipe(fd) != 0)
        return "no pipe";
    const pid_t pid = fork();
    if (pid == 0) {
        const bool dropped = setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
        const QByteArray out = dropped ? check().toUtf8() : "cannot become nobody";
        _exit(write(fd[1], out.constData(), size_t(out.size())) == out.size() ? 0 : 1);
    }
    close(fd[1]);
    QByteArray got;
    char buf[512];
    for (ssize_t n; (n = read(fd[0], buf, sizeof buf)) > 0;)
        got.append(buf, n);
    close(fd[0]);
    waitpid(pid, nullptr, 0);
    return QString::fromUtf8(got);
}

// Input made up as it is read, never held: `head`, then `fill` bytes of 'a', then the end of the
// input or, with `failAtEnd`, a read error.
class GeneratedDevice : public QIODevice {
public:
    GeneratedDevice(QByteArray head, qint64 fill, bool failAtEnd = false)
        : head_(std::move(head)), fill_(fill), fail_(failAtEnd) {
        open(ReadOnly | Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* out, qint64 max) override {
        const qint64 n = std::min<qint64>(max, head_.size()), f = std::min(max - n, fill_);
        memcpy(out, head_.constData(), size_t(n));
        head_.remove(0, n);
        std::fill_n(out + n, f, 'a');
        fill_ -= f;
        return n + f == 0 && fail_ ? -1 : n + f;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray head_;
    qint64 fill_;
    bool fail_;
};
