#include "platform/db/SQLiteTable.h"

#include <array>

#include "platform/db/SQLiteSupport.h"
#include "platform/rtl/TypInfo.h"

namespace pv {

namespace {

const TSQLiteTable& T(const TObject& O) { return static_cast<const TSQLiteTable&>(O); }
TSQLiteTable& T(TObject& O) { return static_cast<TSQLiteTable&>(O); }

const std::array<TPropInfo, 3> TableProps{{
    {"DatabaseName", TTypeKind::tkString, nullptr, {},
     [](const TObject& O) -> TPropValue { return T(O).GetDatabaseName(); },
     [](TObject& O, const TPropValue& V) { T(O).SetDatabaseName(std::get<std::string>(V)); }},
    {"TableName", TTypeKind::tkString, nullptr, {},
     [](const TObject& O) -> TPropValue { return T(O).GetTableName(); },
     [](TObject& O, const TPropValue& V) { T(O).SetTableName(std::get<std::string>(V)); }},
    {"Active", TTypeKind::tkBoolean, nullptr, {},
     [](const TObject& O) -> TPropValue { return T(O).GetActive(); },
     [](TObject& O, const TPropValue& V) { T(O).SetActive(std::get<bool>(V)); }},
}};

}  // namespace

const TClassInfo& TSQLiteTable::StaticClassInfo() {
    static const TClassInfo Info{"TSQLiteTable", &TDataSet::StaticClassInfo(), TableProps};
    return Info;
}
const TClassInfo* TSQLiteTable::ClassInfo() const { return &StaticClassInfo(); }

void TSQLiteTable::SetTableName(const std::string& Value) {
    if (Value == FTableName) return;
    FTableName = Value;
    DefinitionChanged();
}

int TSQLiteTable::Exec(const char* Sql) const { return sqlite3_exec(Connection(), Sql, nullptr, nullptr, nullptr); }

TDataSetContents TSQLiteTable::ReadContents() {
    if (FTableName.empty()) DatabaseError("cannot open: TableName is empty");
    const std::string What = "cannot read table \"" + FTableName + "\" of database \"" + GetDatabasePath() + "\"";
    const std::string Sql = "SELECT rowid, * FROM " + sqlite::QuoteIdentifier(FTableName);
    sqlite3_stmt* Raw = nullptr;
    if (sqlite3_prepare_v2(Connection(), Sql.c_str(), -1, &Raw, nullptr) != SQLITE_OK) SQLiteError(What);
    sqlite::TStatementPtr Stmt(Raw);
    TDataSetContents Contents;
    if (sqlite::ReadAll(Stmt.get(), 1, Contents, GetRecordLimit()) != SQLITE_DONE) SQLiteError(What);
    CheckRecordLimit(Contents.RecordCount(), true);
    return Contents;
}

void TSQLiteTable::InternalPost(TRecordBuffer& Buffer, const std::vector<bool>& Changed, TPostMode Mode) {
    const std::string What = "cannot write record " + std::to_string(CurrentRecordNumber()) + " to table \"" +
                             FTableName + "\"";
    std::vector<int> Set;
    for (int I = 0; I < GetFieldCount(); ++I)
        if (Changed[static_cast<std::size_t>(I)]) Set.push_back(I);
    if (Mode == TPostMode::pmEdit && Set.empty()) return;  // nothing to write

    const std::string Table = sqlite::QuoteIdentifier(FTableName);
    std::string Sql;
    if (Mode == TPostMode::pmEdit) {
        Sql = "UPDATE " + Table + " SET ";
        for (std::size_t I = 0; I < Set.size(); ++I)
            Sql += (I ? ", " : "") + sqlite::QuoteIdentifier(GetField(Set[I])->GetFieldName()) + " = ?" +
                   std::to_string(I + 1);
        Sql += " WHERE rowid = ?" + std::to_string(Set.size() + 1);
    } else if (Set.empty()) {
        Sql = "INSERT INTO " + Table + " DEFAULT VALUES";
    } else {
        std::string Names, Marks;
        for (std::size_t I = 0; I < Set.size(); ++I) {
            Names += (I ? ", " : "") + sqlite::QuoteIdentifier(GetField(Set[I])->GetFieldName());
            Marks += (I ? ", ?" : "?") + std::to_string(I + 1);
        }
        Sql = "INSERT INTO " + Table + " (" + Names + ") VALUES (" + Marks + ")";
    }
    // RETURNING hands back the row as stored, with its rowid.
    Sql += " RETURNING rowid, *";

    if (Exec("BEGIN IMMEDIATE") != SQLITE_OK) SQLiteError(What);
    bool Written = false;
    try {
        sqlite3_stmt* Raw = nullptr;
        if (sqlite3_prepare_v2(Connection(), Sql.c_str(), -1, &Raw, nullptr) != SQLITE_OK) SQLiteError(What);
        sqlite::TStatementPtr Stmt(Raw);
        for (std::size_t I = 0; I < Set.size(); ++I)
            if (sqlite::BindValue(Stmt.get(), static_cast<int>(I) + 1,
                                  Buffer.Values[static_cast<std::size_t>(Set[I])]) != SQLITE_OK)
                SQLiteError(What);
        if (Mode == TPostMode::pmEdit) sqlite3_bind_int64(Stmt.get(), static_cast<int>(Set.size()) + 1, Buffer.Key);
        TDataSetContents Row;
        if (sqlite::ReadAll(Stmt.get(), 1, Row) != SQLITE_DONE) SQLiteError(What);
        Stmt.reset();
        if (Row.Columns.Empty())
            DatabaseError(What + ": the row (rowid " + std::to_string(Buffer.Key) + ") no longer exists");
        if (Exec("COMMIT") != SQLITE_OK) SQLiteError(What);
        Written = true;
        // The stored row replaces the buffer when it has the data set's
        // shape (a column added meanwhile would not fit until a refresh).
        if (Row.Columns.FieldCount() == Buffer.Values.size()) Buffer = Row.Columns.Record(0);
    } catch (...) {
        if (!Written) Exec("ROLLBACK");
        throw;
    }
}

void TSQLiteTable::InternalDelete(const TRecordBuffer& Record) {
    const std::string What = "cannot delete record " + std::to_string(CurrentRecordNumber()) + " from table \"" +
                             FTableName + "\"";
    const std::string Sql = "DELETE FROM " + sqlite::QuoteIdentifier(FTableName) + " WHERE rowid = ?1";
    sqlite3_stmt* Raw = nullptr;
    if (sqlite3_prepare_v2(Connection(), Sql.c_str(), -1, &Raw, nullptr) != SQLITE_OK) SQLiteError(What);
    sqlite::TStatementPtr Stmt(Raw);
    sqlite3_bind_int64(Stmt.get(), 1, Record.Key);
    if (sqlite3_step(Stmt.get()) != SQLITE_DONE) SQLiteError(What);
    if (sqlite3_changes(Connection()) != 1)
        DatabaseError(What + ": the row (rowid " + std::to_string(Record.Key) + ") no longer exists");
}

}  // namespace pv
