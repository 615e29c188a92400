// TSQLiteQuery on real SQLite files: reading, types, parameters, errors.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/db/DBError.h"
#include "platform/db/SQLiteQuery.h"
#include "platform/rtl/TypInfo.h"
#include "tests/db/DBTestSupport.h"
#include "tests/support/ThrowMessage.h"

namespace pv {
namespace {


class SQLiteQueryTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::CreateSalesDb(Dir.File("sales.db"));
        Query.SetName("Query1");
        Query.SetDatabaseName(Dir.File("sales.db"));
    }
    void SetSQL(const std::string& Sql) { Query.GetSQL()->SetText(Sql); }

    test::TTempDir Dir;
    TSQLiteQuery Query{nullptr};
};

TEST_F(SQLiteQueryTest, ReadsEveryRowWithTypesFromTheColumns) {
    SetSQL("SELECT month, revenue, month_no, revenue * 2 AS twice, month_no + 1 AS next\n"
           "FROM sales ORDER BY month_no");
    Query.Open();
    ASSERT_EQ(Query.GetFieldCount(), 5);
    EXPECT_EQ(Query.FieldByName("month").GetDataType(), TFieldType::ftString);
    EXPECT_EQ(Query.FieldByName("revenue").GetDataType(), TFieldType::ftFloat);
    EXPECT_EQ(Query.FieldByName("month_no").GetDataType(), TFieldType::ftInteger);
    // Expressions declare nothing; their values decide.
    EXPECT_EQ(Query.FieldByName("twice").GetDataType(), TFieldType::ftFloat);
    EXPECT_EQ(Query.FieldByName("next").GetDataType(), TFieldType::ftInteger);
    EXPECT_EQ(Query.GetRecordCount(), 3);
    EXPECT_FALSE(Query.GetCanModify());
    EXPECT_DOUBLE_EQ(Query.FieldByName("revenue").GetAsFloat(), 120.5);
    Query.Last();
    EXPECT_EQ(Query.FieldByName("month").GetAsString(), "Mar");
    EXPECT_TRUE(Query.FieldByName("revenue").IsNull());
    EXPECT_THROW_MSG(Query.Edit(), EDatabaseError, "Query1: cannot modify a read-only data set");
}

TEST_F(SQLiteQueryTest, DateAndTimeColumnsGiveDateFieldsOfTextsAndUnixTimes) {
    test::TTestDb Db(Dir.File("sales.db"));
    Db.Exec("CREATE TABLE visits (day DATE, at DATETIME, stamp TIMESTAMP(3), clock TIME, note TEXT);"
            "INSERT INTO visits VALUES ('2026-03-05', '2026-03-05 14:30', 1772721000, '08:15:30', 'x'),"
            " (20517 * 86400, '2026-03-05T14:30:00Z', '2026-03-05 15:30:00+01:00', 3600, 'y'),"
            " ('soon', NULL, NULL, NULL, 'z')");
    SetSQL("SELECT day, at, stamp, clock, note, date(day) AS expr FROM visits ORDER BY rowid");
    Query.Open();
    auto Type = [&](const char* F) { return Query.FieldByName(F).GetDataType(); };
    EXPECT_EQ(Type("day"), TFieldType::ftDate);
    EXPECT_EQ(Type("at"), TFieldType::ftDateTime);
    EXPECT_EQ(Type("stamp"), TFieldType::ftDateTime);
    EXPECT_EQ(Type("clock"), TFieldType::ftTime);
    EXPECT_EQ(Type("note"), TFieldType::ftString);
    EXPECT_EQ(Type("expr"), TFieldType::ftString);  // an expression declares no type
    // Texts show as stored; every form reads as the same moment.
    const double Moment = 20517.0 * 86400 + 14.5 * 3600;
    EXPECT_EQ(Query.FieldByName("at").GetAsString(), "2026-03-05 14:30");
    EXPECT_EQ(Query.FieldByName("at").GetAsFloat(), Moment);
    EXPECT_EQ(Query.FieldByName("stamp").GetAsString(), "2026-03-05 14:30:00");
    EXPECT_EQ(Query.FieldByName("stamp").GetAsFloat(), Moment);
    EXPECT_EQ(Query.FieldByName("clock").GetAsFloat(), 8 * 3600 + 15 * 60 + 30);
    Query.Next();
    EXPECT_EQ(Query.FieldByName("day").GetAsString(), "2026-03-05");
    EXPECT_EQ(Query.FieldByName("at").GetAsFloat(), Moment);
    EXPECT_EQ(Query.FieldByName("stamp").GetAsFloat(), Moment);
    EXPECT_EQ(Query.FieldByName("clock").GetAsString(), "01:00:00");
    // A text that is no date is read as a label, and refused as a number.
    Query.Next();
    EXPECT_EQ(Query.FieldByName("day").GetAsString(), "soon");
    EXPECT_THROW_MSG(Query.FieldByName("day").GetAsFloat(), EDatabaseError,
                     "Query1: field \"day\" of record 3: 'soon' is not a date");
}

