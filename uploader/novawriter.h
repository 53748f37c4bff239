#pragma once
#include "ephemeris.h"
#include "passfile.h"
#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <vector>

namespace ravik {

// One line of a pass file: where the antenna points at one whole second, and what else a
// predictor tells about the satellite then.
struct PassLine {
    qint64 utcSeconds = 0; // since 1970-01-01 00:00:00 UTC
    double azimuthDeg = 0, elevationDeg = 0;
    double rangeKm = 0, rangeRateKmS = 0;
    double latitudeDeg = 0, longitudeDeg = 0; // the sub-satellite point, north and east positive
    double altitudeKm = 0;
};

// A pass as a Nova output file that skypass and ravik-upload read unchanged: `title` on the
// first line, a date marker before the first point and wherever the UTC date changes, a heading,
// one line per point (time, azimuth and elevation to a tenth of a degree, range, range rate,
// sub-satellite latitude, longitude and altitude), every line ended by CR LF. Every line after
// the title begins with a two-character token, so however few points the pass has, the format
// detection takes the file for Nova.
QByteArray novaPassText(const QString& title, const std::vector<PassLine>& lines);

// "<satellite>-yyyymmdd-hhmmss.out" with the AOS time in UTC; in the satellite's name every
// character but ASCII letters, digits, '-', '(', ')' and '.' becomes '_'.
QString passFileName(const QString& satellite, qint64 aosUtcSeconds);

// The load behind the send button, on text instead of a file: the format detection, then the
// parser it picks. Throws RunTimeError as LoadPassFile does.
PassFormat loadPassText(const QByteArray& text, EphemerisTable& table);

} // namespace ravik
