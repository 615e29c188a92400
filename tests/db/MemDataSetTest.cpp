// TMemDataSet's form view: the FieldDefs and Records lists.

#include <gtest/gtest.h>

#include "platform/db/DBError.h"
#include "platform/db/DataLink.h"
#include "platform/db/DataSource.h"
#include "platform/db/MemDataSet.h"
#include "platform/rtl/TypInfo.h"
#include "tests/db/DBTestSupport.h"

namespace pv {
namespace {


TStrings* ListProp(TMemDataSet& Mem, const char* Name) {
    return dynamic_cast<TStrings*>(std::get<TObject*>(GetPropInfo(*Mem.ClassInfo(), Name)->Get(Mem)));
}

TEST(MemDataSetTest, PublishedTableInOrder) {
    TMemDataSet Mem(nullptr);
    std::vector<std::string_view> Names;
    for (auto* P : GetPropList(*Mem.ClassInfo())) Names.push_back(P->Name);
    EXPECT_EQ(Names, (std::vector<std::string_view>{"Name", "Tag", "FieldDefs", "Records", "Active"}));
    EXPECT_TRUE(Mem.ClassInfo()->InheritsFrom("TDataSet"));
}

TEST(MemDataSetTest, ListsShowTheDataAndReadBackTheSame) {
    TMemDataSet Mem(nullptr);
    Mem.AddField("month", TFieldType::ftString);
    Mem.AddField("revenue", TFieldType::ftFloat);
    Mem.AddField("units", TFieldType::ftInteger);
    Mem.AppendRecord({"Jan, \"early\"", 120.5, std::int64_t{3}});
    Mem.AppendRecord({"", NullValue, NullValue});
    Mem.AppendRecord({NullValue, 0.1, std::int64_t{-2}});
    EXPECT_EQ(ListProp(Mem, "FieldDefs")->GetText(), "month=ftString\nrevenue=ftFloat\nunits=ftInteger\n");
    const std::string Records = ListProp(Mem, "Records")->GetText();
    EXPECT_EQ(Records, "\"Jan, \"\"early\"\"\",120.5,3\n\"\",,\n,0.1,-2\n");

    // A second data set given the same lists holds the same data.
    TMemDataSet Copy(nullptr);
    Copy.SetLoading(true);
    GetPropInfo(*Copy.ClassInfo(), "FieldDefs")->Set(Copy, TPropValue(static_cast<TObject*>(ListProp(Mem, "FieldDefs"))));
    GetPropInfo(*Copy.ClassInfo(), "Records")->Set(Copy, TPropValue(static_cast<TObject*>(ListProp(Mem, "Records"))));
    GetPropInfo(*Copy.ClassInfo(), "Active")->Set(Copy, TPropValue(true));
    Copy.Loaded();
    ASSERT_TRUE(Copy.GetActive());
    EXPECT_EQ(Copy.GetRecordCount(), 3);
    EXPECT_EQ(Copy.FieldByName("month").GetAsString(), "Jan, \"early\"");
    Copy.Next();
    EXPECT_FALSE(Copy.FieldByName("month").IsNull());  // "" is an empty text, not null
    EXPECT_TRUE(Copy.FieldByName("revenue").IsNull());
    EXPECT_EQ(ListProp(Copy, "Records")->GetText(), Records);
}

TEST(MemDataSetTest, DatesAndTimesReadAsSecondsShowAsIsoTextAndRefuseWhatIsNoDate) {
    TMemDataSet Mem(nullptr);
    Mem.SetName("Mem1");
    ListProp(Mem, "FieldDefs")->SetText("day=ftDate\nat=ftDateTime\nclock=ftTime");
    // ISO texts with a zone go back to UTC; numbers are seconds already.
    Mem.AppendRecord({"2026-03-05", "2026-03-05T14:30:05.25+01:00", "14:30"});
    Mem.AppendRecord({std::int64_t{0}, 1772721000.5, -5400.0});
    Mem.AppendRecord({" 0044-03-15 BC", "2024-02-29 24:00", "838:59:59"});
    EXPECT_EQ(ListProp(Mem, "Records")->GetText(),
              "\"2026-03-05\",\"2026-03-05 13:30:05.25\",\"14:30:00\"\n"
              "\"1970-01-01\",\"2026-03-05 14:30:00.5\",\"-01:30:00\"\n"
              "\"-0043-03-15\",\"2024-03-01 00:00:00\",\"838:59:59\"\n");
    Mem.Open();
    TField& Day = Mem.FieldByName("day");
    TField& At = Mem.FieldByName("at");
    TField& Clock = Mem.FieldByName("clock");
    EXPECT_EQ(Day.GetDataType(), TFieldType::ftDate);
    EXPECT_EQ(Day.GetAsFloat(), 20517.0 * 86400);  // 2026-03-05
    EXPECT_EQ(At.GetAsFloat(), 20517.0 * 86400 + 13.5 * 3600 + 5.25);
    EXPECT_EQ(Clock.GetAsInteger(), 14 * 3600 + 30 * 60);
    Mem.Last();
    // 44 BC is the astronomers' year -43; its 15 March (proleptic
    // Gregorian, Julian day number 1 705 428) is 735 160 days before 1970.
    EXPECT_EQ(Day.GetAsFloat(), -735160.0 * 86400);
    EXPECT_EQ(Clock.GetAsFloat(), 838.0 * 3600 + 59 * 60 + 59);

    // Setting a field converts to its ISO text; a day that does not exist
    // names the data set, the field and the value.
    Mem.Edit();
    Day.SetAsFloat(86400.0 * 59);
    EXPECT_EQ(Day.GetAsString(), "1970-03-01");
    for (const char* Bad : {"2026-02-29", "2026-13-01", "2026-03-05 25:00", "5 March", "2026-03-05X"})
        EXPECT_THROW_MSG(Day.SetAsString(Bad), EDatabaseError,
                         std::string("Mem1: field \"day\" of record 3: '") + Bad + "' is not a date");
    EXPECT_THROW_MSG(At.SetAsString("14:30"), EDatabaseError,
                     "Mem1: field \"at\" of record 3: '14:30' is not a date and time");
    Mem.Cancel();
    EXPECT_THROW_MSG(ListProp(Mem, "Records")->SetText("2026-01-01,,\n\"2026-01-32\",,"), EDatabaseError,
                     "Mem1: Records line 2: field \"day\": '2026-01-32' is not a date");
}

TEST(MemDataSetTest, BadListLinesNameTheLine) {
    TMemDataSet Mem(nullptr);
    Mem.SetName("Mem1");
    TStrings* Defs = ListProp(Mem, "FieldDefs");
    EXPECT_THROW_MSG(Defs->SetText("month=ftString\nrevenue=ftMoney"), EDatabaseError,
                     "Mem1: FieldDefs line 2 'revenue=ftMoney' is not name=type with a type of ftString, ftInteger, "
                     "ftFloat, ftDate, ftTime or ftDateTime");
    Defs = ListProp(Mem, "FieldDefs");
    Defs->SetText("month=ftString\nrevenue=ftFloat");
    TStrings* Rows = ListProp(Mem, "Records");
    EXPECT_THROW_MSG(Rows->SetText("\"Jan\",1\n\"Feb\",lots"), EDatabaseError,
                     "Mem1: Records line 2: field \"revenue\": 'lots' is not a number");
    EXPECT_THROW_MSG(Rows->SetText("\"Jan,1"), EDatabaseError,
                     "Mem1: Records line 1: a quoted value has no closing quote");
    EXPECT_THROW_MSG(Rows->SetText("Jan"), EDatabaseError, "Mem1: Records line 1 has 1 values for 2 fields");
    EXPECT_EQ(Mem.GetFieldDefs().size(), 2u);
}

TEST(MemDataSetTest, NewRecordsOfAnOpenDataSetReachItsLinks) {
    struct TCounter : TDataLink {
        int Changed = 0, Active = 0;
        void DataSetChanged() override { ++Changed; }
        void ActiveChanged() override { ++Active; }
    } Link;
    TMemDataSet Mem(nullptr);
    Mem.AddField("v", TFieldType::ftInteger);
    TDataSource Source(nullptr);
    Source.SetDataSet(&Mem);
    Link.SetDataSource(&Source);
    Mem.Open();
    Mem.AppendRecord({std::int64_t{1}});
    EXPECT_EQ(Link.Changed, 1);
    EXPECT_EQ(Mem.GetRecNo(), 1);
    ListProp(Mem, "Records")->SetText("5\n6\n7");
    EXPECT_EQ(Link.Changed, 2);
    EXPECT_EQ(Mem.GetRecordCount(), 3);
    Mem.EmptyDataSet();
    EXPECT_EQ(Link.Changed, 3);
    EXPECT_TRUE(Mem.IsEmpty());
    EXPECT_EQ(Link.Active, 1);  // the data set stayed open throughout
}

TEST(MemDataSetTest, RecordLimitRefusesAnOpenOfMoreAndNamesTheCount) {
    TMemDataSet Mem(nullptr);
    Mem.SetName("Mem1");
    Mem.AddField("v", TFieldType::ftInteger);
    ListProp(Mem, "Records")->SetText("1\n2\n3");
    Mem.SetRecordLimit(2);
    EXPECT_THROW_MSG(Mem.Open(), ERecordLimitExceeded, "Mem1: the data holds 3 records; at most 2 are read");
    EXPECT_FALSE(Mem.GetActive());
    Mem.SetRecordLimit(3);
    Mem.Open();
    EXPECT_EQ(Mem.GetRecordCount(), 3);
}

}  // namespace
}  // namespace pv
