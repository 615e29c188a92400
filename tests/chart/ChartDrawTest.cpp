#include "platform/chart/internal/ChartDraw.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>
#include <thread>

#include "platform/chart/internal/ChartColors.h"
#include "platform/chart/internal/ChartLayout.h"
#include "platform/chart/internal/SeriesPaint.h"
#include "platform/rtl/Exception.h"
#include "tests/chart/ChartFixtures.h"
#include "tests/support/ThrowMessage.h"

namespace pv {
namespace {

using namespace pv::testing;

bool Near(TColor A, TColor B, int Tolerance = 0) {
    return std::abs(GetRValue(A) - GetRValue(B)) <= Tolerance && std::abs(GetGValue(A) - GetGValue(B)) <= Tolerance &&
           std::abs(GetBValue(A) - GetBValue(B)) <= Tolerance;
}

::testing::AssertionResult PixelIs(const TBitmap& B, int X, int Y, TColor Want, int Tolerance = 0) {
    const TColor Got = B.GetPixel(X, Y);
    if (Near(Got, Want, Tolerance)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << X << ", " << Y << ") is " << ColorToString(Got) << ", not "
                                         << ColorToString(Want);
}

int CountNear(const TBitmap& B, TColor Want, int Tolerance, int X0 = 0, int Y0 = 0, int X1 = -1, int Y1 = -1) {
    if (X1 < 0) X1 = B.GetWidth();
    if (Y1 < 0) Y1 = B.GetHeight();
    int N = 0;
    for (int Y = Y0; Y < Y1; ++Y)
        for (int X = X0; X < X1; ++X) N += Near(B.GetPixel(X, Y), Want, Tolerance);
    return N;
}

// A chart's data and its layout, which refers to the data.
struct TLaidOut {
    TChartData Data;
    TChartLayout Layout;
};

TLaidOut Lay(const TChart& C, int W, int H) {
    TLaidOut Out{TChartData::Gather(C), {}};
    Out.Layout = LayoutChart(C, Out.Data, TTextEngine::ForThisThread(), W, H);
    return Out;
}

// A chart of nothing but its plot: no title, legend, axes or marks, so the
// plot covers the picture but for the margin, and every place in it is
// known without asking the layout.
std::unique_ptr<TChart> BarePlot(int W, int H) {
    auto C = MakeChart(W, H, "");
    C->GetLegend()->SetVisible(false);
    C->GetLeftAxis()->SetVisible(false);
    C->GetBottomAxis()->SetVisible(false);
    return C;
}

TBarSeries* BareBars(TChart& C, std::initializer_list<double> Values) {
    auto* S = AddSeries<TBarSeries>(C);
    S->GetMarks()->SetVisible(false);
    S->SetSeriesColor(clBlue);
    for (double V : Values) S->Add(V);
    return S;
}

TEST(ChartDrawTest, BarsStandWhereTheirValuesSay) {
    // 200 x 200 with a 6 pixel margin: the plot is 6..194 both ways, the
    // range -10..10 puts zero at y = 100, and the two slots centre at 53 and
    // 147.
    auto C = BarePlot(200, 200);
    BareBars(*C, {10, -10})->SetValueColor(1, clRed);
    auto B = Render(*C);
    EXPECT_TRUE(PixelIs(*B, 53, 53, clBlue));     // middle of the positive bar
    EXPECT_TRUE(PixelIs(*B, 147, 147, clRed));    // middle of the negative bar, below zero
    EXPECT_TRUE(PixelIs(*B, 147, 53, clWhite));   // above the negative bar
    EXPECT_TRUE(PixelIs(*B, 53, 147, clWhite));   // below the positive bar
    EXPECT_TRUE(PixelIs(*B, 53, 10, clBlue));     // the positive bar reaches the top
    EXPECT_TRUE(PixelIs(*B, 53, 103, clWhite));   // and stops at zero
    EXPECT_TRUE(PixelIs(*B, 147, 97, clWhite));   // the negative bar starts there
    // 70 % of a 94 pixel slot is about 66 pixels: the bar ends 33 from its centre.
    EXPECT_TRUE(PixelIs(*B, 53 - 30, 53, clBlue));
    EXPECT_TRUE(PixelIs(*B, 53 - 36, 53, clWhite));
    EXPECT_TRUE(PixelIs(*B, 2, 2, clWhite));      // the margin stays background
}

TEST(ChartDrawTest, PointColoursFollowOwnAutomaticAndSeriesColour) {
    auto C = BarePlot(300, 100);
    auto* S = BareBars(*C, {10, 10, 10});
    S->SetValueColor(0, clLime);
    auto Centre = [](int I) { return static_cast<int>(6 + (I + 0.5) * 288 / 3); };
    auto B = Render(*C);
    EXPECT_TRUE(PixelIs(*B, Centre(0), 60, clLime));
    EXPECT_TRUE(PixelIs(*B, Centre(1), 60, clBlue));
    S->SetColorEachPoint(true);
    B = Render(*C);
    EXPECT_TRUE(PixelIs(*B, Centre(0), 60, clLime));  // an own colour wins
    EXPECT_TRUE(PixelIs(*B, Centre(1), 60, AutoColor(1)));
    EXPECT_TRUE(PixelIs(*B, Centre(2), 60, AutoColor(2)));
    EXPECT_FALSE(Near(AutoColor(1), AutoColor(2), 40));
    // A series colour of clDefault picks an automatic one too.
    S->SetColorEachPoint(false);
    S->SetSeriesColor(clDefault);
    B = Render(*C);
    EXPECT_TRUE(PixelIs(*B, Centre(1), 60, AutoColor(0)));
}

TEST(ChartDrawTest, NullPointsAreNotDrawn) {
    auto C = BarePlot(300, 100);
    auto* S = BareBars(*C, {10, 10, 10});
    S->AddNull();
    S->Delete(1);
    S->Add(std::numeric_limits<double>::quiet_NaN());  // stored as a null point
    ASSERT_TRUE(S->IsNull(2));
    auto B = Render(*C);
    const int Slot = 288 / 3;
    EXPECT_TRUE(PixelIs(*B, 6 + Slot / 2, 60, clBlue));
    EXPECT_TRUE(PixelIs(*B, 6 + Slot * 5 / 2, 60, clWhite));
}

TEST(ChartDrawTest, BarsThinnerThanAPixelStillCoverThePlot) {
    auto C = BarePlot(400, 250);
    auto* S = BareBars(*C, {});
    for (int I = 0; I < 10000; ++I) S->Add(10);
    auto B = Render(*C);
    int Covered = 0, Columns = 0;
    for (int X = 10; X < 390; ++X, ++Columns) Covered += Near(B->GetPixel(X, 125), clBlue);
    EXPECT_EQ(Covered, Columns);
}

TEST(ChartDrawTest, BackgroundChartColourAndGradient) {
    auto C = BarePlot(100, 100);
    C->SetColor(clBtnFace);  // a system colour, resolved to the light theme
    EXPECT_TRUE(PixelIs(*Render(*C), 50, 50, ColorToRGB(clBtnFace)));
    C->SetColor(clNone);  // the caller's background shows
    EXPECT_TRUE(PixelIs(*C->TeeCreateBitmap(clYellow, Rect(0, 0, 100, 100)), 50, 50, clYellow));
    C->GetGradient()->SetVisible(true);
    C->GetGradient()->SetStartColor(clRed);
    C->GetGradient()->SetEndColor(clBlue);
    auto B = Render(*C);
    EXPECT_TRUE(PixelIs(*B, 50, 0, clRed, 3));
    EXPECT_TRUE(PixelIs(*B, 50, 99, clBlue, 3));
    EXPECT_TRUE(PixelIs(*B, 50, 50, RGB(0x80, 0, 0x80), 4));
}

TEST(ChartDrawTest, BevelsFrameThePanel) {
    auto C = BarePlot(100, 100);
    C->SetColor(clSilver);
    C->SetBevelWidth(2);
    C->SetBevelOuter(TBevelCut::bvRaised);
    auto B = Render(*C);
    EXPECT_TRUE(PixelIs(*B, 0, 50, ColorToRGB(clBtnHighlight)));
    EXPECT_TRUE(PixelIs(*B, 1, 50, ColorToRGB(clBtnHighlight)));
    EXPECT_TRUE(PixelIs(*B, 99, 50, ColorToRGB(clBtnShadow)));
    EXPECT_TRUE(PixelIs(*B, 50, 98, ColorToRGB(clBtnShadow)));
    EXPECT_TRUE(PixelIs(*B, 2, 50, clSilver));
    C->SetBevelOuter(TBevelCut::bvLowered);
    C->SetBevelInner(TBevelCut::bvRaised);
    B = Render(*C);
    EXPECT_TRUE(PixelIs(*B, 0, 50, ColorToRGB(clBtnShadow)));
    EXPECT_TRUE(PixelIs(*B, 2, 50, ColorToRGB(clBtnHighlight)));
    EXPECT_TRUE(PixelIs(*B, 97, 50, ColorToRGB(clBtnShadow)));
    EXPECT_TRUE(PixelIs(*B, 4, 50, clSilver));
}

TEST(ChartDrawTest, TitleColourFillsItsBox) {
    auto C = MakeR1();
    C->GetTitle()->SetColor(clYellow);
    const TChartData D = TChartData::Gather(*C);
    const TChartLayout L = LayoutChart(*C, D, TTextEngine::ForThisThread(), 400, 250);
    ASSERT_EQ(L.TitleLines.size(), 1u);
    const int X = static_cast<int>(L.TitleBox.X) + 2, Y = static_cast<int>(L.TitleBox.Y) + 1;
    EXPECT_TRUE(PixelIs(*Render(*C), X, Y, clYellow));
    C->GetTitle()->SetColor(clDefault);
    EXPECT_TRUE(PixelIs(*Render(*C), X, Y, clWhite));
    // The title text is drawn in the title font's colour.
    C->GetTitle()->GetFont()->SetColor(clRed);
    auto B = Render(*C);
    EXPECT_GT(CountNear(*B, clRed, 10, static_cast<int>(L.TitleBox.X), static_cast<int>(L.TitleBox.Y),
                        static_cast<int>(L.TitleBox.Right()), static_cast<int>(L.TitleBox.Bottom())),
              30);
}

TEST(ChartDrawTest, TitleFollowsItsAlignment) {
    auto C = MakeR1();
    auto Box = [&] {
        return Lay(*C, 400, 250).Layout.TitleBox;
    };
    const TRectF Centre = Box();
    EXPECT_NEAR(Centre.CenterX(), 200, 1);
    C->GetTitle()->SetAlignment(TAlignment::taLeftJustify);
    EXPECT_LT(Box().X, 10);
    C->GetTitle()->SetAlignment(TAlignment::taRightJustify);
    EXPECT_GT(Box().Right(), 390);
    // Every line of the title is drawn, one below the other.
    C->GetTitle()->GetText()->Add("second line");
    const TLaidOut LOut = Lay(*C, 400, 250);
    const TChartLayout& L = LOut.Layout;
    ASSERT_EQ(L.TitleLines.size(), 2u);
    EXPECT_GT(L.TitleLines[1].Y, L.TitleLines[0].Y + 10);
}

TEST(ChartDrawTest, AxisTitlesUseTheirFonts) {
    auto C = MakeR1();
    C->GetLeftAxis()->GetTitle()->GetFont()->SetColor(clRed);
    C->GetBottomAxis()->GetTitle()->GetFont()->SetColor(clLime);
    auto B = Render(*C);
    const TLaidOut LOut = Lay(*C, 400, 250);
    const TChartLayout& L = LOut.Layout;
    ASSERT_TRUE(L.LeftTitle.Layout);
    EXPECT_EQ(L.LeftTitle.Angle, 90);
    // The turned caption is taller than wide on the picture.
    EXPECT_GT(CountNear(*B, clRed, 20, 0, 0, 25, 250), 20);
    EXPECT_GT(CountNear(*B, clLime, 20, 0, 220, 400, 250), 5);
}

TEST(ChartDrawTest, MarksSitAboveBarsAndBelowNegativeOnes) {
    auto C = BarePlot(300, 200);
    auto* S = BareBars(*C, {10, -4, -10});
    S->GetMarks()->SetVisible(true);
    S->GetMarks()->SetBackColor(clYellow);
    const TLaidOut LOut = Lay(*C, 300, 200);
    const TChartLayout& L = LOut.Layout;
    auto B = Render(*C);
    auto Y = [&](double V) { return static_cast<int>(L.ValueMap.ToPixel(V)); };
    auto X = [&](int I) { return static_cast<int>(L.Categories.Center(I)); };
    // Above the positive bar, and nowhere over its body.
    EXPECT_GT(CountNear(*B, clYellow, 0, X(0) - 10, 0, X(0) + 10, Y(10)), 10);
    EXPECT_EQ(CountNear(*B, clYellow, 0, X(0) - 30, Y(10) + 1, X(0) + 30, Y(0)), 0);
    // Below the negative bar.
    EXPECT_GT(CountNear(*B, clYellow, 0, X(1) - 10, Y(-4), X(1) + 10, Y(-10)), 10);
    EXPECT_EQ(CountNear(*B, clYellow, 0, X(1) - 30, Y(0), X(1) + 30, Y(-4)), 0);
    // A bar reaching the end of the plot has its mark just inside its end.
    EXPECT_GT(CountNear(*B, clYellow, 0, X(2) - 10, Y(-7), X(2) + 10, Y(-10)), 10);
    S->GetMarks()->SetVisible(false);
    EXPECT_EQ(CountNear(*Render(*C), clYellow, 0), 0);
}

TEST(ChartDrawTest, MarkTextsByStyleAndValueFormat) {
    auto C = MakeR1();
    const TChartData D = TChartData::Gather(*C);
    const TPlotSeries& P = D.Series.front();
    TChartSeries& S = *C->GetSeries(0);
    const int Nov = 10;  // 30 of an absolute total of 169: 17.75 %
    std::vector<std::string> Texts;
    for (int St = 0; St <= static_cast<int>(TSeriesMarksStyle::smXValue); ++St) {
        S.GetMarks()->SetStyle(static_cast<TSeriesMarksStyle>(St));
        Texts.push_back(MarkText(P, Nov));
    }
    EXPECT_EQ(Texts, (std::vector<std::string>{"30", "17.75 %", "Nov", "Nov 17.75 %", "Nov 30", "Nov: 30",
                                               "17.75 % of 169", "Nov 17.75 % of 169", "10"}));
    S.GetMarks()->SetStyle(TSeriesMarksStyle::smValue);
    S.SetValueFormat("0.0 'EUR'");
    EXPECT_EQ(MarkText(P, Nov), "30.0 EUR");
    EXPECT_EQ(MarkText(P, 3), "-5.0 EUR");
}

TEST(ChartDrawTest, ReferenceChartLayout) {
    auto C = MakeR1();
    const TLaidOut LOut = Lay(*C, 400, 250);
    const TChartLayout& L = LOut.Layout;
    EXPECT_EQ(L.Ticks.Values, (std::vector<double>{-10, 0, 10, 20, 30}));
    ASSERT_EQ(L.TickLabels.size(), 5u);
    EXPECT_TRUE(L.LegendVisible);
    ASSERT_EQ(L.LegendRows.size(), 12u);
    EXPECT_FALSE(L.LegendRows.back().Ellipsis);
    EXPECT_TRUE(L.MarksVisible);
    EXPECT_EQ(L.CategoryLabels.size(), 12u);
    // The legend is at the right, clear of the plot, inside the picture.
    EXPECT_GT(L.LegendBox.X, L.Plot.Right());
    EXPECT_LE(L.LegendBox.Right(), 400);
    EXPECT_LE(L.LegendBox.Bottom(), 250);
    // Twelve months do not fit side by side in 400 pixels: they are turned.
    EXPECT_TRUE(L.LabelsRotated);
    EXPECT_EQ(L.LabelStep, 1);
    const TLaidOut WideOut = Lay(*C, 800, 500);
    const TChartLayout& Wide = WideOut.Layout;
    EXPECT_FALSE(Wide.LabelsRotated);
    EXPECT_EQ(Wide.LabelStep, 1);
}

TEST(ChartDrawTest, LegendSwatchesShowPointColours) {
    auto C = MakeR1();
    const TLaidOut LOut = Lay(*C, 400, 250);
    const TChartLayout& L = LOut.Layout;
    auto B = Render(*C);
    for (int I : {0, 3}) {  // Jan is positive, Apr negative
        const int X = static_cast<int>(L.LegendBox.X + L.LegendPad + L.SwatchSize / 2);
        const int Y = static_cast<int>(L.LegendBox.Y + L.LegendPad + (I + 0.5) * L.LegendRowHeight);
        EXPECT_TRUE(PixelIs(*B, X, Y, R1Values[I] >= 0 ? clBlue : clRed));
    }
}

TEST(ChartDrawTest, LegendStyles) {
    auto C = MakeR1();
    auto Rows = [&] { return Lay(*C, 400, 250).Layout.LegendRows.size(); };
    C->GetLegend()->SetLegendStyle(TLegendStyle::lsAuto);
    EXPECT_EQ(Rows(), 12u);  // one series: its points
    C->GetLegend()->SetLegendStyle(TLegendStyle::lsSeries);
    ASSERT_EQ(Rows(), 1u);
    EXPECT_FALSE(Lay(*C, 400, 250).Layout.LegendRows[0].Value);
    C->GetLegend()->SetLegendStyle(TLegendStyle::lsLastValues);
    ASSERT_EQ(Rows(), 1u);
    const TLaidOut Last = Lay(*C, 400, 250);
    ASSERT_TRUE(Last.Layout.LegendRows[0].Value);
    EXPECT_EQ(Last.Layout.LegendRows[0].Series, &Last.Data.Series[0]);
    auto* Second = AddSeries<TLineSeries>(*C);
    Second->Add(1);
    C->GetLegend()->SetLegendStyle(TLegendStyle::lsAuto);
    EXPECT_EQ(Rows(), 2u);  // two series: one row each
    C->GetLegend()->SetVisible(false);
    EXPECT_EQ(Rows(), 0u);
}

TEST(ChartDrawTest, LongLegendsEndInAnEllipsisInsideThePicture) {
    auto C = MakeChart(400, 250);
    auto* S = AddSeries<TBarSeries>(*C);
    for (int I = 0; I < 1000; ++I) S->Add(I, std::string(1000, 'x'));
    const TLaidOut LOut = Lay(*C, 400, 250);
    const TChartLayout& L = LOut.Layout;
    ASSERT_TRUE(L.LegendVisible);
    ASSERT_GT(L.LegendRows.size(), 3u);
    ASSERT_LT(L.LegendRows.size(), 20u);
    EXPECT_TRUE(L.LegendRows.back().Ellipsis);
    EXPECT_TRUE(L.LegendRows.front().Label->Ellipsized());
    EXPECT_GE(L.LegendBox.Y, 0);
    EXPECT_LE(L.LegendBox.Bottom(), 250);
    EXPECT_LE(L.LegendBox.W, 400 * 0.4 + 1);
    EXPECT_LE(L.LegendRows.front().Label->Width(), L.LegendBox.W);
}

TEST(ChartDrawTest, ManyCategoryLabelsAreThinnedWithoutOverlap) {
    auto C = MakeChart(400, 250);
    auto* S = AddSeries<TBarSeries>(*C);
    for (int I = 0; I < 10000; ++I) S->Add(std::sin(I / 100.0), "Label " + std::to_string(I));
    const TLaidOut LOut = Lay(*C, 400, 250);
    const TChartLayout& L = LOut.Layout;
    EXPECT_GT(L.LabelStep, 100);
    ASSERT_GE(L.CategoryLabels.size(), 2u);
    for (std::size_t I = 1; I < L.CategoryLabels.size(); ++I) {
        const TPlacedText& A = L.CategoryLabels[I - 1];
        const TPlacedText& B = L.CategoryLabels[I];
        EXPECT_LT(A.X + A.Layout->Width(), B.X) << I;
    }
}

// Each of these must draw without an error and give a finite layout.
TEST(ChartDrawTest, DegenerateDataDraws) {
    struct TCase {
        const char* Name;
        std::vector<double> Values;
    };
    const double Inf = std::numeric_limits<double>::infinity();
    const std::vector<TCase> Cases = {
        {"no points", {}},
        {"one point", {7}},
        {"one negative point", {-7}},
        {"all equal", {5, 5, 5, 5}},
        {"all zero", {0, 0, 0}},
        {"huge", {1e300, -1e300, 3}},
        {"extremes", {DBL_MAX, -DBL_MAX, DBL_MIN, -0.0}},
        {"tiny", {5e-324, 1e-320}},
        {"not finite", {std::nan(""), Inf, -Inf, 2}},
        {"all null", {std::nan(""), std::nan("")}},
    };
    for (const TCase& Case : Cases) {
        for (int Kind = 0; Kind < 3; ++Kind) {
            for (bool View3D : {false, true}) {
                SCOPED_TRACE(std::string(Case.Name) + " kind " + std::to_string(Kind) + (View3D ? " 3D" : ""));
                auto C = MakeChart(400, 250);
                C->SetView3D(View3D);
                TChartSeries* S = nullptr;
                if (Kind == 0) S = AddSeries<TBarSeries>(*C);
                if (Kind == 1) S = AddSeries<TLineSeries>(*C);
                if (Kind == 2) S = AddSeries<TPointSeries>(*C);
                S->GetMarks()->SetVisible(true);
                if (S->GetPointer()) S->GetPointer()->SetVisible(true);
                for (double V : Case.Values) S->Add(V);
                const TLaidOut LOut = Lay(*C, 400, 250);
                const TChartLayout& L = LOut.Layout;
                EXPECT_TRUE(std::isfinite(L.Plot.X) && std::isfinite(L.Plot.W) && std::isfinite(L.Plot.H));
                for (double V : L.Ticks.Values) EXPECT_TRUE(std::isfinite(L.ValueMap.ToPixel(V)));
                EXPECT_NO_THROW(Render(*C));
            }
        }
    }
}

TEST(ChartDrawTest, NoSeriesDrawsDefaultAxes) {
    auto C = MakeChart(400, 250);
    const TLaidOut LOut = Lay(*C, 400, 250);
    const TChartLayout& L = LOut.Layout;
    EXPECT_DOUBLE_EQ(L.Ticks.Range.Min, 0);
    EXPECT_DOUBLE_EQ(L.Ticks.Range.Max, 1);
    EXPECT_FALSE(L.LegendVisible);
    EXPECT_TRUE(L.CategoryLabels.empty());
    EXPECT_NO_THROW(Render(*C));
}

TEST(ChartDrawTest, EverySizeDraws) {
    auto C = MakeR1();
    C->SetView3D(true);
    for (auto [W, H] : {std::pair{1, 1}, {2, 2}, {1, 300}, {300, 1}, {17, 9}, {60, 40}, {120, 80}, {16384, 2},
                        {3, 16384}, {4096, 4096}}) {
        SCOPED_TRACE(std::to_string(W) + " x " + std::to_string(H));
        std::unique_ptr<TBitmap> B;
        ASSERT_NO_THROW(B = C->TeeCreateBitmap(clWhite, Rect(0, 0, W, H)));
        EXPECT_EQ(B->GetWidth(), W);
        EXPECT_EQ(B->GetHeight(), H);
    }
}

TEST(ChartDrawTest, RefusedSizesNameTheValue) {
    auto C = MakeR1();
    EXPECT_THROW_MSG_HAS(C->TeeCreateBitmap(clWhite, Rect(0, 0, 0, 250)), EInvalidGraphic, "0 x 250");
    EXPECT_THROW_MSG_HAS(C->TeeCreateBitmap(clWhite, Rect(0, 0, 400, 0)), EInvalidGraphic, "400 x 0");
    EXPECT_THROW_MSG_HAS(C->TeeCreateBitmap(clWhite, Rect(0, 0, 16385, 10)), EInvalidGraphic, "16385 x 10");
    EXPECT_THROW_MSG_HAS(C->TeeCreateBitmap(clWhite, Rect(0, 0, 5000, 5000)), EInvalidGraphic, "5000 x 5000");
    EXPECT_THROW_MSG_HAS(C->TeeCreateBitmap(clWhite, Rect(0, 0, -3, 10)), EInvalidGraphic, "-3 x 10");
}

TEST(ChartDrawTest, MonochromeIsAllGrey) {
    auto C = MakeR1();
    C->SetMonochrome(true);
    C->GetGradient()->SetVisible(true);
    C->GetGradient()->SetEndColor(clAqua);
    C->GetTitle()->SetColor(clYellow);
    for (bool View3D : {false, true}) {
        C->SetView3D(View3D);
        auto B = Render(*C);
        int Colourful = 0;
        for (std::uint32_t P : B->PixelSpan())
            Colourful += ((P >> 16) & 0xFF) != ((P >> 8) & 0xFF) || ((P >> 8) & 0xFF) != (P & 0xFF);
        EXPECT_EQ(Colourful, 0);
    }
    // The caller's background, where the chart has no colour of its own.
    C->GetGradient()->SetVisible(false);
    C->SetColor(clNone);
    auto B = C->TeeCreateBitmap(clYellow, Rect(0, 0, 400, 250));
    EXPECT_TRUE(PixelIs(*B, 1, 1, LuminanceGrey(clYellow), 2));
    // The grey keeps the picture: bars and background still differ.
    C->SetColor(clWhite);
    C->SetMonochrome(false);
    const TLaidOut LOut = Lay(*C, 400, 250);
    const TChartLayout& L = LOut.Layout;
    const int X = static_cast<int>(L.Categories.Center(10)), Y = static_cast<int>(L.ValueMap.ToPixel(15));
    EXPECT_TRUE(PixelIs(*Render(*C), X, Y, clBlue));
    C->SetMonochrome(true);
    EXPECT_TRUE(PixelIs(*Render(*C), X, Y, LuminanceGrey(clBlue)));
}

TEST(ChartDrawTest, ThreeDimensionalBarsHaveShadedFaces) {
    auto C = BarePlot(300, 200);
    C->SetView3D(true);
    BareBars(*C, {10, 10, 10});
    const TLaidOut LOut = Lay(*C, 300, 200);
    const TChartLayout& L = LOut.Layout;
    ASSERT_GT(L.Depth, 4);
    auto B = Render(*C);
    const TColor Front = B->GetPixel(static_cast<int>(L.Categories.Center(1)), static_cast<int>(L.Plot.CenterY()));
    EXPECT_TRUE(Near(Front, clBlue));
    // Just above the front face's top edge is the lit top; right of its
    // side edge the darker side.
    const double Half = L.Categories.SlotWidth() * 0.35;
    const int TopY = static_cast<int>(L.ValueMap.ToPixel(10)) - 2;
    const TColor Top = B->GetPixel(static_cast<int>(L.Categories.Center(1) + 2), TopY);
    const TColor Side = B->GetPixel(static_cast<int>(L.Categories.Center(1) + Half + 2), static_cast<int>(L.Plot.CenterY()));
    EXPECT_TRUE(Near(Top, Shade(clBlue, 1.35), 2)) << ColorToString(Top);
    EXPECT_TRUE(Near(Side, Shade(clBlue, 0.72), 2)) << ColorToString(Side);
    // The back wall shows above the bars.
    EXPECT_FALSE(Near(B->GetPixel(static_cast<int>(L.Plot.CenterX()), static_cast<int>(L.Plot.Y - L.Depth + 3)),
                      clWhite));
}

TEST(ChartDrawTest, WallDepthMatchesTheDrawing) {
    auto C = MakeR1();
    C->CalcSize3DWalls();
    EXPECT_EQ(C->GetSeriesWidth3D(), 0);  // flat
    C->SetView3D(true);
    C->CalcSize3DWalls();
    EXPECT_EQ(C->GetSeriesWidth3D(), Depth3D(400, 250, 15, 1));
    EXPECT_EQ(C->GetSeriesHeight3D(), C->GetSeriesWidth3D());
    const TLaidOut Out = Lay(*C, 400, 250);
    EXPECT_EQ(Out.Layout.Depth, C->GetSeriesWidth3D());
    C->Set3DPercent(30);
    C->CalcSize3DWalls();
    EXPECT_EQ(C->GetSeriesWidth3D(), Depth3D(400, 250, 30, 1));
    EXPECT_GT(C->GetSeriesWidth3D(), Out.Layout.Depth);
}

TEST(ChartDrawTest, LineAndPointSeriesDrawTheirShapes) {
    auto C = BarePlot(200, 200);
    auto* Line = AddSeries<TLineSeries>(*C);
    Line->SetSeriesColor(clRed);
    Line->Add(0);
    Line->Add(10);
    // Slots centre at 53 and 147, values 0 and 10 at y 194 and 6 (range 0..10).
    auto B = Render(*C);
    EXPECT_TRUE(PixelIs(*B, 100, 100, clRed, 60));  // on the line between them
    EXPECT_TRUE(PixelIs(*B, 60, 60, clWhite));
    delete Line;
    auto* Points = AddSeries<TPointSeries>(*C);
    Points->SetSeriesColor(clGreen);
    Points->Add(5);
    Points->Add(5);
    Points->GetPointer()->SetHorizSize(6);
    Points->GetPointer()->SetVertSize(6);
    for (int St = 0; St <= static_cast<int>(TSeriesPointerStyle::psSmallDot); ++St) {
        SCOPED_TRACE(St);
        Points->GetPointer()->SetStyle(static_cast<TSeriesPointerStyle>(St));
        B = Render(*C);
        EXPECT_GT(CountNear(*B, clGreen, 40, 40, 85, 66, 115), 2);
        EXPECT_EQ(CountNear(*B, clGreen, 40, 0, 0, 200, 80), 0);
    }
    Points->GetPointer()->SetVisible(false);
    EXPECT_EQ(CountNear(*Render(*C), clGreen, 40), 0);
}

TEST(ChartDrawTest, PointerStylesDifferFromEachOther) {
    auto C = BarePlot(60, 60);
    auto* S = AddSeries<TPointSeries>(*C);
    S->Add(5);
    S->GetPointer()->SetHorizSize(8);
    S->GetPointer()->SetVertSize(8);
    std::vector<std::vector<std::uint32_t>> Pictures;
    for (int St = 0; St <= static_cast<int>(TSeriesPointerStyle::psSmallDot); ++St) {
        S->GetPointer()->SetStyle(static_cast<TSeriesPointerStyle>(St));
        auto B = Render(*C);
        Pictures.emplace_back(B->PixelSpan().begin(), B->PixelSpan().end());
    }
    for (std::size_t I = 0; I < Pictures.size(); ++I)
        for (std::size_t J = I + 1; J < Pictures.size(); ++J) EXPECT_NE(Pictures[I], Pictures[J]) << I << " " << J;
}

TEST(ChartDrawTest, HorizontalBarsAreAsLongAsTheirValues) {
    auto C = BarePlot(200, 200);
    auto* S = AddSeries<THorizBarSeries>(*C);
    S->GetMarks()->SetVisible(false);
    S->SetSeriesColor(clBlue);
    for (double V : {8.0, 4.0, 2.0, -4.0}) S->Add(V);
    S->SetValueColor(3, clRed);
    const TLaidOut LOut = Lay(*C, 200, 200);
    const TChartLayout& L = LOut.Layout;
    ASSERT_TRUE(L.Horizontal);
    auto B = Render(*C);
    auto Row = [&](int I, TColor Colour) {
        return CountNear(*B, Colour, 0, 0, static_cast<int>(L.Categories.Center(I)), 200,
                         static_cast<int>(L.Categories.Center(I)) + 1);
    };
    // The first category is at the top; lengths follow the values.
    EXPECT_LT(L.Categories.Center(0), L.Categories.Center(1));
    const double Unit = (L.ValueMap.ToPixel(8) - L.ValueMap.ToPixel(0)) / 8;
    ASSERT_GT(Unit, 5);
    EXPECT_NEAR(Row(0, clBlue), 8 * Unit, 2);
    EXPECT_NEAR(Row(1, clBlue), 4 * Unit, 2);
    EXPECT_NEAR(Row(2, clBlue), 2 * Unit, 2);
    // A negative bar goes left from zero.
    EXPECT_NEAR(Row(3, clRed), 4 * Unit, 2);
    const int Y3 = static_cast<int>(L.Categories.Center(3));
    EXPECT_TRUE(PixelIs(*B, static_cast<int>(L.ValueMap.ToPixel(-2)), Y3, clRed));
    EXPECT_TRUE(PixelIs(*B, static_cast<int>(L.ValueMap.ToPixel(2)), Y3, clWhite));
}

TEST(ChartDrawTest, HorizontalBarsPutValuesAtTheBottomAndLabelsOnTheLeft) {
    auto C = MakeR1(400, 250, &THorizBarSeries::NewInstance);
    const TLaidOut LOut = Lay(*C, 400, 250);
    const TChartLayout& L = LOut.Layout;
    ASSERT_FALSE(L.TickLabels.empty());
    for (const TPlacedText& T : L.TickLabels) EXPECT_GE(T.Y, L.Plot.Bottom());
    ASSERT_FALSE(L.CategoryLabels.empty());
    for (const TPlacedText& T : L.CategoryLabels) EXPECT_LE(T.X + T.Layout->Width(), L.Plot.X);
    // The tick labels along the bottom do not touch each other.
    for (std::size_t I = 1; I < L.TickLabels.size(); ++I)
        EXPECT_LT(L.TickLabels[I - 1].X + L.TickLabels[I - 1].Layout->Width(), L.TickLabels[I].X);
    // Every bar's mark is inside the picture, right of a positive bar's end.
    const TChartData& D = LOut.Data;
    const std::vector<TPlacedMark> Marks = PlaceSeriesMarks(L, D, D.Series.front(), TTextEngine::ForThisThread());
    ASSERT_EQ(Marks.size(), 12u);
    for (const TPlacedMark& M : Marks) {
        EXPECT_LE(M.Box.Right(), L.LegendBox.X);
        if (R1Values[M.Index] > 0) {
            EXPECT_GE(M.Box.X, L.ValueMap.ToPixel(R1Values[M.Index]) - 1) << M.Index;
        }
    }
}

TEST(ChartDrawTest, AreaIsFilledDownToTheZeroLine) {
    auto C = BarePlot(200, 200);
    auto* S = AddSeries<TAreaSeries>(*C);
    S->SetSeriesColor(clBlue);
    for (double V : {6.0, 3.0, -6.0}) S->Add(V);
    S->SetValueColor(2, clRed);
    const TLaidOut LOut = Lay(*C, 200, 200);
    const TChartLayout& L = LOut.Layout;
    auto B = Render(*C);
    const int X0 = static_cast<int>(L.Categories.Center(0)), X1 = static_cast<int>(L.Categories.Center(1));
    const int Mid = (X0 + X1) / 2;
    // Under the line and above zero: the fill; above the line: nothing.
    EXPECT_TRUE(PixelIs(*B, Mid, static_cast<int>(L.ValueMap.ToPixel(2)), clBlue));
    EXPECT_TRUE(PixelIs(*B, Mid, static_cast<int>(L.ValueMap.ToPixel(5.8)), clWhite));
    // The last segment crosses zero: blue above it, red below it.
    const int X2 = static_cast<int>(L.Categories.Center(2));
    const int Near2 = X2 - 8;
    EXPECT_TRUE(PixelIs(*B, Near2, static_cast<int>(L.ValueMap.ToPixel(-1.5)), clRed));
    EXPECT_TRUE(PixelIs(*B, X1 + 8, static_cast<int>(L.ValueMap.ToPixel(1.5)), clBlue));
    EXPECT_TRUE(PixelIs(*B, Near2, static_cast<int>(L.ValueMap.ToPixel(-5.5)), clWhite));
}

TEST(ChartDrawTest, LineHasItsColourAtItsPoints) {
    auto C = BarePlot(200, 200);
    auto* S = AddSeries<TLineSeries>(*C);
    S->SetSeriesColor(clGreen);
    for (double V : {2.0, 9.0, 4.0}) S->Add(V);
    const TLaidOut LOut = Lay(*C, 200, 200);
    auto B = Render(*C);
    for (int I = 0; I < 3; ++I) {
        const TPointF P = LOut.Layout.At(I, S->GetYValue(I));
        EXPECT_TRUE(PixelIs(*B, static_cast<int>(P.X), static_cast<int>(P.Y), clGreen, 40)) << I;
    }
}

TEST(ChartDrawTest, PieSlicesHaveTheirPointsColours) {
    auto C = MakeChart(300, 200, "");
    C->GetLegend()->SetVisible(false);
    auto* S = AddSeries<TPieSeries>(*C);
    S->GetMarks()->SetVisible(false);
    // Clockwise from twelve o'clock: a quarter, a quarter, a half; the zero
    // and the null point get no slice.
    S->Add(1, "a", clRed);
    S->Add(0, "zero", clYellow);
    S->Add(1, "b", clLime);
    S->AddNull("none");
    S->Add(2, "c", clBlue);
    const TLaidOut LOut = Lay(*C, 300, 200);
    const TChartLayout& L = LOut.Layout;
    ASSERT_TRUE(L.Pie);
    EXPECT_TRUE(L.TickLabels.empty());
    EXPECT_TRUE(L.CategoryLabels.empty());
    ASSERT_GT(L.PieRadius, 40);
    auto B = Render(*C);
    const double R = L.PieRadius / 2, K = std::sqrt(0.5);
    const int CX = static_cast<int>(L.PieCenter.X), CY = static_cast<int>(L.PieCenter.Y);
    EXPECT_TRUE(PixelIs(*B, CX + static_cast<int>(R * K), CY - static_cast<int>(R * K), clRed));
    EXPECT_TRUE(PixelIs(*B, CX + static_cast<int>(R * K), CY + static_cast<int>(R * K), clLime));
    EXPECT_TRUE(PixelIs(*B, CX - static_cast<int>(R), CY, clBlue));
    EXPECT_EQ(CountNear(*B, clYellow, 0), 0);
    // No axes: nothing of the axis grey.
    EXPECT_EQ(CountNear(*B, RGB(0x6E, 0x6E, 0x6E), 0), 0);

    // A negative point is drawn by its size, striped, and so is its legend row.
    S->Delete(4);
    S->Add(-2, "c", clBlue);
    C->GetLegend()->SetVisible(true);
    const TLaidOut NOut = Lay(*C, 300, 200);
    ASSERT_TRUE(NOut.Layout.LegendVisible);
    EXPECT_TRUE(NOut.Layout.LegendRows.back().Negative);
    EXPECT_FALSE(NOut.Layout.LegendRows.front().Negative);
    auto NB = Render(*C);
    const int NX = static_cast<int>(NOut.Layout.PieCenter.X - NOut.Layout.PieRadius / 2);
    const int NY = static_cast<int>(NOut.Layout.PieCenter.Y);
    // Blue, and the stripes' light blue.
    EXPECT_GT(CountNear(*NB, clBlue, 0, NX - 8, NY - 8, NX + 8, NY + 8), 40);
    EXPECT_GT(CountNear(*NB, RGB(140, 140, 255), 30, NX - 8, NY - 8, NX + 8, NY + 8), 20);
}

TEST(ChartDrawTest, PieInThreeDIsTiltedOnARim) {
    auto C = MakeChart(300, 200, "");
    C->GetLegend()->SetVisible(false);
    C->SetView3D(true);
    C->Set3DPercent(50);
    auto* S = AddSeries<TPieSeries>(*C);
    S->GetMarks()->SetVisible(false);
    S->Add(1, "a", clBlue);
    const TLaidOut LOut = Lay(*C, 300, 200);
    const TChartLayout& L = LOut.Layout;
    EXPECT_LT(L.PieTilt, 0.7);
    ASSERT_GT(L.PieRim, 2);
    auto B = Render(*C);
    const int CX = static_cast<int>(L.PieCenter.X);
    const int Bottom = static_cast<int>(L.PieCenter.Y + L.PieRadius * L.PieTilt);
    EXPECT_TRUE(PixelIs(*B, CX, Bottom - 3, clBlue));
    EXPECT_TRUE(PixelIs(*B, CX, Bottom + static_cast<int>(L.PieRim / 2), Shade(clBlue, 0.7), 2));
    EXPECT_TRUE(PixelIs(*B, CX, static_cast<int>(L.PieCenter.Y - L.PieRadius * L.PieTilt) - 3, clWhite));
}

TEST(ChartDrawTest, AutomaticAxesKeepPointersAtTheirEndsWhole) {
    for (bool Inflate : {false, true}) {
        auto C = MakeChart(300, 200, "");
        C->GetLegend()->SetVisible(false);
        auto* S = AddSeries<TPointSeries>(*C);
        S->GetPointer()->SetInflateMargins(Inflate);
        S->GetPointer()->SetVertSize(6);
        S->Add(0);
        S->Add(10);
        const TLaidOut LOut = Lay(*C, 300, 200);
        const TChartLayout& L = LOut.Layout;
        EXPECT_GE(L.ValueMap.ToPixel(10) - 6, L.Plot.Y) << Inflate;
        EXPECT_LE(L.ValueMap.ToPixel(0) + 6, L.Plot.Bottom()) << Inflate;
    }
}

TEST(ChartDrawTest, NeighbouringMarksMoveApartInsteadOfOverlapping) {
    auto C = MakeChart(320, 300, "");
    C->GetLegend()->SetVisible(false);
    auto* S = AddSeries<TLineSeries>(*C);
    S->GetMarks()->SetVisible(true);
    // Marks about twice as wide as a slot.
    for (int I = 0; I < 10; ++I) S->Add(1000.125 + (I % 2) * 0.25);
    const TLaidOut LOut = Lay(*C, 320, 300);
    const std::vector<TPlacedMark> Marks =
        PlaceSeriesMarks(LOut.Layout, LOut.Data, LOut.Data.Series.front(), TTextEngine::ForThisThread());
    ASSERT_EQ(Marks.size(), 10u);
    for (std::size_t I = 0; I < Marks.size(); ++I)
        for (std::size_t J = I + 1; J < Marks.size(); ++J) {
            const TRectF &A = Marks[I].Box, &B = Marks[J].Box;
            EXPECT_FALSE(A.X < B.Right() && B.X < A.Right() && A.Y < B.Bottom() && B.Y < A.Bottom()) << I << " " << J;
        }
    // With no room to move them, some are left out, still without overlaps.
    C->SetHeight(60);
    const TLaidOut Small = Lay(*C, 320, 60);
    const std::vector<TPlacedMark> Few =
        PlaceSeriesMarks(Small.Layout, Small.Data, Small.Data.Series.front(), TTextEngine::ForThisThread());
    EXPECT_LT(Few.size(), 10u);
}

TEST(ChartDrawTest, EveryTypeDrawsInMonochromeWithAGradient) {
    const TChartSeriesClass Classes[] = {&TBarSeries::NewInstance,  &THorizBarSeries::NewInstance,
                                         &TLineSeries::NewInstance, &TAreaSeries::NewInstance,
                                         &TPointSeries::NewInstance, &TPieSeries::NewInstance};
    for (TChartSeriesClass New : Classes) {
        auto C = MakeR1(400, 250, New);
        C->GetSeries(0)->SetColorEachPoint(true);
        for (int I = 0; I < 12; ++I) C->GetSeries(0)->SetValueColor(I, clDefault);
        C->GetGradient()->SetVisible(true);
        C->SetMonochrome(true);
        auto B = Render(*C);
        const std::string Name(C->GetSeries(0)->ClassName());
        int Colour = 0;
        for (int Y = 0; Y < 250; ++Y)
            for (int X = 0; X < 400; ++X) {
                const TColor P = B->GetPixel(X, Y);
                Colour += GetRValue(P) != GetGValue(P) || GetGValue(P) != GetBValue(P);
            }
        EXPECT_EQ(Colour, 0) << Name;
        C->SetMonochrome(false);
        EXPECT_GT(CountNear(*Render(*C), AutoColor(1), 30), 10) << Name;
        C->SetView3D(true);
        EXPECT_EQ(Render(*C)->GetWidth(), 400);
    }
}

// A server renders on many threads at once: each thread's pictures must be
// exactly those of a single thread.
TEST(ChartDrawTest, ThreadsRenderTheSamePictures) {
    std::vector<std::unique_ptr<TChart>> Charts;
    Charts.push_back(MakeR1());
    Charts.push_back(MakeR1(640, 360));
    Charts.back()->SetView3D(true);
    Charts.push_back(MakeChart(400, 250, "Линия — 折れ線"));
    auto* Line = AddSeries<TLineSeries>(*Charts.back());
    for (int I = 0; I < 50; ++I) Line->Add(std::cos(I / 5.0) * 40, "点 " + std::to_string(I));
    Line->GetMarks()->SetVisible(true);
    std::vector<std::vector<std::uint32_t>> Expected;
    for (auto& C : Charts) {
        auto B = Render(*C);
        Expected.emplace_back(B->PixelSpan().begin(), B->PixelSpan().end());
    }
    constexpr int Threads = 4, Rounds = 8;
    std::vector<int> Mismatches(Threads, 0);
    std::vector<std::thread> Pool;
    for (int T = 0; T < Threads; ++T)
        Pool.emplace_back([&, T] {
            for (int R = 0; R < Rounds; ++R)
                for (std::size_t I = 0; I < Charts.size(); ++I) {
                    const std::size_t K = (I + T) % Charts.size();
                    auto B = Render(*Charts[K]);
                    if (!std::equal(B->PixelSpan().begin(), B->PixelSpan().end(), Expected[K].begin(),
                                    Expected[K].end()))
                        ++Mismatches[T];
                }
        });
    for (std::thread& T : Pool) T.join();
    for (int T = 0; T < Threads; ++T) EXPECT_EQ(Mismatches[T], 0) << "thread " << T;
}

// The gallery: every series type, appearance and kind of odd data. Each
// picture must look like a chart: several colours, the points drawn in the
// plot, and a variant (3D, gradient, monochrome, a colour for each point)
// unlike the picture it varies. With PLOTVANE_CHART_PNG_DIR naming a folder
// the pictures are written there too, to look at them.
TEST(ChartGallery, EveryPictureLooksLikeAChart) {
    const char* Dir = std::getenv("PLOTVANE_CHART_PNG_DIR");
    using TPixels = std::vector<std::uint32_t>;
    // The pixels of C's picture, checked; Of is the picture it varies.
    auto Check = [&](const TChart& C, const std::string& Name, const TPixels* Of = nullptr) {
        const auto B = Render(C);
        const TPixels Px(B->PixelSpan().begin(), B->PixelSpan().end());
        if (Dir) B->SaveToPNGFile(std::string(Dir) + "/" + Name + ".png");
        EXPECT_GE(std::set<std::uint32_t>(Px.begin(), Px.end()).size(), 3u) << Name << " is blank";
        // The points' own colours cover a part of the plot; its background,
        // grid, walls and marks have others (a point outlined or shaded
        // still has its colour inside).
        const TLaidOut L = Lay(C, B->GetWidth(), B->GetHeight());
        std::set<TColor> Own;
        for (const TPlotSeries& S : L.Data.Series)
            for (TColor Point : S.PointColors)
                if (Point != clNone) Own.insert(C.GetMonochrome() ? LuminanceGrey(Point) : Point);
        std::size_t Area = 0, InOwn = 0;
        for (int Y = int(L.Layout.Plot.Y); Y < int(L.Layout.Plot.Bottom()); ++Y)
            for (int X = int(L.Layout.Plot.X); X < int(L.Layout.Plot.Right()); ++X, ++Area)
                InOwn += Own.count(B->GetPixel(X, Y));
        if (!Own.empty()) {
            EXPECT_GT(InOwn, Area / 200) << Name << ": " << InOwn << " of the plot's " << Area
                                         << " pixels have the colour of a point";
        }
        if (Of) {
            EXPECT_EQ(Of->size(), Px.size()) << Name;
            std::size_t Differ = 0;
            for (std::size_t I = 0; I < std::min(Px.size(), Of->size()); ++I) Differ += Px[I] != (*Of)[I];
            EXPECT_GT(Differ, Px.size() / 20) << Name << " hardly differs from the picture it varies";
        }
        return Px;
    };
    const TPixels R1 = Check(*MakeR1(), "r1");
    {
        const TPixels Grouped = Check(*MakeR2(), "r2-grouped");
        Check(*MakeR2(TSeriesStacking::sgStacked), "r2-stacked", &Grouped);
        Check(*MakeR2(TSeriesStacking::sgStacked100, &THorizBarSeries::NewInstance), "r2-stacked100-horizontal");
        auto Areas = MakeR2(TSeriesStacking::sgStacked, &TAreaSeries::NewInstance);
        const TPixels Piled = Check(*Areas, "r2-stacked-areas");
        Areas->SetView3D(true);
        Check(*Areas, "r2-stacked-areas-3d", &Piled);
    }
    {
        auto C = MakeR1();
        C->SetView3D(true);
        const TPixels View3D = Check(*C, "r1-3d", &R1);
        C->SetMonochrome(true);
        Check(*C, "r1-3d-mono", &View3D);
    }
    {
        auto C = MakeR1();
        C->GetGradient()->SetVisible(true);
        const TPixels Gradient = Check(*C, "r1-gradient", &R1);
        C->SetMonochrome(true);
        Check(*C, "r1-gradient-mono", &Gradient);
    }
    {
        auto C = MakeR1(800, 500);
        C->GetGradient()->SetVisible(true);
        C->SetBevelOuter(TBevelCut::bvRaised);
        C->SetBevelInner(TBevelCut::bvLowered);
        C->SetBevelWidth(2);
        C->GetTitle()->SetColor(clCream);
        Check(*C, "r1-800-gradient-bevel");
    }
    {
        auto C = MakeChart(400, 250, "Line");
        auto* S = AddSeries<TLineSeries>(*C);
        for (int I = 0; I < 12; ++I) S->Add(R1Values[I], R1Labels[I]);
        S->GetPointer()->SetVisible(true);
        S->GetMarks()->SetVisible(true);
        const TPixels Line = Check(*C, "line");
        C->SetView3D(true);
        Check(*C, "line-3d", &Line);
    }
    {
        auto C = MakeChart(600, 300, "Point styles");
        C->GetLegend()->SetLegendStyle(TLegendStyle::lsSeries);
        for (int St = 0; St < 9; ++St) {
            auto* S = AddSeries<TPointSeries>(*C);
            S->SetSeriesColor(clDefault);
            S->SetTitle("Style " + std::to_string(St));
            S->GetPointer()->SetStyle(static_cast<TSeriesPointerStyle>(St));
            for (int I = 0; I < 8; ++I) S->Add(St * 10 + (I % 3) * 3);
        }
        const TPixels Points = Check(*C, "points");
        C->SetView3D(true);
        Check(*C, "points-3d", &Points);
    }
    {
        auto C = MakeChart(400, 250, "Each point");
        auto* S = AddSeries<TBarSeries>(*C);
        S->SetColorEachPoint(true);
        for (int I = 0; I < 20; ++I) S->Add(std::sin(I / 3.0) * 100 + 120, std::string("P") + std::to_string(I));
        Check(*C, "each-point");
    }
    {
        auto C = MakeChart(400, 250, "10 000 points");
        auto* S = AddSeries<TBarSeries>(*C);
        for (int I = 0; I < 10000; ++I) S->Add(std::sin(I / 500.0) * 1000);
        const TPixels Many = Check(*C, "many");
        S->SetColorEachPoint(true);
        Check(*C, "many-each", &Many);
    }
    {
        auto C = MakeChart(400, 250, std::string(1000, 'T'));
        auto* S = AddSeries<TBarSeries>(*C);
        for (int I = 0; I < 5; ++I) S->Add(I + 1, std::string(1000, char('a' + I)));
        S->GetMarks()->SetStyle(TSeriesMarksStyle::smLabel);
        Check(*C, "long-labels");
    }
    {
        auto C = MakeChart(400, 250, "Ünïcödé — 月次収益 — доход — إيرادات");
        auto* S = AddSeries<TBarSeries>(*C);
        const char* L[] = {"一月", "二月", "Март", "أبريل", "Μάιος", "😀"};
        for (int I = 0; I < 6; ++I) S->Add(I * 3 + 1, L[I]);
        Check(*C, "unicode");
    }
    {
        auto C = MakeChart(400, 250, "Empty");
        AddSeries<TBarSeries>(*C);
        Check(*C, "empty");
    }
    {
        auto C = MakeChart(400, 250, "Huge");
        auto* S = AddSeries<TBarSeries>(*C);
        S->Add(1e300, "a");
        S->Add(-1e300, "b");
        S->Add(1.7e308, "c");
        Check(*C, "huge");
    }
    {
        auto C = MakeR1(120, 80);
        Check(*C, "small");
        C->SetWidth(40);
        C->SetHeight(30);
        Check(*C, "tiny");
    }
    Check(*MakeR1(1600, 1000), "large");
    const std::pair<TChartSeriesClass, const char*> Types[] = {
        {&THorizBarSeries::NewInstance, "horizbar"}, {&TAreaSeries::NewInstance, "area"},
        {&TPointSeries::NewInstance, "point"},       {&TPieSeries::NewInstance, "pie"}};
    for (auto [New, Name] : Types) {
        auto C = MakeR1(400, 250, New);
        const TPixels Flat = Check(*C, std::string("r1-") + Name);
        C->SetView3D(true);
        Check(*C, std::string("r1-") + Name + "-3d", &Flat);
    }
}

}  // namespace
}  // namespace pv
