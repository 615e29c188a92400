#pragma once
// TNorq_DBPlotvaneSeries: a further series of a TNorq_DBPlotvane, with its
// own data source, fields, type and look, so that "this year" and "last
// year" come from two queries. It is a component of the form (owned by the
// form's module like the data sources) that names its chart; the chart's
// own series stays the first, the further series follow in the order they
// were given the chart.
//
// Ownership: the series component owns the chart series it draws with
// (SeriesObject) and gives it to its chart's hidden chart, which only lists
// it. Its chart and its data source are guarded references dropped on their
// removal notices; when the chart goes, the chart series is left without a
// chart and without points (only a chart reads records); when the series
// component goes, its chart series leaves
// the chart and the chart refreshes (unless the chart itself is going).
//
// Refresh rules, as for the chart's own series: the data source's data set
// opening or closing (the link's active state changing) binds the series
// again to the data source's present data set and refreshes the chart;
// posting a record refreshes it; a field name set while the data set is
// open refreshes it; every other write that changes something refreshes it.
// The removal of the data source refreshes twice, as for the chart's own
// series: once as the link loses its data set, once as it is unbound.

#include <cstdint>
#include <memory>
#include <string>

#include "component/Norq_Plotvane.h"

namespace Norq_Plotvane {

class TNorq_DBPlotvaneSeries;

// The series' link to its data source.
class TNorq_DBPlotvaneSeriesLink : public TDataLink {
public:
    explicit TNorq_DBPlotvaneSeriesLink(TNorq_DBPlotvaneSeries* AOwnerSeries);
    // Clears OwnerSeries before the base detaches the link.
    ~TNorq_DBPlotvaneSeriesLink() override;
    TNorq_DBPlotvaneSeries* OwnerSeries = nullptr;

protected:
    void ActiveChanged() override;
    void UpdateData() override;
};

class TNorq_DBPlotvaneSeries : public TComponent {
public:
    // A bar series of colour clDefault (the chart's palette picks it), in
    // scSingleColor, marks off, attached to no chart.
    explicit TNorq_DBPlotvaneSeries(TComponent* AOwner);
    ~TNorq_DBPlotvaneSeries() override;
    std::string_view ClassName() const override { return "TNorq_DBPlotvaneSeries"; }
    const pv::TClassInfo* ClassInfo() const override;
    static const pv::TClassInfo& StaticClassInfo();

    void Notification(TComponent* AComponent, TOperation Operation) override;

    // Published properties, in declaration order.
    // The chart the series is drawn on (nil: none).
    TNorq_DBPlotvane* GetChart() const { return FChart.get(); }
    void SetChart(TNorq_DBPlotvane* Value);
    TDataSource* GetDataSource() const { return FDataSource.get(); }
    void SetDataSource(TDataSource* Value);
    std::string GetXLabelsSource() const;
    void SetXLabelsSource(const std::string& Value);
    std::string GetXValueSource() const;
    void SetXValueSource(const std::string& Value);
    std::string GetYValueSource() const;
    void SetYValueSource(const std::string& Value);
    // The kind of series (default stBar). A chart whose own series is a pie
    // draws only that; stPie here raises ERangeError, as does an ordinal
    // outside the enumeration.
    TPlotvaneSeriesType GetSeriesType() const;
    void SetSeriesType(TPlotvaneSeriesType Value);
    // The name in the legend (empty: the component's name).
    std::string GetTitle() const;
    void SetTitle(const std::string& Value);
    TColor GetSeriesColor() const;
    void SetSeriesColor(TColor Value);
    TColor GetSeriesColorNegative() const { return FSeriesColorNegative; }
    void SetSeriesColorNegative(TColor Value);
    // As the chart's: scColorEachPoint, beside other series, draws the series
    // in its own colour.
    TSeriesColorMode GetSeriesColorMode() const { return FSeriesColorMode; }
    void SetSeriesColorMode(TSeriesColorMode Value);
    bool GetMarksVisible() const;
    void SetMarksVisible(bool Value);
    TSeriesMarksStyle GetMarksStyle() const;
    void SetMarksStyle(TSeriesMarksStyle Value);
    std::string GetValueFormat() const;
    void SetValueFormat(const std::string& Value);

    // Re-binds the series to the held data source's present data set.
    void ActiveChanged();
    // Colours the points by the colour mode; the chart calls it before
    // drawing.
    void ColorPoints();
    // The chart series drawn, owned by this component.
    TChartSeries* GetSeriesObject() const { return FSeries.get(); }

protected:
    // Leaves the chart and the data source while whole, then refreshes the
    // chart unless it is going too.
    void BeforeDestruction() noexcept override;

private:
    void Refresh();
    bool DataSetOpen() const;

    std::unique_ptr<TNorq_DBPlotvaneSeriesLink> FLink;
    pv::TUniqueComponent<TChartSeries> FSeries;
    pv::TComponentPtr<TNorq_DBPlotvane> FChart;
    pv::TComponentPtr<TDataSource> FDataSource;
    TColor FSeriesColorNegative = 0x0000FF;
    TSeriesColorMode FSeriesColorMode = TSeriesColorMode::scSingleColor;
};

}  // namespace Norq_Plotvane
