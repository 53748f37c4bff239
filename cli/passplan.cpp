#include "passplan.h"
#include "passes.h"
#include "timescale.h"
#include "tle.h"
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>

namespace ravik {
namespace {

bool Fail(QString* why, const QString& text) {
    if (why)
        *why = text;
    return false;
}

// A station's numbers, checked: latitude to the poles, longitude either way round, a height
// between the Dead Sea and an aircraft.
bool CheckStation(const orbit::Station& s, QString* why) {
    if (!(std::abs(s.latitudeDeg) <= 90))
        return Fail(why, QStringLiteral("the latitude must lie between -90 and 90"));
    if (!(s.longitudeDeg >= -180 && s.longitudeDeg <= 360))
        return Fail(why, QStringLiteral("the longitude must lie between -180 and 360"));
    if (!(s.heightM >= -500 && s.heightM <= 20000))
        return Fail(why, QStringLiteral("the height must lie between -500 and 20000 metres"));
    return true;
}

std::optional<double> Number(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(v) ? std::optional(v) : std::nullopt;
}

qint64 RoundedSeconds(double jd) {
    return std::llround(orbit::unixSecondsFromJulianDate(jd));
}

double Jd(qint64 utcSeconds) {
    return orbit::julianDateFromUnixSeconds(double(utcSeconds));
}

// The satellite as seen at one whole second; false when the propagator gives up there.
bool LineAt(const orbit::Propagator& propagator, const orbit::Station& station, qint64 t,
            PassLine& line, orbit::OrbitError& error) {
    const double jd = Jd(t);
    const orbit::Propagation p = propagator.at(jd);
    if (p.error != orbit::OrbitError::None) {
        error = p.error;
        return false;
    }
    const orbit::LookAngles look = orbit::lookAngles(station, p.state, jd);
    const orbit::SubPoint sub = orbit::subSatellitePoint(p.state, jd);
    line = {t,
            look.azimuthDeg,
            look.elevationDeg,
            look.rangeKm,
            look.rangeRateKmS,
            sub.latitudeDeg,
            sub.longitudeDeg,
            sub.altitudeKm};
    return true;
}

QString StationText(const orbit::Station& s) {
    return QStringLiteral("%1 %2 %3 %4 %5 m")
        .arg(std::abs(s.latitudeDeg), 0, 'f', 4)
        .arg(s.latitudeDeg < 0 ? QLatin1Char('S') : QLatin1Char('N'))
        .arg(std::abs(s.longitudeDeg), 0, 'f', 4)
        .arg(s.longitudeDeg < 0 ? QLatin1Char('W') : QLatin1Char('E'))
        .arg(s.heightM, 0, 'f', 0);
}

} // namespace

std::optional<orbit::Station> parseStation(const QString& text, QString* why) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < 2 || parts.size() > 3) {
        Fail(why, QStringLiteral("--qth needs LAT,LON[,HEIGHT_M] or a .qth file"));
        return std::nullopt;
    }
    std::vector<double> v;
    for (const QString& p : parts) {
        const auto n = Number(p);
        if (!n) {
            Fail(why, QStringLiteral("--qth: \"%1\" is no number").arg(p.trimmed()));
            return std::nullopt;
        }
        v.push_back(*n);
    }
    const orbit::Station s{v[0], v[1], v.size() > 2 ? v[2] : 0.0};
    if (!CheckStation(s, why))
        return std::nullopt;
    return s;
}

std::optional<orbit::Station> parseQth(const QByteArray& text, QString* why) {
    std::optional<double> lat, lon, alt = 0.0;
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromLatin1(raw).trimmed();
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed().toUpper();
        std::optional<double>* slot = key == QLatin1String("LAT")   ? &lat
                                      : key == QLatin1String("LON") ? &lon
                                      : key == QLatin1String("ALT") ? &alt
                                                                    : nullptr;
        if (!slot)
            continue; // LOCATION, WX, QTH_TYPE, ...
        if (!(*slot = Number(line.mid(eq + 1)))) {
            Fail(why, QStringLiteral("%1 is no number").arg(key));
            return std::nullopt;
        }
    }
    if (!lat || !lon) {
        Fail(why, QStringLiteral("the .qth file has no LAT or no LON"));
        return std::nullopt;
    }
    const orbit::Station s{*lat, *lon, *alt};
    if (!CheckStation(s, why))
        return std::nullopt;
    return s;
}

