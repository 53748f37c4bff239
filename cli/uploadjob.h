#pragma once
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace ravik_upload {

// What the operator asked for on the command line.
struct UploadOptions {
    QString file;
    std::optional<int> port; // probe this port instead of the one in Ravik.ini
    QString device;          // open this device for the port
    bool dryRun = false;
    bool syncClock = false;
    bool clear = false; // "Clear the buffer" before the upload
    // Lines prepared elsewhere (--tle), sent instead of the file's; `file` then only names the
    // upload in messages.
    std::optional<std::vector<QByteArray>> lines;
};

// The exit statuses; a script tells the outcomes apart by them.
enum ExitStatus : int {
    Uploaded = 0,
    NeitherFormat = 1,
    CannotRead = 2,
    ControllerNotFound = 3,
    ControllerLost = 4,
    UsageError = 64,
};

// The whole unattended upload: load and check the file, find the controller, optionally set its
// clock, send the lines at its pace, print its status. Needs a QCoreApplication.
ExitStatus RunUpload(const UploadOptions& options);

} // namespace ravik_upload
