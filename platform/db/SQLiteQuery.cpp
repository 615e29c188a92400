#include "platform/db/SQLiteQuery.h"

#include <array>

#include "platform/db/DBError.h"
#include "platform/db/SQLiteSupport.h"
#include "platform/db/internal/DataSetProps.h"
#include "platform/rtl/TypInfo.h"

namespace pv {

namespace {

using dbprops::StringsOf;
using dbprops::Blank;

const TSQLiteQuery& Q(const TObject& O) { return static_cast<const TSQLiteQuery&>(O); }
TSQLiteQuery& Q(TObject& O) { return static_cast<TSQLiteQuery&>(O); }

const std::array<TPropInfo, 4> QueryProps{{
    {"DatabaseName", TTypeKind::tkString, nullptr, {},
     [](const TObject& O) -> TPropValue { return Q(O).GetDatabaseName(); },
     [](TObject& O, const TPropValue& V) { Q(O).SetDatabaseName(std::get<std::string>(V)); }},
    {"SQL", TTypeKind::tkClass, nullptr, "TStrings",
     [](const TObject& O) -> TPropValue { return static_cast<TObject*>(Q(O).GetSQL()); },
     [](TObject& O, const TPropValue& V) { Q(O).SetSQL(StringsOf(V)); }},
    {"Params", TTypeKind::tkClass, nullptr, "TStrings",
     [](const TObject& O) -> TPropValue { return static_cast<TObject*>(Q(O).GetParams()); },
     [](TObject& O, const TPropValue& V) { Q(O).SetParams(StringsOf(V)); }},
    {"Active", TTypeKind::tkBoolean, nullptr, {},
     [](const TObject& O) -> TPropValue { return Q(O).GetActive(); },
     [](TObject& O, const TPropValue& V) { Q(O).SetActive(std::get<bool>(V)); }},
}};


}  // namespace

const TClassInfo& TSQLiteQuery::StaticClassInfo() {
    static const TClassInfo Info{"TSQLiteQuery", &TDataSet::StaticClassInfo(), QueryProps};
    return Info;
}
const TClassInfo* TSQLiteQuery::ClassInfo() const { return &StaticClassInfo(); }

TSQLiteQuery::TSQLiteQuery(TComponent* AOwner)
    : TCustomSQLiteDataSet(AOwner), FSQL(std::make_unique<TStringList>()), FParams(std::make_unique<TStringList>()) {
    FSQL->OnChange = TNotifyEvent([this](TObject*) { DefinitionChanged(); }, this);
    FParams->OnChange = TNotifyEvent([this](TObject*) { DefinitionChanged(); }, this);
}

TSQLiteQuery::~TSQLiteQuery() {
    // The teardown runs while the query is whole: links hear it close and
    // the back end closes its connection before any member is gone.
    Destroying();
    FSQL->OnChange = {};
    FParams->OnChange = {};
}

void TSQLiteQuery::SetSQL(const TStrings* Value) {
    FSQL->AssignLines(Value);
}

void TSQLiteQuery::SetParams(const TStrings* Value) {
    FParams->AssignLines(Value);
}

TDataSetContents TSQLiteQuery::ReadContents() {
    const std::string Text = FSQL->GetText();
    if (Blank(Text)) DatabaseError("cannot open: SQL is empty");
    const std::string OnDatabase = " on database \"" + GetDatabasePath() + "\"";

    sqlite3_stmt* Raw = nullptr;
    const char* Tail = nullptr;
    if (sqlite3_prepare_v2(Connection(), Text.c_str(), static_cast<int>(Text.size()), &Raw, &Tail) != SQLITE_OK)
        SQLiteError("cannot run the SQL" + OnDatabase);
    sqlite::TStatementPtr Stmt(Raw);
    if (!Stmt) DatabaseError("cannot open: SQL holds no statement");
    // A second statement is refused rather than silently skipped.
    if (Tail && !Blank(Tail)) {
        sqlite3_stmt* Next = nullptr;
        const int Rc = sqlite3_prepare_v2(Connection(), Tail, -1, &Next, nullptr);
        sqlite::TStatementPtr NextStmt(Next);
        if (Rc != SQLITE_OK || NextStmt) DatabaseError("cannot open: SQL holds more than one statement");
    }

    // Params lines by name; the first line of a name counts. A value set
    // for this read replaces the form's value of a declared parameter.
    const std::vector<TQueryParam> List = GetParamList();
    const int Count = sqlite3_bind_parameter_count(Stmt.get());
    for (int P = 1; P <= Count; ++P) {
        const char* Name = sqlite3_bind_parameter_name(Stmt.get(), P);
        if (!Name)
            DatabaseError("parameter " + std::to_string(P) + " of the SQL has no name: write :name and give " +
                          "its value in Params as name=value");
        const std::string Key = Name + 1;  // past ':', '@', '$' or '?'
        const auto [Param, Text] = ParamForRead(List, Key, Name);
        // Declared parameters bind typed; plain ones as they always did.
        std::optional<TFieldValue> Value = Param->Convert(Text);
        if (!Value)
            DatabaseError("parameter \"" + Key + "\" has the value '" + std::string(Text) + "', which is not " +
                          Param->Allowed());
        if (sqlite::BindValue(Stmt.get(), P, *Value) != SQLITE_OK)
            SQLiteError("cannot bind parameter \"" + std::string(Name) + "\"");
    }

    TDataSetContents Contents;
    if (sqlite::ReadAll(Stmt.get(), 0, Contents, GetRecordLimit()) != SQLITE_DONE)
        SQLiteError("cannot run the SQL" + OnDatabase);
    CheckRecordLimit(Contents.RecordCount(), true);
    if (sqlite3_column_count(Stmt.get()) == 0) DatabaseError("cannot open: the SQL returns no columns");
    return Contents;
}

}  // namespace pv
