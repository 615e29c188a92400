// The series type of TNorq_DBPlotvane: which series class the hidden chart
// draws. The value is not held: it is the class of the series.

#include <string>
#include <utility>

#include "component/Norq_Plotvane.h"

namespace Norq_Plotvane {

TChartSeriesClass SeriesClassOf(TPlotvaneSeriesType Type) {
    switch (Type) {
        case TPlotvaneSeriesType::stBar: return &TBarSeries::NewInstance;
        case TPlotvaneSeriesType::stHorizBar: return &THorizBarSeries::NewInstance;
        case TPlotvaneSeriesType::stLine: return &TLineSeries::NewInstance;
        case TPlotvaneSeriesType::stArea: return &TAreaSeries::NewInstance;
        case TPlotvaneSeriesType::stPoint: return &TPointSeries::NewInstance;
        case TPlotvaneSeriesType::stPie: return &TPieSeries::NewInstance;
    }
    return nullptr;
}

TPlotvaneSeriesType SeriesTypeOf(const TChartSeries& S) {
    // Derived classes first: a horizontal bar series is a bar series, an
    // area series a line series.
    if (dynamic_cast<const THorizBarSeries*>(&S)) return TPlotvaneSeriesType::stHorizBar;
    if (dynamic_cast<const TAreaSeries*>(&S)) return TPlotvaneSeriesType::stArea;
    if (dynamic_cast<const TLineSeries*>(&S)) return TPlotvaneSeriesType::stLine;
    if (dynamic_cast<const TPointSeries*>(&S)) return TPlotvaneSeriesType::stPoint;
    if (dynamic_cast<const TPieSeries*>(&S)) return TPlotvaneSeriesType::stPie;
    return TPlotvaneSeriesType::stBar;
}

TPlotvaneSeriesType TNorq_DBPlotvane::GetSeriesType() const { return SeriesTypeOf(*ChartSeries.get()); }

void TNorq_DBPlotvane::SetSeriesType(TPlotvaneSeriesType Value) {
    if (Value == GetSeriesType()) return;
    const TChartSeriesClass NewClass = SeriesClassOf(Value);
    if (!NewClass)
        throw pv::ERangeError("SeriesType " + std::to_string(static_cast<int>(Value)) + " of '" + GetName() +
                              "' is out of range stBar..stPie");
    TChartSeries* Series = ChartSeries.get();
    ChangeSeriesType(Series, NewClass);
    ChartSeries = Series;
    // The pointer rules of a series style write: symbols at the axis ends
    // stay whole. An area series is a line series.
    if (auto* P = dynamic_cast<TLineSeries*>(ChartSeries.get())) P->GetPointer()->SetInflateMargins(true);
    if (auto* P = dynamic_cast<TPointSeries*>(ChartSeries.get())) P->GetPointer()->SetInflateMargins(true);
    ApplyLoadedPointer();
    InternalChart->CalcSize3DWalls();
    DrawPreviewImage();
}

void TNorq_DBPlotvane::ApplyLoadedPointer() {
    const TLoadedPointer Held = std::exchange(FLoadedPointer, {});
    TSeriesPointer* P = SeriesPointer();
    if (!P || !HasState(pv::csLoading)) return;
    if (Held.Visible) P->SetVisible(*Held.Visible);
    if (Held.Draw3D) P->SetDraw3D(*Held.Draw3D);
    if (Held.Style) P->SetStyle(*Held.Style);
    if (Held.HorizSize) P->SetHorizSize(*Held.HorizSize);
    if (Held.VertSize) P->SetVertSize(*Held.VertSize);
}

}  // namespace Norq_Plotvane
