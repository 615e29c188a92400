#pragma once
// The areas of a drawn chart that stand for its points: a bar's box, a
// slice's outline, a symbol's circle; for pages that show a hint when the
// pointer rests on a point or follow a link when it is clicked (an HTML
// image map, an SVG overlay, a script).

#include <cstdint>
#include <string>
#include <vector>

namespace pv {

class TChartSeries;

enum class THotspotShape : std::uint8_t {
    hsRect,    // Coords: left, top, right, bottom
    hsPoly,    // Coords: x0, y0, x1, y1, ... (closed)
    hsCircle,  // Coords: centre x, centre y, radius
};

// The name of a shape as HTML's area element spells it: "rect", "poly",
// "circle".
const char* HotspotShapeName(THotspotShape Shape);

struct TChartHotspot {
    THotspotShape Shape = THotspotShape::hsRect;
    // In pixels of the picture drawn at the same size and scale (device
    // pixels: a chart drawn at scale 2 has coordinates twice as large).
    std::vector<double> Coords;
    // A point of the area where the point's own colour shows: the middle of
    // a bar's front, a point's centre, a point inside a slice.
    double CenterX = 0, CenterY = 0;
    // The series' place in the drawing (further groups counted, from 0),
    // and its title as the legend shows it.
    int Series = 0;
    std::string SeriesTitle;
    // The series or group holding the point (owned by the chart), and the
    // point's index in it.
    const TChartSeries* Points = nullptr;
    int Index = 0;
    // The point's label (else its X value in the value format), its value
    // and the value in the series' value format and the chart's locale.
    std::string Label;
    double Value = 0;
    std::string Formatted;
};

}  // namespace pv
