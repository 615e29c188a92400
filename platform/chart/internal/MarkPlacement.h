#pragma once
// Where the marks (value labels) of the series go, and their drawing.

#include <vector>

#include "platform/chart/internal/ChartData.h"
#include "platform/chart/internal/ChartLayout.h"
#include "platform/chart/internal/Painter.h"

namespace pv {

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

}  // namespace pv
