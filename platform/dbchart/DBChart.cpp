#include "platform/dbchart/DBChart.h"

namespace pv {

void TDBChart::CheckDatasource(TChartSeries& ASeries) { TCustomChart::CheckDatasource(ASeries); }

}  // namespace pv
