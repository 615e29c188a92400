// The series type: which series class the chart draws, switched with a data
// set attached and open, keeping what was set on the series.

#include <gtest/gtest.h>

#include "platform/db/MemDataSet.h"
#include "tests/component/Fixture.h"
#include "tests/support/ThrowMessage.h"

namespace Norq_Plotvane::testing {
namespace {

constexpr TPlotvaneSeriesType AllTypes[] = {TPlotvaneSeriesType::stBar,   TPlotvaneSeriesType::stHorizBar,
                                            TPlotvaneSeriesType::stLine,  TPlotvaneSeriesType::stArea,
                                            TPlotvaneSeriesType::stPoint, TPlotvaneSeriesType::stPie};

class SeriesTypeTest : public PlotvaneTest {
protected:
    void SetUp() override {
        PlotvaneTest::SetUp();
        Data = new pv::TMemDataSet(Module.get());
        Data->SetName("Sales");
        Data->AddField("month", pv::TFieldType::ftString);
        Data->AddField("revenue", pv::TFieldType::ftFloat);
        Data->AppendRecord({std::string("Jan"), 12.0});
        Data->AppendRecord({std::string("Feb"), -5.0});
        Data->AppendRecord({std::string("Mar"), 7.5});
        Source = new pv::TDataSource(Module.get());
        Source->SetDataSet(Data);
        Chart->SetXLabelsSource("month");
        Chart->SetYValueSource("revenue");
        Data->Open();
        Chart->SetDataSource(Source);
    }
    TChartSeries* Series() const { return Chart->GetChartSeries(); }

