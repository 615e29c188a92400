#include "platform/chart/internal/ChartDraw.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "platform/chart/Chart.h"
#include "platform/chart/internal/ChartColors.h"
#include "platform/chart/internal/ChartData.h"
#include "platform/chart/internal/ChartLayout.h"
#include "platform/chart/internal/Painter.h"
#include "platform/chart/internal/SeriesPaint.h"
#include "platform/vcl/Bitmap.h"

namespace pv {

namespace {

class TChartPainter {
public:
    TChartPainter(const TCustomChart& Chart, const TChartData& Data, const TChartLayout& Layout, TPainter& Painter,
                  TTextEngine& Text, TPointDetail Detail)
        : C(Chart), D(Data), L(Layout), P(Painter), T(Text), Detail(Detail), Look(Chart.GetLook()) {}

    void Paint() {
        Background();
        Bevels();
        Title();
        if (L.Depth > 0) Walls();
        Grid();
        // In 3D the reference line lies on the walls, behind the series, as
        // the grid does; flat, it is drawn over them.
        if (L.Depth > 0) ReferenceLine();
        // Areas at the back, then bars, lines and points, each kind in the
        // order of its series.
        for (int Rank = 0; Rank <= DrawRank(TSeriesKind::skPie); ++Rank)
            for (const TPlotSeries& S : D.Series)
                if (DrawRank(S.Kind) == Rank) PaintSeries(P, L, D, S, Detail);
        if (L.Depth <= 0) ReferenceLine();
        Axes();
        PaintAllMarks(P, L, D, T);
        ReferenceCaption();
        Legend();
    }

private:
    TRectF Whole() const { return {0, 0, double(P.Width()), double(P.Height())}; }

    void Background() {
        // A transparent picture has no background of its own.
        if (P.Transparent()) return;
        const TCustomTeeGradient& G = *C.GetGradient();
        const TColor Color = C.GetColor();
        if (G.GetVisible()) {
            P.VerticalGradient(Whole(), G.GetStartColor(), G.GetEndColor());
        } else if (Color != clNone && Color != clDefault) {
            P.FillRect(Whole(), Color);
        } else if (P.Monochrome()) {
            // The caller's background shows through: it turns grey too.
            TPainterSave Save(P);
            cairo_set_operator(P.Cr(), CAIRO_OPERATOR_HSL_SATURATION);
            cairo_set_source_rgb(P.Cr(), 0.5, 0.5, 0.5);
            cairo_paint(P.Cr());
        }
    }

    // One bevel of Width pixels just inside R; returns the rectangle inside it.
    TRectF Bevel(TRectF R, TBevelCut Cut, int Width) {
        if (Cut == TBevelCut::bvNone || Width <= 0) return R;
        if (Cut != TBevelCut::bvSpace) {
            const TColor Light = clBtnHighlight, Dark = clBtnShadow;
            const TColor TopLeft = Cut == TBevelCut::bvRaised ? Light : Dark;
            const TColor BottomRight = Cut == TBevelCut::bvRaised ? Dark : Light;
            for (int I = 0; I < Width && !R.Empty(); ++I) {
                P.FillRect({R.X, R.Y, R.W, 1}, TopLeft);
                P.FillRect({R.X, R.Y, 1, R.H}, TopLeft);
                P.FillRect({R.X, R.Bottom() - 1, R.W, 1}, BottomRight);
                P.FillRect({R.Right() - 1, R.Y, 1, R.H}, BottomRight);
                R = R.Inset(1);
            }
            return R;
        }
        return R.Inset(Width);
    }

    void Bevels() {
        const TRectF Inner = Bevel(Whole(), C.GetBevelOuter(), C.GetBevelWidth());
        Bevel(Inner, C.GetBevelInner(), C.GetBevelWidth());
    }

