#pragma once
#include <QByteArray>
#include <QString>
#include <vector>

namespace ravik {

struct SkyPoint {
    double azimuthDeg = 0, elevationDeg = 0;
};

// A pass on the sky drawn like a map, as tracking programs draw it: north up, east right, the
// horizon the outer ring, the zenith the centre.
struct PassPlot {
    QString title;
    std::vector<SkyPoint> track;    // AOS to LOS
    QString aosLabel, losLabel;     // drawn at the track's ends
    std::vector<SkyPoint> uploaded; // the points the controller receives
};

// The plot as an SVG document: rings at 0, 30 and 60 degrees of elevation, the track as a line,
// the uploaded points as dots.
QByteArray passPlotSvg(const PassPlot& plot);

// What the controller receives of a pass file: the points its upload sends, after the upload's
// conditioning (the 5-degree grid). Throws RunTimeError when the text cannot be read.
std::vector<SkyPoint> uploadedPoints(const QByteArray& passText);

} // namespace ravik
