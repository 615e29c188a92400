#pragma once
// TDataSet: the abstract base of every data set: its fields, its records,
// the cursor over them, the edit states, and the notices to data sources.
//
// Opening a data set reads all of its records into memory (the back end's
// InternalOpen), so navigation and reading never reach the back end again;
// only Post, Delete and Refresh do. This keeps every read cheap and every
// cursor move free of errors. The records are kept column by column
// (TRecordStore), so a big result costs about the size of its values.
//
// Observers: data sources register with the data set (TDataSource::
// SetDataSet); the data set tells them of every change of its active state
// and of every data event, and they tell their links (TDataLink). A handler
// may destroy any link, data source or the data set itself: each loop checks
// that the next object is still registered, and that the data set is still
// alive, before calling it.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/Field.h"
#include "platform/db/RecordStore.h"
#include "platform/rtl/Component.h"

namespace pv {

class TDataSource;

enum class TDataSetState : std::uint8_t {
    dsInactive,  // closed: no fields, no records
    dsBrowse,    // open; the fields show the current record
    dsEdit,      // the current record is being changed (Edit)
    dsInsert,    // a new record is being filled in (Insert, Append)
};

// What a data event tells the links (see TDataLink for the callbacks).
enum class TDataEvent : std::uint8_t {
    deFieldChange,    // a field of the current record was set: RecordChanged(field)
    deDataSetChange,  // records were posted, deleted, cancelled or refreshed: DataSetChanged
    deDataSetScroll,  // the cursor moved: DataSetScrolled(distance)
    deLayoutChange,   // the fields changed (a refresh found other columns): LayoutChanged
    deUpdateRecord,   // a post begins; links write pending edits: UpdateData
    deUpdateState,    // the edit state changed (browse, edit, insert): EditingChanged
};

struct TDataEventInfo {
    TField* Field = nullptr;  // deFieldChange: the field that was set
    int Distance = 0;         // deDataSetScroll: records moved, negative backwards
};

// What a back end hands over when it opens or refreshes: the fields and every
// record, either as Records, each with one value per field, or already column
// by column in Columns (one column per field; Records then stays empty). A
// back end that may read many records fills Columns, so that no record buffer
// per record is ever built.
struct TDataSetContents {
    std::vector<TFieldDef> FieldDefs;
    std::vector<TRecordBuffer> Records;
    TRecordStore Columns;

    std::size_t RecordCount() const { return Records.size() + Columns.Size(); }
};

class TDataSet : public TComponent {
public:
    explicit TDataSet(TComponent* AOwner) : TComponent(AOwner) {}
    // Runs the teardown step if no derived destructor did. Every data set
    // class with a back end (an InternalClose, or members its links may
    // read) calls Destroying() first in its own destructor, so that a data
    // set on the stack or deleted directly closes through its back end.
    ~TDataSet() override;

    std::string_view ClassName() const override { return "TDataSet"; }
    const TClassInfo* ClassInfo() const override;
    // A table without properties between TComponent's and the concrete data
    // sets', so that a form's "DataSet = Query1" is checked by class name.
    static const TClassInfo& StaticClassInfo();

