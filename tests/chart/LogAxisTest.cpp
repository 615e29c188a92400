// Logarithmic value axes: ticks at powers of ten, bars whose tops stand a
// decade apart for values ten times apart, and an error naming the point for
// a value the axis cannot show.

#include <gtest/gtest.h>

#include <cmath>

#include "platform/chart/Chart.h"
#include "platform/chart/internal/AxisMath.h"
#include "platform/chart/internal/ChartData.h"
#include "platform/chart/internal/ChartLayout.h"
#include "platform/chart/internal/TextEngine.h"
#include "platform/rtl/Exception.h"
#include "tests/chart/ChartFixtures.h"
#include "tests/support/ThrowMessage.h"

namespace pv {
namespace {

using testing::AddSeries;
using testing::MakeChart;

TEST(LogAxisTest, TicksAtPowersOfTenAndBetweenThemWhereThereIsRoom) {
    const TAxisTicks Few = LogTicks({3, 7000}, 5, true);
    EXPECT_EQ(Few.Range.Min, 1);
    EXPECT_EQ(Few.Range.Max, 10000);
    EXPECT_EQ(Few.Values, (std::vector<double>{1, 10, 100, 1000, 10000}));
    const TAxisTicks Room = LogTicks({2, 80}, 10, true);
    EXPECT_EQ(Room.Values, (std::vector<double>{1, 2, 5, 10, 20, 50, 100}));
    EXPECT_EQ(Room.Step, 1);
    // Fifteen decades on five ticks: every fifth power.
    const TAxisTicks Many = LogTicks({1e-3, 1e12}, 5, true);
    EXPECT_EQ(Many.Values, (std::vector<double>{1, 1e5, 1e10}));
    // A fixed range keeps its ends; ticks inside it only.
    const TAxisTicks Fixed = LogTicks({5, 500}, 5, false);
    EXPECT_EQ(Fixed.Range.Min, 5);
    EXPECT_EQ(Fixed.Values, (std::vector<double>{5, 10, 50, 100, 500}));

    const TLinearMap M({1, 1000}, 300, 0, true);
    EXPECT_DOUBLE_EQ(M.ToPixel(1), 300);
    EXPECT_DOUBLE_EQ(M.ToPixel(10), 200);
    EXPECT_DOUBLE_EQ(M.ToPixel(1000), 0);
    EXPECT_GT(M.ToPixel(0), 300);  // beyond the low end, never NaN
}

// Bars of 10, 100 and 1000 rise by equal steps; a bar grows from the axis's
// low end; a value at or below zero stops the drawing with its series and
// point named, and so does a fixed range that reaches zero.
TEST(LogAxisTest, ValuesTenTimesApartStandEquallyFarApart) {
    auto Chart = MakeChart(400, 300);
    Chart->GetLegend()->SetVisible(false);
    auto* S = AddSeries<TBarSeries>(*Chart);
    S->SetTitle("Visits");
    S->GetMarks()->SetVisible(false);
    S->SetSeriesColor(clBlue);
    for (double V : {10.0, 100.0, 1000.0}) S->Add(V);
    Chart->GetLeftAxis()->SetLogarithmic(true);
    const TChartData D = TChartData::Gather(*Chart);
    const TChartLayout L = LayoutChart(*Chart, D, TTextEngine::ForThisThread(), 400, 300);
    ASSERT_TRUE(L.ValueMap.Logarithmic());
    auto Bitmap = testing::Render(*Chart);
    auto Top = [&](int I) {
        const int X = static_cast<int>(L.Categories.Center(I));
        int Y = 0;
        while (Y < 300 && Bitmap->GetPixel(X, Y) != clBlue) ++Y;
        return Y;
    };
    const int T0 = Top(0), T1 = Top(1), T2 = Top(2);
    EXPECT_NEAR(T0 - T1, T1 - T2, 1.5);
    EXPECT_GT(T0 - T1, 20);
    EXPECT_NEAR(T2, std::round(L.ValueMap.ToPixel(1000)), 1);
    // From the axis's low end, a decade below the least bar.
    EXPECT_NEAR(static_cast<int>(L.Plot.Bottom()) - T0, T0 - T1, 1.5);
    const int X = static_cast<int>(L.Categories.Center(0));
    EXPECT_EQ(Bitmap->GetPixel(X, static_cast<int>(L.Plot.Bottom()) - 2), clBlue);

    S->Add(-5, "Apr");
    EXPECT_THROW_MSG(testing::Render(*Chart), EInvalidGraphic,
                     "Cannot draw chart: series 'Visits' has the value -5 at point 4 ('Apr'), and a logarithmic "
                     "value axis shows values above 0 only");
    S->Delete(3);
    Chart->GetLeftAxis()->SetMinMax(0, 100);
    EXPECT_THROW_MSG_HAS(testing::Render(*Chart), EInvalidGraphic, "its value axis runs from 0");
}

}  // namespace
}  // namespace pv
