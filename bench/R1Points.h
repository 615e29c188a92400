#pragma once
// The reference chart R1 as the benchmarks build it: its points, and a
// second set of the same shape for responses whose data changes at every
// request.

#include <memory>

#include "component/Norq_Plotvane.h"
#include "platform/rtl/Strings.h"

namespace pvbench {

inline constexpr const char* R1Labels[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
inline constexpr double R1Values[2][12] = {{12, 19, 3, -5, 22, 17, 9, 14, -2, 25, 30, 11},
                                           {14, 18, 4, -6, 21, 17, 10, 13, -1, 24, 31, 12}};

// Replaces the chart's points with set Which (0: R1's, 1: the other).
inline void SetR1Points(Norq_Plotvane::TNorq_DBPlotvane& C, int Which) {
    C.GetChartSeries()->Clear();
    for (int I = 0; I < 12; ++I) C.GetChartSeries()->Add(R1Values[Which][I], R1Labels[I]);
}

// R1: 400 x 250, titled, white, both axis titles, the positive/negative
// colour mode, with the first set of points.
inline std::unique_ptr<Norq_Plotvane::TNorq_DBPlotvane> MakeR1Chart() {
    auto C = std::make_unique<Norq_Plotvane::TNorq_DBPlotvane>(nullptr);
    SetR1Points(*C, 0);
    pv::TStringList Title;
    Title.Add("Monthly revenue");
    C->SetTitleText(&Title);
    C->SetColor(pv::clWhite);
    C->SetWidth(400);
    C->SetHeight(250);
    C->SetAxisLeftTitleCaption("EUR");
    C->SetAxisBottomTitleCaption("Month");
    C->SetSeriesColorMode(Norq_Plotvane::TSeriesColorMode::scPositiveNegative);
    return C;
}

}  // namespace pvbench
