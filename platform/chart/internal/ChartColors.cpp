#include "platform/chart/internal/ChartColors.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace pv {

namespace {

// Ten colours that stay apart for most kinds of colour vision, as $BBGGRR.
constexpr std::array<TColor, 10> Palette{
    RGB(0x4E, 0x79, 0xA7), RGB(0xF2, 0x8E, 0x2B), RGB(0xE1, 0x57, 0x59), RGB(0x76, 0xB7, 0xB2),
    RGB(0x59, 0xA1, 0x4F), RGB(0xED, 0xC9, 0x48), RGB(0xB0, 0x7A, 0xA1), RGB(0xFF, 0x9D, 0xA7),
    RGB(0x9C, 0x75, 0x5F), RGB(0xBA, 0xB0, 0xAC),
};

std::uint8_t Channel(double V) { return static_cast<std::uint8_t>(std::clamp(std::lround(V), 0L, 255L)); }

TColor FromHsl(double H, double S, double L) {
    const double C = (1 - std::fabs(2 * L - 1)) * S;
    const double Hp = H / 60.0;
    const double X = C * (1 - std::fabs(std::fmod(Hp, 2.0) - 1));
    double R = 0, G = 0, B = 0;
    if (Hp < 1) R = C, G = X;
    else if (Hp < 2) R = X, G = C;
    else if (Hp < 3) G = C, B = X;
    else if (Hp < 4) G = X, B = C;
    else if (Hp < 5) R = X, B = C;
    else R = C, B = X;
    const double M = L - C / 2;
    return RGB(Channel((R + M) * 255), Channel((G + M) * 255), Channel((B + M) * 255));
}

}  // namespace

TColor AutoColor(int Index) {
    if (Index < 0) Index = 0;
    if (Index < static_cast<int>(Palette.size())) return Palette[static_cast<std::size_t>(Index)];
    const double Hue = std::fmod(Index * 137.508, 360.0);
    const double Light = (Index % 3 == 0) ? 0.42 : (Index % 3 == 1 ? 0.55 : 0.66);
    return FromHsl(Hue, 0.58, Light);
}

TColor Shade(TColor C, double Factor) {
    auto F = [&](std::uint8_t V) {
        return Factor <= 1 ? Channel(V * Factor) : Channel(V + (255 - V) * std::min(1.0, Factor - 1));
    };
    return RGB(F(GetRValue(C)), F(GetGValue(C)), F(GetBValue(C)));
}

TColor LuminanceGrey(TColor C) {
    const std::uint8_t Y = Channel(0.299 * GetRValue(C) + 0.587 * GetGValue(C) + 0.114 * GetBValue(C));
    return RGB(Y, Y, Y);
}

}  // namespace pv
