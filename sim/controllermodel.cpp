#include "controllermodel.h"

#include <cmath>

#include "serialport.h"

namespace ravik::sim {

namespace {

bool allDigits(QByteArrayView s) {
    if (s.isEmpty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Whole number of at most `maxDigits` digits with an optional leading minus.
std::optional<int> parseInt(QByteArrayView s, int maxDigits, bool allowSign) {
    bool negative = false;
    if (allowSign && s.startsWith('-')) {
        negative = true;
        s = s.sliced(1);
    }
    if (!allDigits(s) || s.size() > maxDigits)
        return std::nullopt;
    int v = 0;
    for (char c : s)
        v = v * 10 + (c - '0');
    return negative ? -v : v;
}

QList<QByteArray> fields(QByteArrayView text) {
    return QByteArray(text.data(), text.size()).simplified().split(' ');
}

std::optional<QList<int>> numberGroup(const QByteArray& s, char sep) {
    const QList<QByteArray> parts = s.split(sep);
    if (parts.size() != 3)
        return std::nullopt;
    QList<int> out;
    for (const QByteArray& p : parts) {
        const auto v = parseInt(p, 4, false);
        if (!v)
            return std::nullopt;
        out.append(*v);
    }
    return out;
}

std::optional<qint64> parseTimeFields(const QByteArray& date, const QByteArray& time) {
    const auto d = numberGroup(date, '/');
    const auto t = numberGroup(time, ':');
    if (!d || !t)
        return std::nullopt;
    const qsizetype yearDigits = date.indexOf('/');
    int year = (*d)[0];
    if (yearDigits == 2)
        year += year < 70 ? 2000 : 1900;
    else if (yearDigits != 4)
        return std::nullopt;
    const QDate qd(year, (*d)[1], (*d)[2]);
    const QTime qt((*t)[0], (*t)[1], (*t)[2]);
    if (!qd.isValid() || !qt.isValid())
        return std::nullopt;
    return QDateTime(qd, qt, Qt::UTC).toMSecsSinceEpoch();
}

} // namespace

std::optional<qint64> parseControllerTime(QByteArrayView text) {
    const QList<QByteArray> f = fields(text);
    if (f.size() != 2)
        return std::nullopt;
    return parseTimeFields(f[0], f[1]);
}

std::optional<StoredPoint> parseUploadLine(QByteArrayView text) {
    const QList<QByteArray> f = fields(text);
    if (f.size() != 4)
        return std::nullopt;
    const auto when = parseTimeFields(f[0], f[1]);
    const auto az = parseInt(f[2], 4, true);
    const auto el = parseInt(f[3], 4, true);
    if (!when || !az || !el)
        return std::nullopt;
    // The rotors cannot leave their travel: compass azimuth, elevation held to 0..90.
    return StoredPoint{*when, ((*az % 360) + 360) % 360, std::clamp(*el, 0, 90)};
}

std::optional<std::pair<int, int>> parsePointTo(QByteArrayView text) {
    const QList<QByteArray> f = fields(text);
    if (f.size() != 2)
        return std::nullopt;
    const auto az = parseInt(f[0], 3, false);
    const auto el = parseInt(f[1], 2, false);
    if (!az || !el || *az > 359 || *el > 90)
        return std::nullopt;
    return std::pair{*az, *el};
}

// One recognised request. `after` restricts a token to follow that token directly: the point-to
// prefix starts with the complete enable command, whose effect must not wait for the next byte.
struct ControllerModel::Token {
    enum Kind { Identify, Status, Fixed, TimeSet, PointTo };
    Token(QByteArray b, Kind k, Command c = Command::Clear)
        : bytes(std::move(b)), kind(k), command(c) {}
    QByteArray bytes;
    Kind kind;
    Command command;
    QByteArray after;
};

namespace {

using Token = ControllerModel::Token;

bool isWholeCommand(std::string_view s) {
    for (const CommandRow& row : CommandTable)
        if (row.second.empty() && row.first == s)
            return true;
    return false;
}

const std::vector<Token>& tokens() {
    static const std::vector<Token> table = [] {
        std::vector<Token> t;
        t.push_back({toBytes(IdentifyRequest), Token::Identify});
        t.push_back({toBytes(StatusRequest), Token::Status});
        for (const CommandRow& row : CommandTable) {
            if (row.second.empty())
                t.push_back({toBytes(row.first), Token::Fixed, row.command});
            else if (isWholeCommand(row.first)) // e.g. go-to-first: its lead is enable by itself
                t.push_back({toBytes(row.second), Token::Fixed, row.command});
            else
                t.push_back({toBytes(row.first) + toBytes(row.second), Token::Fixed, row.command});
        }
        t.push_back({toBytes(TimeSetPrefix), Token::TimeSet});
        Token pointTo{toBytes(PointToPrefix), Token::PointTo};
        for (size_t n = PointToPrefix.size() - 1; n > 0; --n) {
            if (isWholeCommand(PointToPrefix.substr(0, n))) {
                pointTo.after = toBytes(PointToPrefix.substr(0, n));
                pointTo.bytes = toBytes(PointToPrefix.substr(n));
                break;
            }
        }
        t.push_back(pointTo);
        return t;
    }();
    return table;
}

} // namespace

ControllerModel::ControllerModel(const ControllerConfig& config, qint64 nowMs)
    : config_(config), lastMs_(nowMs) {}

QByteArray ControllerModel::receive(QByteArrayView bytes, qint64 nowMs) {
    QByteArray out = advance(nowMs);
    received_.append(bytes.data(), bytes.size());
    for (char b : bytes)
        feed(b, nowMs, out);
    return out;
}

QByteArray ControllerModel::takeReceived() {
    QByteArray r;
    r.swap(received_);
    return r;
}

void ControllerModel::feed(char byte, qint64 nowMs, QByteArray& out) {
    if (data_ != Data::None) {
        if (byte == DataTerminator) {
            finishData(nowMs, out);
            data_ = Data::None;
            lastToken_.clear();
        } else if (dataBytes_.size() < DataLimit) {
            dataBytes_.append(byte);
        } else {
            dataOverflow_ = true;
        }
        return;
    }
    pending_.append(byte);
    while (!pending_.isEmpty()) {
        const Token* exact = nullptr;
        bool longer = false;
        for (const Token& t : tokens()) {
            if (!t.after.isEmpty() && t.after != lastToken_)
                continue;
            if (t.bytes == pending_)
                exact = &t;
            else if (t.bytes.startsWith(pending_))
                longer = true;
        }
        if (exact) {
            pending_.clear();
            lastToken_ = exact->bytes;
            execute(*exact, nowMs, out);
            return;
        }
        if (longer)
            return;
        lastToken_.clear();
        if (pending_.size() == 1 && pending_[0] >= '0' && pending_[0] <= '9') {
            // An upload line starts with the digits of its date.
            data_ = Data::Upload;
            dataBytes_ = pending_;
            dataOverflow_ = false;
            pending_.clear();
            return;
        }
        // Nothing starts this way: drop the first byte and look at the rest afresh.
        pending_.remove(0, 1);
    }
}

void ControllerModel::execute(const Token& token, qint64 nowMs, QByteArray& out) {
    switch (token.kind) {
    case Token::Identify:
        if (config_.lateProductMs >= 0) {
            // Five characters are enough for the probe to judge, so it never sees the word.
            const QByteArray text = identificationText();
            reply(text.left(LateSplit), out);
            late_ = text.mid(LateSplit);
            lateAtMs_ = nowMs + config_.lateProductMs;
        } else {
            reply(identificationText(), out);
        }
        break;
    case Token::Status:
        reply(statusText(nowMs), out);
        break;
    case Token::Fixed:
        runCommand(token.command, nowMs);
        if (config_.ownReply && commandRow(token.command).statusAfter)
            reply(QByteArray("OK\r\n") + EndOfFileChar, out);
        break;
    case Token::TimeSet:
    case Token::PointTo:
        data_ = token.kind == Token::TimeSet ? Data::TimeSet : Data::PointTo;
        dataBytes_.clear();
        dataOverflow_ = false;
        break;
    }
}

void ControllerModel::finishData(qint64 nowMs, QByteArray& out) {
    if (dataOverflow_)
        return;
    switch (data_) {
    case Data::TimeSet:
        if (const auto t = parseControllerTime(dataBytes_)) {
            clockSet_ = true;
            clockBaseUtcMs_ = *t;
            clockSetAtMs_ = nowMs;
        }
        break;
    case Data::PointTo:
        if (const auto p = parsePointTo(dataBytes_)) {
            stopJogs();
            motion_ = true;
            targetAz_ = nearestWinding(p->first);
            targetEl_ = p->second;
            holdManualTarget(nowMs);
        }
        break;
    case Data::Upload:
        if (const auto p = parseUploadLine(dataBytes_)) {
            if (int(points_.size()) < Capacity)
                points_.push_back(*p);
            QByteArray text = config_.bareEof
                                  ? QByteArray(1, EndOfFileChar)
                                  : toBytes(StatusWord) + (motion_ ? "on" : "off") + "  Points " +
                                        QByteArray::number(qsizetype(points_.size())) + "\r\n" +
                                        EndOfFileChar;
            reply(text, out); // judged before counting, so the Nth line is still answered
            ++uploads_;
        }
        break;
    case Data::None:
        break;
    }
}

bool ControllerModel::answering() const {
    if (config_.silent)
        return false;
    return config_.silentAfter < 0 || uploads_ < config_.silentAfter;
}

void ControllerModel::reply(QByteArray text, QByteArray& out) const {
    if (!answering())
        return;
    if (config_.garbage)
        text = QByteArray("#@%! 0x3F ~~ line noise ~~\r\n") + EndOfFileChar;
    if (config_.noEof)
        text.replace(EndOfFileChar, QByteArray());
    out += text;
}

QByteArray ControllerModel::identificationText() const {
    if (config_.shortAnswer)
        return "RC-2";
    if (config_.lateProductMs >= 0)
        return "RC-2 " + toBytes(ProductWord) + " rotator controller\r\n";
    QByteArray word = toBytes(ProductWord);
    if (config_.capsAnswer)
        word = word.toUpper();
    return word + " RC-2 rotator controller\r\n";
}

QByteArray ControllerModel::statusText(qint64 nowMs) const {
    const QDateTime c = clock(nowMs);
    const QByteArray clockText =
        c.isValid() ? c.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")).toLatin1() : "unset";
    // Short lines, so the whole status fits the programs' message boxes without scrolling.
    return toBytes(StatusWord) + (motion_ ? "on" : "off") + "  Mode " + QByteArray::number(mode_) +
           "\r\nAz " + QByteArray::number(qRound(az_)) + "  El " + QByteArray::number(qRound(el_)) +
           "  Target " + QByteArray::number(qRound(targetAz_)) + "/" +
           QByteArray::number(qRound(targetEl_)) + "\r\nClock " + clockText + "\r\nPoints " +
           QByteArray::number(qsizetype(points_.size())) + "\r\n" + EndOfFileChar;
}

QDateTime ControllerModel::clock(qint64 nowMs) const {
    if (!clockSet_)
        return {};
    return QDateTime::fromMSecsSinceEpoch(clockBaseUtcMs_ + (nowMs - clockSetAtMs_), Qt::UTC);
}

void ControllerModel::runCommand(Command command, qint64 nowMs) {
    switch (command) {
    case Command::Clear:
        points_.clear();
        applied_ = -1;
        break;
    case Command::Disable:
        motion_ = false;
        stopJogs();
        break;
    case Command::Enable:
        motion_ = true;
        break;
    case Command::GoToFirst:
        if (!points_.empty()) {
            stopJogs();
            targetAz_ = nearestWinding(points_.front().azimuth);
            targetEl_ = points_.front().elevation;
            holdManualTarget(nowMs);
        }
        break;
    case Command::Mode0:
        mode_ = 0;
        break;
    case Command::Mode1:
        mode_ = 1;
        break;
    case Command::Unwind: {
        // Same compass direction inside 0..359, reached by turning back through the cable wrap.
        stopJogs();
        double a = std::fmod(az_, 360.0);
        if (a < 0)
            a += 360.0;
        targetAz_ = a;
        holdManualTarget(nowMs);
        break;
    }
    case Command::Up:
        jogEl_ = 1;
        break;
    case Command::Down:
        jogEl_ = -1;
        break;
    case Command::Increase:
        jogAz_ = 1;
        break;
    case Command::Decrease:
        jogAz_ = -1;
        break;
    case Command::Stop:
        stopJogs();
        targetAz_ = az_;
        targetEl_ = el_;
        holdManualTarget(nowMs);
        break;
    case Command::Restart:
        powerOnDefaults();
        break;
    case Command::Calibrate:
        jogAz_ = jogEl_ = 0;
        az_ = el_ = targetAz_ = targetEl_ = 0;
        holdManualTarget(nowMs);
        break;
    }
}

void ControllerModel::powerOnDefaults() {
    // Position, calibration, stored points and the clock survive a restart (kept in battery-backed
    // memory); everything the operator switched is back to its default.
    motion_ = false;
    mode_ = 0;
    jogAz_ = jogEl_ = 0;
    targetAz_ = az_;
    targetEl_ = el_;
    applied_ = -1;
}

void ControllerModel::stopJogs() {
    if (jogAz_ != 0)
        targetAz_ = az_;
    if (jogEl_ != 0)
        targetEl_ = el_;
    jogAz_ = jogEl_ = 0;
}

// A target set by hand stays until the next stored point falls due.
void ControllerModel::holdManualTarget(qint64 nowMs) {
    applied_ = dueIndex(nowMs);
}

int ControllerModel::dueIndex(qint64 nowMs) const {
    if (!clockSet_)
        return -1;
    const qint64 now = clockBaseUtcMs_ + (nowMs - clockSetAtMs_);
    int best = -1;
    for (int i = 0; i < int(points_.size()); ++i)
        if (points_[i].utcMs <= now && (best < 0 || points_[i].utcMs >= points_[best].utcMs))
            best = i;
    return best;
}

double ControllerModel::nearestWinding(int compassAzimuth) const {
    double best = compassAzimuth;
    for (int turn = -1; turn <= 1; ++turn) {
        const double c = compassAzimuth + 360.0 * turn;
        if (c >= AzimuthMin && c <= AzimuthMax && std::abs(c - az_) < std::abs(best - az_))
            best = c;
    }
    return best;
}

QByteArray ControllerModel::advance(qint64 nowMs) {
    QByteArray out;
    if (!late_.isEmpty() && nowMs >= lateAtMs_) {
        reply(late_, out);
        late_.clear();
    }
    if (nowMs <= lastMs_)
        return out;
    const double seconds = double(nowMs - lastMs_) / 1000.0;
    lastMs_ = nowMs;
    if (motion_) {
        const int k = dueIndex(nowMs);
        if (k >= 0 && k != applied_) {
            applied_ = k;
            targetAz_ = nearestWinding(points_[k].azimuth);
            targetEl_ = points_[k].elevation;
        }
    }
    auto move = [&](double& pos, double& target, int& jog, double speed, double lo, double hi) {
        const double step = speed * seconds;
        if (jog != 0) {
            pos += jog * step;
            if (pos >= hi || pos <= lo) {
                pos = std::clamp(pos, lo, hi);
                jog = 0;
                target = pos;
            }
        } else if (motion_) {
            const double diff = target - pos;
            pos = std::abs(diff) <= step ? target : pos + (diff > 0 ? step : -step);
        }
    };
    move(az_, targetAz_, jogAz_, config_.azimuthSpeed, AzimuthMin, AzimuthMax);
    move(el_, targetEl_, jogEl_, config_.elevationSpeed, ElevationMin, ElevationMax);
    return out;
}

} // namespace ravik::sim