    // Open and close. While the component is loading (csLoading), SetActive
    // only records the wanted state and Loaded applies it, after every
    // stored property is in place. Opening reads all records; an error of
    // the back end raises EDatabaseError and leaves the data set closed.
    // Closing discards a pending edit or insert.
    bool GetActive() const { return FState != TDataSetState::dsInactive; }
    void SetActive(bool Value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    // Reads the records again from the back end, keeping the record number
    // where it can; links get DataSetChanged (and LayoutChanged first when
    // the fields changed). A pending edit is posted first.
    void Refresh();
    void Loaded() override;

    TDataSetState GetState() const { return FState; }
    // Whether Edit, Insert, Append and Delete are allowed (false for queries).
    virtual bool GetCanModify() const { return false; }

    // Fields, in column order; none while closed.
    int GetFieldCount() const { return static_cast<int>(FFields.size()); }
    TField* GetField(int Index) const;
    // The field named Name, ignoring ASCII letter case as SQL does, or
    // nullptr.
    TField* FindField(std::string_view Name) const;
    // As FindField, but an unknown name raises EDatabaseError:
    // `Query1: field "revenue" not found`.
    TField& FieldByName(std::string_view Name) const;

    // Navigation. Each move first posts a pending edit (or cancels one that
    // changed nothing), then moves; links get DataSetScrolled when the
    // cursor moved. A closed data set raises EDatabaseError.
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    // Moves by Distance records, stopping at either end; returns how many
    // records it moved (negative backwards). Moving past the last record
    // sets Eof, past the first sets Bof; the cursor stays on the end record.
    int MoveBy(int Distance);
    // True after First, or after a move tried to go before the first record;
    // true for an empty or closed data set.
    bool GetBof() const { return FBof || FRecords.Empty(); }
    // True after Last, or after a move tried to go past the last record;
    // true for an empty or closed data set. `First(); while (!GetEof())
    // {...; Next();}` visits every record.
    bool GetEof() const { return FEof || FRecords.Empty(); }
    // The current record's number, from 1; 0 for an empty or closed data set.
    int GetRecNo() const { return FRecords.Empty() ? 0 : FCurrent + 1; }
    // Moves to record Value (1..RecordCount); another number raises
    // EDatabaseError naming it and the range.
    void SetRecNo(int Value);
    // The number of records (a record being inserted counts once posted); 0
    // while closed.
    int GetRecordCount() const { return static_cast<int>(FRecords.Size()); }
    bool IsEmpty() const { return FRecords.Empty(); }
    // The most records an open or refresh may read; 0 (the default): no
    // limit. A read that finds more raises ERecordLimitExceeded, naming the
    // data set, the limit and the count, and leaves the data set closed; the
    // back ends stop reading one record past the limit, so a huge result
    // costs no more memory than the limit does. Not a published property:
    // a program serving charts sets it on the data sets it reads for them.
    std::size_t GetRecordLimit() const { return FRecordLimit; }
    void SetRecordLimit(std::size_t Value) { FRecordLimit = Value; }

    // Editing. Edit copies the current record into an edit buffer (on an
    // empty data set it inserts instead); Insert starts a blank record before
    // the current one, Append after the last. Field setters then change the
    // buffer. Post calls UpdateData on every active link, writes the buffer
    // to the back end and into the records, and returns to browse; if the
    // back end refuses, EDatabaseError is raised and the edit stays pending.
    // Cancel drops the buffer. Delete removes the current record (in insert
    // mode it cancels the insert). Each raises EDatabaseError on a closed or
    // read-only data set; Post outside edit or insert mode raises too.
    void Edit();
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    // Whether a field was set since the edit or insert began.
    bool GetModified() const { return FModified; }

    // Calls Visit once for each record, in order, with the fields reading
    // that record and its number (from 1). The cursor does not move and no
    // link is called; a pending edit shows as it stands (the record being
    // edited reads its new values, a record being inserted appears at its
    // place). While Visit runs, the data set refuses to move, edit, open or
    // close. A closed data set has no records to visit.
    void ForEachRecord(const std::function<void(int RecNo)>& Visit);
    // Field's value of every record as a number, in record order, a null as
    // NaN: what ForEachRecord would read with IsNull and GetAsFloat, without
    // visiting the records. Only where no record could raise: in browse
    // mode, outside a visit, and when the field holds nothing but nulls,
    // integers and finite floats; otherwise returns false and Values is
    // unspecified (then read the records with ForEachRecord).
    bool ReadNumbers(const TField& Field, std::vector<double>& Values) const;

    // The record number that field values and their messages refer to: the
    // record being visited, else the current one (0: none).
    int CurrentRecordNumber() const;
    // Raises EDatabaseError with Message after the data set's name, or after
    // its class name when it has none.
    [[noreturn]] void DatabaseError(const std::string& Message) const;

protected:
    // Closes the data set through the back end and tells its links through
    // their data sources, then detaches every data source. Exceptions from
    // handlers are dropped: the step cannot report them.
    void BeforeDestruction() noexcept override;

protected:
    // Back-end hooks.
    // Opens the back end and reads everything; an error raises
    // EDatabaseError and must leave the back end closed.
    virtual TDataSetContents InternalOpen() = 0;
    // Releases the back end; Records are the records as they stand, for a
    // back end that keeps its data in memory.
    virtual void InternalClose(TRecordStore&& Records) { (void)Records; }
    // Reads everything again on the open back end; nullopt when the back end
    // holds nothing that could have changed (memory).
    virtual std::optional<TDataSetContents> InternalRefresh() { return std::nullopt; }
    enum class TPostMode : std::uint8_t { pmEdit, pmInsert };
    // Writes Buffer to the back end. Changed tells which fields were set
    // during the edit or insert. The back end may update Buffer (stored
    // values, the new record's key). Raising keeps the edit pending.
    virtual void InternalPost(TRecordBuffer& Buffer, const std::vector<bool>& Changed, TPostMode Mode) {
        (void)Buffer, (void)Changed, (void)Mode;
    }
    // Removes Record from the back end; raising keeps the record.
    virtual void InternalDelete(const TRecordBuffer& Record) { (void)Record; }

    // The records while open, for back ends that look at them.
    const TRecordStore& Records() const { return FRecords; }
    // For back ends whose records change outside Post and Delete: replaces
    // every record of the open data set (one value per field each),
    // dropping a pending edit; the cursor goes to the first record and links
    // get DataSetChanged.
    void ReplaceRecords(std::vector<TRecordBuffer>&& NewRecords);
    // Sends a data event to every data source, then to their active links.
    void DataEvent(TDataEvent Event, TDataEventInfo Info = {});
    // Raises EDatabaseError unless the data set is open.
    void CheckActive() const;
    // Raises ERecordLimitExceeded when Found records are over the record
    // limit; AtLeast: the back end stopped reading at Found.
    void CheckRecordLimit(std::size_t Found, bool AtLeast) const;

private:
    friend class TField;
    friend class TDataSource;

    TFieldValue ActiveValue(int FieldIndex) const;
    bool ActiveIsNull(int FieldIndex) const;
    void SetFieldValue(TField& Field, const TFieldValue& Value);
    void OpenCursor();
    void CloseCursor();
    // Takes the fields and records; true when the fields changed.
    bool SetContents(TDataSetContents&& Contents);
    void CheckNotVisiting() const;
    void CheckCanModify() const;
    void CheckBrowseMode();
    void BeginInsert(int Position);
    void SetState(TDataSetState Value);
    void MoveTo(int Index, bool SetBof, bool SetEof);
    // Tells every data source that the active or edit state changed.
    void NotifySources(const std::function<void(TDataSource&)>& Notify);
    // After a return to browse mode: deUpdateState (when StateChanged), then
    // deDataSetChange unless the data set died meanwhile.
    void NotifyBackInBrowse(const std::weak_ptr<const void>& Alive, bool StateChanged);

    TDataSetState FState = TDataSetState::dsInactive;
    bool FStreamedActive = false;
    std::size_t FRecordLimit = 0;
    std::vector<std::unique_ptr<TField>> FFields;
    TRecordStore FRecords;
    int FCurrent = 0;
    bool FBof = true;
    bool FEof = true;
    // The edit or insert buffer, which fields read and write in dsEdit and
    // dsInsert, with the fields set so far.
    TRecordBuffer FBuffer;
    std::vector<bool> FChanged;
    bool FModified = false;
    int FInsertAt = 0;
    // The record ForEachRecord is visiting: its number (0: none), and the
    // edit buffer when it is the one visited, else its place in FRecords.
    int FVisitedNo = 0;
    const TRecordBuffer* FVisitedBuffer = nullptr;
    std::size_t FVisitedRow = 0;
    // Registered data sources; each removes itself before it dies, so the
    // pointers are always live.
    std::vector<TDataSource*> FDataSources;
};

}  // namespace pv
