#include "platform/dbchart/DBChart.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <unordered_map>

#include "platform/db/DBError.h"
#include "platform/db/DataLink.h"
#include "platform/db/DataSource.h"

namespace pv {

namespace {

// What the X values read from a field of type Type stand for.
TChartValueKind ValueKindOf(const TField* Field) {
    if (!Field) return TChartValueKind::vkNumber;
    switch (Field->GetDataType()) {
        case TFieldType::ftDate: return TChartValueKind::vkDate;
        case TFieldType::ftTime: return TChartValueKind::vkTime;
        case TFieldType::ftDateTime: return TChartValueKind::vkDateTime;
        case TFieldType::ftString:
        case TFieldType::ftInteger:
        case TFieldType::ftFloat: break;
    }
    return TChartValueKind::vkNumber;
}

}  // namespace

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

void TDBChart::SetKeptFields(const std::vector<std::string>& Names, const std::string& What) {
    FKeptFor = What;
    if (Names == FKeptFields) return;
    FKeptFields = Names;
    for (int I = 0; I < SeriesCount(); ++I)
        if (auto* D = dynamic_cast<TDataSet*>(GetSeries(I)->GetDataSource()); D && D->GetActive())
            ReadSeries(*GetSeries(I), *D);
}

std::vector<TField*> TDBChart::KeptFieldsOf(TDataSet& ADataSet) const {
    std::vector<TField*> Out;
    for (const std::string& Name : FKeptFields) {
        TField* F = ADataSet.FindField(Name);
        if (!F)
            throw EDatabaseError((ADataSet.GetName().empty() ? std::string(ADataSet.ClassName()) : ADataSet.GetName()) +
                                 ": field \"" + Name + "\"" + (FKeptFor.empty() ? "" : " of " + FKeptFor) +
                                 " not found");
        Out.push_back(F);
    }
    return Out;
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
    if (!ASeries.GetGroupSource().empty()) {
        ReadGroups(ASeries, ADataSet);
        return;
    }
    // Read into columns first, so that an error leaves no half-read
    // series; a column of labels only when labels are read.
    std::vector<double> Xs, Ys;
    std::vector<std::string> Labels;
    std::vector<std::vector<std::string>> Kept(FKeptFields.size());
    bool HasX = false;
    TChartValueKind XKind = TChartValueKind::vkNumber;
    try {
        TField& Y = ADataSet.FieldByName(YName);
        const std::vector<TField*> KeptFields = KeptFieldsOf(ADataSet);
        const std::string& XName = ASeries.GetXValues()->GetValueSource();
        const std::string& LName = ASeries.GetLabelsSource();
        TField* X = XName.empty() ? nullptr : &ADataSet.FieldByName(XName);
        TField* L = LName.empty() ? nullptr : &ADataSet.FieldByName(LName);
        const auto Count = static_cast<std::size_t>(ADataSet.GetRecordCount()) + 1;
        Ys.reserve(Count);
        if (X) Xs.reserve(Count);
        if (L) Labels.reserve(Count);
        const double Null = std::nan("");
        // Numbers straight from the data set's columns where no record can
        // fail to convert; otherwise record by record.
        // Only plain numbers: a date field's stored number is not yet its
        // seconds, and fields kept for hints are read per record.
        auto Plain = [](const TField& F) {
            return F.GetDataType() == TFieldType::ftInteger || F.GetDataType() == TFieldType::ftFloat;
        };
        const bool Direct = !L && KeptFields.empty() && Plain(Y) && (!X || Plain(*X)) &&
                            ADataSet.ReadNumbers(Y, Ys) && (!X || ADataSet.ReadNumbers(*X, Xs));
        if (Direct && X) {
            for (std::size_t I = 0; I < Xs.size(); ++I)
                if (std::isnan(Xs[I])) Xs[I] = static_cast<double>(I), Ys[I] = Null;
        }
        if (!Direct) Ys.clear(), Xs.clear();
        if (!Direct) ADataSet.ForEachRecord([&](int RecNo) {
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
            for (std::size_t K = 0; K < KeptFields.size(); ++K) Kept[K].push_back(KeptFields[K]->GetAsString());
        });
        HasX = X != nullptr;
        XKind = ValueKindOf(X);
    } catch (const EDatabaseError& E) {
        // No half-read series: the points are gone, the error goes up; on a
        // chart of several series it says which series read the field.
        ASeries.Clear();
        if (SeriesCount() > 1) throw EDatabaseError(SeriesForMessage(ASeries) + ": " + E.what());
        throw;
    } catch (...) {
        ASeries.Clear();
        throw;
    }
    // Without an X field a point's X is its place; a null point (AddNull)
    // is one there too.
    if (!HasX) {
        Xs.resize(Ys.size());
        for (std::size_t I = 0; I < Xs.size(); ++I) Xs[I] = static_cast<double>(I);
    }
    ASeries.GetXValues()->SetKind(XKind);
    ASeries.SetPoints(std::move(Xs), std::move(Ys), std::move(Labels));
    if (!FKeptFields.empty()) ASeries.SetPointFields(FKeptFields, std::move(Kept));
}

}  // namespace pv

