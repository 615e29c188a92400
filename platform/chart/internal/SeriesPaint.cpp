#include "platform/chart/internal/SeriesPaint.h"

#include <algorithm>
#include <cmath>
#include <vector>

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

// The value bars and areas grow from: zero, or the nearer end of an axis
// without it.
double BarOrigin(const TChartLayout& L) { return std::clamp(0.0, L.Ticks.Range.Min, L.Ticks.Range.Max); }

// False for a bar of no length (its value is the origin). Across its
// category a bar takes its share of the group of bars; along the value
// axis it runs from the origin to its value, at least one pixel.
bool BarAt(const TChartLayout& L, const TChartData& D, const TPlotSeries& S, int I, TBarBox& B) {
    const double Slot = L.Categories.SlotWidth();
    const double Group = Slot * std::clamp(BarWidthPercent(S), 1, 100) / 100.0;
    const double Sub = Group / std::max(1, D.BarSeriesCount);
    const double C0 = L.Categories.Center(I) - Group / 2 + S.BarIndex * Sub;
    const double A0 = std::round(C0), A1 = std::max(A0 + 1, std::round(C0 + Sub));
    const double Origin = BarOrigin(L);
    const double V = S.Series->GetYValue(I);
    const double P0 = std::round(L.ValueMap.ToPixel(Origin));
    const double P1 = std::round(L.ValueMap.ToPixel(V));
    B.Negative = V < Origin;
    double Lo = std::min(P0, P1), Hi = std::max(P0, P1);
    if (Hi - Lo < 1) {
        if (V == Origin) return false;
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
                P.FillPath();
                Pending = false;
            }
            if (!Pending) P.SetColor(C);
            Current = C;
            cairo_rectangle(Cr, B.X0, B.Top, B.X1 - B.X0, B.Bottom - B.Top);
            Pending = true;
        }
        if (Pending) P.FillPath();
        return;
    }
    // Prisms, left to right, so each bar's front hides the side of the one
    // before it; lying bars from the bottom up, so each hides the top of the
    // one below.
    for (int K = 0; K < N; ++K) {
        const int I = L.Horizontal ? N - 1 - K : K;
        TBarBox B;
        if (!Drawn(S, I) || !BarAt(L, D, S, I, B)) continue;
        const TColor C = P.Plain(PointColor(S, I));
        // Lying bars keep their depth below the gap to the bar above, so
        // their tops do not bury it.
        const double Dx = L.Horizontal ? std::min(Depth, std::max(1.0, std::floor(L.Categories.SlotWidth() * 0.5))) : Depth;
        const TPointF Side[] = {{B.X1, B.Top}, {B.X1 + Dx, B.Top - Dx}, {B.X1 + Dx, B.Bottom - Dx}, {B.X1, B.Bottom}};
        P.FillPolygon(Side, 4, Shade(C, 0.72));
        const TPointF Top[] = {{B.X0, B.Top}, {B.X1, B.Top}, {B.X1 + Dx, B.Top - Dx}, {B.X0 + Dx, B.Top - Dx}};
        P.FillPolygon(Top, 4, Shade(C, 1.35));
        P.FillRect({B.X0, B.Top, B.X1 - B.X0, B.Bottom - B.Top}, C);
    }
}

// Where the segment from point I - 1 to point I crosses the origin (zero,
// or the nearer axis end), if it does.
bool Crossing(const TChartLayout& L, const TPlotSeries& S, int I, TPointF& At) {
    const double O = BarOrigin(L);
    const double V0 = S.Series->GetYValue(I - 1) - O, V1 = S.Series->GetYValue(I) - O;
    if (!((V0 < 0 && V1 > 0) || (V0 > 0 && V1 < 0))) return false;
    const TPointF A = L.At(I - 1, S.Series->GetYValue(I - 1)), B = L.At(I, S.Series->GetYValue(I));
    const double T = V0 / (V0 - V1);
    At = {A.X + (B.X - A.X) * T, A.Y + (B.Y - A.Y) * T};
    return true;
}

