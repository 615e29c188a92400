#pragma once
// TSQLiteQuery: the rows of one SQL statement on a SQLite database.
//
// The connection is opened read-only: a query reads, and a statement that
// would write fails with SQLite's "attempt to write a readonly database".
// Parameters (:name, @name or $name in the SQL) take their values from the
// Params lines "name=value", bound as text through sqlite3_bind_text, never
// pasted into the SQL, so a value is always data. SQLite's comparison rules
// still apply: a text bound against an INTEGER column compares as a number.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/db/QueryParams.h"
#include "platform/db/SQLiteDataSet.h"
#include "platform/rtl/Strings.h"

namespace pv {

class TSQLiteQuery : public TCustomSQLiteDataSet, public TRequestParams {
public:
    explicit TSQLiteQuery(TComponent* AOwner);
    ~TSQLiteQuery() override;

    std::string_view ClassName() const override { return "TSQLiteQuery"; }
    const TClassInfo* ClassInfo() const override;
    static const TClassInfo& StaticClassInfo();
    static TComponent* NewInstance(TComponent* AOwner) { return new TSQLiteQuery(AOwner); }

    // The statement, one or more lines; exactly one statement. Changing it
    // closes an open query.
    TStrings* GetSQL() const { return FSQL.get(); }
    // Copies Value's lines (nullptr empties the list).
    void SetSQL(const TStrings* Value);
    // "name=value" lines, one per parameter, name without its prefix. A
    // parameter of the SQL without a line raises EDatabaseError at open;
    // lines the SQL does not use are ignored. Changing them closes an open
    // query.
    TStrings* GetParams() const { return FParams.get(); }
    void SetParams(const TStrings* Value);

    // The parameters a request may set are declared in the Params lines
    // (see QueryParams.h); TRequestParams sets them.

protected:
    bool OpensReadOnly() const override { return true; }
    TDataSetContents ReadContents() override;
    const TStrings& ParamLines() const override { return *FParams; }
    std::string ParamOwner() const override { return GetName().empty() ? std::string(ClassName()) : GetName(); }

private:
    std::unique_ptr<TStringList> FSQL;
    std::unique_ptr<TStringList> FParams;
};

}  // namespace pv
