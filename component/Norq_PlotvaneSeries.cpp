#include "component/Norq_PlotvaneSeries.h"

#include <array>
#include <utility>

namespace Norq_Plotvane {

// ---------------------------------------------------------------------------
// Link

TNorq_DBPlotvaneSeriesLink::TNorq_DBPlotvaneSeriesLink(TNorq_DBPlotvaneSeries* AOwnerSeries)
    : OwnerSeries(AOwnerSeries) {
    SetVisualControl(false);
}

TNorq_DBPlotvaneSeriesLink::~TNorq_DBPlotvaneSeriesLink() { OwnerSeries = nullptr; }

void TNorq_DBPlotvaneSeriesLink::ActiveChanged() {
    if (!OwnerSeries) return;
    OwnerSeries->ActiveChanged();
    if (TNorq_DBPlotvane* Chart = OwnerSeries->GetChart()) Chart->DrawPreviewImage();
}

void TNorq_DBPlotvaneSeriesLink::UpdateData() {
    if (!OwnerSeries) return;
    if (TNorq_DBPlotvane* Chart = OwnerSeries->GetChart()) Chart->DrawPreviewImage();
}

// ---------------------------------------------------------------------------
// Series

TNorq_DBPlotvaneSeries::TNorq_DBPlotvaneSeries(TComponent* AOwner) : TComponent(AOwner) {
    FSeries = pv::MakeUniqueComponent<TBarSeries>(nullptr);
    FSeries->SetSeriesColor(pv::clDefault);
    FSeries->GetMarks()->SetVisible(false);
    FLink = std::make_unique<TNorq_DBPlotvaneSeriesLink>(this);
}

TNorq_DBPlotvaneSeries::~TNorq_DBPlotvaneSeries() { Destroying(); }

void TNorq_DBPlotvaneSeries::BeforeDestruction() noexcept {
    // The link goes first, so nothing the data source does reaches a series
    // that is going; then the chart series leaves the chart.
    FLink.reset();
    if (TDataSource* Source = FDataSource.get()) RemoveFreeNotification(Source);
    FDataSource = nullptr;
    TNorq_DBPlotvane* Chart = FChart.get();
    FChart = nullptr;
    FSeries.reset();
    if (Chart) {
        RemoveFreeNotification(Chart);
        Chart->RemoveExtraSeries(this);
        // A form torn down whole draws nothing on the way.
        const bool Going = Chart->HasState(pv::csDestroying) ||
                           (Chart->GetOwner() && Chart->GetOwner()->HasState(pv::csDestroying));
        if (!Going) {
            try {
                Chart->DrawPreviewImage();
            } catch (...) {
                // A refresh that fails while the series goes cannot be
                // reported: teardown raises nothing.
            }
        }
    }
    TComponent::BeforeDestruction();
}

void TNorq_DBPlotvaneSeries::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove || !AComponent || !FLink) return;
    if (FDataSource.Refers(AComponent)) SetDataSource(nullptr);
    if (FChart.Refers(AComponent)) {
        // The chart's hidden chart has let go of the series already. With
        // no chart to read them, the points go.
        FChart = nullptr;
        if (FSeries && FSeries->GetParentChart()) FSeries->SetParentChart(nullptr);
        if (FSeries) FSeries->Clear();
    }
}

void TNorq_DBPlotvaneSeries::Refresh() {
    if (TNorq_DBPlotvane* Chart = FChart.get()) Chart->DrawPreviewImage();
}

bool TNorq_DBPlotvaneSeries::DataSetOpen() const {
    const TDataSource* Source = FDataSource.get();
    return Source && Source->GetDataSet() && Source->GetDataSet()->GetActive();
}

void TNorq_DBPlotvaneSeries::SetChart(TNorq_DBPlotvane* Value) {
    TNorq_DBPlotvane* Held = FChart.get();
    if (Value == Held) return;
    if (Held) {
        RemoveFreeNotification(Held);
        Held->RemoveExtraSeries(this);
        FSeries->SetParentChart(nullptr);
        FSeries->Clear();
        FChart = nullptr;
        Held->DrawPreviewImage();
    }
    if (!Value) return;
    FChart = Value;
    FreeNotification(Value);
    Value->AddExtraSeries(this);
    FSeries->SetParentChart(Value->GetInternalChart());
    FSeries->CheckDataSource();
    Value->DrawPreviewImage();
}

void TNorq_DBPlotvaneSeries::ActiveChanged() {
    TDataSource* Source = FDataSource.get();
    if (!Source) return;
    FSeries->ClearDataSources();
    FSeries->SetDataSource(Source->GetDataSet());
    // Only a chart reads the records: without one the series stays empty.
    if (!FChart) FSeries->Clear();
}

void TNorq_DBPlotvaneSeries::SetDataSource(TDataSource* Value) {
    FLink->SetDataSource(Value);
    if (FDataSource.Refers(Value)) return;
    if (TDataSource* Old = FDataSource.get()) RemoveFreeNotification(Old);
    FDataSource = Value;
    if (Value) FreeNotification(Value);
    FSeries->SetDataSource(Value ? Value->GetDataSet() : nullptr);
    Refresh();
}

std::string TNorq_DBPlotvaneSeries::GetXLabelsSource() const { return FSeries->GetLabelsSource(); }
void TNorq_DBPlotvaneSeries::SetXLabelsSource(const std::string& Value) {
    if (Value == FSeries->GetLabelsSource()) return;
    FSeries->SetLabelsSource(Value);
    if (DataSetOpen()) Refresh();
}