// Strokes the line through the points of S, Width pixels wide, each
// segment in Colour(its end point's colour). Runs of segments of one colour
// are stroked as one path, so joins stay smooth. A segment that crosses
// zero between points of two colours (a colour by sign) changes colour
// where it crosses.
template <class TColourOf>
void StrokeLine(TPainter& P, const TChartLayout& L, const TPlotSeries& S, double Width, TColourOf Colour) {
    cairo_t* Cr = P.Cr();
    const int N = S.Series->Count();
    auto At = [&](int I) { return L.At(I, S.Series->GetYValue(I)); };
    cairo_set_line_width(Cr, Width);
    // Mitred joins look the same as round ones at these widths, and cost
    // Cairo's stroker less; round caps keep the end points whole.
    cairo_set_line_join(Cr, CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(Cr, 4);
    cairo_set_line_cap(Cr, CAIRO_LINE_CAP_ROUND);
    TColor Current = clNone;
    bool Open = false;
    for (int I = 1; I < N; ++I) {
        if (!Drawn(S, I - 1) || !Drawn(S, I)) continue;
        const TColor C = PointColor(S, I);
        TPointF A = At(I - 1);
        const TPointF B = At(I);
        TPointF Cross;
        if (Open && C != Current && PointColor(S, I - 1) == Current && Crossing(L, S, I, Cross)) {
            cairo_line_to(Cr, Cross.X, Cross.Y);
            A = Cross;
        }
        if (Open && C != Current) {
            P.StrokePath();
            Open = false;
        }
        if (!Open) {
            P.SetColor(Colour(C));
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
    if (Open) P.StrokePath();
}

void PaintLine(TPainter& P, const TChartLayout& L, const TPlotSeries& S) {
    cairo_t* Cr = P.Cr();
    const int N = S.Series->Count();
    auto At = [&](int I) { return L.At(I, S.Series->GetYValue(I)); };
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
    StrokeLine(P, L, S, 2, [](TColor C) { return C; });
    // A point with no neighbour to join is still shown, as a dot.
    if (!S.Pointer)
        for (int I = 0; I < N; ++I) {
            if (!Drawn(S, I)) continue;
            const bool Before = I > 0 && Drawn(S, I - 1), After = I + 1 < N && Drawn(S, I + 1);
            if (Before || After) continue;
            const TPointF A = At(I);
            P.SetColor(PointColor(S, I));
            cairo_arc(Cr, A.X, A.Y, 2, 0, 2 * M_PI);
            P.FillPath();
        }
}

// The area between the line and the origin, in runs of segments of one
// colour (a segment takes its end point's colour) filled as one path, so
// neighbouring segments meet without a seam; then the line over it in a
// darker shade. A segment crossing the origin fills both its parts.
// A flat area: each run of segments of one colour is one polygon, along the
// line on one side and along the origin on the other, so a run has no
// inner edges to fill. A segment crossing the origin between points of two
// colours gives each side its own point's colour.
void PaintFlatArea(TPainter& P, const TChartLayout& L, const TPlotSeries& S) {
    cairo_t* Cr = P.Cr();
    const int N = S.Series->Count();
    const double O = L.ValueMap.ToPixel(BarOrigin(L));
    auto At = [&](int I) { return L.At(I, S.Series->GetYValue(I)); };
    auto BaseOf = [&](const TPointF& A) { return L.Horizontal ? TPointF{O, A.Y} : TPointF{A.X, O}; };
    std::vector<TPointF> Run;
    TColor Current = clNone;
    auto Flush = [&] {
        if (Run.size() >= 2) {
            P.SetColor(Current);
            cairo_move_to(Cr, Run.front().X, Run.front().Y);
            for (std::size_t K = 1; K < Run.size(); ++K) cairo_line_to(Cr, Run[K].X, Run[K].Y);
            const TPointF E = BaseOf(Run.back()), F = BaseOf(Run.front());
            cairo_line_to(Cr, E.X, E.Y);
            cairo_line_to(Cr, F.X, F.Y);
            cairo_close_path(Cr);
            P.FillPath();
        }
        Run.clear();
    };
    auto Extend = [&](TColor C, const TPointF& From, const TPointF& To) {
        if (Run.empty() || C != Current || Run.back().X != From.X || Run.back().Y != From.Y) {
            Flush();
            Current = C;
            Run.push_back(From);
        }
        Run.push_back(To);
    };
    for (int I = 1; I < N; ++I) {
        if (!Drawn(S, I - 1) || !Drawn(S, I)) continue;
        const TColor C = PointColor(S, I), CA = PointColor(S, I - 1);
        const TPointF A = At(I - 1), B = At(I);
        TPointF Cross;
        if (CA != C && Crossing(L, S, I, Cross)) {
            Extend(CA, A, Cross);
            Extend(C, Cross, B);
        } else {
            Extend(C, A, B);
        }
    }
    Flush();
}

void PaintArea(TPainter& P, const TChartLayout& L, const TPlotSeries& S) {
    if (L.Depth <= 0) {
        PaintFlatArea(P, L, S);
        StrokeLine(P, L, S, 1.5, [&](TColor C) { return Shade(P.Plain(C), 0.6); });
        return;
    }
    // A solid area: for each segment, the top going back into the chart
    // (lit from above), then the front face standing on it.
    const int N = S.Series->Count();
    const double Origin = BarOrigin(L);
    auto At = [&](int I) { return L.At(I, S.Series->GetYValue(I)); };
    auto Base = [&](int I) { return L.At(I, Origin); };
    const double Dx = L.Depth;
    for (int I = 1; I < N; ++I) {
        if (!Drawn(S, I - 1) || !Drawn(S, I)) continue;
        const TColor C = P.Plain(PointColor(S, I));
        const TPointF A = At(I - 1), B = At(I), B0 = Base(I), A0 = Base(I - 1);
        const TPointF Top[] = {A, B, {B.X + Dx, B.Y - Dx}, {A.X + Dx, A.Y - Dx}};
        P.FillPolygon(Top, 4, Shade(C, B.Y < A.Y ? 1.25 : 0.85));
        const TPointF Front[] = {A, B, B0, A0};
        P.FillPolygon(Front, 4, C);
    }
    // The right end of the solid area.
    for (int I = N - 1; I >= 0; --I) {
        if (!Drawn(S, I)) continue;
        const TPointF A = At(I), A0 = Base(I);
        const TPointF Side[] = {A, {A.X + Dx, A.Y - Dx}, {A0.X + Dx, A0.Y - Dx}, A0};
        P.FillPolygon(Side, 4, Shade(P.Plain(PointColor(S, I)), 0.72));
        break;
    }
    StrokeLine(P, L, S, 1.5, [&](TColor C) { return Shade(P.Plain(C), 0.6); });
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
        P.StrokePath();
        return;
    }
    P.SetColor(Fill);
    if (Style == TSeriesPointerStyle::psSmallDot || std::min(HS, VS) < 2) {
        P.FillPath();
        return;
    }
    P.Flush();
    cairo_fill_preserve(Cr);
    P.SetColor(Shade(P.Plain(Fill), 0.62));
    cairo_set_line_width(Cr, 1);
    P.StrokePath();
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
            const TPointF A = L.At(I, S.Series->GetYValue(I));
            PointerPath(Cr, Style, A.X + Off, A.Y - Off, HS, VS);
            Pending = true;
        }
        if (Pending) FinishPointers(P, Style, Current, HS, VS);
    }
}

