#pragma once
#include <QFile>
#include <algorithm>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

// Writes `bytes` to `path`, replacing it; returns the path.
inline QString WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    (void)(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes));
    return path;
}

// Permission bits do not bind root, and CI runs as root: there `check` (returning a QString) runs
// in a child that has become nobody, and its result comes back through a pipe.
template <class Check> QString AsNobody(const Check& check) {
    int fd[2];
    if (geteuid() != 0 || pipe(fd) != 0)
        return geteuid() != 0 ? check() : QString("no pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        const bool dropped = setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
        const QByteArray out = dropped ? check().toUtf8() : "cannot become nobody";
        _exit(write(fd[1], out.constData(), size_t(out.size())) == out.size() ? 0 : 1);
    }
    QFile in;
    close(fd[1]), in.open(fd[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    const QString got = QString::fromUtf8(in.readAll());
    in.close(), waitpid(pid, nullptr, 0);
    return got;
}

// Input made up as it is read, never held: `head`, then `fill` bytes of 'a', then the end of the
// input or, with `failAtEnd`, a read error.
class GeneratedDevice : public QIODevice {
    QByteArray head_;
    qint64 fill_;
    bool fail_;

public:
    GeneratedDevice(QByteArray head, qint64 fill, bool failAtEnd = false)
        : head_(std::move(head)), fill_(fill), fail_(failAtEnd) {
        open(ReadOnly | Unbuffered);
    }
    bool isSequential() const override { return true; }
    qint64 readData(char* out, qint64 max) override {
        const qint64 n = std::min<qint64>(max, head_.size()), f = std::min(max - n, fill_);
        std::fill_n(std::copy_n(head_.constData(), n, out), f, 'a');
        head_.remove(0, n), fill_ -= f;
        return n + f == 0 && fail_ ? -1 : n + f;
    }
    qint64 writeData(const char*, qint64) override { return -1; }
};
