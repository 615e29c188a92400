// TSQLiteTable: reading a whole table and writing posts and deletes back.

#include <gtest/gtest.h>

#include "platform/db/DBError.h"
#include "platform/db/SQLiteTable.h"
#include "platform/rtl/TypInfo.h"
#include "tests/db/DBTestSupport.h"

namespace pv {
namespace {


class SQLiteTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::CreateSalesDb(Dir.File("sales.db"));
        Table.SetName("Table1");
        Table.SetDatabaseName(Dir.File("sales.db"));
        Table.SetTableName("sales");
    }
    std::string Stored(const std::string& Sql) { return test::TTestDb(Dir.File("sales.db")).Scalar(Sql); }

    test::TTempDir Dir;
    TSQLiteTable Table{nullptr};
};

TEST_F(SQLiteTableTest, PostOfAnEditWritesTheRowBack) {
    Table.Open();
    EXPECT_EQ(Table.GetFieldCount(), 4);
    Table.SetRecNo(2);
    Table.Edit();
    Table.FieldByName("revenue").SetAsString("101.5");
    Table.Post();
    EXPECT_EQ(Stored("SELECT revenue FROM sales WHERE month_no = 2"), "101.5");

    // Re-opened, the table reads what was written.
    TSQLiteTable Again(nullptr);
    Again.SetDatabaseName(Dir.File("sales.db"));
    Again.SetTableName("sales");
    Again.Open();
    Again.SetRecNo(2);
    EXPECT_DOUBLE_EQ(Again.FieldByName("revenue").GetAsFloat(), 101.5);
    EXPECT_EQ(Again.FieldByName("month").GetAsString(), "Feb");
}

TEST_F(SQLiteTableTest, InsertTakesTheStoredRowWithDefaults) {
    Table.Open();
    Table.Append();
    Table.FieldByName("month_no").SetAsInteger(4);
    // SQL held in a value is stored as text, nothing else.
    Table.FieldByName("month").SetAsString("x'); DROP TABLE sales; --");
    Table.Post();
    EXPECT_EQ(Table.GetRecordCount(), 4);
    EXPECT_EQ(Table.FieldByName("note").GetAsString(), "none");  // the column's default, read back
    EXPECT_EQ(Stored("SELECT month FROM sales WHERE month_no = 4"), "x'); DROP TABLE sales; --");
    EXPECT_EQ(Stored("SELECT count(*) FROM sales"), "4");

    // The new record has its rowid: editing it updates that row.
    Table.Edit();
    Table.FieldByName("revenue").SetAsFloat(7.25);
    Table.Post();
    EXPECT_EQ(Stored("SELECT revenue FROM sales WHERE month_no = 4"), "7.25");
}

TEST_F(SQLiteTableTest, DeleteDeletesTheRow) {
    Table.Open();
    Table.Delete();
    EXPECT_EQ(Stored("SELECT group_concat(month) FROM sales"), "Feb,Mar");
    EXPECT_EQ(Table.FieldByName("month").GetAsString(), "Feb");
}

TEST_F(SQLiteTableTest, ARefusedPostKeepsTheEditPending) {
    Table.SetBusyTimeout(0);
    Table.Open();
    Table.Edit();
    Table.FieldByName("revenue").SetAsFloat(1.0);
    {
        test::TTestDb Locker(Dir.File("sales.db"));
        Locker.Exec("BEGIN EXCLUSIVE");
        EXPECT_THROW_MSG(Table.Post(), EDatabaseError,
                         "Table1: cannot write record 1 to table \"sales\": database is locked");
        EXPECT_EQ(Table.GetState(), TDataSetState::dsEdit);
        EXPECT_DOUBLE_EQ(Table.FieldByName("revenue").GetAsFloat(), 1.0);
        Locker.Exec("ROLLBACK");
    }
    Table.Post();
    EXPECT_EQ(Stored("SELECT revenue FROM sales WHERE month_no = 1"), "1.0");
}

TEST_F(SQLiteTableTest, ARowDeletedElsewhereIsReported) {
    Table.Open();
    test::TTestDb(Dir.File("sales.db")).Exec("DELETE FROM sales WHERE month_no = 1");
    Table.Edit();
    Table.FieldByName("revenue").SetAsFloat(2.0);
    EXPECT_THROW_MSG(Table.Post(), EDatabaseError,
                     "Table1: cannot write record 1 to table \"sales\": the row (rowid 1) no longer exists");
    Table.Cancel();
    EXPECT_THROW_MSG(Table.Delete(), EDatabaseError,
                     "Table1: cannot delete record 1 from table \"sales\": the row (rowid 1) no longer exists");
}

TEST_F(SQLiteTableTest, OpenErrors) {
    Table.SetTableName("salez");
    EXPECT_THROW_MSG(
        Table.Open(), EDatabaseError,
        "Table1: cannot read table \"salez\" of database \"" + Dir.File("sales.db") + "\": no such table: salez");
    const std::string Missing = Dir.File("nowhere.db");
    Table.SetDatabaseName(Missing);
    EXPECT_THROW_MSG(Table.Open(), EDatabaseError,
                     "Table1: cannot open database \"" + Missing + "\": unable to open database file");
    EXPECT_FALSE(std::filesystem::exists(Missing));
    Table.SetDatabaseName(Dir.File("sales.db"));
    Table.SetTableName("");
    EXPECT_THROW_MSG(Table.Open(), EDatabaseError, "Table1: cannot open: TableName is empty");
}

TEST_F(SQLiteTableTest, TextInANumberColumnStaysTextAndFailsAsANumber) {
    test::TTestDb(Dir.File("sales.db")).Exec("UPDATE sales SET revenue = 'n/a' WHERE month_no = 2");
    Table.Open();
    Table.SetRecNo(2);
    EXPECT_EQ(Table.FieldByName("revenue").GetDataType(), TFieldType::ftFloat);
    EXPECT_EQ(Table.FieldByName("revenue").GetAsString(), "n/a");
    EXPECT_THROW_MSG(Table.FieldByName("revenue").GetAsFloat(), EDatabaseError,
                     "Table1: field \"revenue\" of record 2: 'n/a' is not a number");
}

TEST_F(SQLiteTableTest, PublishedTable) {
    std::vector<std::string_view> Names;
    for (auto* P : GetPropList(*Table.ClassInfo())) Names.push_back(P->Name);
    EXPECT_EQ(Names, (std::vector<std::string_view>{"Name", "Tag", "DatabaseName", "TableName", "Active"}));
}

}  // namespace
}  // namespace pv