TEST_F(SQLiteQueryTest, ABlobInANumericFieldIsDescribedNotCopiedIntoTheMessage) {
    {
        test::TTestDb Db(Dir.File("sales.db"));
        // A picture's bytes, with a zero byte early on, stored in a REAL column.
        Db.Exec("INSERT INTO sales (month_no, month, revenue) VALUES (4, 'Apr', X'89504E470D0A1A0A0000000D49484452');"
                "INSERT INTO sales (month_no, month, revenue) VALUES (5, 'May', '" + std::string(5000, '9') +
                "x');");
    }
    SetSQL("SELECT month, revenue FROM sales ORDER BY month_no");
    Query.Open();
    Query.MoveBy(3);
    EXPECT_THROW_MSG(Query.FieldByName("revenue").GetAsFloat(), EDatabaseError,
                     "Query1: field \"revenue\" of record 4: a binary value (BLOB) of 16 bytes is not a number");
    // A long text is shown as a short prefix.
    Query.Next();
    EXPECT_THROW_MSG(
        Query.FieldByName("revenue").GetAsInteger(), EDatabaseError,
        "Query1: field \"revenue\" of record 5: '" + std::string(60, '9') + "...' (5001 bytes) is not an integer");
}

TEST_F(SQLiteQueryTest, AMissingDatabaseIsAnErrorAndIsNotCreated) {
    const std::string Missing = Dir.File("missing.db");
    Query.SetDatabaseName(Missing);
    SetSQL("SELECT 1");
    EXPECT_THROW_MSG(Query.Open(), EDatabaseError,
                     "Query1: cannot open database \"" + Missing + "\": unable to open database file");
    EXPECT_FALSE(Query.GetActive());
    EXPECT_FALSE(std::filesystem::exists(Missing));
}

TEST_F(SQLiteQueryTest, SQLiteErrorsNameTheQueryAndSQLitesMessage) {
    const std::string On = "Query1: cannot run the SQL on database \"" + Dir.File("sales.db") + "\": ";
    SetSQL("SELEC month FROM sales");
    EXPECT_THROW_MSG(Query.Open(), EDatabaseError, On + "near \"SELEC\": syntax error");
    SetSQL("SELECT month FROM salez");
    EXPECT_THROW_MSG(Query.Open(), EDatabaseError, On + "no such table: salez");
    // The connection is read-only: a query never writes.
    SetSQL("UPDATE sales SET revenue = 0");
    EXPECT_THROW_MSG(Query.Open(), EDatabaseError, On + "attempt to write a readonly database");
    EXPECT_EQ(test::TTestDb(Dir.File("sales.db")).Scalar("SELECT revenue FROM sales WHERE month_no = 1"), "120.5");
    SetSQL("SELECT 1; DELETE FROM sales");
    EXPECT_THROW_MSG(Query.Open(), EDatabaseError, "Query1: cannot open: SQL holds more than one statement");
    SetSQL(" \n");
    EXPECT_THROW_MSG(Query.Open(), EDatabaseError, "Query1: cannot open: SQL is empty");
    Query.SetDatabaseName("");
    SetSQL("SELECT 1");
    EXPECT_THROW_MSG(Query.Open(), EDatabaseError, "Query1: cannot open: DatabaseName is empty");
}

