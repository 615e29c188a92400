// Several series on one chart: bars side by side or piled (also to 100 %
// and below zero), piled areas, the order kinds are drawn in, the palette,
// groups of a split series, and the legend of several series.

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "platform/chart/internal/ChartData.h"
#include "platform/chart/internal/ChartLayout.h"
#include "tests/chart/ChartFixtures.h"

namespace pv {
namespace {

using namespace pv::testing;

// A chart of nothing but its plot, on which bars have hard pixel edges.
std::unique_ptr<TChart> BarePlot(int W, int H) {
    auto C = MakeChart(W, H, "");
    C->GetLegend()->SetVisible(false);
    C->GetLeftAxis()->SetVisible(false);
    C->GetBottomAxis()->SetVisible(false);
    return C;
}

template <class S>
S* Bare(TChart& C, TColor Colour, std::initializer_list<double> Values) {
    auto* Series = AddSeries<S>(C);
    Series->GetMarks()->SetVisible(false);
    Series->SetSeriesColor(Colour);
    for (double V : Values) Series->Add(V);
    return Series;
}

struct TLaidOut {
    TChartData Data;
    TChartLayout Layout;
};

TLaidOut Lay(const TChart& C) {
    TLaidOut Out{TChartData::Gather(C), {}};
    Out.Layout = LayoutChart(C, Out.Data, TTextEngine::ForThisThread(), C.GetWidth(), C.GetHeight());
    return Out;
}

// The first and last row of column X in colour Want, if any.
std::optional<std::pair<int, int>> Rows(const TBitmap& B, int X, TColor Want) {
    std::optional<std::pair<int, int>> R;
    for (int Y = 0; Y < B.GetHeight(); ++Y)
        if (B.GetPixel(X, Y) == Want) {
            if (!R) R = {Y, Y};
            R->second = Y;
        }
    return R;
}

// The rows a bar from value From to value To covers: whole pixels between
// the two values' rounded places.
std::pair<int, int> Span(const TChartLayout& L, double From, double To) {
    const int A = static_cast<int>(std::round(L.ValueMap.ToPixel(From)));
    const int B = static_cast<int>(std::round(L.ValueMap.ToPixel(To)));
    return {std::min(A, B), std::max(A, B) - 1};
}

TEST(SeveralSeriesTest, BarsStandSideBySidePileUpAndPileToAHundredPercent) {
    auto C = BarePlot(240, 200);
    Bare<TBarSeries>(*C, clBlue, {6, 3, -2});
    auto* Second = Bare<TBarSeries>(*C, clLime, {4});
    Second->AddNull();  // no point in the second category: a gap
    Second->Add(-3);

    {
        SCOPED_TRACE("side by side");
        const TLaidOut Out = Lay(*C);
        const TChartLayout& L = Out.Layout;
        auto B = Render(*C);
        const double Centre = L.Categories.Center(0), Slot = L.Categories.SlotWidth();
        // The two bars share the 70 % of the slot, the first on the left.
        const int Left = static_cast<int>(Centre - Slot * 0.35 / 2), Right = static_cast<int>(Centre + Slot * 0.35 / 2);
        EXPECT_EQ(Rows(*B, Left, clBlue), Span(L, 0, 6));
        EXPECT_EQ(Rows(*B, Right, clLime), Span(L, 0, 4));
        EXPECT_FALSE(Rows(*B, Left, clLime));
        // The second category: the first series' bar, and nothing beside it.
        const int Gap = static_cast<int>(L.Categories.Center(1) + Slot * 0.35 / 2);
        EXPECT_FALSE(Rows(*B, Gap, clLime));
        EXPECT_FALSE(Rows(*B, Gap, clBlue));
    }
    {
        SCOPED_TRACE("stacked");
        C->SetStacking(TSeriesStacking::sgStacked);
        const TLaidOut Out = Lay(*C);
        const TChartLayout& L = Out.Layout;
        auto B = Render(*C);
        // One bar a category, as wide as a lone series' bar: 70 % of the slot.
        const int X0 = static_cast<int>(L.Categories.Center(0));
        EXPECT_EQ(Rows(*B, X0, clBlue), Span(L, 0, 6));
        EXPECT_EQ(Rows(*B, X0, clLime), Span(L, 6, 10));  // its top is the sum
        EXPECT_EQ(Rows(*B, static_cast<int>(L.Categories.Center(0) + L.Categories.SlotWidth() * 0.3), clBlue),
                  Span(L, 0, 6));
        // A gap in the pile leaves the bar below alone.
        const int X1 = static_cast<int>(L.Categories.Center(1));
        EXPECT_EQ(Rows(*B, X1, clBlue), Span(L, 0, 3));
        EXPECT_FALSE(Rows(*B, X1, clLime));
        // Negative values pile down from zero.
        const int X2 = static_cast<int>(L.Categories.Center(2));
        // (The zero line, drawn over the bars, takes the first row.)
        EXPECT_EQ(Rows(*B, X2, clBlue), std::make_pair(Span(L, 0, -2).first + 1, Span(L, 0, -2).second));
        EXPECT_EQ(Rows(*B, X2, clLime), Span(L, -2, -5));
        EXPECT_LE(L.Ticks.Range.Min, -5);
        EXPECT_GE(L.Ticks.Range.Max, 10);
    }
    {
        SCOPED_TRACE("stacked to 100 %");
        C->SetStacking(TSeriesStacking::sgStacked100);
        const TLaidOut Out = Lay(*C);
        const TChartLayout& L = Out.Layout;
        auto B = Render(*C);
        const int X0 = static_cast<int>(L.Categories.Center(0));
        EXPECT_EQ(Rows(*B, X0, clBlue), Span(L, 0, 60));
        EXPECT_EQ(Rows(*B, X0, clLime), Span(L, 60, 100));
        EXPECT_EQ(Rows(*B, static_cast<int>(L.Categories.Center(1)), clBlue), Span(L, 0, 100));
        EXPECT_EQ(Rows(*B, static_cast<int>(L.Categories.Center(2)), clLime), Span(L, -40, -100));
        EXPECT_EQ(L.Ticks.Range.Min, -100);
        EXPECT_EQ(L.Ticks.Range.Max, 100);
    }
}

TEST(SeveralSeriesTest, HorizontalBarsPileAlongTheBottom) {
    auto C = BarePlot(240, 160);
    Bare<THorizBarSeries>(*C, clBlue, {5, 2});
    Bare<THorizBarSeries>(*C, clLime, {5, 6});
    C->SetStacking(TSeriesStacking::sgStacked);
    const TLaidOut Out = Lay(*C);
    const TChartLayout& L = Out.Layout;
    auto B = Render(*C);
    const int Y = static_cast<int>(L.Categories.Center(1));
    int First = -1, Last = -1, Boundary = -1;
    for (int X = 0; X < B->GetWidth(); ++X) {
        const TColor P = B->GetPixel(X, Y);
        if (P == clBlue || P == clLime) {
            if (First < 0) First = X;
            Last = X;
        }
        if (P == clLime && Boundary < 0) Boundary = X;
    }
    EXPECT_EQ(First, static_cast<int>(std::round(L.ValueMap.ToPixel(0))));
    EXPECT_EQ(Boundary, static_cast<int>(std::round(L.ValueMap.ToPixel(2))));
    EXPECT_EQ(Last + 1, static_cast<int>(std::round(L.ValueMap.ToPixel(8))));
}

TEST(SeveralSeriesTest, PiledAreasFillBetweenTheirBasesAndTops) {
    auto C = BarePlot(300, 200);
    Bare<TAreaSeries>(*C, clBlue, {2, 2, 2});
    Bare<TAreaSeries>(*C, clLime, {3, 5, 3});
    C->SetStacking(TSeriesStacking::sgStacked);
    C->GetLeftAxis()->SetMinMax(0, 10);
    const TLaidOut Out = Lay(*C);
    const TChartLayout& L = Out.Layout;
    auto B = Render(*C);
    const int X = static_cast<int>(L.Categories.Center(1));
    auto At = [&](double V) { return static_cast<int>(std::round(L.ValueMap.ToPixel(V))); };
    EXPECT_EQ(B->GetPixel(X, At(1)), clBlue);
    EXPECT_EQ(B->GetPixel(X, At(4.5)), clLime);  // from the top of the first, 2, to the sum, 7
    EXPECT_EQ(B->GetPixel(X, At(6.5)), clLime);
    EXPECT_EQ(B->GetPixel(X, At(7.5)), clWhite);
    EXPECT_GE(L.Ticks.Range.Max, 7);
}

TEST(SeveralSeriesTest, AreasBarsLinesAndPointsDrawInThatOrderWhateverTheirOrder) {
    // Added points, line, bars, area: drawn area, bars, line, points.
    auto C = BarePlot(200, 200);
    auto* Points = Bare<TPointSeries>(*C, clFuchsia, {5, 5});
    Points->GetPointer()->SetHorizSize(3);
    Points->GetPointer()->SetVertSize(3);
    Bare<TLineSeries>(*C, clRed, {5, 5});
    Bare<TBarSeries>(*C, clBlue, {8, 8});
    Bare<TAreaSeries>(*C, clLime, {10, 10});
    const TLaidOut Out = Lay(*C);
    const TPointF P = Out.Layout.At(0, 5);
    auto B = Render(*C);
    EXPECT_EQ(B->GetPixel(static_cast<int>(P.X), static_cast<int>(P.Y)), clFuchsia);  // the symbol on top
    // Beside the symbol, the bar hides the area.
    EXPECT_EQ(B->GetPixel(static_cast<int>(P.X), static_cast<int>(Out.Layout.At(0, 7).Y)), clBlue);
    EXPECT_EQ(B->GetPixel(static_cast<int>(P.X), static_cast<int>(Out.Layout.At(0, 9.5).Y)), clLime);
}

TEST(SeveralSeriesTest, GroupsDrawAsSeriesInTheirSeriesLookAndThePalette) {
    auto C = MakeChart(400, 250);
    auto* S = AddSeries<TBarSeries>(*C);
    S->SetSeriesColor(clBlue);
    S->SetColorEachPoint(true);  // several series: each in its own colour
    S->GetMarks()->SetVisible(false);
    S->SetValueFormat("0.0");
    for (double V : {1, 2, 3}) S->Add(V, "c");
    S->SetGroupTitle("EU");
    TChartSeries& US = S->AddGroup("US");
    TChartSeries& Asia = S->AddGroup("Asia");
    for (double V : {4, 5, 6}) US.Add(V, "c");
    for (double V : {7, 8, 9}) Asia.Add(V, "c");
    const TColor Orange = RGB(0xE6, 0x9F, 0x00), Green = RGB(0x00, 0x9E, 0x73);
    C->SetPalette({Orange, Green});

    const TLaidOut Out = Lay(*C);
    ASSERT_EQ(Out.Data.Series.size(), 3u);
    EXPECT_EQ(Out.Data.BarSeriesCount, 3);
    EXPECT_EQ(Out.Data.Series[0].Color, clBlue);
    EXPECT_EQ(Out.Data.Series[1].Color, Orange);
    EXPECT_EQ(Out.Data.Series[2].Color, Green);
    EXPECT_TRUE(Out.Data.Series[0].PointColors.empty());
    for (const TPlotSeries& P : Out.Data.Series) EXPECT_EQ(P.Look, S);
    // The legend lists the series by their group values, though it is set
    // to list the points.
    ASSERT_EQ(Out.Layout.LegendRows.size(), 3u);
    EXPECT_EQ(Out.Layout.LegendRows[1].Color, Orange);
    EXPECT_EQ(MarkText(Out.Data.Series[2], 0), "7.0");  // in the series' value format
    EXPECT_EQ(SeriesTitle(*Out.Data.Series[0].Series, 0), "EU");
    EXPECT_EQ(SeriesTitle(*Out.Data.Series[2].Series, 2), "Asia");
    auto B = Render(*C);
    const int X = static_cast<int>(Out.Layout.Categories.Center(2) + Out.Layout.Categories.SlotWidth() * 0.7 / 3);
    EXPECT_EQ(B->GetPixel(X, static_cast<int>(Out.Layout.At(2, 4).Y)), Green);

    // One series again: its legend lists its points, as ever.
    S->Clear();
    for (double V : {1, 2}) S->Add(V, "c");
    const TLaidOut Lone = Lay(*C);
    EXPECT_EQ(Lone.Layout.LegendRows.size(), 2u);
    EXPECT_FALSE(Lone.Data.Series[0].PointColors.empty());
    // A copy of the series carries copies of its groups.
    S->AddGroup("US").Add(3);
    TBarSeries Copy(nullptr);
    Copy.Assign(*S);
    ASSERT_EQ(Copy.GroupCount(), 1);
    EXPECT_NE(Copy.GetGroup(0), S->GetGroup(0));
    EXPECT_EQ(Copy.GetGroup(0)->GetYValue(0), 3);
}

}  // namespace
}  // namespace pv
