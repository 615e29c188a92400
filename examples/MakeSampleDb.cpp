// make_sample_db SQL_FILE DB_FILE: builds a SQLite database from a file of
// SQL statements. The database is built under a temporary name and renamed
// into place, so a failed build never leaves a half-filled database, and a
// rebuild starts from an empty file rather than adding rows twice.

#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_sample_db SQL_FILE DB_FILE\n";
        return 2;
    }
    std::ifstream In(argv[1], std::ios::binary);
    if (!In) {
        std::cerr << "make_sample_db: cannot open " << argv[1] << "\n";
        return 1;
    }
    std::ostringstream Sql;
    Sql << In.rdbuf();

    const std::string Target = argv[2];
    const std::string Temp = Target + ".tmp";
    std::remove(Temp.c_str());
    sqlite3* Db = nullptr;
    int Rc = sqlite3_open_v2(Temp.c_str(), &Db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    char* Error = nullptr;
    if (Rc == SQLITE_OK) Rc = sqlite3_exec(Db, Sql.str().c_str(), nullptr, nullptr, &Error);
    if (Rc != SQLITE_OK) {
        std::cerr << "make_sample_db: " << argv[1] << ": " << (Error ? Error : sqlite3_errmsg(Db)) << "\n";
        sqlite3_free(Error);
        sqlite3_close(Db);
        std::remove(Temp.c_str());
        return 1;
    }
    if (sqlite3_close(Db) != SQLITE_OK || std::rename(Temp.c_str(), Target.c_str()) != 0) {
        std::cerr << "make_sample_db: cannot write " << Target << "\n";
        std::remove(Temp.c_str());
        return 1;
    }
    return 0;
}
