#pragma once
// What the component relies on of the chart library.

#include "platform/chart/Chart.h"      // TeeCreateBitmap(background, rect) returns a new bitmap of that size owned by the caller; palette and stacking of several series; a reference line
#include "platform/chart/ChartParts.h"  // title, axis titles, legend (lsValues lists the points), gradient; SetFont copies
#include "platform/chart/Series.h"      // series: colour, per-point colours and flag, value query, marks, pointer, ChangeSeriesType; bar, horizontal bar, line, area, point and pie series
#include "platform/dbchart/DBChart.h"   // TDBChart: a series given a data set takes its points from the records, split by a group field

namespace Norq_Plotvane {
using pv::TAlignment;
using pv::TAreaSeries;
using pv::TBarSeries;
using pv::TBevelCut;
using pv::TChartLook;
using pv::TChartReferenceLine;
using pv::TChartSeries;
using pv::TChartSeriesClass;
using pv::TDBChart;
using pv::THorizBarSeries;
using pv::TLegendStyle;
using pv::TLineSeries;
using pv::TPieSeries;
using pv::TPointSeries;
using pv::TSeriesMarksStyle;
using pv::TSeriesPointer;
using pv::TSeriesPointerStyle;
using pv::TSeriesStacking;
}  // namespace Norq_Plotvane
