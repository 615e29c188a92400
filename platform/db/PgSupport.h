#pragma once
// Internal to the PostgreSQL data sets: libpq handles, named parameters,
// connection-string masking and the reading of results. Only the data sets'
// sources and their tests include this (and with it libpq-fe.h).

#include <libpq-fe.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/DataSet.h"

namespace pv::pg {

struct TConnectionFinisher {
    void operator()(PGconn* Conn) const { PQfinish(Conn); }
};
using TConnectionPtr = std::unique_ptr<PGconn, TConnectionFinisher>;

struct TResultClearer {
    void operator()(PGresult* Result) const { PQclear(Result); }
};
using TResultPtr = std::unique_ptr<PGresult, TResultClearer>;

// Every wait on a server ends by a point on the steady clock.
using TDeadline = std::chrono::steady_clock::time_point;

// Waits until Conn's socket can be read (ForRead) or written (ForWrite), or
// Deadline passes; false when Deadline came first. A connection without a
// socket, or a failing poll(), counts as ready: the libpq call that follows
// tells what is wrong.
bool WaitForSocket(PGconn* Conn, bool ForRead, bool ForWrite, TDeadline Deadline);

// What a statement sent with PQsendQuery or PQsendQueryParams on a
// non-blocking connection gave. Result is its last result (for several
// statements the one that failed, as the server stops there) or one of
// PGRES_COPY_*, after which the connection stays in COPY mode; empty when
// the connection failed (PQerrorMessage says why) or when Deadline passed
// first (TimedOut), which leaves the statement running and the connection
// fit only to be dropped.
struct TAnswer {
    TResultPtr Result;
    bool TimedOut = false;
};
TAnswer AwaitAnswer(PGconn* Conn, TDeadline Deadline);

// SQL with its :name parameters replaced by $1, $2, ... for libpq; a name
// used twice gets the same number. Names are letters, digits and '_',
// starting with a letter or '_'. Quoted texts ('...', E'...', $tag$...$tag$),
// quoted identifiers, comments and :: casts are left alone.
struct TNamedSQL {
    std::string Text;                // the SQL for libpq
    std::vector<std::string> Names;  // Names[i] is $(i+1)
    std::string Error;               // non-empty: the SQL cannot be used, and why
};
TNamedSQL TranslateNamedParams(std::string_view Sql);

// ConnectionString with the value of every password hidden as "****": the
// password key of the key=value form, and the password of a URI's user
// information or query. Safe to show and log; everything else stays.
std::string MaskConnectionString(std::string_view ConnectionString);

// Message with every occurrence of Secret replaced by "****" (Secret empty:
// unchanged), and its runs of white space (libpq's messages span lines)
// made single spaces, trimmed.
std::string CleanMessage(std::string_view Message, std::string_view Secret);

// The field type of a column of type Oid: integers (and booleans, as 1 and
// 0) ftInteger, reals and numerics ftFloat, date ftDate, time and timetz
// ftTime, timestamp and timestamptz ftDateTime, everything else ftString.
TFieldType FieldTypeOf(Oid Type);
// The value of a column of type Oid from its text as the server sends it
// (ISO dates, which the session asks for). Numbers are parsed; booleans
// become 1 and 0; dates stay "2026-01-31"; times and timestamps lose their
// fraction of a second and their zone offset ("2026-01-31 14:05:00"); a
// value that does not parse as its type stays text.
TFieldValue ColumnValue(Oid Type, std::string_view Text);

// Reads every row of a PGRES_TUPLES_OK result.
TDataSetContents ReadAll(const PGresult* Result);

// Whether a failure with this SQLSTATE means the server cannot answer now
// (connection failures, shutdown or start-up, too many connections, a
// cancelled statement) rather than that the SQL is wrong.
bool IsUnavailableState(std::string_view SqlState);

}  // namespace pv::pg
