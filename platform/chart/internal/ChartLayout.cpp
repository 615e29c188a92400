#include "platform/chart/internal/ChartLayout.h"

#include <algorithm>
#include <cmath>

#include "platform/chart/Chart.h"
#include "platform/rtl/FormatFloat.h"

namespace pv {

namespace {

// Spacing in pixels.
constexpr double TickLength = 4;     // tick marks outside the plot
constexpr double TickLabelGap = 3;   // between a tick mark and its label
constexpr double TitleGap = 6;       // below the chart title
constexpr double LegendGap = 10;     // between the plot area and the legend
constexpr double AxisTitleGap = 4;   // between axis labels and the axis title
constexpr double LabelGap = 6;       // least room between two category labels
constexpr double TitlePadX = 6, TitlePadY = 2;
// Category labels measured to choose between straight, turned and thinned
// labels; a picture of more points samples them evenly.
constexpr int MaxSampledLabels = 200;

// What the layout leaves out, from nothing to everything but the plot.
enum TDetail { dtAll, dtNoLegend, dtNoAxisTitles, dtNoTitle, dtNoAxisLabels, dtCount };

int IntWidth(double W) { return std::max(1, static_cast<int>(std::floor(W))); }

double Place(TAlignment A, double Left, double Width, double W) {
    switch (A) {
        case TAlignment::taLeftJustify: return Left;
        case TAlignment::taRightJustify: return Left + Width - W;
        case TAlignment::taCenter: break;
    }
    return Left + (Width - W) / 2;
}

TRectF PanelRect(const TCustomChart& Chart, int Width, int Height) {
    double Bevel = 0;
    if (Chart.GetBevelOuter() != TBevelCut::bvNone) Bevel += Chart.GetBevelWidth();
    if (Chart.GetBevelInner() != TBevelCut::bvNone) Bevel += Chart.GetBevelWidth();
    return TRectF{0, 0, double(Width), double(Height)}.Inset(Bevel);
}

// The picture for the tick labels: the first series' value format when it
// tells every tick apart in a few characters, else one made for the step.
std::string TickPicture(const TChartData& D, const TAxisTicks& T) {
    const std::string Auto = TickFormat(T.Step, std::max(std::fabs(T.Range.Min), std::fabs(T.Range.Max)));
    if (D.Series.empty()) return Auto;
    const std::string& F = D.Series.front().Series->GetValueFormat();
    std::string Previous;
    for (std::size_t I = 0; I < T.Values.size(); ++I) {
        std::string S = FormatFloat(F, T.Values[I]);
        if (S.empty() || S.size() > 12 || (I > 0 && S == Previous)) return Auto;
        Previous = std::move(S);
    }
    return F;
}

class TLayouter {
public:
    TLayouter(const TCustomChart& Chart, const TChartData& Data, TTextEngine& Text, int Width, int Height)
        : C(Chart), D(Data), T(Text), W(Width), H(Height) {}

    TChartLayout Run(int Detail) {
        L = TChartLayout{};
        L.Panel = PanelRect(C, W, H);
        const double Margin = std::clamp(std::floor(std::min(L.Panel.W, L.Panel.H) / 30), 0.0, 8.0);
        Area = L.Panel.Inset(Margin);
        if (Detail < dtNoTitle) LayoutTitle();
        if (Detail < dtNoLegend) LayoutLegend();
        LayoutAxes(Detail);
        return L;
    }

private:
    void LayoutTitle() {
        const TChartTitle& Title = *C.GetTitle();
        if (!Title.GetVisible() || Area.Empty()) return;
        const TStringList& Lines = *Title.GetText();
        bool Any = false;
        for (int I = 0; I < Lines.GetCount(); ++I) Any = Any || !Lines[I].empty();
        if (!Any) return;
        const TTextFont Font = TTextFont::FromFont(*Title.GetFont());
        const int MaxW = IntWidth(Area.W - 2 * TitlePadX);
        double BlockW = 0, BlockH = 0;
        for (int I = 0; I < Lines.GetCount(); ++I) {
            TPlacedText P;
            P.Layout = T.Layout(Font, Lines[I], MaxW);
            BlockW = std::max(BlockW, P.Layout->Width());
            BlockH += P.Layout->Height();
            L.TitleLines.push_back(std::move(P));
        }
        const TAlignment Align = Title.GetAlignment();
        const double BoxW = std::min(Area.W, BlockW + 2 * TitlePadX);
        L.TitleBox = {Place(Align, Area.X, Area.W, BoxW), Area.Y, BoxW, BlockH + 2 * TitlePadY};
        double Y = L.TitleBox.Y + TitlePadY;
        for (TPlacedText& P : L.TitleLines) {
            P.X = Place(Align, L.TitleBox.X + TitlePadX, L.TitleBox.W - 2 * TitlePadX, P.Layout->Width());
            P.Y = Y;
            Y += P.Layout->Height();
        }
        const double Used = L.TitleBox.H + TitleGap;
        Area.Y += Used;
        Area.H = std::max(0.0, Area.H - Used);
    }