    void Title() {
        if (L.TitleLines.empty()) return;
        const TChartTitle& Title = *C.GetTitle();
        if (Title.GetColor() != clDefault && Title.GetColor() != clNone) P.FillRect(L.TitleBox, Title.GetColor());
        for (const TPlacedText& Line : L.TitleLines) P.DrawText(*Line.Layout, Line.X, Line.Y, Title.GetFont()->GetColor());
    }

    void Walls() {
        const TRectF& F = L.Plot;
        const double Dp = L.Depth;
        P.FillRect({F.X + Dp, F.Y - Dp, F.W, F.H}, Look.BackWall);
        const TPointF Side[] = {{F.X, F.Y}, {F.X + Dp, F.Y - Dp}, {F.X + Dp, F.Bottom() - Dp}, {F.X, F.Bottom()}};
        P.FillPolygon(Side, 4, Look.SideWall);
        const TPointF Floor[] = {{F.X, F.Bottom()}, {F.X + Dp, F.Bottom() - Dp}, {F.Right() + Dp, F.Bottom() - Dp},
                                 {F.Right(), F.Bottom()}};
        P.FillPolygon(Floor, 4, Look.Floor);
        P.Line(F.X + Dp, F.Y - Dp, F.Right() + Dp, F.Y - Dp, Look.WallEdge);
        P.Line(F.Right() + Dp, F.Y - Dp, F.Right() + Dp, F.Bottom() - Dp, Look.WallEdge);
        P.Line(F.X + Dp, F.Y - Dp, F.X + Dp, F.Bottom() - Dp, Look.WallEdge);
        P.Line(F.X + Dp, F.Bottom() - Dp, F.Right() + Dp, F.Bottom() - Dp, Look.WallEdge);
        P.Line(F.X, F.Y, F.X + Dp, F.Y - Dp, Look.WallEdge);
        P.Line(F.Right(), F.Bottom(), F.Right() + Dp, F.Bottom() - Dp, Look.WallEdge);
    }

    bool HasZeroLine() const { return L.Ticks.Range.Min < 0 && L.Ticks.Range.Max > 0; }

    // A line across the plot at value V: on the back wall and the floor (or
    // the side wall) in 3D, else over the front face.
    void ValueLine(double V, std::vector<TSegmentF>& Into) const {
        const TRectF& F = L.Plot;
        const double Dp = L.Depth;
        const double At = std::round(L.ValueMap.ToPixel(V));
        if (L.Horizontal) {
            if (Dp > 0) {
                Into.push_back({At + Dp, F.Y - Dp, At + Dp, F.Bottom() - Dp});
                Into.push_back({At, F.Bottom(), At + Dp, F.Bottom() - Dp});
            } else {
                Into.push_back({At, F.Y, At, F.Bottom()});
            }
            return;
        }
        if (Dp > 0) {
            Into.push_back({F.X + Dp, At - Dp, F.Right() + Dp, At - Dp});
            Into.push_back({F.X, At, F.X + Dp, At - Dp});
        } else {
            Into.push_back({F.X, At, F.Right(), At});
        }
    }

    // The grid's lines are stroked together, and so are each axis's line
    // and ticks: a few drawing operations instead of one per line.
    void Grid() {
        const TChartAxis& ValueAxis = L.Horizontal ? *C.GetBottomAxis() : *C.GetLeftAxis();
        const TRectF& F = L.Plot;
        if (F.Empty() || L.Pie) return;
        std::vector<TSegmentF> Lines;
        if (L.ValueAxisVisible() && ValueAxis.GetGridVisible())
            for (double V : L.Ticks.Values) {
                const double At = std::round(L.ValueMap.ToPixel(V));
                // The start of the value axis has the category axis line,
                // not a grid line.
                if (L.Horizontal ? (At <= F.X + 0.5 || At > F.Right() + 0.5)
                                 : (At >= F.Bottom() - 0.5 || At < F.Y - 0.5))
                    continue;
                ValueLine(V, Lines);
            }
        P.Lines(Lines, L.Depth > 0 ? Look.Grid3D : Look.Grid);
        if (L.Depth > 0 && HasZeroLine()) {
            Lines.clear();
            ValueLine(0, Lines);
            P.Lines(Lines, Look.Axis);
        }
    }

