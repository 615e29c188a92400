#include "platform/db/DataLink.h"

#include <exception>

#include "platform/db/DataSource.h"

namespace pv {

TDataLink::~TDataLink() {
    if (TDataSource* S = FDataSource.get()) S->RemoveLink(this);
}

TDataSet* TDataLink::GetDataSet() const {
    TDataSource* S = FDataSource.get();
    return S ? S->GetDataSet() : nullptr;
}

void TDataLink::SetDataSource(TDataSource* Value) {
    if (Value == FDataSource.get()) return;
    // Handlers may destroy this link or the new data source while the link
    // leaves the old one; both are checked before the next step.
    std::weak_ptr<const void> Alive = FAlive;
    TComponentPtr<TDataSource> Next(Value);
    std::exception_ptr First;
    if (TDataSource* Old = FDataSource.get()) {
        Old->RemoveLink(this);
        FDataSource.reset();
        try {
            UpdateState();
        } catch (...) {
            First = std::current_exception();
        }
    }
    if (!Alive.expired() && Next) {
        Next->AddLink(this);
        FDataSource = Next.get();
        try {
            UpdateState();
        } catch (...) {
            if (!First) First = std::current_exception();
        }
    }
    if (First) std::rethrow_exception(First);
}

void TDataLink::UpdateState() {
    TDataSource* S = FDataSource.get();
    const bool Now = S && S->GetState() != TDataSetState::dsInactive;
    if (Now == FActive) return;
    FActive = Now;
    ActiveChanged();
}

void TDataLink::DataEvent(TDataEvent Event, const TDataEventInfo& Info) {
    switch (Event) {
        case TDataEvent::deFieldChange: RecordChanged(Info.Field); break;
        case TDataEvent::deDataSetChange: DataSetChanged(); break;
        case TDataEvent::deDataSetScroll: DataSetScrolled(Info.Distance); break;
        case TDataEvent::deLayoutChange: LayoutChanged(); break;
        case TDataEvent::deUpdateRecord: UpdateData(); break;
        case TDataEvent::deUpdateState: EditingChanged(); break;
    }
}

}  // namespace pv
