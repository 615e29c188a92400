// TMariaDBQuery against a real MariaDB server that the suite starts on
// loopback: rows and types, parameters bound as data, faults and their
// messages, the client's deadlines, and connecting again after the server
// went away. The support functions (parameter names, masking, values) are
// checked without a server.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "platform/db/DBError.h"
#include "platform/db/MariaDBQuery.h"
#include "platform/db/MariaDBSupport.h"
#include "platform/rtl/Exception.h"
#include "tests/support/MariaDBServer.h"
#include "tests/support/MariaDBSuite.h"
#include "tests/support/ThrowMessage.h"

namespace pv {
namespace {

using pvtest::TMariaDBServer;

TEST(MariaDBSupportTest, NamedParametersBecomePlaceholdersOutsideQuotesAndComments) {
    auto N = maria::TranslateNamedParams("SELECT :a, ':b', \"x:c\", `t:d`, 'it\\':e', @v := :f -- :g\n"
                                         "# :h\n/* :i */ FROM t WHERE x = :a AND y=:k_2",
                                         true);
    ASSERT_EQ(N.Error, "");
    EXPECT_EQ(N.Text, "SELECT ?, ':b', \"x:c\", `t:d`, 'it\\':e', @v := ? -- :g\n# :h\n/* :i */ FROM t WHERE x = ? "
                      "AND y=?");
    EXPECT_EQ(N.Names, (std::vector<std::string>{"a", "f", "a", "k_2"}));
    // Without backslash escapes (sql_mode NO_BACKSLASH_ESCAPES) 'a\' is a
    // whole text, and what follows it is SQL again.
    EXPECT_EQ(maria::TranslateNamedParams("SELECT 'a\\', :p", false).Names, std::vector<std::string>{"p"});
    EXPECT_EQ(maria::TranslateNamedParams("SELECT 'a\\', :p", true).Error, "a quoted text is not closed");
    EXPECT_NE(maria::TranslateNamedParams("SELECT ?", true).Error.find("? placeholder: write :name"), std::string::npos);
    EXPECT_EQ(maria::TranslateNamedParams("SELECT 1 /* open", true).Error, "a /* comment */ is not closed");
}

TEST(MariaDBSupportTest, ConnectionStringsParseAndMaskTheirPassword) {
    std::string Error;
    auto O = maria::ParseConnectionString("host=db port=3307 dbname=sales user=u password='a b\\'c'", Error);
    ASSERT_TRUE(O) << Error;
    EXPECT_EQ(O->Host, "db");
    EXPECT_EQ(O->Port, 3307u);
    EXPECT_EQ(O->Database, "sales");
    EXPECT_EQ(O->Password, "a b'c");
    EXPECT_EQ(maria::ParseConnectionString(" sales ", Error)->Database, "sales");
    EXPECT_FALSE(maria::ParseConnectionString("host=db prot=1", Error));
    EXPECT_EQ(Error, "unknown key 'prot' (known: " + std::string(maria::ConnectionKeys) + ")");
    EXPECT_FALSE(maria::ParseConnectionString("port=99999", Error));
    EXPECT_EQ(Error, "port '99999' is not a number in 1..65535");
    // A password written with a space: the words after it are hidden too.
    EXPECT_FALSE(maria::ParseConnectionString("password=se cret user=x", Error));
    EXPECT_EQ(Error.find("cret"), std::string::npos) << Error;
    EXPECT_EQ(maria::MaskConnectionString("password=se cret user=x"), "password=**** **** user=x");
    EXPECT_EQ(maria::MaskConnectionString("host=db password = 'a b\\' c' user=x"), "host=db password = **** user=x");
    EXPECT_EQ(maria::MaskConnectionString("password='open"), "password=****");
}

TEST(MariaDBSupportTest, ValuesKeepWhatTheirTypeHolds) {
    EXPECT_EQ(maria::FloatValue(1.1f), TFieldValue(1.1));
    EXPECT_EQ(maria::UnsignedValue(18446744073709551615ull), TFieldValue(std::string("18446744073709551615")));
    EXPECT_EQ(maria::BitValue(std::string("\x01\x02", 2)), TFieldValue(std::int64_t{258}));
    EXPECT_EQ(maria::DecimalValue("-12.50"), TFieldValue(-12.5));
    EXPECT_TRUE(std::holds_alternative<std::string>(maria::DecimalValue("1" + std::string(400, '0'))));
}

class MariaDBQueryTest : public pvtest::TMariaDBSuite {
protected:
    static void SetUpTestSuite() {
        StartServer([](TMariaDBServer& S) {
            S.Exec("sales",
                   "CREATE TABLE kinds (id INT PRIMARY KEY, ti TINYINT, si SMALLINT, i INT, bi BIGINT, "
                   "ub BIGINT UNSIGNED, f FLOAT, d DOUBLE, n DECIMAL(12,3), v VARCHAR(10), c CHAR(3), t TEXT, "
                   "b BOOLEAN, bt BIT(1), dt DATE, ts DATETIME(3), tm TIME, y YEAR);"
                   "INSERT INTO kinds VALUES (1, -2, 40000 DIV 2, 40000, 5000000000, 18446744073709551615, 1.1, 2.25,"
                   " 12345.678, 'var', 'ab', REPEAT('x', 5000), TRUE, b'1', '2026-01-31', '2026-01-31 14:05:06.5',"
                   " '-01:30:00', 2026), (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,"
                   " NULL, NULL, NULL, NULL, NULL)");
        });
    }
    void SetUp() override {
        TMariaDBSuite::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Query.SetName("Query1");
        Query.SetConnectionString(Server->ConnectionString());
    }
    void SetSQL(const std::string& Sql) { Query.GetSQL()->SetText(Sql); }
    std::string At() const {
        return "MariaDB database \"sales\" on 127.0.0.1:" + std::to_string(Server->Port()) + " as user \"plotvane\"";
    }