    // The pixel of the reference line along the value axis, or nothing when
    // there is none or its value lies outside the axis's range.
    std::optional<double> ReferenceAt() const {
        const TChartReferenceLine& Ref = C.GetReferenceLine();
        if (!Ref.Visible || L.Pie || L.Plot.Empty() || Ref.Color == clNone) return std::nullopt;
        const double Lo = std::min(L.Ticks.Range.Min, L.Ticks.Range.Max), Hi = std::max(L.Ticks.Range.Min, L.Ticks.Range.Max);
        if (!(Ref.Value >= Lo && Ref.Value <= Hi)) return std::nullopt;
        return std::round(L.ValueMap.ToPixel(Ref.Value));
    }

    // Two pixels wide on whole pixels: crisp, and in exactly its colour.
    void ReferenceLine() {
        const std::optional<double> At = ReferenceAt();
        if (!At) return;
        std::vector<TSegmentF> Lines;
        ValueLine(C.GetReferenceLine().Value, Lines);
        P.Lines(Lines, C.GetReferenceLine().Color, 2);
    }

    // The caption at the line's far end: above it at the right (beside it at
    // the top for a line across horizontal bars), on the back wall in 3D,
    // and below the line where the plot has no room above it.
    void ReferenceCaption() {
        const std::optional<double> At = ReferenceAt();
        const TChartReferenceLine& Ref = C.GetReferenceLine();
        if (!At || Ref.Caption.empty()) return;
        const TChartAxis& ValueAxis = L.Horizontal ? *C.GetBottomAxis() : *C.GetLeftAxis();
        const TTextLayoutPtr Text =
            T.Layout(TTextFont::FromFont(*ValueAxis.GetLabelsFont()), Ref.Caption, static_cast<int>(L.Plot.W));
        const TRectF& F = L.Plot;
        const double Dp = L.Depth, Gap = 3;
        double X = 0, Y = 0;
        if (L.Horizontal) {
            X = *At + Dp + Gap;
            if (X + Text->Width() > F.Right() + Dp) X = *At + Dp - Gap - Text->Width();
            Y = F.Y - Dp + Gap;
        } else {
            X = F.Right() + Dp - Gap - Text->Width();
            Y = *At - Dp - 1 - Gap / 2 - Text->Height();
            if (Y < F.Y - Dp) Y = *At - Dp + 1 + Gap / 2;
        }
        P.DrawText(*Text, X, Y, Ref.Color);
    }