bool Overlap(const TRectF& A, const TRectF& B) {
    return A.X < B.Right() && B.X < A.Right() && A.Y < B.Bottom() && B.Y < A.Bottom();
}

// A repeating tile of light diagonal stripes, the sign of a negative
// slice; one per thread, like the text engine, since patterns are not
// shared between threads here.
cairo_pattern_t* StripePattern() {
    struct TTile {
        cairo_pattern_t* Pattern = nullptr;
        TTile() {
            constexpr int Size = 6;
            cairo_surface_t* S = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, Size, Size);
            cairo_t* Cr = cairo_create(S);
            cairo_set_source_rgba(Cr, 1, 1, 1, 0.55);
            cairo_set_line_width(Cr, 2);
            // The diagonal and its two wrapped ends, so tiles join up.
            for (double Off : {0.0, -double(Size), double(Size)}) {
                cairo_move_to(Cr, -1 + Off, Size + 1);
                cairo_line_to(Cr, Size + 1 + Off, -1);
            }
            cairo_stroke(Cr);
            cairo_destroy(Cr);
            Pattern = cairo_pattern_create_for_surface(S);
            cairo_surface_destroy(S);
            cairo_pattern_set_extend(Pattern, CAIRO_EXTEND_REPEAT);
        }
        ~TTile() { cairo_pattern_destroy(Pattern); }
    };
    thread_local TTile Tile;
    return Tile.Pattern;
}

