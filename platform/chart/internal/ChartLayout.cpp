#include "platform/chart/internal/ChartLayout.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "platform/chart/Chart.h"
#include "platform/rtl/Exception.h"
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
constexpr double MarkPadX = TMarkSpacing::PadX, MarkPadY = TMarkSpacing::PadY, MarkOffset = TMarkSpacing::Offset,
                 PieLeader = TMarkSpacing::PieLeader;
constexpr int MaxMarkWidth = TMarkSpacing::MaxWidth;

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
std::string TickPicture(const TChartData& D, const TAxisTicks& T, const TNumberSeparators& Sep) {
    const std::string Auto = TickFormat(T.Step, std::max(std::fabs(T.Range.Min), std::fabs(T.Range.Max)));
    if (D.Series.empty()) return Auto;
    // Piles scaled to 100 % are read in percent.
    if (D.Stacking == TSeriesStacking::sgStacked100 && D.BarSlots + D.AreaSeriesCount > 0) return Auto + " '%'";
    const std::string& F = D.Series.front().Look->GetValueFormat();
    std::string Previous;
    for (std::size_t I = 0; I < T.Values.size(); ++I) {
        std::string S = FormatFloat(F, T.Values[I], Sep);
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
        // Each run starts the axis stages afresh.
        ValueAxis = CategoryAxis = nullptr;
        LeftTitleText = BottomTitleText = nullptr;
        TopRoom = BottomH = RightRoom = CatLabelW = TickLabelWidth = InflateLow = InflateHigh = 0;
        L.Panel = PanelRect(C, W, H);
        const double Margin = std::clamp(std::floor(std::min(L.Panel.W, L.Panel.H) / 30), 0.0, 8.0);
        Area = L.Panel.Inset(Margin);
        if (Detail < dtNoTitle) LayoutTitle();
        if (Detail < dtNoLegend) LayoutLegend();
        if (D.Pie)
            LayoutPie(Detail);
        else
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
            // A series over time has too many points to list: its row
            // names it.
            case TLegendStyle::lsAuto:
                Kind = D.Series.size() == 1 && !D.TimeAxis ? TRows::Points : TRows::Series;
                break;
            case TLegendStyle::lsSeries: Kind = TRows::Series; break;
            // The points of a lone series; several series are listed by
            // series, since one series' points would leave the others
            // unexplained.
            case TLegendStyle::lsValues: Kind = D.Series.size() == 1 ? TRows::Points : TRows::Series; break;
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
        std::vector<bool> Negative;
        for (int I = 0; I < Shown; ++I) {
            if (Kind == TRows::Points) {
                const TChartSeries& S = *First.Series;
                Labels.push_back(TChartData::PointText(S, I));
                Values.push_back(S.IsNull(I) ? std::string() : FormatValue(*First.Look, S.GetYValue(I)));
                Colors.push_back(First.PointColor(I));
                RowSeries.push_back(&First);
                Negative.push_back(First.Kind == TSeriesKind::skPie && !S.IsNull(I) && S.GetYValue(I) < 0);
            } else {
                const TPlotSeries& P = D.Series[static_cast<std::size_t>(I)];
                Labels.push_back(SeriesTitle(*P.Series, I));
                std::string V;
                if (Kind == TRows::LastValues)
                    for (int J = P.Series->Count() - 1; J >= 0; --J)
                        if (!P.Series->IsNull(J)) {
                            V = FormatValue(*P.Look, P.Series->GetYValue(J));
                            break;
                        }
                Values.push_back(V);
                Colors.push_back(P.Color);
                RowSeries.push_back(&P);
                Negative.push_back(false);
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
        double LegendW = std::ceil(Fixed + LabelW);
        // The last row of a legend that leaves rows out says how many. It has
        // no swatch: it goes under the labels when it fits there, else from
        // the swatches' edge, and widens the legend only when even that is
        // too narrow.
        const double LabelOffset = L.LegendPad + L.SwatchSize + ColumnGap / 1.5;
        TTextLayoutPtr MoreLayout;
        double MoreOffset = LabelOffset;
        if (Shown < Total) {
            MoreLayout = T.Layout(Font, MoreRowsText(*First.Series, Total - Shown), IntWidth(MaxLegendW - 2 * L.LegendPad));
            if (LabelOffset + MoreLayout->Width() > LegendW - L.LegendPad) {
                MoreOffset = L.LegendPad;
                LegendW = std::max(LegendW, std::ceil(2 * L.LegendPad + MoreLayout->Width()));
            }
        }
        const int Rows = Shown + (Shown < Total ? 1 : 0);
        const double LegendH = 2 * L.LegendPad + Rows * L.LegendRowHeight;
        if (LegendW + LegendGap + 40 > Area.W) return;

        for (int I = 0; I < Shown; ++I) {
            TLegendRow R;
            R.Color = Colors[static_cast<std::size_t>(I)];
            R.Series = RowSeries[static_cast<std::size_t>(I)];
            R.Negative = Negative[static_cast<std::size_t>(I)];
            R.Label = LabelLayouts[static_cast<std::size_t>(I)];
            if (HasValues) R.Value = ValueLayouts[static_cast<std::size_t>(I)];
            L.LegendRows.push_back(std::move(R));
        }
        if (MoreLayout) {
            TLegendRow R;
            R.Label = MoreLayout;
            R.Ellipsis = true;
            R.Hidden = Total - Shown;
            L.LegendRows.push_back(std::move(R));
        }
        L.LegendVisible = true;
        L.LegendBox = {std::round(Area.Right() - LegendW), std::round(Area.Y + (Area.H - LegendH) / 2), LegendW,
                       LegendH};
        L.LegendLabelX = L.LegendBox.X + L.LegendPad + L.SwatchSize + ColumnGap / 1.5;
        if (MoreLayout) L.LegendRows.back().LabelX = L.LegendBox.X + MoreOffset;
        for (TLegendRow& R : L.LegendRows)
            if (!R.Ellipsis) R.LabelX = L.LegendLabelX;
        Area.W = std::max(0.0, L.LegendBox.X - LegendGap - Area.X);
    }

    // The axes are laid out in named stages, each settling what the next
    // one needs: the axis titles take the outer edges, the 3D depth and the
    // room for marks and pointers follow, then the ticks (which depend on
    // the plot's length along the value axis) and the labels (whose size
    // gives the plot its other edges) are settled in two passes, and last
    // every text is put in its place.
    void LayoutAxes(int Detail) {
        const TChartAxis& Left = *C.GetLeftAxis();
        const TChartAxis& Bottom = *C.GetBottomAxis();
        L.Horizontal = D.Horizontal;
        L.LeftAxisVisible = Left.GetVisible();
        L.BottomAxisVisible = Bottom.GetVisible();
        ValueAxis = L.Horizontal ? &Bottom : &Left;
        CategoryAxis = L.Horizontal ? &Left : &Bottom;
        const bool Labels = Detail < dtNoAxisLabels;
        L.MarksVisible = Labels && MarksFont(D) != nullptr;
        L.MarksTop = Area.Y;
        L.MarksArea = Area;
        TickFont = TTextFont::FromFont(*ValueAxis->GetLabelsFont());
        CatFont = TTextFont::FromFont(*CategoryAxis->GetLabelsFont());
        TickLineH = T.LineHeight(TickFont);
        CatLineH = T.LineHeight(CatFont);
        TickLabelsOn = Labels && L.ValueAxisVisible();
        CatLabelsOn = Labels && L.CategoryAxisVisible() && D.Categories > 0;

        AxisTitles(Detail < dtNoAxisTitles);
        DepthAndRoom();
        for (int Pass = 0; Pass < 2; ++Pass) {
            Ticks();
            if (!AxisLabels(Pass)) break;
        }
        PlaceAxisTexts();
    }

    // Stage 1: the axis titles take the outer left and bottom edges.
    void AxisTitles(bool Shown) {
        const TChartAxis& Left = *C.GetLeftAxis();
        const TChartAxis& Bottom = *C.GetBottomAxis();
        Box = Area;
        double LeftTitleW = 0, BottomTitleH = 0;
        if (Shown) {
            if (L.LeftAxisVisible && !Left.GetTitle()->GetCaption().empty()) {
                const TTextFont F = TTextFont::FromFont(*Left.GetTitle()->GetFont());
                LeftTitleText = T.Layout(F, Left.GetTitle()->GetCaption(), IntWidth(Box.H));
                LeftTitleW = LeftTitleText->Height() + AxisTitleGap;
            }
            if (L.BottomAxisVisible && !Bottom.GetTitle()->GetCaption().empty()) {
                const TTextFont F = TTextFont::FromFont(*Bottom.GetTitle()->GetFont());
                BottomTitleText = T.Layout(F, Bottom.GetTitle()->GetCaption(), IntWidth(Box.W));
                BottomTitleH = BottomTitleText->Height() + AxisTitleGap / 2;
            }
        }
        Box.X += LeftTitleW;
        Box.W = std::max(0.0, Box.W - LeftTitleW);
        Box.H = std::max(0.0, Box.H - BottomTitleH);
    }

    // Stage 2: the 3D depth, and the room that labels, marks and pointers
    // need around the plot.
    void DepthAndRoom() {
        if (C.GetView3D()) {
            const int Rows = std::max(1, static_cast<int>(D.Series.size()));
            L.Depth = Depth3D(C.GetWidth(), C.GetHeight(), C.GetChart3DPercent(), Rows);
            L.Depth = std::floor(std::min(L.Depth, std::min(Box.W, Box.H) * 0.25));
            L.Depth = std::max(0.0, L.Depth);
        }
        const double BottomTick = L.BottomAxisVisible ? TickLength : 0;
        const TFont* Marks = L.MarksVisible ? MarksFont(D) : nullptr;
        if (!L.Horizontal) {
            TopRoom = TickLabelsOn ? std::ceil(TickLineH / 2) : 0;
            if (Marks) TopRoom = std::max(TopRoom, std::ceil(T.LineHeight(TTextFont::FromFont(*Marks)) + 8));
            BottomH = BottomTick + (CatLabelsOn ? 2 + CatLineH : 0);
        } else {
            // The first and last category labels are centred in their slots,
            // so they need no room above or below the plot.
            TopRoom = 0;
            BottomH = BottomTick + (TickLabelsOn ? 2 + TickLineH : 0);
            if (CatLabelsOn) {
                const double MaxW = std::max(40.0, Box.W * 0.3);
                CatLabelW = std::min(MaxW, std::ceil(WidestCategoryLabel(IntWidth(MaxW))));
            }
            // Marks sit beyond the ends of the bars: the value axis leaves
            // room for the widest at either end that has values.
            if (Marks) {
                const double W = WidestMark(*Marks) + 2 * MarkPadX + MarkOffset;
                const double Cap = std::floor(Box.W * 0.25);
                if (D.MaxValue > 0 || !D.HasValues) InflateHigh = std::min(W, Cap);
                if (D.MinValue < 0) InflateLow = std::min(W, Cap);
            }
        }
        // An automatic axis, and one asked to inflate its margins, keeps
        // pointer symbols at its ends whole.
        for (const TPlotSeries& P : D.Series)
            if (P.Pointer && (P.Pointer->GetInflateMargins() || ValueAxis->GetAutomatic())) {
                const int Size = L.Horizontal ? P.Pointer->GetHorizSize() : P.Pointer->GetVertSize();
                const double Room = double(std::clamp(Size, 0, 50)) + 1;
                InflateLow = std::max(InflateLow, Room);
                InflateHigh = std::max(InflateHigh, Room);
            }
    }

    // Stage 3: the plot's extent along the value axis, and the range and
    // ticks that fit it.
    void Ticks() {
        L.Plot.Y = std::round(Box.Y + TopRoom + L.Depth);
        L.Plot.H = std::max(0.0, std::round(Box.Bottom() - BottomH) - L.Plot.Y);
        if (L.Horizontal) {
            L.Plot.X = std::round(Box.X + (L.LeftAxisVisible ? TickLength : 0) + (CatLabelW > 0 ? TickLabelGap + CatLabelW : 0));
            L.Plot.W = std::max(0.0, std::round(Box.Right() - L.Depth - RightRoom) - L.Plot.X);
        }
        const bool Log = ValueAxis->GetLogarithmic();
        // A reference line's value is in the automatic range too.
        const TChartReferenceLine& Ref = C.GetReferenceLine();
        double Min = D.MinValue, Max = D.MaxValue;
        bool HasValues = D.HasValues;
        if (Ref.Visible && !Log) {
            Min = HasValues ? std::min(Min, Ref.Value) : Ref.Value;
            Max = HasValues ? std::max(Max, Ref.Value) : Ref.Value;
            HasValues = true;
        }
        const TValueRange Range =
            Log ? LogRange()
            : ValueAxis->GetAutomatic()
                ? AutoRange(Min, Max, HasValues, D.BarSeriesCount > 0 || D.AreaSeriesCount > 0)
                : FixedRange(ValueAxis->GetMinimum(), ValueAxis->GetMaximum());
        const double Length = (L.Horizontal ? L.Plot.W : L.Plot.H) - InflateLow - InflateHigh;
        int Count = TickCountForLength(Length);
        const auto MakeTicks = [&] {
            return Log ? LogTicks(Range, Count, ValueAxis->GetAutomatic())
                       : NiceTicks(Range, Count, ValueAxis->GetAutomatic());
        };
        L.Ticks = MakeTicks();
        MeasureTickLabels();
        // Labels side by side along the bottom need their own width apart:
        // fewer ticks when they would touch.
        if (L.Horizontal && TickLabelsOn && !L.TickLabels.empty()) {
            const double Need = TickLabelWidth + LabelGap * 2;
            while (Count > 2 && static_cast<double>(L.Ticks.Values.size()) * Need > Length + Need) {
                Count = std::max(2, std::min(Count - 1, static_cast<int>(Length / Need) + 1));
                L.Ticks = MakeTicks();
                MeasureTickLabels();
            }
        }
    }

    // The range of a logarithmic value axis: the values drawn, or the fixed
    // range; a value or a fixed end at or below 0 is an error naming it.
    TValueRange LogRange() const {
        const std::string Chart = "chart" + C.NameForMessage();
        double Min = DBL_MAX, Max = 0;
        for (std::size_t SI = 0; SI < D.Series.size(); ++SI) {
            const TPlotSeries& P = D.Series[SI];
            const TChartSeries& S = *P.Series;
            for (int I = 0, N = S.Count(); I < N; ++I) {
                const double V = S.GetYValue(I);
                if (!std::isfinite(V)) continue;
                if (V <= 0) {
                    const std::string Label = S.GetLabel(I).empty() ? std::string() : " ('" + S.GetLabel(I) + "')";
                    throw EInvalidGraphic("Cannot draw " + Chart + ": series '" + SeriesTitle(S, static_cast<int>(SI)) +
                                          "' has the value " + FormatFloat("", V) + " at point " +
                                          std::to_string(I + 1) + Label +
                                          ", and a logarithmic value axis shows values above 0 only");
                }
                const double Drawn = P.At(I);
                Min = std::min(Min, Drawn);
                Max = std::max(Max, Drawn);
            }
        }
        if (const TChartReferenceLine& Ref = C.GetReferenceLine(); Ref.Visible && ValueAxis->GetAutomatic()) {
            if (Ref.Value <= 0)
                throw EInvalidGraphic("Cannot draw " + Chart + ": its reference line is at " + FormatFloat("", Ref.Value) +
                                      ", and a logarithmic value axis shows values above 0 only");
            Min = std::min(Min, Ref.Value);
            Max = std::max(Max, Ref.Value);
        }
        if (!ValueAxis->GetAutomatic()) {
            const double A = ValueAxis->GetMinimum(), B = ValueAxis->GetMaximum();
            if (!(std::min(A, B) > 0))
                throw EInvalidGraphic("Cannot draw " + Chart + ": its value axis runs from " + FormatFloat("", std::min(A, B)) +
                                      ", and a logarithmic axis shows values above 0 only");
            return A == B ? TValueRange{A / 10, A * 10} : TValueRange{std::min(A, B), std::max(A, B)};
        }
        if (Max == 0) return {1, 10};
        if (Min == Max) return {Min / 10, Max * 10};
        // Bars and areas rise from the low end: the least of them must not
        // stand on it with no height, as it would at a power of ten.
        if (D.BarSeriesCount > 0 || D.AreaSeriesCount > 0) Min *= 1 - 1e-6;
        return {Min, Max};
    }

    void MeasureTickLabels() {
        L.TickLabels.clear();
        TickLabelWidth = 0;
        if (!TickLabelsOn) return;
        const TNumberSeparators& Sep = C.GetLocaleData().Separators;
        const std::string Picture = TickPicture(D, L.Ticks, Sep);
        const int MaxW = IntWidth(std::max(20.0, Box.W / 3));
        for (double V : L.Ticks.Values) {
            TPlacedText P;
            P.Layout = T.Layout(TickFont, FormatFloat(Picture, V, Sep), MaxW);
            TickLabelWidth = std::max(TickLabelWidth, P.Layout->Width());
            L.TickLabels.push_back(std::move(P));
        }
    }

    // Stage 4: the labels give the plot its other edges; the category labels
    // go straight, turned or thinned. Returns whether another pass is due.
    bool AxisLabels(int Pass) {
        if (L.Horizontal) {
            // The last tick label is centred on the plot's right end.
            const double Room = L.TickLabels.empty() ? 0 : std::ceil(L.TickLabels.back().Layout->Width() / 2);
            const bool Again = Pass == 0 && Room > RightRoom;
            RightRoom = std::max(RightRoom, Room);
            if (!Again) {
                L.Categories = TCategoryMap(D.Categories, L.Plot.Y, L.Plot.Bottom());
                // A line's ink is well inside its height: labels may come
                // closer than a line apart.
                if (CatLabelsOn) L.LabelStep = LabelStep(L.Categories.SlotWidth(), std::ceil(CatLineH * 0.8), 0);
            }
            return Again;
        }
        double LeftW = L.LeftAxisVisible ? TickLength : 0;
        if (TickLabelsOn) LeftW += TickLabelGap + std::ceil(TickLabelWidth);
        L.Plot.X = std::round(Box.X + LeftW);
        L.Plot.W = std::max(0.0, std::round(Box.Right() - L.Depth) - L.Plot.X);
        L.Categories = TCategoryMap(D.Categories, L.Plot.X, L.Plot.Right());
        if (D.TimeAxis) {
            LayoutTimeAxis();
            return false;
        }
        if (!CatLabelsOn) return false;
        // Straight labels when they fit; turned when that makes every label
        // fit; otherwise straight and thinned.
        const double MaxW = WidestCategoryLabel(IntWidth(std::max(150.0, L.Plot.W * 0.4)));
        const double Slot = L.Categories.SlotWidth();
        const double Tick = L.BottomAxisVisible ? TickLength : 0;
        if (Pass == 0) {
            L.LabelsRotated = MaxW + LabelGap > Slot && CatLineH + LabelGap / 2 <= Slot;
            if (L.LabelsRotated) {
                const double Turned = std::clamp(MaxW, CatLineH, std::max(CatLineH, Box.H * 0.3));
                BottomH = Tick + 3 + std::ceil(Turned);
                return true;
            }
        }
        L.LabelStep = L.LabelsRotated ? LabelStep(Slot, CatLineH, LabelGap / 2) : LabelStep(Slot, MaxW, LabelGap);
        return false;
    }

    // A time axis: the range of the times (widened by half a bar at each
    // end when there are bars, so they stand whole), the map onto the plot
    // (inset by the pointers' size, so the symbols at the ends are whole),
    // and the finest ticks whose labels keep apart.
    void LayoutTimeAxis() {
        L.TimeAxis = true;
        const double Unit = D.TimeKind == TChartValueKind::vkTime ? 3600 : 86400;
        TValueRange R{D.MinTime, D.MaxTime};
        if (!D.HasTimes)
            R = {0, Unit};
        else if (!(R.Max > R.Min))
            R = {R.Min - Unit, R.Max + Unit};
        const bool Bars = D.BarSeriesCount > 0;
        const double Slot = Bars ? (D.BarTimeSlot > 0 ? D.BarTimeSlot : Unit) : 0;
        if (Bars) R = {R.Min - Slot / 2, R.Max + Slot / 2};
        // Far ends near the doubles' limits are drawn as they come (the map
        // works on halves); nothing here may overflow.
        if (!std::isfinite(R.Max - R.Min)) R = FixedRange(R.Min, R.Max);
        double Inset = 0;
        for (const TPlotSeries& P : D.Series)
            if (P.Pointer) Inset = std::max(Inset, double(std::clamp(P.Pointer->GetHorizSize(), 0, 50)) + 1);
        Inset = std::min(Inset, std::floor(L.Plot.W / 4));
        const double P0 = L.Plot.X + Inset, P1 = L.Plot.Right() - Inset;
        L.TimeMap = TLinearMap(R, P0, P1);
        const double PerSecond = (P1 - P0) / (R.Max / 2 - R.Min / 2) / 2;
        L.TimeSlot = Bars ? std::max(1.0, Slot * PerSecond) : std::max(1.0, L.Plot.W / std::max(1, D.Categories));

        const double Length = std::max(1.0, P1 - P0);
        const int MaxW = IntWidth(std::max(40.0, Length / 2));
        std::vector<double> Widths;
        auto Measure = [&](const TTimeTicks& Ticks) {
            Widths.clear();
            for (const std::string& S : Ticks.Labels) Widths.push_back(T.Layout(CatFont, S, MaxW)->Width());
        };
        auto Fits = [&](const TTimeTicks& Ticks) {
            if (!CatLabelsOn) {
                for (std::size_t I = 1; I < Ticks.Values.size(); ++I)
                    if (L.TimeMap.ToPixel(Ticks.Values[I]) - L.TimeMap.ToPixel(Ticks.Values[I - 1]) < 40) return false;
                return true;
            }
            Measure(Ticks);
            for (std::size_t I = 1; I < Ticks.Values.size(); ++I) {
                const double Apart = L.TimeMap.ToPixel(Ticks.Values[I]) - L.TimeMap.ToPixel(Ticks.Values[I - 1]);
                if (Apart < (Widths[I - 1] + Widths[I]) / 2 + LabelGap * 2) return false;
            }
            return true;
        };
        const int MaxCount = std::clamp(static_cast<int>(Length / 20), 1, 200);
        L.TimeTicks = TimeTicks(R, D.TimeKind, C.GetLocaleData(), MaxCount, Fits);
        if (!CatLabelsOn) return;
        // Labels centred on their ticks, the outer ones kept inside the
        // area; one that would touch the label before it is left out.
        const double Top = L.Plot.Bottom() + TickLength + 2;
        double LastRight = -DBL_MAX;
        for (std::size_t I = 0; I < L.TimeTicks.Values.size(); ++I) {
            TPlacedText P;
            P.Layout = T.Layout(CatFont, L.TimeTicks.Labels[I], MaxW);
            const double W = P.Layout->Width();
            P.X = std::clamp(L.TimeMap.ToPixel(L.TimeTicks.Values[I]) - W / 2, Box.X, std::max(Box.X, Area.Right() - W));
            P.Y = Top;
            if (P.X < LastRight + LabelGap) continue;
            LastRight = P.X + W;
            L.CategoryLabels.push_back(std::move(P));
        }
    }

    // The widest category label (of at most MaxSampledLabels spread evenly
    // over all of them, the first and last included), cut at MaxW.
    double WidestCategoryLabel(int MaxW) {
        const int N = D.Categories;
        const int Samples = std::min(N, MaxSampledLabels);
        double W = 0;
        for (int S = 0; S < Samples; ++S) {
            const int I = Samples == N ? S : static_cast<int>(std::int64_t{S} * (N - 1) / (Samples - 1));
            W = std::max(W, T.Layout(CatFont, D.CategoryText(I), MaxW)->Width());
        }
        return W;
    }

    // The widest mark text, sampled like the category labels.
    double WidestMark(const TFont& Font) {
        const TTextFont F = TTextFont::FromFont(Font);
        double W = 0;
        for (const TPlotSeries& P : D.Series) {
            if (!P.Look->GetMarks()->GetVisible()) continue;
            const int N = P.Series->Count();
            const int Samples = std::min(N, MaxSampledLabels);
            for (int S = 0; S < Samples; ++S) {
                const int I = Samples == N ? S : static_cast<int>(std::int64_t{S} * (N - 1) / (Samples - 1));
                if (!P.Series->IsNull(I)) W = std::max(W, T.Layout(F, MarkText(P, I), MaxMarkWidth)->Width());
            }
        }
        return std::ceil(W);
    }

    // Stage 5: the value map, and every axis text in its place.
    void PlaceAxisTexts() {
        if (L.Horizontal)
            L.ValueMap = TLinearMap(L.Ticks.Range, L.Plot.X + InflateLow, L.Plot.Right() - InflateHigh,
                                    ValueAxis->GetLogarithmic());
        else
            L.ValueMap = TLinearMap(L.Ticks.Range, L.Plot.Bottom() - InflateLow, L.Plot.Y + InflateHigh,
                                    ValueAxis->GetLogarithmic());
        for (std::size_t I = 0; I < L.TickLabels.size(); ++I) {
            TPlacedText& P = L.TickLabels[I];
            const double At = L.ValueMap.ToPixel(L.Ticks.Values[I]);
            if (L.Horizontal) {
                const double W = P.Layout->Width();
                P.X = std::clamp(At - W / 2, Area.X, std::max(Area.X, Area.Right() - W));
                P.Y = L.Plot.Bottom() + TickLength + 2;
            } else {
                P.X = L.Plot.X - TickLength - TickLabelGap - P.Layout->Width();
                P.Y = At - P.Layout->Height() / 2;
            }
        }
        if (CatLabelsOn && !L.TimeAxis) {
            if (L.Horizontal)
                PlaceLeftCategoryLabels();
            else
                PlaceCategoryLabels(Box);
        }
        if (LeftTitleText) {
            L.LeftTitle.Layout = LeftTitleText;
            L.LeftTitle.Angle = 90;
            L.LeftTitle.X = Area.X + LeftTitleText->Height() / 2;
            L.LeftTitle.Y = L.Plot.CenterY();
        }
        if (BottomTitleText) {
            L.BottomTitle.Layout = BottomTitleText;
            L.BottomTitle.X = std::clamp(L.Plot.CenterX() - BottomTitleText->Width() / 2, Area.X,
                                         std::max(Area.X, Area.Right() - BottomTitleText->Width()));
            L.BottomTitle.Y = Area.Bottom() - BottomTitleText->Height();
        }
    }

    void PlaceLeftCategoryLabels() {
        const int MaxW = IntWidth(CatLabelW);
        for (int I = 0; I < D.Categories; I += L.LabelStep) {
            TPlacedText P;
            P.Layout = T.Layout(CatFont, D.CategoryText(I), MaxW);
            P.X = L.Plot.X - (L.LeftAxisVisible ? TickLength : 0) - TickLabelGap - P.Layout->Width();
            P.Y = L.Categories.Center(I) - P.Layout->Height() / 2;
            L.CategoryLabels.push_back(std::move(P));
        }
    }

    void PlaceCategoryLabels(const TRectF& A) {
        const TTextFont& Font = CatFont;
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

    // A pie takes the plot area left by the title and the legend: a circle
    // as large as fits with room for its marks around it, tilted in 3D.
    void LayoutPie(int Detail) {
        L.Pie = true;
        L.MarksVisible = Detail < dtNoAxisLabels && MarksFont(D) != nullptr;
        L.MarksTop = Area.Y;
        L.MarksArea = Area;
        L.Plot = {std::round(Area.X), std::round(Area.Y), std::floor(Area.W), std::floor(Area.H)};
        double RoomX = 0, RoomY = 0;
        if (L.MarksVisible) {
            const TFont& Font = *MarksFont(D);
            RoomX = std::min(WidestMark(Font) + 2 * MarkPadX + PieLeader, std::floor(Area.W * 0.3));
            RoomY = T.LineHeight(TTextFont::FromFont(Font)) + 2 * MarkPadY + PieLeader;
        }
        if (C.GetView3D()) {
            const int Percent = std::clamp(C.GetChart3DPercent(), 1, 100);
            // Seen from above at a slant: from 0.7 of its width high at 1 %
            // to 0.4 at 100 %.
            L.PieTilt = 0.7 - 0.3 * Percent / 100.0;
        }
        const double RX = (L.Plot.W - 2 * RoomX) / 2;
        double RY = (L.Plot.H - 2 * RoomY) / 2;
        double Rim = 0;
        if (C.GetView3D()) {
            const double Percent = std::clamp(C.GetChart3DPercent(), 1, 100);
            Rim = std::max(3.0, std::round(std::min(RX, RY / L.PieTilt) * (0.08 + 0.12 * Percent / 100)));
            RY -= Rim / 2;
        }
        L.PieRadius = std::max(0.0, std::floor(std::min(RX, RY / L.PieTilt)));
        L.PieRim = L.PieRadius > 0 ? std::min(Rim, L.PieRadius) : 0;
        L.PieCenter = {std::round(L.Plot.CenterX()), std::round(L.Plot.CenterY() - L.PieRim / 2)};
    }

    const TCustomChart& C;
    const TChartData& D;
    TTextEngine& T;
    const int W, H;
    TChartLayout L;
    TRectF Area;

    // Shared by the stages of the axis layout.
    const TChartAxis* ValueAxis = nullptr;
    const TChartAxis* CategoryAxis = nullptr;
    TTextFont TickFont, CatFont;
    double TickLineH = 0, CatLineH = 0;
    bool TickLabelsOn = false, CatLabelsOn = false;
    // The area the axes and the plot share, inside the axis titles.
    TRectF Box;
    TTextLayoutPtr LeftTitleText, BottomTitleText;
    double TopRoom = 0, BottomH = 0, RightRoom = 0;
    double CatLabelW = 0, TickLabelWidth = 0;
    // Pixels kept free inside the plot at the low and high end of the
    // value axis.
    double InflateLow = 0, InflateHigh = 0;
};

}  // namespace

std::string MoreRowsText(const TChartSeries& S, int Hidden) {
    const bool Grouped = S.GetValueFormat().find(',') != std::string::npos;
    return "\xE2\x80\xA6 and " + FormatFloat(Grouped ? "#,##0" : "0", Hidden, SeparatorsOf(S)) + " more";  // U+2026
}

const TFont* MarksFont(const TChartData& Data) {
    for (const TPlotSeries& P : Data.Series)
        if (P.Look->GetMarks()->GetVisible()) return P.Look->GetMarks()->GetFont();
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
