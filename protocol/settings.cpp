#include "settings.h"
#include "errors.h"
#include "linereader.h"
#include "numbers.h"
#include <QFile>
#include <cerrno>
#include <cstring>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFileInfo>
#endif

namespace ravik {

namespace {

constexpr char DefaultContent[] = "Comm Port 1\r\n";
constexpr qint64 DefaultSize = sizeof(DefaultContent) - 1;

// Opens the settings file only when it is a regular file (or, to write, not there yet): opening
// a FIFO would block start-up before the window appears, and a device or a folder cannot hold
// settings. The check comes before open(); O_NONBLOCK and a second check on the open descriptor
// cover a file swapped for something else in between.
void openRegular(QFile& file, const QString& path, QIODevice::OpenMode mode) {
    const bool writing = mode & QIODevice::WriteOnly;
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        throw RunTimeError("settings file is not a regular file");
    const int flags = writing ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY;
    const int fd = ::open(name.constData(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        throw RunTimeError(std::string("cannot open settings file: ") + std::strerror(errno));
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw RunTimeError("settings file is not a regular file");
    }
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw RunTimeError("cannot open settings file: " + file.errorString().toStdString());
    }
#else
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw RunTimeError("settings file is not a regular file");
    file.setFileName(path);
    if (!file.open(mode | (writing ? QIODevice::Truncate : QIODevice::NotOpen)))
        throw RunTimeError("cannot open settings file: " + file.errorString().toStdString());
#endif
}

// The port number from the first line; throws when the file cannot give one.
double readFirstLine(Tokens& tokens, const QString& path) {
    QFile file;
    openRegular(file, path, QIODevice::ReadOnly);
    LineReader reader(file);
    if (reader.atEnd())
        throw RunTimeError("settings file is empty");
    const QString line = reader.readLine();
    file.close();
    // Any shape but three tokens is not a failure: port 1, and the file stays as it is.
    if (tokens.split(line) != 3)
        return 1.0;
    return leadingNumber(tokens[2]);
}

void writeDefault(const QString& path) {
    QFile file;
    openRegular(file, path, QIODevice::WriteOnly);
    if (file.write(DefaultContent, DefaultSize) != DefaultSize || !file.flush())
        throw RunTimeError("cannot write settings file: " + file.errorString().toStdString());
    file.close();
}

} // namespace

double readPortSetting(Tokens& tokens, const QString& path) {
    try {
        return readFirstLine(tokens, path);
    } catch (const RunTimeError&) {
        writeDefault(path);
        return 1.0;
    }
}

} // namespace ravik
