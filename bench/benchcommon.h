#pragma once
// What every benchmark needs: stopping with its reason, and writing its input files.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace bench {

[[noreturn]] inline void die(const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
    std::exit(1);
}

inline void writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        die("cannot write " + path.toStdString());
}

} // namespace bench
