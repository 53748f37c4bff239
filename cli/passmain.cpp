// ravik-pass: a satellite's passes over the station from a TLE, as Nova files the controller's
// uploaders read.
#include "passoptions.h"
#include "passplot.h"
#include "timescale.h"
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <cmath>
#include <cstdio>

using namespace ravik;

namespace {

const char* const Description =
    R"(Computes a satellite's passes over the station from its orbital elements (TLE)
and writes each pass as a Nova output file that skypass and ravik-upload read.
Times are UTC. Each file begins with a line at the AOS azimuth and elevation 0
a minute before AOS, so the antenna waits where the satellite rises.

Exit status:
  0   done (also when no pass lies in the window)
  1   the satellite is not in the file, or its elements cannot be computed
  2   the TLE file cannot be read, holds no valid set, or fails a checksum;
      or a pass file cannot be written
  64  wrong command line)";

// A TLE older than this gives positions minutes off for a low satellite.
constexpr double StaleTleDays = 14;

void Say(std::FILE* stream, const QString& text) {
    std::fprintf(stream, "%s\n", qPrintable(text));
}

int Error(int status, const QString& text) {
    Say(stderr, QStringLiteral("ravik-pass: ") + text);
    return status;
}

int Usage(const QString& error) {
    Say(stderr, QStringLiteral("ravik-pass: %1\nTry 'ravik-pass --help'.").arg(error));
    return PassUsageError;
}

QString Time(qint64 utc) {
    return formatUtc(utc).mid(11);
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

PassPlot PlotOf(const PassPlan& plan, const PlannedPass& pass) {
    PassPlot plot;
    plot.title = QStringLiteral("%1, %2 UTC").arg(plan.satellite, formatUtc(pass.aos).left(10));
    for (size_t i = 1; i < pass.lines.size(); ++i) // the early line is not the satellite's
        plot.track.push_back({pass.lines[i].azimuthDeg, pass.lines[i].elevationDeg});
    plot.aosLabel = QStringLiteral("AOS ") + Time(pass.aos);
    plot.losLabel = QStringLiteral("LOS ") + Time(pass.los);
    plot.uploaded = uploadedPoints(pass.text);
    return plot;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ravik-pass"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RAVIK_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const PassOptions passOptions = addPassOptions(parser);
    const QCommandLineOption out(QStringLiteral("out"),
                                 QStringLiteral("Write the pass files into <DIR> (default: the "
                                                "current folder)."),
                                 QStringLiteral("DIR"));
    const QCommandLineOption plotOption(
        QStringLiteral("plot"),
        QStringLiteral("Also write each pass as a polar plot, an SVG file beside its pass file."));
    parser.addOptions({out, plotOption});

    if (!parser.parse(QCoreApplication::arguments()))
        return Usage(parser.errorText());
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return Usage(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().front()));
    QString why;
    const auto command =
        readPassCommand(parser, passOptions, QDateTime::currentSecsSinceEpoch(), &why);
    if (!command)
        return Usage(why);

    const PassPlan plan = planFromFile(*command);
    if (plan.satellite.isEmpty()) // nothing was found: the file or the satellite is wrong
        return Error(plan.status, plan.error);

    const double age = std::round(plan.ageDays * 10) / 10 + 0.0; // + 0.0: no "-0.0"
    Say(stdout, QStringLiteral("%1, catalogue number %2, TLE epoch %3 UTC, %4 days old at %5")
                    .arg(plan.satellite)
                    .arg(plan.catalogNumber)
                    .arg(formatUtc(std::llround(orbit::unixSecondsFromJulianDate(plan.epochJd))))
                    .arg(age, 0, 'f', 1)
                    .arg(formatUtc(command->request.fromUtc)));
    if (std::abs(age) > StaleTleDays)
        Say(stderr, QStringLiteral("ravik-pass: warning: the TLE is %1 days from --from; its "
                                   "passes may be minutes off")
                        .arg(std::abs(age), 0, 'f', 1));

    const QString dir = parser.isSet(out) ? parser.value(out) : QStringLiteral(".");
    if (!plan.passes.empty() && !QDir().mkpath(dir))
        return Error(TleUnreadable, QStringLiteral("cannot make the folder %1").arg(dir));
    if (plan.passes.empty() && plan.status == PassesOk)
        Say(stdout, QStringLiteral("No pass reaching %1 degrees from %2 to %3 UTC")
                        .arg(command->request.minElevationDeg, 0, 'f', 1)
                        .arg(formatUtc(command->request.fromUtc))
                        .arg(formatUtc(command->request.fromUtc +
                                       std::llround(command->request.hours * 3600))));
    else if (!plan.passes.empty())
        Say(stdout, QStringLiteral("AOS (UTC)              Az   Highest    El   LOS          Az"
                                   "   File"));
    for (const PlannedPass& pass : plan.passes) {
        const QString path = QDir::cleanPath(QDir(dir).filePath(pass.fileName));
        if (!WriteFile(path, pass.text))
            return Error(TleUnreadable, QStringLiteral("cannot write %1").arg(path));
        if (parser.isSet(plotOption)) {
            const QString svg = path.chopped(4) + QStringLiteral(".svg");
            if (!WriteFile(svg, passPlotSvg(PlotOf(plan, pass))))
                return Error(TleUnreadable, QStringLiteral("cannot write %1").arg(svg));
        }
        Say(stdout, QStringLiteral("%1 %2   %3 %4   %5 %6   %7")
                        .arg(formatUtc(pass.aos))
                        .arg(pass.aosAzimuthDeg, 5, 'f', 1)
                        .arg(Time(pass.culmination))
                        .arg(pass.maxElevationDeg, 4, 'f', 1)
                        .arg(Time(pass.los))
                        .arg(pass.losAzimuthDeg, 5, 'f', 1)
                        .arg(path));
        if (pass.lines.size() > size_t(EphemerisTable::Capacity))
            Say(stderr, QStringLiteral("ravik-pass: warning: %1 has %2 lines; skypass reads "
                                       "the first %3: use a longer --step")
                            .arg(path)
                            .arg(pass.lines.size())
                            .arg(EphemerisTable::Capacity));
    }
    return plan.status == PassesOk ? PassesOk : Error(plan.status, plan.error);
}
