#include "errors.h"
#include "settings.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ravik;

namespace {

const QByteArray Default = "Comm Port 1\r\n";
constexpr int Threw = 99;

// A directory under /tmp that the unprivileged user can traverse.
struct Folder {
    QTemporaryDir dir{"/tmp/ravik-settings-XXXXXX"};
    QString ini = dir.filePath("Ravik.ini");
    Folder() { chmod(QFile::encodeName(dir.path()).constData(), 0755); }
    ~Folder() {
        chmod(QFile::encodeName(dir.path()).constData(), 0755);
        if (QFileInfo(ini).isFile())
            chmod(QFile::encodeName(ini).constData(), 0644);
    }
    void write(const QByteArray& bytes, mode_t mode = 0644) const {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        chmod(QFile::encodeName(ini).constData(), mode);
    }
    std::optional<QByteArray> read() const {
        QFile f(ini);
        if (!f.open(QIODevice::ReadOnly))
            return std::nullopt;
        return f.readAll();
    }
};

// The port rounded for the exit code, or Threw.
int PortOrThrew(const QString& path) {
    try {
        TokenList tokens;
        return int(ReadPortSetting(tokens, path));
    } catch (const RunTimeError&) {
        return Threw;
    }
}

// Permission bits do not bind root, and CI runs as root: the check then runs in a child that
// has become nobody. Its result comes back as the exit code.
int RunUnprivileged(const std::function<int()>& check) {
    if (geteuid() != 0)
        return check();
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            _exit(250);
        _exit(check());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 251;
}

} // namespace

TEST(Settings, FirstLineTable) {
    QByteArray huge = "Comm Port 6" + QByteArray(40000, ' ') + "extra";
    huge += QByteArray(1 << 20, 'z');
    const struct {
        const char* name;
        std::optional<QByteArray> before; // nullopt: no file
        double port;
        bool rewritten;
    } rows[] = {
        {"default line", Default, 1, false},
        {"port 3", "Comm Port 3\r\n", 3, false},
        {"colon separates", "Comm Port: 3\r\n", 3, false},
        {"other words", "Serial Line 4\r\n", 4, false},
        {"trailing letters", "Comm Port 3rd\r\n", 3, false},
        {"fraction", "Comm Port 2.5\r\n", 2.5, false},
        {"lone sign joins", "Comm Port - 2\r\n", -2, false},
        {"not a number", "Comm Port COM3\r\n", 0, false},
        {"exponent", "Comm Port 1e1\r\n", 10, false},
        {"one token", "COM3\r\n", 1, false},
        {"two tokens", "Port 3\r\n", 1, false},
        {"four tokens", "Comm Port 3 fast\r\n", 1, false},
        {"empty first line", "\r\nComm Port 3\r\n", 1, false},
        {"line feeds only", "Comm Port 3\nComm Port 4\n", 1, false},
        {"no terminator", "Comm Port 5", 5, false},
        {"second line ignored", "Comm Port 7\r\nComm Port 8\r\n", 7, false},
        {"binary",
         QByteArray("\x00\xFF\x01"
                    "Comm\x80Port\x02 9\r\x00\xFE\n\r",
                    20),
         9, false},
        {"huge single line is capped", huge, 6, false},
        {"too large for a double", "Comm Port 1e400\r\n", 1, true},
        {"no file", std::nullopt, 1, true},
        {"zero bytes", "", 1, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Folder folder;
        if (row.before)
            folder.write(*row.before);
        TokenList tokens;
        EXPECT_EQ(ReadPortSetting(tokens, folder.ini), row.port);
        EXPECT_EQ(folder.read(), row.rewritten ? Default : row.before);
    }
}

TEST(Settings, DefaultNameIsInTheWorkingDirectory) {
    Folder folder;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.dir.path()));
    TokenList tokens;
    const double port = ReadPortSetting(tokens);
    QDir::setCurrent(previous);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(folder.read(), Default);
}

TEST(Settings, DirectoryNamedLikeTheFileThrowsAndStays) {
    Folder folder;
    ASSERT_TRUE(QDir(folder.dir.path()).mkpath("Ravik.ini/inner"));
    EXPECT_EQ(PortOrThrew(folder.ini), Threw);
    EXPECT_TRUE(QFileInfo(folder.ini + "/inner").isDir());
}

TEST(Settings, PermissionTable) {
    const struct {
        const char* name;
        std::optional<QByteArray> before;
        mode_t fileMode;
        mode_t dirMode;
        int result;
        std::optional<QByteArray> after;
    } rows[] = {
        {"read-only folder, no file", std::nullopt, 0, 0555, Threw, std::nullopt},
        {"unreadable file is rewritten", "Comm Port 3\r\n", 0222, 0755, 1, Default},
        {"unreadable, unwritable file", "Comm Port 3\r\n", 0, 0555, Threw, "Comm Port 3\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Folder folder;
        if (row.before)
            folder.write(*row.before, row.fileMode);
        chmod(QFile::encodeName(folder.dir.path()).constData(), row.dirMode);
        const QString ini = folder.ini;
        EXPECT_EQ(RunUnprivileged([&] { return PortOrThrew(ini); }), row.result);
        chmod(QFile::encodeName(folder.ini).constData(), 0644);
        EXPECT_EQ(folder.read(), row.after);
    }
}
