#include "platform/dbchart/DBChart.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "platform/db/DataLink.h"
#include "platform/db/DataSource.h"

namespace pv {

// Tells the chart of every change of one data set's records.
class TDBChart::TObserverLink : public TDataLink {
public:
    TObserverLink(TDBChart& AChart, TDataSet& ADataSet) : FChart(AChart), FDataSet(&ADataSet) {}
    // Set while the link is being attached: the chart reads right after.
    bool Attaching = false;

protected:
    void ActiveChanged() override { Refresh(); }
    void DataSetChanged() override { Refresh(); }
    void RecordChanged(TField*) override { Refresh(); }
    void EditingChanged() override { Refresh(); }
    void LayoutChanged() override { Refresh(); }

private:
    void Refresh() {
        TDataSet* D = FDataSet.get();
        if (Attaching || !D) return;
        ++FChart.FCallbackDepth;
        try {
            FChart.RefreshDataSet(D);
        } catch (...) {
            --FChart.FCallbackDepth;
            throw;
        }
        --FChart.FCallbackDepth;
    }

    TDBChart& FChart;
    TComponentPtr<TDataSet> FDataSet;
};

struct TDBChart::TObserver {
    TComponentPtr<TDataSet> DataSet;
    // Destroyed in reverse order: the link leaves the data source before
    // the data source leaves the data set.
    TUniqueComponent<TDataSource> Source;
    std::unique_ptr<TObserverLink> Link;
};

TDBChart::TDBChart(TComponent* AOwner) : TCustomChart(AOwner) {}

TDBChart::~TDBChart() { Destroying(); }

void TDBChart::BeforeDestruction() noexcept {
    // The observers go first, so that nothing the series' teardown sets off
    // reaches a data set through them.
    std::vector<std::unique_ptr<TObserver>> Dropped = std::move(FObservers);
    FObservers.clear();
    for (auto& O : Dropped)
        if (TDataSet* D = O->DataSet.get()) RemoveFreeNotification(D);
    Dropped.clear();
    TCustomChart::BeforeDestruction();
}

void TDBChart::Observe(TDataSet& ADataSet) {
    for (auto& O : FObservers)
        if (O->DataSet == &ADataSet) return;
    auto O = std::make_unique<TObserver>();
    O->DataSet = &ADataSet;
    O->Source = MakeUniqueComponent<TDataSource>(nullptr);
    O->Link = std::make_unique<TObserverLink>(*this, ADataSet);
    O->Link->Attaching = true;
    O->Source->SetDataSet(&ADataSet);
    O->Link->SetDataSource(O->Source.get());
    O->Link->Attaching = false;
    FObservers.push_back(std::move(O));
    FreeNotification(&ADataSet);
}

void TDBChart::PruneObservers() {
    if (FCallbackDepth > 0) return;
    auto Unused = [&](const std::unique_ptr<TObserver>& O) {
        TDataSet* D = O->DataSet.get();
        if (!D) return true;
        for (int I = 0; I < SeriesCount(); ++I)
            if (GetSeries(I)->GetDataSource() == D) return false;
        return true;
    };
    // Taken out of the list before they are destroyed, so the list is
    // consistent whatever their destruction sets off.
    std::vector<std::unique_ptr<TObserver>> Dropped;
    for (auto It = FObservers.begin(); It != FObservers.end();) {
        if (Unused(*It)) {
            if (TDataSet* D = (*It)->DataSet.get()) RemoveFreeNotification(D);
            Dropped.push_back(std::move(*It));
            It = FObservers.erase(It);
        } else {
            ++It;
        }
    }
}

void TDBChart::ClearOrphanedSeries() {
    for (int I = 0; I < SeriesCount(); ++I) {
        TChartSeries* S = GetSeries(I);
        if (S->DataSourceCount() > 0 && !S->GetDataSource() && S->Count() > 0) S->Clear();
    }
}

void TDBChart::Notification(TComponent* AComponent, TOperation Operation) {
    TCustomChart::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove || !AComponent) return;
    auto It = std::find_if(FObservers.begin(), FObservers.end(),
                           [&](const std::unique_ptr<TObserver>& O) { return O->DataSet.Refers(AComponent); });
    if (It == FObservers.end()) return;
    if ((*It)->DataSet) {
        // Still alive: its owner is letting it go, or is about to delete it.
        // The base dropped the notice link; asking again brings the notice
        // of its destruction, if that follows.
        FreeNotification(AComponent);
        return;
    }
    // Destroyed: it already told the links that it closed, so the series
    // bound to it are empty; the observer goes, unless one of its own calls
    // is still under way (then the next binding lets it go).
    if (FCallbackDepth == 0) {
        std::unique_ptr<TObserver> Dropped = std::move(*It);
        FObservers.erase(It);
    }
    ClearOrphanedSeries();
}

