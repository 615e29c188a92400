// The areas of the points, from the layout and geometry the painter draws
// with (SeriesGeometry, PointReduction), so that they lie where the
// picture shows the points.

#include <algorithm>
#include <cmath>

#include "platform/chart/Chart.h"
#include "platform/chart/internal/ChartData.h"
#include "platform/chart/internal/ChartDraw.h"
#include "platform/chart/internal/ChartLayout.h"
#include "platform/chart/internal/Painter.h"
#include "platform/chart/internal/PointReduction.h"
#include "platform/chart/internal/SeriesGeometry.h"
#include "platform/chart/internal/TextEngine.h"

namespace pv {

namespace {

// The radius of the area around a point of a line or area without
// symbols: a target a pointer can find.
constexpr double LinePointRadius = 4;

class THotspotMaker {
public:
    THotspotMaker(const TChartLayout& L, const TChartData& D, double Scale, std::vector<TChartHotspot>& Out)
        : L(L), D(D), K(Scale), Out(Out) {}

    void Series(const TPlotSeries& S, int Place) {
        if (L.Plot.Empty() || S.Series->Count() == 0) return;
        FPlace = Place;
        FTitle = SeriesTitle(*S.Series, Place);
        if (L.Pie) {
            if (S.Kind == TSeriesKind::skPie) Pie(S);
            return;
        }
        // The painter's clip: the plot and the room behind it in 3D.
        const TRectF Clip = L.Horizontal
                                ? TRectF{L.Plot.X - 2, L.Plot.Y - L.Depth, L.Plot.W + L.Depth + 4, L.Plot.H + L.Depth}
                                : TRectF{L.Plot.X, L.Plot.Y - L.Depth - 2, L.Plot.W + L.Depth, L.Plot.H + L.Depth + 4};
        switch (S.Kind) {
            case TSeriesKind::skBar:
            case TSeriesKind::skHorizBar: Bars(S); return;
            case TSeriesKind::skLine:
            case TSeriesKind::skArea:
                if (!S.Pointer) {
                    const std::vector<TPathPoint> Path = LinePath(L, S, K, TPointDetail::pdShown);
                    for (std::size_t J = 0; J < Path.size(); ++J) {
                        // The neighbour the line goes on to, else the one it
                        // comes from (-1: a lone point).
                        const int Next = J + 1 < Path.size() && Path[J + 1].Joined ? Path[J + 1].Index
                                         : Path[J].Joined                          ? Path[J - 1].Index
                                                                                   : -1;
                        LinePoint(S, Path[J].Index, Next, Clip);
                    }
                    return;
                }
                break;
            case TSeriesKind::skPoint:
            case TSeriesKind::skPie: break;
        }
        if (!S.Pointer) return;
        const double HS = std::clamp(S.Pointer->GetHorizSize(), 0, 100);
        const double VS = std::clamp(S.Pointer->GetVertSize(), 0, 100);
        for (int I : PointerPoints(L, S, K, Clip, std::max(HS, VS) + 4, TPointDetail::pdShown))
            Circle(S, I, std::max({HS, VS, 2.0}), Clip);
    }

private:
    TChartHotspot& Add(const TPlotSeries& S, int I, THotspotShape Shape) {
        TChartHotspot& H = Out.emplace_back();
        H.Shape = Shape;
        H.Series = FPlace;
        H.SeriesTitle = FTitle;
        H.Points = S.Series;
        H.Index = I;
        H.Label = TChartData::PointText(*S.Series, I);
        H.Value = S.Series->GetYValue(I);
        H.Formatted = FormatValue(*S.Look, H.Value);
        return H;
    }
    void Point(TChartHotspot& H, double X, double Y) {
        H.Coords.push_back(X * K);
        H.Coords.push_back(Y * K);
    }

    void Bars(const TPlotSeries& S) {
        const TBarGeometry Geometry(L, D, S);
        const int N = S.Series->Count();
        if (L.Depth <= 0) {
            for (int I : FlatBars(L, D, S, TPointDetail::pdShown)) {
                TBarBox B;
                if (!Drawn(S, I) || !Geometry.At(I, B)) continue;
                TChartHotspot& H = Add(S, I, THotspotShape::hsRect);
                Point(H, B.X0, B.Top);
                Point(H, B.X1, B.Bottom);
                H.CenterX = (B.X0 + B.X1) / 2 * K, H.CenterY = (B.Top + B.Bottom) / 2 * K;
            }
            return;
        }
        // A prism's outline: its front, top and side, in the painter's order.
        const double Dx = L.Horizontal ? std::min(L.Depth, std::max(1.0, std::floor(L.Categories.SlotWidth() * 0.5)))
                                       : L.Depth;
        for (int J = 0; J < N; ++J) {
            const int I = L.Horizontal ? N - 1 - J : J;
            TBarBox B;
            if (!Drawn(S, I) || !Geometry.At(I, B)) continue;
            TChartHotspot& H = Add(S, I, THotspotShape::hsPoly);
            Point(H, B.X0, B.Bottom);
            Point(H, B.X0, B.Top);
            Point(H, B.X0 + Dx, B.Top - Dx);
            Point(H, B.X1 + Dx, B.Top - Dx);
            Point(H, B.X1 + Dx, B.Bottom - Dx);
            Point(H, B.X1, B.Bottom);
            H.CenterX = (B.X0 + B.X1) / 2 * K, H.CenterY = (B.Top + B.Bottom) / 2 * K;
        }
    }

