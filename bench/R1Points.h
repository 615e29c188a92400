#pragma once
// The points of the reference chart R1, and a second set of the same shape
// for responses whose data changes at every request.

#include "component/Norq_Plotvane.h"

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

}  // namespace pvbench
