#include "errors.h"
#include "portname.h"
#include "settings.h"
#include "tempfiles.h"
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace ravik;

namespace {

// The port read from `ini`, or from the default name when `ini` is empty; or "threw".
QString Read(const QString& ini) try {
    Tokens tokens;
    return QString::number(ini.isEmpty() ? readPortSetting(tokens) : readPortSetting(tokens, ini));
} catch (const RunTimeError&) {
    return QStringLiteral("threw");
}

} // namespace

// `before` is the file's content, or "<none>" (no file; "<cwd>": none, read through the default
// name in the working directory), "<dir>" or "<fifo>": those two are no regular files and must stay
// as they are, never opened, read or written over. `port` is the port read, "*" when the file is
// then rewritten with the default (else it is unchanged), or "threw". Rows with other modes than
// 0644/0755 run as an unprivileged user: an unreadable file is rewritten where the folder allows
// it. A lone sign joins the number.
TEST(Settings, FirstLineTable) {
    const QByteArray Default = "Comm Port 1\r\n", Three = "Comm Port 3\r\n";
    const QByteArray huge = "Comm Port 6" + QByteArray(40000, ' ') + "x" + QByteArray(1 << 20, 'z');
    const QByteArray binary("\0\xFF\001Comm\x80Port\002 9\r\0\xFE\n\r", 20);
    // clang-format off
    const struct { QByteArray before; QString port; mode_t fileMode = 0644, dirMode = 0755; } rows[] = {
        {Default, "1"}, {Three, "3"}, {"Serial Line 4\r\n", "4"}, {"Comm Port 40000\r\n", "40000"},
        {"Comm Port - 2\r\n", "-2"}, {"Port 3\r\n", "1"}, {"Comm Port 3 fast\r\n", "1"},
        {"\r\nComm Port 3\r\n", "1"}, {"Comm Port 3\nComm Port 4\n", "1"}, {"Comm Port 5", "5"},
        {"Comm Port 7\r\nComm Port 8\r\n", "7"}, {binary, "9"}, {huge, "6"}, {"Comm Port 1e400\r\n", "1*"},
        {"<none>", "1*"}, {"", "1*"}, {"<cwd>", "1*"}, {"<dir>", "threw"}, {"<fifo>", "threw"},
        {"<none>", "threw", 0, 0555}, {Three, "1*", 0222, 0755}, {Three, "threw", 0, 0555}};
    // clang-format on
    for (const auto& row : rows) {
        QTemporaryDir dir("/tmp/ravik-settings-XXXXXX"); // nobody can reach /tmp
        const QString ini = dir.filePath("Ravik.ini"), previous = QDir::currentPath();
        const QByteArray path = QFile::encodeName(ini), folder = QFile::encodeName(dir.path());
        const bool none = row.before == "<none>" || row.before == "<cwd>",
                   special = row.before.startsWith('<') && !none;
        if (row.before == "<dir>")
            QDir(dir.path()).mkpath("Ravik.ini/inner");
        else if (row.before == "<fifo>")
            mkfifo(path.constData(), 0644);
        else if (!none)
            chmod(QFile::encodeName(WriteFile(ini, row.before)).constData(), row.fileMode);
        const auto type = [&] { return QFileInfo(ini).isFile() ? 'f' : QFileInfo::exists(ini); };
        const char before = type();
        chmod(folder.constData(), row.dirMode);
        QDir::setCurrent(row.before == "<cwd>" ? dir.path() : previous);
        const auto read = [&] { return Read(row.before == "<cwd>" ? QString() : ini); };
        const bool rewritten = row.port.endsWith('*');
        EXPECT_EQ(row.fileMode != 0644 || row.dirMode != 0755 ? AsNobody(read) : read(),
                  rewritten ? row.port.chopped(1) : row.port);
        QDir::setCurrent(previous), chmod(folder.constData(), 0755);
        EXPECT_EQ(type(), special ? before : none && !rewritten ? 0 : 'f');
        chmod(path.constData(), 0644);
        QFile after(ini);
        if (!special && after.open(QIODevice::ReadOnly)) {
            EXPECT_EQ(after.readAll(), rewritten ? Default : none ? "" : row.before);
        }
    }
}

// Without a COM<N> entry in the folder, port N is the traditional /dev/ttyS<N-1>; below 1, none.
TEST(Settings, PortNumberToDevice) {
    QTemporaryDir dir;
    EXPECT_EQ(portDevicePath(3, dir.path()), "/dev/ttyS2");
    EXPECT_EQ(portDevicePath(0, dir.path()), "");
}
