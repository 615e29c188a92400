#pragma once
// Drawing only what shows: the stage between a series' values and its
// painting that picks the points a picture needs.
//
// A series of more points than its plot has pixel columns draws many
// points onto each pixel. Its line or area is then drawn from, per pixel
// column, the first, last, lowest and highest point of the column, in their
// order (M4 aggregation: Jugel et al., "M4: A Visualization-Oriented Time
// Series Data Aggregation", VLDB 2014), and the points beside the lowest
// and highest: in each column the line still enters at the first point,
// spans from the lowest to the highest and leaves at the last, so the
// stroke covers the same pixels but where the edge of a stroke wider than a
// pixel passes a hair's breadth from a pixel's centre. Its pointers are
// drawn once per device pixel and colour, and of bars that share one pixel
// column only those that show are drawn. Series of fewer points are drawn
// point by point, exactly as they always were.

#include <vector>

#include "platform/chart/internal/ChartData.h"
#include "platform/chart/internal/ChartLayout.h"
#include "platform/chart/internal/DrawOptions.h"

namespace pv {

// A point a line goes through: the index of a drawn point, and whether the
// segment from the path's previous point to it is drawn (false at the
// start of the line and after a gap of null or uncoloured points).
struct TPathPoint {
    int Index = 0;
    bool Joined = false;
};

// Whether S has more points than the plot of L has device pixel columns
// along its category axis at Scale: the only series whose drawing is
// reduced.
bool Dense(const TChartLayout& L, const TPlotSeries& S, double Scale);

// The path a line or area through S is drawn along: every drawn point,
// or, for a dense series with pdShown, per device pixel column at Scale
// and within each run of drawn points of one colour, the first, last,
// lowest and highest point of the column and the points on either side of
// the lowest and highest (at most eight). A gap stays a gap and a colour
// change is kept where it is: each segment takes its end point's colour,
// so a run of one colour is reduced on its own.
std::vector<TPathPoint> LinePath(const TChartLayout& L, const TPlotSeries& S, double Scale, TPointDetail Detail);

// The points whose pointer symbols are drawn, in order: every drawn point,
// or, for a dense series with pdShown, the last one of each colour whose
// centre falls on a device pixel at Scale, since the later symbol covers
// the earlier one. Centres more than Reach units outside Clip cannot touch
// the picture and are left out too.
std::vector<int> PointerPoints(const TChartLayout& L, const TPlotSeries& S, double Scale, const TRectF& Clip,
                               double Reach, TPointDetail Detail);

// The bars of S to draw flat, in order: every bar, or, with pdShown, of the
// bars that share their pixels across the category axis (bars narrower
// than a pixel), those not hidden by a longer one drawn later, and of
// those only the longest of a colour next to each other, so the column
// shows the tallest positive and the lowest negative bar as before.
std::vector<int> FlatBars(const TChartLayout& L, const TChartData& D, const TPlotSeries& S, TPointDetail Detail);

}  // namespace pv
