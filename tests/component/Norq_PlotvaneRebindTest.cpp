// When the held data source is given another data set, the chart follows the
// data source's present data set, whatever state the old and the new one are
// in, and never the one that left.

#include <gtest/gtest.h>

#include "platform/db/MemDataSet.h"
#include "tests/component/Fixture.h"

namespace Norq_Plotvane::testing {
namespace {

class RebindTest : public PlotvaneTest {
protected:
    void SetUp() override {
        PlotvaneTest::SetUp();
        A = NewData("A", {1.0, 2.0, 3.0});
        B = NewData("B", {10.0, 20.0});
        Source = new pv::TDataSource(Module.get());
        Source->SetName("Src");
        Chart->SetYValueSource("v");
    }

    pv::TMemDataSet* NewData(const std::string& Name, std::initializer_list<double> Values) {
        auto* D = new pv::TMemDataSet(Module.get());
        D->SetName(Name);
        D->AddField("v", pv::TFieldType::ftFloat);
        for (double V : Values) D->AppendRecord({V});
        return D;
    }
    TChartSeries* Series() const { return Chart->GetChartSeries(); }
    // What the series is bound to and how many points it shows.
    void ExpectBound(const pv::TComponent* DataSet, int Points) const {
        EXPECT_EQ(Series()->GetDataSource(), DataSet);
        EXPECT_EQ(Series()->Count(), Points);
    }

    pv::TMemDataSet* A = nullptr;
    pv::TMemDataSet* B = nullptr;
    pv::TDataSource* Source = nullptr;
};

TEST_F(RebindTest, OpenDataSetReplacedByAClosedOne) {
    Source->SetDataSet(A);
    A->Open();
    Chart->SetDataSource(Source);
    ExpectBound(A, 3);
    Attach();

    Source->SetDataSet(B);  // B is closed: the chart is empty, bound to B
    ExpectBound(B, 0);
    EXPECT_EQ(AfterDrawCalls, 1);

    A->AppendRecord({4.0});  // A's changes no longer reach the chart
    ExpectBound(B, 0);
    EXPECT_EQ(AfterDrawCalls, 1);

    B->Open();
    ExpectBound(B, 2);
    B->Close();
    ExpectBound(B, 0);
    EXPECT_EQ(AfterDrawCalls, 3);
}

TEST_F(RebindTest, OpenDataSetReplacedByAnOpenOne) {
    Source->SetDataSet(A);
    A->Open();
    B->Open();
    Chart->SetDataSource(Source);
    Attach();
    Source->SetDataSet(B);
    // Off, then on: both times the series is bound to the new data set.
    EXPECT_EQ(AfterDrawCalls, 2);
    ExpectBound(B, 2);
    A->AppendRecord({4.0});
    ExpectBound(B, 2);
    B->AppendRecord({30.0});
    ExpectBound(B, 3);
}

TEST_F(RebindTest, ClosedDataSetReplacedByAnOpenOne) {
    Source->SetDataSet(A);
    Chart->SetDataSource(Source);
    B->Open();
    Attach();
    Source->SetDataSet(B);
    EXPECT_EQ(AfterDrawCalls, 1);
    ExpectBound(B, 2);
    A->Open();  // the old one opening changes nothing
    ExpectBound(B, 2);
    EXPECT_EQ(AfterDrawCalls, 1);
}

TEST_F(RebindTest, ClosedDataSetReplacedByAClosedOne) {
    Source->SetDataSet(A);
    Chart->SetDataSource(Source);
    Attach();
    // The link stays inactive but is told, so the chart lets go of A.
    Source->SetDataSet(B);
    EXPECT_EQ(AfterDrawCalls, 1);
    ExpectBound(B, 0);
    A->Open();  // A opening must not fill the chart
    ExpectBound(B, 0);
    B->Open();
    ExpectBound(B, 2);
}

TEST_F(RebindTest, DataSetTakenAwayLeavesTheChartBoundToNothing) {
    for (bool OldOpen : {true, false}) {
        SCOPED_TRACE(OldOpen ? "old data set open" : "old data set closed");
        Source->SetDataSet(A);
        A->SetActive(OldOpen);
        Chart->SetDataSource(Source);
        Source->SetDataSet(nullptr);
        if (OldOpen) ExpectBound(nullptr, 0);
        A->Close();
        A->Open();
        EXPECT_NE(Series()->GetDataSource(), A);
        EXPECT_EQ(Series()->Count(), 0);
        Chart->SetDataSource(nullptr);
        A->Close();
    }
}

TEST_F(RebindTest, SourceFreedAfterTheSwitch) {
    Source->SetDataSet(A);
    A->Open();
    Chart->SetDataSource(Source);
    Source->SetDataSet(B);
    B->Open();
    ExpectBound(B, 2);
    const int Start = pv::TComponent::InstanceCount();
    Source->Free();
    Source = nullptr;
    EXPECT_EQ(Chart->GetDataSource(), nullptr);
    ExpectBound(nullptr, 0);
    A->AppendRecord({5.0});
    B->AppendRecord({5.0});
    EXPECT_EQ(Series()->Count(), 0);
    // Only the source is gone; the chart's own observer of B is let go at
    // the next binding.
    EXPECT_EQ(pv::TComponent::InstanceCount(), Start - 1);
    Chart->DrawPreviewImage();
    EXPECT_FALSE(Chart->GetBMPPicture()->GetEmpty());
}

TEST_F(RebindTest, OldDataSetFreedAfterTheSwitch) {
    Source->SetDataSet(A);
    A->Open();
    Chart->SetDataSource(Source);
    Source->SetDataSet(B);
    A->Free();
    A = nullptr;
    ExpectBound(B, 0);
    B->Open();
    ExpectBound(B, 2);
    B->Free();
    B = nullptr;
    EXPECT_EQ(Source->GetDataSet(), nullptr);
    EXPECT_EQ(Series()->Count(), 0);
}

}  // namespace
}  // namespace Norq_Plotvane::testing
