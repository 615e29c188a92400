#include "platform/chart/internal/SeriesPaint.h"

#include <algorithm>
#include <cmath>

#include "platform/chart/internal/ChartColors.h"

namespace pv {

namespace {

// The pixels of one bar: columns X0..X1 and rows Top..Bottom, whole pixels.
struct TBarBox {
    double X0 = 0, X1 = 0, Top = 0, Bottom = 0;
    bool Negative = false;
};

int BarWidthPercent(const TPlotSeries& S) {
    if (auto* B = dynamic_cast<const TBarSeries*>(S.Series)) return B->GetBarWidthPercent();
    return 70;
}

// The value bars grow from: zero, or the nearer end of an axis without it.
double BarOrigin(const TChartLayout& L) { return std::clamp(0.0, L.Ticks.Range.Min, L.Ticks.Range.Max); }

// False for a bar of no height (its value is the origin).
bool BarAt(const TChartLayout& L, const TChartData& D, const TPlotSeries& S, int I, TBarBox& B) {
    const double Slot = L.Categories.SlotWidth();
    const double Group = Slot * std::clamp(BarWidthPercent(S), 1, 100) / 100.0;
    const double Sub = Group / std::max(1, D.BarSeriesCount);
    const double X0 = L.Categories.Center(I) - Group / 2 + S.BarIndex * Sub;
    B.X0 = std::round(X0);
    B.X1 = std::max(B.X0 + 1, std::round(X0 + Sub));
    const double Origin = BarOrigin(L);
    const double V = S.Series->GetYValue(I);
    const double Y0 = std::round(L.ValueMap.ToPixel(Origin));
    const double Y1 = std::round(L.ValueMap.ToPixel(V));
    B.Negative = V < Origin;
    B.Top = std::min(Y0, Y1);
    B.Bottom = std::max(Y0, Y1);
    if (B.Bottom - B.Top < 1) {
        if (V == Origin) return false;
        if (B.Negative)
            B.Bottom = B.Top + 1;
        else
            B.Top = B.Bottom - 1;
    }
    return true;
}

bool Drawn(const TPlotSeries& S, int I) {
    return !S.Series->IsNull(I) && S.PointColors[static_cast<std::size_t>(I)] != clNone;
}

TColor PointColor(const TPlotSeries& S, int I) { return S.PointColors[static_cast<std::size_t>(I)]; }

void PaintBars(TPainter& P, const TChartLayout& L, const TChartData& D, const TPlotSeries& S) {
    cairo_t* Cr = P.Cr();
    const int N = S.Series->Count();
    const double Depth = L.Depth;
    if (Depth <= 0) {
        // Bars of one colour go into one path: a series of ten thousand
        // points costs one fill, not ten thousand.
        TColor Current = clNone;
        bool Pending = false;
        for (int I = 0; I < N; ++I) {
            TBarBox B;
            if (!Drawn(S, I) || !BarAt(L, D, S, I, B)) continue;
            const TColor C = PointColor(S, I);
            if (C != Current && Pending) {
                cairo_fill(Cr);
                Pending = false;
            }
            if (!Pending) P.SetColor(C);
            Current = C;
            cairo_rectangle(Cr, B.X0, B.Top, B.X1 - B.X0, B.Bottom - B.Top);
            Pending = true;
        }
        if (Pending) cairo_fill(Cr);
        return;
    }
    // Prisms, left to right, so each bar's front hides the side of the one
    // before it.
    for (int I = 0; I < N; ++I) {
        TBarBox B;
        if (!Drawn(S, I) || !BarAt(L, D, S, I, B)) continue;
        const TColor C = P.Plain(PointColor(S, I));
        const double Dx = Depth;
        const TPointF Side[] = {{B.X1, B.Top}, {B.X1 + Dx, B.Top - Dx}, {B.X1 + Dx, B.Bottom - Dx}, {B.X1, B.Bottom}};
        P.FillPolygon(Side, 4, Shade(C, 0.72));
        const TPointF Top[] = {{B.X0, B.Top}, {B.X1, B.Top}, {B.X1 + Dx, B.Top - Dx}, {B.X0 + Dx, B.Top - Dx}};
        P.FillPolygon(Top, 4, Shade(C, 1.35));
        P.FillRect({B.X0, B.Top, B.X1 - B.X0, B.Bottom - B.Top}, C);
    }
}

void PaintLine(TPainter& P, const TChartLayout& L, const TPlotSeries& S) {
    cairo_t* Cr = P.Cr();
    const int N = S.Series->Count();
    auto At = [&](int I) {
        return TPointF{L.Categories.Center(I), L.ValueMap.ToPixel(S.Series->GetYValue(I))};
    };
    const double Depth = L.Depth;
    if (Depth > 0) {
        // A ribbon going back into the chart, lit from above.
        const double Dx = Depth;
        for (int I = 1; I < N; ++I) {
            if (!Drawn(S, I - 1) || !Drawn(S, I)) continue;
            const TPointF A = At(I - 1), B = At(I);
            const TPointF Quad[] = {A, B, {B.X + Dx, B.Y - Dx}, {A.X + Dx, A.Y - Dx}};
            const TColor C = P.Plain(PointColor(S, I));
            P.FillPolygon(Quad, 4, Shade(C, B.Y < A.Y ? 1.25 : 0.85));
            P.Line(A.X, A.Y, B.X, B.Y, Shade(C, 0.6), 1);
        }
        return;
    }
    cairo_set_line_width(Cr, 2);
    cairo_set_line_join(Cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(Cr, CAIRO_LINE_CAP_ROUND);
    // Runs of segments of one colour (a segment takes its end point's
    // colour) are stroked as one path, so joins stay smooth.
    TColor Current = clNone;
    bool Open = false;
    for (int I = 1; I < N; ++I) {
        if (!Drawn(S, I - 1) || !Drawn(S, I)) continue;
        const TColor C = PointColor(S, I);
        const TPointF A = At(I - 1), B = At(I);
        if (Open && C != Current) {
            cairo_stroke(Cr);
            Open = false;
        }
        if (!Open) {
            P.SetColor(C);
            Current = C;
            Open = true;
            cairo_move_to(Cr, A.X, A.Y);
        } else {
            double X, Y;
            cairo_get_current_point(Cr, &X, &Y);
            if (X != A.X || Y != A.Y) cairo_move_to(Cr, A.X, A.Y);
        }
        cairo_line_to(Cr, B.X, B.Y);
    }
    if (Open) cairo_stroke(Cr);
    // A point with no neighbour to join is still shown, as a dot.
    if (!S.Pointer)
        for (int I = 0; I < N; ++I) {
            if (!Drawn(S, I)) continue;
            const bool Before = I > 0 && Drawn(S, I - 1), After = I + 1 < N && Drawn(S, I + 1);
            if (Before || After) continue;
            const TPointF A = At(I);
            P.SetColor(PointColor(S, I));
            cairo_arc(Cr, A.X, A.Y, 2, 0, 2 * M_PI);
            cairo_fill(Cr);
        }
}

void PointerPath(cairo_t* Cr, TSeriesPointerStyle Style, double X, double Y, double HS, double VS) {
    switch (Style) {
        case TSeriesPointerStyle::psRectangle: cairo_rectangle(Cr, X - HS, Y - VS, 2 * HS, 2 * VS); break;
        case TSeriesPointerStyle::psCircle: {
            cairo_matrix_t M;
            cairo_get_matrix(Cr, &M);
            cairo_translate(Cr, X, Y);
            cairo_scale(Cr, std::max(HS, 0.5), std::max(VS, 0.5));
            cairo_new_sub_path(Cr);
            cairo_arc(Cr, 0, 0, 1, 0, 2 * M_PI);
            cairo_close_path(Cr);
            cairo_set_matrix(Cr, &M);
            break;
        }
        case TSeriesPointerStyle::psTriangle:
            cairo_move_to(Cr, X, Y - VS);
            cairo_line_to(Cr, X + HS, Y + VS);
            cairo_line_to(Cr, X - HS, Y + VS);
            cairo_close_path(Cr);
            break;
        case TSeriesPointerStyle::psDownTriangle:
            cairo_move_to(Cr, X - HS, Y - VS);
            cairo_line_to(Cr, X + HS, Y - VS);
            cairo_line_to(Cr, X, Y + VS);
            cairo_close_path(Cr);
            break;
        case TSeriesPointerStyle::psDiamond:
            cairo_move_to(Cr, X, Y - VS);
            cairo_line_to(Cr, X + HS, Y);
            cairo_line_to(Cr, X, Y + VS);
            cairo_line_to(Cr, X - HS, Y);
            cairo_close_path(Cr);
            break;
        case TSeriesPointerStyle::psSmallDot: cairo_rectangle(Cr, std::round(X) - 1, std::round(Y) - 1, 2, 2); break;
        case TSeriesPointerStyle::psCross:
        case TSeriesPointerStyle::psDiagCross:
        case TSeriesPointerStyle::psStar:
            if (Style != TSeriesPointerStyle::psDiagCross) {
                cairo_move_to(Cr, X - HS, Y);
                cairo_line_to(Cr, X + HS, Y);
                cairo_move_to(Cr, X, Y - VS);
                cairo_line_to(Cr, X, Y + VS);
            }
            if (Style != TSeriesPointerStyle::psCross) {
                // The star's diagonals are a little shorter, so it reads as
                // an eight-pointed star rather than a square.
                const double K = Style == TSeriesPointerStyle::psStar ? 0.72 : 1.0;
                cairo_move_to(Cr, X - HS * K, Y - VS * K);
                cairo_line_to(Cr, X + HS * K, Y + VS * K);
                cairo_move_to(Cr, X - HS * K, Y + VS * K);
                cairo_line_to(Cr, X + HS * K, Y - VS * K);
            }
            break;
    }
}

bool Stroked(TSeriesPointerStyle S) {
    return S == TSeriesPointerStyle::psCross || S == TSeriesPointerStyle::psDiagCross ||
           S == TSeriesPointerStyle::psStar;
}

// Ends a batch of symbols of one colour: fill and outline, or stroke.
void FinishPointers(TPainter& P, TSeriesPointerStyle Style, TColor Fill, double HS, double VS) {
    cairo_t* Cr = P.Cr();
    if (Stroked(Style)) {
        P.SetColor(Fill);
        cairo_set_line_width(Cr, std::clamp(std::min(HS, VS) / 2.5, 1.5, 4.0));
        cairo_set_line_cap(Cr, CAIRO_LINE_CAP_ROUND);
        cairo_stroke(Cr);
        return;
    }
    P.SetColor(Fill);
    if (Style == TSeriesPointerStyle::psSmallDot || std::min(HS, VS) < 2) {
        cairo_fill(Cr);
        return;
    }
    cairo_fill_preserve(Cr);
    P.SetColor(Shade(P.Plain(Fill), 0.62));
    cairo_set_line_width(Cr, 1);
    cairo_stroke(Cr);
}

void PaintPointers(TPainter& P, const TChartLayout& L, const TPlotSeries& S) {
    const TSeriesPointer& Ptr = *S.Pointer;
    const TSeriesPointerStyle Style = Ptr.GetStyle();
    const double HS = std::clamp(Ptr.GetHorizSize(), 0, 100), VS = std::clamp(Ptr.GetVertSize(), 0, 100);
    cairo_t* Cr = P.Cr();
    const int N = S.Series->Count();
    // Crosses are lines, which have no body to give depth to.
    const double Lift = L.Depth > 0 && Ptr.GetDraw3D() && !Stroked(Style) ? std::min(L.Depth / 2, 4.0) : 0;
    // In 3D a darker copy behind each symbol gives it thickness.
    for (int Layer = Lift > 0 ? 0 : 1; Layer < 2; ++Layer) {
        const double Off = Layer == 0 ? Lift : 0;
        TColor Current = clNone;
        bool Pending = false;
        for (int I = 0; I < N; ++I) {
            if (!Drawn(S, I)) continue;
            TColor C = PointColor(S, I);
            if (Layer == 0) C = Shade(P.Plain(C), 0.55);
            if (Pending && C != Current) {
                FinishPointers(P, Style, Current, HS, VS);
                Pending = false;
            }
            Current = C;
            PointerPath(Cr, Style, L.Categories.Center(I) + Off, L.ValueMap.ToPixel(S.Series->GetYValue(I)) - Off, HS,
                        VS);
            Pending = true;
        }
        if (Pending) FinishPointers(P, Style, Current, HS, VS);
    }
}

bool Overlap(const TRectF& A, const TRectF& B) {
    return A.X < B.Right() && B.X < A.Right() && A.Y < B.Bottom() && B.Y < A.Bottom();
}

}  // namespace

void PaintPointer(TPainter& P, TSeriesPointerStyle Style, double CX, double CY, double HS, double VS, TColor Fill) {
    PointerPath(P.Cr(), Style, CX, CY, HS, VS);
    FinishPointers(P, Style, Fill, HS, VS);
}

void PaintSeries(TPainter& P, const TChartLayout& L, const TChartData& D, const TPlotSeries& S) {
    if (L.Plot.Empty() || S.Series->Count() == 0) return;
    TPainterSave Save(P);
    // The plot and, in 3D, the room behind it; a little more above and
    // below so a line on the axis end is not cut in half.
    P.Clip({L.Plot.X, L.Plot.Y - L.Depth - 2, L.Plot.W + L.Depth, L.Plot.H + L.Depth + 4});
    switch (S.Kind) {
        case TSeriesKind::skBar: PaintBars(P, L, D, S); break;
        case TSeriesKind::skLine: PaintLine(P, L, S); break;
        case TSeriesKind::skPoint: break;
    }
    if (S.Pointer) PaintPointers(P, L, S);
}

void PaintMarks(TPainter& P, const TChartLayout& L, const TChartData& D, const TPlotSeries& S, TTextEngine& Text) {
    const TSeriesMarks& Marks = *S.Series->GetMarks();
    if (!Marks.GetVisible() || !L.MarksVisible || L.Plot.Empty()) return;
    const TTextFont Font = TTextFont::FromFont(*Marks.GetFont());
    // A mark may be a little wider than its slot, never wider than 200 pixels.
    const double Slot = L.Categories.SlotWidth();
    const int MaxW = static_cast<int>(std::clamp(Slot * 2.5, 60.0, std::max(60.0, std::min(200.0, L.Plot.W))));
    // Marks stay over the plot, clear of the axis labels and the legend.
    const double MinX = L.Plot.X, MaxX = L.Plot.Right() + L.Depth + 4;
    constexpr double PadX = 3, PadY = 1, Offset = 4;
    const TColor Back = Marks.GetBackColor();
    const TColor FontColor = Marks.GetFont()->GetColor();
    const double Lift = L.Depth;
    const int N = S.Series->Count();
    // With slots narrower than a mark could ever be, the marks that must be
    // skipped are skipped without shaping their text.
    const bool Dense = Slot < 4;
    const double MinHalfW = PadX + Font.PixelSize * 0.25;
    bool Any = false;
    TRectF Previous;
    for (int I = 0; I < N; ++I) {
        if (!Drawn(S, I)) continue;
        if (Dense && Any) {
            const double Need = Previous.Right() + 2 + MinHalfW;
            const int Next = static_cast<int>(std::ceil((Need - L.Categories.SlotLeft(0)) / Slot - 0.5));
            if (Next > I) {
                I = Next - 1;
                continue;
            }
        }
        double X, Y;
        bool Below = false;
        double Inside = 0;  // the way into the bar, when a mark must go there
        if (S.Kind == TSeriesKind::skBar) {
            TBarBox B;
            if (!BarAt(L, D, S, I, B)) {
                B.Top = B.Bottom = std::round(L.ValueMap.ToPixel(BarOrigin(L)));
            }
            X = (B.X0 + B.X1) / 2 + Lift / 2;
            Below = B.Negative;
            Y = (Below ? B.Bottom : B.Top) - Lift / 2;
            Inside = B.Bottom - B.Top;
        } else {
            X = L.Categories.Center(I);
            Y = L.ValueMap.ToPixel(S.Series->GetYValue(I)) - (S.Pointer ? S.Pointer->GetVertSize() : 0);
        }
        TTextLayoutPtr T = Text.Layout(Font, MarkText(S, I), MaxW);
        const double BW = std::ceil(T->Width() + 2 * PadX), BH = std::ceil(T->Height() + 2 * PadY);
        TRectF Box{std::round(X - BW / 2), std::round(Below ? Y + Offset : Y - Offset - BH), BW, BH};
        // A mark that would leave the plot area goes inside its bar.
        if (!Below && Box.Y < L.MarksTop && Inside > 0) Box.Y = std::round(Y + Offset);
        if (Below && Box.Bottom() > L.Plot.Bottom() && Inside > 0) Box.Y = std::round(Y - Offset - BH);
        Box.X = std::clamp(Box.X, MinX, std::max(MinX, MaxX - BW));
        Box.Y = std::clamp(Box.Y, L.Panel.Y, std::max(L.Panel.Y, L.Panel.Bottom() - BH));
        if (Any && Overlap(Box, Previous)) continue;
        if (Back != clNone) P.FillRect(Box, Back);
        if (Marks.GetFrameVisible()) P.FrameRect(Box, RGB(0x9A, 0x9A, 0x9A));
        P.DrawText(*T, Box.X + PadX, Box.Y + PadY, FontColor);
        Previous = Box;
        Any = true;
    }
}

}  // namespace pv
