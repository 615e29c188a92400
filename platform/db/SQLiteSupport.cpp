#include "platform/db/SQLiteSupport.h"

#include <algorithm>
#include <cctype>

namespace pv::sqlite {

namespace {

// How a column's declared type decides the field type, after SQLite's own
// affinity rules: INT, then CHAR/CLOB/TEXT, then BLOB or nothing, then
// REAL/FLOA/DOUB, otherwise NUMERIC. Of the NUMERIC names, those SQL gives
// dates and times (DATE, TIME, DATETIME, TIMESTAMP, with or without a
// precision or zone after them) make date and time fields, whose values
// SQLite keeps as ISO texts or as Unix times.
enum class TDeclared { Integer, Text, None, Real, Numeric, Date, Time, DateTime };

TDeclared Classify(const char* Decl) {
    if (!Decl || !*Decl) return TDeclared::None;
    std::string U(Decl);
    std::transform(U.begin(), U.end(), U.begin(), [](unsigned char C) { return static_cast<char>(std::toupper(C)); });
    auto Has = [&](const char* S) { return U.find(S) != std::string::npos; };
    if (Has("INT")) return TDeclared::Integer;
    if (Has("CHAR") || Has("CLOB") || Has("TEXT")) return TDeclared::Text;
    if (Has("BLOB")) return TDeclared::None;
    if (Has("REAL") || Has("FLOA") || Has("DOUB")) return TDeclared::Real;
    // The name's first word: "TIMESTAMP(3)", "TIME WITH TIME ZONE".
    const std::string Word = U.substr(0, U.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
    if (Word == "DATETIME" || Word == "TIMESTAMP" || Word == "TIMESTAMPTZ") return TDeclared::DateTime;
    if (Word == "DATE") return TDeclared::Date;
    if (Word == "TIME" || Word == "TIMETZ") return TDeclared::Time;
    return TDeclared::Numeric;
}

}  // namespace

std::string QuoteIdentifier(std::string_view Name) {
    std::string R = "\"";
    for (char C : Name) {
        if (C == '"') R += '"';
        R += C;
    }
    return R + "\"";
}

TFieldValue ColumnValue(sqlite3_stmt* Stmt, int Column) {
    switch (sqlite3_column_type(Stmt, Column)) {
        case SQLITE_INTEGER: return static_cast<std::int64_t>(sqlite3_column_int64(Stmt, Column));
        case SQLITE_FLOAT: return sqlite3_column_double(Stmt, Column);
        case SQLITE_NULL: return NullValue;
        case SQLITE_BLOB: {
            const void* P = sqlite3_column_blob(Stmt, Column);
            const int N = sqlite3_column_bytes(Stmt, Column);
            return std::string(static_cast<const char*>(P), P ? static_cast<std::size_t>(N) : 0);
        }
        default: {
            const unsigned char* P = sqlite3_column_text(Stmt, Column);
            const int N = sqlite3_column_bytes(Stmt, Column);
            return std::string(reinterpret_cast<const char*>(P), P ? static_cast<std::size_t>(N) : 0);
        }
    }
}

int BindValue(sqlite3_stmt* Stmt, int Index, const TFieldValue& Value) {
    if (auto* I = std::get_if<std::int64_t>(&Value)) return sqlite3_bind_int64(Stmt, Index, *I);
    if (auto* D = std::get_if<double>(&Value)) return sqlite3_bind_double(Stmt, Index, *D);
    if (auto* S = std::get_if<std::string>(&Value))
        return sqlite3_bind_text64(Stmt, Index, S->data(), S->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    return sqlite3_bind_null(Stmt, Index);
}

int ReadAll(sqlite3_stmt* Stmt, int FirstField, TDataSetContents& Contents, std::size_t Limit) {
    const int Columns = sqlite3_column_count(Stmt);
    const int Fields = std::max(0, Columns - FirstField);
    std::vector<TDeclared> Declared;
    Contents.FieldDefs.clear();
    Contents.Records.clear();
    // Column by column: no buffer per record, each value stored as the
    // type SQLite hands over.
    Contents.Columns = TRecordStore(static_cast<std::size_t>(Fields));
    TRecordStore& Store = Contents.Columns;
    for (int C = FirstField; C < Columns; ++C) {
        const char* Name = sqlite3_column_name(Stmt, C);
        Contents.FieldDefs.push_back({Name ? Name : "", TFieldType::ftString});
        Declared.push_back(Classify(sqlite3_column_decltype(Stmt, C)));
    }
    int Rc = SQLITE_OK;
    while ((Rc = sqlite3_step(Stmt)) == SQLITE_ROW) {
        for (int C = FirstField; C < Columns; ++C) {
            const auto F = static_cast<std::size_t>(C - FirstField);
            switch (sqlite3_column_type(Stmt, C)) {
                case SQLITE_INTEGER: Store.AppendInteger(F, sqlite3_column_int64(Stmt, C)); break;
                case SQLITE_FLOAT: Store.AppendFloat(F, sqlite3_column_double(Stmt, C)); break;
                case SQLITE_NULL: Store.AppendNull(F); break;
                case SQLITE_BLOB: {
                    const void* P = sqlite3_column_blob(Stmt, C);
                    const int N = sqlite3_column_bytes(Stmt, C);
                    Store.AppendText(F, std::string_view(static_cast<const char*>(P), P ? static_cast<std::size_t>(N) : 0));
                    break;
                }
                default: {
                    const unsigned char* P = sqlite3_column_text(Stmt, C);
                    const int N = sqlite3_column_bytes(Stmt, C);
                    Store.AppendText(F, std::string_view(reinterpret_cast<const char*>(P), P ? static_cast<std::size_t>(N) : 0));
                }
            }
        }
        Store.EndRecord(FirstField > 0 ? sqlite3_column_int64(Stmt, 0) : 0);
        if (Limit != 0 && Store.Size() > Limit) return SQLITE_DONE;
    }
    if (Rc != SQLITE_DONE) return Rc;

    for (std::size_t F = 0; F < Declared.size(); ++F) {
        TFieldType& Type = Contents.FieldDefs[F].DataType;
        switch (Declared[F]) {
            case TDeclared::Integer: Type = TFieldType::ftInteger; continue;
            case TDeclared::Text: Type = TFieldType::ftString; continue;
            case TDeclared::Real: Type = TFieldType::ftFloat; continue;
            case TDeclared::Date: Type = TFieldType::ftDate; continue;
            case TDeclared::Time: Type = TFieldType::ftTime; continue;
            case TDeclared::DateTime: Type = TFieldType::ftDateTime; continue;
            case TDeclared::None:
            case TDeclared::Numeric: break;
        }
        // No telling declaration: the values decide. Any text makes a text
        // field; otherwise any float a float field; otherwise integers.
        const TRecordStore::TKinds Kinds = Store.KindsOf(F);
        const bool Text = Kinds.Text, Float = Kinds.Float, Integer = Kinds.Integer;
        Type = Text      ? TFieldType::ftString
               : Float   ? TFieldType::ftFloat
               : Integer ? TFieldType::ftInteger
               : Declared[F] == TDeclared::Numeric ? TFieldType::ftFloat
                                                   : TFieldType::ftString;
    }
    return SQLITE_DONE;
}

}  // namespace pv::sqlite
