// Data sources and data links: which callbacks come when, and teardown in
// every order.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "platform/db/DBError.h"
#include "platform/db/DataLink.h"
#include "platform/db/DataSource.h"
#include "platform/db/MemDataSet.h"
#include "platform/db/SQLiteQuery.h"
#include "platform/db/SQLiteTable.h"
#include "platform/rtl/TypInfo.h"
#include "tests/db/DBTestSupport.h"
#include "tests/support/LiveComponents.h"

namespace pv {
namespace {

// Counts every callback and can run code in ActiveChanged.
class TCountingLink : public TDataLink {
public:
    int Active = 0, Update = 0, Changed = 0, Scrolled = 0, Record = 0, Editing = 0, Layout = 0;
    int LastDistance = 0;
    TField* LastField = nullptr;
    std::string Log;
    std::function<void()> OnActive;
    // What the link saw during its last ActiveChanged.
    bool ActiveSeen = false;
    TDataSet* DataSetSeen = nullptr;

protected:
    void ActiveChanged() override {
        ++Active;
        ActiveSeen = GetActive();
        DataSetSeen = GetDataSet();
        Log += "A";
        if (OnActive) OnActive();
    }
    void UpdateData() override {
        ++Update;
        Log += "U";
    }
    void DataSetChanged() override {
        ++Changed;
        Log += "C";
    }
    void DataSetScrolled(int Distance) override {
        ++Scrolled;
        LastDistance = Distance;
        Log += "S";
    }
    void RecordChanged(TField* Field) override {
        ++Record;
        LastField = Field;
        Log += "R";
    }
    void EditingChanged() override {
        ++Editing;
        Log += "E";
    }
    void LayoutChanged() override { ++Layout; }
};

std::unique_ptr<TMemDataSet> NewMem(TComponent* Owner, const char* Name) {
    auto M = std::make_unique<TMemDataSet>(Owner);
    M->SetName(Name);
    M->AddField("v", TFieldType::ftInteger);
    M->AppendRecord({std::int64_t{1}});
    M->AppendRecord({std::int64_t{2}});
    return M;
}

class DataLinkTest : public ::testing::Test {
protected:
    std::unique_ptr<TMemDataSet> Mem = NewMem(nullptr, "Mem1");
    std::unique_ptr<TDataSource> Source = std::make_unique<TDataSource>(nullptr);
    TCountingLink Link;
};

TEST_F(DataLinkTest, ActiveChangedOnOpenCloseAttachAndDetach) {
    Source->SetDataSet(Mem.get());
    Link.SetDataSource(Source.get());
    EXPECT_EQ(Link.Active, 0);  // the data set is closed: nothing changed
    Mem->Open();
    EXPECT_EQ(Link.Active, 1);
    EXPECT_TRUE(Link.ActiveSeen);
    Mem->Close();
    EXPECT_EQ(Link.Active, 2);
    EXPECT_FALSE(Link.ActiveSeen);

    Mem->Open();
    Link.SetDataSource(nullptr);
    EXPECT_EQ(Link.Active, 4);
    EXPECT_EQ(Link.DataSetSeen, nullptr);  // leaving: the link has no data source any more
    Link.SetDataSource(Source.get());
    EXPECT_EQ(Link.Active, 5);
    EXPECT_EQ(Link.DataSetSeen, Mem.get());

    Source->SetEnabled(false);
    EXPECT_EQ(Link.Active, 6);
    EXPECT_EQ(Source->GetState(), TDataSetState::dsInactive);
    Source->SetEnabled(true);
    EXPECT_EQ(Link.Active, 7);
}

TEST_F(DataLinkTest, SettingTheSameDataSourceChangesNothing) {
    Source->SetDataSet(Mem.get());
    Mem->Open();
    Link.SetDataSource(Source.get());
    ASSERT_EQ(Link.Active, 1);
    Link.SetDataSource(Source.get());
    Source->SetDataSet(Mem.get());
    EXPECT_EQ(Link.Active, 1);
    EXPECT_EQ(Source->GetLinkCount(), 1);
}

TEST_F(DataLinkTest, TheDataSourceGetsAnotherDataSet) {
    auto Other = NewMem(nullptr, "Mem2");
    Source->SetDataSet(Mem.get());
    Link.SetDataSource(Source.get());
    Other->Open();
    Source->SetDataSet(Other.get());  // closed -> open
    EXPECT_EQ(Link.Active, 1);
    Mem->Open();
    Source->SetDataSet(Mem.get());  // open -> open: off, then on
    EXPECT_EQ(Link.Active, 3);
    EXPECT_EQ(Link.DataSetSeen, Mem.get());
    Other->Close();  // no longer this source's data set
    EXPECT_EQ(Link.Active, 3);
    Source->SetDataSet(nullptr);
    EXPECT_EQ(Link.Active, 4);
}

TEST_F(DataLinkTest, DataEventsReachActiveLinksOnly) {
    Source->SetDataSet(Mem.get());
    Link.SetDataSource(Source.get());
    Mem->Open();
    Link.Log.clear();

    Mem->Next();
    EXPECT_EQ(Link.Scrolled, 1);
    EXPECT_EQ(Link.LastDistance, 1);
    Mem->Next();  // already on the last record: no move, no notice
    Mem->First();
    EXPECT_EQ(Link.LastDistance, -1);
    EXPECT_EQ(Link.Active, 1);  // scrolling never changes the active state

    Mem->Edit();
    Mem->FieldByName("v").SetAsInteger(5);
    EXPECT_EQ(Link.LastField, &Mem->FieldByName("v"));
    Mem->Post();
    // Edit state, field change, then the post: UpdateData first, the
    // state back to browse, and the changed data.
    EXPECT_EQ(Link.Log, "SSERUEC");
    Mem->Delete();
    EXPECT_EQ(Link.Changed, 2);
    Mem->Refresh();
    EXPECT_EQ(Link.Changed, 3);

    Source->SetEnabled(false);
    Link.Log.clear();
    Mem->Next();
    Mem->Edit();
    Mem->Post();
    EXPECT_EQ(Link.Log, "");
}

TEST_F(DataLinkTest, UpdateDataRunsBeforeThePostAndMayStillSetFields) {
    struct TWriter : TDataLink {
        void UpdateData() override { GetDataSet()->FieldByName("v").SetAsInteger(99); }
    } Writer;
    Source->SetDataSet(Mem.get());
    Writer.SetDataSource(Source.get());
    Link.SetDataSource(Source.get());
    Mem->Open();
    Mem->Edit();
    Mem->Post();
    EXPECT_EQ(Link.Update, 1);
    EXPECT_EQ(Mem->FieldByName("v").GetAsInteger(), 99);
}

TEST_F(DataLinkTest, AFailingHandlerDoesNotKeepTheOthersUninformed) {
    TCountingLink Second;
    Source->SetDataSet(Mem.get());
    Link.SetDataSource(Source.get());
    Second.SetDataSource(Source.get());
    Link.OnActive = [] { throw EDatabaseError("first handler failed"); };
    EXPECT_THROW_MSG(Mem->Open(), EDatabaseError, "first handler failed");
    EXPECT_TRUE(Mem->GetActive());
    EXPECT_EQ(Second.Active, 1);
    EXPECT_TRUE(Second.GetActive());
}

// Teardown

TEST_F(DataLinkTest, DestroyingTheDataSetDetachesEverything) {
    Source->SetDataSet(Mem.get());
    Link.SetDataSource(Source.get());
    Mem->Open();
    Mem.reset();
    EXPECT_EQ(Link.Active, 2);
    EXPECT_FALSE(Link.ActiveSeen);
    EXPECT_EQ(Source->GetDataSet(), nullptr);
    EXPECT_EQ(Link.GetDataSet(), nullptr);
    EXPECT_EQ(Link.GetDataSource(), Source.get());
}

TEST_F(DataLinkTest, DestroyingTheDataSourceDetachesItsLinks) {
    Source->SetDataSet(Mem.get());
    Link.SetDataSource(Source.get());
    Mem->Open();
    Source.reset();
    EXPECT_EQ(Link.Active, 2);
    EXPECT_EQ(Link.DataSetSeen, nullptr);  // the dying source shows no data set
    EXPECT_EQ(Link.GetDataSource(), nullptr);
    Mem->Close();
    Mem->Open();  // nothing reaches the detached link
    EXPECT_EQ(Link.Active, 2);
}

TEST_F(DataLinkTest, DestroyingALinkCallsNothing) {
    Source->SetDataSet(Mem.get());
    Mem->Open();
    {
        TCountingLink Temporary;
        Temporary.SetDataSource(Source.get());
        EXPECT_EQ(Source->GetLinkCount(), 1);
    }
    EXPECT_EQ(Source->GetLinkCount(), 0);
    Mem->Close();
}

TEST_F(DataLinkTest, HandlersMayDestroyLinksSourcesAndTheDataSet) {
    Source->SetDataSet(Mem.get());
    auto Victim = std::make_unique<TCountingLink>();
    Link.SetDataSource(Source.get());
    Victim->SetDataSource(Source.get());
    // The first link's handler destroys the second link, which is next in
    // line, then the data source that is calling it.
    Link.OnActive = [&] {
        Victim.reset();
        Source.reset();
    };
    Mem->Open();
    EXPECT_EQ(Victim, nullptr);
    EXPECT_EQ(Link.GetDataSource(), nullptr);

    // A handler that destroys the data set while it is being opened.
    auto Source2 = std::make_unique<TDataSource>(nullptr);
    Source2->SetDataSet(Mem.get());
    TCountingLink Killer;
    Killer.SetDataSource(Source2.get());
    Mem->Close();
    Killer.OnActive = [&] { Mem.reset(); };
    Mem->Open();
    EXPECT_EQ(Mem, nullptr);
    EXPECT_EQ(Source2->GetDataSet(), nullptr);
}

TEST(DataLinkOwnership, OwnersDestroyDataSetsAndSourcesInEitherOrder) {
    pv::test::TLiveComponentsCheck LiveComponents;
    for (bool DataSetFirst : {true, false}) {
        TCountingLink Link;
        {
            TComponent Form(nullptr);
            TMemDataSet* Mem = nullptr;
            TDataSource* Source = nullptr;
            if (DataSetFirst) {
                Mem = NewMem(nullptr, "Mem1").release();
                Form.InsertComponent(Mem);
                Source = new TDataSource(&Form);
            } else {
                Source = new TDataSource(&Form);
                Mem = NewMem(nullptr, "Mem1").release();
                Form.InsertComponent(Mem);
            }
            Source->SetDataSet(Mem);
            Link.SetDataSource(Source);
            Mem->Open();
        }
        EXPECT_EQ(Link.GetDataSource(), nullptr) << DataSetFirst;
        EXPECT_EQ(Link.Active, 2) << DataSetFirst;
    }
}

TEST(DataLinkOwnership, DataSetOfAnotherOwnerDies) {
    pv::test::TLiveComponentsCheck LiveComponents;
    TComponent FormA(nullptr);
    auto FormB = std::make_unique<TComponent>(nullptr);
    auto* Source = new TDataSource(&FormA);
    TMemDataSet* Mem = NewMem(nullptr, "Mem1").release();
    FormB->InsertComponent(Mem);
    Source->SetDataSet(Mem);
    FormB.reset();
    EXPECT_EQ(Source->GetDataSet(), nullptr);
}

TEST(DataSourceProperties, PublishedTable) {
    TDataSource Source(nullptr);
    const auto Props = GetPropList(*Source.ClassInfo());
    ASSERT_EQ(Props.size(), 4u);
    EXPECT_EQ(Props[0]->Name, "Name");
    EXPECT_EQ(Props[1]->Name, "Tag");
    EXPECT_EQ(Props[2]->Name, "DataSet");
    EXPECT_EQ(Props[2]->Kind, TTypeKind::tkComponent);
    EXPECT_EQ(Props[2]->TypeName, "TDataSet");
    EXPECT_EQ(Props[3]->Name, "Enabled");

    auto Mem = NewMem(nullptr, "Mem1");
    EXPECT_TRUE(Mem->ClassInfo()->InheritsFrom(Props[2]->TypeName));
    Props[2]->Set(Source, TPropValue(static_cast<TObject*>(Mem.get())));
    EXPECT_EQ(Source.GetDataSet(), Mem.get());
    EXPECT_EQ(std::get<TObject*>(Props[2]->Get(Source)), Mem.get());
    TDataSource NotADataSet(nullptr);
    Source.SetName("Source1");
    EXPECT_THROW_MSG(Props[2]->Set(Source, TPropValue(static_cast<TObject*>(&NotADataSet))), EDatabaseError,
                     "Source1: DataSet cannot be a TDataSource, it must be a TDataSet");
    Props[2]->Set(Source, TPropValue(static_cast<TObject*>(nullptr)));
    EXPECT_EQ(Source.GetDataSet(), nullptr);
}

}  // namespace
}  // namespace pv

