// consumer OUT.png             a chart built in code, saved to OUT (.gif, .jpg, .png, .bmp)
// consumer OUT.gif FORM [NAME] a chart of a stored form (its first chart, or NAME)

#include <iostream>
#include <memory>

#include <plotvane/PlotvaneVersion.h>
#include <plotvane/component/Norq_Plotvane.h>
#include <plotvane/component/Norq_PlotvaneSave.h>
#include <plotvane/host/FormClasses.h>

using namespace Norq_Plotvane;

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::cerr << "usage: consumer OUT [FORM [NAME]]   (Plotvane " PLOTVANE_VERSION_STRING ")\n";
        return 2;
    }
    try {
        pv::TUniqueComponent<pv::TComponent> Module;
        TNorq_DBPlotvane* Chart = nullptr;
        if (argc == 2) {
            Module = pv::MakeUniqueComponent<pv::TComponent>(nullptr);  // owns the chart
            Chart = new TNorq_DBPlotvane(Module.get());
            pv::TStringList Title;
            Title.Add("Visitors by weekday");
            Chart->SetTitleText(&Title);
            Chart->SetWidth(480);
            Chart->SetHeight(300);
            const char* Days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
            const double Visitors[] = {120, 135, 128, 150, 170, 95, 80};
            for (int I = 0; I < 7; ++I) Chart->GetChartSeries()->Add(Visitors[I], Days[I]);
        } else {
            Module = plotvane::LoadForm(argv[2]);
            for (int I = 0; I < Module->GetComponentCount() && !Chart; ++I) {
                auto* C = dynamic_cast<TNorq_DBPlotvane*>(Module->GetComponent(I));
                if (C && (argc < 4 || C->GetName() == argv[3])) Chart = C;
            }
            if (!Chart) throw std::runtime_error(std::string(argv[2]) + ": no such chart");
        }
        SaveChartToFile(*Chart, argv[1]);
    } catch (const std::exception& E) {
        std::cerr << "consumer: " << E.what() << "\n";
        return 1;
    }
    return 0;
}
