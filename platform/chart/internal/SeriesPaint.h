#pragma once
// The painting of series: bars (flat or as prisms in 3D), lines (flat or as
// ribbons), pointer symbols and marks.

#include "platform/chart/internal/ChartData.h"
#include "platform/chart/internal/ChartLayout.h"
#include "platform/chart/internal/Painter.h"

namespace pv {

// Draws the points of S within the plot of L. Null points and points of
// colour clNone are left out; a bar thinner than a pixel is drawn one pixel
// wide.
void PaintSeries(TPainter& P, const TChartLayout& L, const TChartData& D, const TPlotSeries& S);

// Draws the marks of S (when visible): one label per point above its bar
// or point (below a negative bar), skipping a mark that would overlap the
// one drawn before it.
void PaintMarks(TPainter& P, const TChartLayout& L, const TChartData& D, const TPlotSeries& S, TTextEngine& Text);

// Draws one pointer symbol of Style centred at (CX, CY), HS and VS pixels
// to either side, filled with Fill and outlined in a darker shade.
void PaintPointer(TPainter& P, TSeriesPointerStyle Style, double CX, double CY, double HS, double VS, TColor Fill);

}  // namespace pv