    // The rows the legend lists, by its style.
    enum class TRows { Points, Series, LastValues };

    void LayoutLegend() {
        const TCustomChartLegend& Legend = *C.GetLegend();
        if (!Legend.GetVisible() || D.Series.empty() || Area.Empty()) return;
        TRows Kind = TRows::Series;
        switch (Legend.GetLegendStyle()) {
            case TLegendStyle::lsAuto: Kind = D.Series.size() == 1 ? TRows::Points : TRows::Series; break;
            case TLegendStyle::lsSeries: Kind = TRows::Series; break;
            case TLegendStyle::lsValues: Kind = TRows::Points; break;
            case TLegendStyle::lsLastValues: Kind = TRows::LastValues; break;
        }
        const TPlotSeries& First = D.Series.front();
        const int Total = Kind == TRows::Points ? First.Series->Count() : static_cast<int>(D.Series.size());
        if (Total == 0) return;

        const TTextFont Font = TTextFont::FromFont(*Legend.GetFont());
        const double LineH = T.LineHeight(Font);
        L.LegendPad = std::round(LineH * 0.45);
        L.LegendRowHeight = std::ceil(LineH * 1.15);
        L.SwatchSize = std::round(LineH * 0.7);
        const double Fit = std::floor((Area.H - 2 * L.LegendPad) / L.LegendRowHeight);
        if (Fit < 1) return;
        const int Shown = Total <= Fit ? Total : static_cast<int>(Fit) - 1;
        const bool HasValues = Kind != TRows::Series;

        // The widest legend allowed; labels beyond it are cut.
        const double MaxLegendW = std::max(60.0, Area.W * 0.4);
        const double ColumnGap = std::round(LineH * 0.6);
        std::vector<std::string> Labels, Values;
        std::vector<const TPlotSeries*> RowSeries;
        std::vector<TColor> Colors;
        for (int I = 0; I < Shown; ++I) {
            if (Kind == TRows::Points) {
                const TChartSeries& S = *First.Series;
                Labels.push_back(TChartData::PointText(S, I));
                Values.push_back(S.IsNull(I) ? std::string() : FormatValue(S, S.GetYValue(I)));
                Colors.push_back(First.PointColors[static_cast<std::size_t>(I)]);
                RowSeries.push_back(&First);
            } else {
                const TPlotSeries& P = D.Series[static_cast<std::size_t>(I)];
                Labels.push_back(SeriesTitle(*P.Series, I));
                std::string V;
                if (Kind == TRows::LastValues)
                    for (int J = P.Series->Count() - 1; J >= 0; --J)
                        if (!P.Series->IsNull(J)) {
                            V = FormatValue(*P.Series, P.Series->GetYValue(J));
                            break;
                        }
                Values.push_back(V);
                Colors.push_back(P.Color);
                RowSeries.push_back(&P);
            }
        }
        double ValueW = 0;
        std::vector<TTextLayoutPtr> ValueLayouts;
        if (HasValues) {
            const int MaxValueW = IntWidth(MaxLegendW / 2);
            for (const std::string& V : Values) {
                ValueLayouts.push_back(T.Layout(Font, V, MaxValueW));
                ValueW = std::max(ValueW, ValueLayouts.back()->Width());
            }
        }
        const double Fixed = 2 * L.LegendPad + L.SwatchSize + ColumnGap / 1.5 + (HasValues ? ColumnGap + ValueW : 0);
        const double MaxLabelW = MaxLegendW - Fixed;
        if (MaxLabelW < LineH) return;
        double LabelW = 0;
        std::vector<TTextLayoutPtr> LabelLayouts;
        for (const std::string& S : Labels) {
            LabelLayouts.push_back(T.Layout(Font, S, IntWidth(MaxLabelW)));
            LabelW = std::max(LabelW, LabelLayouts.back()->Width());
        }
        TTextLayoutPtr EllipsisLayout;
        if (Shown < Total) {
            EllipsisLayout = T.Layout(Font, "\xE2\x80\xA6");  // U+2026
            LabelW = std::max(LabelW, EllipsisLayout->Width());
        }
        const double LegendW = std::ceil(Fixed + LabelW);
        const int Rows = Shown + (Shown < Total ? 1 : 0);
        const double LegendH = 2 * L.LegendPad + Rows * L.LegendRowHeight;
        if (LegendW + LegendGap + 40 > Area.W) return;

        for (int I = 0; I < Shown; ++I) {
            TLegendRow R;
            R.Color = Colors[static_cast<std::size_t>(I)];
            R.Series = RowSeries[static_cast<std::size_t>(I)];
            R.Label = LabelLayouts[static_cast<std::size_t>(I)];
            if (HasValues) R.Value = ValueLayouts[static_cast<std::size_t>(I)];
            L.LegendRows.push_back(std::move(R));
        }
        if (EllipsisLayout) {
            TLegendRow R;
            R.Label = EllipsisLayout;
            R.Ellipsis = true;
            L.LegendRows.push_back(std::move(R));
        }
        L.LegendVisible = true;
        L.LegendBox = {std::round(Area.Right() - LegendW), std::round(Area.Y + (Area.H - LegendH) / 2), LegendW,
                       LegendH};
        L.LegendLabelX = L.LegendBox.X + L.LegendPad + L.SwatchSize + ColumnGap / 1.5;
        Area.W = std::max(0.0, L.LegendBox.X - LegendGap - Area.X);
    }