// Fills the current path with the stripes, and clears it.
void FillStripes(TPainter& P) {
    cairo_set_source(P.Cr(), StripePattern());
    P.FillPath();
}

// The slices of a pie: each point's share of the total of absolute values,
// clockwise from twelve o'clock. Zero and null points have no slice.
struct TSlice {
    int Index = 0;
    double A0 = 0, A1 = 0;  // angles in radians, screen coordinates (y down)
    double Mid() const { return (A0 + A1) / 2; }
};

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

// The outline of the slice from A0 to A1 of an ellipse centred at (CX, CY)
// with radii RX, RY.
void SlicePath(cairo_t* Cr, double CX, double CY, double RX, double RY, double A0, double A1) {
    cairo_matrix_t M;
    cairo_get_matrix(Cr, &M);
    cairo_translate(Cr, CX, CY);
    cairo_scale(Cr, RX, RY);
    cairo_move_to(Cr, 0, 0);
    cairo_arc(Cr, 0, 0, 1, A0, A1);
    cairo_close_path(Cr);
    cairo_set_matrix(Cr, &M);
}

// Adds to the path the part of the rim of the ellipse (CX, CY, R, RY) below
// the arc from From to To, Rim pixels deep.
void RimPath(cairo_t* Cr, double CX, double CY, double R, double RY, double Rim, double From, double To) {
    const int Steps = std::max(2, static_cast<int>((To - From) / (M_PI / 48)) + 1);
    for (int K = 0; K <= Steps; ++K) {
        const double A = From + (To - From) * K / Steps;
        const double X = CX + R * std::cos(A), Y = CY + RY * std::sin(A);
        if (K == 0)
            cairo_move_to(Cr, X, Y);
        else
            cairo_line_to(Cr, X, Y);
    }
    for (int K = Steps; K >= 0; --K) {
        const double A = From + (To - From) * K / Steps;
        cairo_line_to(Cr, CX + R * std::cos(A), CY + RY * std::sin(A) + Rim);
    }
    cairo_close_path(Cr);
}

void PaintPie(TPainter& P, const TChartLayout& L, const TPlotSeries& S) {
    const double R = L.PieRadius;
    if (R < 1) return;
    cairo_t* Cr = P.Cr();
    const double CX = L.PieCenter.X, CY = L.PieCenter.Y, RY = R * L.PieTilt, Rim = L.PieRim;
    const std::vector<TSlice> All = Slices(S);
    auto Negative = [&](const TSlice& Sl) { return S.Series->GetYValue(Sl.Index) < 0; };
    // Each face is drawn in runs of slices of one colour, one fill per run;
    // then the negative slices' stripes in one fill.
    auto Faces = [&](auto AddPath, auto ColourOf) {
        TColor Current = clNone;
        bool Pending = false;
        for (const TSlice& Sl : All) {
            const TColor C = ColourOf(Sl);
            if (Pending && C != Current) {
                P.FillPath();
                Pending = false;
            }
            if (!Pending) P.SetColor(C);
            Current = C;
            Pending = AddPath(Sl) || Pending;
        }
        if (Pending) P.FillPath();
        cairo_new_path(Cr);
        bool Any = false;
        for (const TSlice& Sl : All)
            if (Negative(Sl)) Any = AddPath(Sl) || Any;
        if (Any)
            FillStripes(P);
        else
            cairo_new_path(Cr);
    };
    if (Rim > 0) {
        // The rim shows below the front half of the pie (angles 0..pi, y
        // down), darker than the top.
        Faces(
            [&](const TSlice& Sl) {
                bool Added = false;
                for (double Turn : {0.0, 2 * M_PI}) {
                    const double From = std::max(Sl.A0, Turn), To = std::min(Sl.A1, Turn + M_PI);
                    if (To <= From) continue;
                    RimPath(Cr, CX, CY, R, RY, Rim, From, To);
                    Added = true;
                }
                return Added;
            },
            [&](const TSlice& Sl) { return Shade(P.Plain(PointColor(S, Sl.Index)), 0.7); });
    }
    Faces(
        [&](const TSlice& Sl) {
            SlicePath(Cr, CX, CY, R, RY, Sl.A0, Sl.A1);
            return true;
        },
        [&](const TSlice& Sl) { return PointColor(S, Sl.Index); });
    // White edges between neighbouring slices of one colour, so they still
    // part.
    if (All.size() > 1) {
        bool Any = false;
        for (std::size_t K = 0; K < All.size(); ++K) {
            const TSlice& Before = All[(K + All.size() - 1) % All.size()];
            if (PointColor(S, Before.Index) != PointColor(S, All[K].Index)) continue;
            cairo_move_to(Cr, CX, CY);
            cairo_line_to(Cr, CX + R * std::cos(All[K].A0), CY + RY * std::sin(All[K].A0));
            Any = true;
        }
        if (Any) {
            P.SetColor(clWhite);
            cairo_set_line_width(Cr, 1);
            P.StrokePath();
        }
    }
}

}  // namespace

