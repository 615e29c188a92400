// The database path of one chart request: opening a SQLite query (which
// reads every row) and a data-aware series reading the records.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <malloc.h>
#include <stdlib.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/db/MemDataSet.h"
#include "platform/db/SQLiteQuery.h"
#include "platform/dbchart/DBChart.h"

namespace {

// A database of Rows sales rows in a temporary folder, removed at exit.
std::string SalesDb(int Rows) {
    static std::filesystem::path Dir = [] {
        std::string Pattern = (std::filesystem::temp_directory_path() / "plotvane-bench-XXXXXX").string();
        if (!mkdtemp(Pattern.data())) std::abort();
        std::atexit([] { std::filesystem::remove_all(Dir); });
        return std::filesystem::path(Pattern);
    }();
    const std::string Path = (Dir / ("sales" + std::to_string(Rows) + ".db")).string();
    if (std::filesystem::exists(Path)) return Path;
    sqlite3* Db = nullptr;
    sqlite3_open(Path.c_str(), &Db);
    sqlite3_exec(Db, "CREATE TABLE sales (month_no INTEGER, month TEXT, revenue REAL); BEGIN", nullptr, nullptr,
                 nullptr);
    for (int I = 0; I < Rows; ++I) {
        const std::string Sql = "INSERT INTO sales VALUES (" + std::to_string(I) + ", 'M" + std::to_string(I) +
                                "', " + std::to_string(I * 1.5) + ")";
        sqlite3_exec(Db, Sql.c_str(), nullptr, nullptr, nullptr);
    }
    sqlite3_exec(Db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(Db);
    return Path;
}

void BM_SQLiteQueryOpen(benchmark::State& State) {
    const int Rows = static_cast<int>(State.range(0));
    pv::TSQLiteQuery Query(nullptr);
    Query.SetDatabaseName(SalesDb(Rows));
    Query.GetSQL()->SetText("SELECT month, revenue FROM sales WHERE month_no >= :from ORDER BY month_no");
    Query.GetParams()->SetText("from=0");
    for (auto _ : State) {
        Query.Open();
        benchmark::DoNotOptimize(Query.GetRecordCount());
        Query.Close();
    }
    State.SetItemsProcessed(State.iterations() * Rows);
}
BENCHMARK(BM_SQLiteQueryOpen)->Arg(12)->Arg(1000);

void BM_SeriesReadsRecords(benchmark::State& State) {
    const int Rows = static_cast<int>(State.range(0));
    pv::TMemDataSet Mem(nullptr);
    Mem.AddField("month", pv::TFieldType::ftString);
    Mem.AddField("revenue", pv::TFieldType::ftFloat);
    for (int I = 0; I < Rows; ++I) Mem.AppendRecord({"M" + std::to_string(I), I * 1.5});
    Mem.Open();
    pv::TDBChart Chart(nullptr);
    auto* Series = new pv::TBarSeries(&Chart);
    Series->SetParentChart(&Chart);
    Series->SetLabelsSource("month");
    Series->GetYValues()->SetValueSource("revenue");
    for (auto _ : State) {
        Series->SetDataSource(&Mem);  // reads every record again
        benchmark::DoNotOptimize(Series->Count());
    }
    State.SetItemsProcessed(State.iterations() * Rows);
}
BENCHMARK(BM_SeriesReadsRecords)->Arg(12)->Arg(1000);

// Resident memory of this process in bytes.
double ResidentBytes() {
    std::ifstream Statm("/proc/self/statm");
    double Pages = 0, Resident = 0;
    Statm >> Pages >> Resident;
    return Resident * static_cast<double>(sysconf(_SC_PAGESIZE));
}

// Bytes the allocator has handed out and not taken back.
double AllocatedBytes() {
    const struct mallinfo2 M = mallinfo2();
    return static_cast<double>(M.uordblks + M.hblkhd);
}

// SQLite's own stepping through the same rows, reading both values: the
// floor that a read through the data set is compared with.
void BM_SQLiteSteps(benchmark::State& State) {
    const int Rows = static_cast<int>(State.range(0));
    const std::string Path = SalesDb(Rows);
    sqlite3* Db = nullptr;
    sqlite3_open_v2(Path.c_str(), &Db, SQLITE_OPEN_READONLY, nullptr);
    double Sum = 0;
    for (auto _ : State) {
        sqlite3_stmt* Stmt = nullptr;
        sqlite3_prepare_v2(Db, "SELECT month_no, revenue FROM sales", -1, &Stmt, nullptr);
        while (sqlite3_step(Stmt) == SQLITE_ROW)
            Sum += static_cast<double>(sqlite3_column_int64(Stmt, 0)) + sqlite3_column_double(Stmt, 1);
        sqlite3_finalize(Stmt);
        benchmark::DoNotOptimize(Sum);
    }
    sqlite3_close(Db);
    State.SetItemsProcessed(State.iterations() * Rows);
}
BENCHMARK(BM_SQLiteSteps)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

// A chart's read of Rows rows of x, y from SQLite, as a server's request
// makes it: the query opened, the series reading its records. The counter
// bytes/row is the resident memory the read data holds (data set and
// series), alloc/row the bytes allocated for it, measured once after the
// last read.
void BM_ChartReadsQuery(benchmark::State& State) {
    const int Rows = static_cast<int>(State.range(0));
    const std::string Path = SalesDb(Rows);
    const double Before = ResidentBytes();
    const double AllocatedBefore = AllocatedBytes();
    pv::TSQLiteQuery Query(nullptr);
    Query.SetDatabaseName(Path);
    Query.GetSQL()->SetText("SELECT month_no, revenue FROM sales");
    pv::TDBChart Chart(nullptr);
    auto* Series = new pv::TLineSeries(&Chart);
    Series->SetParentChart(&Chart);
    Series->GetXValues()->SetValueSource("month_no");
    Series->GetYValues()->SetValueSource("revenue");
    Series->SetDataSource(&Query);
    for (auto _ : State) {
        Query.Close();
        Query.Open();  // the series reads every record again
        benchmark::DoNotOptimize(Series->Count());
    }
    State.counters["bytes/row"] = (ResidentBytes() - Before) / Rows;
    State.counters["alloc/row"] = (AllocatedBytes() - AllocatedBefore) / Rows;
    State.SetItemsProcessed(State.iterations() * Rows);
}
BENCHMARK(BM_ChartReadsQuery)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
