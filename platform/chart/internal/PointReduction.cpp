#include "platform/chart/internal/PointReduction.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_set>

#include "platform/chart/internal/SeriesGeometry.h"

namespace pv {

namespace {

// The device pixel columns (rows on a chart of horizontal bars) at Scale,
// numbered along the category axis. End finds where a column's points end
// without working out the column of every point (on a time axis, whose
// points need not be in order, by looking at each point in turn).
class TColumns {
public:
    TColumns(const TChartLayout& L, const TPlotSeries& S, double Scale, int N)
        : FLayout(L), FSeries(S), FMap(L.Categories), FPerUnit(Scale), FN(N) {}
    std::int64_t Of(int I) const {
        return static_cast<std::int64_t>(std::floor(FLayout.Across(FSeries, I) * FPerUnit));
    }
    // The first point after I in a column beyond I's.
    int End(int I) const {
        const std::int64_t C = Of(I);
        int E = I + 1;
        if (!FLayout.TimeAxis) {
            // The centre of point K is P0 + (K + 0.5) * Slot: the guess is
            // exact but for rounding, which the two loops settle.
            const double Guess = std::ceil(((C + 1) / FPerUnit - FMap.SlotLeft(0)) / FMap.SlotWidth() - 0.5);
            E = static_cast<int>(std::clamp(Guess, double(I + 1), double(FN)));
            while (E > I + 1 && Of(E - 1) > C) --E;
        }
        while (E < FN && Of(E) == C) ++E;
        return E;
    }

private:
    const TChartLayout& FLayout;
    const TPlotSeries& FSeries;
    const TCategoryMap& FMap;
    double FPerUnit;
    int FN;
};

std::vector<TPathPoint> EveryPoint(const TPlotSeries& S) {
    std::vector<TPathPoint> Out;
    const int N = S.Series->Count();
    for (int I = 0; I < N; ++I)
        if (Drawn(S, I)) Out.push_back({I, I > 0 && Drawn(S, I - 1)});
    return Out;
}

// Appends to Out, in their order and each once, the points of one column
// of a run: its first and last, its lowest and highest, and the points on
// either side of those; the first joined to what came before as Joined says.
//
// The four points alone draw the same line where it is one pixel wide. A
// line two pixels wide also shows which way each stroke leans within its
// column: the strokes that reach the lowest and highest point come from
// their true neighbours, so a step or a spike keeps its upright edges where
// they were instead of leaning from the column's first or last point.
void EmitColumn(std::vector<TPathPoint>& Out, int First, int Last, int Low, int High, bool Joined) {
    int P[8] = {First, Low, High, Last, std::max(First, Low - 1), std::min(Last, Low + 1),
                std::max(First, High - 1), std::min(Last, High + 1)};
    std::sort(P, P + 8);
    for (int K = 0; K < 8; ++K) {
        if (K > 0 && P[K] == P[K - 1]) continue;
        Out.push_back({P[K], K == 0 ? Joined : true});
    }
}

}  // namespace

bool Dense(const TChartLayout& L, const TPlotSeries& S, double Scale) {
    const double Columns = (L.Horizontal ? L.Plot.H : L.Plot.W) * Scale;
    return S.Series->Count() > Columns;
}

std::vector<TPathPoint> LinePath(const TChartLayout& L, const TPlotSeries& S, double Scale, TPointDetail Detail) {
    if (Detail == TPointDetail::pdEvery || !Dense(L, S, Scale)) return EveryPoint(S);
    const double* Y = S.Values();
    const TColor* Colors = S.PointColors.empty() ? nullptr : S.PointColors.data();
    const int N = S.Series->Count();
    // Points lie along the category axis by their index, whatever their X
    // values (which only name them), so the columns follow the indexes; on
    // a time axis by their times, in the order of the points.
    const TColumns Columns(L, S, Scale, N);
    std::vector<TPathPoint> Out;
    bool Joined = false;  // whether the point before was drawn
    for (int I = 0; I < N;) {
        const int End = Columns.End(I);
        // The column's runs: points drawn in one colour, up to a gap or a
        // change of colour. A colour change keeps the points on both sides
        // of it, joined; a gap stays a gap.
        while (I < End) {
            if (!std::isfinite(Y[I]) || (Colors && Colors[I] == clNone)) {
                Joined = false;
                ++I;
                continue;
            }
            int Low = I, High = I, K = I + 1;
            double LowValue = Y[I], HighValue = Y[I];
            const TColor C = Colors ? Colors[I] : clNone;
            for (; K < End; ++K) {
                const double V = Y[K];
                if (!std::isfinite(V) || (Colors && Colors[K] != C)) break;
                Low = V < LowValue ? K : Low;
                LowValue = std::min(LowValue, V);
                High = V > HighValue ? K : High;
                HighValue = std::max(HighValue, V);
            }
            EmitColumn(Out, I, K - 1, Low, High, Joined);
            Joined = true;
            I = K;
        }
    }
    return Out;
}

std::vector<int> PointerPoints(const TChartLayout& L, const TPlotSeries& S, double Scale, const TRectF& Clip,
                               double Reach, TPointDetail Detail) {
    std::vector<int> Out;
    const int N = S.Series->Count();
    if (Detail == TPointDetail::pdEvery || !Dense(L, S, Scale)) {
        for (int I = 0; I < N; ++I)
            if (Drawn(S, I)) Out.push_back(I);
        return Out;
    }
    // The device pixels a centre can lie on and still touch the clip.
    const double X0 = std::floor((Clip.X - Reach) * Scale), Y0 = std::floor((Clip.Y - Reach) * Scale);
    const double X1 = std::ceil((Clip.Right() + Reach) * Scale), Y1 = std::ceil((Clip.Bottom() + Reach) * Scale);
    if (!(X1 > X0 && Y1 > Y0)) return Out;
    const auto W = static_cast<std::int64_t>(X1 - X0), H = static_cast<std::int64_t>(Y1 - Y0);
    // The first eight colours met have a bit each in a byte per pixel (a
    // series mostly has one or two); any further colour goes into a set of
    // pixel and colour.
    constexpr std::size_t MaskColours = 8;
    std::vector<std::uint8_t> Seen(static_cast<std::size_t>(W * H), 0);
    TColor Palette[MaskColours];
    std::size_t Colours = 0, Last = 0;  // colours in the palette, the one of the point before
    std::size_t LastPixel = SIZE_MAX;  // the pixel and colour of the point before
    TColor LastColor = clNone;
    std::unordered_set<std::uint64_t> More;
    const double* Y = S.Values();
    // From the last point back: a point is drawn when no later point of its
    // colour has a centre on its pixel.
    for (int I = N - 1; I >= 0; --I) {
        const double V = Y[static_cast<std::size_t>(I)];
        const TColor C = S.PointColor(I);
        if (!std::isfinite(V) || C == clNone) continue;
        const TPointF A = L.At(S, I, V);
        // X0 and Y0 are whole, so the pixel is the whole part of these, and
        // truncation is the whole part of a number not below zero.
        const double PX = A.X * Scale - X0, PY = A.Y * Scale - Y0;
        if (!(PX >= 0 && PX < double(W) && PY >= 0 && PY < double(H))) continue;
        const auto Pixel = static_cast<std::size_t>(static_cast<std::int64_t>(PY) * W + static_cast<std::int64_t>(PX));
        // Mostly the point after is on the same pixel in the same colour.
        if (Pixel == LastPixel && C == LastColor) continue;
        LastPixel = Pixel, LastColor = C;
        std::size_t K = Colours && Palette[Last] == C ? Last : 0;
        while (K < Colours && Palette[K] != C) ++K;
        if (K == Colours && Colours < MaskColours) Palette[Colours++] = C;
        if (K < Colours) Last = K;
        if (K < MaskColours) {
            const auto Bit = static_cast<std::uint8_t>(1u << K);
            if (Seen[Pixel] & Bit) continue;
            Seen[Pixel] |= Bit;
        } else if (!More.insert(std::uint64_t{Pixel} << 32 | static_cast<std::uint32_t>(C)).second) {
            continue;
        }
        Out.push_back(I);
    }
    std::reverse(Out.begin(), Out.end());
    return Out;
}

std::vector<int> FlatBars(const TChartLayout& L, const TChartData& D, const TPlotSeries& S, TPointDetail Detail) {
    std::vector<int> Out;
    const int N = S.Series->Count();
    // Piled bars stand on each other, not on one origin: each is drawn.
    if (Detail == TPointDetail::pdEvery || S.Stacked()) {
        for (int I = 0; I < N; ++I)
            if (Drawn(S, I)) Out.push_back(I);
        return Out;
    }
    const TBarGeometry Geometry(L, D, S);
    // Bars a pixel wide or more each have pixels of their own.
    if (Geometry.Width() >= 1) return FlatBars(L, D, S, TPointDetail::pdEvery);
    // Narrower bars are drawn a pixel wide, so all those that start in one
    // pixel cover the same pixels across the category axis. They stand on
    // the same origin, so each is hidden by any one drawn after it that
    // reaches as far on its side: read from the last bar of such a group
    // back, a bar shows only when it reaches beyond every later one. Of
    // those, in order, a bar shows beyond the next one on its side, so of
    // two such neighbours of one colour the later adds nothing. (Comparing
    // values rather than rounded pixels may keep a bar that adds nothing,
    // never drops one that shows.)
    const double* Y = S.Series->GetYValues()->Values().data();
    const TColor* Colors = S.PointColors.empty() ? nullptr : S.PointColors.data();
    auto ColorOf = [&](int I) { return Colors ? Colors[I] : S.Color; };
    const double Origin = Geometry.Origin();
    auto Start = [&](int I) { return static_cast<std::int64_t>(std::round(Geometry.Across(I))); };
    std::vector<int> Side[2];  // the bars that show above and below the origin, last first
    for (int I = 0; I < N;) {
        // The group's end, guessed from the slot width and settled by the
        // rounding the bars themselves use.
        const std::int64_t Here = Start(I);
        const double Slot = L.SlotWidth();
        int End = L.TimeAxis ? I + 1
                             : static_cast<int>(std::clamp(I + std::floor((Here + 0.5 - Geometry.Across(I)) / Slot), I + 1.0, double(N)));
        while (End > I + 1 && Start(End - 1) != Here) --End;
        while (End < N && Start(End) == Here) ++End;
        double Highest = Origin, Lowest = Origin;
        for (int K = End - 1; K >= I; --K) {
            // Null points are NaN and compare false.
            const double V = Y[K];
            if (Colors && Colors[K] == clNone) continue;
            if (V > Highest) Highest = V, Side[0].push_back(K);
            if (V < Lowest) Lowest = V, Side[1].push_back(K);
        }
        // Both sides in the order of the points.
        std::size_t K[2] = {Side[0].size(), Side[1].size()};
        while (K[0] > 0 || K[1] > 0) {
            const int Which = K[1] == 0 || (K[0] > 0 && Side[0][K[0] - 1] < Side[1][K[1] - 1]) ? 0 : 1;
            const std::vector<int>& Bars = Side[Which];
            const std::size_t At = --K[Which];
            if (At + 1 == Bars.size() || ColorOf(Bars[At + 1]) != ColorOf(Bars[At])) Out.push_back(Bars[At]);
        }
        Side[0].clear();
        Side[1].clear();
        I = End;
    }
    return Out;
}

}  // namespace pv
