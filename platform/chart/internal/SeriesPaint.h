#pragma once
// The painting of series: bars standing or lying (flat or as prisms in
// 3D), lines (flat or as ribbons), areas and pointer symbols here, pies in
// PiePaint.cpp; marks are placed and drawn in MarkPlacement.

#include "platform/chart/internal/ChartData.h"
#include "platform/chart/internal/ChartLayout.h"
#include "platform/chart/internal/DrawOptions.h"
#include "platform/chart/internal/MarkPlacement.h"
#include "platform/chart/internal/Painter.h"

#include <vector>

namespace pv {

// Draws the points of S within the plot of L. Null points and points of
// colour clNone are left out; a bar thinner than a pixel is drawn one pixel
// wide. Detail says whether points hidden under others are drawn (see
// PointReduction.h).
void PaintSeries(TPainter& P, const TChartLayout& L, const TChartData& D, const TPlotSeries& S,
                 TPointDetail Detail = TPointDetail::pdShown);

// Draws the slices of a pie series (PiePaint.cpp).
void PaintPie(TPainter& P, const TChartLayout& L, const TPlotSeries& S);

// Light diagonal stripes over R: the sign of a negative slice of a pie.
void PaintNegativeStripes(TPainter& P, const TRectF& R);

// Draws one pointer symbol of Style centred at (CX, CY), HS and VS pixels
// to either side, filled with Fill and outlined in a darker shade.
void PaintPointer(TPainter& P, TSeriesPointerStyle Style, double CX, double CY, double HS, double VS, TColor Fill);

}  // namespace pv