TEST_F(SQLiteQueryTest, ABusyDatabaseFailsWithSQLitesMessage) {
    test::TTestDb Locker(Dir.File("sales.db"));
    Locker.Exec("BEGIN EXCLUSIVE; UPDATE sales SET revenue = 1;");
    Query.SetBusyTimeout(0);
    SetSQL("SELECT * FROM sales");
    EXPECT_THROW_MSG(Query.Open(), EDatabaseError,
                     "Query1: cannot run the SQL on database \"" + Dir.File("sales.db") + "\": database is locked");
    Locker.Exec("ROLLBACK");
    Query.Open();
    EXPECT_EQ(Query.GetRecordCount(), 3);
}

TEST_F(SQLiteQueryTest, ParametersAreBoundAsTextByName) {
    SetSQL("SELECT month FROM sales WHERE month_no >= :from AND month <> @skip ORDER BY month_no");
    Query.GetParams()->SetText("from=2\nskip=Mar\n");
    Query.Open();
    ASSERT_EQ(Query.GetRecordCount(), 1);  // text '2' compares as a number with an INTEGER column
    EXPECT_EQ(Query.FieldByName("month").GetAsString(), "Feb");

    // Changing a parameter closes the query; the new value counts at the next open.
    Query.GetParams()->SetText("from=1\nskip=x'); DROP TABLE sales; --\nunused=1");
    EXPECT_FALSE(Query.GetActive());
    Query.Open();
    EXPECT_EQ(Query.GetRecordCount(), 3);

    // A value holding SQL is only ever compared as text.
    SetSQL("SELECT count(*) AS n FROM sales WHERE month = :m");
    Query.GetParams()->SetText("m=x'); DROP TABLE sales; --");
    Query.Open();
    EXPECT_EQ(Query.FieldByName("n").GetAsInteger(), 0);
    EXPECT_EQ(test::TTestDb(Dir.File("sales.db")).Scalar("SELECT count(*) FROM sales"), "3");
}

TEST_F(SQLiteQueryTest, ParameterErrors) {
    SetSQL("SELECT month FROM sales WHERE month_no = :month_no");
    EXPECT_THROW_MSG(Query.Open(), EDatabaseError, "Query1: parameter \":month_no\" has no value in Params");
    Query.GetParams()->SetText("month_no 3");
    EXPECT_THROW_MSG(Query.Open(), EDatabaseError, "Query1: Params line 1 'month_no 3' is not name=value");
    Query.GetParams()->Clear();
    SetSQL("SELECT month FROM sales WHERE month_no = ?");
    EXPECT_THROW_MSG(
        Query.Open(), EDatabaseError,
        "Query1: parameter 1 of the SQL has no name: write :name and give its value in Params as name=value");
}

TEST_F(SQLiteQueryTest, DeclaredIntegerLimitsAreWholeNumbersExactlyToSixtyFourBits) {
    SetSQL("SELECT :n AS v");
    Query.GetParams()->SetText("n:integer(-9223372036854775808..9223372036854775807)=-9223372036854775808");
    EXPECT_THROW_MSG(Query.SetParamValue("n", "9223372036854775808"), EDatabaseError,
                     "Query1: parameter \"n\" cannot be '9223372036854775808': it must be an integer in "
                     "-9223372036854775808..9223372036854775807");
    Query.Open();
    EXPECT_EQ(Query.FieldByName("v").GetAsInteger(), std::numeric_limits<std::int64_t>::min());
    Query.SetParamValue("n", "9223372036854775807");
    Query.Refresh();
    EXPECT_EQ(Query.FieldByName("v").GetAsInteger(), std::numeric_limits<std::int64_t>::max());

    // Past 2^53 a double no longer tells neighbours apart; the check does.
    Query.Close();
    Query.GetParams()->SetText("n:integer(9007199254740991..9007199254740992)=9007199254740992");
    EXPECT_THROW_MSG(Query.SetParamValue("n", "9007199254740993"), EDatabaseError,
                     "Query1: parameter \"n\" cannot be '9007199254740993': it must be an integer in "
                     "9007199254740991..9007199254740992");
    Query.GetParams()->SetText("n:integer(0..9007199254740992)=9007199254740993");
    EXPECT_THROW_MSG(Query.Open(), EDatabaseError,
                     "Query1: Params line 1 'n:integer(0..9007199254740992)=9007199254740993' has the value "
                     "'9007199254740993', which is not an integer in 0..9007199254740992");

    // Bounds written as numbers that are not whole keep their meaning: the
    // whole numbers inside, shown as such; reals print as before.
    Query.GetParams()->SetText("n:integer(0.5..2.5e1)=1\nr:real(-0.5..1e20)=1");
    const std::vector<TQueryParam> List = Query.GetParamList();
    ASSERT_EQ(List.size(), 2u);
    EXPECT_EQ(List[0].Allowed(), "an integer in 1..25");
    EXPECT_EQ(List[1].Allowed(), "a number in -0.5..1e+20");
    EXPECT_THROW_MSG(Query.SetParamValue("n", "0"), EDatabaseError,
                     "Query1: parameter \"n\" cannot be '0': it must be an integer in 1..25");
    Query.GetParams()->SetText("n:integer(-1e30..1e30)=-9223372036854775808");
    EXPECT_EQ(Query.GetParamList()[0].Allowed(), "an integer in -9223372036854775808..9223372036854775807");
    Query.GetParams()->SetText("n:integer(0.2..0.8)=0");
    EXPECT_THROW_MSG(Query.GetParamList(), EDatabaseError,
                     "Query1: Params line 1 'n:integer(0.2..0.8)=0' declares integer(0.2..0.8), which holds no whole number");
    Query.GetParams()->SetText("n:integer(5..1)=3");
    EXPECT_THROW_MSG(Query.GetParamList(), EDatabaseError,
                     "Query1: Params line 1 'n:integer(5..1)=3' needs integer(MIN..MAX) with MIN <= MAX");
}

