// TDBChart reading series from data sets: fields, nulls, errors, re-reading
// on every change of the records, and teardown in every order.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>

#include "platform/db/DBError.h"
#include "platform/db/DataLink.h"
#include "platform/db/DataSource.h"
#include "platform/db/MemDataSet.h"
#include "platform/db/SQLiteTable.h"
#include "platform/dbchart/DBChart.h"
#include "tests/db/DBTestSupport.h"

namespace pv {
namespace {


std::vector<double> YValues(const TChartSeries& S) {
    std::vector<double> R;
    for (int I = 0; I < S.Count(); ++I) R.push_back(S.GetYValue(I));
    return R;
}

std::string Labels(const TChartSeries& S) {
    std::string R;
    for (int I = 0; I < S.Count(); ++I) R += S.GetLabel(I) + ";";
    return R;
}

class DBChartTest : public ::testing::Test {
protected:
    void SetUp() override {
        Mem.SetName("Mem1");
        Mem.AddField("month", TFieldType::ftString);
        Mem.AddField("x", TFieldType::ftFloat);
        Mem.AddField("revenue", TFieldType::ftFloat);
        Mem.AddField("text", TFieldType::ftString);
        Mem.AppendRecord({"Jan", 10.0, 120.5, "1"});
        Mem.AppendRecord({"Feb", 20.0, 98.0, "2"});
        Mem.AppendRecord({"Mar", 30.0, NullValue, "3"});
        Series->SetParentChart(&Chart);
        Series->SetLabelsSource("month");
        Series->GetYValues()->SetValueSource("revenue");
    }

