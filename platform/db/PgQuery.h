#pragma once
// TPgQuery: the rows of one SQL statement on a PostgreSQL server, over
// libpq.
//
// ConnectionString is libpq's: "host=db.example port=5432 dbname=sales
// user=charts" or "postgresql://charts@db.example/sales". A password is
// better kept out of it (in ~/.pgpass, PGPASSFILE or PGPASSWORD); when it is
// there, it is never shown: every message shows the string through
// GetMaskedConnectionString, or names only host, port, database and user.
//
// Each query has its own connection, made when it opens and closed when it
// closes, and used by one thread at a time. The session reads only
// (default_transaction_read_only), so a statement that would write fails,
// and it asks for ISO dates and UTF-8. Parameters (:name in the SQL) take
// their values from the Params lines "name=value" (or a line that declares
// one a request may set, as in QueryParams.h) and travel as libpq
// parameters of a type the server infers from where they stand (write
// :name::int to choose one), never pasted into the SQL, so a value is always
// data.
//
// Faults raise EDatabaseError naming the data set, the server (host, port,
// database, user) and the server's own message, which names the missing
// table or column. Those that a later try may not meet — the server cannot
// be reached or refuses the login, went away, is starting or stopping, or
// the statement ran past StatementTimeout — raise EDatabaseUnavailable.
//
// No wait on the server is longer than this client allows, whether or not
// the server answers at all (one that hangs, or a network partition, looks
// the same): connecting (reaching the server and logging in) and setting
// the session up each have ConnectTimeout, a statement StatementTimeout and
// StatementMargin more, after which the connection is dropped (a cancel
// request would wait on the same silent server) and EDatabaseUnavailable
// names the data set, the server and how long it waited. A host name is looked up by the system's
// resolver, which keeps its own time (an address, or hostaddr=, needs no
// look-up). Connections over TCP send keepalives, so an idle one whose
// server vanished is found broken rather than waited on (keepalives_* in
// the connection string override the defaults).
//
// A lost connection is made again by itself: Refresh on a query whose
// server went away connects anew (and when an old connection fails at its
// first statement, it connects once more and repeats the statement), so a
// server that restarts between two refreshes costs no error at all, and
// one that is down costs one per refresh until it is back.

#include <memory>
#include <string>

#include "platform/db/DataSet.h"
#include "platform/db/QueryParams.h"
#include "platform/rtl/Strings.h"

struct pg_conn;

namespace pv {

class TPgQuery : public TDataSet, public TRequestParams {
public:
    // Defaults of ConnectTimeout (seconds) and StatementTimeout (ms).
    static constexpr int DefaultConnectTimeout = 5;
    static constexpr int DefaultStatementTimeout = 10000;
    // What 0 stands for: connecting waits LongestConnectWait seconds (about
    // what the system gives a host that does not answer), a statement runs
    // LongestStatementTime ms.
    static constexpr int LongestConnectWait = 120;
    static constexpr int LongestStatementTime = 300000;
    // How much longer than the statement's limit the client waits for the
    // server's answer (ms), so that the server's own cancel, which keeps the
    // connection, normally comes first.
    static constexpr int StatementMargin = 2000;

    explicit TPgQuery(TComponent* AOwner);
    ~TPgQuery() override;

    std::string_view ClassName() const override { return "TPgQuery"; }
    const TClassInfo* ClassInfo() const override;
    static const TClassInfo& StaticClassInfo();
    static TComponent* NewInstance(TComponent* AOwner) { return new TPgQuery(AOwner); }

    // libpq's key=value or URI connection string, or just a database name;
    // empty takes libpq's defaults (PGHOST, PGDATABASE, ... from the
    // environment). Changing it closes an open query.
    const std::string& GetConnectionString() const { return FConnectionString; }
    void SetConnectionString(const std::string& Value);
    // ConnectionString with its password replaced by "****".
    std::string GetMaskedConnectionString() const;

    // The statement, one or more lines; exactly one statement. Changing it
    // closes an open query.
    TStrings* GetSQL() const { return FSQL.get(); }
    void SetSQL(const TStrings* Value);
    // "name=value" lines, one per parameter, name without its ':'. A
    // parameter of the SQL without a line raises EDatabaseError at open;
    // lines the SQL does not use are ignored. Changing them closes an open
    // query.
    TStrings* GetParams() const { return FParams.get(); }
    void SetParams(const TStrings* Value);

    // How long connecting (reaching the server and logging in) may take, in
    // seconds, and again the session's setup (at least 2 are counted; 0:
    // LongestConnectWait). A negative value raises ERangeError. Takes effect
    // at the next connection.
    int GetConnectTimeout() const { return FConnectTimeout; }
    void SetConnectTimeout(int Seconds);
    // How long the server may run the statement before it cancels it, in
    // milliseconds (0: LongestStatementTime); the client gives up
    // StatementMargin later. A negative value raises ERangeError. Takes
    // effect at the next connection.
    int GetStatementTimeout() const { return FStatementTimeout; }
    void SetStatementTimeout(int Milliseconds);

    // Whether a connection is open and good (false while closed, and after
    // a failure lost it until the next refresh makes a new one).
    bool Connected() const;

protected:
    TDataSetContents InternalOpen() override;
    void InternalClose(TRecordStore&& Records) override;
    std::optional<TDataSetContents> InternalRefresh() override;
    const TStrings& ParamLines() const override { return *FParams; }
    std::string ParamOwner() const override { return GetName().empty() ? std::string(ClassName()) : GetName(); }

private:
    struct TConnectionCloser {
        void operator()(pg_conn* Conn) const;
    };

    void DefinitionChanged() { Close(); }
    // Opens FConnection and sets the session up; raises EDatabaseUnavailable
    // when it cannot, leaving FConnection empty.
    void Connect();
    // Runs the SQL on the open connection and reads its rows. A failure
    // that lost the connection, or a server that did not answer in time
    // (then FHung), empties FConnection.
    TDataSetContents Run();
    // The seconds each step of connecting may take, and the statement's
    // limit on the server, in ms, from the properties.
    int ConnectWait() const;
    int StatementLimit() const;
    // "StatementTimeout = 5000 ms" (or what 0 stands for), for messages.
    std::string StatementLimitText() const;
    // "database "sales" on 127.0.0.1:5432 as user "charts"", from the
    // connection (also a failed one) or, before one exists, from the
    // connection string.
    std::string Where(const pg_conn* Conn) const;
    // The password the connection string gives, to keep it out of messages.
    std::string Password() const;
    [[noreturn]] void Unavailable(const std::string& Message) const;

    std::string FConnectionString;
    std::unique_ptr<TStringList> FSQL;
    std::unique_ptr<TStringList> FParams;
    int FConnectTimeout = DefaultConnectTimeout;
    int FStatementTimeout = DefaultStatementTimeout;
    std::unique_ptr<pg_conn, TConnectionCloser> FConnection;
    // The last statement got no answer in time: its connection was dropped,
    // and a new one is not tried at once (it would only wait as long).
    bool FHung = false;
};

}  // namespace pv