std::string TNorq_DBPlotvaneSeries::GetXValueSource() const { return FSeries->GetXValues()->GetValueSource(); }
void TNorq_DBPlotvaneSeries::SetXValueSource(const std::string& Value) {
    if (Value == FSeries->GetXValues()->GetValueSource()) return;
    FSeries->GetXValues()->SetValueSource(Value);
    if (DataSetOpen()) Refresh();
}

std::string TNorq_DBPlotvaneSeries::GetYValueSource() const { return FSeries->GetYValues()->GetValueSource(); }
void TNorq_DBPlotvaneSeries::SetYValueSource(const std::string& Value) {
    if (Value == FSeries->GetYValues()->GetValueSource()) return;
    FSeries->GetYValues()->SetValueSource(Value);
    if (DataSetOpen()) Refresh();
}

TPlotvaneSeriesType TNorq_DBPlotvaneSeries::GetSeriesType() const { return SeriesTypeOf(*FSeries); }

void TNorq_DBPlotvaneSeries::SetSeriesType(TPlotvaneSeriesType Value) {
    if (Value == GetSeriesType()) return;
    const TChartSeriesClass NewClass = SeriesClassOf(Value);
    if (!NewClass)
        throw pv::ERangeError("SeriesType " + std::to_string(static_cast<int>(Value)) + " of '" + GetName() +
                              "' is out of range stBar..stPoint");
    // A pie is drawn alone, as a chart's first series: a further series
    // never is one.
    if (Value == TPlotvaneSeriesType::stPie)
        throw pv::ERangeError("SeriesType stPie of '" + GetName() +
                              "': a further series cannot be a pie, which is drawn alone (make the chart's own "
                              "series the pie)");
    // The replacement has no owner either: it is held here, as the old one.
    TChartSeries* Series = FSeries.release();
    try {
        ChangeSeriesType(Series, NewClass);
    } catch (...) {
        FSeries.reset(Series);
        throw;
    }
    FSeries.reset(Series);
    if (TSeriesPointer* P = FSeries->GetPointer()) P->SetInflateMargins(true);
    Refresh();
}

std::string TNorq_DBPlotvaneSeries::GetTitle() const { return FSeries->GetTitle(); }
void TNorq_DBPlotvaneSeries::SetTitle(const std::string& Value) {
    if (Value == FSeries->GetTitle()) return;
    FSeries->SetTitle(Value);
    Refresh();
}

TColor TNorq_DBPlotvaneSeries::GetSeriesColor() const { return FSeries->GetSeriesColor(); }
void TNorq_DBPlotvaneSeries::SetSeriesColor(TColor Value) {
    if (Value == FSeries->GetSeriesColor()) return;
    FSeries->SetSeriesColor(Value);
    Refresh();
}

void TNorq_DBPlotvaneSeries::SetSeriesColorNegative(TColor Value) {
    if (Value == FSeriesColorNegative) return;
    FSeriesColorNegative = Value;
    Refresh();
}

void TNorq_DBPlotvaneSeries::SetSeriesColorMode(TSeriesColorMode Value) {
    if (Value == FSeriesColorMode) return;
    if (static_cast<int>(Value) > static_cast<int>(TSeriesColorMode::scPositiveNegative))
        throw pv::ERangeError("SeriesColorMode " + std::to_string(static_cast<int>(Value)) + " of '" + GetName() +
                              "' is out of range scSingleColor..scPositiveNegative");
    FSeriesColorMode = Value;
    FSeries->SetColorEachPoint(Value == TSeriesColorMode::scColorEachPoint);
    Refresh();
}

bool TNorq_DBPlotvaneSeries::GetMarksVisible() const { return FSeries->GetMarks()->GetVisible(); }
void TNorq_DBPlotvaneSeries::SetMarksVisible(bool Value) {
    if (Value == GetMarksVisible()) return;
    FSeries->GetMarks()->SetVisible(Value);
    Refresh();
}

TSeriesMarksStyle TNorq_DBPlotvaneSeries::GetMarksStyle() const { return FSeries->GetMarks()->GetStyle(); }
void TNorq_DBPlotvaneSeries::SetMarksStyle(TSeriesMarksStyle Value) {
    if (Value == GetMarksStyle()) return;
    FSeries->GetMarks()->SetStyle(Value);
    Refresh();
}

std::string TNorq_DBPlotvaneSeries::GetValueFormat() const { return FSeries->GetValueFormat(); }
void TNorq_DBPlotvaneSeries::SetValueFormat(const std::string& Value) {
    if (Value == FSeries->GetValueFormat()) return;
    FSeries->SetValueFormat(Value);
    Refresh();
}

void TNorq_DBPlotvaneSeries::ColorPoints() {
    TChartSeries& S = *FSeries;
    // clDefault is the series' own colour as drawn, the palette's when the
    // series has none.
    const TColor Positive = S.GetSeriesColor();
    switch (FSeriesColorMode) {
        case TSeriesColorMode::scPositiveNegative:
            for (int I = 0; I < S.Count(); ++I)
                S.SetValueColor(I, S.GetYValue(I) >= 0.0 ? Positive : FSeriesColorNegative);
            break;
        case TSeriesColorMode::scColorEachPoint:
            for (int I = 0; I < S.Count(); ++I) S.SetValueColor(I, pv::clDefault);
            break;
        case TSeriesColorMode::scSingleColor: break;
    }
}

}  // namespace Norq_Plotvane