    TMemDataSet Mem{nullptr};
    TDBChart Chart{nullptr};
    TBarSeries* Series = new TBarSeries(&Chart);
};

TEST_F(DBChartTest, ReadsLabelsXAndYFromTheRecords) {
    Series->GetXValues()->SetValueSource("x");
    Mem.Open();
    Series->SetDataSource(&Mem);
    ASSERT_EQ(Series->Count(), 3);
    EXPECT_EQ(Labels(*Series), "Jan;Feb;Mar;");
    EXPECT_EQ(Series->GetXValue(1), 20.0);
    EXPECT_EQ(Series->GetYValue(0), 120.5);
    EXPECT_TRUE(Series->IsNull(2));
    EXPECT_EQ(Series->GetXValue(2), 30.0);  // a null point keeps its place

    // Without an X field the record's position is X.
    Series->GetXValues()->SetValueSource("");
    EXPECT_EQ(Series->GetXValue(1), 1.0);
    EXPECT_TRUE(Series->IsNull(2));
    // Y from a text field whose texts are numbers.
    Series->GetYValues()->SetValueSource("text");
    EXPECT_EQ(YValues(*Series), (std::vector<double>{1, 2, 3}));
    // No Y field: no points.
    Series->GetYValues()->SetValueSource("");
    EXPECT_EQ(Series->Count(), 0);
}

TEST_F(DBChartTest, AClosedDataSetGivesNoPoints) {
    Series->SetDataSource(&Mem);
    EXPECT_EQ(Series->Count(), 0);
    Mem.Open();
    EXPECT_EQ(Series->Count(), 3);
    Mem.Close();
    EXPECT_EQ(Series->Count(), 0);
}

TEST_F(DBChartTest, ReadErrorsNameTheFieldAndTheRecordAndLeaveNoPoints) {
    Mem.Open();
    Series->SetDataSource(&Mem);
    ASSERT_EQ(Series->Count(), 3);
    EXPECT_THROW_MSG(Series->GetYValues()->SetValueSource("profit"), EDatabaseError,
                     "Mem1: field \"profit\" not found");
    EXPECT_EQ(Series->Count(), 0);
    Series->GetYValues()->SetValueSource("revenue");
    EXPECT_THROW_MSG(Series->SetLabelsSource("label"), EDatabaseError, "Mem1: field \"label\" not found");
    Series->SetLabelsSource("month");

    Series->GetYValues()->SetValueSource("text");
    Mem.SetRecNo(2);
    Mem.Edit();
    // The chart reads the pending value too, so the error surfaces here.
    EXPECT_THROW_MSG(Mem.FieldByName("text").SetAsString("n/a"), EDatabaseError,
                     "Mem1: field \"text\" of record 2: 'n/a' is not a number");
    EXPECT_EQ(Series->Count(), 0);
    EXPECT_THROW_MSG(Mem.Post(), EDatabaseError, "Mem1: field \"text\" of record 2: 'n/a' is not a number");
    EXPECT_EQ(Mem.GetState(), TDataSetState::dsBrowse);  // posted; only the chart failed
}

TEST_F(DBChartTest, ReadsAgainAfterPostInsertAndDelete) {
    Mem.Open();
    Series->SetDataSource(&Mem);
    Mem.Edit();
    Mem.FieldByName("revenue").SetAsFloat(1.5);
    Mem.Post();
    EXPECT_EQ(Series->GetYValue(0), 1.5);

    Mem.Append();
    Mem.FieldByName("month").SetAsString("Apr");
    Mem.FieldByName("revenue").SetAsFloat(44.0);
    Mem.Post();
    EXPECT_EQ(Labels(*Series), "Jan;Feb;Mar;Apr;");

    Mem.First();
    Mem.Delete();
    EXPECT_EQ(Labels(*Series), "Feb;Mar;Apr;");
    Mem.Append();
    Mem.Cancel();
    EXPECT_EQ(Series->Count(), 3);
}

TEST_F(DBChartTest, APictureDrawnWhenThePostStartsShowsThePostedRecord) {
    // Like a component that refreshes its picture in UpdateData: its link is
    // attached before the chart binds, so it is told first.
    struct TSnapshotLink : TDataLink {
        TChartSeries* Series = nullptr;
        std::vector<double> Seen;
        void UpdateData() override { Seen = YValues(*Series); }
    } Link;
    Link.Series = Series;
    TDataSource Source(nullptr);
    Source.SetDataSet(&Mem);
    Link.SetDataSource(&Source);
    Mem.Open();
    Series->SetDataSource(&Mem);
    Mem.SetRecNo(2);
    Mem.Edit();
    Mem.FieldByName("revenue").SetAsFloat(77.0);
    Mem.Post();
    ASSERT_EQ(Link.Seen.size(), 3u);
    EXPECT_EQ(Link.Seen[1], 77.0);
}

TEST_F(DBChartTest, ReadingKeepsTheCursorAndTheEditState) {
    Mem.Open();
    Mem.SetRecNo(2);
    Mem.Edit();
    Mem.FieldByName("revenue").SetAsFloat(5.0);
    Series->SetDataSource(&Mem);
    EXPECT_EQ(Mem.GetRecNo(), 2);
    EXPECT_EQ(Mem.GetState(), TDataSetState::dsEdit);
    EXPECT_EQ(Series->GetYValue(1), 5.0);  // the pending value

    // Scrolling reads nothing.
    Mem.Cancel();
    const auto Changes = Chart.GetChangeCount();
    Mem.Next();
    Mem.First();
    EXPECT_EQ(Chart.GetChangeCount(), Changes);
}

TEST_F(DBChartTest, BindingAgainReadsAgainAndUnusedDataSetsAreLetGo) {
    Mem.Open();
    Series->SetDataSource(&Mem);
    Series->ClearDataSources();
    Series->Clear();
    Series->SetDataSource(&Mem);
    EXPECT_EQ(Series->Count(), 3);
    Series->SetDataSource(&Mem);  // already in the list: read again all the same
    EXPECT_EQ(Series->Count(), 3);

    TMemDataSet Other(nullptr);
    Other.AddField("revenue", TFieldType::ftFloat);
    Other.AddField("month", TFieldType::ftString);
    Other.AppendRecord({1.0, "One"});
    Other.Open();
    Series->ClearDataSources();
    Series->SetDataSource(&Other);
    EXPECT_EQ(Labels(*Series), "One;");
    EXPECT_EQ(Chart.GetObservedDataSetCount(), 1);
    Mem.Close();  // no longer bound: the series keeps its points
    EXPECT_EQ(Series->Count(), 1);
}

TEST_F(DBChartTest, ADestroyedDataSetIsDroppedAndNeverTouched) {
    auto Owned = std::make_unique<TMemDataSet>(nullptr);
    Owned->AddField("revenue", TFieldType::ftFloat);
    Owned->AppendRecord({3.0});
    Owned->Open();
    Series->SetLabelsSource("");
    Series->SetDataSource(Owned.get());
    ASSERT_EQ(Series->Count(), 1);
    Owned.reset();
    EXPECT_EQ(Series->Count(), 0);
    EXPECT_EQ(Series->GetDataSource(), nullptr);
    EXPECT_EQ(Chart.GetObservedDataSetCount(), 0);

    // Closed when destroyed: nothing to clear, nothing left behind.
    Owned = std::make_unique<TMemDataSet>(nullptr);
    Series->SetDataSource(Owned.get());
    Owned.reset();
    EXPECT_EQ(Chart.GetObservedDataSetCount(), 0);
}

TEST(DBChartSQLite, ReadsATableAndFollowsItsPosts) {
    test::TTempDir Dir;
    test::CreateSalesDb(Dir.File("sales.db"));
    TSQLiteTable Table(nullptr);
    Table.SetName("Table1");
    Table.SetDatabaseName(Dir.File("sales.db"));
    Table.SetTableName("sales");
    TDBChart Chart(nullptr);
    auto* Series = new TLineSeries(&Chart);
    Series->SetParentChart(&Chart);
    Series->SetLabelsSource("month");
    Series->GetXValues()->SetValueSource("month_no");
    Series->GetYValues()->SetValueSource("revenue");
    Series->SetDataSource(&Table);
    Table.Open();
    EXPECT_EQ(Labels(*Series), "Jan;Feb;Mar;");
    EXPECT_TRUE(Series->IsNull(2));
    Table.Last();
    Table.Edit();
    Table.FieldByName("revenue").SetAsString("12");
    Table.Post();
    EXPECT_EQ(Series->GetYValue(2), 12.0);

    test::TTestDb(Dir.File("sales.db")).Exec("UPDATE sales SET revenue = 'n/a' WHERE month_no = 2");
    EXPECT_THROW_MSG(Table.Refresh(), EDatabaseError, "Table1: field \"revenue\" of record 2: 'n/a' is not a number");
    EXPECT_EQ(Series->Count(), 0);
}

TEST(DBChartDates, DateFieldsGiveTimesAndABadDateNamesTheDataSetFieldAndValue) {
    test::TTempDir Dir;
    test::TTestDb Db(Dir.File("visits.db"));
    Db.Exec("CREATE TABLE visits (day DATE, at DATETIME, region TEXT, n INTEGER);"
            "INSERT INTO visits VALUES ('2026-03-02', '2026-03-02 08:00', 'EU', 4), ('2026-03-03', '2026-03-03 09:30', "
            "'US', 6), ('2026-03-03', '2026-03-03 10:00', 'EU', 5)");
    TSQLiteTable Table(nullptr);
    Table.SetName("Visits");
    Table.SetDatabaseName(Dir.File("visits.db"));
    Table.SetTableName("visits");
    TDBChart Chart(nullptr);
    auto* Line = new TLineSeries(&Chart);
    Line->SetParentChart(&Chart);
    Line->GetXValues()->SetValueSource("at");
    Line->GetYValues()->SetValueSource("n");
    Line->SetDataSource(&Table);
    // A series split by groups keeps the kind in every group.
    auto* Bars = new TBarSeries(&Chart);
    Bars->SetParentChart(&Chart);
    Bars->SetName("Daily");
    Bars->GetXValues()->SetValueSource("day");
    Bars->GetYValues()->SetValueSource("n");
    Bars->SetGroupSource("region");
    Bars->SetDataSource(&Table);
    Table.Open();
    const double Mar2 = 20514.0 * 86400;
    EXPECT_EQ(Line->GetXValues()->GetKind(), TChartValueKind::vkDateTime);
    EXPECT_EQ(Line->GetXValue(1), Mar2 + 86400 + 9.5 * 3600);
    ASSERT_EQ(Bars->GroupCount(), 1);
    EXPECT_EQ(Bars->GetXValues()->GetKind(), TChartValueKind::vkDate);
    EXPECT_EQ(Bars->GetGroup(0)->GetXValues()->GetKind(), TChartValueKind::vkDate);
    EXPECT_EQ(Bars->GetXValue(1), Mar2 + 86400);  // EU's second day
    EXPECT_TRUE(Bars->GetGroup(0)->IsNull(0));     // US has no record on March 2

    // A number field makes numbers again; a text that is no date is an
    // error naming the data set, the field and the value, and leaves no
    // points.
    Line->GetXValues()->SetValueSource("n");
    EXPECT_EQ(Line->GetXValues()->GetKind(), TChartValueKind::vkNumber);
    Line->GetXValues()->SetValueSource("at");
    Db.Exec("UPDATE visits SET at = '2026-03-03 9:30' WHERE region = 'US'");
    EXPECT_THROW_MSG(Table.Refresh(), EDatabaseError,
                     "Chart, series '1': Visits: field \"at\" of record 2: '2026-03-03 9:30' is not a date and time");
    EXPECT_EQ(Line->Count(), 0);
}

// Teardown in every order. The "component" link re-binds the series on
// every change of its active state, as the chart component does, so the
// destruction of each object sets off reads through the others.
class TRebindLink : public TDataLink {
public:
    TComponentPtr<TChartSeries> Series;
    int Updates = 0;

protected:
    void ActiveChanged() override {
        TChartSeries* S = Series.get();
        TDataSet* D = GetDataSet();
        if (!S || !D) return;
        S->ClearDataSources();
        S->SetDataSource(D);
    }
    void UpdateData() override { ++Updates; }
};

TEST(DBChartTeardown, EveryDestructionOrderIsClean) {
    std::array<int, 5> Order{0, 1, 2, 3, 4};  // data set, source, link, chart, series
    int Runs = 0;
    do {
        auto Mem = std::make_unique<TMemDataSet>(nullptr);
        Mem->AddField("v", TFieldType::ftFloat);
        Mem->AppendRecord({1.0});
        Mem->AppendRecord({2.0});
        auto Source = std::make_unique<TDataSource>(nullptr);
        auto Link = std::make_unique<TRebindLink>();
        auto Chart = std::make_unique<TDBChart>(nullptr);
        auto Series = std::make_unique<TBarSeries>(nullptr);
        Series->SetParentChart(Chart.get());
        Series->GetYValues()->SetValueSource("v");
        Link->Series = Series.get();
        Source->SetDataSet(Mem.get());
        Link->SetDataSource(Source.get());
        Mem->Open();
        ASSERT_EQ(Series->Count(), 2);

        for (int Step : Order) {
            switch (Step) {
                case 0: Mem.reset(); break;
                case 1: Source.reset(); break;
                case 2: Link.reset(); break;
                case 3: Chart.reset(); break;
                case 4: Series.reset(); break;
            }
            // Work the survivors; under the sanitizers any touch of a
            // destroyed object fails the run.
            if (Mem) {
                Mem->Edit();
                Mem->FieldByName("v").SetAsFloat(3.0);
                Mem->Post();
                Mem->Close();
                Mem->Open();
            }
            if (Series) {
                for (int I = 0; I < Series->Count(); ++I) (void)Series->GetYValue(I);
                // A chart that saw its data set die emptied the series.
                if (!Mem && Chart) {
                    EXPECT_EQ(Series->Count(), 0);
                }
            }
            if (Link) (void)Link->GetDataSet();
            if (Source) (void)Source->GetState();
        }
        ++Runs;
    } while (std::next_permutation(Order.begin(), Order.end()));
    EXPECT_EQ(Runs, 120);
}

TEST(DBChartTeardown, AFormOwningEverythingInEitherCreationOrder) {
    for (bool ChartFirst : {false, true}) {
        TComponent Form(nullptr);
        TDBChart* Chart = ChartFirst ? new TDBChart(&Form) : nullptr;
        auto* Mem = new TMemDataSet(&Form);
        Mem->AddField("v", TFieldType::ftFloat);
        Mem->AppendRecord({1.0});
        auto* Source = new TDataSource(&Form);
        Source->SetDataSet(Mem);
        if (!Chart) Chart = new TDBChart(&Form);
        auto* Series = new TBarSeries(&Form);
        Series->SetParentChart(Chart);
        Series->GetYValues()->SetValueSource("v");
        TRebindLink Link;
        Link.Series = Series;
        Link.SetDataSource(Source);
        Mem->Open();
        EXPECT_EQ(Series->Count(), 1);
    }
}


// A series split by a group field: one series per group, categories the
// union of all groups' in the order first met, a gap where a group has no
// record, errors that name the chart, the series and the field.
class DBChartGroupTest : public ::testing::Test {
protected:
    void SetUp() override {
        Mem.SetName("Sales");
        Mem.AddField("month", TFieldType::ftString);
        Mem.AddField("region", TFieldType::ftString);
        Mem.AddField("revenue", TFieldType::ftFloat);
        Mem.AppendRecord({"Jan", "EU", 7.0});
        Mem.AppendRecord({"Jan", "US", 5.0});
        Mem.AppendRecord({"Feb", "US", 8.0});
        Mem.AppendRecord({"Mar", "EU", 1.0});
        Mem.AppendRecord({"Mar", "Asia", NullValue});
        Owner.SetName("RevenueChart");
        Series->SetParentChart(Chart);
        Series->SetLabelsSource("month");
        Series->GetYValues()->SetValueSource("revenue");
        Series->SetGroupSource("region");
    }

