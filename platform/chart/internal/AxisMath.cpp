#include "platform/chart/internal/AxisMath.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace pv {

namespace {

double ClampFinite(double V) {
    if (std::isnan(V)) return 0;
    return std::clamp(V, -DBL_MAX, DBL_MAX);
}

// Min < Max with room to draw, or a widened range around their middle.
TValueRange Widen(double Min, double Max) {
    const double Half = Max / 2 - Min / 2;
    const double Magnitude = std::max(std::fabs(Min), std::fabs(Max));
    if (Half > Magnitude * 0.5e-12 && Half > DBL_MIN) return {Min, Max};
    const double Mid = Min / 2 + Max / 2;
    if (Mid == 0 || std::fabs(Mid) < DBL_MIN * 1e6) return {0, 1};
    const double Pad = std::fabs(Mid) * 0.1;
    // One side may hit the end of the doubles; the other still moves.
    return {ClampFinite(Mid - Pad), ClampFinite(Mid + Pad)};
}

}  // namespace

TValueRange AutoRange(double DataMin, double DataMax, bool HasData, bool IncludeZero) {
    if (!HasData) return {0, 1};
    double Min = ClampFinite(std::min(DataMin, DataMax));
    double Max = ClampFinite(std::max(DataMin, DataMax));
    if (IncludeZero) {
        Min = std::min(Min, 0.0);
        Max = std::max(Max, 0.0);
    }
    return Widen(Min, Max);
}

TValueRange FixedRange(double Min, double Max) {
    if (!std::isfinite(Min) || !std::isfinite(Max)) return {0, 1};
    if (Max < Min) std::swap(Min, Max);
    return Widen(Min, Max);
}

double NiceNumber(double Raw) {
    if (!(Raw > 0) || !std::isfinite(Raw)) return 1;
    const double Exp = std::floor(std::log10(Raw));
    const double Power = std::pow(10.0, Exp);
    const double F = Raw / Power;
    double Nice;
    if (F < 1.5)
        Nice = 1;
    else if (F < 3)
        Nice = 2;
    else if (F < 7)
        Nice = 5;
    else
        Nice = 10;
    const double Result = Nice * Power;
    // 10 x 1e308 overflows; 5e308 is not a double either: step down.
    if (!std::isfinite(Result)) return 5 * std::pow(10.0, 307);
    if (Result == 0) return Raw;
    return Result;
}

TAxisTicks NiceTicks(TValueRange R, int TargetCount, bool ExtendToTicks) {
    R = FixedRange(R.Min, R.Max);
    TargetCount = std::clamp(TargetCount, 2, 50);
    TAxisTicks T;
    const double HalfSpan = R.Max / 2 - R.Min / 2;
    // HalfSpan / (n - 1) * 2 overflows only for a span beyond DBL_MAX.
    T.Step = NiceNumber(ClampFinite(HalfSpan / (TargetCount - 1) * 2));
    if (!std::isfinite(T.Step) || T.Step <= 0) T.Step = HalfSpan;

    // Index bounds of the ticks; the small slack keeps a bound that is a
    // whole step in exact arithmetic from being lost to rounding.
    constexpr double Slack = 1e-9;
    const double Lo = R.Min / T.Step, Hi = R.Max / T.Step;
    T.Range = R;
    if (ExtendToTicks) {
        const double NewMin = std::floor(Lo + Slack) * T.Step;
        const double NewMax = std::ceil(Hi - Slack) * T.Step;
        if (std::isfinite(NewMin)) T.Range.Min = std::min(NewMin, R.Min);
        if (std::isfinite(NewMax)) T.Range.Max = std::max(NewMax, R.Max);
    }
    const double KMin = std::ceil(T.Range.Min / T.Step - Slack);
    const double KMax = std::floor(T.Range.Max / T.Step + Slack);
    // A nice step gives at most about 2.5 x TargetCount ticks; the cap only
    // guards against a step lost to rounding.
    const double Count = std::min(KMax - KMin, 200.0);
    for (int I = 0; I <= Count; ++I) {
        const double K = KMin + I;
        double V = K == 0 ? 0.0 : K * T.Step;
        if (!std::isfinite(V)) continue;
        V = std::clamp(V, T.Range.Min, T.Range.Max);
        if (T.Values.empty() || V > T.Values.back()) T.Values.push_back(V);
    }
    return T;
}

