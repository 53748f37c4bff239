#include "bridgeoptions.h"
#include "portoptions.h"
#include "rotctlprotocol.h"

namespace ravik {

namespace {

struct Options {
    PortOptions ports{
        QStringLiteral("the controller is on port N (default: the one Ravik.ini names)"),
        QStringLiteral("the controller is on this serial device")};
    QCommandLineOption listen{
        QStringLiteral("listen"),
        QStringLiteral("where clients connect (default 127.0.0.1:4533); the protocol has\nno "
                       "authentication, so name another address only on a trusted net"),
        QStringLiteral("ADDR:PORT")};
    // Two values: the second is the argument after it, or both as AZ,EL.
    QCommandLineOption park{QStringLiteral("park"),
                            QStringLiteral("the park position (default 0 0)"),
                            QStringLiteral("AZ EL")};
    QCommandLineOption wait{
        QStringLiteral("wait"),
        QStringLiteral("keep trying until the controller answers instead of exiting")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("this text")};

    QList<QCommandLineOption> all() const {
        return {ports.portOption(), ports.deviceOption(), listen, park, wait, help};
    }
};

} // namespace

QString bridgeUsage() {
    return QStringLiteral("Usage: ravik-rotctld [options]\n"
                          "Serves a Ravik rotator controller to Hamlib rotctld clients "
                          "(Gpredict, rotctl -m 2).\n") +
           optionList(Options().all(), 22);
}

BridgeOptions parseBridgeOptions(const QStringList& arguments) {
    BridgeOptions o;
    const Options options;
    QCommandLineParser parser;
    parser.addOptions(options.all());
    const auto fail = [&o](const QString& why) {
        o.error = why;
        return o;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    o.help = parser.isSet(options.help);
    o.wait = parser.isSet(options.wait);
    o.device = options.ports.device(parser);
    o.port = options.ports.port(parser, 1, 32767, o.error).value_or(0);
    if (!o.error.isEmpty())
        return o;
    QStringList rest = parser.positionalArguments();
    if (parser.isSet(options.park)) {
        QStringList park = parser.value(options.park).split(u',');
        if (park.size() == 1 && !rest.isEmpty())
            park << rest.takeFirst();
        if (park.size() != 2 ||
            !rotctl::checkPosition(park[0].toLatin1(), park[1].toLatin1(), o.parkAz, o.parkEl))
            return fail(QStringLiteral("--park needs an azimuth and an elevation"));
    }
    if (!rest.isEmpty())
        return fail(QStringLiteral("unexpected argument \"%1\"").arg(rest.first()));
    if (parser.isSet(options.listen)) {
        const QString value = parser.value(options.listen);
        const qsizetype colon = value.lastIndexOf(':');
        bool ok = false;
        const uint port = value.mid(colon + 1).toUInt(&ok);
        QString host = value.left(colon);
        if (host.startsWith('[') && host.endsWith(']'))
            host = host.mid(1, host.size() - 2);
        if (!ok || colon <= 0 || port > 65535 || !o.address.setAddress(host))
            return fail(QStringLiteral("--listen needs an address and a port, ADDR:PORT"));
        o.listenPort = quint16(port);
    }
    return o;
}

} // namespace ravik
