#include "errors.h"
#include "settings.h"
#include "tempfiles.h"
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

using namespace ravik;

namespace {

const QByteArray Default = "Comm Port 1\r\n";
// Not regular files: none may be opened, read or written over.
const QByteArray Dir = "<a directory>", Fifo = "<a FIFO>", Device = "<a link to /dev/null>";

mode_t TypeOf(const QString& path) {
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

std::optional<QByteArray> Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? std::optional(f.readAll()) : std::nullopt;
}

} // namespace

// `before` is the file's content (nullopt: no file; Dir, Fifo, Device: such a thing named like
// it, which must stay as it is); rows with
// other modes than 0644/0755 run as an unprivileged user. Afterwards the file holds the default
// when `rewritten`, else it is unchanged.
TEST(Settings, FirstLineTable) {
    const QByteArray huge = "Comm Port 6" + QByteArray(40000, ' ') + "x" + QByteArray(1 << 20, 'z');
    const struct {
        std::optional<QByteArray> before;
        QString port; // or "threw"
        bool rewritten = false;
        mode_t fileMode = 0644, dirMode = 0755;
        bool inWorkingDirectory = false; // read through the default name
    } rows[] = {
        {Default, "1"},
        {"Comm Port 3\r\n", "3"},
        {"Comm Port: 3\r\n", "3"},
        {"Serial Line 4\r\n", "4"},
        {"Comm Port 3rd\r\n", "3"},
        {"Comm Port 2.5\r\n", "2.5"},
        {"Comm Port 40000\r\n", "40000"},
        {"Comm Port - 2\r\n", "-2"}, // a lone sign joins the number
        {"Comm Port COM3\r\n", "0"},
        {"Comm Port 1e1\r\n", "10"},
        {"COM3\r\n", "1"},
        {"Port 3\r\n", "1"},
        {"Comm Port 3 fast\r\n", "1"},
        {"\r\nComm Port 3\r\n", "1"},
        {"Comm Port 3\nComm Port 4\n", "1"},
        {"Comm Port 5", "5"},
        {"Comm Port 7\r\nComm Port 8\r\n", "7"},
        {QByteArray("\0\xFF\001Comm\x80Port\002 9\r\0\xFE\n\r", 20), "9"},
        {huge, "6"},
        {"Comm Port 1e400\r\n", "1", true},
        {std::nullopt, "1", true},
        {"", "1", true},
        {std::nullopt, "1", true, 0644, 0755, true},
        {Dir, "threw"},
        {Fifo, "threw"},
        {Device, "threw"},
        {std::nullopt, "threw", false, 0, 0555},      // read-only folder
        {"Comm Port 3\r\n", "1", true, 0222, 0755},   // unreadable file is rewritten
        {"Comm Port 3\r\n", "threw", false, 0, 0555}, // unreadable and unwritable
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.before.value_or("(none)").left(30).toStdString());
        QTemporaryDir dir("/tmp/ravik-settings-XXXXXX"); // nobody can reach /tmp
        const QString ini = dir.filePath("Ravik.ini");
        const bool special = row.before == Dir || row.before == Fifo || row.before == Device;
        if (row.before == Dir)
            QDir(dir.path()).mkpath("Ravik.ini/inner");
        else if (row.before == Fifo)
            mkfifo(QFile::encodeName(ini).constData(), 0644);
        else if (row.before == Device)
            QFile::link("/dev/null", ini);
        else if (row.before)
            WriteFile(ini, *row.before);
        const mode_t type = TypeOf(ini);
        if (!special) // chmod would follow the link to /dev/null
            chmod(QFile::encodeName(ini).constData(), row.fileMode);
        chmod(QFile::encodeName(dir.path()).constData(), row.dirMode);
        const QString previous = QDir::currentPath();
        QDir::setCurrent(row.inWorkingDirectory ? dir.path() : previous);
        const auto run = [&] {
            try {
                TokenList tokens;
                return QString::number(row.inWorkingDirectory ? ReadPortSetting(tokens)
                                                              : ReadPortSetting(tokens, ini));
            } catch (const RunTimeError&) {
                return QStringLiteral("threw");
            }
        };
        EXPECT_EQ(row.fileMode != 0644 || row.dirMode != 0755 ? AsNobody(run) : run(), row.port);
        QDir::setCurrent(previous);
        chmod(QFile::encodeName(dir.path()).constData(), 0755);
        if (special) {
            EXPECT_EQ(TypeOf(ini), type);
            continue;
        }
        chmod(QFile::encodeName(ini).constData(), 0644);
        EXPECT_EQ(Read(ini), row.rewritten ? Default : row.before);
    }
}
