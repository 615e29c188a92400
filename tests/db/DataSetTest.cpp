// The data set core, through TMemDataSet: navigation, edit states, fields and
// their conversions, deferred opening, reading without moving.

#include <gtest/gtest.h>

#include "platform/db/DBError.h"
#include "platform/db/MemDataSet.h"
#include "tests/db/DBTestSupport.h"

namespace pv {
namespace {


class DataSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        Mem.SetName("Mem1");
        Mem.AddField("month", TFieldType::ftString);
        Mem.AddField("revenue", TFieldType::ftFloat);
        Mem.AddField("units", TFieldType::ftInteger);
        Mem.AppendRecord({"Jan", 120.5, std::int64_t{3}});
        Mem.AppendRecord({"Feb", 98.0, NullValue});
        Mem.AppendRecord({"Mar", NullValue, std::int64_t{7}});
    }
    std::string Month() const { return Mem.FieldByName("month").GetAsString(); }

    TMemDataSet Mem{nullptr};
};

TEST_F(DataSetTest, NavigationVisitsEveryRecordAndStopsAtTheEnds) {
    Mem.Open();
    EXPECT_EQ(Mem.GetState(), TDataSetState::dsBrowse);
    EXPECT_TRUE(Mem.GetBof());
    EXPECT_FALSE(Mem.GetEof());
    std::string Seen;
    for (Mem.First(); !Mem.GetEof(); Mem.Next()) Seen += Month() + std::to_string(Mem.GetRecNo()) + " ";
    EXPECT_EQ(Seen, "Jan1 Feb2 Mar3 ");
    EXPECT_EQ(Mem.GetRecNo(), 3);  // Eof stays on the last record

    Mem.First();
    EXPECT_EQ(Mem.MoveBy(10), 2);
    EXPECT_TRUE(Mem.GetEof());
    EXPECT_EQ(Mem.MoveBy(1), 0);
    EXPECT_EQ(Mem.MoveBy(-10), -2);
    EXPECT_TRUE(Mem.GetBof());
    Mem.Last();
    EXPECT_EQ(Month(), "Mar");
    Mem.Prior();
    EXPECT_EQ(Month(), "Feb");
    Mem.SetRecNo(1);
    EXPECT_EQ(Month(), "Jan");
    EXPECT_THROW_MSG(Mem.SetRecNo(4), EDatabaseError, "Mem1: record number 4 is out of range 1..3");
}

TEST_F(DataSetTest, EmptyAndClosedDataSets) {
    EXPECT_THROW_MSG(Mem.First(), EDatabaseError, "Mem1: cannot perform this operation on a closed data set");
    EXPECT_EQ(Mem.GetFieldCount(), 0);
    EXPECT_EQ(Mem.GetRecordCount(), 0);
    EXPECT_THROW_MSG(Mem.FieldByName("month"), EDatabaseError,
                     "Mem1: field \"month\" not found (the data set is closed)");

    Mem.EmptyDataSet();
    Mem.Open();
    EXPECT_TRUE(Mem.GetBof());
    EXPECT_TRUE(Mem.GetEof());
    EXPECT_EQ(Mem.GetRecNo(), 0);
    EXPECT_TRUE(Mem.FieldByName("month").IsNull());
    EXPECT_THROW_MSG(Mem.Delete(), EDatabaseError, "Mem1: cannot delete: the data set has no records");
    // Edit on an empty data set starts an insert.
    Mem.Edit();
    EXPECT_EQ(Mem.GetState(), TDataSetState::dsInsert);
}

TEST_F(DataSetTest, FieldByNameNamesTheDataSetAndTheField) {
    Mem.Open();
    EXPECT_THROW_MSG(Mem.FieldByName("profit"), EDatabaseError, "Mem1: field \"profit\" not found");
    EXPECT_EQ(Mem.FindField("profit"), nullptr);
    // Names match as in SQL, ignoring ASCII case.
    EXPECT_EQ(Mem.FindField("REVENUE"), Mem.GetField(1));
    TMemDataSet Unnamed(nullptr);
    Unnamed.Open();
    EXPECT_THROW_MSG(Unnamed.FieldByName("x"), EDatabaseError, "TMemDataSet: field \"x\" not found");
}

