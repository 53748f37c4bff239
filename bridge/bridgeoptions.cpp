#include "bridgeoptions.h"
#include "rotctlprotocol.h"

namespace ravik {

const char* const BridgeUsage =
    "Usage: ravik-rotctld [options]\n"
    "Serves a Ravik rotator controller to Hamlib rotctld clients (Gpredict, rotctl -m 2).\n"
    "  --port N            the controller is on port N (default: the one Ravik.ini names)\n"
    "  --device PATH       the controller is on this serial device\n"
    "  --listen ADDR:PORT  where clients connect (default 127.0.0.1:4533); the protocol has\n"
    "                      no authentication, so name another address only on a trusted net\n"
    "  --park AZ EL        the park position (default 0 0)\n"
    "  --wait              keep trying until the controller answers instead of exiting\n"
    "  --help              this text\n";

BridgeOptions parseBridgeOptions(const QStringList& arguments) {
    BridgeOptions o;
    QStringList args = arguments.mid(1);
    const auto fail = [&o](const QString& why) {
        o.error = why;
        return o;
    };
    while (!args.isEmpty()) {
        QString name = args.takeFirst();
        QStringList values;
        if (const qsizetype eq = name.indexOf('='); name.startsWith("--") && eq > 0) {
            values << name.mid(eq + 1);
            name.truncate(eq);
        }
        const int wanted = name == "--park"                                                 ? 2
                           : (name == "--port" || name == "--device" || name == "--listen") ? 1
                                                                                            : 0;
        if (name == "--park" && values.size() == 1)
            values = values.first().split(',');
        while (values.size() < wanted && !args.isEmpty())
            values << args.takeFirst();
        if (values.size() != wanted)
            return fail(name + ": wrong number of values");
        bool ok = true;
        if (name == "--help") {
            o.help = true;
        } else if (name == "--wait") {
            o.wait = true;
        } else if (name == "--device") {
            o.device = values[0];
        } else if (name == "--port") {
            o.port = values[0].toInt(&ok);
            ok = ok && o.port >= 1 && o.port <= 32767;
        } else if (name == "--park") {
            ok = rotctl::checkPosition(values[0].toLatin1(), values[1].toLatin1(), o.parkAz,
                                       o.parkEl);
        } else if (name == "--listen") {
            const qsizetype colon = values[0].lastIndexOf(':');
            const uint port = values[0].mid(colon + 1).toUInt(&ok);
            QString host = values[0].left(colon);
            if (host.startsWith('[') && host.endsWith(']'))
                host = host.mid(1, host.size() - 2);
            ok = ok && colon > 0 && port <= 65535 && o.address.setAddress(host);
            o.listenPort = quint16(port);
        } else {
            return fail(name + ": unknown option");
        }
        if (!ok)
            return fail(name + ": bad value " + values.join(' '));
    }
    return o;
}

} // namespace ravik
