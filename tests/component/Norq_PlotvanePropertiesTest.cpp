// The write rule of the appearance and series properties: an unchanged
// value calls nothing and renders nothing; a changed one reaches the chart
// and refreshes once. Object-valued properties compare by identity.

#include <gtest/gtest.h>

#include <functional>

#include "tests/component/Fixture.h"

namespace Norq_Plotvane::testing {
namespace {

TEST_F(PlotvaneTest, UnchangedWritesCallNothingAndRenderNothing) {
    Attach();
    const auto Before = ChartChanges();
    Chart->SetTitleColor(Chart->GetTitleColor());
    Chart->SetTitleAlignment(Chart->GetTitleAlignment());
    Chart->SetColor(Chart->GetColor());
    Chart->SetHeight(Chart->GetHeight());
    Chart->SetWidth(Chart->GetWidth());
    Chart->SetAxisLeftTitleCaption(Chart->GetAxisLeftTitleCaption());
    Chart->SetAxisBottomTitleCaption(Chart->GetAxisBottomTitleCaption());
    Chart->SetLegendVisible(Chart->GetLegendVisible());
    Chart->SetLegendStyle(Chart->GetLegendStyle());
    Chart->SetGradientStartColor(Chart->GetGradientStartColor());
    Chart->SetGradientEndColor(Chart->GetGradientEndColor());
    Chart->SetGradientVisible(Chart->GetGradientVisible());
    Chart->SetView3D(Chart->GetView3D());
    Chart->SetView3DPercent(Chart->GetView3DPercent());
    Chart->SetMonochrome(Chart->GetMonochrome());
    Chart->SetSeriesColor(Chart->GetSeriesColor());
    Chart->SetSeriesColorNegative(Chart->GetSeriesColorNegative());
    Chart->SetSeriesColorMode(Chart->GetSeriesColorMode());
    Chart->SetSeriesStyle(Chart->GetSeriesStyle());
    Chart->SetMarksStyle(Chart->GetMarksStyle());
    Chart->SetMarksVisible(Chart->GetMarksVisible());
    Chart->SetMarksBackColor(Chart->GetMarksBackColor());
    Chart->SetValueFormat(Chart->GetValueFormat());
    Chart->SetTitleFont(Chart->GetTitleFont());
    Chart->SetAxisLeftTitleFont(Chart->GetAxisLeftTitleFont());
    Chart->SetAxisBottomTitleFont(Chart->GetAxisBottomTitleFont());
    Chart->SetMarksFont(Chart->GetMarksFont());
    Chart->SetTitleText(Chart->GetTitleText());
    Chart->SetJPEGQuality(Chart->GetJPEGQuality());
    EXPECT_EQ(AfterDrawCalls, 0);
    EXPECT_EQ(ChartChanges(), Before);
}

TEST_F(PlotvaneTest, EachChangedWriteReachesTheChartAndRefreshesOnce) {
    Attach();
    int Expected = 0;
    auto Check = [&](const char* What) {
        ++Expected;
        EXPECT_EQ(AfterDrawCalls, Expected) << What;
    };
    Chart->SetTitleColor(pv::clYellow), Check("TitleColor");
    EXPECT_EQ(Chart->GetInternalChart()->GetTitle()->GetColor(), pv::clYellow);
    Chart->SetTitleAlignment(TAlignment::taLeftJustify), Check("TitleAlignment");
    Chart->SetColor(pv::clWhite), Check("Color");
    Chart->SetHeight(200), Check("Height");
    Chart->SetWidth(300), Check("Width");
    Chart->SetAxisLeftTitleCaption("EUR"), Check("AxisLeftTitleCaption");
    Chart->SetAxisBottomTitleCaption("Month"), Check("AxisBottomTitleCaption");
    Chart->SetLegendVisible(false), Check("LegendVisible");
    Chart->SetLegendStyle(TLegendStyle::lsSeries), Check("LegendStyle");
    Chart->SetGradientStartColor(pv::clAqua), Check("GradientStartColor");
    Chart->SetGradientEndColor(pv::clNavy), Check("GradientEndColor");
    Chart->SetGradientVisible(true), Check("GradientVisible");
    Chart->SetView3D(!Chart->GetView3D()), Check("View3D");
    Chart->SetView3DPercent(40), Check("View3DPercent");
    Chart->SetMonochrome(true), Check("Monochrome");
    Chart->SetSeriesColor(pv::clGreen), Check("SeriesColor");
    Chart->SetSeriesColorNegative(pv::clMaroon), Check("SeriesColorNegative");  // refreshes in any mode
    Chart->SetSeriesColorMode(TSeriesColorMode::scSingleColor), Check("SeriesColorMode");
    Chart->SetMarksStyle(TSeriesMarksStyle::smLabelValue), Check("MarksStyle");
    Chart->SetMarksVisible(!Chart->GetMarksVisible()), Check("MarksVisible");
    Chart->SetMarksBackColor(pv::clSilver), Check("MarksBackColor");
    Chart->SetValueFormat("0.00"), Check("ValueFormat");
    EXPECT_EQ(Chart->GetChartSeries()->GetValueFormat(), "0.00");
    EXPECT_EQ(Chart->GetInternalChart()->GetWidth(), 300);
    EXPECT_EQ(Image->GetPicture()->GetWidth(), 300);
    EXPECT_EQ(Image->GetPicture()->GetHeight(), 200);
}

TEST_F(PlotvaneTest, CaptionsAndValueFormatCompareLetterCase) {
    Chart->SetAxisLeftTitleCaption("eur");
    Chart->SetValueFormat("0.0e+00");
    Attach();
    Chart->SetAxisLeftTitleCaption("EUR");
    Chart->SetValueFormat("0.0E+00");
    EXPECT_EQ(AfterDrawCalls, 2);
    Chart->SetAxisLeftTitleCaption("EUR");
    EXPECT_EQ(AfterDrawCalls, 2);
    // A read is a copy of the caption, not a view of it.
    std::string Copy = Chart->GetAxisLeftTitleCaption();
    Copy += "x";
    EXPECT_EQ(Chart->GetAxisLeftTitleCaption(), "EUR");
}

TEST_F(PlotvaneTest, FontsCompareByIdentityAndCopyContents) {
    Attach();
    TNorq_DBPlotvane* C = Chart;
    struct Accessors {
        std::function<TFont*()> Get;
        std::function<void(TFont*)> Set;
    };
    const Accessors All[] = {
        {[C] { return C->GetTitleFont(); }, [C](TFont* F) { C->SetTitleFont(F); }},
        {[C] { return C->GetAxisLeftTitleFont(); }, [C](TFont* F) { C->SetAxisLeftTitleFont(F); }},
        {[C] { return C->GetAxisBottomTitleFont(); }, [C](TFont* F) { C->SetAxisBottomTitleFont(F); }},
        {[C] { return C->GetMarksFont(); }, [C](TFont* F) { C->SetMarksFont(F); }},
    };
    for (const Accessors& A : All) {
        AfterDrawCalls = 0;
        TFont* Own = A.Get();
        // Changing the chart's own object changes the chart but runs no refresh,
        // and writing it back finds the same object.
        Own->SetSize(21);
        A.Set(Own);
        EXPECT_EQ(AfterDrawCalls, 0);
        EXPECT_EQ(A.Get()->GetSize(), 21);

        // An equal but different object counts as a change; its contents are
        // copied and the caller keeps its object.
        TFont Mine;
        Mine.Assign(*Own);
        A.Set(&Mine);
        EXPECT_EQ(AfterDrawCalls, 1);
        EXPECT_EQ(A.Get(), Own);
        Mine.SetName("Serif");
        EXPECT_NE(Own->GetName(), "Serif");
    }
}

TEST_F(PlotvaneTest, TitleTextComparesByIdentityAndCopiesLines) {
    Attach();
    TStrings* Own = Chart->GetTitleText();
    Own->Add("second");  // the chart's own list: no refresh
    Chart->SetTitleText(Own);
    EXPECT_EQ(AfterDrawCalls, 0);
    EXPECT_EQ(Chart->GetTitleText()->GetCount(), 2);

    pv::TStringList Same;
    Same.Assign(*Own);
    Chart->SetTitleText(&Same);
    EXPECT_EQ(AfterDrawCalls, 1);

    pv::TStringList Lines;
    Lines.Add("Revenue");
    Lines.Add("by month");
    Lines.Add("2026");
    Chart->SetTitleText(&Lines);
    EXPECT_EQ(AfterDrawCalls, 2);
    EXPECT_EQ(Chart->GetTitleText(), Own);
    EXPECT_EQ(Own->ToVector(), Lines.ToVector());
    EXPECT_EQ(Lines.GetCount(), 3);  // the given list is left as it was
}

TEST_F(PlotvaneTest, PointerWritesAlwaysRefreshAndReadFallbacksOnBars) {
    Attach();
    const auto Before = ChartChanges();
    Chart->SetPointerHorizSize(10);
    Chart->SetPointerHorizSize(10);
    Chart->SetPointerVertSize(4);
    Chart->SetPointerVisible(true);
    Chart->SetPointerDraw3D(true);
    Chart->SetPointerStyle(TSeriesPointerStyle::psCircle);
    EXPECT_EQ(AfterDrawCalls, 6);
    EXPECT_EQ(Chart->GetPointerHorizSize(), 4);
    EXPECT_EQ(Chart->GetPointerVertSize(), 4);
    EXPECT_FALSE(Chart->GetPointerVisible());
    EXPECT_FALSE(Chart->GetPointerDraw3D());
    EXPECT_EQ(Chart->GetPointerStyle(), TSeriesPointerStyle::psRectangle);
    // Nothing in the chart changed but the renders' point colours.
    EXPECT_NE(dynamic_cast<TBarSeries*>(Chart->GetChartSeries()), nullptr);
    (void)Before;
}

TEST_F(PlotvaneTest, SeriesStyleWriteKeepsTheBarSeries) {
    Attach();
    TChartSeries* Before = Chart->GetChartSeries();
    Chart->SetSeriesStyle(TSeriesStyle::ssLineSeries);
    EXPECT_EQ(Chart->GetChartSeries(), Before);
    EXPECT_EQ(AfterDrawCalls, 0);
}

TEST_F(PlotvaneTest, MonochromeIsNotPublished) {
    const pv::TClassInfo& Info = TNorq_DBPlotvane::StaticClassInfo();
    EXPECT_EQ(pv::GetPropInfo(Info, "Monochrome"), nullptr);
    auto Props = pv::GetPropList(Info);
    ASSERT_EQ(Props.size(), 52u);
    EXPECT_EQ(Props[0]->Name, "Name");
    EXPECT_EQ(Props[1]->Name, "Tag");
    EXPECT_EQ(Props[2]->Name, "PreviewImage");
    EXPECT_EQ(Props[25]->Name, "DataSource");
    EXPECT_EQ(Props[41]->Name, "PointerVertSize");
    EXPECT_EQ(Props[42]->Name, "SeriesType");
    EXPECT_EQ(Props[43]->Name, "Locale");
    EXPECT_EQ(Props[46]->Name, "SeriesPalette");
    EXPECT_EQ(Props[47]->Name, "ValueAxisLogarithmic");
    EXPECT_EQ(Props[48]->Name, "Theme");
    EXPECT_EQ(Props[49]->Name, "HintTemplate");
    EXPECT_EQ(Props[50]->Name, "LinkTemplate");
}

}  // namespace
}  // namespace Norq_Plotvane::testing
