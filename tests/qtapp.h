#pragma once
#include <QApplication>
#include <ostream>

// One QApplication for a test executable (the offscreen platform is set by CTest).
inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "ravik-tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing Qt down from static destructors at exit crashes in QtGui.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Lets queued notifications (replies of the fake port) run.
inline void Settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// Readable failures for QString comparisons.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE
