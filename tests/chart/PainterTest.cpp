#include "platform/chart/internal/Painter.h"

#include <gtest/gtest.h>

#include "platform/chart/internal/ChartColors.h"
#include "platform/vcl/Bitmap.h"
#include "platform/vcl/Font.h"

namespace pv {
namespace {

TEST(PainterTest, FramesAndLinesAreCrisp) {
    TBitmap B(10, 10, clWhite);
    {
        TPainter P(B, false);
        P.FrameRect({0, 0, 10, 10}, clRed);
        P.Line(2, 5, 8, 5, clBlue);
    }
    for (int I = 0; I < 10; ++I) {
        EXPECT_EQ(B.GetPixel(I, 0), clRed);
        EXPECT_EQ(B.GetPixel(0, I), clRed);
        EXPECT_EQ(B.GetPixel(I, 9), clRed);
        EXPECT_EQ(B.GetPixel(9, I), clRed);
    }
    EXPECT_EQ(B.GetPixel(1, 1), clWhite);
    // A one-pixel line on row 5 covers that row only, in its full colour.
    for (int X = 2; X < 8; ++X) {
        EXPECT_EQ(B.GetPixel(X, 5), clBlue);
        EXPECT_EQ(B.GetPixel(X, 4), clWhite);
        EXPECT_EQ(B.GetPixel(X, 6), clWhite);
    }
}

TEST(PainterTest, SystemColoursResolveAndMonochromeTurnsGrey) {
    TBitmap B(4, 4, clWhite);
    TPainter Colour(B, false);
    EXPECT_EQ(Colour.Plain(clBtnFace), ColorToRGB(clBtnFace));
    EXPECT_EQ(Colour.Plain(clDefault, clNavy), clNavy);
    EXPECT_EQ(Colour.Plain(clRed), clRed);
    TBitmap G(4, 4, clWhite);
    {
        TPainter Grey(G, true);
        EXPECT_EQ(Grey.Plain(clRed), LuminanceGrey(clRed));
        Grey.FillRect({0, 0, 4, 4}, clRed);
    }
    EXPECT_EQ(G.GetPixel(2, 2), RGB(76, 76, 76));
}

TEST(PainterTest, SaveGuardRestoresTheClip) {
    TBitmap B(10, 10, clWhite);
    {
        TPainter P(B, false);
        {
            TPainterSave Save(P);
            P.Clip({0, 0, 5, 10});
            P.FillRect({0, 0, 10, 10}, clRed);
        }
        P.FillRect({0, 8, 10, 2}, clBlue);
    }
    EXPECT_EQ(B.GetPixel(2, 2), clRed);
    EXPECT_EQ(B.GetPixel(7, 2), clWhite);  // clipped
    EXPECT_EQ(B.GetPixel(7, 9), clBlue);   // the clip is gone again
}

TEST(PainterTest, TextIsDrawnInTheGivenColour) {
    TBitmap B(80, 30, clWhite);
    {
        TPainter P(B, false);
        TFont F;
        P.DrawText(*TTextEngine::ForThisThread().Layout(TTextFont::FromFont(F), "Text"), 2, 2, clRed);
    }
    int Red = 0, Other = 0;
    for (std::uint32_t Px : B.PixelSpan()) {
        const TColor C = TBitmap::FromPixel(Px);
        if (C == clRed) ++Red;
        else if (C != clWhite && GetGValue(C) != GetBValue(C)) ++Other;  // antialiasing stays on the white-red line
    }
    EXPECT_GT(Red, 5);
    EXPECT_EQ(Other, 0);
}

TEST(ChartColorsTest, AutomaticColoursStayApart) {
    auto Distance = [](TColor A, TColor B) {
        return std::abs(GetRValue(A) - GetRValue(B)) + std::abs(GetGValue(A) - GetGValue(B)) +
               std::abs(GetBValue(A) - GetBValue(B));
    };
    for (int I = 0; I < 40; ++I) {
        EXPECT_GT(Distance(AutoColor(I), AutoColor(I + 1)), 60) << I;
        for (int J = 0; J < I && I < 10; ++J) EXPECT_GT(Distance(AutoColor(I), AutoColor(J)), 60) << I << " " << J;
    }
    EXPECT_EQ(AutoColor(-3), AutoColor(0));
}

TEST(ChartColorsTest, ShadeAndGrey) {
    EXPECT_EQ(Shade(RGB(200, 100, 0), 0.5), RGB(100, 50, 0));
    EXPECT_EQ(Shade(RGB(200, 100, 0), 1.5), RGB(228, 178, 128));
    EXPECT_EQ(Shade(RGB(200, 100, 0), 3), clWhite);
    EXPECT_EQ(LuminanceGrey(clWhite), clWhite);
    EXPECT_EQ(LuminanceGrey(clBlack), clBlack);
    EXPECT_EQ(LuminanceGrey(clBlue), RGB(29, 29, 29));
    EXPECT_EQ(LuminanceGrey(clLime), RGB(150, 150, 150));
}

}  // namespace
}  // namespace pv
