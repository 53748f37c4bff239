#pragma once
// What every benchmark needs: stopping with its reason, and writing its input files.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace bench {

[[noreturn]] inline void die(const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
    std::exit(1);
}

// Benchmarks draw on Qt's offscreen platform unless told otherwise, so no display is needed.
inline void offscreenUnlessSet() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The count given as the first argument, or `fallback`; stops when it is outside lo..hi.
inline int countArgument(int argc, char** argv, int fallback, int lo, int hi, const char* what) {
    const int n = argc > 1 ? std::atoi(argv[1]) : fallback;
    if (n < lo || n > hi)
        die(std::string(what) + ": " + std::to_string(lo) + " to " + std::to_string(hi));
    return n;
}

inline void writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        die("cannot write " + path.toStdString());
}

} // namespace bench
