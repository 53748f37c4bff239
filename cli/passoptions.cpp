#include "passoptions.h"
#include <QFile>
#include <QFileInfo>
#include <cmath>

namespace ravik {

PassOptions addPassOptions(QCommandLineParser& parser) {
    PassOptions o{
        {QStringLiteral("tle"),
         QStringLiteral("The orbital elements: a TLE file (2- or 3-line sets) or a Gpredict .sat "
                        "file."),
         QStringLiteral("FILE")},
        {QStringLiteral("sat"),
         QStringLiteral("The satellite: its name exactly as written in the file, or its "
                        "catalogue number."),
         QStringLiteral("NAME|NUMBER")},
        {QStringLiteral("qth"),
         QStringLiteral("The station: latitude and longitude in decimal degrees (north and east "
                        "positive) and height in metres, or a Gpredict .qth file."),
         QStringLiteral("LAT,LON[,HEIGHT_M]|FILE.qth")},
        {QStringLiteral("from"), QStringLiteral("Start of the search, UTC (default: now)."),
         QStringLiteral("YYYY-MM-DD HH:MM:SS")},
        {QStringLiteral("hours"), QStringLiteral("Length of the search (default: 24)."),
         QStringLiteral("H")},
        {QStringLiteral("min-el"),
         QStringLiteral("Only passes whose highest elevation reaches <DEG> (default: 0)."),
         QStringLiteral("DEG")},
        {QStringLiteral("step"),
         QStringLiteral("Whole seconds between the lines of a pass file (default: 10)."),
         QStringLiteral("S")},
    };
    parser.addOptions({o.tle, o.sat, o.qth, o.from, o.hours, o.minEl, o.step});
    return o;
}

std::optional<PassCommand> readPassCommand(const QCommandLineParser& parser,
                                           const PassOptions& options, qint64 nowUtc,
                                           QString* why) {
    auto fail = [&](const QString& text) {
        *why = text;
        return std::nullopt;
    };
    PassCommand c;
    for (const QCommandLineOption* needed : {&options.tle, &options.sat, &options.qth})
        if (!parser.isSet(*needed))
            return fail(QStringLiteral("--%1 is needed").arg(needed->names().front()));
    c.tleFile = parser.value(options.tle);
    c.request.satellite = parser.value(options.sat).trimmed();
    const auto station = readStation(parser.value(options.qth), why);
    if (!station)
        return std::nullopt;
    c.request.station = *station;
    c.request.fromUtc = nowUtc;
    if (parser.isSet(options.from)) {
        const auto from = parseUtc(parser.value(options.from));
        if (!from)
            return fail(QStringLiteral("--from needs a UTC time as \"YYYY-MM-DD HH:MM:SS\""));
        c.request.fromUtc = *from;
    }
    // A number option within its range; the default when it is not given.
    auto number = [&](const QCommandLineOption& o, double low, double high, double& value) {
        if (!parser.isSet(o))
            return true;
        bool ok = false;
        value = parser.value(o).toDouble(&ok);
        if (ok && value >= low && value <= high)
            return true;
        *why = QStringLiteral("--%1 needs a number from %2 to %3")
                   .arg(o.names().front())
                   .arg(low)
                   .arg(high);
        return false;
    };
    double step = c.request.stepSeconds;
    c.hoursGiven = parser.isSet(options.hours);
    if (!number(options.hours, 0.01, 744, c.request.hours) ||
        !number(options.minEl, 0, 90, c.request.minElevationDeg) ||
        !number(options.step, 1, 3600, step))
        return std::nullopt;
    if (step != std::floor(step))
        return fail(QStringLiteral("--step needs whole seconds"));
    c.request.stepSeconds = int(step);
    return c;
}

PassPlan planFromFile(const PassCommand& command) {
    QFile file(command.tleFile);
    PassPlan plan;
    if (!QFileInfo(command.tleFile).isFile() || !file.open(QIODevice::ReadOnly)) {
        plan.status = TleUnreadable;
        plan.error = command.tleFile + QStringLiteral(": cannot be read");
        return plan;
    }
    plan = planPasses(file.read(64 << 20), command.request);
    if (plan.status == TleUnreadable)
        plan.error = command.tleFile + QStringLiteral(": ") + plan.error;
    return plan;
}

} // namespace ravik
