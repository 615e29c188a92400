#pragma once
// TDBChart: a chart whose series can take their points from data sets.

#include "platform/chart/Chart.h"

namespace pv {

class TDBChart : public TCustomChart {
public:
    explicit TDBChart(TComponent* AOwner) : TCustomChart(AOwner) {}
    std::string_view ClassName() const override { return "TDBChart"; }

    // Reads ASeries' points from the records of its data set.
    void CheckDatasource(TChartSeries& ASeries) override;
};

}  // namespace pv
