// ravik-upload: skypass's upload without a window, for cron jobs and scripts.
#include "portoptions.h"
#include "tleupload.h"
#include "uploadjob.h"
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

using namespace ravik;

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

int usage(const QString& error) {
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
    const ravik::PortOptions ports(
        QStringLiteral("Probe port <N> instead of the one named in Ravik.ini."),
        QStringLiteral("Open <path> for the controller instead of COM<N> (messages name port N: "
                       "--port, or 1)."),
        QStringLiteral("path"));
    ports.addTo(parser);
    const QCommandLineOption dryRun(
        QStringLiteral("dry-run"),
        QStringLiteral("Print the lines that would be sent, one per line (without the carriage "
                       "return that ends each on the wire), and send nothing."));
    const QCommandLineOption syncClock(
        QStringLiteral("sync-clock"),
        QStringLiteral("Set the controller's clock to the present UTC before the upload."));
    parser.addOptions({dryRun, syncClock});
    const TleOptions tle = addTleOptions(parser); // passes computed from a TLE instead of a file

    if (!parser.parse(QCoreApplication::arguments()))
        return usage(parser.errorText());
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();

    UploadOptions options;
    const QStringList files = parser.positionalArguments();
    const bool fromTle = parser.isSet(tle.passes.tle);
    if (fromTle && !files.isEmpty())
        return usage(QStringLiteral("a pass file or --tle, not both"));
    if (!fromTle && files.size() != 1)
        return usage(files.isEmpty() ? QStringLiteral("no pass file given")
                                     : QStringLiteral("one pass file at a time"));
    options.file = fromTle ? QString() : files.front();
    // Ravik.ini holds the port in a 16-bit field: a number beyond it names no port at all.
    QString error;
    options.port = ports.port(parser, -32768, 32767, error);
    if (!error.isEmpty())
        return usage(error);
    options.device = ports.device(parser);
    options.dryRun = parser.isSet(dryRun);
    options.syncClock = parser.isSet(syncClock);
    options.clear = parser.isSet(tle.clear);
    return fromTle ? runTleUpload(parser, tle, options) : runUpload(options);
}
