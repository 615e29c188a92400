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

struct TCssColor {
    std::string_view Name;
    TColor Color;
};

// The named colours of CSS Color Module Level 4 (its "Named Colors" table):
// all 148, the gray and grey spellings both, in the table's alphabetical
// order. The channels are written red, green, blue, as CSS gives them.
constexpr std::array<TCssColor, 148> CssColors{{
    {"aliceblue", RGB(0xF0, 0xF8, 0xFF)},          {"antiquewhite", RGB(0xFA, 0xEB, 0xD7)},
    {"aqua", RGB(0x00, 0xFF, 0xFF)},               {"aquamarine", RGB(0x7F, 0xFF, 0xD4)},
    {"azure", RGB(0xF0, 0xFF, 0xFF)},              {"beige", RGB(0xF5, 0xF5, 0xDC)},
    {"bisque", RGB(0xFF, 0xE4, 0xC4)},             {"black", RGB(0x00, 0x00, 0x00)},
    {"blanchedalmond", RGB(0xFF, 0xEB, 0xCD)},     {"blue", RGB(0x00, 0x00, 0xFF)},
    {"blueviolet", RGB(0x8A, 0x2B, 0xE2)},         {"brown", RGB(0xA5, 0x2A, 0x2A)},
    {"burlywood", RGB(0xDE, 0xB8, 0x87)},          {"cadetblue", RGB(0x5F, 0x9E, 0xA0)},
    {"chartreuse", RGB(0x7F, 0xFF, 0x00)},         {"chocolate", RGB(0xD2, 0x69, 0x1E)},
    {"coral", RGB(0xFF, 0x7F, 0x50)},              {"cornflowerblue", RGB(0x64, 0x95, 0xED)},
    {"cornsilk", RGB(0xFF, 0xF8, 0xDC)},           {"crimson", RGB(0xDC, 0x14, 0x3C)},
    {"cyan", RGB(0x00, 0xFF, 0xFF)},               {"darkblue", RGB(0x00, 0x00, 0x8B)},
    {"darkcyan", RGB(0x00, 0x8B, 0x8B)},           {"darkgoldenrod", RGB(0xB8, 0x86, 0x0B)},
    {"darkgray", RGB(0xA9, 0xA9, 0xA9)},           {"darkgreen", RGB(0x00, 0x64, 0x00)},
    {"darkgrey", RGB(0xA9, 0xA9, 0xA9)},           {"darkkhaki", RGB(0xBD, 0xB7, 0x6B)},
    {"darkmagenta", RGB(0x8B, 0x00, 0x8B)},        {"darkolivegreen", RGB(0x55, 0x6B, 0x2F)},
    {"darkorange", RGB(0xFF, 0x8C, 0x00)},         {"darkorchid", RGB(0x99, 0x32, 0xCC)},
    {"darkred", RGB(0x8B, 0x00, 0x00)},            {"darksalmon", RGB(0xE9, 0x96, 0x7A)},
    {"darkseagreen", RGB(0x8F, 0xBC, 0x8F)},       {"darkslateblue", RGB(0x48, 0x3D, 0x8B)},
    {"darkslategray", RGB(0x2F, 0x4F, 0x4F)},      {"darkslategrey", RGB(0x2F, 0x4F, 0x4F)},
    {"darkturquoise", RGB(0x00, 0xCE, 0xD1)},      {"darkviolet", RGB(0x94, 0x00, 0xD3)},
    {"deeppink", RGB(0xFF, 0x14, 0x93)},           {"deepskyblue", RGB(0x00, 0xBF, 0xFF)},
    {"dimgray", RGB(0x69, 0x69, 0x69)},            {"dimgrey", RGB(0x69, 0x69, 0x69)},
    {"dodgerblue", RGB(0x1E, 0x90, 0xFF)},         {"firebrick", RGB(0xB2, 0x22, 0x22)},
    {"floralwhite", RGB(0xFF, 0xFA, 0xF0)},        {"forestgreen", RGB(0x22, 0x8B, 0x22)},
    {"fuchsia", RGB(0xFF, 0x00, 0xFF)},            {"gainsboro", RGB(0xDC, 0xDC, 0xDC)},
    {"ghostwhite", RGB(0xF8, 0xF8, 0xFF)},         {"gold", RGB(0xFF, 0xD7, 0x00)},
    {"goldenrod", RGB(0xDA, 0xA5, 0x20)},          {"gray", RGB(0x80, 0x80, 0x80)},
    {"green", RGB(0x00, 0x80, 0x00)},              {"greenyellow", RGB(0xAD, 0xFF, 0x2F)},
    {"grey", RGB(0x80, 0x80, 0x80)},               {"honeydew", RGB(0xF0, 0xFF, 0xF0)},
    {"hotpink", RGB(0xFF, 0x69, 0xB4)},            {"indianred", RGB(0xCD, 0x5C, 0x5C)},
    {"indigo", RGB(0x4B, 0x00, 0x82)},             {"ivory", RGB(0xFF, 0xFF, 0xF0)},
    {"khaki", RGB(0xF0, 0xE6, 0x8C)},              {"lavender", RGB(0xE6, 0xE6, 0xFA)},
    {"lavenderblush", RGB(0xFF, 0xF0, 0xF5)},      {"lawngreen", RGB(0x7C, 0xFC, 0x00)},
    {"lemonchiffon", RGB(0xFF, 0xFA, 0xCD)},       {"lightblue", RGB(0xAD, 0xD8, 0xE6)},
    {"lightcoral", RGB(0xF0, 0x80, 0x80)},         {"lightcyan", RGB(0xE0, 0xFF, 0xFF)},
    {"lightgoldenrodyellow", RGB(0xFA, 0xFA, 0xD2)}, {"lightgray", RGB(0xD3, 0xD3, 0xD3)},
    {"lightgreen", RGB(0x90, 0xEE, 0x90)},         {"lightgrey", RGB(0xD3, 0xD3, 0xD3)},
    {"lightpink", RGB(0xFF, 0xB6, 0xC1)},          {"lightsalmon", RGB(0xFF, 0xA0, 0x7A)},
    {"lightseagreen", RGB(0x20, 0xB2, 0xAA)},      {"lightskyblue", RGB(0x87, 0xCE, 0xFA)},
    {"lightslategray", RGB(0x77, 0x88, 0x99)},     {"lightslategrey", RGB(0x77, 0x88, 0x99)},
    {"lightsteelblue", RGB(0xB0, 0xC4, 0xDE)},     {"lightyellow", RGB(0xFF, 0xFF, 0xE0)},
    {"lime", RGB(0x00, 0xFF, 0x00)},               {"limegreen", RGB(0x32, 0xCD, 0x32)},
    {"linen", RGB(0xFA, 0xF0, 0xE6)},              {"magenta", RGB(0xFF, 0x00, 0xFF)},
    {"maroon", RGB(0x80, 0x00, 0x00)},             {"mediumaquamarine", RGB(0x66, 0xCD, 0xAA)},
    {"mediumblue", RGB(0x00, 0x00, 0xCD)},         {"mediumorchid", RGB(0xBA, 0x55, 0xD3)},
    {"mediumpurple", RGB(0x93, 0x70, 0xDB)},       {"mediumseagreen", RGB(0x3C, 0xB3, 0x71)},
    {"mediumslateblue", RGB(0x7B, 0x68, 0xEE)},    {"mediumspringgreen", RGB(0x00, 0xFA, 0x9A)},
    {"mediumturquoise", RGB(0x48, 0xD1, 0xCC)},    {"mediumvioletred", RGB(0xC7, 0x15, 0x85)},
    {"midnightblue", RGB(0x19, 0x19, 0x70)},       {"mintcream", RGB(0xF5, 0xFF, 0xFA)},
    {"mistyrose", RGB(0xFF, 0xE4, 0xE1)},          {"moccasin", RGB(0xFF, 0xE4, 0xB5)},
    {"navajowhite", RGB(0xFF, 0xDE, 0xAD)},        {"navy", RGB(0x00, 0x00, 0x80)},
    {"oldlace", RGB(0xFD, 0xF5, 0xE6)},            {"olive", RGB(0x80, 0x80, 0x00)},
    {"olivedrab", RGB(0x6B, 0x8E, 0x23)},          {"orange", RGB(0xFF, 0xA5, 0x00)},
    {"orangered", RGB(0xFF, 0x45, 0x00)},          {"orchid", RGB(0xDA, 0x70, 0xD6)},
    {"palegoldenrod", RGB(0xEE, 0xE8, 0xAA)},      {"palegreen", RGB(0x98, 0xFB, 0x98)},
    {"paleturquoise", RGB(0xAF, 0xEE, 0xEE)},      {"palevioletred", RGB(0xDB, 0x70, 0x93)},
    {"papayawhip", RGB(0xFF, 0xEF, 0xD5)},         {"peachpuff", RGB(0xFF, 0xDA, 0xB9)},
    {"peru", RGB(0xCD, 0x85, 0x3F)},               {"pink", RGB(0xFF, 0xC0, 0xCB)},
    {"plum", RGB(0xDD, 0xA0, 0xDD)},               {"powderblue", RGB(0xB0, 0xE0, 0xE6)},
    {"purple", RGB(0x80, 0x00, 0x80)},             {"rebeccapurple", RGB(0x66, 0x33, 0x99)},
    {"red", RGB(0xFF, 0x00, 0x00)},                {"rosybrown", RGB(0xBC, 0x8F, 0x8F)},
    {"royalblue", RGB(0x41, 0x69, 0xE1)},          {"saddlebrown", RGB(0x8B, 0x45, 0x13)},
    {"salmon", RGB(0xFA, 0x80, 0x72)},             {"sandybrown", RGB(0xF4, 0xA4, 0x60)},
    {"seagreen", RGB(0x2E, 0x8B, 0x57)},           {"seashell", RGB(0xFF, 0xF5, 0xEE)},
    {"sienna", RGB(0xA0, 0x52, 0x2D)},             {"silver", RGB(0xC0, 0xC0, 0xC0)},
    {"skyblue", RGB(0x87, 0xCE, 0xEB)},            {"slateblue", RGB(0x6A, 0x5A, 0xCD)},
    {"slategray", RGB(0x70, 0x80, 0x90)},          {"slategrey", RGB(0x70, 0x80, 0x90)},
    {"snow", RGB(0xFF, 0xFA, 0xFA)},               {"springgreen", RGB(0x00, 0xFF, 0x7F)},
    {"steelblue", RGB(0x46, 0x82, 0xB4)},          {"tan", RGB(0xD2, 0xB4, 0x8C)},
    {"teal", RGB(0x00, 0x80, 0x80)},               {"thistle", RGB(0xD8, 0xBF, 0xD8)},
    {"tomato", RGB(0xFF, 0x63, 0x47)},             {"turquoise", RGB(0x40, 0xE0, 0xD0)},
    {"violet", RGB(0xEE, 0x82, 0xEE)},             {"wheat", RGB(0xF5, 0xDE, 0xB3)},
    {"white", RGB(0xFF, 0xFF, 0xFF)},              {"whitesmoke", RGB(0xF5, 0xF5, 0xF5)},
    {"yellow", RGB(0xFF, 0xFF, 0x00)},             {"yellowgreen", RGB(0x9A, 0xCD, 0x32)},
}};

