#include "platform/vcl/Color.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <utility>

namespace pv {

namespace {

// A light theme for the system colours, indexed by system colour number.
constexpr std::array<TColor, 25> SystemColors{
    0xC8C8C8,  // clScrollBar
    0x000000,  // clBackground
    0xD1B499,  // clActiveCaption
    0xDBCDBF,  // clInactiveCaption
    0xF0F0F0,  // clMenu
    0xFFFFFF,  // clWindow
    0x646464,  // clWindowFrame
    0x000000,  // clMenuText
    0x000000,  // clWindowText
    0x000000,  // clCaptionText
    0xB4B4B4,  // clActiveBorder
    0xFCF7F4,  // clInactiveBorder
    0xABABAB,  // clAppWorkSpace
    0xD77800,  // clHighlight
    0xFFFFFF,  // clHighlightText
    0xF0F0F0,  // clBtnFace
    0xA0A0A0,  // clBtnShadow
    0x6D6D6D,  // clGrayText
    0x000000,  // clBtnText
    0x000000,  // clInactiveCaptionText
    0xFFFFFF,  // clBtnHighlight
    0x696969,  // cl3DDkShadow
    0xE3E3E3,  // cl3DLight
    0x000000,  // clInfoText
    0xE1FFFF,  // clInfoBk
};

constexpr std::array<std::pair<std::string_view, TColor>, 47> ColorNames{{
    {"clBlack", clBlack},         {"clMaroon", clMaroon},
    {"clGreen", clGreen},         {"clOlive", clOlive},
    {"clNavy", clNavy},           {"clPurple", clPurple},
    {"clTeal", clTeal},           {"clGray", clGray},
    {"clSilver", clSilver},       {"clRed", clRed},
    {"clLime", clLime},           {"clYellow", clYellow},
    {"clBlue", clBlue},           {"clFuchsia", clFuchsia},
    {"clAqua", clAqua},           {"clWhite", clWhite},
    {"clMoneyGreen", clMoneyGreen}, {"clSkyBlue", clSkyBlue},
    {"clCream", clCream},         {"clMedGray", clMedGray},
    {"clNone", clNone},           {"clDefault", clDefault},
    {"clScrollBar", clScrollBar}, {"clBackground", clBackground},
    {"clActiveCaption", clActiveCaption}, {"clInactiveCaption", clInactiveCaption},
    {"clMenu", clMenu},           {"clWindow", clWindow},
    {"clWindowFrame", clWindowFrame}, {"clMenuText", clMenuText},
    {"clWindowText", clWindowText}, {"clCaptionText", clCaptionText},
    {"clActiveBorder", clActiveBorder}, {"clInactiveBorder", clInactiveBorder},
    {"clAppWorkSpace", clAppWorkSpace}, {"clHighlight", clHighlight},
    {"clHighlightText", clHighlightText}, {"clBtnFace", clBtnFace},
    {"clBtnShadow", clBtnShadow}, {"clGrayText", clGrayText},
    {"clBtnText", clBtnText},     {"clInactiveCaptionText", clInactiveCaptionText},
    {"clBtnHighlight", clBtnHighlight}, {"cl3DDkShadow", cl3DDkShadow},
    {"cl3DLight", cl3DLight},     {"clInfoText", clInfoText},
    {"clInfoBk", clInfoBk},
}};

}  // namespace

TColor ColorToRGB(TColor C, TColor Fallback) {
    if (C == clDefault || C == clNone) return Fallback;
    if (IsSystemColor(C)) {
        std::uint32_t Index = C & 0xFF;
        return Index < SystemColors.size() ? SystemColors[Index] : Fallback;
    }
    return C & 0x00FFFFFF;
}

std::vector<std::string_view> ColorNameList() {
    std::vector<std::string_view> Names;
    Names.reserve(ColorNames.size());
    for (auto& [Name, Value] : ColorNames) Names.push_back(Name);
    return Names;
}

std::string ColorToString(TColor C) {
    for (auto& [Name, Value] : ColorNames)
        if (Value == C) return std::string(Name);
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "$%08X", static_cast<unsigned>(C));
    return Buf;
}

std::optional<TColor> StringToColor(std::string_view S) {
    for (auto& [Name, Value] : ColorNames)
        if (Name == S) return Value;
    if (S.empty()) return std::nullopt;
    if (S[0] == '$') {
        std::uint32_t V = 0;
        auto Body = S.substr(1);
        if (Body.empty() || Body.size() > 8) return std::nullopt;
        auto [P, Ec] = std::from_chars(Body.data(), Body.data() + Body.size(), V, 16);
        if (Ec != std::errc() || P != Body.data() + Body.size()) return std::nullopt;
        return V;
    }
    std::int64_t V = 0;
    auto [P, Ec] = std::from_chars(S.data(), S.data() + S.size(), V, 10);
    if (Ec != std::errc() || P != S.data() + S.size() || V < INT32_MIN || V > UINT32_MAX) return std::nullopt;
    return static_cast<TColor>(static_cast<std::uint32_t>(V));
}

}  // namespace pv
