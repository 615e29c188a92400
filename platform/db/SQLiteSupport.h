#pragma once
// Internal to the SQLite data sets: statements, values and result reading.
// Only the data sets' sources include this (and with it sqlite3.h).

#include <sqlite3.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/db/DataSet.h"

namespace pv::sqlite {

struct TStatementFinalizer {
    void operator()(sqlite3_stmt* Stmt) const { sqlite3_finalize(Stmt); }
};
using TStatementPtr = std::unique_ptr<sqlite3_stmt, TStatementFinalizer>;

// "name" with inner quotes doubled: an identifier SQLite reads as a name,
// whatever it contains.
std::string QuoteIdentifier(std::string_view Name);

// The value of column Column of the current row.
TFieldValue ColumnValue(sqlite3_stmt* Stmt, int Column);
// Binds Value to parameter Index (from 1); returns SQLite's result code.
int BindValue(sqlite3_stmt* Stmt, int Index, const TFieldValue& Value);

// Steps Stmt to its end, collecting the fields (from the columns from
// FirstField on) and every row into Contents; with FirstField 1, column 0 is
// each record's key. Field types come from the declared column types (DATE,
// TIME, DATETIME and TIMESTAMP give date and time fields), and from the
// values where a column declares none (expressions). Returns
// SQLite's error code, SQLITE_DONE on success. With a Limit other than 0,
// reading stops at the row after the Limit-th, which Contents then holds as
// its last record: the caller reports it (TDataSet::CheckRecordLimit).
int ReadAll(sqlite3_stmt* Stmt, int FirstField, TDataSetContents& Contents, std::size_t Limit = 0);

}  // namespace pv::sqlite