TAxisTicks LogTicks(TValueRange R, int TargetCount, bool ExtendToTicks) {
    TAxisTicks T;
    if (!(R.Min > 0) || !(R.Max > R.Min) || !std::isfinite(R.Max)) {
        R = {1, 10};
    }
    TargetCount = std::clamp(TargetCount, 2, 50);
    // Decades by their exponents; the slack keeps a power of ten that is one
    // in exact arithmetic from being lost to rounding.
    constexpr double Slack = 1e-9;
    double Lo = std::log10(R.Min), Hi = std::log10(R.Max);
    T.Range = R;
    if (ExtendToTicks) {
        Lo = std::floor(Lo + Slack);
        Hi = std::ceil(Hi - Slack);
        if (Hi <= Lo) Hi = Lo + 1;
        T.Range = {std::pow(10.0, Lo), std::min(DBL_MAX, std::pow(10.0, Hi))};
    }
    const double Decades = Hi - Lo;
    // Within a decade: 1 alone, 1 and 5, or 1, 2 and 5, by how many ticks
    // the length has room for; over many decades every Every-th power.
    std::vector<double> Within{1};
    if (Decades * 3 <= TargetCount)
        Within = {1, 2, 5};
    else if (Decades * 2 <= TargetCount)
        Within = {1, 5};
    const int Every = Decades <= TargetCount ? 1 : NiceNumber(Decades / TargetCount) <= 2 ? 2 : 5;
    for (double E = std::floor(Lo + Slack) - 1; E <= std::ceil(Hi) + 1 && T.Values.size() < 200; ++E) {
        if (Every > 1 && std::fmod(std::fabs(E), Every) != 0) continue;
        const double Power = std::pow(10.0, E);
        for (double M : Within) {
            const double V = M * Power;
            if (!std::isfinite(V) || V < T.Range.Min * (1 - Slack) || V > T.Range.Max * (1 + Slack)) continue;
            const double Kept = std::clamp(V, T.Range.Min, T.Range.Max);
            if (T.Values.empty() || Kept > T.Values.back()) T.Values.push_back(Kept);
        }
    }
    T.Step = T.Values.empty() ? T.Range.Min : T.Values.front();
    return T;
}

int TickCountForLength(double Pixels) {
    if (!(Pixels > 0)) return 2;
    return std::clamp(static_cast<int>(std::lround(Pixels / 32.0)), 2, 10);
}

std::string TickFormat(double Step, double MaxAbs) {
    if (!(Step > 0) || !std::isfinite(Step)) return "#,##0.###";
    if (MaxAbs >= 1e15 || Step < 1e-6) return "0.###E+0;-0.###E+0;0";
    const int Decimals = std::max(0, static_cast<int>(-std::floor(std::log10(Step) + 1e-9)));
    std::string F = "#,##0";
    if (Decimals > 0) {
        F += '.';
        F.append(static_cast<std::size_t>(Decimals), '0');
    }
    return F;
}

TLinearMap::TLinearMap(TValueRange R, double P0, double P1, bool Log) : FLog(Log && R.Min > 0 && R.Max > R.Min) {
    if (FLog) R = {std::log10(R.Min), std::log10(R.Max)};
    R = FixedRange(R.Min, R.Max);
    FMinHalf = R.Min / 2;
    FInvHalfSpan = 1.0 / (R.Max / 2 - R.Min / 2);
    if (!std::isfinite(FInvHalfSpan)) FInvHalfSpan = 0;
    FP0 = P0;
    FPixels = P1 - P0;
}

TCategoryMap::TCategoryMap(int Count, double P0, double P1)
    : FCount(std::max(1, Count)), FP0(P0), FSlot((P1 - P0) / std::max(1, Count)) {}

int LabelStep(double SlotWidth, double Extent, double Gap) {
    if (!(SlotWidth > 0)) return 1 << 30;
    const double Need = std::max(0.0, Extent) + std::max(0.0, Gap);
    const double Raw = std::ceil(Need / SlotWidth - 1e-9);
    if (!(Raw > 1)) return 1;
    if (Raw >= 1e9) return 1 << 30;
    int Step = static_cast<int>(Raw);
    if (Step <= 5) return Step;
    // From 6 on: the next of 10, 20, 50, 100, 200, 500, ...
    for (long long Power = 1; Power < (1LL << 31); Power *= 10)
        for (int M : {1, 2, 5})
            if (M * Power >= Step && M * Power >= 10) return static_cast<int>(std::min<long long>(M * Power, 1 << 30));
    return 1 << 30;
}

int Depth3D(int Width, int Height, int Percent, int Rows) {
    const double Side = std::max(0, std::min(Width, Height));
    const double P = std::clamp(Percent, 1, 100) / 100.0;
    // Each further row of series adds half a row's depth, up to three rows.
    const double RowFactor = 1 + 0.5 * (std::clamp(Rows, 1, 3) - 1);
    const double Depth = Side * 0.5 * P * RowFactor;
    return std::max(1, static_cast<int>(std::lround(std::min(Depth, Side / 3))));
}

}  // namespace pv