    void Axes() {
        const TRectF& F = L.Plot;
        if (F.Empty() || L.Pie) return;
        const TChartAxis& Left = *C.GetLeftAxis();
        const TChartAxis& Bottom = *C.GetBottomAxis();
        std::vector<TSegmentF> Lines;
        // A zero line inside the range is where bars start; drawn over them
        // in 2D so they stand on it (in 3D it is on the back wall, drawn with
        // the grid).
        if (L.Depth <= 0 && HasZeroLine()) ValueLine(0, Lines);
        const TColor LeftColor = Left.GetLabelsFont()->GetColor();
        const TColor BottomColor = Bottom.GetLabelsFont()->GetColor();
        if (L.LeftAxisVisible) {
            Lines.push_back({F.X, F.Y, F.X, F.Bottom()});
            if (L.Horizontal)
                CategoryTicks(Lines);
            else
                for (double V : L.Ticks.Values) {
                    const double Y = std::round(L.ValueMap.ToPixel(V));
                    Lines.push_back({F.X - 4, Y, F.X, Y});
                }
            P.Lines(Lines, Look.Axis);
            Lines.clear();
            for (const TPlacedText& Label : L.Horizontal ? L.CategoryLabels : L.TickLabels)
                P.DrawText(*Label.Layout, Label.X, Label.Y, LeftColor);
        }
        if (L.BottomAxisVisible) {
            Lines.push_back({F.X, F.Bottom() - 0.5, F.Right(), F.Bottom() - 0.5});
            if (L.Horizontal)
                for (double V : L.Ticks.Values) {
                    const double X = std::round(L.ValueMap.ToPixel(V));
                    Lines.push_back({X, F.Bottom(), X, F.Bottom() + 4});
                }
            else
                CategoryTicks(Lines);
            P.Lines(Lines, Look.Axis);
            Lines.clear();
            for (const TPlacedText& Label : L.Horizontal ? L.TickLabels : L.CategoryLabels) {
                if (Label.Angle != 0)
                    P.DrawTextRotated(*Label.Layout, Label.X, Label.Y, Label.Angle, BottomColor);
                else
                    P.DrawText(*Label.Layout, Label.X, Label.Y, BottomColor);
            }
        }
        // A zero line with neither axis shown.
        P.Lines(Lines, Look.Axis);
        if (L.LeftTitle.Layout)
            P.DrawTextRotated(*L.LeftTitle.Layout, L.LeftTitle.X, L.LeftTitle.Y, 90,
                              Left.GetTitle()->GetFont()->GetColor());
        if (L.BottomTitle.Layout)
            P.DrawText(*L.BottomTitle.Layout, L.BottomTitle.X, L.BottomTitle.Y, Bottom.GetTitle()->GetFont()->GetColor());
    }

    // A tick at each labelled category (each tick of a time axis), outside
    // the plot.
    void CategoryTicks(std::vector<TSegmentF>& Into) const {
        const TRectF& F = L.Plot;
        if (L.TimeAxis) {
            for (double T : L.TimeTicks.Values) {
                const double At = std::round(L.TimeMap.ToPixel(T));
                Into.push_back({At, F.Bottom(), At, F.Bottom() + 4});
            }
            return;
        }
        for (int I = 0, K = 0; I < D.Categories && K < static_cast<int>(L.CategoryLabels.size()); I += L.LabelStep, ++K) {
            const double At = std::round(L.Categories.Center(I));
            if (L.Horizontal)
                Into.push_back({F.X - 4, At, F.X, At});
            else
                Into.push_back({At, F.Bottom(), At, F.Bottom() + 4});
        }
    }

    // The boxes of a legend's swatches by colour, filled and framed together
    // once the rows are drawn: swatches never overlap, so the picture is the
    // one of a swatch at a time, in a few drawing operations.
    struct TSwatchBoxes {
        std::vector<std::pair<TColor, std::vector<TRectF>>> Fills, Frames;
        std::vector<TRectF> Striped;
        static void Add(std::vector<std::pair<TColor, std::vector<TRectF>>>& To, TColor C, const TRectF& Box) {
            auto It = std::find_if(To.begin(), To.end(), [C](const auto& E) { return E.first == C; });
            if (It == To.end()) It = To.insert(To.end(), {C, {}});
            It->second.push_back(Box);
        }
    };

    void Swatch(const TLegendRow& Row, double X, double CY, TSwatchBoxes& Boxes) {
        const double S = L.SwatchSize;
        const TPlotSeries* Series = Row.Series;
        if (Row.Color == clNone) return;
        if (Series && (Series->Kind == TSeriesKind::skLine || Series->Kind == TSeriesKind::skPoint)) {
            if (Series->Kind == TSeriesKind::skLine) P.Line(X - 1, std::round(CY), X + S + 1, std::round(CY), Row.Color, 2);
            if (Series->Pointer) {
                const double Half = std::max(1.5, S / 2 - 1);
                PaintPointer(P, Series->Pointer->GetStyle(), X + S / 2, CY, Half, Half, Row.Color);
            }
            return;
        }
        const TRectF Box{X, std::round(CY - S / 2), S, S};
        TSwatchBoxes::Add(Boxes.Fills, Row.Color, Box);
        if (Row.Negative) Boxes.Striped.push_back(Box);
        TSwatchBoxes::Add(Boxes.Frames, Shade(P.Plain(Row.Color), 0.75), Box);
    }

