#include "portname.h"
#include <QDir>
#include <QFileInfo>

namespace ravik {

bool portHasEntry(int number, const QString& directory) {
#ifdef Q_OS_WIN
    Q_UNUSED(number);
    Q_UNUSED(directory);
    return false;
#else
    const QFileInfo entry(QDir(directory).filePath(QStringLiteral("COM%1").arg(number)));
    return number >= 1 && (entry.isSymLink() || entry.exists());
#endif
}

QString portDevicePath(int number, const QString& directory) {
    if (number < 1)
        return {};
    const QString name = QStringLiteral("COM%1").arg(number);
#ifdef Q_OS_WIN
    Q_UNUSED(directory);
    return name;
#else
    const QFileInfo entry(QDir(directory).filePath(name));
    if (entry.isSymLink()) {
        // A dangling link (simulator gone, adapter unplugged) must fail, not fall back to ttyS.
        const QString target = entry.canonicalFilePath();
        return target.isEmpty() ? entry.absoluteFilePath() : target;
    }
    if (entry.exists())
        return entry.canonicalFilePath();
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

} // namespace ravik