    void LayoutAxes(int Detail) {
        const TChartAxis& Left = *C.GetLeftAxis();
        const TChartAxis& Bottom = *C.GetBottomAxis();
        L.LeftAxisVisible = Left.GetVisible();
        L.BottomAxisVisible = Bottom.GetVisible();
        const bool Labels = Detail < dtNoAxisLabels;
        L.MarksVisible = Labels && MarksFont(D) != nullptr;

        // Axis titles take the outer edges of the plot area.
        TRectF A = Area;
        L.MarksTop = Area.Y;
        TTextLayoutPtr LeftTitle, BottomTitle;
        double LeftTitleW = 0, BottomTitleH = 0;
        if (Detail < dtNoAxisTitles) {
            if (L.LeftAxisVisible && !Left.GetTitle()->GetCaption().empty()) {
                const TTextFont F = TTextFont::FromFont(*Left.GetTitle()->GetFont());
                LeftTitle = T.Layout(F, Left.GetTitle()->GetCaption(), IntWidth(A.H));
                LeftTitleW = LeftTitle->Height() + AxisTitleGap;
            }
            if (L.BottomAxisVisible && !Bottom.GetTitle()->GetCaption().empty()) {
                const TTextFont F = TTextFont::FromFont(*Bottom.GetTitle()->GetFont());
                BottomTitle = T.Layout(F, Bottom.GetTitle()->GetCaption(), IntWidth(A.W));
                BottomTitleH = BottomTitle->Height() + AxisTitleGap / 2;
            }
        }
        A.X += LeftTitleW;
        A.W = std::max(0.0, A.W - LeftTitleW);
        A.H = std::max(0.0, A.H - BottomTitleH);

        const TTextFont TickFont = TTextFont::FromFont(*Left.GetLabelsFont());
        const TTextFont CatFont = TTextFont::FromFont(*Bottom.GetLabelsFont());
        const double TickLineH = T.LineHeight(TickFont);
        const double CatLineH = T.LineHeight(CatFont);
        const bool TickLabels = Labels && L.LeftAxisVisible;
        const bool CatLabels = Labels && L.BottomAxisVisible && D.Categories > 0;

        double TopRoom = TickLabels ? std::ceil(TickLineH / 2) : 0;
        if (L.MarksVisible) TopRoom = std::max(TopRoom, std::ceil(T.LineHeight(TTextFont::FromFont(*MarksFont(D))) + 8));
        if (C.GetView3D()) {
            const int Rows = std::max(1, static_cast<int>(D.Series.size()));
            L.Depth = Depth3D(C.GetWidth(), C.GetHeight(), C.GetChart3DPercent(), Rows);
            L.Depth = std::floor(std::min(L.Depth, std::min(A.W, A.H) * 0.25));
            L.Depth = std::max(0.0, L.Depth);
        }
        const double Tick = L.BottomAxisVisible ? TickLength : 0;
        double BottomH = Tick + (CatLabels ? 2 + CatLineH : 0);

        // Inflate the value axis ends so pointer symbols at them stay whole.
        double Inflate = 0;
        for (const TPlotSeries& P : D.Series)
            if (P.Pointer && P.Pointer->GetInflateMargins())
                Inflate = std::max(Inflate, double(std::clamp(P.Pointer->GetVertSize(), 0, 50)) + 1);

        // The left labels' width depends on the ticks, which depend on the
        // plot's height, which depends on whether the bottom labels are
        // turned, which depends on the plot's width: two passes settle it.
        for (int Pass = 0; Pass < 2; ++Pass) {
            L.Plot.Y = std::round(A.Y + TopRoom + L.Depth);
            const double PlotBottom = std::round(A.Bottom() - BottomH);
            L.Plot.H = std::max(0.0, PlotBottom - L.Plot.Y);

            const TValueRange Range = Left.GetAutomatic()
                                          ? AutoRange(D.MinValue, D.MaxValue, D.HasValues, D.BarSeriesCount > 0)
                                          : FixedRange(Left.GetMinimum(), Left.GetMaximum());
            L.Ticks = NiceTicks(Range, TickCountForLength(L.Plot.H - 2 * Inflate), Left.GetAutomatic());
            L.TickLabels.clear();
            double LeftW = L.LeftAxisVisible ? TickLength : 0;
            if (TickLabels) {
                const std::string Picture = TickPicture(D, L.Ticks);
                const int MaxW = IntWidth(std::max(20.0, A.W / 3));
                double MaxLabelW = 0;
                for (double V : L.Ticks.Values) {
                    TPlacedText P;
                    P.Layout = T.Layout(TickFont, FormatFloat(Picture, V), MaxW);
                    MaxLabelW = std::max(MaxLabelW, P.Layout->Width());
                    L.TickLabels.push_back(std::move(P));
                }
                LeftW += TickLabelGap + std::ceil(MaxLabelW);
            }
            L.Plot.X = std::round(A.X + LeftW);
            L.Plot.W = std::max(0.0, std::round(A.Right() - L.Depth) - L.Plot.X);
            L.Categories = TCategoryMap(D.Categories, L.Plot.X, L.Plot.Right());
            if (!CatLabels) break;

            // Straight labels when they fit; turned when that makes every
            // label fit; otherwise straight and thinned.
            const int N = D.Categories;
            const int Samples = std::min(N, MaxSampledLabels);
            const double LongLabel = std::max(150.0, L.Plot.W * 0.4);
            double MaxW = 0;
            for (int S = 0; S < Samples; ++S) {
                // Evenly spread over all labels, the first and the last included.
                const int I = Samples == N ? S : static_cast<int>(std::int64_t{S} * (N - 1) / (Samples - 1));
                MaxW = std::max(MaxW, T.Layout(CatFont, D.CategoryText(I), IntWidth(LongLabel))->Width());
            }
            const double Slot = L.Categories.SlotWidth();
            if (Pass == 0) {
                L.LabelsRotated = MaxW + LabelGap > Slot && CatLineH + LabelGap / 2 <= Slot;
                if (L.LabelsRotated) {
                    const double Turned = std::clamp(MaxW, CatLineH, std::max(CatLineH, A.H * 0.3));
                    BottomH = Tick + 3 + std::ceil(Turned);
                    continue;
                }
            }
            L.LabelStep = L.LabelsRotated ? LabelStep(Slot, CatLineH, LabelGap / 2) : LabelStep(Slot, MaxW, LabelGap);
            break;
        }

        L.ValueMap = TLinearMap(L.Ticks.Range, L.Plot.Bottom() - Inflate, L.Plot.Y + Inflate);
        for (std::size_t I = 0; I < L.TickLabels.size(); ++I) {
            TPlacedText& P = L.TickLabels[I];
            P.X = L.Plot.X - TickLength - TickLabelGap - P.Layout->Width();
            P.Y = L.ValueMap.ToPixel(L.Ticks.Values[I]) - P.Layout->Height() / 2;
        }
        if (CatLabels) PlaceCategoryLabels(CatFont, A, BottomH);

        if (LeftTitle) {
            L.LeftTitle.Layout = LeftTitle;
            L.LeftTitle.Angle = 90;
            L.LeftTitle.X = Area.X + LeftTitle->Height() / 2;
            L.LeftTitle.Y = L.Plot.CenterY();
        }
        if (BottomTitle) {
            L.BottomTitle.Layout = BottomTitle;
            L.BottomTitle.X = std::clamp(L.Plot.CenterX() - BottomTitle->Width() / 2, Area.X,
                                         std::max(Area.X, Area.Right() - BottomTitle->Width()));
            L.BottomTitle.Y = Area.Bottom() - BottomTitle->Height();
        }
    }

