#include "simoptions.h"

#include <cctype>
#include <cmath>

namespace ravik::sim {

QString simUsage() {
    return QStringLiteral(
        "Usage: ravik-sim [options]\n"
        "A virtual Ravik rotator controller on a pseudo-terminal. It publishes the terminal as\n"
        "the symbolic link DIR/COM<N>, prints \"ravik-sim: COM<N> -> /dev/pts/X\" and serves\n"
        "until interrupted (SIGINT/SIGTERM), then removes the link.\n"
        "\n"
        "  --dir DIR          folder that gets the link COM<N> (default: the current folder)\n"
        "  --port N           port number N in the link's name, 0..32767 (default: 1)\n"
        "  --silent           never answer anything\n"
        "  --short-answer     answer the identification request with exactly 4 characters\n"
        "  --caps             write the product word of the identification in capitals\n"
        "  --pieces MS        send every reply in pieces of 3 characters, MS milliseconds apart\n"
        "  --chatter TEXT     write TEXT to the line at start, before any request; the escapes\n"
        "                     \\r \\n \\t \\\\ and \\xHH stand for their bytes\n"
        "  --baud             emulate 9600 baud: about 1.04 ms per character both ways\n"
        "  --silent-after N   answer the first N upload lines, then nothing at all\n"
        "  --no-eof           never end a reply with the end-of-file character (26)\n"
        "  --garbage          answer every request with noise that holds neither the product\n"
        "                     word nor the status word, ended by the end-of-file character\n"
        "  --own-reply        answer every command that the programs follow with a status\n"
        "                     request with a reply of its own first: OK, CR LF, end-of-file\n"
        "  --bare-eof         answer upload lines with the end-of-file character alone\n"
        "  --late-product MS  send the identification answer as \"RC-2 \", then MS milliseconds\n"
        "                     later the rest with the product word\n"
        "  --read-stall MS    after the first upload line, read nothing for MS milliseconds\n"
        "  --log FILE         append every received byte to FILE at once\n"
        "  --speed-az DEG/S   azimuth rotor speed (default: 6)\n"
        "  --speed-el DEG/S   elevation rotor speed (default: 3)\n"
        "  --help             show this text and exit\n");
}

QByteArray unescapeText(const QString& text) {
    const QByteArray in = text.toLocal8Bit();
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c != '\\' || i + 1 >= in.size()) {
            out += c;
            continue;
        }
        const char e = in[++i];
        if (e == 'r')
            out += '\r';
        else if (e == 'n')
            out += '\n';
        else if (e == 't')
            out += '\t';
        else if (e == '\\')
            out += '\\';
        else if (e == 'x' && i + 2 < in.size() && std::isxdigit(uchar(in[i + 1])) &&
                 std::isxdigit(uchar(in[i + 2]))) {
            out += char(in.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            out += '\\';
            out += e;
        }
    }
    return out;
}

namespace {

bool takeInt(const QString& v, int lo, int hi, int& out) {
    bool ok = false;
    const int n = v.toInt(&ok);
    if (!ok || n < lo || n > hi)
        return false;
    out = n;
    return true;
}

bool takeSpeed(const QString& v, double& out) {
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok || !std::isfinite(d) || d <= 0 || d > 1e6)
        return false;
    out = d;
    return true;
}

} // namespace

ParsedOptions parseSimArguments(const QStringList& args) {
    ParsedOptions r;
    SimOptions& o = r.options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString name = args[i];
        QString value;
        bool inlineValue = false;
        if (name.startsWith(QLatin1String("--")) && name.contains('=')) {
            value = name.section('=', 1);
            name = name.section('=', 0, 0);
            inlineValue = true;
        }
        auto needValue = [&]() -> bool {
            if (inlineValue)
                return true;
            if (i + 1 >= args.size()) {
                r.error = name + QStringLiteral(" needs a value");
                return false;
            }
            value = args[++i];
            return true;
        };
        auto bad = [&](const char* what) {
            r.error = QStringLiteral("%1: %2 expected, got \"%3\"").arg(name, what, value);
        };
        bool flag = true;
        if (name == QLatin1String("--help") || name == QLatin1String("-h"))
            o.help = true;
        else if (name == QLatin1String("--silent"))
            o.controller.silent = true;
        else if (name == QLatin1String("--short-answer"))
            o.controller.shortAnswer = true;
        else if (name == QLatin1String("--caps"))
            o.controller.capsAnswer = true;
        else if (name == QLatin1String("--baud"))
            o.baud = true;
        else if (name == QLatin1String("--no-eof"))
            o.controller.noEof = true;
        else if (name == QLatin1String("--garbage"))
            o.controller.garbage = true;
        else if (name == QLatin1String("--own-reply"))
            o.controller.ownReply = true;
        else if (name == QLatin1String("--bare-eof"))
            o.controller.bareEof = true;
        else
            flag = false;
        if (flag) {
            if (inlineValue) {
                r.error = name + QStringLiteral(" takes no value");
                return r;
            }
            continue;
        }
        if (name == QLatin1String("--dir")) {
            if (!needValue())
                return r;
            if (value.isEmpty()) {
                bad("a folder");
                return r;
            }
            o.dir = value;
        } else if (name == QLatin1String("--port")) {
            if (!needValue())
                return r;
            if (!takeInt(value, 0, 32767, o.port)) {
                bad("a port number 0..32767");
                return r;
            }
        } else if (name == QLatin1String("--pieces") || name == QLatin1String("--late-product") ||
                   name == QLatin1String("--read-stall")) {
            if (!needValue())
                return r;
            int& ms = name == QLatin1String("--pieces")         ? o.pieceGapMs
                      : name == QLatin1String("--late-product") ? o.controller.lateProductMs
                                                                : o.readStallMs;
            if (!takeInt(value, 0, 60000, ms)) {
                bad("milliseconds 0..60000");
                return r;
            }
        } else if (name == QLatin1String("--chatter")) {
            if (!needValue())
                return r;
            o.chatter = unescapeText(value);
        } else if (name == QLatin1String("--silent-after")) {
            if (!needValue())
                return r;
            if (!takeInt(value, 0, 1000000, o.controller.silentAfter)) {
                bad("a count of lines");
                return r;
            }
        } else if (name == QLatin1String("--log")) {
            if (!needValue())
                return r;
            if (value.isEmpty()) {
                bad("a file name");
                return r;
            }
            o.logFile = value;
        } else if (name == QLatin1String("--speed-az") || name == QLatin1String("--speed-el")) {
            if (!needValue())
                return r;
            double& speed = name.endsWith(QLatin1String("az")) ? o.controller.azimuthSpeed
                                                               : o.controller.elevationSpeed;
            if (!takeSpeed(value, speed)) {
                bad("a speed in degrees per second above 0");
                return r;
            }
        } else {
            r.error = QStringLiteral("unknown option \"%1\"").arg(args[i]);
            return r;
        }
    }
    return r;
}

} // namespace ravik::sim
