#pragma once
// TCustomSQLiteDataSet: the part that SQLite queries and tables share: the
// database file, the connection and SQLite's errors.
//
// Each data set has its own connection, opened when the data set opens and
// closed when it closes; it is used by one thread at a time (a server runs
// one module per thread). A missing database file is an error: the file is
// never created. Every error of SQLite becomes EDatabaseError naming the data
// set, the file or table, and SQLite's own message.

#include <memory>
#include <string>

#include "platform/db/DataSet.h"
#include "platform/rtl/BaseDirectory.h"

struct sqlite3;

namespace pv {

class TCustomSQLiteDataSet : public TDataSet, public IBaseDirectory {
public:
    // The default for GetBusyTimeout, in milliseconds.
    static constexpr int DefaultBusyTimeout = 2000;

    explicit TCustomSQLiteDataSet(TComponent* AOwner) : TDataSet(AOwner) {}
    ~TCustomSQLiteDataSet() override;
    std::string_view ClassName() const override { return "TCustomSQLiteDataSet"; }

    // The database file. A relative name is resolved against the base
    // directory. Changing it closes an open data set.
    const std::string& GetDatabaseName() const { return FDatabaseName; }
    void SetDatabaseName(const std::string& Value);
    // The folder a relative DatabaseName is relative to; empty (the default)
    // means the current directory. Not published: the form reader sets it
    // to the form file's folder (IBaseDirectory). Takes effect at the next
    // open.
    const std::string& GetBaseDirectory() const { return FBaseDirectory; }
    void SetBaseDirectory(const std::string& Value) override { FBaseDirectory = Value; }
    // The file that opening uses: DatabaseName resolved against the base
    // directory.
    std::string GetDatabasePath() const;
    // How long a statement waits for another connection's lock before it
    // fails with "database is locked", in milliseconds; 0 fails at once.
    // Takes effect at the next open.
    int GetBusyTimeout() const { return FBusyTimeout; }
    void SetBusyTimeout(int Milliseconds) { FBusyTimeout = Milliseconds < 0 ? 0 : Milliseconds; }

protected:
    // Whether the connection is opened read-only (queries) or read-write.
    virtual bool OpensReadOnly() const = 0;
    // Reads every record over the open connection.
    virtual TDataSetContents ReadContents() = 0;

    TDataSetContents InternalOpen() override;
    void InternalClose(TRecordStore&& Records) override;
    std::optional<TDataSetContents> InternalRefresh() override;

    // The open connection (nullptr while closed).
    sqlite3* Connection() const { return FConnection.get(); }
    // Raises EDatabaseError: "<data set>: <What>: <SQLite's last message>".
    [[noreturn]] void SQLiteError(const std::string& What) const;
    // Closes the data set because its definition changed (called by the
    // setters of derived classes).
    void DefinitionChanged();

private:
    struct TConnectionCloser {
        void operator()(sqlite3* Db) const;
    };
    std::unique_ptr<sqlite3, TConnectionCloser> FConnection;
    std::string FDatabaseName;
    std::string FBaseDirectory;
    int FBusyTimeout = DefaultBusyTimeout;
};

}  // namespace pv
