// Colour codes: channels, system colours, and the names and numbers that
// forms and the command line use.

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/vcl/Color.h"

namespace pv {
namespace {

TEST(ColorTest, ChannelsAreStoredAsBlueGreenRed) {
    EXPECT_EQ(RGB(0x12, 0x34, 0x56), 0x563412u);
    EXPECT_EQ(GetRValue(clRed), 0xFF);
    EXPECT_EQ(GetBValue(clBlue), 0xFF);
    EXPECT_EQ(GetGValue(0x00AB00), 0xAB);
    EXPECT_EQ(GetRValue(clBlue), 0);
}

TEST(ColorTest, SystemAndSpecialColoursResolve) {
    EXPECT_TRUE(IsSystemColor(clWindow));
    EXPECT_FALSE(IsSystemColor(clWhite));
    EXPECT_FALSE(IsSystemColor(clDefault));
    EXPECT_EQ(ColorToRGB(clWindow), clWhite);
    EXPECT_EQ(ColorToRGB(clWindowText), clBlack);
    EXPECT_EQ(ColorToRGB(clTeal), clTeal);  // plain colours stay as they are
    EXPECT_EQ(ColorToRGB(clDefault, clNavy), clNavy);
    EXPECT_EQ(ColorToRGB(clNone, clMaroon), clMaroon);
    // Every system colour index resolves to some plain colour.
    for (TColor C = clScrollBar; C <= clInfoBk; ++C) EXPECT_FALSE(IsSystemColor(ColorToRGB(C))) << C;
}

TEST(ColorTest, NamesAndNumbersRoundTrip) {
    EXPECT_EQ(ColorToString(clRed), "clRed");
    EXPECT_EQ(ColorToString(clWindow), "clWindow");
    EXPECT_EQ(ColorToString(clDefault), "clDefault");
    EXPECT_EQ(ColorToString(0x00123456), "$00123456");
    for (TColor C : {clBlack, clRed, clMoneyGreen, clWindow, clInfoBk, clNone, clDefault, TColor{0x00ABCDEF}})
        EXPECT_EQ(StringToColor(ColorToString(C)), C) << ColorToString(C);
    EXPECT_EQ(StringToColor("$FF"), clRed);
    EXPECT_EQ(StringToColor("255"), clRed);
    EXPECT_EQ(StringToColor("-2147483643"), clWindow);  // the 32-bit pattern of a negative number
}

TEST(ColorTest, TheNameListHoldsEveryNameOnceAndEachReadsBackAsItself) {
    std::vector<std::string_view> Names = ColorNameList();
    ASSERT_EQ(Names.size(), 47u);
    EXPECT_EQ(Names.front(), "clBlack");
    EXPECT_EQ(Names.back(), "clInfoBk");
    for (std::string_view N : Names) {
        std::optional<TColor> C = StringToColor(N);
        ASSERT_TRUE(C.has_value()) << N;
        EXPECT_EQ(ColorToString(*C), N);
        EXPECT_EQ(std::count(Names.begin(), Names.end(), N), 1) << N;
    }
}

// The web's names and hex spellings read as the same $00BBGGRR codes: red
// first in #rrggbb, blue first in TColor.
TEST(ColorTest, WebSpellingsReadInAnyLetterCase) {
    const std::vector<std::string_view> Css = CssColorNameList();
    ASSERT_EQ(Css.size(), 148u);
    EXPECT_TRUE(std::is_sorted(Css.begin(), Css.end()));
    EXPECT_EQ(std::adjacent_find(Css.begin(), Css.end()), Css.end());
    for (std::string_view N : Css) {
        std::optional<TColor> C = StringToColor(N);
        ASSERT_TRUE(C.has_value()) << N;
        EXPECT_EQ(StringToColor(ColorToHtml(*C)), C) << N;  // #rrggbb gives the same colour back
    }
    EXPECT_EQ(StringToColor("rebeccapurple"), RGB(0x66, 0x33, 0x99));
    EXPECT_EQ(StringToColor("CornflowerBlue"), RGB(0x64, 0x95, 0xED));
    EXPECT_EQ(StringToColor("#6495Ed"), RGB(0x64, 0x95, 0xED));
    EXPECT_EQ(StringToColor("#0af"), RGB(0x00, 0xAA, 0xFF));
    EXPECT_EQ(StringToColor("CLWINDOW"), clWindow);
    EXPECT_EQ(ColorToHtml(clWindow), "#ffffff");
    EXPECT_EQ(ColorToString(RGB(0x66, 0x33, 0x99)), "$00993366");  // written as today
}

TEST(ColorTest, AnythingElseIsRefused) {
    for (const char* S : {"", "clNoSuchColour", "$", "$XYZ", "12abc", "reddish", "$123456789", "#", "#12345",
                          "#ff00000", "#ff00zz", "# f00", "#-12", "transparent"})
        EXPECT_FALSE(StringToColor(S).has_value()) << '"' << S << '"';
}

}  // namespace
}  // namespace pv
