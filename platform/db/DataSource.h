#pragma once
// TDataSource: the connector between one data set and any number of data
// links. Links attach to a data source, never to a data set, so a form can
// switch every chart and control of a data source to another data set in
// one step.
//
// The data source refers to its data set without owning it: a guarded
// reference plus FreeNotification. When the data set dies, it detaches its
// data sources itself before it is gone (its links first learn that it
// closed); the removal notice that follows then finds nothing to drop.

#include <vector>

#include "platform/db/DataSet.h"
#include "platform/rtl/Component.h"

namespace pv {

class TDataLink;

class TDataSource : public TComponent {
public:
    explicit TDataSource(TComponent* AOwner) : TComponent(AOwner) {}
    ~TDataSource() override;

    std::string_view ClassName() const override { return "TDataSource"; }
    const TClassInfo* ClassInfo() const override;
    static const TClassInfo& StaticClassInfo();
    static TComponent* NewInstance(TComponent* AOwner) { return new TDataSource(AOwner); }

    // The data set (nullptr: none). Changing it leaves the old one and joins
    // the new one first; then every link whose active state changes gets
    // ActiveChanged, and sees the new data set in GetDataSet() (twice when
    // both data sets are open: once off, once on). Setting the data set it
    // has changes nothing.
    TDataSet* GetDataSet() const { return FDataSet.get(); }
    void SetDataSet(TDataSet* Value);
    // A disabled data source passes nothing on; its links are inactive.
    // Default true.
    bool GetEnabled() const { return FEnabled; }
    void SetEnabled(bool Value);
    // The data set's state; dsInactive without a data set or when disabled.
    TDataSetState GetState() const;

    // The attached links, in attachment order.
    int GetLinkCount() const { return static_cast<int>(FLinks.size()); }

    void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
    // Leaves the data set (links whose data set was open get ActiveChanged,
    // seeing no data set), then detaches every link without calling it.
    void BeforeDestruction() noexcept override;

private:
    friend class TDataSet;
    friend class TDataLink;

    void AddLink(TDataLink* Link);
    void RemoveLink(TDataLink* Link);
    // Brings every link's active state up to date, calling ActiveChanged on
    // those that changed.
    // With DropErrors (destructors) exceptions from handlers are dropped;
    // otherwise every link is told and the first exception is raised.
    void UpdateLinks(bool DropErrors = false);
    // A data event from the data set, passed on to the active links.
    void DataEvent(TDataEvent Event, TDataEventInfo Info);
    // ADataSet, which must be this data source's, is being destroyed: drop
    // it and update the links.
    void DataSetDestroying(const TDataSet& ADataSet);
    void DetachDataSet(bool DropErrors);

    TComponentPtr<TDataSet> FDataSet;
    bool FEnabled = true;
    // Set while SetDataSet tells the links that the old data set left: the
    // data source then reports itself inactive.
    bool FSwitching = false;
    // Attached links; each removes itself before it dies.
    std::vector<TDataLink*> FLinks;
};

}  // namespace pv