    void PlaceCategoryLabels(const TTextFont& Font, const TRectF& A, double BottomH) {
        const double Slot = L.Categories.SlotWidth();
        const double Top = L.Plot.Bottom() + TickLength + 2;
        if (L.LabelsRotated) {
            const int MaxW = IntWidth(BottomH - TickLength - 3);
            for (int I = 0; I < D.Categories; I += L.LabelStep) {
                TPlacedText P;
                P.Layout = T.Layout(Font, D.CategoryText(I), MaxW);
                P.Angle = 90;
                P.X = L.Categories.Center(I);
                P.Y = Top + 1 + P.Layout->Width() / 2;
                L.CategoryLabels.push_back(std::move(P));
            }
            return;
        }
        const double Room = L.LabelStep * Slot - LabelGap;
        if (Room < 1) return;
        const int MaxW = IntWidth(Room);
        for (int I = 0; I < D.Categories; I += L.LabelStep) {
            TPlacedText P;
            P.Layout = T.Layout(Font, D.CategoryText(I), MaxW);
            const double W = P.Layout->Width();
            // The first and last labels may stick out of the plot, never out
            // of the area the axes may use.
            P.X = std::clamp(L.Categories.Center(I) - W / 2, A.X, std::max(A.X, Area.Right() - W));
            P.Y = Top;
            L.CategoryLabels.push_back(std::move(P));
        }
    }

    const TCustomChart& C;
    const TChartData& D;
    TTextEngine& T;
    const int W, H;
    TChartLayout L;
    TRectF Area;
};

}  // namespace

const TFont* MarksFont(const TChartData& Data) {
    for (const TPlotSeries& P : Data.Series)
        if (P.Series->GetMarks()->GetVisible()) return P.Series->GetMarks()->GetFont();
    return nullptr;
}

TChartLayout LayoutChart(const TCustomChart& Chart, const TChartData& Data, TTextEngine& Text, int Width,
                         int Height) {
    TLayouter Layouter(Chart, Data, Text, Width, Height);
    TChartLayout L;
    for (int Detail = dtAll; Detail < dtCount; ++Detail) {
        L = Layouter.Run(Detail);
        // A plot this small is not worth the parts it would keep.
        if (L.Plot.W >= std::min(60.0, Width * 0.4) && L.Plot.H >= std::min(40.0, Height * 0.35)) break;
    }
    return L;
}

}  // namespace pv
