#include "platform/chart/internal/ChartData.h"

#include <algorithm>
#include <cmath>

#include "platform/chart/Chart.h"
#include "platform/chart/internal/ChartColors.h"
#include "platform/rtl/DateTime.h"
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
    return FormatValue(*P.Look, P.MeanAbs() * P.ValueCount);
}

}  // namespace

int DrawRank(TSeriesKind K) {
    switch (K) {
        case TSeriesKind::skArea: return 0;
        case TSeriesKind::skBar:
        case TSeriesKind::skHorizBar: return 1;
        case TSeriesKind::skLine: return 2;
        case TSeriesKind::skPoint: return 3;
        case TSeriesKind::skPie: return 4;
    }
    return 1;
}

namespace {

// Piles the bar series (or the area series) of D on each other, category by
// category: positive parts up from zero, negative ones down from it, each
// sign on its own pile; for sgStacked100 each category scaled to 100 % of
// the sum of its absolute values.
void Pile(TChartData& D, bool Bars) {
    std::vector<TPlotSeries*> In;
    for (TPlotSeries& P : D.Series)
        if (Bars ? IsBar(P.Kind) : P.Kind == TSeriesKind::skArea) In.push_back(&P);
    if (In.empty()) return;
    const auto N = static_cast<std::size_t>(D.Categories);
    std::vector<double> Up(N, 0.0), Down(N, 0.0), Total(N, 0.0);
    const double Null = std::nan("");
    for (TPlotSeries* P : In) {
        P->Base.assign(N, Null);
        P->Top.assign(N, Null);
        const std::vector<double>& Y = P->Series->GetYValues()->Values();
        for (std::size_t I = 0; I < Y.size() && I < N; ++I) {
            const double V = Y[I];
            if (!std::isfinite(V)) continue;
            double& Pile = V >= 0 ? Up[I] : Down[I];
            P->Base[I] = Pile;
            Pile += V;
            P->Top[I] = Pile;
            Total[I] += std::fabs(V);
        }
    }
    if (D.Stacking == TSeriesStacking::sgStacked100)
        for (TPlotSeries* P : In)
            for (std::size_t I = 0; I < N; ++I) {
                const double K = Total[I] > 0 ? 100 / Total[I] : 0;
                P->Base[I] *= K;
                P->Top[I] *= K;
            }
}

// The extent of the X values of the drawn points, and the least distance
// between two different X values of the bars.
void GatherTimes(TChartData& D) {
    double Min = 0, Max = 0;
    bool Any = false;
    std::vector<double> BarTimes;
    for (const TPlotSeries& P : D.Series) {
        const std::vector<double>& X = P.Series->GetXValues()->Values();
        const std::vector<double>& Y = P.Series->GetYValues()->Values();
        const bool Bars = IsBar(P.Kind);
        for (std::size_t I = 0; I < X.size() && I < Y.size(); ++I) {
            const double T = X[I];
            if (!std::isfinite(T) || !std::isfinite(Y[I])) continue;
            Min = Any ? std::min(Min, T) : T;
            Max = Any ? std::max(Max, T) : T;
            Any = true;
            if (Bars) BarTimes.push_back(T);
        }
    }
    D.HasTimes = Any;
    D.MinTime = Min, D.MaxTime = Max;
    std::sort(BarTimes.begin(), BarTimes.end());
    double Gap = 0;
    for (std::size_t I = 1; I < BarTimes.size(); ++I) {
        const double G = BarTimes[I] - BarTimes[I - 1];
        if (G > 0 && (Gap == 0 || G < Gap)) Gap = G;
    }
    D.BarTimeSlot = Gap;
}

}  // namespace

