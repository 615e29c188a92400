#include "platform/db/Field.h"

#include <array>
#include <charconv>
#include <cmath>

#include "platform/db/DataSet.h"
#include "platform/rtl/DateTime.h"

namespace pv {

namespace {

constexpr std::array<std::string_view, 6> TypeNames{"ftString", "ftInteger", "ftFloat",
                                                    "ftDate",   "ftTime",    "ftDateTime"};

// The limits of int64 as doubles: 2^63 is exact, so a double below it and
// at least -2^63 converts without overflow.
constexpr double Int64Limit = 9223372036854775808.0;

std::string_view TrimAscii(std::string_view S) {
    auto Space = [](char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; };
    while (!S.empty() && Space(S.front())) S.remove_prefix(1);
    while (!S.empty() && Space(S.back())) S.remove_suffix(1);
    return S;
}

// Parses the whole of S (surrounding blanks allowed, "+" allowed) as a
// finite double. The parse ignores the locale, so "1.5" is always one and a
// half.
bool ParseFloat(std::string_view S, double& Result) {
    S = TrimAscii(S);
    if (!S.empty() && S.front() == '+') S.remove_prefix(1);
    if (S.empty()) return false;
    double D = 0;
    auto [End, Ec] = std::from_chars(S.data(), S.data() + S.size(), D, std::chars_format::general);
    if (Ec != std::errc{} || End != S.data() + S.size() || !std::isfinite(D)) return false;
    Result = D;
    return true;
}

bool ParseInteger(std::string_view S, std::int64_t& Result) {
    S = TrimAscii(S);
    if (!S.empty() && S.front() == '+') S.remove_prefix(1);
    if (S.empty()) return false;
    std::int64_t I = 0;
    auto [End, Ec] = std::from_chars(S.data(), S.data() + S.size(), I);
    if (Ec != std::errc{} || End != S.data() + S.size()) return false;
    Result = I;
    return true;
}

// Text for a message: well-formed UTF-8 without control characters other
// than tab and line breaks.
bool LooksLikeText(std::string_view S) {
    for (std::size_t I = 0; I < S.size();) {
        auto U = static_cast<unsigned char>(S[I]);
        if (U < 0x80) {
            if ((U < 0x20 && U != '\t' && U != '\n' && U != '\r') || U == 0x7F) return false;
            ++I;
            continue;
        }
        std::size_t Len = (U >= 0xC2 && U <= 0xDF) ? 2 : (U >= 0xE0 && U <= 0xEF) ? 3 : (U >= 0xF0 && U <= 0xF4) ? 4 : 0;
        if (Len == 0 || I + Len > S.size()) return false;
        for (std::size_t K = 1; K < Len; ++K)
            if ((static_cast<unsigned char>(S[I + K]) & 0xC0) != 0x80) return false;
        I += Len;
    }
    return true;
}

// Bytes of a text value a message shows before it cuts the rest.
constexpr std::size_t MaxShownText = 60;

bool FloatFitsInteger(double D) { return std::isfinite(D) && D >= -Int64Limit && D < Int64Limit; }

TDateTimeKind KindOf(TFieldType Type) {
    return Type == TFieldType::ftDate ? TDateTimeKind::dkDate
           : Type == TFieldType::ftTime ? TDateTimeKind::dkTime
                                        : TDateTimeKind::dkDateTime;
}

const char* ExpectedOf(TFieldType Type) {
    return Type == TFieldType::ftDate ? "a date" : Type == TFieldType::ftTime ? "a time" : "a date and time";
}

}  // namespace

std::string_view FieldTypeName(TFieldType Type) { return TypeNames.at(static_cast<std::size_t>(Type)); }

bool FieldTypeFromName(std::string_view Name, TFieldType& Type) {
    for (std::size_t I = 0; I < TypeNames.size(); ++I)
        if (TypeNames[I] == Name) {
            Type = static_cast<TFieldType>(I);
            return true;
        }
    return false;
}

bool ValueToFloat(const TFieldValue& Value, double& Result) {
    if (std::holds_alternative<std::monostate>(Value)) {
        Result = 0;
        return true;
    }
    if (auto* I = std::get_if<std::int64_t>(&Value)) {
        Result = static_cast<double>(*I);
        return true;
    }
    if (auto* D = std::get_if<double>(&Value)) {
        if (!std::isfinite(*D)) return false;
        Result = *D;
        return true;
    }
    return ParseFloat(std::get<std::string>(Value), Result);
}

bool ValueToInteger(const TFieldValue& Value, std::int64_t& Result) {
    if (auto* I = std::get_if<std::int64_t>(&Value)) {
        Result = *I;
        return true;
    }
    if (auto* S = std::get_if<std::string>(&Value))
        if (ParseInteger(*S, Result)) return true;
    double D = 0;
    if (!ValueToFloat(Value, D) || !FloatFitsInteger(std::round(D))) return false;
    Result = static_cast<std::int64_t>(std::llround(D));
    return true;
}

std::string ValueToString(const TFieldValue& Value) {
    if (std::holds_alternative<std::monostate>(Value)) return {};
    if (auto* I = std::get_if<std::int64_t>(&Value)) return std::to_string(*I);
    if (auto* D = std::get_if<double>(&Value)) {
        std::array<char, 32> Buf{};
        auto [End, Ec] = std::to_chars(Buf.data(), Buf.data() + Buf.size(), *D);
        (void)Ec;  // 32 characters hold every double
        return std::string(Buf.data(), End);
    }
    return std::get<std::string>(Value);
}

bool DateTimeSeconds(const TFieldValue& Value, TFieldType Type, double& Seconds) {
    if (std::holds_alternative<std::monostate>(Value)) {
        Seconds = 0;
        return true;
    }
    if (auto* S = std::get_if<std::string>(&Value)) return ParseDateTime(*S, KindOf(Type), Seconds);
    return ValueToFloat(Value, Seconds);
}

std::string DateTimeText(double Seconds, TFieldType Type) { return FormatDateTime(Seconds, KindOf(Type)); }

std::string ValueForMessage(const TFieldValue& Value) {
    if (std::holds_alternative<std::monostate>(Value)) return "NULL";
    if (auto* S = std::get_if<std::string>(&Value)) {
        // Bytes that are no text (a BLOB: an image, a zero byte, a stray
        // control character or broken UTF-8) are described, never copied
        // into the message; text is shown up to a short prefix.
        if (!LooksLikeText(*S)) return "a binary value (BLOB) of " + std::to_string(S->size()) + " bytes";
        if (S->size() <= MaxShownText) return "'" + *S + "'";
        std::size_t Cut = MaxShownText;
        while (Cut > 0 && (static_cast<unsigned char>((*S)[Cut]) & 0xC0) == 0x80) --Cut;  // whole characters
        return "'" + S->substr(0, Cut) + "...' (" + std::to_string(S->size()) + " bytes)";
    }
    return ValueToString(Value);
}

TFieldValue TField::GetValue() const { return FDataSet->ActiveValue(FIndex); }

bool TField::IsNull() const { return FDataSet->ActiveIsNull(FIndex); }

std::string TField::GetAsString() const {
    const TFieldValue& V = GetValue();
    if (IsDateTimeType(FDef.DataType) && !std::holds_alternative<std::string>(V) &&
        !std::holds_alternative<std::monostate>(V)) {
        double Seconds = 0;
        if (ValueToFloat(V, Seconds)) return DateTimeText(Seconds, FDef.DataType);
    }
    return ValueToString(V);
}

double TField::GetAsFloat() const {
    const TFieldValue& V = GetValue();
    double D = 0;
    if (IsDateTimeType(FDef.DataType)) {
        if (!DateTimeSeconds(V, FDef.DataType, D)) ConversionError(V, ExpectedOf(FDef.DataType));
        return D;
    }
    if (!ValueToFloat(V, D)) ConversionError(V, "a number");
    return D;
}

std::int64_t TField::GetAsInteger() const {
    const TFieldValue& V = GetValue();
    if (IsDateTimeType(FDef.DataType)) {
        const double D = GetAsFloat();
        if (!FloatFitsInteger(std::round(D))) ConversionError(V, "an integer");
        return static_cast<std::int64_t>(std::llround(D));
    }
    std::int64_t I = 0;
    if (!ValueToInteger(V, I)) ConversionError(V, "an integer");
    return I;
}

void TField::ConversionError(const TFieldValue& Value, const char* What) const {
    const int RecNo = FDataSet->CurrentRecordNumber();
    FDataSet->DatabaseError("field \"" + FDef.Name + "\"" +
                            (RecNo > 0 ? " of record " + std::to_string(RecNo) : std::string()) + ": " +
                            ValueForMessage(Value) + " is not " + What);
}

bool ConvertToType(const TFieldValue& Value, TFieldType Type, TFieldValue& Result, const char*& Expected) {
    if (std::holds_alternative<std::monostate>(Value)) {
        Result = Value;
        return true;
    }
    if (Type == TFieldType::ftString) {
        Result = ValueToString(Value);
        return true;
    }
    // An empty text is no value at all: it clears a numeric field.
    if (auto* S = std::get_if<std::string>(&Value); S && TrimAscii(*S).empty()) {
        Result = NullValue;
        return true;
    }
    if (Type == TFieldType::ftInteger) {
        Expected = "an integer";
        std::int64_t I = 0;
        if (!ValueToInteger(Value, I)) return false;
        // Rounding is for reading; a stored integer must be exact.
        double D = 0;
        if (!std::holds_alternative<std::int64_t>(Value) && !(ValueToFloat(Value, D) && D == std::trunc(D)))
            return false;
        Result = I;
        return true;
    }
    if (IsDateTimeType(Type)) {
        // Held as ISO text, whatever form it came in.
        Expected = ExpectedOf(Type);
        double Seconds = 0;
        // Beyond some 290 000 years no calendar text is written.
        if (!DateTimeSeconds(Value, Type, Seconds) || std::fabs(Seconds) > 9.0e12) return false;
        Result = DateTimeText(Seconds, Type);
        return true;
    }
    Expected = "a number";
    double D = 0;
    if (!ValueToFloat(Value, D)) return false;
    Result = D;
    return true;
}

TFieldValue TField::Convert(const TFieldValue& Value) const {
    TFieldValue Result;
    const char* Expected = "";
    if (!ConvertToType(Value, FDef.DataType, Result, Expected)) ConversionError(Value, Expected);
    return Result;
}

void TField::SetValue(const TFieldValue& Value) { FDataSet->SetFieldValue(*this, Value); }

}  // namespace pv
