#pragma once
// TMemDataSet: a table held in memory, for programs that have their data in
// hand and for tests. Its fields and records stay when it is closed; open,
// it supports every navigation and editing operation of TDataSet.
//
// In code: AddField("month", TFieldType::ftString), then AppendRecord({"Jan",
// 120.5}). In a form: the published FieldDefs and Records string lists, one
// field ("month=ftString") or one record per line; a record line holds the
// values in field order, separated by commas, text in double quotes with
// doubled quotes inside ("O""Neil"), numbers in C notation, an empty value
// for null: "Jan",120.5,
// The lists show the data as it stands each time they are read through the
// property table. Changing the field list replaces the fields, empties the
// records and closes an open data set; changing the record list replaces the
// records (links of an open data set get DataSetChanged).

#include <memory>
#include <string>
#include <vector>

#include "platform/db/DataSet.h"
#include "platform/rtl/Strings.h"

namespace pv {

class TMemDataSet : public TDataSet {
public:
    explicit TMemDataSet(TComponent* AOwner);
    ~TMemDataSet() override;

    std::string_view ClassName() const override { return "TMemDataSet"; }
    const TClassInfo* ClassInfo() const override;
    static const TClassInfo& StaticClassInfo();
    static TComponent* NewInstance(TComponent* AOwner) { return new TMemDataSet(AOwner); }

    bool GetCanModify() const override { return true; }

    // Adds a field at the end; existing records get null for it. Only while
    // closed; an empty or duplicate name (ASCII case ignored) raises
    // EDatabaseError.
    void AddField(const std::string& Name, TFieldType DataType);
    const std::vector<TFieldDef>& GetFieldDefs() const { return FFieldDefs; }
    // Removes every field and record (closes the data set first).
    void ClearFields();

    // Adds a record after the last, with Values in field order (missing
    // trailing values are null), converted to the fields' types. Closed, the
    // record is stored; open, it goes through Append and Post, so links hear
    // of it and the cursor moves to it. More values than fields, or a value
    // that does not convert, raises EDatabaseError and adds nothing.
    void AppendRecord(const std::vector<TFieldValue>& Values);
    // Removes every record; links of an open data set get DataSetChanged.
    void EmptyDataSet();

    // The form's view of the fields and records (see above).
    TStrings* GetFieldDefsList() const;
    void SetFieldDefsList(const TStrings* Value);
    TStrings* GetRecordsList() const;
    void SetRecordsList(const TStrings* Value);

protected:
    TDataSetContents InternalOpen() override;
    void InternalClose(TRecordStore&& Records) override;

private:
    TRecordBuffer ConvertRecord(const std::vector<TFieldValue>& Values) const;
    void FieldDefsListChanged();
    void RecordsListChanged();

    std::vector<TFieldDef> FFieldDefs;
    // The records while closed; while open the data set's own list holds them.
    std::vector<TRecordBuffer> FRows;
    // Published views, rebuilt from the data on every read. FSyncing is set
    // while they are rebuilt, so their change handlers know it is not a new
    // value.
    std::unique_ptr<TStringList> FFieldDefsList;
    std::unique_ptr<TStringList> FRecordsList;
    mutable bool FSyncing = false;
};

}  // namespace pv
