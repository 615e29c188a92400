// Data binding: the data source property, the field names, the data link's
// callbacks, and removal of the data source in every order.

#include <gtest/gtest.h>

#include "platform/db/MemDataSet.h"
#include "tests/component/Fixture.h"
#include "tests/support/LiveComponents.h"

namespace Norq_Plotvane::testing {
namespace {

class DataBindingTest : public PlotvaneTest {
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
        Source->SetName("SalesSource");
        Source->SetDataSet(Data);
    }
    TChartSeries* Series() const { return Chart->GetChartSeries(); }

    pv::TMemDataSet* Data = nullptr;
    pv::TDataSource* Source = nullptr;
};

TEST_F(DataBindingTest, OpenDataSetGivesTwoRefreshesAndThePoints) {
    Chart->SetXLabelsSource("month");
    Chart->SetYValueSource("revenue");
    Data->Open();
    Attach();
    Chart->SetDataSource(Source);
    // Once from the link's ActiveChanged while it is handed the source, once
    // after the series is bound.
    EXPECT_EQ(AfterDrawCalls, 2);
    EXPECT_EQ(Chart->GetDataSource(), Source);
    EXPECT_EQ(Chart->GetChartDataLink()->GetDataSource(), Source);
    ASSERT_EQ(Series()->Count(), 3);
    EXPECT_EQ(Series()->GetLabel(1), "Feb");
    EXPECT_DOUBLE_EQ(Series()->GetYValue(2), 7.5);

    // The held source again: handed to the link, which keeps it; nothing else.
    Chart->SetDataSource(Source);
    EXPECT_EQ(AfterDrawCalls, 2);
}

TEST_F(DataBindingTest, FieldNamesWhileClosedRenderNothingAndReadBack) {
    Attach();
    Chart->SetDataSource(Source);
    AfterDrawCalls = 0;
    Chart->SetXLabelsSource("month");
    Chart->SetXValueSource("");
    Chart->SetYValueSource("revenue");
    EXPECT_EQ(AfterDrawCalls, 0);
    EXPECT_EQ(Chart->GetXLabelsSource(), "month");
    EXPECT_EQ(Chart->GetYValueSource(), "revenue");

    Data->Open();  // re-binds and refreshes
    EXPECT_EQ(AfterDrawCalls, 1);
    EXPECT_EQ(Series()->Count(), 3);

    // While open a changed name refreshes; the same name does nothing; a
    // name differing in letter case is handed on.
    Chart->SetYValueSource("revenue");
    EXPECT_EQ(AfterDrawCalls, 1);
    Chart->SetXLabelsSource("Month");
    EXPECT_EQ(Chart->GetXLabelsSource(), "Month");
    EXPECT_EQ(AfterDrawCalls, 2);

    Data->Close();  // re-binds to the same, now closed, data set and refreshes
    EXPECT_EQ(AfterDrawCalls, 3);
    EXPECT_EQ(Series()->Count(), 0);
}

TEST_F(DataBindingTest, PostRefreshesScrollingAndUnpostedEditsDoNot) {
    Chart->SetXLabelsSource("month");
    Chart->SetYValueSource("revenue");
    Chart->SetDataSource(Source);
    Data->Open();
    Attach();
    Data->Next();
    Data->Last();
    Data->Edit();
    Data->FieldByName("revenue").SetAsFloat(99);
    EXPECT_EQ(AfterDrawCalls, 0);
    Data->Post();
    EXPECT_GE(AfterDrawCalls, 1);
    // The picture after a post shows the posted record.
    EXPECT_DOUBLE_EQ(Series()->GetYValue(2), 99);
}

TEST_F(DataBindingTest, SourceWithoutDataSetOrNilUnbinds) {
    Chart->SetYValueSource("revenue");
    Data->Open();
    Chart->SetDataSource(Source);
    ASSERT_EQ(Series()->Count(), 3);
    Attach();
    auto* Empty = new pv::TDataSource(Module.get());
    Chart->SetDataSource(Empty);
    EXPECT_EQ(Series()->Count(), 0);
    EXPECT_GE(AfterDrawCalls, 1);
    AfterDrawCalls = 0;
    Chart->SetDataSource(nullptr);
    EXPECT_EQ(Chart->GetDataSource(), nullptr);
    EXPECT_EQ(AfterDrawCalls, 1);
}

TEST_F(DataBindingTest, RemovalOfTheSourceUnbindsAndRefreshes) {
    Chart->SetYValueSource("revenue");
    Data->Open();
    Chart->SetDataSource(Source);
    Attach();
    delete Source;
    Source = nullptr;
    EXPECT_EQ(Chart->GetDataSource(), nullptr);
    EXPECT_EQ(Chart->GetChartDataLink()->GetDataSource(), nullptr);
    EXPECT_GE(AfterDrawCalls, 1);
    EXPECT_EQ(Series()->Count(), 0);
}

TEST_F(DataBindingTest, DataSetDestroyedFirstLeavesNothingDangling) {
    Chart->SetYValueSource("revenue");
    Data->Open();
    Chart->SetDataSource(Source);
    Attach();
    delete Data;
    Data = nullptr;
    EXPECT_EQ(Source->GetDataSet(), nullptr);
    EXPECT_EQ(Series()->GetDataSource(), nullptr);
    Chart->DrawPreviewImage();
    EXPECT_FALSE(Chart->GetBMPPicture()->GetEmpty());
}

TEST(DataBindingLifetime, EveryDestructionOrderIsClean) {
    pv::test::TLiveComponentsCheck LiveComponents;
    // 0 data set, 1 source, 2 component, 3 owner: destroy in each order of
    // the first three, the owner last; sources in another owner.
    const int Orders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (const auto& Order : Orders) {
        auto DataModule = std::make_unique<pv::TComponent>(nullptr);
        auto Form = std::make_unique<pv::TComponent>(nullptr);
        auto* Data = new pv::TMemDataSet(DataModule.get());
        Data->AddField("v", pv::TFieldType::ftFloat);
        Data->AppendRecord({1.0});
        auto* Source = new pv::TDataSource(DataModule.get());
        Source->SetDataSet(Data);
        auto* Chart = new TNorq_DBPlotvane(Form.get());
        auto* Image = new pv::TImage(Form.get());
        Chart->SetPreviewImage(Image);
        Chart->SetYValueSource("v");
        Chart->SetDataSource(Source);
        Data->Open();
        for (int Which : Order) {
            if (Which == 0) delete Data;
            if (Which == 1) delete Source;
            if (Which == 2) delete Chart;
        }
    }
    for (bool FormFirst : {true, false}) {
        auto DataModule = std::make_unique<pv::TComponent>(nullptr);
        auto Form = std::make_unique<pv::TComponent>(nullptr);
        auto* Data = new pv::TMemDataSet(DataModule.get());
        Data->AddField("v", pv::TFieldType::ftFloat);
        auto* Source = new pv::TDataSource(DataModule.get());
        Source->SetDataSet(Data);
        auto* Chart = new TNorq_DBPlotvane(Form.get());
        Chart->SetDataSource(Source);
        Data->Open();
        if (FormFirst) Form.reset(); else DataModule.reset();
    }
}

}  // namespace
}  // namespace Norq_Plotvane::testing