void PaintNegativeStripes(TPainter& P, const TRectF& R) {
    cairo_rectangle(P.Cr(), R.X, R.Y, R.W, R.H);
    FillStripes(P);
}

void PaintPointer(TPainter& P, TSeriesPointerStyle Style, double CX, double CY, double HS, double VS, TColor Fill) {
    PointerPath(P.Cr(), Style, CX, CY, HS, VS);
    FinishPointers(P, Style, Fill, HS, VS);
}

void PaintSeries(TPainter& P, const TChartLayout& L, const TChartData& D, const TPlotSeries& S) {
    if (L.Plot.Empty() || S.Series->Count() == 0) return;
    TPainterSave Save(P);
    // Curves (slices, round joins, circles) flattened to half a pixel
    // rather than Cairo's tenth: the same picture once antialiased, with a
    // fraction of the segments to fill.
    cairo_set_tolerance(P.Cr(), 0.5);
    if (L.Pie) {
        if (S.Kind == TSeriesKind::skPie) PaintPie(P, L, S);
        return;
    }
    // The plot and, in 3D, the room behind it; a little more at the ends of
    // the value axis so a line on the axis end is not cut in half.
    if (L.Horizontal)
        P.Clip({L.Plot.X - 2, L.Plot.Y - L.Depth, L.Plot.W + L.Depth + 4, L.Plot.H + L.Depth});
    else
        P.Clip({L.Plot.X, L.Plot.Y - L.Depth - 2, L.Plot.W + L.Depth, L.Plot.H + L.Depth + 4});
    switch (S.Kind) {
        case TSeriesKind::skBar:
        case TSeriesKind::skHorizBar: PaintBars(P, L, D, S); break;
        case TSeriesKind::skLine: PaintLine(P, L, S); break;
        case TSeriesKind::skArea: PaintArea(P, L, S); break;
        case TSeriesKind::skPoint:
        case TSeriesKind::skPie: break;
    }
    if (S.Pointer) PaintPointers(P, L, S);
}

