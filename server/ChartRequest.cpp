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

namespace {

std::string_view Trim(std::string_view S) {
    while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
    while (!S.empty() && (S.back() == ' ' || S.back() == '\t')) S.remove_suffix(1);
    return S;
}

bool SameAscii(std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    for (std::size_t I = 0; I < A.size(); ++I) {
        const auto Lower = [](char C) { return C >= 'A' && C <= 'Z' ? char(C - 'A' + 'a') : C; };
        if (Lower(A[I]) != Lower(B[I])) return false;
    }
    return true;
}

// A q-value as RFC 9110 writes it (0, 0.5, 1.000), in thousandths; -1 for
// anything else.
int ReadQValue(std::string_view V) {
    if (V.empty() || (V[0] != '0' && V[0] != '1')) return -1;
    int Thousandths = (V[0] - '0') * 1000;
    if (V.size() == 1) return Thousandths;
    if (V[1] != '.' || V.size() > 5) return -1;
    int Unit = 100;
    for (char C : V.substr(2)) {
        if (C < '0' || C > '9') return -1;
        Thousandths += (C - '0') * Unit;
        Unit /= 10;
    }
    return Thousandths <= 1000 ? Thousandths : -1;
}

}  // namespace

std::string_view NegotiateFormat(std::string_view Accept) {
    struct TCandidate {
        std::string_view Format, Type;
        bool Wildcards;
        // The q-value of the most specific range that covers it (exact 3,
        // image/* 2, */* 1), in thousandths; -1 while none does.
        int Q = -1, Precision = 0;
    };
    TCandidate Candidates[] = {{"avif", "image/avif", false}, {"webp", "image/webp", false}, {"png", "image/png", true}};
    while (!Accept.empty()) {
        const std::size_t Comma = Accept.find(',');
        std::string_view Item = Accept.substr(0, Comma);
        Accept = Comma == std::string_view::npos ? std::string_view() : Accept.substr(Comma + 1);
        const std::size_t Semi = Item.find(';');
        const std::string_view Range = Trim(Item.substr(0, Semi));
        int Q = 1000;
        for (std::string_view Params = Semi == std::string_view::npos ? std::string_view() : Item.substr(Semi + 1);
             !Params.empty();) {
            const std::size_t Next = Params.find(';');
            const std::string_view Param = Trim(Params.substr(0, Next));
            Params = Next == std::string_view::npos ? std::string_view() : Params.substr(Next + 1);
            if (Param.size() >= 2 && (Param[0] == 'q' || Param[0] == 'Q') && Param[1] == '=') {
                Q = ReadQValue(Trim(Param.substr(2)));
                break;
            }
        }
        if (Q < 0) continue;  // a q-value that is none: the range says nothing
        for (TCandidate& C : Candidates) {
            int Precision = 0;
            if (SameAscii(Range, C.Type))
                Precision = 3;
            else if (C.Wildcards && SameAscii(Range, "image/*"))
                Precision = 2;
            else if (C.Wildcards && Range == "*/*")
                Precision = 1;
            if (Precision > C.Precision) {
                C.Precision = Precision;
                C.Q = Q;
            }
        }
    }
    const TCandidate* Best = nullptr;
    for (const TCandidate& C : Candidates)
        if (C.Q > 0 && (!Best || C.Q > Best->Q)) Best = &C;
    return Best ? Best->Format : std::string_view("png");
}

std::string ReadQualityParam(std::string_view Value, int& Quality) {
    int V = 0;
    auto [P, Ec] = std::from_chars(Value.data(), Value.data() + Value.size(), V);
    const bool Number = (Ec == std::errc() || Ec == std::errc::result_out_of_range) && P == Value.data() + Value.size();
    if (!Number || V < 1 || V > 100)
        return "Parameter quality=" + QuoteValue(Value) + " " + Misfit(Number) +
               ": it must be a whole number in 1..100 (WebP and AVIF only)";
    Quality = V;
    return {};
}

std::string ReadThemeParam(std::string_view Value, Norq_Plotvane::TPlotvaneTheme& Theme) {
    using Norq_Plotvane::TPlotvaneTheme;
    static constexpr std::pair<std::string_view, TPlotvaneTheme> Themes[] = {
        {"classic", TPlotvaneTheme::thClassic}, {"modern", TPlotvaneTheme::thModern}, {"dark", TPlotvaneTheme::thDark}};
    for (const auto& [Name, Known] : Themes)
        if (Value == Name) {
            Theme = Known;
            return {};
        }
    return "Parameter theme=" + QuoteValue(Value) + " is not a theme: it must be classic, modern or dark";
}

std::string CheckPictureSize(const TPictureSize& Size) {
    const double W = std::round(Size.Width * Size.Scale), H = std::round(Size.Height * Size.Scale);
    if (W <= pv::TBitmap::MaxSide && H <= pv::TBitmap::MaxSide && W * H <= double(pv::TBitmap::MaxPixels)) return {};
    return "Parameters width=" + std::to_string(Size.Width) + ", height=" + std::to_string(Size.Height) +
           ", scale=" + FormatScale(Size.Scale) + " give a picture of more than " +
           std::to_string(pv::TBitmap::MaxPixels) + " pixels or a side above " + std::to_string(pv::TBitmap::MaxSide);
}

}  // namespace plotvane