    TMariaDBQuery Query{nullptr};
};

TEST_F(MariaDBQueryTest, ReadsRowsAndTypesAndRefreshes) {
    SetSQL("SELECT * FROM kinds ORDER BY id");
    Query.Open();
    ASSERT_EQ(Query.GetRecordCount(), 2);
    auto Type = [&](const char* F) { return Query.FieldByName(F).GetDataType(); };
    for (const char* F : {"ti", "si", "i", "bi", "ub", "b", "bt", "y"}) EXPECT_EQ(Type(F), TFieldType::ftInteger) << F;
    for (const char* F : {"f", "d", "n"}) EXPECT_EQ(Type(F), TFieldType::ftFloat) << F;
    for (const char* F : {"v", "c", "t"}) EXPECT_EQ(Type(F), TFieldType::ftString) << F;
    EXPECT_EQ(Type("dt"), TFieldType::ftDate);
    EXPECT_EQ(Type("ts"), TFieldType::ftDateTime);
    EXPECT_EQ(Type("tm"), TFieldType::ftTime);
    auto Value = [&](const char* F) { return Query.FieldByName(F).GetValue(); };
    EXPECT_EQ(Value("ti"), TFieldValue(std::int64_t{-2}));
    EXPECT_EQ(Value("si"), TFieldValue(std::int64_t{20000}));
    EXPECT_EQ(Value("bi"), TFieldValue(std::int64_t{5000000000}));
    EXPECT_EQ(Value("ub"), TFieldValue(std::string("18446744073709551615")));
    EXPECT_EQ(Value("f"), TFieldValue(1.1));
    EXPECT_EQ(Value("d"), TFieldValue(2.25));
    EXPECT_EQ(Value("n"), TFieldValue(12345.678));
    EXPECT_EQ(Value("c"), TFieldValue(std::string("ab")));
    EXPECT_EQ(Value("t"), TFieldValue(std::string(5000, 'x')));
    EXPECT_EQ(Value("b"), TFieldValue(std::int64_t{1}));
    EXPECT_EQ(Value("bt"), TFieldValue(std::int64_t{1}));
    EXPECT_EQ(Value("dt"), TFieldValue(std::string("2026-01-31")));
    EXPECT_EQ(Value("ts"), TFieldValue(std::string("2026-01-31 14:05:06")));
    EXPECT_EQ(Value("tm"), TFieldValue(std::string("-01:30:00")));
    EXPECT_EQ(Value("y"), TFieldValue(std::int64_t{2026}));
    Query.Next();
    for (int I = 1; I < Query.GetFieldCount(); ++I)
        EXPECT_TRUE(Query.GetField(I)->IsNull()) << Query.GetField(I)->GetFieldName();

    // Refresh reads what another session changed, on the same connection.
    SetSQL("SELECT month, revenue FROM sales WHERE region = 'EU' ORDER BY month_no");
    Query.Open();
    Server->Exec("sales", "UPDATE sales SET revenue = 40 WHERE month = 'Apr' AND region = 'EU'");
    Query.Refresh();
    Query.SetRecNo(4);
    EXPECT_EQ(Query.FieldByName("revenue").GetAsFloat(), 40);
    Server->Exec("sales", "UPDATE sales SET revenue = -2 WHERE month = 'Apr' AND region = 'EU'");
    Query.Close();
    EXPECT_FALSE(Query.Connected());
    // host=localhost, or none, is the server's socket.
    Query.SetConnectionString("socket=" + Server->Socket() + " database=sales user=plotvane password=" +
                              TMariaDBServer::UserPassword);
    Query.Open();
    EXPECT_EQ(Query.GetRecordCount(), 12);

    // The session reads only; a statement without rows is refused unrun.
    SetSQL("INSERT INTO sales VALUES (13, 'Extra', 1, 'EU')");
    EXPECT_THROW_MSG(Query.Open(), EDatabaseError,
                     "Query1: cannot run the SQL on MariaDB database \"sales\" on localhost (socket " + Server->Socket() +
                         ") as user \"plotvane\": Cannot execute statement in a READ ONLY transaction");
    SetSQL("DO SLEEP(0)");
    EXPECT_THROW_MSG(Query.Open(), EDatabaseError, "Query1: cannot open: the SQL returns no rows (it is no query)");
    SetSQL("-- nothing");
    EXPECT_THROW_MSG(Query.Open(), EDatabaseError, "Query1: cannot open: SQL holds no statement");
    SetSQL("SELECT 1; SELECT 2");
    EXPECT_THROW_MSG_HAS(Query.Open(), EDatabaseError, "You have an error in your SQL syntax");
}

TEST_F(MariaDBQueryTest, DateColumnsReadAsSecondsAndAZeroDateIsNoDate) {
    SetSQL("SELECT dt, ts, tm, TIMESTAMP'2026-03-05 14:30:00' AS stamp, CAST(NULL AS DATE) AS none FROM kinds "
           "WHERE id = 1");
    Query.Open();
    const double Day = 20484.0 * 86400;  // 2026-01-31
    EXPECT_EQ(Query.FieldByName("dt").GetAsFloat(), Day);
    EXPECT_EQ(Query.FieldByName("ts").GetAsFloat(), Day + 14 * 3600 + 5 * 60 + 6);
    EXPECT_EQ(Query.FieldByName("tm").GetAsFloat(), -1.5 * 3600);
    EXPECT_EQ(Query.FieldByName("stamp").GetDataType(), TFieldType::ftDateTime);
    EXPECT_EQ(Query.FieldByName("stamp").GetAsFloat(), 20517.0 * 86400 + 14.5 * 3600);
    EXPECT_EQ(Query.FieldByName("none").GetDataType(), TFieldType::ftDate);
    EXPECT_TRUE(Query.FieldByName("none").IsNull());
    // A zero date, which a lenient server keeps, names itself.
    SetSQL("SELECT CAST('0000-00-00' AS DATE) AS zero");
    Query.Open();
    if (!Query.FieldByName("zero").IsNull()) {
        EXPECT_THROW_MSG(Query.FieldByName("zero").GetAsFloat(), EDatabaseError,
                         "Query1: field \"zero\" of record 1: '0000-00-00' is not a date");
    }
}

TEST_F(MariaDBQueryTest, ParametersBindAsDataNeverAsSQL) {
    // A hostile text comes back exactly as it went: quotes, backslashes
    // and a comment are data.
    const std::string Hostile = "x\\' OR '1'='1' -- \\\"; DROP TABLE sales; #";
    SetSQL("SELECT :v AS v, COUNT(*) AS n FROM sales WHERE month = :v");
    Query.GetParams()->SetText("v=" + Hostile);
    Query.Open();
    EXPECT_EQ(Query.FieldByName("v").GetAsString(), Hostile);
    EXPECT_EQ(Query.FieldByName("n").GetAsInteger(), 0);
    SetSQL("SELECT COUNT(*) AS n FROM sales");
    Query.Open();
    EXPECT_EQ(Query.FieldByName("n").GetAsInteger(), 24);

    // Declared parameters bind as their type, within their limits.
    SetSQL("SELECT month, SUM(revenue) AS revenue FROM sales WHERE :region IN ('ALL', region) "
           "AND month_no >= :from GROUP BY month_no, month ORDER BY month_no");
    Query.GetParams()->SetText("region:text(3)=ALL\nfrom:integer(1..12)=1");
    Query.Open();
    EXPECT_EQ(Query.GetRecordCount(), 12);
    Query.SetParamValue("region", "US");
    Query.SetParamValue("from", "11");
    Query.Refresh();
    ASSERT_EQ(Query.GetRecordCount(), 2);
    EXPECT_EQ(Query.FieldByName("revenue").GetAsFloat(), 12);
    EXPECT_THROW_MSG(Query.SetParamValue("region", "x' OR 1"), EDatabaseError,
                     "Query1: parameter \"region\" cannot be 'x' OR 1': it must be text of at most 3 bytes");

    // A declared integer is bound as one, where only a number will do.
    SetSQL("SELECT month FROM sales ORDER BY month_no LIMIT :n");
    Query.GetParams()->SetText("n:integer(1..100)=3");
    Query.Open();
    EXPECT_EQ(Query.GetRecordCount(), 3);

    SetSQL("SELECT :v + 1 AS v");
    Query.GetParams()->Clear();
    EXPECT_THROW_MSG(Query.Open(), EDatabaseError, "Query1: parameter \":v\" has no value in Params");
    SetSQL("SELECT ? AS v");
    EXPECT_THROW_MSG_HAS(Query.Open(), EDatabaseError, "Query1: cannot open: the SQL has a ? placeholder");
}

TEST_F(MariaDBQueryTest, ErrorsNameServerDatabaseAndObjectButNeverThePassword) {
    SetSQL("SELECT month FROM nosuch");
    EXPECT_THROW_CHECK(Query.Open(), EDatabaseError, [&](const EDatabaseError& E) {
        EXPECT_EQ(std::string(E.what()),
                  "Query1: cannot run the SQL on " + At() + ": Table 'sales.nosuch' doesn't exist");
        // The SQL's fault, not the server's: not "unavailable".
        EXPECT_EQ(dynamic_cast<const EDatabaseUnavailable*>(&E), nullptr);
    });

    auto SaysButHides = [](std::vector<std::string> Parts, std::string Secret) {
        return [=](const EDatabaseError& E) {
            const std::string M = E.what();
            for (const std::string& P : Parts) EXPECT_NE(M.find(P), std::string::npos) << M;
            EXPECT_EQ(M.find(Secret), std::string::npos) << M;
        };
    };
    SetSQL("SELECT month FROM sales");
    Query.SetConnectionString(Server->ConnectionString("sales", "wrong-Pw"));
    EXPECT_THROW_CHECK(Query.Open(), EDatabaseUnavailable,
                       SaysButHides({"Query1: cannot connect to " + At() + ": Access denied for user 'plotvane'"},
                                    "wrong-Pw"));
    Query.SetConnectionString(Server->ConnectionString() + " prot=1");
    EXPECT_THROW_CHECK(Query.Open(), EDatabaseError,
                       SaysButHides({"Query1: ConnectionString 'host=127.0.0.1 port=" + std::to_string(Server->Port()) +
                                     " database=sales user=plotvane password=**** prot=1' cannot be read: unknown key "
                                     "'prot'"},
                                    TMariaDBServer::UserPassword));
    // The password may come from an option file instead.
    const std::string Options = (Server->Dir() / "client.cnf").string();
    Query.SetConnectionString("host=127.0.0.1 port=" + std::to_string(Server->Port()) +
                              " database=sales user=plotvane optionfile=" + Options);
    EXPECT_THROW_MSG(Query.Open(), EDatabaseError,
                     "Query1: the optionfile '" + Options +
                         "' of ConnectionString cannot be read: No such file or directory");
    std::ofstream(Options) << "[client]\npassword=" << TMariaDBServer::UserPassword << "\n";
    Query.Open();
    EXPECT_EQ(Query.GetRecordCount(), 24);

    EXPECT_THROW(Query.SetConnectTimeout(-1), ERangeError);
    EXPECT_THROW(Query.SetStatementTimeout(-5), ERangeError);
}

TEST_F(MariaDBQueryTest, DeadlinesEndEveryWaitOnTheServer) {
    // A port that takes the connection and never greets: ConnectTimeout.
    const int Silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t Len = sizeof A;
    ASSERT_EQ(::bind(Silent, reinterpret_cast<sockaddr*>(&A), sizeof A), 0);
    ASSERT_EQ(::listen(Silent, 4), 0);
    ASSERT_EQ(::getsockname(Silent, reinterpret_cast<sockaddr*>(&A), &Len), 0);
    Query.SetConnectionString("host=127.0.0.1 port=" + std::to_string(ntohs(A.sin_port)) + " database=sales");
    Query.SetConnectTimeout(1);
    SetSQL("SELECT 1");
    EXPECT_THROW_MSG_HAS(Query.Open(), EDatabaseUnavailable, "timeout expired: no answer within 1 s (ConnectTimeout)");
    ::close(Silent);

    // The server stops a statement at its limit; the connection stays.
    Query.SetConnectionString(Server->ConnectionString());
    Query.SetStatementTimeout(200);
    SetSQL("SELECT month FROM sales WHERE SLEEP(:s) = 0");
    Query.GetParams()->SetText("s=0");
    Query.Open();
    Query.GetParams()->SetText("s=3");
    EXPECT_THROW_MSG_HAS(Query.Open(), EDatabaseUnavailable,
                         "Query1: the server stopped the SQL (StatementTimeout = 200 ms) on " + At() + ": ");

    // A server that stops answering while connected: the wait ends at the
    // client's limit, the connection is dropped, the records read last
    // stay; the refresh after it gives up at ConnectTimeout.
    Query.SetStatementTimeout(800);
    Query.GetParams()->SetText("s=0");
    Query.Open();
    Server->Pause();
    EXPECT_THROW_MSG(Query.Refresh(), EDatabaseUnavailable,
                     "Query1: " + At() + " did not answer the SQL within 3 s (StatementTimeout = 800 ms + 2000 ms, in "
                     "whole seconds); the connection is dropped. SQL: SELECT month FROM sales WHERE SLEEP(:s) = 0");
    EXPECT_FALSE(Query.Connected());
    EXPECT_EQ(Query.GetRecordCount(), 24);
    EXPECT_THROW_MSG_HAS(Query.Refresh(), EDatabaseUnavailable, "Query1: cannot connect to " + At(),
                         "timeout expired: no answer within 1 s (ConnectTimeout)");
    Server->Resume();
    Query.Refresh();
    EXPECT_TRUE(Query.Connected());
}

TEST_F(MariaDBQueryTest, RefreshConnectsAgainAfterTheServerComesBack) {
    SetSQL("SELECT month, revenue FROM sales WHERE region = 'EU' ORDER BY month_no");
    Query.Open();
    // Restarted between two refreshes: the stale connection fails, a new
    // one answers, and the caller sees nothing.
    Server->Stop();
    Server->Start();
    Query.Refresh();
    EXPECT_EQ(Query.GetRecordCount(), 12);

    // Down: each refresh fails, naming where; the records read last stay.
    Server->Stop();
    for (int I = 0; I < 2; ++I)
        EXPECT_THROW_CHECK(Query.Refresh(), EDatabaseUnavailable, [&](const EDatabaseUnavailable& E) {
            const std::string M = E.what();
            EXPECT_EQ(M.rfind("Query1: cannot connect to " + At() + ": ", 0), 0u) << M;
            EXPECT_EQ(M.find(TMariaDBServer::UserPassword), std::string::npos) << M;
        });
    EXPECT_TRUE(Query.GetActive());
    EXPECT_EQ(Query.GetRecordCount(), 12);

    Server->Start();
    Query.Refresh();
    EXPECT_TRUE(Query.Connected());
}

}  // namespace
}  // namespace pv
