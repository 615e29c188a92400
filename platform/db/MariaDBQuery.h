#pragma once
// TMariaDBQuery: the rows of one SQL statement on a MariaDB (or MySQL)
// server, over the MariaDB client library.
//
// ConnectionString is "key=value" pairs: "host=db.example port=3306
// database=sales user=charts" (see maria::ParseConnectionString for the
// keys), or just a database name. host=localhost (or none) means the
// server's Unix socket (socket= chooses which); write 127.0.0.1 for TCP. A
// password is better kept out of it, in an option file named by
// optionfile= (its [client] group, which may also set TLS); when it is in
// the string, it is never shown: every message shows the string through
// GetMaskedConnectionString, or names only host, port, database and user.
//
// Each query has its own connection, made when it opens and closed when it
// closes, and used by one thread at a time. The session reads only (SET
// SESSION TRANSACTION READ ONLY), so a statement that would write fails;
// it talks UTF-8 (utf8mb4), and LOAD DATA LOCAL is off, so a server cannot
// ask for the client's files. The SQL runs as a prepared statement:
// parameters (:name in the SQL) take their values from the Params lines
// "name=value" (or a line that declares one a request may set, as in
// QueryParams.h) and are bound to its placeholders, as text, or as the
// integer or real a declaration says, never pasted into the SQL, so a
// value is always data. A statement that returns no rows is refused before
// it runs.
//
// Faults raise EDatabaseError naming the data set, the server (host, port,
// database, user) and the server's own message, which names the missing
// table or column. Those that a later try may not meet — the server cannot
// be reached or refuses the login, went away, is stopping, or the
// statement ran past StatementTimeout — raise EDatabaseUnavailable.
//
// No wait on the server is longer than this client allows, whether or not
// the server answers at all: connecting (reaching the server and its
// greeting, logging in) has ConnectTimeout; every later wait for the server
// (each read and write of the session's setup, the statement and its rows)
// has StatementTimeout and StatementMargin more, rounded up to whole
// seconds (the client library counts seconds), after which the connection
// is dropped and EDatabaseUnavailable names the data set, the server and
// how long it waited. The server itself stops the statement at
// StatementTimeout (max_statement_time on MariaDB, max_execution_time on
// MySQL, which limits only SELECT), which keeps the connection. A host
// name is looked up by the system's resolver, which keeps its own time.
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

struct st_mysql;

namespace pv {

class TMariaDBQuery : public TDataSet, public TRequestParams {
public:
    // Defaults of ConnectTimeout (seconds) and StatementTimeout (ms).
    static constexpr int DefaultConnectTimeout = 5;
    static constexpr int DefaultStatementTimeout = 10000;
    // What 0 stands for: connecting waits LongestConnectWait seconds, a
    // statement runs LongestStatementTime ms.
    static constexpr int LongestConnectWait = 120;
    static constexpr int LongestStatementTime = 300000;
    // How much longer than the statement's limit the client waits for the
    // server (ms), so that the server's own stop, which keeps the
    // connection, normally comes first.
    static constexpr int StatementMargin = 2000;

    explicit TMariaDBQuery(TComponent* AOwner);
    ~TMariaDBQuery() override;

    std::string_view ClassName() const override { return "TMariaDBQuery"; }
    const TClassInfo* ClassInfo() const override;
    static const TClassInfo& StaticClassInfo();
    static TComponent* NewInstance(TComponent* AOwner) { return new TMariaDBQuery(AOwner); }

    // "key=value" pairs or a database name; empty connects to localhost's
    // default socket as the process's login name. Changing it closes an
    // open query.
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

    // How long connecting may take, in seconds (at least 1 is counted; 0:
    // LongestConnectWait). A negative value raises ERangeError. Takes effect
    // at the next connection.
    int GetConnectTimeout() const { return FConnectTimeout; }
    void SetConnectTimeout(int Seconds);
    // How long the server may run the statement before it stops it, in
    // milliseconds (0: LongestStatementTime); the client gives up
    // StatementMargin later. A negative value raises ERangeError. Takes
    // effect at the next connection.
    int GetStatementTimeout() const { return FStatementTimeout; }
    void SetStatementTimeout(int Milliseconds);

    // Whether a connection is open (false while closed, and after a failure
    // lost it until the next refresh makes a new one).
    bool Connected() const { return FConnection != nullptr; }

protected:
    TDataSetContents InternalOpen() override;
    void InternalClose(TRecordStore&& Records) override;
    std::optional<TDataSetContents> InternalRefresh() override;
    const TStrings& ParamLines() const override { return *FParams; }
    std::string ParamOwner() const override { return Owner(); }

private:
    struct TConnectionCloser {
        void operator()(st_mysql* Conn) const;
    };

    void DefinitionChanged() { Close(); }
    std::string Owner() const { return GetName().empty() ? std::string(ClassName()) : GetName(); }
    // Opens FConnection and sets the session up; raises EDatabaseUnavailable
    // when it cannot (EDatabaseError for an unreadable ConnectionString),
    // leaving FConnection empty.
    void Connect();
    // Runs the SQL on the open connection and reads its rows. A failure
    // that lost the connection, or a server that did not answer in time
    // (then FHung), empties FConnection.
    TDataSetContents Run();
    // The seconds connecting may take; the statement's limit on the server
    // in ms; the seconds every later wait may take.
    int ConnectWait() const;
    int StatementLimit() const;
    int ReadWait() const;
    // "StatementTimeout = 5000 ms" (or what 0 stands for), for messages.
    std::string StatementLimitText() const;
    // "MariaDB database "sales" on 127.0.0.1:3306 as user "charts"", from
    // the connection string (without the database or user it leaves out).
    std::string Where() const;
    // The connection's last error, cleaned of the password; with a lost
    // connection or an unavailable server, raises EDatabaseUnavailable
    // (dropping the connection when it is lost), else EDatabaseError.
    [[noreturn]] void Fail(const std::string& What, unsigned Errno, const std::string& Message);
    [[noreturn]] void Unavailable(const std::string& Message) const;

    std::string FConnectionString;
    std::unique_ptr<TStringList> FSQL;
    std::unique_ptr<TStringList> FParams;
    int FConnectTimeout = DefaultConnectTimeout;
    int FStatementTimeout = DefaultStatementTimeout;
    std::unique_ptr<st_mysql, TConnectionCloser> FConnection;
    // The password of the connection string, to keep it out of messages.
    std::string FPassword;
    // The last statement got no answer in time: its connection was dropped,
    // and a new one is not tried at once (it would only wait as long).
    bool FHung = false;
};

}  // namespace pv