    // Title and values of each series the chart draws, e.g. "EU:7,_,1".
    std::vector<std::string> Drawn() const {
        std::vector<std::string> Out;
        auto Text = [](const TChartSeries& S, const std::string& Title) {
            std::string R = Title + ":";
            for (int I = 0; I < S.Count(); ++I)
                R += (I ? "," : "") + (S.IsNull(I) ? std::string("_") : std::to_string(int(S.GetYValue(I))));
            return R;
        };
        Out.push_back(Text(*Series, Series->GetGroupTitle()));
        for (int G = 0; G < Series->GroupCount(); ++G) Out.push_back(Text(*Series->GetGroup(G), Series->GetGroup(G)->GetTitle()));
        return Out;
    }

    TMemDataSet Mem{nullptr};
    TComponent Owner{nullptr};
    TDBChart* Chart = new TDBChart(&Owner);
    TBarSeries* Series = new TBarSeries(Chart);
};

TEST_F(DBChartGroupTest, OneSeriesPerGroupOverTheUnionOfCategoriesWithGaps) {
    Mem.Open();
    Series->SetDataSource(&Mem);
    EXPECT_EQ(Drawn(), (std::vector<std::string>{"EU:7,_,1", "US:5,8,_", "Asia:_,_,_"}));
    EXPECT_EQ(Labels(*Series), "Jan;Feb;Mar;");
    EXPECT_EQ(Labels(*Series->GetGroup(0)), "Jan;Feb;Mar;");
    EXPECT_EQ(Series->GetGroup(0)->GetSeriesColor(), clDefault);

    // A posted record that brings a new category and fills a gap.
    Mem.Append();
    Mem.FieldByName("month").SetAsString("Apr");
    Mem.FieldByName("region").SetAsString("EU");
    Mem.FieldByName("revenue").SetAsFloat(3.0);
    Mem.Post();
    EXPECT_EQ(Drawn(), (std::vector<std::string>{"EU:7,_,1,3", "US:5,8,_,_", "Asia:_,_,_,_"}));
    // Without the group field: one series of every record, as before.
    Series->SetGroupSource("");
    EXPECT_EQ(Series->GroupCount(), 0);
    EXPECT_EQ(Series->GetGroupTitle(), "");
    EXPECT_EQ(Series->Count(), 6);
    // Closing leaves nothing, groups included.
    Series->SetGroupSource("region");
    Mem.Close();
    EXPECT_EQ(Series->Count(), 0);
    EXPECT_EQ(Series->GroupCount(), 0);
}

TEST_F(DBChartGroupTest, BadGroupingIsAnErrorNamingChartSeriesAndField) {
    Mem.Open();
    Series->SetGroupSource("regoin");
    EXPECT_THROW_MSG(Series->SetDataSource(&Mem), EDatabaseError,
                     "Chart of 'RevenueChart', series '1': group field \"regoin\" not found in Sales");
    EXPECT_EQ(Series->Count(), 0);
    // Two records of one group in one category (the record being
    // inserted is read as each field is set).
    Series->SetGroupSource("region");
    Mem.Append();
    Mem.FieldByName("month").SetAsString("Jan");
    EXPECT_THROW_MSG(Mem.FieldByName("region").SetAsString("US"), EDatabaseError,
                     "Chart of 'RevenueChart', series '1': records 2 and 6 are both in group 'US' at 'Jan'");
    EXPECT_EQ(Series->Count(), 0);
    Mem.Cancel();
    EXPECT_EQ(Series->GroupCount(), 2);
    // More groups than a chart can tell apart: grouped by an id by mistake.
    Series->SetName("Revenue");
    Mem.Close();
    for (int I = 0; I < 70; ++I) Mem.AppendRecord({"Apr", "R" + std::to_string(I), 1.0});
    EXPECT_THROW_MSG(Mem.Open(), EDatabaseError,
                     "Chart of 'RevenueChart', series 'Revenue': group field \"region\" splits the records into 73 "
                     "groups; at most 64 can be drawn");
    EXPECT_EQ(Series->Count(), 0);
    EXPECT_EQ(Series->GroupCount(), 0);
}

}  // namespace
}  // namespace pv
