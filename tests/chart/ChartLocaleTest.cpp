// Locales from ICU's data: both spellings of a name, refusals naming the
// value, and the separators reaching everything a chart writes.

#include <gtest/gtest.h>

#include "platform/chart/Chart.h"
#include "platform/chart/internal/ChartData.h"
#include "platform/chart/internal/ChartLayout.h"
#include "platform/chart/internal/TextEngine.h"
#include "platform/rtl/Exception.h"
#include "tests/chart/ChartFixtures.h"
#include "tests/support/ThrowMessage.h"

namespace pv {
namespace {

TEST(ChartLocaleTest, NamesAreReadInBothSpellingsAndUnknownOnesAreRefusedByName) {
    const auto De = FindChartLocale("de-DE");
    EXPECT_EQ(De->Id, "de_DE");
    EXPECT_EQ(FindChartLocale("de_DE")->Id, "de_DE");
    EXPECT_EQ(De->Separators.Decimal, ",");
    EXPECT_EQ(De->Separators.Thousands, ".");
    EXPECT_EQ(De->MonthNames[0], "Januar");
    EXPECT_EQ(De->ShortDayNames[1], "Mo");
    const auto Fr = FindChartLocale("fr");
    EXPECT_EQ(Fr->Separators.Decimal, ",");
    EXPECT_EQ(Fr->Separators.Thousands, "\u202F");
    EXPECT_EQ(Fr->MonthNames[11], "d\u00E9cembre");
    EXPECT_EQ(FindChartLocale("en-US")->Separators.Decimal, ".");
    EXPECT_EQ(FindChartLocale("")->MonthNames[0], "January");
    EXPECT_EQ(FindChartLocale("").get(), &DefaultChartLocale());
    for (const char* Bad : {"xx-YY", "de_DE.UTF-8", "C", "../de", "de DE", "en-"}) {
        SCOPED_TRACE(Bad);
        EXPECT_THROW_MSG(FindChartLocale(Bad), EConvertError,
                         "'" + std::string(Bad) +
                             "' is not a known locale: give a language tag such as 'de-DE', 'fr' or 'en-US'");
    }
}

// The axis labels, marks and legend of a chart in German write "," for the
// point and "." between thousands; an unknown locale leaves the chart as it
// was.
TEST(ChartLocaleTest, AChartsNumbersAreWrittenInItsLocale) {
    auto Chart = testing::MakeR1();
    TChartSeries* S = Chart->GetSeries(0);
    S->Clear();
    S->Add(1234.5, "Jan");
    S->Add(-2500.25, "Feb");
    S->SetValueFormat("#,##0.00");
    Chart->SetLocale("de-DE");
    EXPECT_THROW_MSG_HAS(Chart->SetLocale("xx"), EConvertError, "'xx' is not a known locale");
    EXPECT_EQ(Chart->GetLocale(), "de-DE");
    const TChartData D = TChartData::Gather(*Chart);
    EXPECT_EQ(MarkText(D.Series[0], 0), "1.234,50");
    EXPECT_EQ(MarkText(D.Series[0], 1), "-2.500,25");
    const TChartLayout L = LayoutChart(*Chart, D, TTextEngine::ForThisThread(), 400, 250);
    ASSERT_FALSE(L.TickLabels.empty());
    std::string Ticks;
    for (const TPlacedText& T : L.TickLabels) Ticks += T.Layout->Text() + " ";
    EXPECT_NE(Ticks.find(" 1.000,00 "), std::string::npos) << Ticks;
    EXPECT_NE(Ticks.find("-2.000,00 "), std::string::npos) << Ticks;
    ASSERT_FALSE(L.LegendRows.empty());
    ASSERT_TRUE(L.LegendRows[0].Value);
    EXPECT_EQ(L.LegendRows[0].Value->Text(), "1.234,50");
}

}  // namespace
}  // namespace pv
