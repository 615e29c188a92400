// Time axes: ticks at whole minutes, hours, days, weeks, months, quarters
// and years as the width allows, labels written for the step (and in the
// chart's locale), and points and bars drawn at their times.

#include <gtest/gtest.h>

#include <cmath>

#include "platform/chart/Chart.h"
#include "platform/chart/internal/AxisMath.h"
#include "platform/chart/internal/ChartData.h"
#include "platform/chart/internal/ChartLayout.h"
#include "platform/chart/internal/TextEngine.h"
#include "platform/rtl/DateTime.h"
#include "tests/chart/ChartFixtures.h"

namespace pv {
namespace {

using testing::AddSeries;
using testing::MakeChart;

double At(int Y, int M, int D, double Hours = 0) {
    return static_cast<double>(DaysFromCivil({Y, M, D})) * SecondsPerDay + Hours * 3600;
}

// The ticks an axis of Pixels gives over From..To when a label needs 7
// pixels a character and two labels 12 pixels between them.
TTimeTicks Ticks(double From, double To, TChartValueKind Kind = TChartValueKind::vkDateTime, double Pixels = 600,
                 const TChartLocale& Locale = DefaultChartLocale()) {
    auto Fits = [&](const TTimeTicks& T) {
        for (std::size_t I = 1; I < T.Values.size(); ++I) {
            const double Apart = (T.Values[I] - T.Values[I - 1]) / (To - From) * Pixels;
            if (Apart < 3.5 * double(T.Labels[I - 1].size() + T.Labels[I].size()) + 12) return false;
        }
        return true;
    };
    return TimeTicks({From, To}, Kind, Locale, static_cast<int>(Pixels / 20), Fits);
}

using TLabels = std::vector<std::string>;

TEST(TimeAxisTest, StepsFromMinutesToDecadesWithLabelsForTheStep) {
    // Minutes: every 5 (every 2 would be 31 pixels apart).
    TTimeTicks T = Ticks(At(2026, 3, 5, 14 + 3 / 60.0), At(2026, 3, 5, 14 + 41 / 60.0));
    EXPECT_EQ(T.Step, (TTimeStep{TTimeUnit::tuMinute, 5}));
    EXPECT_EQ(T.Labels, (TLabels{"14:05", "14:10", "14:15", "14:20", "14:25", "14:30", "14:35", "14:40"}));
    EXPECT_EQ(T.Values.front(), At(2026, 3, 5, 14 + 5 / 60.0));
    // Hours over midnight: the new day names itself.
    T = Ticks(At(2026, 3, 5, 18), At(2026, 3, 6, 6));
    EXPECT_EQ(T.Step, (TTimeStep{TTimeUnit::tuHour, 1}));
    ASSERT_EQ(T.Labels.size(), 13u);
    EXPECT_EQ(T.Labels[5], "23:00");
    EXPECT_EQ(T.Labels[6], "Mar 6");
    EXPECT_EQ(T.Values[6], At(2026, 3, 6));
    // Three days: every six hours; of dates, each day with its weekday
    // where there is room, without where not.
    T = Ticks(At(2026, 3, 2), At(2026, 3, 5));
    EXPECT_EQ(T.Step, (TTimeStep{TTimeUnit::tuHour, 6}));
    EXPECT_EQ(T.Labels[3], "18:00");
    EXPECT_EQ(T.Labels[4], "Mar 3");
    T = Ticks(At(2026, 3, 2), At(2026, 3, 5), TChartValueKind::vkDate);
    EXPECT_TRUE(T.Weekday);
    EXPECT_EQ(T.Labels, (TLabels{"Mon, Mar 2", "Tue, Mar 3", "Wed, Mar 4", "Thu, Mar 5"}));
    T = Ticks(At(2026, 3, 2), At(2026, 3, 12), TChartValueKind::vkDate);
    EXPECT_EQ(T.Step, (TTimeStep{TTimeUnit::tuDay, 1}));
    EXPECT_FALSE(T.Weekday);
    EXPECT_EQ(T.Labels.front(), "Mar 2");
    EXPECT_EQ(T.Labels.back(), "Mar 12");
    // Weeks start on Mondays; past New Year the year shows.
    T = Ticks(At(2025, 12, 10), At(2026, 2, 20));
    EXPECT_EQ(T.Step, (TTimeStep{TTimeUnit::tuWeek, 1}));
    for (double V : T.Values) EXPECT_EQ(WeekdayOfDays(static_cast<std::int64_t>(V / SecondsPerDay)), 1);
    EXPECT_EQ(T.Labels.front(), "Dec 15");
    // Months: January is its year; without one, the first month says it.
    T = Ticks(At(2026, 1, 10), At(2026, 4, 20), TChartValueKind::vkDateTime, 300);
    EXPECT_EQ(T.Labels, (TLabels{"Feb 2026", "Mar", "Apr"}));
    T = Ticks(At(2025, 10, 1), At(2026, 3, 1), TChartValueKind::vkDate, 300);
    EXPECT_EQ(T.Labels, (TLabels{"Oct", "Nov", "Dec", "2026", "Feb", "Mar"}));
    // Two years on 600 pixels: quarters.
    T = Ticks(At(2025, 1, 1), At(2026, 12, 31));
    EXPECT_EQ(T.Step, (TTimeStep{TTimeUnit::tuMonth, 3}));
    EXPECT_EQ(T.Labels, (TLabels{"Q1 2025", "Q2 2025", "Q3 2025", "Q4 2025", "Q1 2026", "Q2 2026", "Q3 2026",
                                 "Q4 2026"}));
    EXPECT_EQ(T.Values[5], At(2026, 4, 1));
    // Decades: every fifth year, on years that are multiples of five.
    T = Ticks(At(1988, 6, 1), At(2031, 6, 1));
    EXPECT_EQ(T.Labels, (TLabels{"1990", "1995", "2000", "2005", "2010", "2015", "2020", "2025", "2030"}));
    EXPECT_EQ(T.Values.front(), At(1990, 1, 1));

    // A date axis never ticks within a day; a time axis counts hours on.
    T = Ticks(At(2026, 3, 5), At(2026, 3, 6), TChartValueKind::vkDate);
    EXPECT_EQ(T.Labels, (TLabels{"Thu, Mar 5", "Fri, Mar 6"}));
    T = Ticks(-3600, 30 * 3600, TChartValueKind::vkTime);
    EXPECT_EQ(T.Step, (TTimeStep{TTimeUnit::tuHour, 3}));
    EXPECT_EQ(T.Labels.front(), "00:00");
    EXPECT_EQ(T.Labels.back(), "30:00");
    EXPECT_EQ(TimeTickLabel(-5400, {TTimeUnit::tuMinute, 30}, TChartValueKind::vkTime, false, DefaultChartLocale()),
              "-01:30");
    EXPECT_EQ(TimeTickLabel(At(2026, 3, 5, 14.5) + 5.25, {TTimeUnit::tuSecond, 0.05}, TChartValueKind::vkDateTime,
                            false, DefaultChartLocale()),
              "14:30:05.25");

    // Whatever the range, no hang and no overflow.
    T = Ticks(-1e300, 1e300);
    EXPECT_FALSE(T.Values.empty());
    EXPECT_TRUE(Ticks(At(2026, 3, 5), At(2026, 3, 5) + 1e-9).Values.size() <= 1);
}

TEST(TimeAxisTest, LabelsUseTheLocalesNamesAndOrder) {
    const TChartLocale& De = *FindChartLocale("de-DE");
    const TTimeStep Day{TTimeUnit::tuDay, 1};
    EXPECT_EQ(TimeTickLabel(At(2026, 3, 5), Day, TChartValueKind::vkDate, false, De), "5. M\xC3\xA4rz");
    EXPECT_EQ(TimeTickLabel(At(2026, 3, 5), Day, TChartValueKind::vkDate, true, De), "Do., 5. M\xC3\xA4rz");
    EXPECT_EQ(TimeTickLabel(At(2026, 10, 1), {TTimeUnit::tuMonth, 1}, TChartValueKind::vkDate, false, De), "Okt");
    const TChartLocale& Fr = *FindChartLocale("fr");
    EXPECT_EQ(TimeTickLabel(At(2026, 4, 1), {TTimeUnit::tuMonth, 3}, TChartValueKind::vkDate, false, Fr), "T2 2026");
}

// A chart of points (and bars) at given times, with the axes but no title
// or legend.
std::unique_ptr<TChart> TimeChart(int W, int H) {
    auto C = MakeChart(W, H, "");
    C->GetLegend()->SetVisible(false);
    return C;
}

// The middle of the run of pixels of colour Want in row Y, or -1.
double CentreInRow(const TBitmap& B, int Y, TColor Want) {
    int First = -1, Last = -1;
    for (int X = 0; X < B.GetWidth(); ++X)
        if (B.GetPixel(X, Y) == Want) {
            if (First < 0) First = X;
            Last = X;
        }
    return First < 0 ? -1 : (First + Last) / 2.0;
}

TEST(TimeAxisTest, PointsAndBarsStandAtTheirTimesUnderTheirTicks) {
    auto C = TimeChart(360, 260);
    auto* Points = AddSeries<TPointSeries>(*C);
    Points->SetSeriesColor(clRed);
    Points->GetPointer()->SetStyle(TSeriesPointerStyle::psRectangle);
    Points->GetXValues()->SetKind(TChartValueKind::vkDateTime);
    // Three points a day and a half and four days after the first, at
    // values that keep them on separate rows.
    Points->AddXY(At(2026, 3, 2), 10);
    Points->AddXY(At(2026, 3, 3, 12), 20);
    Points->AddXY(At(2026, 3, 6), 30);
    // A second series of bars at whole days of its own, with a gap.
    auto* Bars = AddSeries<TBarSeries>(*C);
    Bars->SetSeriesColor(clBlue);
    Bars->GetMarks()->SetVisible(false);
    Bars->GetXValues()->SetKind(TChartValueKind::vkDate);
    Bars->AddXY(At(2026, 3, 3), 5);
    Bars->AddXY(At(2026, 3, 4), 5);
    Bars->AddXY(At(2026, 3, 6), 5);

    const TChartData D = TChartData::Gather(*C);
    ASSERT_TRUE(D.TimeAxis);
    const TChartLayout L = LayoutChart(*C, D, TTextEngine::ForThisThread(), 360, 260);
    ASSERT_TRUE(L.TimeAxis);
    std::vector<std::string> Labels;
    for (const TPlacedText& P : L.CategoryLabels) Labels.push_back(P.Layout->Text());
    EXPECT_EQ(Labels, (TLabels{"Mar 2", "Mar 3", "Mar 4", "Mar 5", "Mar 6"}));

    auto B = testing::Render(*C);
    auto Row = [&](double V) { return static_cast<int>(std::round(L.ValueMap.ToPixel(V))); };
    const double X0 = CentreInRow(*B, Row(10), clRed), X1 = CentreInRow(*B, Row(20), clRed),
                 X2 = CentreInRow(*B, Row(30), clRed);
    ASSERT_GT(X0, L.Plot.X);
    // Positions in proportion to the times: 1.5 days of 4.
    EXPECT_NEAR((X1 - X0) / (X2 - X0), 1.5 / 4, 0.01);
    // Each tick mark below the axis is drawn where a point at its time is.
    const int TickRow = static_cast<int>(L.Plot.Bottom()) + 2;
    const TColor Axis = B->GetPixel(static_cast<int>(std::round(L.TimeMap.ToPixel(At(2026, 3, 6)))), TickRow);
    EXPECT_NE(Axis, clWhite);
    EXPECT_NEAR(X2, std::round(L.TimeMap.ToPixel(At(2026, 3, 6))), 0.5);
    EXPECT_EQ(B->GetPixel(static_cast<int>(std::round(X0)), TickRow), Axis);
    EXPECT_NE(B->GetPixel(static_cast<int>(std::round(X1)), TickRow), Axis);  // no tick at noon

    // Bars are centred on their days (the gap of March 5 stays empty), 70 %
    // of a day wide, and the first bar is whole inside the plot.
    const int BarRow = Row(2.5);
    const double Day = L.TimeMap.ToPixel(At(2026, 3, 4)) - L.TimeMap.ToPixel(At(2026, 3, 3));
    int Runs = 0, RunStart = -1;
    for (int X = 0; X <= B->GetWidth(); ++X) {
        const bool Blue = X < B->GetWidth() && B->GetPixel(X, BarRow) == clBlue;
        if (Blue && RunStart < 0) RunStart = X;
        if (!Blue && RunStart >= 0) {
            const double Centre = (RunStart + X - 1) / 2.0, Width = X - RunStart;
            const double Want = L.TimeMap.ToPixel(At(2026, 3, Runs == 2 ? 6 : 3 + Runs));
            EXPECT_NEAR(Centre, Want, 1.0) << "bar " << Runs;
            EXPECT_NEAR(Width, Day * 0.7, 1.0) << "bar " << Runs;
            ++Runs;
            RunStart = -1;
        }
    }
    EXPECT_EQ(Runs, 3);
}

}  // namespace
}  // namespace pv
