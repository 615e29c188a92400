// The MariaDB data path of one chart request beside SQLite's, on R1's 12
// rows (the sample data, examples/sales.sql): the query read again on its
// open connection (what `plotvane serve` does per request), opened with a
// new connection each time, and 100 000 rows of three columns read through
// the prepared statement's binary rows.
//
// The server is a private one started for the run (see
// tests/support/MariaDBServer.h), or the one PLOTVANE_MARIADB_CONNINFO
// names, which must hold the sample's sales table.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/db/MariaDBQuery.h"
#include "platform/db/SQLiteQuery.h"
#include "tests/support/MariaDBServer.h"

namespace {

namespace fs = std::filesystem;

// PLOTVANE_SOURCE_DIR, else the tree this file was compiled from (a
// relative __FILE__, as ccache's base directory makes it, counts from the
// current folder).
const fs::path SourceDir = [] {
    if (const char* Env = std::getenv("PLOTVANE_SOURCE_DIR")) return fs::path(Env);
    return fs::path(__FILE__).parent_path().parent_path();
}();
const char* const SalesSql = "SELECT month, SUM(revenue) AS revenue FROM sales GROUP BY month_no, month ORDER BY month_no";

std::string MariaConnectionString() {
    if (const char* Env = std::getenv("PLOTVANE_MARIADB_CONNINFO")) return Env;
    static std::unique_ptr<pvtest::TMariaDBServer> Server = [] {
        auto S = std::make_unique<pvtest::TMariaDBServer>();
        S->LoadSales(SourceDir);
        return S;
    }();
    return Server->ConnectionString();
}

// The sample database as a SQLite file in a temporary folder, removed at exit.
std::string SqliteFile() {
    static fs::path Dir = [] {
        std::string Pattern = (fs::temp_directory_path() / "plotvane-bench-XXXXXX").string();
        if (!mkdtemp(Pattern.data())) std::abort();
        std::atexit([] { fs::remove_all(Dir); });
        return fs::path(Pattern);
    }();
    const std::string Path = (Dir / "sales.db").string();
    if (fs::exists(Path)) return Path;
    const std::string Sql = pvtest::TMariaDBServer::ReadText(SourceDir / "examples" / "sales.sql");
    if (Sql.empty()) throw std::runtime_error("no examples/sales.sql under " + SourceDir.string() +
                                              "; set PLOTVANE_SOURCE_DIR");
    sqlite3* Db = nullptr;
    sqlite3_open(Path.c_str(), &Db);
    sqlite3_exec(Db, Sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(Db);
    return Path;
}

std::unique_ptr<pv::TDataSet> MakeQuery(bool Maria, const char* Sql = SalesSql) {
    if (Maria) {
        auto Q = std::make_unique<pv::TMariaDBQuery>(nullptr);
        Q->SetConnectionString(MariaConnectionString());
        Q->GetSQL()->SetText(Sql);
        return Q;
    }
    auto Q = std::make_unique<pv::TSQLiteQuery>(nullptr);
    Q->SetDatabaseName(SqliteFile());
    Q->GetSQL()->SetText(Sql);
    return Q;
}

void Refresh(benchmark::State& State, bool Maria, const char* Sql = SalesSql) {
    auto Q = MakeQuery(Maria, Sql);
    Q->Open();
    for (auto _ : State) {
        Q->Refresh();
        benchmark::DoNotOptimize(Q->GetRecordCount());
    }
    State.SetItemsProcessed(State.iterations() * Q->GetRecordCount());
}
void BM_SQLiteRefresh12(benchmark::State& State) { Refresh(State, false); }
void BM_MariaDBRefresh12(benchmark::State& State) { Refresh(State, true); }
BENCHMARK(BM_SQLiteRefresh12)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MariaDBRefresh12)->Unit(benchmark::kMicrosecond);

void OpenClose(benchmark::State& State, bool Maria) {
    auto Q = MakeQuery(Maria);
    for (auto _ : State) {
        Q->Open();
        benchmark::DoNotOptimize(Q->GetRecordCount());
        Q->Close();
    }
}
void BM_SQLiteOpenClose12(benchmark::State& State) { OpenClose(State, false); }
void BM_MariaDBOpenClose12(benchmark::State& State) { OpenClose(State, true); }
BENCHMARK(BM_SQLiteOpenClose12)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MariaDBOpenClose12)->Unit(benchmark::kMicrosecond);

// 100 000 generated rows (an integer, a double, a text), no table needed.
void BM_MariaDBRead100k(benchmark::State& State) {
    Refresh(State, true,
            "SELECT seq AS n, seq / 7 AS v, CONCAT('row ', seq) AS label FROM seq_1_to_100000");
}
BENCHMARK(BM_MariaDBRead100k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
