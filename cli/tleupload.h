#pragma once
#include "passoptions.h"
#include "uploadjob.h"

namespace ravik_upload {

// ravik-upload --tle: the pass options and --clear.
struct TleOptions {
    ravik::PassOptions passes;
    QCommandLineOption clear;
};
TleOptions addTleOptions(QCommandLineParser& parser);

// Computes the passes as ravik-pass does and uploads the next one that has not ended at --from,
// or with --hours every one in the window, as far as the controller's memory holds them. The
// lines of each pass are those of its pass file, so the wire carries the same bytes as an
// upload of the file. `options` carries the other options (port, device, dry run, clock, clear).
int RunTleUpload(const QCommandLineParser& parser, const TleOptions& tle, UploadOptions options);

} // namespace ravik_upload
