#include "rotctlprotocol.h"
#include "errors.h"
#include "numbers.h"
#include <QString>
#include <cmath>

namespace ravik::rotctl {

namespace {

struct Name {
    char shortName;
    const char* longName;
    Op op;
    int arguments;
};

constexpr Name Names[] = {
    {'P', "set_pos", Op::SetPos, 2},   {'p', "get_pos", Op::GetPos, 0},
    {'S', "stop", Op::Stop, 0},        {'K', "park", Op::Park, 0},
    {'R', "reset", Op::Reset, 1},      {'M', "move", Op::Move, 2},
    {'_', "get_info", Op::GetInfo, 0}, {0, "dump_state", Op::DumpState, 0},
    {'q', "quit", Op::Quit, 0},        {'Q', "quit", Op::Quit, 0},
};

// Hamlib's move directions and the controller's jog for each.
struct Direction {
    int hamlib;
    Command jog;
};
constexpr Direction Directions[] = {
    {2, Command::Up}, {4, Command::Down}, {8, Command::Decrease}, {16, Command::Increase}};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The whole text as a finite number, by the project's number rules (no "nan", no "inf").
// Clients format with the user's locale (Gpredict under de_DE sends "180,00"), so a single comma
// in a number without a point is its decimal point, as Hamlib's rotctld reads it.
bool readNumber(QByteArrayView text, double& value) {
    QString s = QString::fromLatin1(text);
    if (s.count(u',') == 1 && !s.contains(u'.'))
        s.replace(u',', u'.');
    if (!isNumeric(s))
        return false;
    try {
        value = leadingNumber(s);
    } catch (const RunTimeError&) {
        return false;
    }
    return std::isfinite(value);
}

bool readInteger(QByteArrayView text, int& value) {
    double v = 0;
    if (!readNumber(text, v) || v != std::floor(v) || std::fabs(v) > 1e6)
        return false;
    value = int(v);
    return true;
}

} // namespace

bool checkPosition(QByteArrayView azText, QByteArrayView elText, int& azimuth, int& elevation) {
    double az = 0, el = 0;
    if (!readNumber(azText, az) || !readNumber(elText, el) || el < 0 || el > 90)
        return false;
    az = std::fmod(az, 360.0);
    if (az < 0)
        az += 360.0;
    // nearbyint rounds half to even in the default rounding mode; 359.6 rounds to 360, north.
    azimuth = int(std::nearbyint(az)) % 360;
    elevation = int(std::nearbyint(el));
    return true;
}

Request parseRequest(QByteArrayView line) {
    Request r;
    qsizetype i = 0;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    if (i == line.size())
        return r;
    const char first = line[i];
    if (first == '+' || first == ';' || first == '|' || first == ',') {
        r.separator = first == '+' ? '\n' : first;
        ++i;
    }
    if (i < line.size() && line[i] == '\\')
        ++i;
    qsizetype end = i;
    while (end < line.size() && !isBlank(line[end]))
        ++end;
    const QByteArrayView word = line.sliced(i, end - i);
    QList<QByteArrayView> args;
    for (qsizetype k = end; k < line.size();) {
        while (k < line.size() && isBlank(line[k]))
            ++k;
        qsizetype e = k;
        while (e < line.size() && !isBlank(line[e]))
            ++e;
        if (e > k)
            args.append(line.sliced(k, e - k));
        k = e;
    }
    const Name* found = nullptr;
    for (const Name& n : Names)
        if ((word.size() == 1 && word[0] == n.shortName) || word == QByteArrayView(n.longName))
            found = &n;
    if (!found || word.isEmpty()) {
        r.op = Op::Unknown;
        r.error = Invalid;
        return r;
    }
    r.op = found->op;
    r.name = found->longName;
    for (qsizetype k = 0; k < args.size(); ++k)
        r.args += (k ? " " : "") + args[k].toByteArray();
    if (args.size() < found->arguments) {
        r.error = Invalid;
        return r;
    }
    int direction = 0, number = 0;
    switch (r.op) {
    case Op::SetPos:
        if (!checkPosition(args[0], args[1], r.azimuth, r.elevation))
            r.error = Invalid;
        break;
    case Op::Move:
        r.error = Invalid;
        if (readInteger(args[0], direction) && readInteger(args[1], number))
            for (const Direction& d : Directions)
                if (d.hamlib == direction) {
                    r.jog = d.jog;
                    r.error = Ok;
                }
        break;
    case Op::Reset:
        if (!readInteger(args[0], number))
            r.error = Invalid;
        break;
    default:
        break;
    }
    return r;
}

QByteArray formatReply(const Request& request, int code, const QList<ValueLine>& values) {
    const QByteArray rprt = "RPRT " + QByteArray::number(code) + '\n';
    if (!request.separator) {
        if (code != Ok || values.isEmpty())
            return rprt;
        QByteArray out;
        for (const ValueLine& v : values)
            out += v.plain + '\n';
        return out;
    }
    QByteArray out = request.name + ':';
    if (!request.args.isEmpty())
        out += ' ' + request.args;
    out += request.separator;
    if (code == Ok)
        for (const ValueLine& v : values)
            out += v.extended + request.separator;
    return out + rprt;
}

QList<ValueLine> positionLines(double azimuth, double elevation) {
    const QByteArray az = QByteArray::number(azimuth, 'f', 2);
    const QByteArray el = QByteArray::number(elevation, 'f', 2);
    return {{az, "Azimuth: " + az}, {el, "Elevation: " + el}};
}

QList<ValueLine> dumpStateLines() {
    // Protocol version 1; the model line carries Hamlib's dummy number, as the bridge has no
    // Hamlib model of its own. Hamlib's network client refuses what lies outside these limits
    // itself, so the azimuth range is every azimuth a tracker may send for the controller's
    // -180..540 travel (set_pos maps each into 0..359); elevation is the controller's 0..90.
    return {{"1", "rotctld Protocol Ver: 1"},
            {"1", "Rotor Model: 1"},
            {"min_az=-180.000000", "Minimum Azimuth: -180.000000"},
            {"max_az=540.000000", "Maximum Azimuth: 540.000000"},
            {"min_el=0.000000", "Minimum Elevation: 0.000000"},
            {"max_el=90.000000", "Maximum Elevation: 90.000000"},
            {"south_zero=0", "South Zero: 0"},
            {"rot_type=AzEl", "rot_type=AzEl"},
            {"done", "done"}};
}

} // namespace ravik::rotctl
