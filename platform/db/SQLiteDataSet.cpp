#include "platform/db/SQLiteDataSet.h"

#include <filesystem>

#include "platform/db/SQLiteSupport.h"

namespace pv {

void TCustomSQLiteDataSet::TConnectionCloser::operator()(sqlite3* Db) const {
    // close_v2 also copes with statements a failed operation left behind.
    sqlite3_close_v2(Db);
}

TCustomSQLiteDataSet::~TCustomSQLiteDataSet() { Destroying(); }

void TCustomSQLiteDataSet::SetDatabaseName(const std::string& Value) {
    if (Value == FDatabaseName) return;
    FDatabaseName = Value;
    DefinitionChanged();
}

void TCustomSQLiteDataSet::DefinitionChanged() {
    // The records no longer match what the data set describes.
    Close();
}

std::string TCustomSQLiteDataSet::GetDatabasePath() const {
    const std::filesystem::path Name(FDatabaseName);
    if (Name.is_absolute() || FBaseDirectory.empty()) return FDatabaseName;
    return (std::filesystem::path(FBaseDirectory) / Name).string();
}

void TCustomSQLiteDataSet::SQLiteError(const std::string& What) const {
    const char* Message = FConnection ? sqlite3_errmsg(FConnection.get()) : "no connection";
    DatabaseError(What + ": " + Message);
}

TDataSetContents TCustomSQLiteDataSet::InternalOpen() {
    if (FDatabaseName.empty()) DatabaseError("cannot open: DatabaseName is empty");
    const std::string Path = GetDatabasePath();
    // Without SQLITE_OPEN_CREATE a missing file is an error; NOMUTEX since
    // one thread at a time uses the connection.
    const int Flags = (OpensReadOnly() ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    sqlite3* Raw = nullptr;
    const int Rc = sqlite3_open_v2(Path.c_str(), &Raw, Flags, nullptr);
    FConnection.reset(Raw);
    if (Rc != SQLITE_OK) {
        const std::string Message = Raw ? sqlite3_errmsg(Raw) : sqlite3_errstr(Rc);
        FConnection.reset();
        DatabaseError("cannot open database \"" + Path + "\": " + Message);
    }
    sqlite3_busy_timeout(Raw, FBusyTimeout);
    try {
        return ReadContents();
    } catch (...) {
        FConnection.reset();
        throw;
    }
}

void TCustomSQLiteDataSet::InternalClose(TRecordStore&& Records) {
    (void)Records;
    FConnection.reset();
}

std::optional<TDataSetContents> TCustomSQLiteDataSet::InternalRefresh() { return ReadContents(); }

}  // namespace pv
