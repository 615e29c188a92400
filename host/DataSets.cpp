#include "host/DataSets.h"

#include <exception>
#include <string_view>

#include "platform/db/DBError.h"
#include "platform/db/DataSource.h"

namespace plotvane {

namespace {

void CollectComponents(pv::TComponent& Owner, std::vector<pv::TComponent*>& Out) {
    for (int I = 0; I < Owner.GetComponentCount(); ++I) {
        pv::TComponent* C = Owner.GetComponent(I);
        Out.push_back(C);
        CollectComponents(*C, Out);
    }
}

}  // namespace

std::string ShownComponentName(const pv::TComponent& C) {
    return C.GetName().empty() ? std::string(C.ClassName()) : C.GetName();
}

std::vector<pv::TComponent*> ModuleComponents(pv::TComponent& Module) {
    std::vector<pv::TComponent*> All{&Module};
    CollectComponents(Module, All);
    return All;
}

std::vector<pv::TComponentPtr<pv::TDataSet>> OpenDataSets(pv::TComponent& Module) {
    std::vector<pv::TComponentPtr<pv::TDataSet>> Open;
    for (pv::TComponent* C : ModuleComponents(Module))
        if (auto* D = dynamic_cast<pv::TDataSet*>(C); D && D->GetActive()) Open.emplace_back(D);
    return Open;
}

void ReopenDataSets(std::span<const pv::TComponentPtr<pv::TDataSet>> WereOpen,
                    const std::function<std::string(const pv::TDataSet&)>& Change) {
    for (const pv::TComponentPtr<pv::TDataSet>& P : WereOpen) {
        pv::TDataSet* D = P.get();
        if (!D || D->GetActive()) continue;
        const std::string Name = ShownComponentName(*D);
        std::string What = Change ? Change(*D) : std::string();
        if (!What.empty()) What += ": ";
        What += Name + " was open and cannot open again: ";
        // The cause without the data set's name, which the message has said.
        auto Cause = [&](const std::exception& E) {
            std::string_view Text = E.what();
            if (Text.starts_with(Name + ": ")) Text.remove_prefix(Name.size() + 2);
            return std::string(Text);
        };
        try {
            D->Open();
        } catch (const pv::EDatabaseUnavailable& E) {
            throw pv::EDatabaseUnavailable(What + Cause(E));
        } catch (const std::exception& E) {
            throw pv::EDatabaseError(What + Cause(E));
        }
    }
}

std::string ChartDataProblem(const Norq_Plotvane::TNorq_DBPlotvane& Chart) {
    const pv::TDataSource* Source = Chart.GetDataSource();
    if (!Source) return {};
    const std::string Bound = "chart \"" + ShownComponentName(Chart) + "\" is bound to ";
    const std::string NoPoints = ": the chart has no points";
    const pv::TDataSet* D = Source->GetDataSet();
    if (!D) return Bound + "data source \"" + ShownComponentName(*Source) + "\", which has no data set" + NoPoints;
    if (!Source->GetEnabled())
        return Bound + "data source \"" + ShownComponentName(*Source) + "\", which is disabled (Enabled = False)" +
               NoPoints;
    if (!D->GetActive())
        return Bound + "data set \"" + ShownComponentName(*D) + "\", which is closed (Active = False)" + NoPoints;
    return PieProblem(Chart);
}

std::string PieProblem(const Norq_Plotvane::TNorq_DBPlotvane& Chart) {
    const pv::TDBChart& C = *Chart.GetInternalChart();
    if (C.SeriesCount() == 0 || !dynamic_cast<const pv::TPieSeries*>(C.GetSeries(0))) return {};
    int Series = 0;
    for (int I = 0; I < C.SeriesCount(); ++I) Series += 1 + C.GetSeries(I)->GroupCount();
    if (Series <= 1) return {};
    return "chart \"" + ShownComponentName(Chart) + "\" is a pie, which draws its first series only: " +
           std::to_string(Series - 1) + (Series == 2 ? " more series is" : " more series are") + " left out";
}

}  // namespace plotvane