    pv::TMemDataSet* Data = nullptr;
    pv::TDataSource* Source = nullptr;
};

TEST_F(SeriesTypeTest, ANewChartIsABarChartAndStylesLeaveItSo) {
    TNorq_DBPlotvane Fresh(nullptr);
    EXPECT_EQ(Fresh.GetSeriesType(), TPlotvaneSeriesType::stBar);
    EXPECT_EQ(Fresh.GetChartSeries()->ClassName(), "TBarSeries");
    // SeriesStyle never changes the series, whatever the type.
    Chart->SetSeriesType(TPlotvaneSeriesType::stPie);
    TChartSeries* Pie = Series();
    Chart->SetSeriesStyle(TSeriesStyle::ssLineSeries);
    EXPECT_EQ(Series(), Pie);
    EXPECT_EQ(Chart->GetSeriesStyle(), TSeriesStyle::ssLineSeries);
}

TEST_F(SeriesTypeTest, EachTypeMakesItsClassAndRefreshesOnce) {
    const char* Classes[] = {"TBarSeries", "THorizBarSeries", "TLineSeries", "TAreaSeries", "TPointSeries",
                             "TPieSeries"};
    Attach();
    // From bar to every type and back to bar, with an open data set.
    for (int Round = 0; Round < 2; ++Round)
        for (int T = 1; T <= 6; ++T) {
            const TPlotvaneSeriesType Type = AllTypes[T % 6];
            SCOPED_TRACE(Classes[T % 6]);
            AfterDrawCalls = 0;
            Chart->SetSeriesType(Type);
            EXPECT_EQ(AfterDrawCalls, 1);
            EXPECT_EQ(Chart->GetSeriesType(), Type);
            EXPECT_EQ(Series()->ClassName(), Classes[T % 6]);
            // The same owner and chart, the only series of the chart.
            EXPECT_EQ(Series()->GetOwner(), Chart->GetInternalChart());
            ASSERT_EQ(Chart->GetInternalChart()->SeriesCount(), 1);
            EXPECT_EQ(Chart->GetInternalChart()->GetSeries(0), Series());
            // Still bound: the points of the data set.
            ASSERT_EQ(Series()->Count(), 3);
            EXPECT_EQ(Series()->GetLabel(2), "Mar");
            EXPECT_DOUBLE_EQ(Series()->GetYValue(1), -5.0);
            EXPECT_EQ(Series()->GetDataSource(), Data);
            // The same value again changes nothing.
            Chart->SetSeriesType(Type);
            EXPECT_EQ(AfterDrawCalls, 1);
        }
    EXPECT_EQ(Chart->GetInternalChart()->GetComponentCount(), 1);
}

TEST_F(SeriesTypeTest, WhatWasSetOnTheSeriesIsKept) {
    Chart->SetSeriesColor(0x336699);
    Chart->SetSeriesColorMode(TSeriesColorMode::scSingleColor);
    Chart->SetMarksVisible(true);
    Chart->SetMarksStyle(TSeriesMarksStyle::smLabelValue);
    Chart->SetMarksBackColor(pv::clYellow);
    pv::TFont Font;
    Font.SetSize(11);
    Chart->SetMarksFont(&Font);
    Chart->SetValueFormat("0.0 'EUR'");
    Series()->SetValueColor(1, pv::clLime);
    for (TPlotvaneSeriesType Type : AllTypes) {
        Chart->SetSeriesType(Type);
        SCOPED_TRACE(static_cast<int>(Type));
        EXPECT_EQ(Chart->GetSeriesColor(), 0x336699u);
        EXPECT_EQ(Chart->GetSeriesColorMode(), TSeriesColorMode::scSingleColor);
        EXPECT_FALSE(Series()->GetColorEachPoint());
        EXPECT_TRUE(Chart->GetMarksVisible());
        EXPECT_EQ(Chart->GetMarksStyle(), TSeriesMarksStyle::smLabelValue);
        EXPECT_EQ(Chart->GetMarksBackColor(), pv::clYellow);
        EXPECT_EQ(Chart->GetMarksFont()->GetSize(), 11);
        EXPECT_EQ(Chart->GetValueFormat(), "0.0 'EUR'");
        EXPECT_EQ(Chart->GetXLabelsSource(), "month");
        EXPECT_EQ(Chart->GetYValueSource(), "revenue");
        EXPECT_EQ(Series()->GetValueColor(1), pv::clLime);
    }
    // The binding follows the data set after the switches.
    Data->AppendRecord({std::string("Apr"), 3.0});
    ASSERT_EQ(Series()->Count(), 4);
    EXPECT_EQ(Series()->GetLabel(3), "Apr");
}

TEST_F(SeriesTypeTest, PointerPropertiesReachTheRealPointer) {
    // The bar and pie have no pointer: fallbacks.
    Chart->SetPointerStyle(TSeriesPointerStyle::psCircle);
    EXPECT_EQ(Chart->GetPointerStyle(), TSeriesPointerStyle::psRectangle);
    for (TPlotvaneSeriesType Type : {TPlotvaneSeriesType::stLine, TPlotvaneSeriesType::stArea,
                                     TPlotvaneSeriesType::stPoint}) {
        SCOPED_TRACE(static_cast<int>(Type));
        Chart->SetSeriesType(TPlotvaneSeriesType::stBar);
        Chart->SetSeriesType(Type);
        ASSERT_NE(Series()->GetPointer(), nullptr);
        EXPECT_TRUE(Series()->GetPointer()->GetInflateMargins());
        Chart->SetPointerVisible(true);
        Chart->SetPointerStyle(TSeriesPointerStyle::psDiamond);
        Chart->SetPointerHorizSize(7);
        Chart->SetPointerVertSize(6);
        Chart->SetPointerDraw3D(false);
        EXPECT_TRUE(Chart->GetPointerVisible());
        EXPECT_EQ(Series()->GetPointer()->GetStyle(), TSeriesPointerStyle::psDiamond);
        EXPECT_EQ(Chart->GetPointerHorizSize(), 7);
        EXPECT_EQ(Chart->GetPointerVertSize(), 6);
        EXPECT_FALSE(Chart->GetPointerDraw3D());
    }
    // Between two series with pointers the pointer goes along.
    Chart->SetSeriesType(TPlotvaneSeriesType::stLine);
    EXPECT_EQ(Chart->GetPointerStyle(), TSeriesPointerStyle::psDiamond);
    Chart->SetSeriesType(TPlotvaneSeriesType::stHorizBar);
    EXPECT_EQ(Chart->GetPointerHorizSize(), 4);
    EXPECT_EQ(Series()->GetPointer(), nullptr);
}

TEST_F(SeriesTypeTest, EveryTypeRendersItsPictures) {
    Chart->SetWidth(300);
    Chart->SetHeight(200);
    for (TPlotvaneSeriesType Type : AllTypes) {
        Chart->SetSeriesType(Type);
        Chart->SetView3D(Type == TPlotvaneSeriesType::stPie);
        const pv::TBitmap* B = Chart->GetBMPPicture();
        ASSERT_EQ(B->GetWidth(), 300);
        // Something in the series colour mode's automatic colours was drawn:
        // more than the title, legend and axes in black, grey and white.
        int Coloured = 0;
        for (int Y = 0; Y < B->GetHeight(); ++Y)
            for (int X = 0; X < B->GetWidth(); ++X) {
                const pv::TColor C = B->GetPixel(X, Y);
                Coloured += pv::GetRValue(C) != pv::GetGValue(C) || pv::GetGValue(C) != pv::GetBValue(C);
            }
        EXPECT_GT(Coloured, 300) << static_cast<int>(Type);
        EXPECT_GT(Chart->GetGIFPicture()->GetWidth(), 0);
    }
}

TEST_F(SeriesTypeTest, AnOrdinalOutsideTheTypeIsRefused) {
    TChartSeries* Before = Series();
    EXPECT_THROW_MSG(Chart->SetSeriesType(static_cast<TPlotvaneSeriesType>(9)), pv::ERangeError,
                     "SeriesType 9 of 'Chart1' is out of range stBar..stPie");
    EXPECT_EQ(Series(), Before);
}

}  // namespace
}  // namespace Norq_Plotvane::testing
