#pragma once
// TDataLink: how a chart, a control or a component follows a data source.
//
// A link is not a component; its owner creates and deletes it. It attaches
// to one data source and is active while that data source is enabled and has
// an open data set. The database layer calls its virtual operations:
//
// - ActiveChanged on every change of the active state: the data set opens or
//   closes; the link is given a data source with an open data set, or taken
//   from one (switching between two open ones is both: off, then on); the
//   data source gets or loses an open data set, or is enabled or disabled;
//   the data source or the data set is destroyed. A link whose data source
//   is given another data set is told even when it stays inactive, since
//   the data set it follows has changed; GetDataSet() already returns the
//   new one during the call.
// - UpdateData at the start of every Post, so the link can write pending
//   edits into the record.
// - DataSetScrolled when the cursor moves, RecordChanged(field) when a field
//   of the current record is set, DataSetChanged after a post, delete,
//   cancel or refresh, EditingChanged when the edit state changes,
//   LayoutChanged when the fields change.
//
// Only active links get the data events. Every operation defaults to
// nothing. A handler may destroy the link itself, other links, the data
// source or the data set; nothing of the destroyed object is touched after.

#include <memory>

#include "platform/rtl/Component.h"

namespace pv {

class TDataSet;
class TDataSource;
class TField;
enum class TDataEvent : std::uint8_t;
struct TDataEventInfo;

class TDataLink {
public:
    TDataLink() = default;
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;
    // Detaches from the data source without calling any operation.
    virtual ~TDataLink();

    TDataSource* GetDataSource() const { return FDataSource.get(); }
    // Attaches the link to Value (nullptr: to none). The old data source is
    // left first: during an ActiveChanged caused by leaving it, the link
    // already has no data source. Setting the data source the link has
    // changes nothing and calls nothing. If a handler raises, the link is
    // still attached to Value and the first exception is raised after.
    void SetDataSource(TDataSource* Value);
    // The data source's data set, or nullptr.
    TDataSet* GetDataSet() const;
    // Whether the link has an enabled data source with an open data set.
    bool GetActive() const { return FActive; }

    // Marks a link that belongs to a control showing data. The flag is kept
    // for the link's owner; the database layer treats every link alike.
    // Default false.
    bool GetVisualControl() const { return FVisualControl; }
    void SetVisualControl(bool Value) { FVisualControl = Value; }

protected:
    virtual void ActiveChanged() {}
    virtual void UpdateData() {}
    virtual void DataSetChanged() {}
    // Distance: how many records the cursor moved, negative backwards.
    virtual void DataSetScrolled(int Distance) { (void)Distance; }
    // Field: the field that was set (valid during the call).
    virtual void RecordChanged(TField* Field) { (void)Field; }
    virtual void EditingChanged() {}
    virtual void LayoutChanged() {}

private:
    friend class TDataSource;
    // Recomputes the active state; calls ActiveChanged when it changed.
    void UpdateState();
    void DataEvent(TDataEvent Event, const TDataEventInfo& Info);

    TComponentPtr<TDataSource> FDataSource;
    // Lives as long as the link, so SetDataSource can tell whether a
    // handler destroyed it.
    std::shared_ptr<const void> FAlive = std::make_shared<int>(0);
    bool FActive = false;
    bool FVisualControl = false;
};

}  // namespace pv
