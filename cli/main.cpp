// ravik-upload: skypass's upload without a window, for cron jobs and scripts.
#include "tleupload.h"
#include "uploadjob.h"
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

using namespace ravik_upload;

namespace {

const char* const Description =
    R"(Uploads a pass prediction (InstantTrack or Nova output) to a Ravik rotator
controller, paced by its replies, as skypass does, then prints the controller's
status on stdout. Messages and progress go to stderr.

With --tle instead of FILE it computes the satellite's passes as ravik-pass
does and uploads the next one, or with --hours every pass in the window.

The controller's port is read from Ravik.ini in the working folder, and port N
opens COM<N> there when it exists (otherwise /dev/ttyS<N-1>).

Exit status:
  0   uploaded (with --dry-run: the file is good)
  1   the file is neither InstantTrack nor Nova output
      (--tle: the satellite is not in the file or cannot be computed)
  2   the file cannot be read (missing, unreadable, or a broken line)
      (--tle: the TLE file cannot be read, or fails a checksum)
  3   the controller was not found
  4   the controller went away during the upload
  64  wrong command line)";

int Usage(const QString& error) {
    std::fprintf(stderr, "ravik-upload: %s\nTry 'ravik-upload --help'.\n", qPrintable(error));
    return UsageError;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ravik-upload"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RAVIK_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("The pass file to upload."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Probe port <N> instead of the one named in Ravik.ini."),
        QStringLiteral("N"));
    const QCommandLineOption device(
        QStringLiteral("device"),
        QStringLiteral("Open <path> for the controller instead of COM<N> (messages name port N: "
                       "--port, or 1)."),
        QStringLiteral("path"));
    const QCommandLineOption dryRun(
        QStringLiteral("dry-run"),
        QStringLiteral("Print the lines that would be sent, one per line (without the carriage "
                       "return that ends each on the wire), and send nothing."));
    const QCommandLineOption syncClock(
        QStringLiteral("sync-clock"),
        QStringLiteral("Set the controller's clock to the present UTC before the upload."));
    parser.addOptions({port, device, dryRun, syncClock});
    const TleOptions tle = addTleOptions(parser); // passes computed from a TLE instead of a file

    if (!parser.parse(QCoreApplication::arguments()))
        return Usage(parser.errorText());
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();

    UploadOptions options;
    const QStringList files = parser.positionalArguments();
    const bool fromTle = parser.isSet(tle.passes.tle);
    if (fromTle && !files.isEmpty())
        return Usage(QStringLiteral("a pass file or --tle, not both"));
    if (!fromTle && files.size() != 1)
        return Usage(files.isEmpty() ? QStringLiteral("no pass file given")
                                     : QStringLiteral("one pass file at a time"));
    options.file = fromTle ? QString() : files.front();
    if (parser.isSet(port)) {
        bool ok = false;
        options.port = parser.value(port).toInt(&ok);
        // Ravik.ini holds the port in a 16-bit field: a number beyond it names no port at all.
        if (!ok || *options.port < -32768 || *options.port > 32767)
            return Usage(QStringLiteral("--port needs a whole number from -32768 to 32767"));
    }
    options.device = parser.value(device);
    options.dryRun = parser.isSet(dryRun);
    options.syncClock = parser.isSet(syncClock);
    options.clear = parser.isSet(tle.clear);
    return fromTle ? RunTleUpload(parser, tle, options) : RunUpload(options);
}
