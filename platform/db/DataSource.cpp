#include "platform/db/DataSource.h"

#include <algorithm>
#include <array>

#include "platform/db/DBError.h"
#include "platform/db/DataLink.h"
#include "platform/db/NotifyList.h"
#include "platform/rtl/TypInfo.h"

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

TDataSource::~TDataSource() {
    DetachDataSet(true);
    for (TDataLink* L : FLinks) {
        L->FDataSource.reset();
        L->FActive = false;
    }
    FLinks.clear();
}

TDataSetState TDataSource::GetState() const {
    TDataSet* D = FDataSet.get();
    return (D && FEnabled) ? D->GetState() : TDataSetState::dsInactive;
}

void TDataSource::DetachDataSet(bool DropErrors) {
    if (TDataSet* D = FDataSet.get()) {
        auto& List = D->FDataSources;
        List.erase(std::remove(List.begin(), List.end(), this), List.end());
        RemoveFreeNotification(D);
    }
    FDataSet.reset();
    FDataSetId = nullptr;
    UpdateLinks(DropErrors);
}

void TDataSource::SetDataSet(TDataSet* Value) {
    if (Value == FDataSet.get()) return;
    auto Alive = AliveToken();
    // Hold the new data set by a guarded reference while the links hear of
    // the old one leaving: a handler may destroy either.
    TComponentPtr<TDataSet> Next(Value);
    std::exception_ptr First;
    if (FDataSet) {
        try {
            DetachDataSet(false);
        } catch (...) {
            First = std::current_exception();
        }
    }
    if (!Alive.expired() && Next) {
        Next->FDataSources.push_back(this);
        FDataSet = Next.get();
        FDataSetId = Next.get();
        FreeNotification(Next.get());
        try {
            UpdateLinks();
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
    if (Operation != TOperation::opRemove || !AComponent || AComponent != FDataSetId) return;
    // Removal notices come mostly from destructors (the data set's own, or
    // its owner's), which cannot pass on an error, so handler errors are
    // dropped here. A data set that is already dying has detached this data
    // source itself and is not touched.
    if (FDataSet) {
        DetachDataSet(true);
    } else {
        FDataSetId = nullptr;
        UpdateLinks(true);
    }
}

void TDataSource::DataSetDestroying() { DetachDataSet(true); }

void TDataSource::AddLink(TDataLink* Link) {
    if (std::find(FLinks.begin(), FLinks.end(), Link) == FLinks.end()) FLinks.push_back(Link);
}

void TDataSource::RemoveLink(TDataLink* Link) { FLinks.erase(std::remove(FLinks.begin(), FLinks.end(), Link), FLinks.end()); }

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
