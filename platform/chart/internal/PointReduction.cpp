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
// without working out the column of every point.
class TColumns {
public:
    TColumns(const TChartLayout& L, double Scale, int N) : FMap(L.Categories), FPerUnit(Scale), FN(N) {}
    std::int64_t Of(int I) const { return static_cast<std::int64_t>(std::floor(FMap.Center(I) * FPerUnit)); }
    // The first point after I in a column beyond I's.
    int End(int I) const {
        const std::int64_t C = Of(I);
        // The centre of point K is P0 + (K + 0.5) * Slot: the guess is
        // exact but for rounding, which the two loops settle.
        const double Guess = std::ceil(((C + 1) / FPerUnit - FMap.SlotLeft(0)) / FMap.SlotWidth() - 0.5);
        int E = static_cast<int>(std::clamp(Guess, double(I + 1), double(FN)));
        while (E > I + 1 && Of(E - 1) > C) --E;
        while (E < FN && Of(E) == C) ++E;
        return E;
    }

private:
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
    const double* Y = S.Series->GetYValues()->Values().data();
    const TColor* Colors = S.PointColors.empty() ? nullptr : S.PointColors.data();
    const int N = S.Series->Count();
    const TColumns Columns(L, Scale, N);
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
    std::size_t Colours = 0;
    std::unordered_set<std::uint64_t> More;
    const std::vector<double>& Y = S.Series->GetYValues()->Values();
    // From the last point back: a point is drawn when no later point of its
    // colour has a centre on its pixel.
    for (int I = N - 1; I >= 0; --I) {
        const double V = Y[static_cast<std::size_t>(I)];
        const TColor C = S.PointColor(I);
        if (!std::isfinite(V) || C == clNone) continue;
        const TPointF A = L.At(I, V);
        const double PX = std::floor(A.X * Scale) - X0, PY = std::floor(A.Y * Scale) - Y0;
        if (!(PX >= 0 && PX < double(W) && PY >= 0 && PY < double(H))) continue;
        const auto Pixel = static_cast<std::size_t>(static_cast<std::int64_t>(PY) * W + static_cast<std::int64_t>(PX));
        std::size_t K = 0;
        while (K < Colours && Palette[K] != C) ++K;
        if (K == Colours && Colours < MaskColours) Palette[Colours++] = C;
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
    if (Detail == TPointDetail::pdEvery) {
        for (int I = 0; I < N; ++I)
            if (Drawn(S, I)) Out.push_back(I);
        return Out;
    }
    // Bars on the same pixels across the category axis stand on the same
    // origin, so each is hidden by any longer one on its side drawn after
    // it. A group of them is kept as the bars longer than every later one
    // of their side; a bar then shows beyond the next kept one, so of kept
    // neighbours of one colour the later, shorter one adds nothing.
    struct TBar {
        int Index;
        double Length;
        bool Negative;
        TColor Color;
        bool Keep;
    };
    std::vector<TBar> Group;
    auto Flush = [&] {
        double Longest[2] = {0, 0};
        for (auto It = Group.rbegin(); It != Group.rend(); ++It) {
            double& Side = Longest[It->Negative];
            It->Keep = It->Length > Side;
            if (It->Keep) Side = It->Length;
        }
        const TBar* Last[2] = {nullptr, nullptr};
        for (const TBar& B : Group) {
            if (!B.Keep) continue;
            const TBar*& Before = Last[B.Negative];
            if (!Before || Before->Color != B.Color) Out.push_back(B.Index);
            Before = &B;
        }
        Group.clear();
    };
    const TBarGeometry Geometry(L, D, S);
    double From = 0, To = 0;  // the pixels across of the group
    for (int I = 0; I < N; ++I) {
        TBarBox B;
        if (!Drawn(S, I) || !Geometry.At(I, B)) continue;
        const double A0 = L.Horizontal ? B.Top : B.X0, A1 = L.Horizontal ? B.Bottom : B.X1;
        if (!Group.empty() && (A0 != From || A1 != To)) Flush();
        From = A0, To = A1;
        const double Length = L.Horizontal ? B.X1 - B.X0 : B.Bottom - B.Top;
        Group.push_back({I, Length, B.Negative, S.PointColor(I), false});
    }
    Flush();
    return Out;
}

}  // namespace pv
