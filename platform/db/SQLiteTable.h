#pragma once
// TSQLiteTable: every row of one SQLite table, editable.
//
// Opening reads all rows, each keyed by its rowid. Post writes the edited or
// inserted record back in a transaction: an edit updates only the fields
// that were set, an insert writes the fields that were set and lets the
// table's defaults fill the others; the record then holds the row as SQLite
// stored it (its new rowid, defaults, type conversions). Delete deletes the
// row. Tables without rowid are not supported.

#include "platform/db/SQLiteDataSet.h"

namespace pv {

class TSQLiteTable : public TCustomSQLiteDataSet {
public:
    explicit TSQLiteTable(TComponent* AOwner) : TCustomSQLiteDataSet(AOwner) {}
    ~TSQLiteTable() override { Destroying(); }

    std::string_view ClassName() const override { return "TSQLiteTable"; }
    const TClassInfo* ClassInfo() const override;
    static const TClassInfo& StaticClassInfo();
    static TComponent* NewInstance(TComponent* AOwner) { return new TSQLiteTable(AOwner); }

    // The table's name, as SQLite spells it (any characters). Changing it
    // closes an open table.
    const std::string& GetTableName() const { return FTableName; }
    void SetTableName(const std::string& Value);

    bool GetCanModify() const override { return true; }

protected:
    bool OpensReadOnly() const override { return false; }
    TDataSetContents ReadContents() override;
    void InternalPost(TRecordBuffer& Buffer, const std::vector<bool>& Changed, TPostMode Mode) override;
    void InternalDelete(const TRecordBuffer& Record) override;

private:
    // Runs one statement without results (BEGIN, COMMIT, ROLLBACK).
    int Exec(const char* Sql) const;

    std::string FTableName;
};

}  // namespace pv