void TDBChart::CheckDatasource(TChartSeries& ASeries) {
    auto* DataSet = dynamic_cast<TDataSet*>(ASeries.GetDataSource());
    PruneObservers();
    if (!DataSet) {
        TCustomChart::CheckDatasource(ASeries);
        return;
    }
    Observe(*DataSet);
    ReadSeries(ASeries, *DataSet);
}

void TDBChart::RefreshDataSet(TDataSet* ADataSet) {
    if (!ADataSet) return;
    std::vector<TChartSeries*> Bound;
    for (int I = 0; I < SeriesCount(); ++I)
        if (GetSeries(I)->GetDataSource() == ADataSet) Bound.push_back(GetSeries(I));
    std::exception_ptr First;
    for (TChartSeries* S : Bound) {
        try {
            ReadSeries(*S, *ADataSet);
        } catch (...) {
            if (!First) First = std::current_exception();
        }
    }
    if (First) std::rethrow_exception(First);
}

void TDBChart::ReadSeries(TChartSeries& ASeries, TDataSet& ADataSet) {
    if (std::find(FReading.begin(), FReading.end(), &ASeries) != FReading.end()) return;
    FReading.push_back(&ASeries);
    struct TPop {
        std::vector<const TChartSeries*>& List;
        ~TPop() { List.pop_back(); }
    } Pop{FReading};

    const std::string& YName = ASeries.GetYValues()->GetValueSource();
    if (!ADataSet.GetActive() || YName.empty()) {
        ASeries.Clear();
        return;
    }
    // Read into columns first, so that an error leaves no half-read
    // series; a column of labels only when labels are read.
    std::vector<double> Xs, Ys;
    std::vector<std::string> Labels;
    bool HasX = false;
    try {
        TField& Y = ADataSet.FieldByName(YName);
        const std::string& XName = ASeries.GetXValues()->GetValueSource();
        const std::string& LName = ASeries.GetLabelsSource();
        TField* X = XName.empty() ? nullptr : &ADataSet.FieldByName(XName);
        TField* L = LName.empty() ? nullptr : &ADataSet.FieldByName(LName);
        const auto Count = static_cast<std::size_t>(ADataSet.GetRecordCount()) + 1;
        Ys.reserve(Count);
        if (X) Xs.reserve(Count);
        if (L) Labels.reserve(Count);
        const double Null = std::nan("");
        ADataSet.ForEachRecord([&](int RecNo) {
            // A null Y, or a null X where X is read from a field, leaves the
            // point without a value: it is kept, so labels and positions
            // stay in step with the records, but not drawn.
            bool NullPoint = Y.IsNull();
            if (X) {
                if (X->IsNull()) {
                    NullPoint = true;
                    Xs.push_back(static_cast<double>(RecNo - 1));
                } else {
                    Xs.push_back(X->GetAsFloat());
                }
            }
            Ys.push_back(NullPoint ? Null : Y.GetAsFloat());
            if (L) Labels.push_back(L->GetAsString());
        });
        HasX = X != nullptr;
    } catch (...) {
        // No half-read series: the points are gone, the error goes up.
        ASeries.Clear();
        throw;
    }
    ASeries.Clear();
    static const std::string NoLabel;
    for (std::size_t I = 0; I < Ys.size(); ++I) {
        const std::string& Label = Labels.empty() ? NoLabel : Labels[I];
        if (!HasX && std::isnan(Ys[I]))
            ASeries.AddNull(Label);
        else
            ASeries.AddXY(HasX ? Xs[I] : static_cast<double>(I), Ys[I], Label);
    }
}

}  // namespace pv
