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

[[noreturn]] void Fail(const QString& reason) {
    throw RunTimeError(reason.toStdString());
}

// Opens the file for reading. Anything but a regular file is refused: a FIFO or a device would
// block the window or feed it an endless line. The open does not block (a FIFO without a writer
// returns at once) and the check is made on what was opened, so a name swapped for a FIFO after
// the operator chose it is refused too.
void OpenPassFile(QFile& file, const QString& fileName) {
    if (fileName.isEmpty()) {
        Fail(QStringLiteral("no file name was given"));
    }
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(fileName).constData(),
                          O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            Fail(QStringLiteral("the file does not exist"));
        }
        Fail(QStringLiteral("the file cannot be opened: %1")
                 .arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
    struct stat st {};
    const bool opened = ::fstat(fd, &st) == 0;
    if (!opened || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Fail(opened && S_ISDIR(st.st_mode) ? QStringLiteral("the name is a directory, not a file")
                                           : QStringLiteral("the name is not a regular file"));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        Fail(QStringLiteral("the file cannot be opened: %1").arg(file.errorString()));
    }
#else
    const QFileInfo info(fileName);
    if (!info.exists()) {
        Fail(QStringLiteral("the file does not exist"));
    }
    if (info.isDir()) {
        Fail(QStringLiteral("the name is a directory, not a file"));
    }
    if (!info.isFile()) {
        Fail(QStringLiteral("the name is not a regular file"));
    }
    file.setFileName(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        Fail(QStringLiteral("the file cannot be opened: %1").arg(file.errorString()));
    }
#endif
}

} // namespace

Detection DetectFormat(LineReader& reader, TokenList& tokens) {
    Detection d;
    while (!reader.atEnd() && d.L < MaxDetectionLines) {
        ++d.L;
        TokenizeLine(reader.readLine(), tokens);
        const qsizetype length = tokens[0].size();
        if (length == 9) {
            ++d.N9;
            ++d.T;
        }
        if (length == 2) {
            ++d.N2;
            ++d.T;
        }
    }
    // Half of L, an exact half to the even neighbour: 51 gives 26, 49 gives 24.
    const int half = static_cast<int>(std::nearbyint(d.L / 2.0));
    if (d.T > half) {
        d.format = d.N9 > d.N2 ? PassFormat::InstantTrack : PassFormat::Nova;
    }
    return d;
}

Detection DetectPassFile(const QString& fileName, TokenList& tokens) {
    QFile file;
    OpenPassFile(file, fileName);
    LineReader reader(file);
    return DetectFormat(reader, tokens);
}

void ParsePassFile(const QString& fileName, PassFormat format, TokenList& tokens,
                   EphemerisTable& table, const MonthNames& monthNames) {
    if (format == PassFormat::Neither) {
        return;
    }
    QFile file;
    OpenPassFile(file, fileName);
    LineReader reader(file);
    if (format == PassFormat::InstantTrack) {
        Parse_InstantTrack(reader, tokens, table);
    } else {
        Parse_Nova(reader, tokens, table, monthNames);
    }
}

PassFormat LoadPassFile(const QString& fileName, TokenList& tokens, EphemerisTable& table,
                        const MonthNames& monthNames) {
    table.PassFileName = fileName;
    table.Loaded = false;
    const PassFormat format = DetectPassFile(fileName, tokens).format;
    ParsePassFile(fileName, format, tokens, table, monthNames);
    return format;
}

} // namespace ravik
