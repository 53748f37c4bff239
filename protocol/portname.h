#pragma once
#include <QString>

namespace ravik {

// The device behind port number `number`. Numbers below 1 never open (empty result). On Linux
// an entry COM<N> in `directory` wins when there is one (normally a symbolic link an operator
// made once, `ln -s /dev/ttyUSB0 COM1`, or the link ravik-sim publishes); it is resolved to its
// target, because Qt names its lock file after the path and a second program reaching the same
// device by another name must be kept out. Otherwise /dev/ttyS<N-1>, the traditional COM<N>.
// On Windows the port is COM<N> itself.
QString portDevicePath(int number, const QString& directory = QStringLiteral("."));
// True when `directory` holds an entry COM<N> (a dangling link counts): then port N is that
// entry's device and never /dev/ttyS<N-1>. Always false on Windows.
bool portHasEntry(int number, const QString& directory = QStringLiteral("."));

} // namespace ravik