    // A point of a line or an area without symbols. Its middle is where the
    // series' colour shows around the point: in 3D the middle of a line's
    // ribbon, which the circle is then centred on; of an area, a little
    // into the filled part towards its base.
    // An end of a line or area is an edge of its colour: the middle moves
    // a little along the line towards Next.
    void LinePoint(const TPlotSeries& S, int I, int Next, const TRectF& Clip) {
        TPointF A = L.At(I, S.At(I));
        if (Next >= 0) {
            const TPointF N = L.At(Next, S.At(Next));
            const double Length = std::hypot(N.X - A.X, N.Y - A.Y);
            if (Length > 0) {
                const double T = std::min(0.25, 2 / Length);
                A = {A.X + (N.X - A.X) * T, A.Y + (N.Y - A.Y) * T};
            }
        }
        if (S.Kind == TSeriesKind::skLine && L.Depth > 0) {
            const double H = L.Depth / 2;
            if (Circle(S, I, std::max(LinePointRadius, H * 1.5), Clip, H, -H))
                Out.back().CenterX = (A.X + H) * K, Out.back().CenterY = (A.Y - H) * K;
            return;
        }
        if (!Circle(S, I, LinePointRadius, Clip)) return;
        if (S.Kind != TSeriesKind::skArea) return;
        const TPointF B0 = L.At(I, S.Stacked() ? S.Base[static_cast<std::size_t>(I)] : BarOrigin(L));
        const TPointF B = {B0.X + A.X - L.At(I, S.At(I)).X, B0.Y + A.Y - L.At(I, S.At(I)).Y};
        const double Length = std::hypot(B.X - A.X, B.Y - A.Y);
        if (!(Length > 0)) return;
        const double Into = std::min(LinePointRadius - 1, Length / 2) / Length;
        TPointF M{A.X + (B.X - A.X) * Into, A.Y + (B.Y - A.Y) * Into};
        // Within the circle, away from its rim.
        const TPointF P = L.At(I, S.At(I));
        const double Reach = std::hypot(M.X - P.X, M.Y - P.Y), Most = LinePointRadius - 0.5;
        if (Reach > Most) M = {P.X + (M.X - P.X) * Most / Reach, P.Y + (M.Y - P.Y) * Most / Reach};
        Out.back().CenterX = M.X * K;
        Out.back().CenterY = M.Y * K;
    }

    // False when the point has no area.
    bool Circle(const TPlotSeries& S, int I, double Radius, const TRectF& Clip, double DX = 0, double DY = 0) {
        if (!Drawn(S, I)) return false;
        const TPointF A = L.At(I, S.At(I));
        if (!std::isfinite(A.X) || !std::isfinite(A.Y) || A.X < Clip.X || A.X > Clip.Right() || A.Y < Clip.Y ||
            A.Y > Clip.Bottom())
            return false;
        TChartHotspot& H = Add(S, I, THotspotShape::hsCircle);
        Point(H, A.X + DX, A.Y + DY);
        H.Coords.push_back(Radius * K);
        H.CenterX = A.X * K, H.CenterY = A.Y * K;
        return true;
    }

