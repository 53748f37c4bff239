#pragma once
#include <QByteArray>
#include <QFile>
#include <QString>

// Writes `bytes` to `path`, replacing it; returns the path.
inline QString WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
    return path;
}