namespace pv {
namespace {

// A data set destroyed without its owner's help (on the stack, or by a plain
// delete) is still whole when its links hear it close: they see its own
// class, and its back end closes as it does on Close.
TEST(DataSetTeardown, OnTheStackOrDeletedDirectlyLinksSeeTheWholeDataSetClose) {
    test::TTempDir Dir;
    test::TTestDb Db(Dir.File("t.db"));
    Db.Exec("CREATE TABLE t(a INTEGER); INSERT INTO t VALUES (1)");
    std::vector<std::string> Seen;
    auto Watch = [&](TDataSet& D, TDataSource& Source, TCountingLink& Link) {
        Source.SetDataSet(&D);
        Link.SetDataSource(&Source);
        Link.OnActive = [&Seen, &Link] {
            if (!Link.GetActive()) Seen.emplace_back(Link.GetDataSet()->ClassName());
        };
        D.Open();
    };
    TDataSource Source(nullptr);
    TCountingLink Link;
    {
        TMemDataSet Mem(nullptr);
        Mem.AddField("a", TFieldType::ftInteger);
        Watch(Mem, Source, Link);
    }
    auto* Query = new TSQLiteQuery(nullptr);
    Query->SetDatabaseName(Dir.File("t.db"));
    Query->GetSQL()->Add("SELECT a FROM t");
    TDataSource Source2(nullptr);
    TCountingLink Link2;
    Watch(*Query, Source2, Link2);
    delete Query;
    auto* Table = new TSQLiteTable(nullptr);
    Table->SetDatabaseName(Dir.File("t.db"));
    Table->SetTableName("t");
    TDataSource Source3(nullptr);
    TCountingLink Link3;
    Watch(*Table, Source3, Link3);
    delete Table;
    EXPECT_EQ(Seen, (std::vector<std::string>{"TMemDataSet", "TSQLiteQuery", "TSQLiteTable"}));
    EXPECT_EQ(Source.GetDataSet(), nullptr);
}

}  // namespace
}  // namespace pv