    // A slice's outline: the centre, then its arc in steps of at most a
    // 48th of a half turn.
    void Pie(const TPlotSeries& S) {
        const double R = L.PieRadius;
        if (R < 1) return;
        const double CX = L.PieCenter.X, CY = L.PieCenter.Y, RY = R * L.PieTilt, Rim = L.PieRim;
        for (const TSlice& Sl : Slices(S)) {
            TChartHotspot& H = Add(S, Sl.Index, THotspotShape::hsPoly);
            const int Steps = std::max(1, static_cast<int>(std::ceil((Sl.A1 - Sl.A0) / (M_PI / 48))));
            // A slice of the whole pie has no centre on its outline.
            if (Sl.A1 - Sl.A0 < 2 * M_PI - 1e-9) Point(H, CX, CY);
            // In 3D the rim shows below the front half (angles 0..pi, y
            // down, and again a turn later): there the outline runs along
            // the rim's lower edge, stepping down and up where it starts
            // and ends.
            auto Front = [&](double A) {
                return Rim > 0 && ((A > 0 && A < M_PI) || (A > 2 * M_PI && A < 3 * M_PI));
            };
            bool Below = false;
            for (int J = 0; J <= Steps; ++J) {
                const double A = Sl.A0 + (Sl.A1 - Sl.A0) * J / Steps;
                const double X = CX + R * std::cos(A), Y = CY + RY * std::sin(A);
                const bool Now = Front(A);
                if (Now && !Below) Point(H, X, Y);
                if (!Now && Below) Point(H, X, Y + Rim);
                Point(H, X, Now ? Y + Rim : Y);
                if (Now && J == Steps) Point(H, X, Y);
                Below = Now;
            }
            const double M = Sl.Mid(), Reach = Sl.A1 - Sl.A0 > M_PI ? 0.5 : 0.62;
            H.CenterX = (CX + R * Reach * std::cos(M)) * K, H.CenterY = (CY + RY * Reach * std::sin(M)) * K;
        }
    }

    const TChartLayout& L;
    const TChartData& D;
    const double K;
    std::vector<TChartHotspot>& Out;
    int FPlace = 0;
    std::string FTitle;
};

bool Inside(const std::vector<double>& P, double X, double Y) {
    bool In = false;
    for (std::size_t I = 0, J = P.size() - 2; I + 1 < P.size(); J = I, I += 2)
        if ((P[I + 1] > Y) != (P[J + 1] > Y) && X < (P[J] - P[I]) * (Y - P[I + 1]) / (P[J + 1] - P[I + 1]) + P[I])
            In = !In;
    return In;
}

// The prisms of 3D bars drawn later hide parts of earlier ones (a bar's
// side the next category's front, a lying bar's top the bar above): the
// middle of a prism's area moves to a point of its front that no later
// prism covers, when there is one. Charts of more bars than this keep the
// middle of the front.
constexpr std::size_t MaxOcclusionChecks = 4096;

void UncoverPrisms(std::vector<TChartHotspot>& Spots, double Scale) {
    if (Spots.size() > MaxOcclusionChecks) return;
    auto Covered = [&](std::size_t From, double X, double Y) {
        for (std::size_t J = From; J < Spots.size(); ++J)
            if (Spots[J].Shape == THotspotShape::hsPoly && Inside(Spots[J].Coords, X, Y)) return true;
        return false;
    };
    for (std::size_t I = 0; I < Spots.size(); ++I) {
        TChartHotspot& H = Spots[I];
        if (H.Shape != THotspotShape::hsPoly || H.Coords.size() != 12 || !Covered(I + 1, H.CenterX, H.CenterY)) continue;
        // The front: (x0, bottom), (x0, top) ... (x1, bottom).
        const double X0 = H.Coords[0], Bottom = H.Coords[1], Top = H.Coords[3], X1 = H.Coords[10];
        const double Half = 0.5 * Scale;
        for (double FY : {0.5, 0.25, 0.75, 0.1, 0.9})
            for (double FX : {0.5, 0.25, 0.75, 0.1, 0.9}) {
                const double X = std::floor(X0 + (X1 - X0) * FX) + Half, Y = std::floor(Top + (Bottom - Top) * FY) + Half;
                if (X < X0 || X > X1 || Y < Top || Y > Bottom || Covered(I + 1, X, Y)) continue;
                H.CenterX = X, H.CenterY = Y;
                goto Next;
            }
    Next:;
    }
}

}  // namespace

std::vector<TChartHotspot> ChartHotspots(const TCustomChart& Chart, int Width, int Height, double Scale) {
    std::vector<TChartHotspot> Out;
    if (Width <= 0 || Height <= 0) return Out;
    TTextEngine& Text = TTextEngine::ForThisThread();
    const TChartData Data = TChartData::Gather(Chart);
    // The layout at the chart's own size, as DrawChart makes it for a
    // bitmap of Width x Height pixels.
    const TChartLayout Layout =
        LayoutChart(Chart, Data, Text, TPainter::UnitsFor(Width, Scale), TPainter::UnitsFor(Height, Scale));
    THotspotMaker Maker(Layout, Data, Scale, Out);
    for (int Rank = 0; Rank <= DrawRank(TSeriesKind::skPie); ++Rank)
        for (std::size_t I = 0; I < Data.Series.size(); ++I)
            if (DrawRank(Data.Series[I].Kind) == Rank) Maker.Series(Data.Series[I], static_cast<int>(I));
    if (Layout.Depth > 0 && !Layout.Pie) UncoverPrisms(Out, Scale);
    return Out;
}

}  // namespace pv