namespace {

constexpr double MarkPadX = TMarkSpacing::PadX, MarkPadY = TMarkSpacing::PadY, MarkOffset = TMarkSpacing::Offset,
                 PieLeader = TMarkSpacing::PieLeader;
constexpr TColor MarkFrameColor = RGB(0x9A, 0x9A, 0x9A);

// Where the marks of the pie go: outside the circle at each slice's middle,
// on its side of the pie; marks that would overlap on one side are moved
// apart vertically as far as the area allows.
void PlacePieMarks(const TChartLayout& L, const TPlotSeries& S, TTextEngine& Text, const TTextFont& Font,
                   std::vector<TPlacedMark>& Out) {
    const double R = L.PieRadius, RY = R * L.PieTilt;
    if (R < 1) return;
    const double CX = L.PieCenter.X, CY = L.PieCenter.Y;
    const int MaxW = static_cast<int>(std::clamp(L.MarksArea.W * 0.3, 40.0, 200.0));
    std::vector<TPlacedMark> Side[2];
    for (const TSlice& Sl : Slices(S)) {
        const double A = Sl.Mid();
        const double Cos = std::cos(A), Sin = std::sin(A);
        TPlacedMark M;
        M.Text = Text.Layout(Font, MarkText(S, Sl.Index), MaxW);
        M.Index = Sl.Index;
        const double BW = std::ceil(M.Text->Width() + 2 * MarkPadX), BH = std::ceil(M.Text->Height() + 2 * MarkPadY);
        const double Down = Sin > 0 ? L.PieRim : 0;
        M.From = {CX + R * Cos, CY + RY * Sin + Down};
        const TPointF To{CX + (R + PieLeader) * Cos, CY + (RY + PieLeader) * Sin + Down};
        const bool Right = Cos >= 0;
        M.Box = {std::round(Right ? To.X : To.X - BW), std::round(To.Y - BH / 2), BW, BH};
        M.Leader = true;
        Side[Right].push_back(std::move(M));
    }
    const TRectF& Area = L.MarksArea;
    for (auto& List : Side) {
        std::sort(List.begin(), List.end(), [](const TPlacedMark& A, const TPlacedMark& B) { return A.Box.Y < B.Box.Y; });
        // Push down what overlaps the mark above, then pull up from the
        // bottom of the area what was pushed out of it.
        for (std::size_t I = 0; I < List.size(); ++I) {
            TRectF& B = List[I].Box;
            B.Y = std::max(B.Y, Area.Y);
            if (I > 0) B.Y = std::max(B.Y, List[I - 1].Box.Bottom() + 1);
        }
        for (std::size_t I = List.size(); I-- > 0;) {
            TRectF& B = List[I].Box;
            const double Limit = I + 1 < List.size() ? List[I + 1].Box.Y - 1 : Area.Bottom();
            B.Y = std::min(B.Y, Limit - B.H);
        }
        for (TPlacedMark& M : List) {
            M.Box.X = std::clamp(M.Box.X, Area.X, std::max(Area.X, Area.Right() - M.Box.W));
            // Still outside the area: no room for all of them.
            if (M.Box.Y < Area.Y - 0.5) continue;
            Out.push_back(std::move(M));
        }
    }
}

// Where the marks of an axis series go: beyond the end of each bar (inside
// it when the end is at the edge of the plot area), above each point. A mark
// that would overlap one of its neighbours is moved past it when there is
// room, and left out when there is none.
void PlaceMarks(const TChartLayout& L, const TChartData& D, const TPlotSeries& S, TTextEngine& Text,
                const TTextFont& Font, std::vector<TPlacedMark>& Out) {
    // A mark may be a little wider than its slot, never wider than 200 pixels.
    const double Slot = L.Categories.SlotWidth();
    const double Along = L.Horizontal ? L.Plot.H : L.Plot.W;
    const int MaxW = static_cast<int>(std::clamp(Slot * 2.5, 60.0, std::max(60.0, std::min(200.0, L.Horizontal ? 200.0 : Along))));
    // Marks stay over the plot, clear of the axis labels and the legend.
    const double MinX = L.Plot.X, MaxX = L.Plot.Right() + L.Depth + 4;
    const double MinY = L.MarksTop, MaxY = L.Plot.Bottom();
    const double Lift = L.Depth;
    const int N = S.Series->Count();
    // With slots narrower than a mark could ever be, the marks that must be
    // skipped are skipped without shaping their text.
    const bool Dense = Slot < 4;
    const double MinHalf = L.Horizontal ? MarkPadY + Font.PixelSize * 0.6 : MarkPadX + Font.PixelSize * 0.25;
    const bool Bar = IsBar(S.Kind);
    // The marks placed last, to test for overlaps.
    constexpr std::size_t Recent = 3;
    const std::size_t First = Out.size();
    auto Clear = [&](const TRectF& Box) {
        for (std::size_t K = Out.size(); K > First && K + Recent > Out.size(); --K)
            if (Overlap(Box, Out[K - 1].Box)) return false;
        return true;
    };
    for (int I = 0; I < N; ++I) {
        if (!Drawn(S, I)) continue;
        if (Dense && Out.size() > First) {
            const TRectF& Last = Out.back().Box;
            const double Need = (L.Horizontal ? Last.Bottom() : Last.Right()) + 2 + MinHalf;
            const int Next = static_cast<int>(std::ceil((Need - L.Categories.SlotLeft(0)) / Slot - 0.5));
            if (Next > I) {
                I = Next - 1;
                continue;
            }
        }
        TPlacedMark M;
        M.Index = I;
        M.Text = Text.Layout(Font, MarkText(S, I), MaxW);
        const double BW = std::ceil(M.Text->Width() + 2 * MarkPadX), BH = std::ceil(M.Text->Height() + 2 * MarkPadY);
        std::vector<TRectF> Tries;
        if (L.Horizontal) {
            // Beyond the end of the bar or point, left of a negative one.
            double End, CY, Inside = 0;
            bool Negative;
            if (Bar) {
                TBarBox B;
                if (!BarAt(L, D, S, I, B)) B.X0 = B.X1 = std::round(L.ValueMap.ToPixel(BarOrigin(L)));
                if (B.Bottom - B.Top < 1) B.Top = B.Bottom = L.Categories.Center(I);
                Negative = B.Negative;
                End = (Negative ? B.X0 : B.X1) + Lift / 2;
                CY = (B.Top + B.Bottom) / 2 - Lift / 2;
                Inside = B.X1 - B.X0;
            } else {
                const TPointF A = L.At(I, S.Series->GetYValue(I));
                Negative = S.Series->GetYValue(I) < BarOrigin(L);
                End = A.X + (Negative ? -1 : 1) * (S.Pointer ? S.Pointer->GetHorizSize() : 0);
                CY = A.Y;
            }
            TRectF Box{std::round(Negative ? End - MarkOffset - BW : End + MarkOffset), std::round(CY - BH / 2), BW, BH};
            if (!Negative && Box.Right() > L.MarksArea.Right() && Inside > 0) Box.X = std::round(End - MarkOffset - BW);
            if (Negative && Box.X < L.Plot.X && Inside > 0) Box.X = std::round(End + MarkOffset);
            Box.X = std::clamp(Box.X, L.Plot.X, std::max(L.Plot.X, L.MarksArea.Right() - BW));
            Box.Y = std::clamp(Box.Y, L.Panel.Y, std::max(L.Panel.Y, L.Panel.Bottom() - BH));
            Tries.push_back(Box);
            // Moved past the neighbour it would overlap, sideways.
            if (Out.size() > First) {
                TRectF Past = Box;
                Past.X = Out.back().Box.Right() + 2;
                if (Past.Right() <= L.MarksArea.Right()) Tries.push_back(Past);
            }
        } else {
            double X, Y;
            bool Below = false;
            double Inside = 0;  // the way into the bar, when a mark must go there
            double Under = 0;   // where a mark below the point would start
            if (Bar) {
                TBarBox B;
                if (!BarAt(L, D, S, I, B)) B.Top = B.Bottom = std::round(L.ValueMap.ToPixel(BarOrigin(L)));
                X = (B.X0 + B.X1) / 2 + Lift / 2;
                Below = B.Negative;
                Y = (Below ? B.Bottom : B.Top) - Lift / 2;
                Inside = B.Bottom - B.Top;
            } else {
                const TPointF A = L.At(I, S.Series->GetYValue(I));
                const double VS = S.Pointer ? S.Pointer->GetVertSize() : 0;
                X = A.X;
                Y = A.Y - VS;
                Under = A.Y + VS + MarkOffset;
            }
            TRectF Box{std::round(X - BW / 2), std::round(Below ? Y + MarkOffset : Y - MarkOffset - BH), BW, BH};
            // A mark that would leave the plot area goes inside its bar.
            if (!Below && Box.Y < MinY && Inside > 0) Box.Y = std::round(Y + MarkOffset);
            if (Below && Box.Bottom() > MaxY && Inside > 0) Box.Y = std::round(Y - MarkOffset - BH);
            Box.X = std::clamp(Box.X, MinX, std::max(MinX, MaxX - BW));
            Box.Y = std::clamp(Box.Y, L.Panel.Y, std::max(L.Panel.Y, L.Panel.Bottom() - BH));
            Tries.push_back(Box);
            if (Out.size() > First) {
                // Above the neighbour it would overlap, or below its point.
                TRectF Up = Box;
                Up.Y = Out.back().Box.Y - BH - 1;
                if (Up.Y >= MinY) Tries.push_back(Up);
                if (!Bar) {
                    TRectF Down = Box;
                    Down.Y = std::round(Under);
                    if (Down.Bottom() <= MaxY) Tries.push_back(Down);
                }
            }
        }
        for (const TRectF& Box : Tries)
            if (Clear(Box)) {
                M.Box = Box;
                Out.push_back(std::move(M));
                break;
            }
    }
}

}  // namespace