char LowerAscii(char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C; }

bool SameTextAscii(std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    for (std::size_t I = 0; I < A.size(); ++I)
        if (LowerAscii(A[I]) != LowerAscii(B[I])) return false;
    return true;
}

int HexDigit(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    C = LowerAscii(C);
    return C >= 'a' && C <= 'f' ? C - 'a' + 10 : -1;
}

// "#rrggbb" or "#rgb" (each digit doubled: "#f00" is "#ff0000").
std::optional<TColor> HtmlToColor(std::string_view S) {
    if (S.size() != 4 && S.size() != 7) return std::nullopt;
    int Digits[6] = {};
    for (std::size_t I = 1; I < S.size(); ++I)
        if ((Digits[I - 1] = HexDigit(S[I])) < 0) return std::nullopt;
    const auto Channel = [&](int K) {
        return static_cast<std::uint8_t>(S.size() == 4 ? Digits[K] * 17 : Digits[2 * K] * 16 + Digits[2 * K + 1]);
    };
    return RGB(Channel(0), Channel(1), Channel(2));
}

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

std::vector<std::string_view> CssColorNameList() {
    std::vector<std::string_view> Names;
    Names.reserve(CssColors.size());
    for (const TCssColor& C : CssColors) Names.push_back(C.Name);
    return Names;
}

std::string ColorToString(TColor C) {
    for (auto& [Name, Value] : ColorNames)
        if (Value == C) return std::string(Name);
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "$%08X", static_cast<unsigned>(C));
    return Buf;
}

std::string ColorToHtml(TColor C) {
    const TColor Rgb = ColorToRGB(C);
    char Buf[8];
    std::snprintf(Buf, sizeof Buf, "#%02x%02x%02x", GetRValue(Rgb), GetGValue(Rgb), GetBValue(Rgb));
    return Buf;
}

std::optional<TColor> StringToColor(std::string_view S) {
    for (auto& [Name, Value] : ColorNames)
        if (SameTextAscii(Name, S)) return Value;
    for (const TCssColor& C : CssColors)
        if (SameTextAscii(C.Name, S)) return C.Color;
    if (S.empty()) return std::nullopt;
    if (S[0] == '#') return HtmlToColor(S);
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
