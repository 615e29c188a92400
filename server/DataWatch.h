#pragma once
// TDataWatch: notices, cheaply and at once, when a SQLite database file
// changes: a commit by any other connection or process (SQLite's
// data_version on a connection kept open for the purpose), and the file
// being replaced (another device/inode), rewritten (size or modification
// time) or deleted.
//
// Each change raises the generation; a replacement also raises the file
// epoch, after which connections opened on the old file must be opened
// again, since they would go on reading the old inode for ever. Safe to use
// from several threads.

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace plotvane {

class TDataWatch {
public:
    // Path: the database file; Who: the data set, for messages.
    TDataWatch(std::string Path, std::string Who);
    ~TDataWatch();
    TDataWatch(const TDataWatch&) = delete;
    TDataWatch& operator=(const TDataWatch&) = delete;

    struct TState {
        std::uint64_t Generation = 0;
        std::uint64_t FileEpoch = 0;
        // Why the file cannot be read now ("" when it can).
        std::string Fault;
    };
    // Looks at the file and the kept connection; a few microseconds.
    TState Check();
    const std::string& Path() const { return FPath; }
    const std::string& Who() const { return FWho; }

private:
    struct TIdentity {
        dev_t Device = 0;
        ino_t Inode = 0;
        off_t Size = -1;
        std::int64_t ModifiedNs = -1;
    };
    void Reopen();

    const std::string FPath;
    const std::string FWho;
    std::mutex FLock;
    sqlite3* FDb = nullptr;
    sqlite3_stmt* FVersion = nullptr;
    TIdentity FIdentity;
    bool FKnown = false;
    bool FLost = false;
    std::int64_t FDataVersion = -1;
    TState FState;
};

}  // namespace plotvane