TEST_F(SQLiteQueryTest, RelativeNamesAreResolvedAgainstTheBaseDirectory) {
    Query.SetDatabaseName("sales.db");
    Query.SetBaseDirectory(Dir.Path().string());
    EXPECT_EQ(Query.GetDatabasePath(), Dir.File("sales.db"));
    SetSQL("SELECT * FROM sales");
    Query.Open();
    EXPECT_EQ(Query.GetRecordCount(), 3);
}

TEST_F(SQLiteQueryTest, RefreshSeesNewRowsAndChangingTheDefinitionCloses) {
    SetSQL("SELECT month FROM sales");
    Query.Open();
    Query.Last();
    test::TTestDb(Dir.File("sales.db")).Exec("INSERT INTO sales (month_no, month) VALUES (4, 'Apr')");
    Query.Refresh();
    EXPECT_EQ(Query.GetRecordCount(), 4);
    EXPECT_EQ(Query.GetRecNo(), 3);  // kept
    SetSQL("SELECT month, revenue FROM sales");
    EXPECT_FALSE(Query.GetActive());
    Query.Open();
    Query.SetDatabaseName(Dir.File("other.db"));
    EXPECT_FALSE(Query.GetActive());
}

TEST_F(SQLiteQueryTest, PublishedTableAndLoading) {
    const auto Props = GetPropList(*Query.ClassInfo());
    std::vector<std::string_view> Names;
    for (auto* P : Props) Names.push_back(P->Name);
    EXPECT_EQ(Names, (std::vector<std::string_view>{"Name", "Tag", "DatabaseName", "SQL", "Params", "Active"}));
    EXPECT_EQ(Props[3]->Kind, TTypeKind::tkClass);
    EXPECT_EQ(Props[3]->TypeName, "TStrings");
    EXPECT_EQ(Props[4]->TypeName, "TStrings");
    EXPECT_TRUE(Query.ClassInfo()->InheritsFrom("TDataSet"));

    // As the form reader applies them: Active waits for Loaded.
    TStringList Sql;
    Sql.Add("SELECT month FROM sales");
    Query.SetLoading(true);
    GetPropInfo(*Query.ClassInfo(), "SQL")->Set(Query, TPropValue(static_cast<TObject*>(&Sql)));
    GetPropInfo(*Query.ClassInfo(), "Active")->Set(Query, TPropValue(true));
    EXPECT_FALSE(Query.GetActive());
    Query.Loaded();
    EXPECT_TRUE(Query.GetActive());
    EXPECT_EQ(std::get<bool>(GetPropInfo(*Query.ClassInfo(), "Active")->Get(Query)), true);
    EXPECT_EQ(std::get<TObject*>(Props[3]->Get(Query)), Query.GetSQL());
}

}  // namespace
}  // namespace pv
