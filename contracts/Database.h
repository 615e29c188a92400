#pragma once
// What the component relies on of the database layer.

#include "platform/db/DataLink.h"    // TDataLink: ActiveChanged on every change of its active state, UpdateData at the start of a post; the same data source again changes nothing; destruction detaches
#include "platform/db/DataSet.h"     // TDataSet: GetActive is true while the data set is open
#include "platform/db/DataSource.h"  // TDataSource: its current data set (nullptr when none)
#include "platform/db/QueryParams.h" // TRequestParams: a query's declared parameters and the values a request gave them

namespace Norq_Plotvane {
using pv::TDataLink;
using pv::TDataSet;
using pv::TDataSource;
}  // namespace Norq_Plotvane
