#pragma once
// TRecordStore: the records of a data set, kept column by column.
//
// A column whose values are all integers, all floats or all texts keeps them
// in a plain array of that type, and a byte per record marking nulls only
// once a null has been stored in it; a column that mixes kinds keeps a
// TFieldValue per record. Two numeric columns of a million records so take
// 16 MB instead of the hundred-odd bytes per record that a vector of values
// per record costs, and a column of numbers can be read as doubles without
// looking at its records one by one (ReadNumbers).
//
// A record's identity in the back end (TRecordBuffer::Key) is kept only once
// a record has a key other than 0.

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/db/Field.h"

namespace pv {

// One record as a data set hands it over: a value per field, in field order.
struct TRecordBuffer {
    std::vector<TFieldValue> Values;
    // The record's identity in the back end (a SQLite rowid); 0 for none.
    std::int64_t Key = 0;
};

class TRecordStore {
public:
    TRecordStore() = default;
    explicit TRecordStore(std::size_t Fields) : FColumns(Fields) {}

    std::size_t FieldCount() const { return FColumns.size(); }
    std::size_t Size() const { return FRows; }
    bool Empty() const { return FRows == 0; }

    // Appending a record: one Append call per field, in field order, then
    // EndRecord. The store is consistent again only after EndRecord.
    void AppendNull(std::size_t Field) { FColumns[Field].PushNull(); }
    void AppendInteger(std::size_t Field, std::int64_t Value) { FColumns[Field].PushInteger(Value); }
    void AppendFloat(std::size_t Field, double Value) { FColumns[Field].PushFloat(Value); }
    void AppendText(std::size_t Field, std::string_view Value) { FColumns[Field].PushText(Value); }
    void Append(std::size_t Field, const TFieldValue& Value);
    void EndRecord(std::int64_t Key = 0);

    // Whole records. Record must have one value per field.
    void AppendRecord(const TRecordBuffer& Record);
    void InsertRecord(std::size_t Row, const TRecordBuffer& Record);
    void SetRecord(std::size_t Row, const TRecordBuffer& Record);
    void EraseRecord(std::size_t Row);
    TRecordBuffer Record(std::size_t Row) const;
    void Clear();

    TFieldValue Value(std::size_t Row, std::size_t Field) const { return FColumns[Field].Get(Row); }
    bool IsNull(std::size_t Row, std::size_t Field) const { return FColumns[Field].IsNull(Row); }
    std::int64_t Key(std::size_t Row) const { return FKeys.empty() ? 0 : FKeys[Row]; }

    // Which kinds of value a field holds, besides nulls.
    struct TKinds {
        bool Integer = false, Float = false, Text = false;
    };
    TKinds KindsOf(std::size_t Field) const;
    // Field's value of every record as a double, a null as NaN, when the
    // field holds only nulls, integers and finite floats; false (Values
    // unspecified) when it holds anything else.
    bool ReadNumbers(std::size_t Field, std::vector<double>& Values) const;

    // The records one by one, emptying the store.
    std::vector<TRecordBuffer> TakeRecords();
    // A store of Fields fields holding Records, each of one value per field.
    static TRecordStore FromRecords(std::vector<TRecordBuffer>&& Records, std::size_t Fields);

private:
    class TColumn {
    public:
        void PushNull();
        void PushInteger(std::int64_t V);
        void PushFloat(double V);
        void PushText(std::string_view V);
        void Push(const TFieldValue& V);
        TFieldValue Get(std::size_t Row) const;
        bool IsNull(std::size_t Row) const;
        void Set(std::size_t Row, const TFieldValue& V);
        void InsertNull(std::size_t Row);
        void Erase(std::size_t Row);
        std::size_t Size() const { return FSize; }
        TKinds Kinds() const;
        bool ReadNumbers(std::vector<double>& Values) const;

    private:
        // kNone: every value so far is null.
        enum class TKind : std::uint8_t { kNone, kInteger, kFloat, kText, kMixed };
        // Makes a column of no value but nulls into one of Kind.
        void Become(TKind Kind);
        void ToMixed();
        // Makes the null flags exist (all clear) before a null is stored.
        void NeedNulls();
        bool Flagged(std::size_t Row) const { return !FNulls.empty() && FNulls[Row] != 0; }

        TKind FKind = TKind::kNone;
        std::size_t FSize = 0;
        std::vector<std::int64_t> FIntegers;
        std::vector<double> FFloats;
        std::vector<std::string> FTexts;
        std::vector<TFieldValue> FMixed;
        // One byte per record once a null is stored in a typed column; empty
        // while there is none.
        std::vector<std::uint8_t> FNulls;
    };

    std::vector<TColumn> FColumns;
    std::size_t FRows = 0;
    // One key per record, once a record has a key other than 0.
    std::vector<std::int64_t> FKeys;
};

}  // namespace pv
