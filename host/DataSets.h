#pragma once
// The data sets of a form around a change: which are open before it, opening
// them again after it (a query closes when its database, SQL or parameters
// change), and why a chart bound to data will draw no points. The command's
// --set and the designer's edits go through the same functions, so neither
// leaves a chart silently empty.

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "component/Norq_Plotvane.h"
#include "platform/db/DataSet.h"
#include "platform/rtl/Component.h"

namespace plotvane {

// How a message names a component: its name, or its class when it has none.
std::string ShownComponentName(const pv::TComponent& C);

// Module and every component below it, depth-first in creation order.
std::vector<pv::TComponent*> ModuleComponents(pv::TComponent& Module);

// The data sets of Module (Module itself and every component below it) that
// are open: what ReopenDataSets opens again after a change.
std::vector<pv::TComponentPtr<pv::TDataSet>> OpenDataSets(pv::TComponent& Module);

// Opens again each data set of WereOpen that is closed now, in order; those
// destroyed meanwhile are skipped. For any change that may close an open
// data set (a property of a query, from --set or from the designer): take
// OpenDataSets before it and call ReopenDataSets after it. The first that
// fails to open raises pv::EDatabaseError (pv::EDatabaseUnavailable for a
// server that cannot answer now): "<Change(it)>: <name> was open and cannot
// open again: <cause>", without the "<Change>: " when Change is empty or
// gives an empty text. The data sets after it are left as they are.
void ReopenDataSets(std::span<const pv::TComponentPtr<pv::TDataSet>> WereOpen,
                    const std::function<std::string(const pv::TDataSet&)>& Change = {});

// Why Chart will draw no points although it is bound to data: its data
// source has no data set or is disabled, or its data set is closed, e.g.
//   chart "RevenueChart" is bound to data set "SalesQuery", which is closed
//   (Active = False): the chart has no points
// Empty when the data set is open, or when the chart has no data source;
// else, when it is open, the PieProblem.
std::string ChartDataProblem(const Norq_Plotvane::TNorq_DBPlotvane& Chart);
// Why a pie chart leaves series out: a pie draws its first series only, e.g.
//   chart "RegionPie" is a pie, which draws its first series only: 2 more
//   series are left out
// Empty when the chart is no pie or has one series.
std::string PieProblem(const Norq_Plotvane::TNorq_DBPlotvane& Chart);

}  // namespace plotvane
