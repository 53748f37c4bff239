#include "pointto.h"
#include "errors.h"
#include "numbers.h"

namespace ravik {

namespace {

int16_t convert(const QString& text, const QLocale& locale) {
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    if (!ok)
        throw RunTimeError("not a number");
    return roundToInt16(value); // throws beyond 16 bits, and for inf or nan
}

} // namespace

PointToCheck checkPointTo(const QString& azimuthText, const QString& elevationText,
                          const QLocale& locale) {
    try {
        const int16_t azimuth = convert(azimuthText, locale);
        if (azimuth < 0 || azimuth >= 360)
            return {PointToCheck::AzimuthOutOfRange, azimuth, 0};
        const int16_t elevation = convert(elevationText, locale);
        if (elevation < 0 || elevation >= 91)
            return {PointToCheck::ElevationOutOfRange, azimuth, elevation};
        return {PointToCheck::Accepted, azimuth, elevation};
    } catch (const RunTimeError&) {
        return {PointToCheck::ConversionFailed};
    }
}

} // namespace ravik
