// Further series of a chart (TNorq_DBPlotvaneSeries): the refresh rules of
// their data sets and sources, and teardown in every order of the chart, the
// series, its data source and its data set.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "component/Norq_PlotvaneSeries.h"
#include "platform/db/DBError.h"
#include "platform/db/MemDataSet.h"
#include "tests/component/Fixture.h"

namespace Norq_Plotvane::testing {
namespace {

class PlotvaneSeriesObjectTest : public PlotvaneTest {
protected:
    void SetUp() override {
        PlotvaneTest::SetUp();
        Data = new pv::TMemDataSet(Module.get());
        Data->SetName("LastYear");
        Data->AddField("month", pv::TFieldType::ftString);
        Data->AddField("revenue", pv::TFieldType::ftFloat);
        Data->AppendRecord({"Jan", 4.0});
        Data->AppendRecord({"Feb", -2.0});
        Source = new TDataSource(Module.get());
        Source->SetName("LastYearSource");
        Source->SetDataSet(Data);
        Series = new TNorq_DBPlotvaneSeries(Module.get());
        Series->SetName("LastYearSeries");
        Series->SetChart(Chart);
        Series->SetXLabelsSource("month");
        Series->SetYValueSource("revenue");
        Series->SetDataSource(Source);
        for (double V : {3.0, 5.0}) Chart->GetChartSeries()->Add(V, "M");
    }

    const TChartSeries& Drawn() const { return *Series->GetSeriesObject(); }

    pv::TMemDataSet* Data = nullptr;
    TDataSource* Source = nullptr;
    TNorq_DBPlotvaneSeries* Series = nullptr;
};

TEST_F(PlotvaneSeriesObjectTest, OpenClosePostAndRemovalOfItsDataRefreshTheChart) {
    Attach();
    const TDBChart& Internal = *Chart->GetInternalChart();
    ASSERT_EQ(Internal.SeriesCount(), 2);
    EXPECT_EQ(Internal.GetSeries(0), Chart->GetChartSeries());  // the chart's own series stays first
    EXPECT_EQ(Internal.GetSeries(1), &Drawn());
    EXPECT_EQ(Drawn().Count(), 0);
    Data->Open();
    EXPECT_EQ(AfterDrawCalls, 1);
    EXPECT_EQ(Drawn().Count(), 2);
    Data->Edit();
    Data->FieldByName("revenue").SetAsFloat(9.0);
    Data->Post();
    EXPECT_EQ(AfterDrawCalls, 2);
    EXPECT_EQ(Drawn().GetYValue(0), 9.0);
    Series->SetYValueSource("revenue");  // unchanged: nothing
    Series->SetTitle("2025");
    EXPECT_EQ(AfterDrawCalls, 3);
    // By sign, in its own negative colour, at every render.
    Series->SetSeriesColorMode(TSeriesColorMode::scPositiveNegative);
    Series->SetSeriesColorNegative(pv::clMaroon);
    EXPECT_EQ(Drawn().GetValueColor(1), pv::clMaroon);
    EXPECT_EQ(Drawn().GetValueColor(0), pv::clDefault);
    // A field the data set lacks: an error naming chart, series and field.
    try {
        Series->SetYValueSource("profit");
        ADD_FAILURE() << "no error";
    } catch (const pv::EDatabaseError& E) {
        EXPECT_STREQ(E.what(), "Chart of 'Chart1', series '2025': LastYear: field \"profit\" not found");
    }
    EXPECT_EQ(Drawn().Count(), 0);
    Series->SetYValueSource("revenue");
    // The chart's own series changes type and stays first.
    Chart->SetSeriesType(TPlotvaneSeriesType::stLine);
    EXPECT_EQ(Internal.GetSeries(0), Chart->GetChartSeries());
    EXPECT_THROW(Series->SetSeriesType(TPlotvaneSeriesType::stPie), pv::ERangeError);
    Series->SetSeriesType(TPlotvaneSeriesType::stArea);
    EXPECT_EQ(Internal.GetSeries(1), &Drawn());
    EXPECT_EQ(Drawn().Count(), 2);
    EXPECT_EQ(Series->GetTitle(), "2025");
    const int Before = AfterDrawCalls;
    Data->Close();
    EXPECT_EQ(AfterDrawCalls, Before + 1);
    EXPECT_EQ(Drawn().Count(), 0);
    Data->Open();
    // The data source goes: the series is unbound and the chart drawn again
    // (as the link loses it, and as the series lets it go).
    Source->Free();
    EXPECT_EQ(Series->GetDataSource(), nullptr);
    EXPECT_EQ(Drawn().Count(), 0);
    EXPECT_EQ(AfterDrawCalls, Before + 4);
    // The series goes: it leaves the chart, which is drawn again.
    Series->Free();
    EXPECT_EQ(Internal.SeriesCount(), 1);
    EXPECT_EQ(Chart->ExtraSeriesCount(), 0);
    EXPECT_EQ(AfterDrawCalls, Before + 5);
}

// Each of the four parts torn down first, second, third or last: nothing
// touches a part that is gone, and what remains keeps drawing.
TEST_F(PlotvaneSeriesObjectTest, TeardownInEveryOrder) {
    std::array<int, 4> Order{0, 1, 2, 3};
    int Orders = 0;
    do {
        SCOPED_TRACE(::testing::Message() << Order[0] << Order[1] << Order[2] << Order[3]);
        TearDown();
        SetUp();
        Attach();
        Data->Open();
        pv::TComponentPtr<TNorq_DBPlotvane> C = Chart;
        pv::TComponentPtr<TNorq_DBPlotvaneSeries> S = Series;
        pv::TComponentPtr<TDataSource> D = Source;
        pv::TComponentPtr<pv::TMemDataSet> M = Data;
        for (int Part : Order) {
            switch (Part) {
                case 0: C->Free(); break;
                case 1: S->Free(); break;
                case 2: D->Free(); break;
                case 3: M->Free(); break;
            }
            if (C) {
                EXPECT_GT(C->GetBMPPicture()->GetWidth(), 0);
                EXPECT_EQ(C->GetInternalChart()->SeriesCount(), S ? 2 : 1);
            }
            if (S) {
                S->SetTitle(S->GetTitle() + "x");
                EXPECT_EQ(S->GetChart(), C.get());
                if (!C || !D || !M) {
                    EXPECT_EQ(S->GetSeriesObject()->Count(), 0);
                }
            }
        }
        ++Orders;
    } while (std::next_permutation(Order.begin(), Order.end()));
    EXPECT_EQ(Orders, 24);
    // And the whole form at once, with a series that moved to another chart
    // on the way.
    TearDown();
    SetUp();
    auto* Other = new TNorq_DBPlotvane(Module.get());
    Series->SetChart(Other);
    EXPECT_EQ(Chart->GetInternalChart()->SeriesCount(), 1);
    EXPECT_EQ(Other->GetInternalChart()->SeriesCount(), 2);
    Data->Open();
    Module.reset();
}

}  // namespace
}  // namespace Norq_Plotvane::testing
