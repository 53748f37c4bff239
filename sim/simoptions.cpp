#include "simoptions.h"
#include "portoptions.h"

#include <cctype>
#include <cmath>

namespace ravik::sim {

namespace {

// Every option but --port, in the order of the usage text.
struct Options {
    PortOptions ports{QStringLiteral("port number N in the link's name, 0..32767 (default: 1)")};
    QCommandLineOption dir{QStringLiteral("dir"),
                           QStringLiteral("folder that gets the link COM<N> (default: the current "
                                          "folder)"),
                           QStringLiteral("DIR")};
    QCommandLineOption silent{QStringLiteral("silent"), QStringLiteral("never answer anything")};
    QCommandLineOption shortAnswer{
        QStringLiteral("short-answer"),
        QStringLiteral("answer the identification request with exactly 4 characters")};
    QCommandLineOption caps{
        QStringLiteral("caps"),
        QStringLiteral("write the product word of the identification in capitals")};
    QCommandLineOption pieces{
        QStringLiteral("pieces"),
        QStringLiteral("send every reply in pieces of 3 characters, MS milliseconds apart"),
        QStringLiteral("MS")};
    QCommandLineOption chatter{QStringLiteral("chatter"),
                               QStringLiteral("write TEXT to the line at start, before any "
                                              "request; the escapes\n\\r \\n \\t \\\\ "
                                              "and \\xHH stand for their bytes"),
                               QStringLiteral("TEXT")};
    QCommandLineOption baud{
        QStringLiteral("baud"),
        QStringLiteral("emulate 9600 baud: about 1.04 ms per character both ways")};
    QCommandLineOption silentAfter{
        QStringLiteral("silent-after"),
        QStringLiteral("answer the first N upload lines, then nothing at all"),
        QStringLiteral("N")};
    QCommandLineOption noEof{
        QStringLiteral("no-eof"),
        QStringLiteral("never end a reply with the end-of-file character (26)")};
    QCommandLineOption garbage{
        QStringLiteral("garbage"),
        QStringLiteral("answer every request with noise that holds neither the product\nword "
                       "nor the status word, ended by the end-of-file character")};
    QCommandLineOption ownReply{
        QStringLiteral("own-reply"),
        QStringLiteral("answer every command that the programs follow with a status\nrequest "
                       "with a reply of its own first: OK, CR LF, end-of-file")};
    QCommandLineOption bareEof{
        QStringLiteral("bare-eof"),
        QStringLiteral("answer upload lines with the end-of-file character alone")};
    QCommandLineOption lateProduct{
        QStringLiteral("late-product"),
        QStringLiteral("send the identification answer as \"RC-2 \", then MS milliseconds\n"
                       "later the rest with the product word"),
        QStringLiteral("MS")};
    QCommandLineOption readStall{
        QStringLiteral("read-stall"),
        QStringLiteral("after the first upload line, read nothing for MS milliseconds"),
        QStringLiteral("MS")};
    QCommandLineOption log{QStringLiteral("log"),
                           QStringLiteral("append every received byte to FILE at once"),
                           QStringLiteral("FILE")};
    QCommandLineOption speedAz{QStringLiteral("speed-az"),
                               QStringLiteral("azimuth rotor speed (default: 6)"),
                               QStringLiteral("DEG/S")};
    QCommandLineOption speedEl{QStringLiteral("speed-el"),
                               QStringLiteral("elevation rotor speed (default: 3)"),
                               QStringLiteral("DEG/S")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("show this text and exit")};

    QList<QCommandLineOption> all() const {
        return {dir,         ports.portOption(),
                silent,      shortAnswer,
                caps,        pieces,
                chatter,     baud,
                silentAfter, noEof,
                garbage,     ownReply,
                bareEof,     lateProduct,
                readStall,   log,
                speedAz,     speedEl,
                help};
    }
};

} // namespace

QString simUsage() {
    return QStringLiteral(
               "Usage: ravik-sim [options]\n"
               "A virtual Ravik rotator controller on a pseudo-terminal. It publishes the "
               "terminal as\nthe symbolic link DIR/COM<N>, prints \"ravik-sim: COM<N> -> "
               "/dev/pts/X\" and serves\nuntil interrupted (SIGINT/SIGTERM), then removes the "
               "link.\n\n") +
           optionList(Options().all());
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

ParsedOptions parseSimArguments(const QStringList& args) {
    ParsedOptions r;
    SimOptions& o = r.options;
    const Options options;
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.addOptions(options.all());
    if (!parser.parse(QStringList(QStringLiteral("ravik-sim")) + args)) {
        r.error = parser.errorText();
        return r;
    }
    if (!parser.positionalArguments().isEmpty()) {
        r.error = QStringLiteral("unknown option \"%1\"").arg(parser.positionalArguments()[0]);
        return r;
    }
    o.help = parser.isSet(options.help);
    o.controller.silent = parser.isSet(options.silent);
    o.controller.shortAnswer = parser.isSet(options.shortAnswer);
    o.controller.capsAnswer = parser.isSet(options.caps);
    o.baud = parser.isSet(options.baud);
    o.controller.noEof = parser.isSet(options.noEof);
    o.controller.garbage = parser.isSet(options.garbage);
    o.controller.ownReply = parser.isSet(options.ownReply);
    o.controller.bareEof = parser.isSet(options.bareEof);
    if (parser.isSet(options.chatter))
        o.chatter = unescapeText(parser.value(options.chatter));
    o.port = options.ports.port(parser, 0, 32767, r.error).value_or(o.port);
    // A whole number from `lowest` to `highest`, or a speed; each failure names its option.
    const auto number = [&](const QCommandLineOption& option, int lowest, int highest, int& out) {
        if (!parser.isSet(option) || !r.error.isEmpty())
            return;
        bool ok = false;
        const int n = parser.value(option).toInt(&ok);
        if (ok && n >= lowest && n <= highest)
            out = n;
        else
            r.error = QStringLiteral("--%1 needs a whole number from %2 to %3")
                          .arg(option.names().constLast())
                          .arg(lowest)
                          .arg(highest);
    };
    number(options.pieces, 0, 60000, o.pieceGapMs);
    number(options.lateProduct, 0, 60000, o.controller.lateProductMs);
    number(options.readStall, 0, 60000, o.readStallMs);
    number(options.silentAfter, 0, 1000000, o.controller.silentAfter);
    for (const auto& [option, speed] :
         {std::pair{&options.speedAz, &o.controller.azimuthSpeed},
          std::pair{&options.speedEl, &o.controller.elevationSpeed}}) {
        if (!parser.isSet(*option))
            continue;
        bool ok = false;
        const double d = parser.value(*option).toDouble(&ok);
        if (ok && std::isfinite(d) && d > 0 && d <= 1e6)
            *speed = d;
        else if (r.error.isEmpty())
            r.error = QStringLiteral("--%1 needs a speed in degrees per second above 0")
                          .arg(option->names().constLast());
    }
    for (const auto& [option, text] :
         {std::pair{&options.dir, &o.dir}, std::pair{&options.log, &o.logFile}}) {
        if (!parser.isSet(*option))
            continue;
        *text = parser.value(*option);
        if (text->isEmpty() && r.error.isEmpty())
            r.error = QStringLiteral("--%1 needs a name").arg(option->names().constLast());
    }
    return r;
}

} // namespace ravik::sim
