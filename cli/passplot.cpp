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

QByteArray N(double v) {
    return QByteArray::number(std::round(v * 10.0) / 10.0, 'f', 1);
}

// Zenith at the centre, the horizon on the outer ring (below it too: the antenna stops there).
std::pair<double, double> At(const SkyPoint& p, double extra = 0) {
    const double r = Radius * (90.0 - std::clamp(p.elevationDeg, 0.0, 90.0)) / 90.0 + extra;
    return {CentreX + r * std::sin(p.azimuthDeg * Deg), CentreY - r * std::cos(p.azimuthDeg * Deg)};
}

QByteArray Escape(const QString& text) {
    return text.toHtmlEscaped().toUtf8();
}

QByteArray Text(double x, double y, const QByteArray& anchor, const QByteArray& text,
                const QByteArray& style = "") {
    return "<text x=\"" + N(x) + "\" y=\"" + N(y) + "\" text-anchor=\"" + anchor + "\"" + style +
           ">" + text + "</text>\n";
}

// A label beyond the horizon ring, on the side of the point it names.
QByteArray EndLabel(const SkyPoint& p, const QString& label) {
    const auto [x, y] = At({p.azimuthDeg, 0}, 34);
    const double east = std::sin(p.azimuthDeg * Deg);
    const QByteArray anchor = east > 0.3 ? "start" : east < -0.3 ? "end" : "middle";
    return Text(x, y + 4, anchor, Escape(label), " font-weight=\"bold\"");
}

} // namespace

QByteArray passPlotSvg(const PassPlot& plot) {
    QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + N(Width) +
                     "\" height=\"" + N(Height) + "\" viewBox=\"0 0 " + N(Width) + ' ' + N(Height) +
                     "\" font-family=\"sans-serif\" font-size=\"13\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += Text(CentreX, 22, "middle", Escape(plot.title), " font-size=\"15\"");
    for (const int el : {0, 30, 60}) {
        const double r = Radius * (90 - el) / 90.0;
        svg += "<circle class=\"ring\" cx=\"" + N(CentreX) + "\" cy=\"" + N(CentreY) + "\" r=\"" +
               N(r) + "\" fill=\"none\" stroke=\"#999\"/>\n";
        svg += Text(CentreX + 3, CentreY - r + 13, "start", QByteArray::number(el) + "&#176;",
                    " fill=\"#777\" font-size=\"11\"");
    }
    svg += "<path d=\"M" + N(CentreX - Radius) + ' ' + N(CentreY) + 'H' + N(CentreX + Radius) +
           'M' + N(CentreX) + ' ' + N(CentreY - Radius) + 'V' + N(CentreY + Radius) +
           "\" stroke=\"#ccc\"/>\n";
    const char* const compass[] = {"N", "E", "S", "W"};
    for (int i = 0; i < 4; ++i) {
        const auto [x, y] = At({90.0 * i, 0}, 12);
        svg += Text(x, y + 5, "middle", compass[i], " font-weight=\"bold\"");
    }
    if (!plot.track.empty()) {
        svg += "<polyline class=\"track\" fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"2\" "
               "points=\"";
        for (const SkyPoint& p : plot.track) {
            const auto [x, y] = At(p);
            svg += N(x) + ',' + N(y) + ' ';
        }
        svg.chop(1);
        svg += "\"/>\n";
        svg += EndLabel(plot.track.front(), plot.aosLabel);
        svg += EndLabel(plot.track.back(), plot.losLabel);
    }
    for (const SkyPoint& p : plot.uploaded) {
        const auto [x, y] = At(p);
        svg += "<circle class=\"sent\" cx=\"" + N(x) + "\" cy=\"" + N(y) +
               "\" r=\"3.5\" fill=\"#d0301c\"/>\n";
    }
    svg += Text(CentreX, Height - 12, "middle",
                "Line: the pass. Dots: the points the controller receives (5&#176; grid).",
                " font-size=\"12\" fill=\"#444\"");
    return svg + "</svg>\n";
}

std::vector<SkyPoint> uploadedPoints(const QByteArray& passText) {
    EphemerisTable table;
    loadPassText(passText, table);
    ConditionTable(table);
    std::vector<SkyPoint> points;
    for (const int i : PointsToSend(table))
        points.push_back(
            {double(table.Points[size_t(i)].Azimuth), double(table.Points[size_t(i)].Elevation)});
    return points;
}

} // namespace ravik