std::optional<orbit::Station> readStation(const QString& arg, QString* why) {
    if (!QFileInfo(arg).isFile() && !arg.endsWith(QLatin1String(".qth")))
        return parseStation(arg, why);
    QFile file(arg);
    if (!QFileInfo(arg).isFile() || !file.open(QIODevice::ReadOnly)) {
        Fail(why, QStringLiteral("--qth: cannot read %1").arg(arg));
        return std::nullopt;
    }
    const auto s = parseQth(file.read(1 << 20), why);
    if (!s && why)
        *why = arg + QStringLiteral(": ") + *why;
    return s;
}

std::optional<qint64> parseUtc(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
    if (!form.match(text.trimmed()).hasMatch())
        return std::nullopt;
    const QString trimmed = text.trimmed();
    const QDate date = QDate::fromString(trimmed.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(trimmed.mid(11), QStringLiteral("HH:mm:ss"));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    const QDateTime t(date, time, Qt::UTC);
    return t.toSecsSinceEpoch();
}

QString formatUtc(qint64 utcSeconds) {
    return QDateTime::fromSecsSinceEpoch(utcSeconds, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

PassPlan planPasses(const QByteArray& tleText, const PassRequest& request) {
    PassPlan plan;
    auto fail = [&](int status, const QString& why) {
        plan.status = status;
        plan.error = why;
        return plan;
    };
    const orbit::TleFile file = orbit::readTles(std::string_view(tleText.data(), tleText.size()));
    if (file.error) {
        const QString reason = QString::fromStdString(file.error->reason);
        return fail(TleUnreadable,
                    file.error->line > 0
                        ? QStringLiteral("line %1: %2").arg(file.error->line).arg(reason)
                        : reason);
    }
    if (file.sets.empty())
        return fail(TleUnreadable, QStringLiteral("no valid element set in the file"));
    const QByteArray key = request.satellite.toUtf8();
    const orbit::Tle* tle =
        orbit::findSatellite(file.sets, std::string_view(key.data(), size_t(key.size())));
    if (!tle)
        return fail(SatelliteUnusable,
                    QStringLiteral("no satellite \"%1\" in the file").arg(request.satellite));
    plan.catalogNumber = tle->catalogNumber;
    plan.satellite =
        tle->name.empty() ? QString::number(tle->catalogNumber) : QString::fromStdString(tle->name);
    plan.epochJd = tle->epochJd();
    const double fromJd = Jd(request.fromUtc);
    plan.ageDays = fromJd - plan.epochJd;

    const orbit::Propagator propagator(*tle);
    auto refuse = [&](orbit::OrbitError e) {
        return fail(
            SatelliteUnusable,
            QStringLiteral("%1: %2").arg(plan.satellite, QString::fromLatin1(orbit::describe(e))));
    };
    if (propagator.initError() != orbit::OrbitError::None)
        return refuse(propagator.initError());
    const orbit::PassSearch search =
        orbit::findPasses(propagator, request.station, fromJd, fromJd + request.hours / 24.0,
                          request.minElevationDeg);
    const QString title =
        QStringLiteral("Pass of %1 (%2) at %3, times UTC; the first line turns the antenna to "
                       "the AOS azimuth %4 s early")
            .arg(plan.satellite)
            .arg(plan.catalogNumber)
            .arg(StationText(request.station))
            .arg(EarlyAosSeconds);
    for (const orbit::Pass& pass : search.passes) {
        PlannedPass planned;
        planned.aos = RoundedSeconds(pass.aosJd);
        planned.culmination = RoundedSeconds(pass.culminationJd);
        planned.los = RoundedSeconds(pass.losJd);
        planned.maxElevationDeg = pass.maxElevationDeg;
        planned.aosAzimuthDeg = pass.aosAzimuthDeg;
        planned.losAzimuthDeg = pass.losAzimuthDeg;
        orbit::OrbitError error = orbit::OrbitError::None;
        PassLine line;
        // The line before AOS: the satellite's own values then, the antenna where it rises.
        if (!LineAt(propagator, request.station, planned.aos - EarlyAosSeconds, line, error))
            return refuse(error);
        planned.lines.push_back(line);
        for (qint64 t = planned.aos;; t += request.stepSeconds) {
            const qint64 at = std::min(t, planned.los);
            if (!LineAt(propagator, request.station, at, line, error))
                return refuse(error);
            planned.lines.push_back(line);
            if (at == planned.los)
                break;
        }
        planned.lines.front().azimuthDeg = planned.lines[1].azimuthDeg;
        planned.lines.front().elevationDeg = 0.0;
        planned.fileName = passFileName(plan.satellite, planned.aos);
        planned.text = novaPassText(title, planned.lines);
        plan.passes.push_back(std::move(planned));
    }
    if (search.error != orbit::OrbitError::None)
        return refuse(search.error);
    return plan;
}

} // namespace ravik
