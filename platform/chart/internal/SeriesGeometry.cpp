#include "platform/chart/internal/SeriesGeometry.h"

#include <algorithm>
#include <cmath>

namespace pv {

namespace {

int BarWidthPercent(const TPlotSeries& S) {
    if (auto* B = dynamic_cast<const TBarSeries*>(S.Look)) return B->GetBarWidthPercent();
    return 70;
}

}  // namespace

double BarOrigin(const TChartLayout& L) { return std::clamp(0.0, L.Ticks.Range.Min, L.Ticks.Range.Max); }

TBarGeometry::TBarGeometry(const TChartLayout& L, const TChartData& D, const TPlotSeries& S)
    : FLayout(L), FPlot(S), FSeries(*S.Series) {
    const double Slot = L.SlotWidth();
    FGroup = Slot * std::clamp(BarWidthPercent(S), 1, 100) / 100.0;
    FSub = FGroup / std::max(1, D.BarSlots);
    FOffset = S.BarIndex * FSub;
    FOrigin = BarOrigin(L);
    FOriginPixel = std::round(L.ValueMap.ToPixel(FOrigin));
}

bool TBarGeometry::At(int I, TBarBox& B) const {
    const TChartLayout& L = FLayout;
    const double C0 = Across(I);
    const double A0 = std::round(C0), A1 = std::max(A0 + 1, std::round(C0 + FSub));
    const double V = FSeries.GetYValue(I);
    // A piled bar runs from the top of the pile below it.
    const bool Piled = FPlot.Stacked();
    const double From = Piled ? FPlot.Base[static_cast<std::size_t>(I)] : FOrigin;
    const double To = Piled ? FPlot.Top[static_cast<std::size_t>(I)] : V;
    if (Piled && !std::isfinite(To)) return false;
    const double P0 = Piled ? std::round(L.ValueMap.ToPixel(From)) : FOriginPixel;
    const double P1 = std::round(L.ValueMap.ToPixel(To));
    B.Negative = Piled ? V < 0 : V < FOrigin;
    double Lo = std::min(P0, P1), Hi = std::max(P0, P1);
    if (Hi - Lo < 1) {
        if (To == From) return false;
        // One pixel on the value's side of the origin (pixels grow upwards
        // on a vertical axis, rightwards on a horizontal one).
        if (B.Negative != L.Horizontal)
            Hi = Lo + 1;
        else
            Lo = Hi - 1;
    }
    if (L.Horizontal) {
        B.X0 = Lo, B.X1 = Hi, B.Top = A0, B.Bottom = A1;
    } else {
        B.X0 = A0, B.X1 = A1, B.Top = Lo, B.Bottom = Hi;
    }
    return true;
}

bool BarAt(const TChartLayout& L, const TChartData& D, const TPlotSeries& S, int I, TBarBox& B) {
    return TBarGeometry(L, D, S).At(I, B);
}

bool Drawn(const TPlotSeries& S, int I) {
    return !S.Series->IsNull(I) && S.PointColor(I) != clNone;
}

TColor PointColor(const TPlotSeries& S, int I) { return S.PointColor(I); }


bool Overlap(const TRectF& A, const TRectF& B) {
    return A.X < B.Right() && B.X < A.Right() && A.Y < B.Bottom() && B.Y < A.Bottom();
}


std::vector<TSlice> Slices(const TPlotSeries& S) {
    std::vector<TSlice> Out;
    const int N = S.Series->Count();
    double Total = 0;
    for (int I = 0; I < N; ++I)
        if (Drawn(S, I)) Total += std::fabs(S.Series->GetYValue(I)) / std::max(1, S.ValueCount);
    if (!(Total > 0)) return Out;
    double A = -M_PI / 2;
    for (int I = 0; I < N; ++I) {
        if (!Drawn(S, I)) continue;
        const double Share = std::fabs(S.Series->GetYValue(I)) / std::max(1, S.ValueCount) / Total;
        if (!(Share > 0)) continue;
        Out.push_back({I, A, A + Share * 2 * M_PI});
        A += Share * 2 * M_PI;
    }
    return Out;
}


}  // namespace pv
