#include "platform/db/DataSet.h"
#include "platform/rtl/Strings.h"

#include <algorithm>

#include "platform/db/DBError.h"
#include "platform/db/DataSource.h"
#include "platform/db/NotifyList.h"
#include "platform/rtl/TypInfo.h"
#include "platform/rtl/Verify.h"

namespace pv {

namespace {

bool Editing(TDataSetState S) { return S == TDataSetState::dsEdit || S == TDataSetState::dsInsert; }

}  // namespace

const TClassInfo& TDataSet::StaticClassInfo() {
    static const TClassInfo Info{"TDataSet", &TComponent::StaticClassInfo(), {}};
    return Info;
}
const TClassInfo* TDataSet::ClassInfo() const { return &StaticClassInfo(); }

TDataSet::~TDataSet() { Destroying(); }

void TDataSet::BeforeDestruction() noexcept {
    // Closed through the back end while it is still whole, so it can keep
    // or release what it read. Links first see the data set close (while
    // their data sources still name it), then the data sources let go of
    // it. Nothing here may raise, so errors of handlers are dropped.
    if (GetActive()) {
        FVisitedNo = 0;
        FVisitedBuffer = nullptr;
        FState = TDataSetState::dsInactive;
        FBuffer = {};
        FChanged.clear();
        FModified = false;
        TRecordStore Closing = std::move(FRecords);
        FRecords = {};
        FFields.clear();
        FCurrent = 0;
        FBof = FEof = true;
        try {
            InternalClose(std::move(Closing));
        } catch (...) {
        }
        detail::NotifyEach(FDataSources, AliveToken(), detail::TNotifyErrors::neDrop,
                           [](TDataSource& S) { S.UpdateLinks(true); });
    }
    // Each data source takes itself out of the list.
    while (!FDataSources.empty()) {
        TDataSource* S = FDataSources.back();
        S->DataSetDestroying(*this);
        PV_VERIFY(FDataSources.empty() || FDataSources.back() != S,
                  DescribeComponent(S) + " did not let go of the data set " + DescribeComponent(this));
    }
    TComponent::BeforeDestruction();
}

void TDataSet::DatabaseError(const std::string& Message) const {
    throw EDatabaseError((GetName().empty() ? std::string(ClassName()) : GetName()) + ": " + Message);
}

void TDataSet::CheckRecordLimit(std::size_t Found, bool AtLeast) const {
    if (FRecordLimit == 0 || Found <= FRecordLimit) return;
    const std::string Name = GetName().empty() ? std::string(ClassName()) : GetName();
    throw ERecordLimitExceeded(Name + ": the data holds " + (AtLeast ? "more than " + std::to_string(Found - 1)
                                                                      : std::to_string(Found)) +
                                   " records; at most " + std::to_string(FRecordLimit) + " are read",
                               FRecordLimit, Found, AtLeast);
}

void TDataSet::CheckActive() const {
    if (!GetActive()) DatabaseError("cannot perform this operation on a closed data set");
}

void TDataSet::CheckNotVisiting() const {
    if (FVisitedNo != 0) DatabaseError("cannot move, edit, open or close the data set while its records are being read");
}

void TDataSet::CheckCanModify() const {
    if (!GetCanModify()) DatabaseError("cannot modify a read-only data set");
}

void TDataSet::NotifySources(const std::function<void(TDataSource&)>& Notify) {
    detail::NotifyEach(FDataSources, AliveToken(), detail::TNotifyErrors::neRethrowFirst, Notify);
}

void TDataSet::DataEvent(TDataEvent Event, TDataEventInfo Info) {
    NotifySources([&](TDataSource& S) { S.DataEvent(Event, Info); });
}

// Open and close

void TDataSet::SetActive(bool Value) {
    if (HasState(csLoading)) {
        FStreamedActive = Value;
        return;
    }
    if (Value == GetActive()) return;
    if (Value)
        OpenCursor();
    else
        CloseCursor();
}

void TDataSet::Loaded() {
    TComponent::Loaded();
    if (FStreamedActive) {
        FStreamedActive = false;
        SetActive(true);
    }
}

bool TDataSet::SetContents(TDataSetContents&& Contents) {
    CheckRecordLimit(Contents.RecordCount(), false);
    const std::size_t N = Contents.FieldDefs.size();
    if (!Contents.Records.empty() && !Contents.Columns.Empty())
        DatabaseError("the back end handed over records both as records and as columns");
    if (Contents.Records.empty() && Contents.Columns.FieldCount() != N && !Contents.Columns.Empty())
        DatabaseError("the back end handed over " + std::to_string(Contents.Columns.FieldCount()) +
                      " columns for " + std::to_string(N) + " fields");
    for (std::size_t I = 0; I < Contents.Records.size(); ++I)
        if (Contents.Records[I].Values.size() != N)
            DatabaseError("record " + std::to_string(I + 1) + " has " +
                          std::to_string(Contents.Records[I].Values.size()) + " values for " + std::to_string(N) +
                          " fields");
    const bool SameLayout = FFields.size() == N && std::equal(FFields.begin(), FFields.end(),
                                                              Contents.FieldDefs.begin(), [](auto& F, auto& D) {
                                                                  return F->FDef == D;
                                                              });
    if (!SameLayout) {
        FFields.clear();
        for (std::size_t I = 0; I < N; ++I)
            FFields.emplace_back(new TField(this, static_cast<int>(I), std::move(Contents.FieldDefs[I])));
    }
    if (!Contents.Records.empty())
        FRecords = TRecordStore::FromRecords(std::move(Contents.Records), N);
    else if (Contents.Columns.FieldCount() == N)
        FRecords = std::move(Contents.Columns);
    else
        FRecords = TRecordStore(N);
    return !SameLayout;
}

void TDataSet::OpenCursor() {
    CheckNotVisiting();
    TDataSetContents Contents = InternalOpen();
    try {
        SetContents(std::move(Contents));
    } catch (...) {
        FFields.clear();
        FRecords = {};
        // SetContents refuses before it takes anything: a back end that
        // keeps its data in memory gets its records back.
        InternalClose(Contents.Records.empty()
                          ? std::move(Contents.Columns)
                          : TRecordStore::FromRecords(std::move(Contents.Records), Contents.FieldDefs.size()));
        throw;
    }
    FCurrent = 0;
    FBof = true;
    FEof = FRecords.Empty();
    FState = TDataSetState::dsBrowse;
    NotifySources([](TDataSource& S) { S.UpdateLinks(); });
}

void TDataSet::CloseCursor() {
    CheckNotVisiting();
    FState = TDataSetState::dsInactive;
    FBuffer = {};
    FChanged.clear();
    FModified = false;
    TRecordStore Closing = std::move(FRecords);
    FRecords = {};
    FFields.clear();
    FCurrent = 0;
    FBof = FEof = true;
    InternalClose(std::move(Closing));
    NotifySources([](TDataSource& S) { S.UpdateLinks(); });
}

void TDataSet::Refresh() {
    CheckActive();
    CheckNotVisiting();
    CheckBrowseMode();
    std::optional<TDataSetContents> Contents;
    try {
        Contents = InternalRefresh();
        if (Contents) CheckRecordLimit(Contents->RecordCount(), false);
    } catch (const ERecordLimitExceeded&) {
        // The records of before no longer show the data: none are kept.
        Close();
        throw;
    }
    bool LayoutChanged = false;
    if (Contents) {
        LayoutChanged = SetContents(std::move(*Contents));
        FCurrent = std::clamp(FCurrent, 0, std::max(0, GetRecordCount() - 1));
        FBof = FEof = false;
    }
    auto Alive = AliveToken();
    if (LayoutChanged) DataEvent(TDataEvent::deLayoutChange);
    if (!Alive.expired()) DataEvent(TDataEvent::deDataSetChange);
}

// Fields

TField* TDataSet::GetField(int Index) const {
    if (Index < 0 || Index >= GetFieldCount())
        DatabaseError("field index " + std::to_string(Index) + " is out of range 0.." +
                      std::to_string(GetFieldCount() - 1));
    return FFields[static_cast<std::size_t>(Index)].get();
}

TField* TDataSet::FindField(std::string_view Name) const {
    for (auto& F : FFields)
        if (SameText(F->GetFieldName(), Name)) return F.get();
    return nullptr;
}

TField& TDataSet::FieldByName(std::string_view Name) const {
    TField* F = FindField(Name);
    if (!F)
        DatabaseError("field \"" + std::string(Name) + "\" not found" +
                      (GetActive() ? std::string() : std::string(" (the data set is closed)")));
    return *F;
}

TFieldValue TDataSet::ActiveValue(int FieldIndex) const {
    const TRecordBuffer* R = FVisitedNo != 0 ? FVisitedBuffer : Editing(FState) ? &FBuffer : nullptr;
    const auto F = static_cast<std::size_t>(FieldIndex);
    if (R) return FieldIndex < 0 || F >= R->Values.size() ? TFieldValue() : R->Values[F];
    const std::size_t Row = FVisitedNo != 0 ? FVisitedRow : static_cast<std::size_t>(FCurrent);
    if (FieldIndex < 0 || F >= FRecords.FieldCount() || Row >= FRecords.Size()) return NullValue;
    return FRecords.Value(Row, F);
}

bool TDataSet::ActiveIsNull(int FieldIndex) const {
    const TRecordBuffer* R = FVisitedNo != 0 ? FVisitedBuffer : Editing(FState) ? &FBuffer : nullptr;
    const auto F = static_cast<std::size_t>(FieldIndex);
    if (R) return FieldIndex < 0 || F >= R->Values.size() || std::holds_alternative<std::monostate>(R->Values[F]);
    const std::size_t Row = FVisitedNo != 0 ? FVisitedRow : static_cast<std::size_t>(FCurrent);
    if (FieldIndex < 0 || F >= FRecords.FieldCount() || Row >= FRecords.Size()) return true;
    return FRecords.IsNull(Row, F);
}

void TDataSet::SetFieldValue(TField& Field, const TFieldValue& Value) {
    CheckNotVisiting();
    if (!Editing(FState))
        DatabaseError("field \"" + Field.GetFieldName() +
                      "\" cannot be set: the data set is not in edit or insert mode");
    TFieldValue Converted = Field.Convert(Value);
    const auto I = static_cast<std::size_t>(Field.GetIndex());
    FBuffer.Values[I] = std::move(Converted);
    FChanged[I] = true;
    FModified = true;
    DataEvent(TDataEvent::deFieldChange, {&Field, 0});
}

int TDataSet::CurrentRecordNumber() const {
    if (FVisitedNo != 0) return FVisitedNo;
    if (FState == TDataSetState::dsInsert) return FInsertAt + 1;
    return GetRecNo();
}

// Navigation

void TDataSet::CheckBrowseMode() {
    if (!Editing(FState)) return;
    if (FModified)
        Post();
    else
        Cancel();
}

void TDataSet::MoveTo(int Index, bool SetBof, bool SetEof) {
    const int Distance = Index - FCurrent;
    FCurrent = Index;
    FBof = SetBof;
    FEof = SetEof;
    if (Distance != 0) DataEvent(TDataEvent::deDataSetScroll, {nullptr, Distance});
}

void TDataSet::First() {
    CheckActive();
    CheckNotVisiting();
    CheckBrowseMode();
    MoveTo(0, true, false);
}

void TDataSet::Last() {
    CheckActive();
    CheckNotVisiting();
    CheckBrowseMode();
    MoveTo(std::max(0, GetRecordCount() - 1), false, true);
}

int TDataSet::MoveBy(int Distance) {
    CheckActive();
    CheckNotVisiting();
    CheckBrowseMode();
    if ((Distance > 0 && !GetEof()) || (Distance < 0 && !GetBof())) {
        const long long Last = GetRecordCount() - 1;
        long long Target = static_cast<long long>(FCurrent) + Distance;
        bool Bof = false, Eof = false;
        if (Target > Last) {
            Target = Last;
            Eof = true;
        }
        if (Target < 0) {
            Target = 0;
            Bof = true;
        }
        const int Moved = static_cast<int>(Target) - FCurrent;
        MoveTo(static_cast<int>(Target), Bof, Eof);
        return Moved;
    }
    return 0;
}

void TDataSet::SetRecNo(int Value) {
    CheckActive();
    CheckNotVisiting();
    CheckBrowseMode();
    if (Value < 1 || Value > GetRecordCount())
        DatabaseError("record number " + std::to_string(Value) +
                      (IsEmpty() ? std::string(" does not exist: the data set has no records")
                                 : " is out of range 1.." + std::to_string(GetRecordCount())));
    MoveTo(Value - 1, false, false);
}

// Editing

void TDataSet::SetState(TDataSetState Value) {
    FState = Value;
    DataEvent(TDataEvent::deUpdateState);
}

void TDataSet::Edit() {
    CheckActive();
    CheckNotVisiting();
    if (Editing(FState)) return;
    CheckCanModify();
    if (FRecords.Empty()) {
        Insert();
        return;
    }
    FBuffer = FRecords.Record(static_cast<std::size_t>(FCurrent));
    FChanged.assign(FFields.size(), false);
    FModified = false;
    SetState(TDataSetState::dsEdit);
}

void TDataSet::BeginInsert(int Position) {
    FBuffer = TRecordBuffer{std::vector<TFieldValue>(FFields.size()), 0};
    FChanged.assign(FFields.size(), false);
    FModified = false;
    FInsertAt = Position;
    FBof = FEof = false;
    SetState(TDataSetState::dsInsert);
}

void TDataSet::Insert() {
    CheckActive();
    CheckNotVisiting();
    CheckCanModify();
    CheckBrowseMode();
    BeginInsert(FRecords.Empty() ? 0 : FCurrent);
}

void TDataSet::Append() {
    CheckActive();
    CheckNotVisiting();
    CheckCanModify();
    CheckBrowseMode();
    BeginInsert(GetRecordCount());
}

void TDataSet::Post() {
    CheckActive();
    CheckNotVisiting();
    if (!Editing(FState)) DatabaseError("cannot post: the data set is not in edit or insert mode");
    auto Alive = AliveToken();
    DataEvent(TDataEvent::deUpdateRecord);
    // A handler may have destroyed the data set, or posted or cancelled
    // the edit itself; then there is nothing left to post.
    if (Alive.expired() || !Editing(FState)) return;
    const TPostMode Mode = FState == TDataSetState::dsEdit ? TPostMode::pmEdit : TPostMode::pmInsert;
    // The back end works on a copy, so a refused post leaves the pending
    // edit exactly as it was.
    TRecordBuffer Written = FBuffer;
    InternalPost(Written, FChanged, Mode);
    if (Mode == TPostMode::pmEdit) {
        FRecords.SetRecord(static_cast<std::size_t>(FCurrent), Written);
    } else {
        FRecords.InsertRecord(static_cast<std::size_t>(FInsertAt), Written);
        FCurrent = FInsertAt;
    }
    FBuffer = {};
    FChanged.clear();
    FModified = false;
    FBof = FEof = false;
    FState = TDataSetState::dsBrowse;
    NotifyBackInBrowse(Alive, true);
}

void TDataSet::NotifyBackInBrowse(const std::weak_ptr<const void>& Alive, bool StateChanged) {
    // The data-change notice goes out even when a state handler raises, and
    // the first exception is raised after it; nothing is sent once a handler
    // has destroyed the data set.
    std::exception_ptr First;
    if (StateChanged) try {
            DataEvent(TDataEvent::deUpdateState);
        } catch (...) {
            First = std::current_exception();
        }
    if (!Alive.expired()) DataEvent(TDataEvent::deDataSetChange);
    if (First) std::rethrow_exception(First);
}

void TDataSet::Cancel() {
    CheckNotVisiting();
    if (!Editing(FState)) return;
    FBuffer = {};
    FChanged.clear();
    FModified = false;
    FState = TDataSetState::dsBrowse;
    auto Alive = AliveToken();
    NotifyBackInBrowse(Alive, true);
}

void TDataSet::Delete() {
    CheckActive();
    CheckNotVisiting();
    CheckCanModify();
    if (FState == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    if (FRecords.Empty()) DatabaseError("cannot delete: the data set has no records");
    InternalDelete(FRecords.Record(static_cast<std::size_t>(FCurrent)));
    const bool WasEditing = FState == TDataSetState::dsEdit;
    FBuffer = {};
    FChanged.clear();
    FModified = false;
    FState = TDataSetState::dsBrowse;
    FRecords.EraseRecord(static_cast<std::size_t>(FCurrent));
    FCurrent = std::min(FCurrent, std::max(0, GetRecordCount() - 1));
    FBof = FEof = false;
    auto Alive = AliveToken();
    NotifyBackInBrowse(Alive, WasEditing);
}

void TDataSet::ReplaceRecords(std::vector<TRecordBuffer>&& NewRecords) {
    CheckActive();
    CheckNotVisiting();
    for (std::size_t I = 0; I < NewRecords.size(); ++I)
        if (NewRecords[I].Values.size() != FFields.size())
            DatabaseError("record " + std::to_string(I + 1) + " has " + std::to_string(NewRecords[I].Values.size()) +
                          " values for " + std::to_string(FFields.size()) + " fields");
    const bool WasEditing = Editing(FState);
    FBuffer = {};
    FChanged.clear();
    FModified = false;
    FState = TDataSetState::dsBrowse;
    FRecords = TRecordStore::FromRecords(std::move(NewRecords), FFields.size());
    FCurrent = 0;
    FBof = true;
    FEof = FRecords.Empty();
    auto Alive = AliveToken();
    NotifyBackInBrowse(Alive, WasEditing);
}

// Reading

void TDataSet::ForEachRecord(const std::function<void(int RecNo)>& Visit) {
    if (!GetActive()) return;
    // The records in order, the pending edit as it stands: the edited
    // record reads the edit buffer, a record being inserted is visited at
    // its place. The records cannot change during the visit.
    const bool Inserting = FState == TDataSetState::dsInsert;
    const bool EditingRecord = FState == TDataSetState::dsEdit;
    const std::size_t Count = FRecords.Size() + (Inserting ? 1 : 0);
    const auto InsertAt = static_cast<std::size_t>(FInsertAt);
    const auto Current = static_cast<std::size_t>(FCurrent);

    // Restores the previous view also when Visit raises, and allows nested
    // visits (a chart reading two series of one data set).
    struct TRestore {
        TDataSet* Self;
        std::weak_ptr<const void> Alive;
        int VisitedNo;
        const TRecordBuffer* Buffer;
        std::size_t Row;
        ~TRestore() {
            if (Alive.expired()) return;
            Self->FVisitedNo = VisitedNo;
            Self->FVisitedBuffer = Buffer;
            Self->FVisitedRow = Row;
        }
    } Restore{this, AliveToken(), FVisitedNo, FVisitedBuffer, FVisitedRow};

    for (std::size_t I = 0; I < Count; ++I) {
        const bool OnBuffer = (Inserting && I == InsertAt) || (EditingRecord && I == Current);
        FVisitedBuffer = OnBuffer ? &FBuffer : nullptr;
        FVisitedRow = Inserting && I > InsertAt ? I - 1 : I;
        FVisitedNo = static_cast<int>(I) + 1;
        Visit(FVisitedNo);
    }
}

bool TDataSet::ReadNumbers(const TField& Field, std::vector<double>& Values) const {
    if (FState != TDataSetState::dsBrowse || FVisitedNo != 0 || Field.GetDataSet() != this) return false;
    const auto F = static_cast<std::size_t>(Field.GetIndex());
    if (F >= FRecords.FieldCount()) return false;
    return FRecords.ReadNumbers(F, Values);
}

}  // namespace pv
