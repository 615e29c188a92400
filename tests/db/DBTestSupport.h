#pragma once
// Helpers for the database tests: a temporary folder that removes itself, a
// SQLite file built with the C API.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "tests/support/ThrowMessage.h"

namespace pv::test {

class TTempDir {
public:
    TTempDir() {
        std::string Pattern = (std::filesystem::temp_directory_path() / "plotvane-db-XXXXXX").string();
        if (!mkdtemp(Pattern.data())) throw std::runtime_error("mkdtemp failed");
        FPath = Pattern;
    }
    ~TTempDir() {
        std::error_code Ignored;
        std::filesystem::remove_all(FPath, Ignored);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::filesystem::path& Path() const { return FPath; }
    std::string File(const std::string& Name) const { return (FPath / Name).string(); }

private:
    std::filesystem::path FPath;
};

// A connection of the test's own, for setting up files and checking what
// the data sets wrote.
class TTestDb {
public:
    explicit TTestDb(const std::string& Path) {
        if (sqlite3_open_v2(Path.c_str(), &FDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot create " + Path);
    }
    ~TTestDb() { sqlite3_close_v2(FDb); }
    TTestDb(const TTestDb&) = delete;
    TTestDb& operator=(const TTestDb&) = delete;

    void Exec(const std::string& Sql) {
        char* Error = nullptr;
        if (sqlite3_exec(FDb, Sql.c_str(), nullptr, nullptr, &Error) != SQLITE_OK) {
            std::string Message = Error ? Error : "?";
            sqlite3_free(Error);
            throw std::runtime_error(Sql + ": " + Message);
        }
    }
    // The first column of the first row as text ("NULL" for null, "" for
    // no row).
    std::string Scalar(const std::string& Sql) {
        sqlite3_stmt* Stmt = nullptr;
        if (sqlite3_prepare_v2(FDb, Sql.c_str(), -1, &Stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error(Sql + ": " + sqlite3_errmsg(FDb));
        std::string R;
        if (sqlite3_step(Stmt) == SQLITE_ROW) {
            const unsigned char* T = sqlite3_column_text(Stmt, 0);
            R = T ? reinterpret_cast<const char*>(T) : "NULL";
        }
        sqlite3_finalize(Stmt);
        return R;
    }

private:
    sqlite3* FDb = nullptr;
};

// sales.db: twelve months, with an integer, a real and a text column.
inline void CreateSalesDb(const std::string& Path) {
    TTestDb Db(Path);
    Db.Exec(
        "CREATE TABLE sales (month_no INTEGER NOT NULL, month TEXT, revenue REAL, note TEXT DEFAULT 'none');"
        "INSERT INTO sales (month_no, month, revenue) VALUES (1, 'Jan', 120.5), (2, 'Feb', 98), (3, 'Mar', NULL);");
}

}  // namespace pv::test