namespace pv {

std::string TDBChart::SeriesForMessage(const TChartSeries& ASeries) const {
    std::string Series = ASeries.GetName();
    if (Series.empty()) Series = ASeries.GetTitle();
    if (Series.empty())
        for (int I = 0; I < SeriesCount(); ++I)
            if (GetSeries(I) == &ASeries) Series = std::to_string(I + 1);
    return "Chart" + NameForMessage() + ", series '" + Series + "'";
}

void TDBChart::ReadGroups(TChartSeries& ASeries, TDataSet& ADataSet) {
    const std::string& GName = ASeries.GetGroupSource();
    TField* G = ADataSet.FindField(GName);
    if (!G) {
        ASeries.Clear();
        throw EDatabaseError(SeriesForMessage(ASeries) + ": group field \"" + GName + "\" not found in " +
                             (ADataSet.GetName().empty() ? std::string(ADataSet.ClassName()) : ADataSet.GetName()));
    }
    // One cell per record: its group, its category and its value. The
    // categories are the labels (else the X values, else the records'
    // places within their group) in the order first met, across groups.
    struct TCell {
        int Group, Category;
        double Y;
        int RecNo;
        std::vector<std::string> Kept;
    };
    std::vector<TCell> Cells;
    std::vector<std::string> Titles, CatLabels;
    std::vector<double> CatX;
    std::vector<int> GroupRows;
    std::unordered_map<std::string, int> GroupOf, CategoryOf;
    bool HasX = false;
    TChartValueKind XKind = TChartValueKind::vkNumber;
    try {
        TField& Y = ADataSet.FieldByName(ASeries.GetYValues()->GetValueSource());
        const std::string& XName = ASeries.GetXValues()->GetValueSource();
        const std::string& LName = ASeries.GetLabelsSource();
        TField* X = XName.empty() ? nullptr : &ADataSet.FieldByName(XName);
        TField* L = LName.empty() ? nullptr : &ADataSet.FieldByName(LName);
        HasX = X != nullptr;
        const std::vector<TField*> KeptFields = KeptFieldsOf(ADataSet);
        XKind = ValueKindOf(X);
        const double Null = std::nan("");
        ADataSet.ForEachRecord([&](int RecNo) {
            const std::string Value = G->IsNull() ? "(null)" : G->GetAsString();
            auto [GI, NewGroup] = GroupOf.try_emplace(Value, static_cast<int>(Titles.size()));
            if (NewGroup) {
                Titles.push_back(Value.empty() ? "(empty)" : Value);
                GroupRows.push_back(0);
            }
            const int Group = GI->second;
            const int Place = GroupRows[static_cast<std::size_t>(Group)]++;
            // A record without an X where X values name the categories has
            // no category to stand in.
            if (X && X->IsNull()) return;
            std::string Key, Label = L ? L->GetAsString() : std::string();
            const double XV = X ? X->GetAsFloat() : 0;
            if (L)
                Key = "L" + Label;
            else if (X)
                Key = "X" + std::string(reinterpret_cast<const char*>(&XV), sizeof XV);
            else
                Key = "P" + std::to_string(Place);
            auto [CI, NewCategory] = CategoryOf.try_emplace(Key, static_cast<int>(CatLabels.size()));
            if (NewCategory) {
                CatLabels.push_back(Label);
                CatX.push_back(X ? XV : static_cast<double>(CatLabels.size() - 1));
            }
            std::vector<std::string> KeptValues;
            KeptValues.reserve(KeptFields.size());
            for (TField* F : KeptFields) KeptValues.push_back(F->GetAsString());
            Cells.push_back({Group, CI->second, Y.IsNull() ? Null : Y.GetAsFloat(), RecNo, std::move(KeptValues)});
        });
    } catch (...) {
        ASeries.Clear();
        throw;
    }
    ASeries.Clear();
    if (Titles.size() > MaxGroups)
        throw EDatabaseError(SeriesForMessage(ASeries) + ": group field \"" + GName + "\" splits the records into " +
                             std::to_string(Titles.size()) + " groups; at most " + std::to_string(MaxGroups) +
                             " can be drawn");
    const std::size_t NC = CatLabels.size();
    std::vector<double> Grid(Titles.size() * NC, std::nan(""));
    std::vector<int> From(Titles.size() * NC, 0);
    std::vector<const TCell*> CellAt(Titles.size() * NC, nullptr);
    for (const TCell& C : Cells) {
        const std::size_t At = static_cast<std::size_t>(C.Group) * NC + static_cast<std::size_t>(C.Category);
        if (From[At] != 0)
            throw EDatabaseError(SeriesForMessage(ASeries) + ": records " + std::to_string(From[At]) + " and " +
                                 std::to_string(C.RecNo) + " are both in group '" + Titles[static_cast<std::size_t>(C.Group)] +
                                 "' at " + (CatLabels[static_cast<std::size_t>(C.Category)].empty()
                                                ? "the same place"
                                                : "'" + CatLabels[static_cast<std::size_t>(C.Category)] + "'"));
        From[At] = C.RecNo;
        Grid[At] = C.Y;
        CellAt[At] = &C;
    }
    if (Titles.empty()) return;
    // A group without a record in a category has a null point there: a gap.
    auto Fill = [&](TChartSeries& S, std::size_t Group) {
        S.GetXValues()->SetKind(XKind);
        for (std::size_t C = 0; C < NC; ++C) {
            const double V = Grid[Group * NC + C];
            if (!HasX && std::isnan(V))
                S.AddNull(CatLabels[C]);
            else
                S.AddXY(CatX[C], V, CatLabels[C]);
        }
        if (FKeptFields.empty()) return;
        // A gap keeps empty texts.
        std::vector<std::vector<std::string>> Kept(FKeptFields.size(), std::vector<std::string>(NC));
        for (std::size_t C = 0; C < NC; ++C)
            if (const TCell* Cell = CellAt[Group * NC + C])
                for (std::size_t K = 0; K < Kept.size(); ++K) Kept[K][C] = Cell->Kept[K];
        S.SetPointFields(FKeptFields, std::move(Kept));
    };
    Fill(ASeries, 0);
    ASeries.SetGroupTitle(Titles[0]);
    for (std::size_t I = 1; I < Titles.size(); ++I) Fill(ASeries.AddGroup(Titles[I]), I);
}

}  // namespace pv
