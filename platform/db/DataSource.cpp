#include "platform/db/DataSource.h"

#include <algorithm>
#include <array>

#include "platform/db/DBError.h"
#include "platform/db/DataLink.h"
#include "platform/db/NotifyList.h"
#include "platform/rtl/TypInfo.h"
#include "platform/rtl/Verify.h"

namespace pv {

namespace {

const TDataSource& S(const TObject& O) { return static_cast<const TDataSource&>(O); }
TDataSource& S(TObject& O) { return static_cast<TDataSource&>(O); }

void SetDataSetProp(TObject& O, const TPropValue& V) {
    TObject* Obj = std::holds_alternative<TObject*>(V) ? std::get<TObject*>(V) : nullptr;
    auto* DataSet = dynamic_cast<TDataSet*>(Obj);
    if (Obj && !DataSet) {
        const std::string Name = S(O).GetName().empty() ? std::string("TDataSource") : S(O).GetName();
        throw EDatabaseError(Name + ": DataSet cannot be a " + std::string(Obj->ClassName()) +
                             ", it must be a TDataSet");
    }
    S(O).SetDataSet(DataSet);
}

const std::array<TPropInfo, 2> DataSourceProps{{
    {"DataSet", TTypeKind::tkComponent, nullptr, "TDataSet",
     [](const TObject& O) -> TPropValue { return static_cast<TObject*>(S(O).GetDataSet()); }, SetDataSetProp},
    {"Enabled", TTypeKind::tkBoolean, nullptr, {},
     [](const TObject& O) -> TPropValue { return S(O).GetEnabled(); },
     [](TObject& O, const TPropValue& V) { S(O).SetEnabled(std::get<bool>(V)); }},
}};

}  // namespace

const TClassInfo& TDataSource::StaticClassInfo() {
    static const TClassInfo Info{"TDataSource", &TComponent::StaticClassInfo(), DataSourceProps};
    return Info;
}
const TClassInfo* TDataSource::ClassInfo() const { return &StaticClassInfo(); }

TDataSource::~TDataSource() { Destroying(); }

void TDataSource::BeforeDestruction() noexcept {
    // Links whose data set was open get ActiveChanged (seeing no data set),
    // then every link is let go without a call.
    DetachDataSet(true);
    for (TDataLink* L : FLinks) {
        L->FDataSource.reset();
        L->FActive = false;
    }
    FLinks.clear();
    TComponent::BeforeDestruction();
}

TDataSetState TDataSource::GetState() const {
    TDataSet* D = FDataSet.get();
    return (D && FEnabled && !FSwitching) ? D->GetState() : TDataSetState::dsInactive;
}

void TDataSource::DetachDataSet(bool DropErrors) {
    if (TDataSet* D = FDataSet.get()) {
        auto& List = D->FDataSources;
        List.erase(std::remove(List.begin(), List.end(), this), List.end());
        RemoveFreeNotification(D);
    }
    FDataSet.reset();
    UpdateLinks(DropErrors);
}

void TDataSource::SetDataSet(TDataSet* Value) {
    if (Value == FDataSet.get()) return;
    // The new data set is in place before any link hears of the change, so
    // a link that looks at the data source's data set in its handler finds
    // the new one, never the one that is leaving.
    if (TDataSet* Old = FDataSet.get()) {
        auto& List = Old->FDataSources;
        List.erase(std::remove(List.begin(), List.end(), this), List.end());
        RemoveFreeNotification(Old);
    }
    FDataSet = Value;
    if (Value) {
        Value->FDataSources.push_back(this);
        FreeNotification(Value);
    }
    // Then the links are told in rounds: while the data source reports
    // itself inactive, the links that were active go off; after, the links
    // go on if the new data set is open. Switching between two open data
    // sets is therefore both, off then on. A link that was inactive and
    // stays so is told once all the same: the data set it would follow is
    // another one now. Every round re-reads the data source's (new) data
    // set. A handler may destroy this data source.
    std::vector<TDataLink*> Inactive;
    for (TDataLink* L : FLinks)
        if (!L->GetActive()) Inactive.push_back(L);
    auto Alive = AliveToken();
    std::exception_ptr First;
    FSwitching = true;
    try {
        UpdateLinks();
    } catch (...) {
        First = std::current_exception();
    }
    if (!Alive.expired()) {
        FSwitching = false;
        try {
            UpdateLinks();
        } catch (...) {
            if (!First) First = std::current_exception();
        }
    }
    // A link that a handler destroyed has left FLinks, so it is looked up
    // there before it is touched.
    for (TDataLink* L : Inactive) {
        if (Alive.expired()) break;
        if (std::find(FLinks.begin(), FLinks.end(), L) == FLinks.end() || L->GetActive()) continue;
        try {
            L->ActiveChanged();
        } catch (...) {
            if (!First) First = std::current_exception();
        }
    }
    if (First) std::rethrow_exception(First);
}

void TDataSource::SetEnabled(bool Value) {
    if (Value == FEnabled) return;
    FEnabled = Value;
    UpdateLinks();
}

void TDataSource::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove || !AComponent || !FDataSet.Refers(AComponent)) return;
    // Removal notices come mostly from destructors (the data set's own, or
    // its owner's), which cannot pass on an error, so handler errors are
    // dropped here. A data set that is already dying has detached this data
    // source itself and is not touched.
    if (FDataSet) {
        DetachDataSet(true);
    } else {
        FDataSet.reset();
        UpdateLinks(true);
    }
}

void TDataSource::DataSetDestroying(const TDataSet& ADataSet) {
    PV_VERIFY(FDataSet.Refers(&ADataSet), DescribeComponent(&ADataSet) + " told " + DescribeComponent(this) +
                                              " that it is being destroyed, but the data source holds " +
                                              (FDataSet.Refers(nullptr) ? std::string("none")
                                                                        : std::string("another data set")));
    DetachDataSet(true);
}

void TDataSource::AddLink(TDataLink* Link) {
    if (std::find(FLinks.begin(), FLinks.end(), Link) == FLinks.end()) FLinks.push_back(Link);
}

void TDataSource::RemoveLink(TDataLink* Link) {
    auto It = std::find(FLinks.begin(), FLinks.end(), Link);
    PV_VERIFY(It != FLinks.end(),
              "a data link was detached from " + DescribeComponent(this) + " that it was not attached to");
    FLinks.erase(It);
}

void TDataSource::UpdateLinks(bool DropErrors) {
    detail::NotifyEach(FLinks, AliveToken(),
                       DropErrors ? detail::TNotifyErrors::neDrop : detail::TNotifyErrors::neRethrowFirst,
                       [](TDataLink& L) { L.UpdateState(); });
}

void TDataSource::DataEvent(TDataEvent Event, TDataEventInfo Info) {
    if (!FEnabled) return;
    detail::NotifyEach(FLinks, AliveToken(), detail::TNotifyErrors::neRethrowFirst, [&](TDataLink& L) {
        if (L.GetActive()) L.DataEvent(Event, Info);
    });
}

}  // namespace pv
