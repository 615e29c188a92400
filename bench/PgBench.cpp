// The PostgreSQL data path of one chart request beside SQLite's, on R1's 12
// rows (the sample data, examples/sales.sql): the query read again on its
// open connection (what `plotvane serve` does per request), opened with a
// new connection each time, and the whole GIF response over it.
//
// The server is a private cluster started for the run (see
// tests/support/PgCluster.h; as root its programs run as "postgres"), or
// the one PLOTVANE_PG_CONNINFO names, which must hold the sample's sales
// table.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "component/Norq_Plotvane.h"
#include "platform/db/DataSource.h"
#include "platform/db/PgQuery.h"
#include "platform/db/SQLiteQuery.h"
#include "tests/support/PgCluster.h"

namespace {

using namespace Norq_Plotvane;
namespace fs = std::filesystem;

const fs::path SourceDir = fs::path(__FILE__).parent_path().parent_path();
const char* const SalesSql = "SELECT month, SUM(revenue) AS revenue FROM sales GROUP BY month_no, month ORDER BY month_no";

std::string PgConnectionString() {
    if (const char* Env = std::getenv("PLOTVANE_PG_CONNINFO")) return Env;
    static std::unique_ptr<pvtest::TPgCluster> Cluster = [] {
        auto C = std::make_unique<pvtest::TPgCluster>();
        C->LoadSales(SourceDir);
        return C;
    }();
    return Cluster->ConnectionString();
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
    sqlite3* Db = nullptr;
    sqlite3_open(Path.c_str(), &Db);
    sqlite3_exec(Db, pvtest::ReadTextFile(SourceDir / "examples" / "sales.sql").c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(Db);
    return Path;
}

std::unique_ptr<pv::TDataSet> MakeQuery(bool Pg) {
    if (Pg) {
        auto Q = std::make_unique<pv::TPgQuery>(nullptr);
        Q->SetConnectionString(PgConnectionString());
        Q->GetSQL()->SetText(SalesSql);
        return Q;
    }
    auto Q = std::make_unique<pv::TSQLiteQuery>(nullptr);
    Q->SetDatabaseName(SqliteFile());
    Q->GetSQL()->SetText(SalesSql);
    return Q;
}

void Refresh(benchmark::State& State, bool Pg) {
    auto Q = MakeQuery(Pg);
    Q->Open();
    for (auto _ : State) {
        Q->Refresh();
        benchmark::DoNotOptimize(Q->GetRecordCount());
    }
    State.SetItemsProcessed(State.iterations() * Q->GetRecordCount());
}
void BM_SQLiteRefresh12(benchmark::State& State) { Refresh(State, false); }
void BM_PgRefresh12(benchmark::State& State) { Refresh(State, true); }
BENCHMARK(BM_SQLiteRefresh12)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PgRefresh12)->Unit(benchmark::kMicrosecond);

void OpenClose(benchmark::State& State, bool Pg) {
    auto Q = MakeQuery(Pg);
    for (auto _ : State) {
        Q->Open();
        benchmark::DoNotOptimize(Q->GetRecordCount());
        Q->Close();
    }
}
void BM_SQLiteOpenClose12(benchmark::State& State) { OpenClose(State, false); }
void BM_PgOpenClose12(benchmark::State& State) { OpenClose(State, true); }
BENCHMARK(BM_SQLiteOpenClose12)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PgOpenClose12)->Unit(benchmark::kMicrosecond);

// R1 bound to the query: each response reads the rows again and answers
// with a GIF, as `plotvane serve` does.
void GifResponse(benchmark::State& State, bool Pg) {
    pv::TComponent Module(nullptr);
    std::unique_ptr<pv::TDataSet> Q = MakeQuery(Pg);
    auto* Source = new pv::TDataSource(&Module);
    Source->SetDataSet(Q.get());
    auto* Chart = new TNorq_DBPlotvane(&Module);
    pv::TStringList Title;
    Title.Add("Monthly revenue");
    Chart->SetTitleText(&Title);
    Chart->SetColor(pv::clWhite);
    Chart->SetWidth(400);
    Chart->SetHeight(250);
    Chart->SetAxisLeftTitleCaption("EUR");
    Chart->SetAxisBottomTitleCaption("Month");
    Chart->SetSeriesColorMode(TSeriesColorMode::scPositiveNegative);
    Chart->SetXLabelsSource("month");
    Chart->SetYValueSource("revenue");
    Chart->SetDataSource(Source);
    Q->Open();
    for (auto _ : State) {
        Q->Refresh();
        pv::TWebResponse R;
        Chart->GetGifResponse(R);
        benchmark::DoNotOptimize(R.GetSentMessage());
    }
    State.counters["bytes"] = static_cast<double>(Chart->GetResponseStream()->GetSize());
    Source->SetDataSet(nullptr);
}
void BM_GifResponseSQLite(benchmark::State& State) { GifResponse(State, false); }
void BM_GifResponsePg(benchmark::State& State) { GifResponse(State, true); }
BENCHMARK(BM_GifResponseSQLite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifResponsePg)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