TEST_F(DataSetTest, EditPostAndCancel) {
    Mem.Open();
    Mem.Next();
    EXPECT_THROW_MSG(Mem.FieldByName("units").SetAsInteger(1), EDatabaseError,
                     "Mem1: field \"units\" cannot be set: the data set is not in edit or insert mode");
    EXPECT_THROW_MSG(Mem.Post(), EDatabaseError, "Mem1: cannot post: the data set is not in edit or insert mode");

    Mem.Edit();
    EXPECT_EQ(Mem.GetState(), TDataSetState::dsEdit);
    Mem.FieldByName("revenue").SetAsString("101.25");
    EXPECT_TRUE(Mem.GetModified());
    EXPECT_DOUBLE_EQ(Mem.FieldByName("revenue").GetAsFloat(), 101.25);
    Mem.Cancel();
    EXPECT_DOUBLE_EQ(Mem.FieldByName("revenue").GetAsFloat(), 98.0);

    Mem.Edit();
    Mem.FieldByName("revenue").SetAsFloat(101.25);
    Mem.Post();
    EXPECT_EQ(Mem.GetState(), TDataSetState::dsBrowse);
    Mem.Close();
    Mem.Open();  // the memory table keeps what was posted
    Mem.SetRecNo(2);
    EXPECT_DOUBLE_EQ(Mem.FieldByName("revenue").GetAsFloat(), 101.25);
}

TEST_F(DataSetTest, InsertAppendAndDeletePlaceTheCursor) {
    Mem.Open();
    Mem.SetRecNo(2);
    Mem.Insert();
    EXPECT_EQ(Mem.CurrentRecordNumber(), 2);
    EXPECT_TRUE(Mem.FieldByName("month").IsNull());
    Mem.FieldByName("month").SetAsString("Jan½");
    Mem.Post();
    EXPECT_EQ(Mem.GetRecNo(), 2);
    EXPECT_EQ(Mem.GetRecordCount(), 4);

    Mem.Append();
    Mem.FieldByName("month").SetAsString("Apr");
    Mem.Post();
    EXPECT_EQ(Mem.GetRecNo(), 5);

    Mem.SetRecNo(2);
    Mem.Delete();
    EXPECT_EQ(Month(), "Feb");
    Mem.Last();
    Mem.Delete();
    EXPECT_EQ(Month(), "Mar");  // the cursor falls back to the new last record
    EXPECT_EQ(Mem.GetRecordCount(), 3);

    // Delete during an insert only cancels the insert.
    Mem.Insert();
    Mem.Delete();
    EXPECT_EQ(Mem.GetRecordCount(), 3);
    EXPECT_EQ(Mem.GetState(), TDataSetState::dsBrowse);
}

TEST_F(DataSetTest, MovingPostsAChangedEditAndDropsAnUntouchedInsert) {
    Mem.Open();
    Mem.Edit();
    Mem.FieldByName("units").SetAsInteger(30);
    Mem.Next();  // posts
    Mem.First();
    EXPECT_EQ(Mem.FieldByName("units").GetAsInteger(), 30);

    Mem.Append();
    Mem.First();  // nothing was set: no blank record
    EXPECT_EQ(Mem.GetRecordCount(), 3);
}

