#pragma once
// Where the points of a series lie on the picture: the boxes of bars and
// the slices of a pie, shared by series painting and mark placement.

#include <vector>

#include "platform/chart/internal/ChartData.h"
#include "platform/chart/internal/ChartLayout.h"

namespace pv {

// The pixels of one bar: columns X0..X1 and rows Top..Bottom, whole pixels.
struct TBarBox {
    double X0 = 0, X1 = 0, Top = 0, Bottom = 0;
    bool Negative = false;
};

// The value bars and areas grow from: zero, or the nearer end of an axis
// without it.
double BarOrigin(const TChartLayout& L);

// False for a bar of no length (its value is the origin). Across its
// category a bar takes its share of the group of bars; along the value
// axis it runs from the origin to its value, at least one pixel.
bool BarAt(const TChartLayout& L, const TChartData& D, const TPlotSeries& S, int I, TBarBox& B);

// BarAt for the bars of one series, with what is the same for all of them
// worked out once. Refers to L and S, which must outlive it.
class TBarGeometry {
public:
    TBarGeometry(const TChartLayout& L, const TChartData& D, const TPlotSeries& S);
    bool At(int I, TBarBox& B) const;
    // Where bar I starts across the category axis, before rounding to a
    // pixel, and how wide it is before rounding (at least a pixel once
    // rounded).
    double Across(int I) const { return FLayout.Across(FPlot, I) - FGroup / 2 + FOffset; }
    double Width() const { return FSub; }
    // The value bars grow from.
    double Origin() const { return FOrigin; }

private:
    const TChartLayout& FLayout;
    const TPlotSeries& FPlot;
    const TChartSeries& FSeries;
    double FGroup = 0, FSub = 0, FOffset = 0, FOrigin = 0, FOriginPixel = 0;
};

// Whether point I is drawn: not null, and of a colour other than clNone.
bool Drawn(const TPlotSeries& S, int I);
TColor PointColor(const TPlotSeries& S, int I);

bool Overlap(const TRectF& A, const TRectF& B);

// The slices of a pie: each point's share of the total of absolute values,
// clockwise from twelve o'clock. Zero and null points have no slice.
struct TSlice {
    int Index = 0;
    double A0 = 0, A1 = 0;  // angles in radians, screen coordinates (y down)
    double Mid() const { return (A0 + A1) / 2; }
};
std::vector<TSlice> Slices(const TPlotSeries& S);

}  // namespace pv
