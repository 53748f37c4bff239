#include "passplot.h"
#include "conditioning.h"
#include "novawriter.h"
#include <algorithm>
#include <cmath>
#include <numbers>

namespace ravik {
namespace {

constexpr double CentreX = 300, CentreY = 250, Radius = 170, Width = 600, Height = 480;
constexpr double Deg = std::numbers::pi / 180.0;

QByteArray svgNumber(double v) {
    return QByteArray::number(std::round(v * 10.0) / 10.0, 'f', 1);
}

// Zenith at the centre, the horizon on the outer ring (below it too: the antenna stops there).
std::pair<double, double> At(const SkyPoint& p, double extra = 0) {
    const double r = Radius * (90.0 - std::clamp(p.elevationDeg, 0.0, 90.0)) / 90.0 + extra;
    return {CentreX + r * std::sin(p.azimuthDeg * Deg), CentreY - r * std::cos(p.azimuthDeg * Deg)};
}

QByteArray escaped(const QString& text) {
    return text.toHtmlEscaped().toUtf8();
}

QByteArray svgText(double x, double y, const QByteArray& anchor, const QByteArray& text,
                   const QByteArray& style = "") {
    return "<text x=\"" + svgNumber(x) + "\" y=\"" + svgNumber(y) + "\" text-anchor=\"" + anchor +
           "\"" + style + ">" + text + "</text>\n";
}

// A label beyond the horizon ring, on the side of the point it names.
QByteArray endLabel(const SkyPoint& p, const QString& label) {
    const auto [x, y] = At({p.azimuthDeg, 0}, 34);
    const double east = std::sin(p.azimuthDeg * Deg);
    const QByteArray anchor = east > 0.3 ? "start" : east < -0.3 ? "end" : "middle";
    return svgText(x, y + 4, anchor, escaped(label), " font-weight=\"bold\"");
}

} // namespace

QByteArray passPlotSvg(const PassPlot& plot) {
    QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + svgNumber(Width) +
                     "\" height=\"" + svgNumber(Height) + "\" viewBox=\"0 0 " + svgNumber(Width) +
                     ' ' + svgNumber(Height) + "\" font-family=\"sans-serif\" font-size=\"13\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += svgText(CentreX, 22, "middle", escaped(plot.title), " font-size=\"15\"");
    for (const int el : {0, 30, 60}) {
        const double r = Radius * (90 - el) / 90.0;
        svg += "<circle class=\"ring\" cx=\"" + svgNumber(CentreX) + "\" cy=\"" +
               svgNumber(CentreY) + "\" r=\"" + svgNumber(r) +
               "\" fill=\"none\" stroke=\"#999\"/>\n";
        svg += svgText(CentreX + 3, CentreY - r + 13, "start", QByteArray::number(el) + "&#176;",
                       " fill=\"#777\" font-size=\"11\"");
    }
    svg += "<path d=\"M" + svgNumber(CentreX - Radius) + ' ' + svgNumber(CentreY) + 'H' +
           svgNumber(CentreX + Radius) + 'M' + svgNumber(CentreX) + ' ' +
           svgNumber(CentreY - Radius) + 'V' + svgNumber(CentreY + Radius) +
           "\" stroke=\"#ccc\"/>\n";
    const char* const compass[] = {"N", "E", "S", "W"};
    for (int i = 0; i < 4; ++i) {
        const auto [x, y] = At({90.0 * i, 0}, 12);
        svg += svgText(x, y + 5, "middle", compass[i], " font-weight=\"bold\"");
    }
    if (!plot.track.empty()) {
        svg += "<polyline class=\"track\" fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"2\" "
               "points=\"";
        for (const SkyPoint& p : plot.track) {
            const auto [x, y] = At(p);
            svg += svgNumber(x) + ',' + svgNumber(y) + ' ';
        }
        svg.chop(1);
        svg += "\"/>\n";
        svg += endLabel(plot.track.front(), plot.aosLabel);
        svg += endLabel(plot.track.back(), plot.losLabel);
    }
    for (const SkyPoint& p : plot.uploaded) {
        const auto [x, y] = At(p);
        svg += "<circle class=\"sent\" cx=\"" + svgNumber(x) + "\" cy=\"" + svgNumber(y) +
               "\" r=\"3.5\" fill=\"#d0301c\"/>\n";
    }
    svg += svgText(CentreX, Height - 12, "middle",
                   "Line: the pass. Dots: the points the controller receives (5&#176; grid).",
                   " font-size=\"12\" fill=\"#444\"");
    return svg + "</svg>\n";
}

std::vector<SkyPoint> uploadedPoints(const QByteArray& passText) {
    EphemerisTable table;
    loadPassText(passText, table);
    conditionTable(table);
    std::vector<SkyPoint> points;
    for (const int i : pointsToSend(table))
        points.push_back(
            {double(table.points[size_t(i)].azimuth), double(table.points[size_t(i)].elevation)});
    return points;
}

} // namespace ravik