    void Legend() {
        if (!L.LegendVisible) return;
        const TCustomChartLegend& Legend = *C.GetLegend();
        const TRectF& Box = L.LegendBox;
        if (Legend.GetColor() != clNone && Legend.GetColor() != clDefault) P.FillRect(Box, Legend.GetColor());
        if (Look.LegendFrame != clNone) P.FrameRect(Box, Look.LegendFrame);
        const TColor FontColor = Legend.GetFont()->GetColor();
        double Y = Box.Y + L.LegendPad;
        TSwatchBoxes Boxes;
        for (const TLegendRow& Row : L.LegendRows) {
            const double CY = Y + L.LegendRowHeight / 2;
            if (!Row.Ellipsis) Swatch(Row, Box.X + L.LegendPad, CY, Boxes);
            P.DrawText(*Row.Label, Row.LabelX, CY - Row.Label->Height() / 2, FontColor);
            if (Row.Value)
                P.DrawText(*Row.Value, Box.Right() - L.LegendPad - Row.Value->Width(), CY - Row.Value->Height() / 2,
                           FontColor);
            Y += L.LegendRowHeight;
        }
        for (const auto& [Color, Rects] : Boxes.Fills) P.FillRects(Rects, Color);
        for (const TRectF& Striped : Boxes.Striped) PaintNegativeStripes(P, Striped);
        for (const auto& [Color, Rects] : Boxes.Frames) P.FrameRects(Rects, Color);
    }

    const TCustomChart& C;
    const TChartData& D;
    const TChartLayout& L;
    TPainter& P;
    TTextEngine& T;
    const TPointDetail Detail;
    const TChartLook Look;
};

}  // namespace

void DrawChart(const TCustomChart& Chart, TBitmap& Bitmap, double Scale, const TDrawOptions& Options) {
    if (Bitmap.GetEmpty()) return;
    TTextEngine& Text = TTextEngine::ForThisThread();
    const TChartData Data = TChartData::Gather(Chart);
    TPainter Painter(Bitmap, Chart.GetMonochrome(), Scale);
    if (Options.Edges == TEdges::edHard) cairo_set_antialias(Painter.Cr(), CAIRO_ANTIALIAS_NONE);
    // The layout is made at the chart's own size; the painter scales it.
    const TChartLayout Layout = LayoutChart(Chart, Data, Text, Painter.Width(), Painter.Height());
    TChartPainter(Chart, Data, Layout, Painter, Text, Options.Points).Paint();
}

bool ChartCoversBitmap(const TCustomChart& Chart, int Width, int Height, double Scale) {
    const TColor Color = Chart.GetColor();
    if (!Chart.GetGradient()->GetVisible() && (Color == clNone || Color == clDefault)) return false;
    // The background is the painter's whole area, its size in units times
    // Scale; it must meet the bitmap's edges exactly, or the last row and
    // column would be blended with whatever the bitmap held.
    auto Exact = [Scale](int Side) { return TPainter::UnitsFor(Side, Scale) * Scale == Side; };
    return Width > 0 && Height > 0 && Exact(Width) && Exact(Height);
}

void DrawChartScaledOnSurface(const TCustomChart& Chart, cairo_surface_t* Surface, int Width, int Height,
                              double Scale, bool Transparent) {
    TTextEngine& Text = TTextEngine::ForThisThread();
    const TChartData Data = TChartData::Gather(Chart);
    TPainter Painter(Surface, Width, Height, Chart.GetMonochrome(), Scale, Transparent);
    const TChartLayout Layout = LayoutChart(Chart, Data, Text, Width, Height);
    TChartPainter(Chart, Data, Layout, Painter, Text, TPointDetail::pdShown).Paint();
}

}  // namespace pv
