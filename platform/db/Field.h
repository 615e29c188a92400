#pragma once
// TField: one column of a data set, seen through its current record.
//
// A field reads its value from the data set's current record (or from the
// record being edited or inserted) and writes into the record buffer of an
// edit or insert. Fields belong to their data set: they are made when it
// opens and deleted when it closes, so a TField* is valid while the data set
// stays open.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "platform/rtl/Object.h"

namespace pv {

class TDataSet;

// The declared type of a field. Values of any field may also be null.
enum class TFieldType : std::uint8_t {
    ftString,   // UTF-8 text
    ftInteger,  // 64-bit signed integer
    ftFloat,    // double
    // Dates and times: held as their ISO text ("2026-03-05", "14:30:00",
    // "2026-03-05 14:30:00"), or as a number of seconds where the back end
    // stores one, and read as numbers by GetAsFloat (see DateTimeSeconds).
    ftDate,      // a day
    ftTime,      // a time of day (or a duration, as databases keep them)
    ftDateTime,  // a day and a time of day
};

// Whether Type is ftDate, ftTime or ftDateTime.
inline bool IsDateTimeType(TFieldType Type) {
    return Type == TFieldType::ftDate || Type == TFieldType::ftTime || Type == TFieldType::ftDateTime;
}

// The name of a field type as forms write it ("ftFloat").
std::string_view FieldTypeName(TFieldType Type);
// The field type named Name (exact match), or false.
bool FieldTypeFromName(std::string_view Name, TFieldType& Type);

// One stored value: null, integer, float or text. A value need not match its
// field's type: a SQLite column keeps whatever was stored in it, so a REAL
// column can hold a text, and reading it as a number then fails with a
// message naming the field and the record.
using TFieldValue = std::variant<std::monostate, std::int64_t, double, std::string>;

// The null value, for record literals: AppendRecord({"Jan", 1.5, NullValue}).
inline constexpr std::monostate NullValue{};

// A field's definition: its name and type.
struct TFieldDef {
    std::string Name;
    TFieldType DataType = TFieldType::ftString;

    bool operator==(const TFieldDef&) const = default;
};

// Conversions of stored values, shared by fields and data sets. Each returns
// false when the value cannot be converted (the text is no number, a float
// is no integer); null converts to 0 or the empty text.
bool ValueToFloat(const TFieldValue& Value, double& Result);
bool ValueToInteger(const TFieldValue& Value, std::int64_t& Result);
// Integers in decimal, floats in the shortest form that reads back to the
// same double ("120.5", "1e+21"), text as it is, null as "".
std::string ValueToString(const TFieldValue& Value);
// Value converted to a field of type Type: numbers to text for ftString;
// integer texts and integral floats for ftInteger; number texts and
// integers for ftFloat; ISO texts and numbers of seconds for the date and
// time types, which become their ISO text (DateTimeText); null stays null,
// and an empty or blank text becomes null in a numeric, date or time field.
// On failure returns false and sets Expected to what the value should have
// been ("an integer", "a number", "a date").
bool ConvertToType(const TFieldValue& Value, TFieldType Type, TFieldValue& Result, const char*& Expected);
// Dates and times as numbers: seconds since 1970-01-01 00:00:00 UTC for
// dates and date-times (a date is its midnight), seconds since midnight for
// times. Texts are ISO 8601: "2026-03-05", "2026-03-05 14:30",
// "2026-03-05T14:30:05.25", with a zone ("Z", "+01:00", "-0500") taken back
// to UTC and none read as UTC, and a trailing " BC" as databases write old
// years; a time alone ("14:30", "-838:59:59") for ftTime. Numbers are
// seconds already (a Unix time). Surrounding blanks are allowed. Returns
// false for anything else, and for a day or time that does not exist
// ("2026-02-30", "25:00").
bool DateTimeSeconds(const TFieldValue& Value, TFieldType Type, double& Seconds);
// The ISO text of Seconds as a value of Type: "2026-03-05" (the day the
// moment falls in), "14:30:05", "2026-03-05 14:30:05", with the fraction
// of a second when there is one ("14:30:05.25").
std::string DateTimeText(double Seconds, TFieldType Type);

// Value as text for messages: texts quoted ('abc'), null as NULL.
std::string ValueForMessage(const TFieldValue& Value);

class TField : public TObject {
public:
    std::string_view ClassName() const override { return "TField"; }

    const std::string& GetFieldName() const { return FDef.Name; }
    TFieldType GetDataType() const { return FDef.DataType; }
    // The field's position among the data set's fields, from 0.
    int GetIndex() const { return FIndex; }
    TDataSet* GetDataSet() const { return FDataSet; }

    // The value in the current record (null on an empty data set).
    TFieldValue GetValue() const;
    bool IsNull() const;
    // The value as text (null: ""); a date or time held as a number shows
    // as its ISO text.
    std::string GetAsString() const;
    // The value as a number (null: 0). A text that is not a number, or a
    // float that is not finite, raises EDatabaseError naming the data set,
    // the field, the record number and the value. A date or time field gives
    // its seconds (DateTimeSeconds); a text that is no date or time raises
    // the same way ("'2026-13-01' is not a date").
    double GetAsFloat() const;
    // As GetAsFloat; floats are rounded to the nearest integer.
    std::int64_t GetAsInteger() const;

    // Setters: the data set must be in edit or insert mode. The value is
    // converted to the field's type (text "12" into an ftInteger field
    // becomes 12); a value that does not convert raises EDatabaseError and
    // the record keeps its old value. Each change reaches the data set's
    // links as RecordChanged(this).
    void SetValue(const TFieldValue& Value);
    void SetAsString(const std::string& Value) { SetValue(Value); }
    void SetAsFloat(double Value) { SetValue(Value); }
    void SetAsInteger(std::int64_t Value) { SetValue(Value); }
    // Sets the value to null.
    void Clear() { SetValue(NullValue); }

    // Value converted to this field's type; raises EDatabaseError naming the
    // data set and the field when it does not convert.
    TFieldValue Convert(const TFieldValue& Value) const;

private:
    friend class TDataSet;
    TField(TDataSet* ADataSet, int AIndex, TFieldDef ADef)
        : FDataSet(ADataSet), FIndex(AIndex), FDef(std::move(ADef)) {}
    [[noreturn]] void ConversionError(const TFieldValue& Value, const char* What) const;

    TDataSet* FDataSet;  // the owner; fields never outlive it
    int FIndex;
    TFieldDef FDef;
};

}  // namespace pv