TChartData TChartData::Gather(const TCustomChart& Chart) {
    TChartData D;
    D.Stacking = Chart.GetStacking();
    // The series to draw, each chart series followed by its further groups;
    // a pie draws its own points alone.
    std::vector<std::pair<const TChartSeries*, const TChartSeries*>> Drawn;
    for (int SI = 0; SI < Chart.SeriesCount(); ++SI) {
        const TChartSeries* S = Chart.GetSeries(SI);
        if (!S) continue;
        const TSeriesKind Kind = KindOf(*S);
        if (Drawn.empty() && Kind == TSeriesKind::skPie) {
            Drawn.push_back({S, S});
            break;
        }
        Drawn.push_back({S, S});
        for (int G = 0; G < S->GroupCount(); ++G) Drawn.push_back({S->GetGroup(G), S});
    }
    // Several series are told apart by their colours: none colours each
    // point by itself.
    const bool Several = Drawn.size() > 1;
    for (std::size_t K = 0; K < Drawn.size(); ++K) {
        const TChartSeries* S = Drawn[K].first;
        const TChartSeries* Look = Drawn[K].second;
        const int SI = static_cast<int>(K);
        TPlotSeries P;
        P.Series = S;
        P.Look = Look;
        P.Kind = KindOf(*Look);
        if (D.Series.empty()) {
            D.Horizontal = P.Kind == TSeriesKind::skHorizBar;
            D.Pie = P.Kind == TSeriesKind::skPie;
        }
        if (IsBar(P.Kind)) P.BarIndex = D.BarSeriesCount++;
        if (P.Kind == TSeriesKind::skArea) ++D.AreaSeriesCount;
        const TSeriesPointer* Ptr = Look->GetPointer();
        if (Ptr && Ptr->GetVisible()) P.Pointer = Ptr;
        const TColor Auto = Chart.PaletteColor(SI);
        P.Color = S->GetSeriesColor() == clDefault ? Auto : ColorToRGB(S->GetSeriesColor(), Auto);
        const bool EachPoint = S->GetColorEachPoint() && !Several;
        const int N = S->Count();
        bool OwnColors = EachPoint;
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
                else if (EachPoint)
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
        D.Categories = std::max(D.Categories, N);
        D.Series.push_back(std::move(P));
    }
    const bool Piled = D.Stacking != TSeriesStacking::sgNone && !D.Pie;
    D.BarSlots = Piled ? std::min(1, D.BarSeriesCount) : D.BarSeriesCount;
    if (Piled) {
        Pile(D, true);
        Pile(D, false);
        for (TPlotSeries& P : D.Series)
            if (IsBar(P.Kind)) P.BarIndex = 0;
    }
    // The extent of what is drawn: the values, and the piles' ends.
    auto Extend = [&D](const double* V, std::size_t N) {
        const double* End = V + N;
        while (V != End && !std::isfinite(*V)) ++V;
        if (V == End) return;
        // The extremes are kept in locals, which the loop need not store.
        double Min = D.HasValues ? std::min(D.MinValue, *V) : *V, Max = D.HasValues ? std::max(D.MaxValue, *V) : *V;
        for (; V != End; ++V)
            if (std::isfinite(*V)) Min = std::min(Min, *V), Max = std::max(Max, *V);
        D.MinValue = Min, D.MaxValue = Max, D.HasValues = true;
    };
    for (const TPlotSeries& P : D.Series) {
        if (P.Stacked()) {
            Extend(P.Base.data(), P.Base.size());
            Extend(P.Top.data(), P.Top.size());
        } else {
            const std::vector<double>& Y = P.Series->GetYValues()->Values();
            Extend(Y.data(), Y.size());
        }
    }
    if (!D.Series.empty() && !D.Pie && !D.Horizontal && D.Series.front().Series->GetXValues()->IsDateTime()) {
        D.TimeAxis = true;
        D.TimeKind = D.Series.front().Series->GetXValues()->GetKind();
        GatherTimes(D);
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
    return XValueText(*LabelSeries, Index);
}

std::string TChartData::PointText(const TChartSeries& S, int Index) {
    const std::string& Label = S.GetLabel(Index);
    return Label.empty() ? XValueText(S, Index) : Label;
}

std::string XValueText(const TChartSeries& S, int Index) {
    const double X = S.GetXValue(Index);
    switch (S.GetXValues()->GetKind()) {
        case TChartValueKind::vkDate: return FormatDateTime(X, TDateTimeKind::dkDate);
        case TChartValueKind::vkTime: return FormatDateTime(X, TDateTimeKind::dkTime);
        case TChartValueKind::vkDateTime: return FormatDateTime(X, TDateTimeKind::dkDateTime);
        case TChartValueKind::vkNumber: break;
    }
    return FormatValue(S, X);
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
    const TChartSeries& Look = *P.Look;
    const double V = S.GetYValue(Index);
    const std::string& Label = S.GetLabel(Index);
    const std::string Value = FormatValue(Look, V);
    const std::string LabelOrValue = Label.empty() ? Value : Label;
    switch (Look.GetMarks()->GetStyle()) {
        case TSeriesMarksStyle::smValue: return Value;
        case TSeriesMarksStyle::smPercent: return PercentText(P, V);
        case TSeriesMarksStyle::smLabel: return LabelOrValue;
        case TSeriesMarksStyle::smLabelPercent: return LabelOrValue + " " + PercentText(P, V);
        case TSeriesMarksStyle::smLabelValue: return Label.empty() ? Value : Label + " " + Value;
        case TSeriesMarksStyle::smLegend: return Label.empty() ? Value : Label + ": " + Value;
        case TSeriesMarksStyle::smPercentTotal: return PercentText(P, V) + " of " + TotalText(P);
        case TSeriesMarksStyle::smLabelPercentTotal:
            return LabelOrValue + " " + PercentText(P, V) + " of " + TotalText(P);
        case TSeriesMarksStyle::smXValue:
            return S.GetXValues()->IsDateTime() ? XValueText(S, Index) : FormatValue(Look, S.GetXValue(Index));
    }
    return Value;
}

std::string SeriesTitle(const TChartSeries& S, int Index) {
    if (!S.GetGroupTitle().empty()) return S.GetGroupTitle();
    if (!S.GetTitle().empty()) return S.GetTitle();
    if (!S.GetName().empty()) return S.GetName();
    return "Series" + std::to_string(Index + 1);
}

std::string DescribeChart(const TChartData& Data) {
    if (Data.Series.empty()) return "An empty chart.";
    const TPlotSeries& First = Data.Series.front();
    static constexpr const char* Kinds[] = {"Bar", "Horizontal bar", "Line", "Area", "Point", "Pie"};
    std::string Out = Kinds[static_cast<int>(First.Kind)];
    Out += " chart of ";
    int Points = 0;
    double Min = 0, Max = 0;
    bool Any = false;
    for (const TPlotSeries& P : Data.Series) {
        Points += P.ValueCount;
        for (double V : P.Series->GetYValues()->Values())
            if (std::isfinite(V)) {
                Min = Any ? std::min(Min, V) : V;
                Max = Any ? std::max(Max, V) : V;
                Any = true;
            }
    }
    Out += std::to_string(Points) + (Points == 1 ? " point" : " points");
    const std::size_t N = Data.Series.size();
    Out += N == 1 ? " in the series " : " in " + std::to_string(N) + " series: ";
    for (std::size_t I = 0; I < N && I < 8; ++I) {
        if (I > 0) Out += I + 1 == N ? " and " : ", ";
        Out += SeriesTitle(*Data.Series[I].Series, static_cast<int>(I));
    }
    if (N > 8) Out += " and " + std::to_string(N - 8) + " more";
    if (Any) {
        const TChartSeries& Look = First.Look ? *First.Look : *First.Series;
        Out += Min == Max ? ", all of value " + FormatValue(Look, Min)
                          : ", values from " + FormatValue(Look, Min) + " to " + FormatValue(Look, Max);
    }
    return Out + ".";
}

}  // namespace pv
