#pragma once
#include <QString>

namespace ravik {

// The start-up outcome lines every program writes in its own place (a window's message box, a
// headless program's stderr), each with its CR LF.
QString foundLine(int port);
QString notFoundLine(int port);

} // namespace ravik
