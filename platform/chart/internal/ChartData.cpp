#include "platform/chart/internal/ChartData.h"

#include <algorithm>
#include <cmath>

#include "platform/chart/Chart.h"
#include "platform/chart/internal/ChartColors.h"
#include "platform/rtl/FormatFloat.h"

namespace pv {

namespace {

TSeriesKind KindOf(const TChartSeries& S) {
    // Derived classes first: a horizontal bar series is a bar series, an
    // area series a line series.
    if (dynamic_cast<const THorizBarSeries*>(&S)) return TSeriesKind::skHorizBar;
    if (dynamic_cast<const TBarSeries*>(&S)) return TSeriesKind::skBar;
    if (dynamic_cast<const TPointSeries*>(&S)) return TSeriesKind::skPoint;
    if (dynamic_cast<const TAreaSeries*>(&S)) return TSeriesKind::skArea;
    if (dynamic_cast<const TLineSeries*>(&S)) return TSeriesKind::skLine;
    if (dynamic_cast<const TPieSeries*>(&S)) return TSeriesKind::skPie;
    return TSeriesKind::skBar;
}

std::string PercentText(const TPlotSeries& P, double V) {
    const double Mean = P.MeanAbs();
    const double Share = Mean > 0 ? std::fabs(V) / P.ValueCount / Mean * 100 : 0;
    return FormatFloat("##0.##", Share, SeparatorsOf(*P.Series)) + " %";
}

std::string TotalText(const TPlotSeries& P) {
    // The total itself may exceed the doubles; FormatFloat then writes INF.
    return FormatValue(*P.Series, P.MeanAbs() * P.ValueCount);
}

}  // namespace

TChartData TChartData::Gather(const TCustomChart& Chart) {
    TChartData D;
    for (int SI = 0; SI < Chart.SeriesCount(); ++SI) {
        const TChartSeries* S = Chart.GetSeries(SI);
        if (!S) continue;
        TPlotSeries P;
        P.Series = S;
        P.Kind = KindOf(*S);
        if (D.Series.empty()) {
            D.Horizontal = P.Kind == TSeriesKind::skHorizBar;
            D.Pie = P.Kind == TSeriesKind::skPie;
        } else if (D.Pie) {
            break;
        }
        if (IsBar(P.Kind)) P.BarIndex = D.BarSeriesCount++;
        if (P.Kind == TSeriesKind::skArea) ++D.AreaSeriesCount;
        const TSeriesPointer* Ptr = S->GetPointer();
        if (Ptr && Ptr->GetVisible()) P.Pointer = Ptr;
        P.Color = S->GetSeriesColor() == clDefault ? AutoColor(SI) : ColorToRGB(S->GetSeriesColor(), AutoColor(SI));
        const int N = S->Count();
        bool OwnColors = S->GetColorEachPoint();
        for (int I = 0; I < N && !OwnColors; ++I) OwnColors = S->GetValueColor(I) != clDefault;
        if (OwnColors) {
            P.PointColors.resize(static_cast<std::size_t>(N));
            for (int I = 0; I < N; ++I) {
                const TColor Own = S->GetValueColor(I);
                TColor C;
                if (Own == clNone)
                    C = clNone;
                else if (Own != clDefault)
                    C = ColorToRGB(Own, P.Color);
                else if (S->GetColorEachPoint())
                    C = AutoColor(I);
                else
                    C = P.Color;
                P.PointColors[static_cast<std::size_t>(I)] = C;
            }
        }
        const std::vector<double>& Y = S->GetYValues()->Values();
        int Count = 0;
        for (double V : Y) Count += std::isfinite(V);
        P.ValueCount = Count;
        // The extremes are kept in locals, which the loop need not store.
        auto V = Y.begin();
        while (V != Y.end() && !std::isfinite(*V)) ++V;
        if (V != Y.end()) {
            double Min = D.HasValues ? std::min(D.MinValue, *V) : *V, Max = D.HasValues ? std::max(D.MaxValue, *V) : *V;
            for (; V != Y.end(); ++V)
                if (std::isfinite(*V)) Min = std::min(Min, *V), Max = std::max(Max, *V);
            D.MinValue = Min, D.MaxValue = Max, D.HasValues = true;
        }
        D.Categories = std::max(D.Categories, N);
        D.Series.push_back(std::move(P));
    }
    for (const TPlotSeries& P : D.Series)
        if (P.Series->HasLabels()) {
            D.LabelSeries = P.Series;
            D.HasLabels = true;
            break;
        }
    if (!D.LabelSeries)
        for (const TPlotSeries& P : D.Series)
            if (P.Series->Count() == D.Categories) {
                D.LabelSeries = P.Series;
                break;
            }
    return D;
}

double TPlotSeries::MeanAbs() const {
    if (!FMeanAbs) {
        // Each term is at most DBL_MAX / count, so the sum cannot overflow.
        double Sum = 0;
        for (double V : Series->GetYValues()->Values())
            if (std::isfinite(V)) Sum += std::fabs(V) / ValueCount;
        FMeanAbs = Sum;
    }
    return *FMeanAbs;
}

std::string TChartData::CategoryText(int Index) const {
    if (!LabelSeries || Index < 0 || Index >= LabelSeries->Count()) return std::to_string(Index);
    if (HasLabels) return LabelSeries->GetLabel(Index);
    return FormatValue(*LabelSeries, LabelSeries->GetXValue(Index));
}

std::string TChartData::PointText(const TChartSeries& S, int Index) {
    const std::string& Label = S.GetLabel(Index);
    return Label.empty() ? FormatValue(S, S.GetXValue(Index)) : Label;
}

const TNumberSeparators& SeparatorsOf(const TChartSeries& S) {
    const TCustomChart* Chart = S.GetParentChart();
    return (Chart ? Chart->GetLocaleData() : DefaultChartLocale()).Separators;
}

std::string FormatValue(const TChartSeries& S, double V) {
    return FormatFloat(S.GetValueFormat(), V, SeparatorsOf(S));
}

std::string MarkText(const TPlotSeries& P, int Index) {
    const TChartSeries& S = *P.Series;
    const double V = S.GetYValue(Index);
    const std::string& Label = S.GetLabel(Index);
    const std::string Value = FormatValue(S, V);
    const std::string LabelOrValue = Label.empty() ? Value : Label;
    switch (S.GetMarks()->GetStyle()) {
        case TSeriesMarksStyle::smValue: return Value;
        case TSeriesMarksStyle::smPercent: return PercentText(P, V);
        case TSeriesMarksStyle::smLabel: return LabelOrValue;
        case TSeriesMarksStyle::smLabelPercent: return LabelOrValue + " " + PercentText(P, V);
        case TSeriesMarksStyle::smLabelValue: return Label.empty() ? Value : Label + " " + Value;
        case TSeriesMarksStyle::smLegend: return Label.empty() ? Value : Label + ": " + Value;
        case TSeriesMarksStyle::smPercentTotal: return PercentText(P, V) + " of " + TotalText(P);
        case TSeriesMarksStyle::smLabelPercentTotal:
            return LabelOrValue + " " + PercentText(P, V) + " of " + TotalText(P);
        case TSeriesMarksStyle::smXValue: return FormatValue(S, S.GetXValue(Index));
    }
    return Value;
}

std::string SeriesTitle(const TChartSeries& S, int Index) {
    if (!S.GetTitle().empty()) return S.GetTitle();
    if (!S.GetName().empty()) return S.GetName();
    return "Series" + std::to_string(Index + 1);
}

}  // namespace pv
