#include "errors.h"
#include "settings.h"
#include "tempfiles.h"
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace ravik;

namespace {

mode_t TypeOf(const QString& path) {
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

} // namespace

// `before` is the file's content, or "<none>" (no file; "<cwd>": none, read through the default
// name in the working directory), "<dir>", "<fifo>" or "<dev>" (a link to /dev/null): those three
// are no regular files and must stay as they are, never opened, read or written over. `port` is
// the port read, "*" when the file is then rewritten with the default (else it is unchanged), or
// "threw". Rows with other modes than 0644/0755 run as an unprivileged user: an unreadable file
// is rewritten where the folder allows it. A lone sign joins the number.
TEST(Settings, FirstLineTable) {
    const QByteArray Default = "Comm Port 1\r\n", Three = "Comm Port 3\r\n";
    const QByteArray huge = "Comm Port 6" + QByteArray(40000, ' ') + "x" + QByteArray(1 << 20, 'z');
    const QByteArray binary("\0\xFF\001Comm\x80Port\002 9\r\0\xFE\n\r", 20);
    // clang-format off
    const struct {
        QByteArray before;
        QString port;
        mode_t fileMode = 0644, dirMode = 0755;
    } rows[] = {
        {Default, "1"}, {Three, "3"}, {"Comm Port: 3\r\n", "3"}, {"Serial Line 4\r\n", "4"},
        {"Comm Port 3rd\r\n", "3"}, {"Comm Port 2.5\r\n", "2.5"}, {"Comm Port 40000\r\n", "40000"},
        {"Comm Port - 2\r\n", "-2"}, {"Comm Port COM3\r\n", "0"}, {"Comm Port 1e1\r\n", "10"},
        {"COM3\r\n", "1"}, {"Port 3\r\n", "1"}, {"Comm Port 3 fast\r\n", "1"},
        {"\r\nComm Port 3\r\n", "1"}, {"Comm Port 3\nComm Port 4\n", "1"}, {"Comm Port 5", "5"},
        {"Comm Port 7\r\nComm Port 8\r\n", "7"}, {binary, "9"}, {huge, "6"},
        {"Comm Port 1e400\r\n", "1*"}, {"<none>", "1*"}, {"", "1*"}, {"<cwd>", "1*"},
        {"<dir>", "threw"}, {"<fifo>", "threw"}, {"<dev>", "threw"}, {"<none>", "threw", 0, 0555},
        {Three, "1*", 0222, 0755}, {Three, "threw", 0, 0555}};
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.before.left(30).toStdString());
        QTemporaryDir dir("/tmp/ravik-settings-XXXXXX"); // nobody can reach /tmp
        const QString ini = dir.filePath("Ravik.ini");
        const QByteArray path = QFile::encodeName(ini), folder = QFile::encodeName(dir.path());
        const bool none = row.before == "<none>" || row.before == "<cwd>";
        const bool special = row.before.startsWith('<') && !none;
        if (row.before == "<dir>")
            QDir(dir.path()).mkpath("Ravik.ini/inner");
        else if (row.before == "<fifo>")
            mkfifo(path.constData(), 0644);
        else if (row.before == "<dev>")
            QFile::link("/dev/null", ini);
        else if (!none)
            chmod(QFile::encodeName(WriteFile(ini, row.before)).constData(), row.fileMode);
        const mode_t type = TypeOf(ini);
        chmod(folder.constData(), row.dirMode);
        const QString previous = QDir::currentPath();
        QDir::setCurrent(row.before == "<cwd>" ? dir.path() : previous);
        const auto run = [&] {
            try {
                TokenList tokens;
                return QString::number(row.before == "<cwd>" ? ReadPortSetting(tokens)
                                                             : ReadPortSetting(tokens, ini));
            } catch (const RunTimeError&) {
                return QStringLiteral("threw");
            }
        };
        const bool rewritten = row.port.endsWith('*');
        EXPECT_EQ(row.fileMode != 0644 || row.dirMode != 0755 ? AsNobody(run) : run(),
                  rewritten ? row.port.chopped(1) : row.port);
        QDir::setCurrent(previous);
        chmod(folder.constData(), 0755);
        EXPECT_EQ(TypeOf(ini), special ? type : none && !rewritten ? 0 : S_IFREG);
        if (special)
            continue;
        chmod(path.constData(), 0644);
        QFile after(ini);
        after.open(QIODevice::ReadOnly);
        EXPECT_EQ(after.readAll(), rewritten ? Default : none ? "" : row.before);
    }
}
