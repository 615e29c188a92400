#include "platform/chart/internal/SeriesPaint.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/chart/internal/ChartColors.h"
#include "platform/chart/internal/PointReduction.h"
#include "platform/chart/internal/SeriesGeometry.h"

namespace pv {

namespace {

void PaintBars(TPainter& P, const TChartLayout& L, const TChartData& D, const TPlotSeries& S, TPointDetail Detail) {
    cairo_t* Cr = P.Cr();
    const int N = S.Series->Count();
    const double Depth = L.Depth;
    const TBarGeometry Geometry(L, D, S);
    if (Depth <= 0) {
        // Bars of one colour go into one path: a series of ten thousand
        // points costs one fill, not ten thousand.
        TColor Current = clNone;
        bool Pending = false;
        for (int I : FlatBars(L, D, S, Detail)) {
            TBarBox B;
            if (!Geometry.At(I, B)) continue;
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
        if (!Drawn(S, I) || !Geometry.At(I, B)) continue;
        const TColor C = P.Plain(PointColor(S, I));
        // Lying bars keep their depth below the gap to the bar above, so
        // their tops do not bury it.
        const double Dx = L.Horizontal ? std::min(Depth, std::max(1.0, std::floor(L.SlotWidth() * 0.5))) : Depth;
        const TPointF Side[] = {{B.X1, B.Top}, {B.X1 + Dx, B.Top - Dx}, {B.X1 + Dx, B.Bottom - Dx}, {B.X1, B.Bottom}};
        P.FillPolygon(Side, 4, Shade(C, 0.72));
        const TPointF Top[] = {{B.X0, B.Top}, {B.X1, B.Top}, {B.X1 + Dx, B.Top - Dx}, {B.X0 + Dx, B.Top - Dx}};
        P.FillPolygon(Top, 4, Shade(C, 1.35));
        P.FillRect({B.X0, B.Top, B.X1 - B.X0, B.Bottom - B.Top}, C);
    }
}

// Where the segment from point I0 to point I1 crosses the origin (zero, or
// the nearer axis end), if it does.
bool Crossing(const TChartLayout& L, const TPlotSeries& S, int I0, int I1, TPointF& At) {
    const double O = BarOrigin(L);
    const double V0 = S.At(I0) - O, V1 = S.At(I1) - O;
    if (!((V0 < 0 && V1 > 0) || (V0 > 0 && V1 < 0))) return false;
    const TPointF A = L.At(S, I0, S.At(I0)), B = L.At(S, I1, S.At(I1));
    const double T = V0 / (V0 - V1);
    At = {A.X + (B.X - A.X) * T, A.Y + (B.Y - A.Y) * T};
    return true;
}

// Strokes the line along Path through the points of S, Width pixels wide,
// each segment in Colour(its end point's colour). Runs of segments of one
// colour are stroked as one path, so joins stay smooth. A segment that
// crosses zero between points of two colours (a colour by sign) changes
// colour where it crosses.
template <class TColourOf>
void StrokeLine(TPainter& P, const TChartLayout& L, const TPlotSeries& S, const std::vector<TPathPoint>& Path,
                double Width, TColourOf Colour) {
    cairo_t* Cr = P.Cr();
    auto At = [&](int I) { return L.At(S, I, S.At(I)); };
    cairo_set_line_width(Cr, Width);
    // Mitred joins look the same as round ones at these widths, and cost
    // Cairo's stroker less; round caps keep the end points whole.
    cairo_set_line_join(Cr, CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(Cr, 4);
    cairo_set_line_cap(Cr, CAIRO_LINE_CAP_ROUND);
    TColor Current = clNone;
    bool Open = false;
    for (std::size_t J = 1; J < Path.size(); ++J) {
        if (!Path[J].Joined) continue;
        const int I0 = Path[J - 1].Index, I = Path[J].Index;
        const TColor C = PointColor(S, I);
        TPointF A = At(I0);
        const TPointF B = At(I);
        TPointF Cross;
        if (Open && C != Current && PointColor(S, I0) == Current && Crossing(L, S, I0, I, Cross)) {
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

// The faces and edges of a 3D line or area, drawn one at a time in order;
// or, for a reduced path (Together), each run of faces of one colour filled
// as one path and then the run's edges stroked. A reduced path has a
// segment or more per pixel column, and two faces that meet along an
// antialiased edge leave a lighter seam there: filled together they have
// none. A run goes one way (the shade of a face says which), and along a
// category axis running left to right a face of such a run does not reach
// over the edges before it, so the order changes nothing else.
class TFaces {
public:
    TFaces(TPainter& P, bool Together) : FPainter(P), FTogether(Together) {}
    ~TFaces() { Flush(); }
    TFaces(const TFaces&) = delete;
    TFaces& operator=(const TFaces&) = delete;

    void Face(const TPointF* Points, int Count, TColor C) {
        if (!FTogether) {
            FPainter.FillPolygon(Points, Count, C);
            return;
        }
        if (FOpen && C != FColor) Flush();
        cairo_t* Cr = FPainter.Cr();
        cairo_move_to(Cr, Points[0].X, Points[0].Y);
        for (int K = 1; K < Count; ++K) cairo_line_to(Cr, Points[K].X, Points[K].Y);
        cairo_close_path(Cr);
        FColor = C;
        FOpen = true;
    }
    void Edge(const TPointF& A, const TPointF& B, TColor C) {
        if (!FTogether) {
            FPainter.Line(A.X, A.Y, B.X, B.Y, C, 1);
            return;
        }
        if (FEdges.empty() || FEdges.back().first != C) FEdges.push_back({C, {}});
        FEdges.back().second.push_back({A.X, A.Y, B.X, B.Y});
    }
    // Fills the faces held, then strokes the edges held.
    void Flush() {
        FillFaces();
        for (const auto& [Color, Segments] : FEdges) FPainter.Lines(Segments, Color);
        FEdges.clear();
    }

private:
    void FillFaces() {
        if (!FOpen) return;
        FPainter.SetColor(FColor);
        FPainter.FillPath();
        FOpen = false;
    }
    TPainter& FPainter;
    const bool FTogether;
    bool FOpen = false;
    TColor FColor = clNone;
    std::vector<std::pair<TColor, std::vector<TSegmentF>>> FEdges;
};

void PaintLine(TPainter& P, const TChartLayout& L, const TPlotSeries& S, const std::vector<TPathPoint>& Path,
               bool Reduced) {
    cairo_t* Cr = P.Cr();
    auto At = [&](int I) { return L.At(S, I, S.At(I)); };
    const double Depth = L.Depth;
    if (Depth > 0) {
        // A ribbon going back into the chart, lit from above.
        const double Dx = Depth;
        TFaces Faces(P, Reduced && !L.Horizontal);
        for (std::size_t J = 1; J < Path.size(); ++J) {
            if (!Path[J].Joined) continue;
            const int I = Path[J].Index;
            const TPointF A = At(Path[J - 1].Index), B = At(I);
            const TPointF Quad[] = {A, B, {B.X + Dx, B.Y - Dx}, {A.X + Dx, A.Y - Dx}};
            const TColor C = P.Plain(PointColor(S, I));
            Faces.Face(Quad, 4, Shade(C, B.Y < A.Y ? 1.25 : 0.85));
            Faces.Edge(A, B, Shade(C, 0.6));
        }
        return;
    }
    StrokeLine(P, L, S, Path, 2, [](TColor C) { return C; });
    // A point with no neighbour to join is still shown, as a dot.
    if (!S.Pointer)
        for (std::size_t J = 0; J < Path.size(); ++J) {
            if (Path[J].Joined || (J + 1 < Path.size() && Path[J + 1].Joined)) continue;
            const int I = Path[J].Index;
            const TPointF A = At(I);
            P.SetColor(PointColor(S, I));
            cairo_arc(Cr, A.X, A.Y, 2, 0, 2 * M_PI);
            P.FillPath();
        }
}

// A flat area: each run of segments of one colour is one polygon, along the
// line on one side and back along its base on the other (the origin, or
// for a piled area the top of the pile below it), so a run has no inner
// edges to fill. A segment crossing the origin between points of two
// colours gives each side its own point's colour.
void PaintFlatArea(TPainter& P, const TChartLayout& L, const TPlotSeries& S, const std::vector<TPathPoint>& Path) {
    cairo_t* Cr = P.Cr();
    const double O = L.ValueMap.ToPixel(BarOrigin(L));
    auto At = [&](int I) { return L.At(S, I, S.At(I)); };
    auto BaseOf = [&](const TPointF& A) { return L.Horizontal ? TPointF{O, A.Y} : TPointF{A.X, O}; };
    auto BaseAt = [&](int I) {
        return S.Stacked() ? L.At(S, I, S.Base[static_cast<std::size_t>(I)]) : BaseOf(At(I));
    };
    // The line of the run, and its base point for point.
    std::vector<TPointF> Run, Bases;
    TColor Current = clNone;
    auto Flush = [&] {
        if (Run.size() >= 2) {
            P.SetColor(Current);
            cairo_move_to(Cr, Run.front().X, Run.front().Y);
            for (std::size_t K = 1; K < Run.size(); ++K) cairo_line_to(Cr, Run[K].X, Run[K].Y);
            for (std::size_t K = Bases.size(); K-- > 0;) cairo_line_to(Cr, Bases[K].X, Bases[K].Y);
            cairo_close_path(Cr);
            P.FillPath();
        }
        Run.clear();
        Bases.clear();
    };
    auto Extend = [&](TColor C, const TPointF& From, const TPointF& FromBase, const TPointF& To,
                      const TPointF& ToBase) {
        if (Run.empty() || C != Current || Run.back().X != From.X || Run.back().Y != From.Y) {
            Flush();
            Current = C;
            Run.push_back(From);
            Bases.push_back(FromBase);
        }
        Run.push_back(To);
        Bases.push_back(ToBase);
    };
    for (std::size_t J = 1; J < Path.size(); ++J) {
        if (!Path[J].Joined) continue;
        const int I0 = Path[J - 1].Index, I = Path[J].Index;
        const TColor C = PointColor(S, I), CA = PointColor(S, I0);
        const TPointF A = At(I0), B = At(I);
        TPointF Cross;
        if (CA != C && !S.Stacked() && Crossing(L, S, I0, I, Cross)) {
            Extend(CA, A, BaseOf(A), Cross, BaseOf(Cross));
            Extend(C, Cross, BaseOf(Cross), B, BaseOf(B));
        } else {
            Extend(C, A, BaseAt(I0), B, BaseAt(I));
        }
    }
    Flush();
}

// The area between the line and the origin, each segment in its end
// point's colour, then the line over it in a darker shade: flat, in the
// runs of PaintFlatArea; in 3D, as a solid.
void PaintArea(TPainter& P, const TChartLayout& L, const TPlotSeries& S, const std::vector<TPathPoint>& Path,
               bool Reduced) {
    if (L.Depth <= 0) {
        PaintFlatArea(P, L, S, Path);
        StrokeLine(P, L, S, Path, 1.5, [&](TColor C) { return Shade(P.Plain(C), 0.6); });
        return;
    }
    // A solid area: for each segment, the top going back into the chart
    // (lit from above), then the front face standing on it.
    const double Origin = BarOrigin(L);
    auto At = [&](int I) { return L.At(S, I, S.At(I)); };
    auto Base = [&](int I) { return L.At(S, I, S.Stacked() ? S.Base[static_cast<std::size_t>(I)] : Origin); };
    const double Dx = L.Depth;
    // A reduced path draws all the tops, then all the fronts (TFaces).
    const bool Together = Reduced && !L.Horizontal;
    {
        TFaces Tops(P, Together), Fronts(P, Together);
        // Pass 0 the tops, 1 the fronts, 2 both, segment by segment.
        for (int Pass = Together ? 0 : 2; Pass < (Together ? 2 : 3); ++Pass) {
            if (Pass == 1) Tops.Flush();
            for (std::size_t J = 1; J < Path.size(); ++J) {
                if (!Path[J].Joined) continue;
                const int I0 = Path[J - 1].Index, I = Path[J].Index;
                const TColor C = P.Plain(PointColor(S, I));
                const TPointF A = At(I0), B = At(I), B0 = Base(I), A0 = Base(I0);
                const TPointF Top[] = {A, B, {B.X + Dx, B.Y - Dx}, {A.X + Dx, A.Y - Dx}};
                if (Pass != 1) Tops.Face(Top, 4, Shade(C, B.Y < A.Y ? 1.25 : 0.85));
                const TPointF Front[] = {A, B, B0, A0};
                if (Pass != 0) Fronts.Face(Front, 4, C);
            }
        }
    }
    // The right end of the solid area, at the last drawn point.
    if (!Path.empty()) {
        const int I = Path.back().Index;
        const TPointF A = At(I), A0 = Base(I);
        const TPointF Side[] = {A, {A.X + Dx, A.Y - Dx}, {A0.X + Dx, A0.Y - Dx}, A0};
        P.FillPolygon(Side, 4, Shade(P.Plain(PointColor(S, I)), 0.72));
    }
    StrokeLine(P, L, S, Path, 1.5, [&](TColor C) { return Shade(P.Plain(C), 0.6); });
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

void PaintPointers(TPainter& P, const TChartLayout& L, const TPlotSeries& S, const TRectF& Clip,
                   TPointDetail Detail) {
    const TSeriesPointer& Ptr = *S.Pointer;
    const TSeriesPointerStyle Style = Ptr.GetStyle();
    const double HS = std::clamp(Ptr.GetHorizSize(), 0, 100), VS = std::clamp(Ptr.GetVertSize(), 0, 100);
    cairo_t* Cr = P.Cr();
    // Crosses are lines, which have no body to give depth to.
    const double Lift = L.Depth > 0 && Ptr.GetDraw3D() && !Stroked(Style) ? std::min(L.Depth / 2, 4.0) : 0;
    // A symbol reaches its half size, its lift and its outline (at most
    // four pixels wide) from its centre.
    const std::vector<int> Shown = PointerPoints(L, S, P.Scale(), Clip, std::max(HS, VS) + Lift + 4, Detail);
    // In 3D a darker copy behind each symbol gives it thickness.
    for (int Layer = Lift > 0 ? 0 : 1; Layer < 2; ++Layer) {
        const double Off = Layer == 0 ? Lift : 0;
        TColor Current = clNone;
        bool Pending = false;
        for (int I : Shown) {
            TColor C = PointColor(S, I);
            if (Layer == 0) C = Shade(P.Plain(C), 0.55);
            if (Pending && C != Current) {
                FinishPointers(P, Style, Current, HS, VS);
                Pending = false;
            }
            Current = C;
            const TPointF A = L.At(S, I, S.At(I));
            PointerPath(Cr, Style, A.X + Off, A.Y - Off, HS, VS);
            Pending = true;
        }
        if (Pending) FinishPointers(P, Style, Current, HS, VS);
    }
}

}  // namespace

void PaintPointer(TPainter& P, TSeriesPointerStyle Style, double CX, double CY, double HS, double VS, TColor Fill) {
    PointerPath(P.Cr(), Style, CX, CY, HS, VS);
    FinishPointers(P, Style, Fill, HS, VS);
}

void PaintSeries(TPainter& P, const TChartLayout& L, const TChartData& D, const TPlotSeries& S, TPointDetail Detail) {
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
    const TRectF Clip = L.Horizontal ? TRectF{L.Plot.X - 2, L.Plot.Y - L.Depth, L.Plot.W + L.Depth + 4, L.Plot.H + L.Depth}
                                     : TRectF{L.Plot.X, L.Plot.Y - L.Depth - 2, L.Plot.W + L.Depth, L.Plot.H + L.Depth + 4};
    P.Clip(Clip);
    const bool Reduced = Detail == TPointDetail::pdShown && Dense(L, S, P.Scale());
    switch (S.Kind) {
        case TSeriesKind::skBar:
        case TSeriesKind::skHorizBar: PaintBars(P, L, D, S, Detail); break;
        case TSeriesKind::skLine: PaintLine(P, L, S, LinePath(L, S, P.Scale(), Detail), Reduced); break;
        case TSeriesKind::skArea: PaintArea(P, L, S, LinePath(L, S, P.Scale(), Detail), Reduced); break;
        case TSeriesKind::skPoint:
        case TSeriesKind::skPie: break;
    }
    if (S.Pointer) PaintPointers(P, L, S, Clip, Detail);
}

}  // namespace pv
