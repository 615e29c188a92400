#pragma once
// Internal to the MariaDB data set: client library handles, the connection
// string, named parameters and the conversion of column values. Only the
// data set's source and its tests include this (and with it mysql.h).

#include <mysql.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/Field.h"

namespace pv::maria {

struct TConnectionCloser {
    void operator()(MYSQL* Conn) const { mysql_close(Conn); }
};
using TConnectionPtr = std::unique_ptr<MYSQL, TConnectionCloser>;

struct TStatementCloser {
    void operator()(MYSQL_STMT* Stmt) const { mysql_stmt_close(Stmt); }
};
using TStatementPtr = std::unique_ptr<MYSQL_STMT, TStatementCloser>;

struct TResultFreer {
    void operator()(MYSQL_RES* Result) const { mysql_free_result(Result); }
};
using TResultPtr = std::unique_ptr<MYSQL_RES, TResultFreer>;

// Calls mysql_library_init once per process (the client library wants it
// before any thread makes a connection); safe from any thread.
void InitLibrary();

// What a connection string says. The string is "key=value" pairs separated
// by white space; a value may be quoted as '...', with \' and \\ inside. A
// string without '=' is a database name.
struct TConnectionOptions {
    std::string Host;        // empty: localhost, over the default socket
    unsigned Port = 0;       // 0: the client library's default (3306)
    std::string User;        // empty: the login name of the process
    std::string Password;
    std::string Database;
    std::string Socket;      // a Unix socket; used when Host is localhost or empty
    std::string OptionFile;  // an option file whose [client] group is read
};
// The keys a connection string may hold, for messages.
inline constexpr std::string_view ConnectionKeys = "host, port, user, password, database (or dbname), socket, optionfile";
// Parses S; on failure returns nullopt and sets Error to what is wrong (an
// unknown key, a port that is no number, an unclosed quote), never quoting
// a password.
std::optional<TConnectionOptions> ParseConnectionString(std::string_view S, std::string& Error);

// S with the value of every password key hidden as "****" (and, after an
// unquoted password, the words without '=' that follow it, which would be
// part of a password written with a space). Safe to show and log.
std::string MaskConnectionString(std::string_view S);

// Message with every occurrence of Secret replaced by "****" (Secret empty:
// unchanged), its runs of white space made single spaces, trimmed.
std::string CleanMessage(std::string_view Message, std::string_view Secret);

// SQL with its :name parameters replaced by '?' for a prepared statement;
// Names holds the name of each '?' in order (a name used twice appears
// twice). Quoted texts ('...' and "..."; with backslash escapes unless the
// session's sql_mode has NO_BACKSLASH_ESCAPES), `quoted names`, comments
// (--, # and /* */) and := are left alone; a '?' of the SQL's own is
// refused, as is an unclosed quote or comment.
struct TNamedSQL {
    std::string Text;
    std::vector<std::string> Names;
    std::string Error;  // non-empty: the SQL cannot be used, and why
    bool Empty = true;  // nothing but comments and white space
};
TNamedSQL TranslateNamedParams(std::string_view Sql, bool BackslashEscapes);

// How a column of the given type is read, and the field type it gets:
// integers (also BOOLEAN, which is TINYINT(1), YEAR and BIT) ftInteger,
// FLOAT, DOUBLE and DECIMAL ftFloat, DATE ftDate, TIME ftTime, DATETIME
// and TIMESTAMP ftDateTime, everything else ftString.
enum class TColumnKind : unsigned char { ckInteger, ckBit, ckFloat, ckDouble, ckDecimal, ckTime, ckText };
TColumnKind ColumnKindOf(enum_field_types Type);
TFieldType FieldTypeOf(enum_field_types Type);

// Values read from the binary protocol. An unsigned integer past what 64
// bits signed hold, and a decimal past a double's range, stay text. A FLOAT
// becomes the double of its shortest decimal text (1.1f reads 1.1). BIT's
// bytes are a big-endian number. Dates are "2026-01-31", date-times
// "2026-01-31 14:05:06" (the fraction of a second dropped, as with
// PostgreSQL), times "08:30:00" or "-838:59:59".
TFieldValue UnsignedValue(unsigned long long V);
TFieldValue FloatValue(float V);
TFieldValue DecimalValue(std::string_view Text);
TFieldValue BitValue(std::string_view Bytes);
std::string TimeText(const MYSQL_TIME& T);

// Whether a client or server error number means the server cannot answer
// now (unreachable, gone, shutting down, too many connections, a statement
// stopped by its time limit) rather than that the SQL is wrong.
bool IsUnavailableError(unsigned Errno);
// Whether the error lost the connection (it must be made anew).
bool IsConnectionLost(unsigned Errno);

}  // namespace pv::maria