TEST_F(DataSetTest, ConversionsRefuseWhatDoesNotFitAndNameTheRecord) {
    Mem.Open();
    Mem.Edit();
    TField& Units = Mem.FieldByName("units");
    Units.SetAsString(" 42 ");
    EXPECT_EQ(Units.GetAsInteger(), 42);
    Units.SetAsFloat(8.0);
    EXPECT_EQ(Units.GetValue(), TFieldValue(std::int64_t{8}));
    EXPECT_THROW_MSG(Units.SetAsString("12.5"), EDatabaseError,
                     "Mem1: field \"units\" of record 1: '12.5' is not an integer");
    EXPECT_THROW_MSG(Mem.FieldByName("revenue").SetAsString("lots"), EDatabaseError,
                     "Mem1: field \"revenue\" of record 1: 'lots' is not a number");
    EXPECT_EQ(Units.GetAsInteger(), 8);  // a refused value changes nothing
    Units.SetAsString("");               // an empty text clears a numeric field
    EXPECT_TRUE(Units.IsNull());
    Mem.Cancel();

    // Reading a text as a number names the record it came from.
    Mem.SetRecNo(3);
    EXPECT_THROW_MSG(Mem.FieldByName("month").GetAsFloat(), EDatabaseError,
                     "Mem1: field \"month\" of record 3: 'Mar' is not a number");
    // Null reads as 0 and as the empty text.
    EXPECT_EQ(Mem.FieldByName("revenue").GetAsFloat(), 0.0);
    EXPECT_EQ(Mem.FieldByName("revenue").GetAsString(), "");
    Mem.First();
    EXPECT_EQ(Mem.FieldByName("revenue").GetAsString(), "120.5");
    EXPECT_EQ(Mem.FieldByName("revenue").GetAsInteger(), 121);  // rounded
}

TEST_F(DataSetTest, ActiveSetWhileLoadingOpensInLoaded) {
    Mem.SetLoading(true);
    Mem.SetActive(true);
    EXPECT_FALSE(Mem.GetActive());
    Mem.Loaded();
    EXPECT_TRUE(Mem.GetActive());
    EXPECT_FALSE(Mem.HasState(csLoading));

    Mem.SetLoading(true);
    Mem.SetActive(false);
    Mem.Loaded();
    EXPECT_TRUE(Mem.GetActive());  // a stored False closes nothing that was not loading
}

TEST_F(DataSetTest, ForEachRecordShowsPendingEditsWithoutMoving) {
    Mem.Open();
    Mem.SetRecNo(2);
    Mem.Edit();
    Mem.FieldByName("month").SetAsString("FEB");
    std::string Seen;
    TField& Month = Mem.FieldByName("month");
    Mem.ForEachRecord([&](int RecNo) { Seen += std::to_string(RecNo) + Month.GetAsString() + " "; });
    EXPECT_EQ(Seen, "1Jan 2FEB 3Mar ");
    EXPECT_EQ(Mem.GetState(), TDataSetState::dsEdit);
    EXPECT_EQ(Month.GetAsString(), "FEB");
    Mem.Post();

    Mem.Append();
    Month.SetAsString("Apr");
    Seen.clear();
    Mem.ForEachRecord([&](int RecNo) {
        Seen += std::to_string(RecNo) + Month.GetAsString() + " ";
        // Reading must not change the data set under the reader.
        EXPECT_THROW(Mem.Next(), EDatabaseError);
        EXPECT_THROW(Month.SetAsString("x"), EDatabaseError);
    });
    EXPECT_EQ(Seen, "1Jan 2FEB 3Mar 4Apr ");
    EXPECT_EQ(Mem.GetState(), TDataSetState::dsInsert);
    Mem.Post();
    EXPECT_EQ(Mem.GetRecNo(), 4);
}

TEST_F(DataSetTest, FieldDefinitionsAndRecordValuesAreChecked) {
    Mem.Open();
    EXPECT_THROW_MSG(Mem.AddField("x", TFieldType::ftString), EDatabaseError,
                     "Mem1: cannot add field \"x\" while the data set is open");
    Mem.Close();
    EXPECT_THROW_MSG(Mem.AddField("MONTH", TFieldType::ftString), EDatabaseError,
                     "Mem1: field \"MONTH\" already exists");
    EXPECT_THROW_MSG(Mem.AppendRecord({"a", 1.0, std::int64_t{1}, "extra"}), EDatabaseError,
                     "Mem1: a record of 4 values does not fit 3 fields");
    EXPECT_THROW_MSG(Mem.AppendRecord({"Apr", "n/a"}), EDatabaseError,
                     "Mem1: field \"revenue\" of record 4: 'n/a' is not a number");
}

}  // namespace
}  // namespace pv
