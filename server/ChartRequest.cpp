#include "server/ChartRequest.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/chart/Chart.h"
#include "platform/vcl/Bitmap.h"

namespace plotvane {

namespace {

const char* Misfit(bool Number) { return Number ? "is out of range" : "is not a number"; }

std::string FormatScale(double Scale) {
    char Text[32];
    std::snprintf(Text, sizeof Text, "%g", Scale);
    return Text;
}

}  // namespace

std::string QuoteValue(std::string_view Value) {
    constexpr std::size_t Shown = 64;
    if (Value.size() <= Shown) return "'" + std::string(Value) + "'";
    std::size_t Cut = Shown;
    while (Cut > 0 && (static_cast<unsigned char>(Value[Cut]) & 0xC0) == 0x80) --Cut;
    return "'" + std::string(Value.substr(0, Cut)) + "...' (" + std::to_string(Value.size()) + " bytes)";
}

std::optional<std::string> ReadSizeParam(std::string_view Name, std::string_view Value, TPictureSize& Size) {
    const char* End = Value.data() + Value.size();
    if (Name == "width" || Name == "height") {
        int V = 0;
        auto [P, Ec] = std::from_chars(Value.data(), End, V);
        const bool Number = (Ec == std::errc() || Ec == std::errc::result_out_of_range) && P == End;
        if (!Number || V < 1 || V > pv::TBitmap::MaxSide)
            return "Parameter " + std::string(Name) + "=" + QuoteValue(Value) + " " + Misfit(Number) +
                   ": it must be a whole number in 1.." + std::to_string(pv::TBitmap::MaxSide);
        (Name == "width" ? Size.Width : Size.Height) = V;
        return std::string();
    }
    if (Name == "scale" || Name == "devicePixelRatio") {
        double V = 0;
        auto [P, Ec] = std::from_chars(Value.data(), End, V);
        const bool Number = (Ec == std::errc() || Ec == std::errc::result_out_of_range) && P == End && !std::isnan(V);
        if (!Number || !(V >= pv::MinChartScale) || !(V <= pv::MaxChartScale))
            return "Parameter " + std::string(Name) + "=" + QuoteValue(Value) + " " + Misfit(Number) +
                   ": it must be a number in 1..4";
        Size.Scale = V;
        return std::string();
    }
    return std::nullopt;
}

std::string ReadBackgroundParam(std::string_view Value, TPictureBackground& Background) {
    if (Value == "transparent") {
        Background.Transparent = true;
        return {};
    }
    const std::optional<pv::TColor> Color = pv::StringToColor(Value);
    if (!Color)
        return "Parameter background=" + QuoteValue(Value) + " is not a colour: it must be " +
               std::string(pv::ColorSpellings) + ", or transparent";
    Background.Color = *Color;
    return {};
}

std::string CheckPictureSize(const TPictureSize& Size) {
    const double W = std::round(Size.Width * Size.Scale), H = std::round(Size.Height * Size.Scale);
    if (W <= pv::TBitmap::MaxSide && H <= pv::TBitmap::MaxSide && W * H <= double(pv::TBitmap::MaxPixels)) return {};
    return "Parameters width=" + std::to_string(Size.Width) + ", height=" + std::to_string(Size.Height) +
           ", scale=" + FormatScale(Size.Scale) + " give a picture of more than " +
           std::to_string(pv::TBitmap::MaxPixels) + " pixels or a side above " + std::to_string(pv::TBitmap::MaxSide);
}

}  // namespace plotvane
