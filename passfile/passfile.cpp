#include "passfile.h"
#include "errors.h"
#include <QFile>
#include <QFileInfo>
#include <cmath>
#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ravik {
namespace {

constexpr int MaxDetectionLines = 51;

[[noreturn]] void fail(const QString& reason) {
    throw RunTimeError(reason.toStdString());
}

// Opens the file for reading. Anything but a regular file is refused: a FIFO or a device would
// block the window or feed it an endless line. The open does not block (a FIFO without a writer
// returns at once) and the check is made on what was opened, so a name swapped for a FIFO after
// the operator chose it is refused too.
void openPassFile(QFile& file, const QString& fileName) {
    if (fileName.isEmpty()) {
        fail(QStringLiteral("no file name was given"));
    }
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(fileName).constData(),
                          O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            fail(QStringLiteral("the file does not exist"));
        }
        fail(QStringLiteral("the file cannot be opened: %1")
                 .arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
    struct stat st {};
    const bool opened = ::fstat(fd, &st) == 0;
    if (!opened || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fail(opened && S_ISDIR(st.st_mode) ? QStringLiteral("the name is a directory, not a file")
                                           : QStringLiteral("the name is not a regular file"));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        fail(QStringLiteral("the file cannot be opened: %1").arg(file.errorString()));
    }
#else
    const QFileInfo info(fileName);
    if (!info.exists()) {
        fail(QStringLiteral("the file does not exist"));
    }
    if (info.isDir()) {
        fail(QStringLiteral("the name is a directory, not a file"));
    }
    if (!info.isFile()) {
        fail(QStringLiteral("the name is not a regular file"));
    }
    file.setFileName(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("the file cannot be opened: %1").arg(file.errorString()));
    }
#endif
}

} // namespace

Detection detectFormat(LineReader& reader, Tokens& tokens) {
    Detection d;
    while (!reader.atEnd() && d.lines < MaxDetectionLines) {
        ++d.lines;
        tokens.split(reader.readLine());
        // An empty line has no tokens and counts like the line before it: first() is the first
        // token of the last line that had one, at the start of a file the settings line's or
        // the previous file's.
        const qsizetype length = tokens.first().size();
        if (length == 9) {
            ++d.nineCharacter;
            ++d.recognised;
        }
        if (length == 2) {
            ++d.twoCharacter;
            ++d.recognised;
        }
    }
    // Half of L, an exact half to the even neighbour: 51 gives 26, 49 gives 24.
    const int half = static_cast<int>(std::nearbyint(d.lines / 2.0));
    if (d.recognised > half) {
        d.format = d.nineCharacter > d.twoCharacter ? PassFormat::InstantTrack : PassFormat::Nova;
    }
    return d;
}

Detection detectPassFile(const QString& fileName, Tokens& tokens) {
    QFile file;
    openPassFile(file, fileName);
    LineReader reader(file);
    return detectFormat(reader, tokens);
}

void parsePassFile(const QString& fileName, PassFormat format, Tokens& tokens,
                   EphemerisTable& table, const MonthNames& monthNames) {
    if (format == PassFormat::Neither) {
        return;
    }
    QFile file;
    openPassFile(file, fileName);
    LineReader reader(file);
    if (format == PassFormat::InstantTrack) {
        parseInstantTrack(reader, tokens, table);
    } else {
        parseNova(reader, tokens, table, monthNames);
    }
}

PassFormat loadPassFile(const QString& fileName, Tokens& tokens, EphemerisTable& table,
                        const MonthNames& monthNames) {
    table.fileName = fileName;
    table.loaded = false;
    const PassFormat format = detectPassFile(fileName, tokens).format;
    parsePassFile(fileName, format, tokens, table, monthNames);
    return format;
}

} // namespace ravik
