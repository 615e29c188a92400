#include "server/DataWatch.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace plotvane {

TDataWatch::TDataWatch(std::string Path, std::string Who) : FPath(std::move(Path)), FWho(std::move(Who)) {}

TDataWatch::~TDataWatch() {
    sqlite3_finalize(FVersion);
    sqlite3_close_v2(FDb);
}

void TDataWatch::Reopen() {
    sqlite3_finalize(FVersion);
    FVersion = nullptr;
    sqlite3_close_v2(FDb);
    FDb = nullptr;
    FDataVersion = -1;
    if (sqlite3_open_v2(FPath.c_str(), &FDb, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(FDb, "PRAGMA data_version", -1, &FVersion, nullptr) != SQLITE_OK) {
        sqlite3_finalize(FVersion);
        FVersion = nullptr;
        sqlite3_close_v2(FDb);
        FDb = nullptr;
        return;
    }
    // A writer holds the file for a moment: wait for it as the data sets do,
    // instead of taking its lock for a fault.
    sqlite3_busy_timeout(FDb, 2000);
}

TDataWatch::TState TDataWatch::Check() {
    std::lock_guard<std::mutex> Lock(FLock);
    struct stat St {};
    if (::stat(FPath.c_str(), &St) != 0) {
        const std::string Fault = FWho + ": database file \"" + FPath + "\" cannot be read: " + std::strerror(errno);
        if (FState.Fault != Fault) {
            FState.Fault = Fault;
            ++FState.Generation;
        }
        // Whatever file comes back under the name, connections opened
        // before must be opened again.
        FLost = true;
        return FState;
    }
    TIdentity Now{St.st_dev, St.st_ino, St.st_size,
                  std::int64_t{St.st_mtim.tv_sec} * 1000000000 + St.st_mtim.tv_nsec};
    bool Changed = !FState.Fault.empty();
    FState.Fault.clear();
    if (!FKnown || FLost || Now.Device != FIdentity.Device || Now.Inode != FIdentity.Inode) {
        // Another file under the name: what was opened on the old one is stale.
        if (FKnown) {
            ++FState.FileEpoch;
            Changed = true;
        }
        Reopen();
        FLost = false;
    } else if (Now.Size != FIdentity.Size || Now.ModifiedNs != FIdentity.ModifiedNs) {
        Changed = true;
    }
    FIdentity = Now;
    FKnown = true;

    std::int64_t Version = -1;
    if (FVersion && sqlite3_step(FVersion) == SQLITE_ROW) Version = sqlite3_column_int64(FVersion, 0);
    if (FVersion) sqlite3_reset(FVersion);
    if (Version < 0) {
        FState.Fault = FWho + ": database file \"" + FPath + "\" cannot be read: " +
                       (FDb ? sqlite3_errmsg(FDb) : "cannot open it");
        ++FState.Generation;
        FLost = true;
        return FState;
    }
    if (FDataVersion >= 0 && Version != FDataVersion) Changed = true;
    FDataVersion = Version;
    if (Changed) ++FState.Generation;
    return FState;
}

}  // namespace plotvane
