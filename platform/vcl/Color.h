#pragma once
// TColor: the platform's 32-bit colour code.
//   $00BBGGRR           a plain colour (so $FF0000 is blue, $0000FF red)
//   $80000000 + index   a system colour (clWindow = $80000005)
//   $20000000           clDefault: let the drawing code choose
//   $1FFFFFFF           clNone: draw nothing

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pv {

using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                        clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                        clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                        clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF,
                        clMoneyGreen = 0xC0DCC0, clSkyBlue = 0xF0CAA6, clCream = 0xF0FBFF,
                        clMedGray = 0xA4A0A0;
inline constexpr TColor clNone = 0x1FFFFFFF, clDefault = 0x20000000;

inline constexpr TColor clSystemColor = 0x80000000;
inline constexpr TColor clScrollBar = clSystemColor + 0, clBackground = clSystemColor + 1,
                        clActiveCaption = clSystemColor + 2, clInactiveCaption = clSystemColor + 3,
                        clMenu = clSystemColor + 4, clWindow = clSystemColor + 5,
                        clWindowFrame = clSystemColor + 6, clMenuText = clSystemColor + 7,
                        clWindowText = clSystemColor + 8, clCaptionText = clSystemColor + 9,
                        clActiveBorder = clSystemColor + 10, clInactiveBorder = clSystemColor + 11,
                        clAppWorkSpace = clSystemColor + 12, clHighlight = clSystemColor + 13,
                        clHighlightText = clSystemColor + 14, clBtnFace = clSystemColor + 15,
                        clBtnShadow = clSystemColor + 16, clGrayText = clSystemColor + 17,
                        clBtnText = clSystemColor + 18, clInactiveCaptionText = clSystemColor + 19,
                        clBtnHighlight = clSystemColor + 20, cl3DDkShadow = clSystemColor + 21,
                        cl3DLight = clSystemColor + 22, clInfoText = clSystemColor + 23,
                        clInfoBk = clSystemColor + 24;

inline constexpr bool IsSystemColor(TColor C) { return (C & 0xFF000000u) == clSystemColor; }

// The plain $00BBGGRR colour that C stands for: system colours resolve to a
// fixed light theme (window white, text black, button face light grey).
// clDefault and clNone have no colour of their own and resolve to Fallback.
TColor ColorToRGB(TColor C, TColor Fallback = clWhite);

// Channel access of a plain colour.
inline constexpr std::uint8_t GetRValue(TColor C) { return C & 0xFF; }
inline constexpr std::uint8_t GetGValue(TColor C) { return (C >> 8) & 0xFF; }
inline constexpr std::uint8_t GetBValue(TColor C) { return (C >> 16) & 0xFF; }
inline constexpr TColor RGB(std::uint8_t R, std::uint8_t G, std::uint8_t B) {
    return TColor{R} | (TColor{G} << 8) | (TColor{B} << 16);
}

// Every platform colour name (clRed, clWindow), standard colours first, then
// clNone, clDefault and the system colours. These are the names
// ColorToString writes.
std::vector<std::string_view> ColorNameList();
// The named colours of the web (the 148 names of the CSS Color Module
// Level 4 list, "aliceblue" to "yellowgreen", in its alphabetical order),
// which StringToColor reads too; ColorToString never writes them.
std::vector<std::string_view> CssColorNameList();

// What StringToColor accepts, for messages and help: "a colour name (clRed,
// red, cornflowerblue), #rrggbb, #rgb or $00BBGGRR".
inline constexpr std::string_view ColorSpellings =
    "a colour name (clRed, red, cornflowerblue), #rrggbb, #rgb or $00BBGGRR";

// "clRed" for a named colour, otherwise "$00BBGGRR" (8 hex digits): what a
// form stores.
std::string ColorToString(TColor C);
// "#rrggbb" of the colour C is drawn in (ColorToRGB: system colours
// resolved, clDefault and clNone white), as the web writes it.
std::string ColorToHtml(TColor C);
// Reads a colour as forms, the command line, URLs and the designer write
// it: a platform name ("clWindow") or a CSS name ("cornflowerblue"), both
// in any letter case; "#rrggbb" or "#rgb" (hex digits in any case, red
// first: "#ff0000" is clRed); "$hex"; or a decimal number (a negative one is
// taken as its 32-bit pattern). Returns nothing for anything else.
std::optional<TColor> StringToColor(std::string_view S);

}  // namespace pv
