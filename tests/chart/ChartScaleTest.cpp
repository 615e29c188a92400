// The chart at a scale and on vector surfaces: the same layout, magnified.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/rtl/Exception.h"
#include "tests/chart/ChartFixtures.h"
#include "tests/support/ThrowMessage.h"

namespace pv {
namespace {

using testing::MakeR1;

// The fraction of pixels that differ noticeably between A and the nearest
// pixels of B shrunk to A's size (each pixel of A against the mean of its
// Scale x Scale block of B).
double DifferingShare(const TBitmap& A, const TBitmap& B, int Scale) {
    int Differ = 0;
    for (int Y = 0; Y < A.GetHeight(); ++Y)
        for (int X = 0; X < A.GetWidth(); ++X) {
            double Sum[3] = {0, 0, 0};
            for (int DY = 0; DY < Scale; ++DY)
                for (int DX = 0; DX < Scale; ++DX) {
                    const std::uint32_t P = B.ScanLine(Y * Scale + DY)[X * Scale + DX];
                    for (int C = 0; C < 3; ++C) Sum[C] += (P >> (8 * C)) & 0xFF;
                }
            const std::uint32_t P = A.ScanLine(Y)[X];
            double D = 0;
            for (int C = 0; C < 3; ++C) D = std::max(D, std::abs(Sum[C] / (Scale * Scale) - ((P >> (8 * C)) & 0xFF)));
            if (D > 96) ++Differ;
        }
    return double(Differ) / (A.GetWidth() * A.GetHeight());
}

TEST(ChartScaleTest, AScaledPictureIsThePlainChartAtAHigherResolution) {
    auto Chart = MakeR1();
    auto One = Chart->TeeCreateBitmap(clWhite, Rect(0, 0, 400, 250));
    auto Two = Chart->TeeCreateBitmap(clWhite, Rect(0, 0, 400, 250), 2);
    EXPECT_EQ(Two->GetWidth(), 800);
    EXPECT_EQ(Two->GetHeight(), 500);
    // Text, bars and lines sit where they sit at 1x: shrunk back, the
    // pictures differ only along antialiased edges.
    EXPECT_LT(DifferingShare(*One, *Two, 2), 0.02);
    auto OneAndHalf = Chart->TeeCreateBitmap(clWhite, Rect(0, 0, 400, 250), 1.5);
    EXPECT_EQ(OneAndHalf->GetWidth(), 600);
    EXPECT_EQ(OneAndHalf->GetHeight(), 375);
    // Scale 1 is the plain picture, pixel for pixel.
    auto Plain = Chart->TeeCreateBitmap(clWhite, Rect(0, 0, 400, 250), 1);
    EXPECT_TRUE(std::equal(Plain->PixelSpan().begin(), Plain->PixelSpan().end(), One->PixelSpan().begin()));
    if (const char* Dir = std::getenv("PLOTVANE_CHART_PNG_DIR")) Two->SaveToPNGFile(std::string(Dir) + "/r1-scale2.png");
}

// A bitmap drawn on again keeps its storage, and a chart that paints its
// whole background is drawn without filling it first; the picture must
// still never depend on what the bitmap held before.
TEST(ChartScaleTest, ABitmapDrawnAgainShowsNothingOfItsOldPixels) {
    struct TCase {
        const char* What;
        int Width, Height;
        double Scale;
        TColor Color;
        bool Gradient;
    };
    const TCase Cases[] = {
        {"plain", 400, 250, 1, clWindow, false},
        {"scale 2", 400, 250, 2, clWindow, false},
        {"gradient", 400, 250, 2, clWindow, true},
        // 333 x 1.5 is 499.5: the background ends inside the last column.
        {"fractional edge", 333, 201, 1.5, clWindow, false},
        {"no chart colour", 400, 250, 2, clNone, false},
    };
    for (const TCase& C : Cases) {
        auto Chart = MakeR1(C.Width, C.Height);
        Chart->SetColor(C.Color);
        Chart->GetGradient()->SetVisible(C.Gradient);
        const TRect R = Rect(0, 0, C.Width, C.Height);
        auto Fresh = Chart->TeeCreateBitmap(clWhite, R, C.Scale);
        for (const TColor Old : {clFuchsia, clLime}) {
            TBitmap Again(Fresh->GetWidth(), Fresh->GetHeight(), Old);
            Chart->TeeDrawBitmap(Again, clWhite, R, C.Scale);
            EXPECT_TRUE(std::equal(Again.PixelSpan().begin(), Again.PixelSpan().end(), Fresh->PixelSpan().begin()))
                << C.What;
        }
        // The same bitmap at another size is resized and drawn whole.
        TBitmap Resized(7, 3, clFuchsia);
        Chart->TeeDrawBitmap(Resized, clWhite, R, C.Scale);
        EXPECT_TRUE(std::equal(Resized.PixelSpan().begin(), Resized.PixelSpan().end(), Fresh->PixelSpan().begin(),
                               Fresh->PixelSpan().end()))
            << C.What;
    }
}

TEST(ChartScaleTest, ScalesAndScaledSizesOutOfRangeAreRefusedByValue) {
    auto Chart = MakeR1();
    for (double Bad : {0.0, 0.99, 4.01, -1.0, std::nan("")}) {
        EXPECT_THROW_MSG_HAS(Chart->TeeCreateBitmap(clWhite, Rect(0, 0, 400, 250), Bad), EInvalidGraphic,
                             "the scale must be 1..4")
            << Bad;
    }
    EXPECT_THROW(Chart->TeeCreateBitmap(clWhite, Rect(0, 0, 5000, 5000), 4), EInvalidGraphic);
    EXPECT_THROW(Chart->TeeCreateVector(TVectorFormat::vfSVG, clWhite, Rect(0, 0, 400, 250), 8), EInvalidGraphic);
}

TEST(ChartScaleTest, VectorDocumentsHaveTheChartsSize) {
    auto Chart = MakeR1();
    const std::string Svg = Chart->TeeCreateVector(TVectorFormat::vfSVG, clWhite, Rect(0, 0, 400, 250), 2);
    EXPECT_NE(Svg.find("width=\"800px\" height=\"500px\" viewBox=\"0 0 800 500\""), std::string::npos);
    EXPECT_NE(Svg.find("</svg>"), std::string::npos);
    const std::string Pdf = Chart->TeeCreateVector(TVectorFormat::vfPDF, clWhite, Rect(0, 0, 400, 250));
    EXPECT_EQ(Pdf.rfind("%PDF-", 0), 0u);
    EXPECT_NE(Pdf.find("/MediaBox [ 0 0 400 250 ]"), std::string::npos);
    EXPECT_NE(Pdf.find("%%EOF"), std::string::npos);
}

}  // namespace
}  // namespace pv
