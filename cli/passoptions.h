#pragma once
#include "passplan.h"
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <optional>

namespace ravik {

// The options that say which passes: shared by ravik-pass and ravik-upload --tle.
struct PassOptions {
    QCommandLineOption tle, sat, qth, from, hours, minEl, step;
};
PassOptions addPassOptions(QCommandLineParser& parser);

struct PassCommand {
    QString tleFile;
    PassRequest request;
    bool hoursGiven = false;
};

// Reads and checks the options; nullopt and `why` (one line) when the command line is wrong.
// --from defaults to `nowUtc`.
std::optional<PassCommand> readPassCommand(const QCommandLineParser& parser,
                                           const PassOptions& options, qint64 nowUtc, QString* why);

// Reads the TLE file and plans its passes; a file that cannot be read is TleUnreadable. Errors
// name the file.
PassPlan planFromFile(const PassCommand& command);

} // namespace ravik
