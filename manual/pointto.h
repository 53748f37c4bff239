#pragma once
#include "pointtocommand.h"
#include <QByteArray>
#include <QLocale>
#include <QString>
#include <cstdint>

namespace ravik {

// The outcome of checking what the operator typed into the two boxes.
struct PointToCheck {
    enum Kind { Accepted, AzimuthOutOfRange, ElevationOutOfRange, ConversionFailed } kind;
    int16_t azimuth = 0;
    int16_t elevation = 0;
};

// Converts both texts with the locale's number rules (blanks, sign, decimal fraction; a half
// rounds to the even neighbour) and checks azimuth 0..359, then elevation 0..90. The elevation
// is not looked at when the azimuth fails. Empty text, no number, or a value beyond 16 bits is
// a conversion failure: never read as 0.
PointToCheck checkPointTo(const QString& azimuthText, const QString& elevationText,
                          const QLocale& locale = QLocale::system());

} // namespace ravik
