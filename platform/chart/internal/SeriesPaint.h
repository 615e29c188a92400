#pragma once
// The painting of series: bars standing or lying (flat or as prisms in
// 3D), lines (flat or as ribbons), areas, pies (flat or tilted with a rim),
// pointer symbols and marks.

#include "platform/chart/internal/ChartData.h"
#include "platform/chart/internal/ChartLayout.h"
#include "platform/chart/internal/Painter.h"

#include <vector>

namespace pv {

// Draws the points of S within the plot of L. Null points and points of
// colour clNone are left out; a bar thinner than a pixel is drawn one pixel
// wide.
void PaintSeries(TPainter& P, const TChartLayout& L, const TChartData& D, const TPlotSeries& S);

// A mark as placed: its box (text inside with the marks' padding) and,
// for a pie, the leader line from its slice.
struct TPlacedMark {
    TRectF Box;
    TTextLayoutPtr Text;
    int Index = 0;
    bool Leader = false;
    TPointF From;
};

// Where the marks of S go (none when hidden or without room): beyond the
// end of each bar, above each point (below a negative bar), outside a pie
// at each slice. A mark that would overlap a neighbour is moved past it
// when there is room, else left out.
std::vector<TPlacedMark> PlaceSeriesMarks(const TChartLayout& L, const TChartData& D, const TPlotSeries& S,
                                          TTextEngine& Text);

// Draws the marks of every series.
void PaintAllMarks(TPainter& P, const TChartLayout& L, const TChartData& D, TTextEngine& Text);

// Light diagonal stripes over R: the sign of a negative slice of a pie.
void PaintNegativeStripes(TPainter& P, const TRectF& R);

// Draws one pointer symbol of Style centred at (CX, CY), HS and VS pixels
// to either side, filled with Fill and outlined in a darker shade.
void PaintPointer(TPainter& P, TSeriesPointerStyle Style, double CX, double CY, double HS, double VS, TColor Fill);

}  // namespace pv
