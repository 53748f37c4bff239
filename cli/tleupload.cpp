#include "tleupload.h"
#include "conditioning.h"
#include "errors.h"
#include <QDateTime>
#include <cstdio>

using namespace ravik;

namespace ravik_upload {
namespace {

void Say(const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

} // namespace

TleOptions addTleOptions(QCommandLineParser& parser) {
    TleOptions o{addPassOptions(parser),
                 {QStringLiteral("clear"),
                  QStringLiteral("Clear the controller's stored points (\"Clear the buffer\") "
                                 "before the upload.")}};
    parser.addOption(o.clear);
    return o;
}

int RunTleUpload(const QCommandLineParser& parser, const TleOptions& tle, UploadOptions options) {
    QString why;
    const auto command =
        readPassCommand(parser, tle.passes, QDateTime::currentSecsSinceEpoch(), &why);
    if (!command) {
        Say(QStringLiteral("ravik-upload: %1\nTry 'ravik-upload --help'.").arg(why));
        return UsageError;
    }
    const PassPlan plan = planFromFile(*command);
    if (plan.status != PassesOk) {
        Say(QStringLiteral("ravik-upload: ") + plan.error);
        return plan.status;
    }
    std::vector<QByteArray> lines;
    int passes = 0;
    for (const PlannedPass& pass : plan.passes) {
        EphemerisTable table;
        std::vector<QByteArray> own;
        try {
            loadPassText(pass.text, table);
            own = PrepareUploadLines(table);
        } catch (const RunTimeError& e) {
            Say(QStringLiteral("ravik-upload: %1: %2").arg(pass.fileName, e.what()));
            return CannotRead;
        }
        const QString which = QStringLiteral("%1 AOS %2 UTC (%3 lines)")
                                  .arg(plan.satellite, formatUtc(pass.aos))
                                  .arg(own.size());
        if (lines.size() + own.size() > size_t(EphemerisTable::Capacity)) {
            Say(QStringLiteral("ravik-upload: left out %1: the controller holds 10,001 points")
                    .arg(which));
            continue;
        }
        Say(QStringLiteral("Pass %1").arg(which));
        lines.insert(lines.end(), own.begin(), own.end());
        if (++passes == 1 && !command->hoursGiven)
            break; // the next pass only
    }
    if (passes == 0) {
        Say(QStringLiteral("ravik-upload: no pass of %1 to upload from %2 UTC")
                .arg(plan.satellite, formatUtc(command->request.fromUtc)));
        return Uploaded;
    }
    options.file = command->tleFile;
    options.lines = std::move(lines);
    return RunUpload(options);
}

} // namespace ravik_upload