std::vector<TPlacedMark> PlaceSeriesMarks(const TChartLayout& L, const TChartData& D, const TPlotSeries& S,
                                          TTextEngine& Text) {
    std::vector<TPlacedMark> Out;
    const TSeriesMarks& Marks = *S.Series->GetMarks();
    if (!Marks.GetVisible() || !L.MarksVisible || L.Plot.Empty()) return Out;
    const TTextFont Font = TTextFont::FromFont(*Marks.GetFont());
    if (L.Pie) {
        if (S.Kind == TSeriesKind::skPie) PlacePieMarks(L, S, Text, Font, Out);
    } else {
        PlaceMarks(L, D, S, Text, Font, Out);
    }
    return Out;
}

void PaintAllMarks(TPainter& P, const TChartLayout& L, const TChartData& D, TTextEngine& Text) {
    for (const TPlotSeries& S : D.Series) {
        const std::vector<TPlacedMark> Marks = PlaceSeriesMarks(L, D, S, Text);
        if (Marks.empty()) continue;
        const TSeriesMarks& M = *S.Series->GetMarks();
        const TColor Back = M.GetBackColor();
        const TColor FontColor = M.GetFont()->GetColor();
        // The leader lines of a pie's marks, from the rim of each slice to
        // the near side of its box, in one stroke.
        bool Leaders = false;
        for (const TPlacedMark& Mark : Marks) {
            if (!Mark.Leader) continue;
            const TRectF& Box = Mark.Box;
            cairo_move_to(P.Cr(), Mark.From.X, Mark.From.Y);
            cairo_line_to(P.Cr(), Mark.From.X <= Box.X ? Box.X : Box.Right(), Box.CenterY());
            Leaders = true;
        }
        if (Leaders) {
            P.SetColor(MarkFrameColor);
            cairo_set_line_width(P.Cr(), 1);
            P.StrokePath();
        }
        // Boxes that keep a pixel apart are filled, then framed, all at once:
        // the same picture as a mark at a time, in two drawing operations.
        // Where marks come closer, each is drawn whole over the ones before.
        auto Apart = [](const TRectF& A, const TRectF& B) {
            return A.Right() + 1 <= B.X || B.Right() + 1 <= A.X || A.Bottom() + 1 <= B.Y || B.Bottom() + 1 <= A.Y;
        };
        bool AllApart = true;
        for (std::size_t I = 0; I < Marks.size() && AllApart; ++I)
            for (std::size_t J = I + 1; J < Marks.size() && AllApart; ++J)
                AllApart = Apart(Marks[I].Box, Marks[J].Box);
        if (AllApart) {
            std::vector<TRectF> Boxes;
            Boxes.reserve(Marks.size());
            for (const TPlacedMark& Mark : Marks) Boxes.push_back(Mark.Box);
            if (Back != clNone) P.FillRects(Boxes, Back);
            if (M.GetFrameVisible()) P.FrameRects(Boxes, MarkFrameColor);
        }
        for (const TPlacedMark& Mark : Marks) {
            const TRectF& Box = Mark.Box;
            if (!AllApart) {
                if (Back != clNone) P.FillRect(Box, Back);
                if (M.GetFrameVisible()) P.FrameRect(Box, MarkFrameColor);
            }
            P.DrawText(*Mark.Text, Box.X + MarkPadX, Box.Y + MarkPadY, FontColor);
        }
    }
}

}  // namespace pv
