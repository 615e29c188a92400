#include "platform/db/MemDataSet.h"
#include "platform/rtl/Strings.h"

#include <algorithm>
#include <array>

#include "platform/db/internal/DataSetProps.h"
#include "platform/rtl/TypInfo.h"

namespace pv {

namespace {

using dbprops::StringsOf;

std::string Quote(const std::string& S) {
    std::string R = "\"";
    for (char C : S) {
        if (C == '"') R += '"';
        R += C;
    }
    return R + "\"";
}

// One value of a record line: its text, whether it was quoted, and whether
// it was there at all (an empty unquoted value is null).
struct TCell {
    std::string Text;
    bool Quoted = false;
};

// Splits a record line at commas outside quotes. Returns false with Error
// set for an unterminated quote or text after a closing quote.
bool SplitRecordLine(std::string_view Line, std::vector<TCell>& Cells, std::string& Error) {
    Cells.clear();
    std::size_t I = 0;
    while (true) {
        TCell Cell;
        if (I < Line.size() && Line[I] == '"') {
            Cell.Quoted = true;
            ++I;
            while (true) {
                if (I >= Line.size()) {
                    Error = "a quoted value has no closing quote";
                    return false;
                }
                if (Line[I] == '"') {
                    if (I + 1 < Line.size() && Line[I + 1] == '"') {
                        Cell.Text += '"';
                        I += 2;
                        continue;
                    }
                    ++I;
                    break;
                }
                Cell.Text += Line[I++];
            }
            if (I < Line.size() && Line[I] != ',') {
                Error = "text follows the closing quote of value " + std::to_string(Cells.size() + 1);
                return false;
            }
        } else {
            const std::size_t End = std::min(Line.find(',', I), Line.size());
            Cell.Text = std::string(Line.substr(I, End - I));
            I = End;
        }
        Cells.push_back(std::move(Cell));
        if (I >= Line.size()) return true;
        ++I;  // the comma
    }
}

const TMemDataSet& M(const TObject& O) { return static_cast<const TMemDataSet&>(O); }
TMemDataSet& M(TObject& O) { return static_cast<TMemDataSet&>(O); }

const std::array<TPropInfo, 3> MemDataSetProps{{
    {"FieldDefs", TTypeKind::tkClass, nullptr, "TStrings",
     [](const TObject& O) -> TPropValue { return static_cast<TObject*>(M(O).GetFieldDefsList()); },
     [](TObject& O, const TPropValue& V) { M(O).SetFieldDefsList(StringsOf(V)); }},
    {"Records", TTypeKind::tkClass, nullptr, "TStrings",
     [](const TObject& O) -> TPropValue { return static_cast<TObject*>(M(O).GetRecordsList()); },
     [](TObject& O, const TPropValue& V) { M(O).SetRecordsList(StringsOf(V)); }},
    {"Active", TTypeKind::tkBoolean, nullptr, {},
     [](const TObject& O) -> TPropValue { return M(O).GetActive(); },
     [](TObject& O, const TPropValue& V) { M(O).SetActive(std::get<bool>(V)); }},
}};

}  // namespace

const TClassInfo& TMemDataSet::StaticClassInfo() {
    static const TClassInfo Info{"TMemDataSet", &TDataSet::StaticClassInfo(), MemDataSetProps};
    return Info;
}
const TClassInfo* TMemDataSet::ClassInfo() const { return &StaticClassInfo(); }

TMemDataSet::TMemDataSet(TComponent* AOwner)
    : TDataSet(AOwner), FFieldDefsList(std::make_unique<TStringList>()), FRecordsList(std::make_unique<TStringList>()) {
    FFieldDefsList->OnChange = TNotifyEvent([this](TObject*) { FieldDefsListChanged(); }, this);
    FRecordsList->OnChange = TNotifyEvent([this](TObject*) { RecordsListChanged(); }, this);
}

// The lists' handlers point at this object; they must not fire once it is
// half gone.
TMemDataSet::~TMemDataSet() {
    Destroying();
    FFieldDefsList->OnChange = {};
    FRecordsList->OnChange = {};
}

TDataSetContents TMemDataSet::InternalOpen() { return TDataSetContents{FFieldDefs, std::move(FRows)}; }

void TMemDataSet::InternalClose(TRecordStore&& Records) { FRows = Records.TakeRecords(); }

void TMemDataSet::AddField(const std::string& Name, TFieldType DataType) {
    if (GetActive()) DatabaseError("cannot add field \"" + Name + "\" while the data set is open");
    if (Name.empty()) DatabaseError("a field needs a name");
    for (const TFieldDef& D : FFieldDefs)
        if (SameText(D.Name, Name)) DatabaseError("field \"" + Name + "\" already exists");
    FFieldDefs.push_back({Name, DataType});
    for (TRecordBuffer& R : FRows) R.Values.emplace_back();
}

void TMemDataSet::ClearFields() {
    Close();
    FFieldDefs.clear();
    FRows.clear();
}

TRecordBuffer TMemDataSet::ConvertRecord(const std::vector<TFieldValue>& Values) const {
    if (Values.size() > FFieldDefs.size())
        DatabaseError("a record of " + std::to_string(Values.size()) + " values does not fit " +
                      std::to_string(FFieldDefs.size()) + " fields");
    TRecordBuffer R{std::vector<TFieldValue>(FFieldDefs.size()), 0};
    for (std::size_t I = 0; I < Values.size(); ++I) {
        const char* Expected = "";
        if (!ConvertToType(Values[I], FFieldDefs[I].DataType, R.Values[I], Expected))
            DatabaseError("field \"" + FFieldDefs[I].Name + "\" of record " +
                          std::to_string(GetActive() ? GetRecordCount() + 1 : static_cast<int>(FRows.size()) + 1) +
                          ": " + ValueForMessage(Values[I]) + " is not " + Expected);
    }
    return R;
}

void TMemDataSet::AppendRecord(const std::vector<TFieldValue>& Values) {
    TRecordBuffer R = ConvertRecord(Values);
    if (!GetActive()) {
        FRows.push_back(std::move(R));
        return;
    }
    Append();
    try {
        for (int I = 0; I < GetFieldCount(); ++I)
            if (!std::holds_alternative<std::monostate>(R.Values[static_cast<std::size_t>(I)]))
                GetField(I)->SetValue(R.Values[static_cast<std::size_t>(I)]);
        Post();
    } catch (...) {
        Cancel();
        throw;
    }
}

void TMemDataSet::EmptyDataSet() {
    if (!GetActive()) {
        FRows.clear();
        return;
    }
    ReplaceRecords({});
}

// The form's view

TStrings* TMemDataSet::GetFieldDefsList() const {
    FSyncing = true;
    FFieldDefsList->BeginUpdate();
    FFieldDefsList->Clear();
    for (const TFieldDef& D : FFieldDefs) FFieldDefsList->Add(D.Name + "=" + std::string(FieldTypeName(D.DataType)));
    FFieldDefsList->EndUpdate();
    FSyncing = false;
    return FFieldDefsList.get();
}

TStrings* TMemDataSet::GetRecordsList() const {
    FSyncing = true;
    FRecordsList->BeginUpdate();
    FRecordsList->Clear();
    auto Add = [&](std::size_t Fields, auto&& ValueOf) {
        std::string Line;
        for (std::size_t I = 0; I < Fields; ++I) {
            if (I > 0) Line += ',';
            const TFieldValue V = ValueOf(I);
            if (std::holds_alternative<std::string>(V))
                Line += Quote(std::get<std::string>(V));
            else
                Line += ValueToString(V);
        }
        FRecordsList->Add(Line);
    };
    if (GetActive()) {
        const TRecordStore& Rows = Records();
        for (std::size_t R = 0; R < Rows.Size(); ++R)
            Add(Rows.FieldCount(), [&](std::size_t I) { return Rows.Value(R, I); });
    } else {
        for (const TRecordBuffer& R : FRows) Add(R.Values.size(), [&](std::size_t I) { return R.Values[I]; });
    }
    FRecordsList->EndUpdate();
    FSyncing = false;
    return FRecordsList.get();
}

void TMemDataSet::SetFieldDefsList(const TStrings* Value) {
    FFieldDefsList->AssignLines(Value);
}

void TMemDataSet::SetRecordsList(const TStrings* Value) {
    FRecordsList->AssignLines(Value);
}

void TMemDataSet::FieldDefsListChanged() {
    if (FSyncing) return;
    std::vector<TFieldDef> Defs;
    for (int I = 0; I < FFieldDefsList->GetCount(); ++I) {
        const std::string& Line = FFieldDefsList->Get(I);
        const std::size_t Eq = Line.find('=');
        TFieldDef D;
        if (Eq == std::string::npos || Eq == 0 || !FieldTypeFromName(std::string_view(Line).substr(Eq + 1), D.DataType))
            DatabaseError("FieldDefs line " + std::to_string(I + 1) + " '" + Line +
                          "' is not name=type with a type of ftString, ftInteger, ftFloat, ftDate, ftTime or ftDateTime");
        D.Name = Line.substr(0, Eq);
        for (const TFieldDef& Other : Defs)
            if (SameText(Other.Name, D.Name))
                DatabaseError("FieldDefs line " + std::to_string(I + 1) + ": field \"" + D.Name + "\" already exists");
        Defs.push_back(std::move(D));
    }
    if (Defs == FFieldDefs) return;
    Close();
    FFieldDefs = std::move(Defs);
    FRows.clear();
}

void TMemDataSet::RecordsListChanged() {
    if (FSyncing) return;
    std::vector<TRecordBuffer> Rows;
    std::vector<TCell> Cells;
    for (int I = 0; I < FRecordsList->GetCount(); ++I) {
        const std::string Where = "Records line " + std::to_string(I + 1);
        std::string Error;
        if (!SplitRecordLine(FRecordsList->Get(I), Cells, Error)) DatabaseError(Where + ": " + Error);
        if (Cells.size() != FFieldDefs.size())
            DatabaseError(Where + " has " + std::to_string(Cells.size()) + " values for " +
                          std::to_string(FFieldDefs.size()) + " fields");
        TRecordBuffer R{std::vector<TFieldValue>(Cells.size()), 0};
        for (std::size_t C = 0; C < Cells.size(); ++C) {
            if (!Cells[C].Quoted && Cells[C].Text.empty()) continue;  // null
            const char* Expected = "";
            if (!ConvertToType(Cells[C].Text, FFieldDefs[C].DataType, R.Values[C], Expected))
                DatabaseError(Where + ": field \"" + FFieldDefs[C].Name + "\": '" + Cells[C].Text + "' is not " +
                              Expected);
        }
        Rows.push_back(std::move(R));
    }
    if (GetActive())
        ReplaceRecords(std::move(Rows));
    else
        FRows = std::move(Rows);
}

}  // namespace pv
