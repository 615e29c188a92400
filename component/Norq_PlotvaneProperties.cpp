// The appearance and series properties of TNorq_DBPlotvane. None of their
// values is kept in the component: each reads and writes the part of the
// hidden chart where the value lives, and a write that changes something
// ends in DrawPreviewImage. An unchanged write calls nothing at all.

#include "component/Norq_Plotvane.h"

namespace Norq_Plotvane {

// Write rule for a value compared by value: if Current differs from Value,
// apply it and refresh.
#define PV_WRITE(Current, Value, Apply) \
    do {                                \
        if ((Current) == (Value)) return; \
        Apply;                          \
        DrawPreviewImage();             \
    } while (0)

// Title

TFont* TNorq_DBPlotvane::GetTitleFont() const { return InternalChart->GetTitle()->GetFont(); }
void TNorq_DBPlotvane::SetTitleFont(TFont* Value) {
    PV_WRITE(InternalChart->GetTitle()->GetFont(), Value, InternalChart->GetTitle()->SetFont(Value));
}

TColor TNorq_DBPlotvane::GetTitleColor() const { return InternalChart->GetTitle()->GetColor(); }
void TNorq_DBPlotvane::SetTitleColor(TColor Value) {
    PV_WRITE(InternalChart->GetTitle()->GetColor(), Value, InternalChart->GetTitle()->SetColor(Value));
}

TStrings* TNorq_DBPlotvane::GetTitleText() const { return InternalChart->GetTitle()->GetText(); }
void TNorq_DBPlotvane::SetTitleText(TStrings* Value) {
    TStrings* Own = InternalChart->GetTitle()->GetText();
    if (Value == Own) return;
    if (Value)
        Own->Assign(*Value);
    else
        Own->Clear();
    InternalChart->Changed();
    DrawPreviewImage();
}

TAlignment TNorq_DBPlotvane::GetTitleAlignment() const { return InternalChart->GetTitle()->GetAlignment(); }
void TNorq_DBPlotvane::SetTitleAlignment(TAlignment Value) {
    PV_WRITE(InternalChart->GetTitle()->GetAlignment(), Value, InternalChart->GetTitle()->SetAlignment(Value));
}

// Chart

TColor TNorq_DBPlotvane::GetColor() const { return InternalChart->GetColor(); }
void TNorq_DBPlotvane::SetColor(TColor Value) {
    PV_WRITE(InternalChart->GetColor(), Value, InternalChart->SetColor(Value));
}

int TNorq_DBPlotvane::GetHeight() const { return InternalChart->GetHeight(); }
void TNorq_DBPlotvane::SetHeight(int Value) {
    PV_WRITE(InternalChart->GetHeight(), Value, InternalChart->SetHeight(Value));
}

int TNorq_DBPlotvane::GetWidth() const { return InternalChart->GetWidth(); }
void TNorq_DBPlotvane::SetWidth(int Value) { PV_WRITE(InternalChart->GetWidth(), Value, InternalChart->SetWidth(Value)); }

// Axis titles

std::string TNorq_DBPlotvane::GetAxisLeftTitleCaption() const {
    return InternalChart->GetLeftAxis()->GetTitle()->GetCaption();
}
void TNorq_DBPlotvane::SetAxisLeftTitleCaption(const std::string& Value) {
    auto* T = InternalChart->GetLeftAxis()->GetTitle();
    PV_WRITE(T->GetCaption(), Value, T->SetCaption(Value));
}

TFont* TNorq_DBPlotvane::GetAxisLeftTitleFont() const { return InternalChart->GetLeftAxis()->GetTitle()->GetFont(); }
void TNorq_DBPlotvane::SetAxisLeftTitleFont(TFont* Value) {
    auto* T = InternalChart->GetLeftAxis()->GetTitle();
    PV_WRITE(T->GetFont(), Value, T->SetFont(Value));
}

std::string TNorq_DBPlotvane::GetAxisBottomTitleCaption() const {
    return InternalChart->GetBottomAxis()->GetTitle()->GetCaption();
}
void TNorq_DBPlotvane::SetAxisBottomTitleCaption(const std::string& Value) {
    auto* T = InternalChart->GetBottomAxis()->GetTitle();
    PV_WRITE(T->GetCaption(), Value, T->SetCaption(Value));
}

TFont* TNorq_DBPlotvane::GetAxisBottomTitleFont() const {
    return InternalChart->GetBottomAxis()->GetTitle()->GetFont();
}
void TNorq_DBPlotvane::SetAxisBottomTitleFont(TFont* Value) {
    auto* T = InternalChart->GetBottomAxis()->GetTitle();
    PV_WRITE(T->GetFont(), Value, T->SetFont(Value));
}

// Legend, gradient, 3D, monochrome

bool TNorq_DBPlotvane::GetLegendVisible() const { return InternalChart->GetLegend()->GetVisible(); }
void TNorq_DBPlotvane::SetLegendVisible(bool Value) {
    PV_WRITE(InternalChart->GetLegend()->GetVisible(), Value, InternalChart->GetLegend()->SetVisible(Value));
}

TLegendStyle TNorq_DBPlotvane::GetLegendStyle() const { return InternalChart->GetLegend()->GetLegendStyle(); }
void TNorq_DBPlotvane::SetLegendStyle(TLegendStyle Value) {
    PV_WRITE(InternalChart->GetLegend()->GetLegendStyle(), Value, InternalChart->GetLegend()->SetLegendStyle(Value));
}

TColor TNorq_DBPlotvane::GetGradientStartColor() const { return InternalChart->GetGradient()->GetStartColor(); }
void TNorq_DBPlotvane::SetGradientStartColor(TColor Value) {
    PV_WRITE(InternalChart->GetGradient()->GetStartColor(), Value, InternalChart->GetGradient()->SetStartColor(Value));
}

TColor TNorq_DBPlotvane::GetGradientEndColor() const { return InternalChart->GetGradient()->GetEndColor(); }
void TNorq_DBPlotvane::SetGradientEndColor(TColor Value) {
    PV_WRITE(InternalChart->GetGradient()->GetEndColor(), Value, InternalChart->GetGradient()->SetEndColor(Value));
}

bool TNorq_DBPlotvane::GetGradientVisible() const { return InternalChart->GetGradient()->GetVisible(); }
void TNorq_DBPlotvane::SetGradientVisible(bool Value) {
    PV_WRITE(InternalChart->GetGradient()->GetVisible(), Value, InternalChart->GetGradient()->SetVisible(Value));
}

bool TNorq_DBPlotvane::GetView3D() const { return InternalChart->GetView3D(); }
void TNorq_DBPlotvane::SetView3D(bool Value) { PV_WRITE(InternalChart->GetView3D(), Value, InternalChart->SetView3D(Value)); }

int TNorq_DBPlotvane::GetView3DPercent() const { return InternalChart->GetChart3DPercent(); }
void TNorq_DBPlotvane::SetView3DPercent(int Value) {
    PV_WRITE(InternalChart->GetChart3DPercent(), Value, InternalChart->Set3DPercent(Value));
}

bool TNorq_DBPlotvane::GetMonochrome() const { return InternalChart->GetMonochrome(); }
void TNorq_DBPlotvane::SetMonochrome(bool Value) {
    PV_WRITE(InternalChart->GetMonochrome(), Value, InternalChart->SetMonochrome(Value));
}

// Series

TColor TNorq_DBPlotvane::GetSeriesColor() const { return ChartSeries->GetSeriesColor(); }
void TNorq_DBPlotvane::SetSeriesColor(TColor Value) {
    PV_WRITE(ChartSeries->GetSeriesColor(), Value, ChartSeries->SetSeriesColor(Value));
}

void TNorq_DBPlotvane::SetSeriesColorNegative(TColor Value) {
    PV_WRITE(FSeriesColorNegative, Value, FSeriesColorNegative = Value);
}

void TNorq_DBPlotvane::SetSeriesColorMode(TSeriesColorMode Value) {
    if (Value == FSeriesColorMode) return;
    FSeriesColorMode = Value;
    ChartSeries->SetColorEachPoint(Value == TSeriesColorMode::scColorEachPoint);
    DrawPreviewImage();
}

void TNorq_DBPlotvane::SetSeriesStyle(TSeriesStyle Value) {
    if (Value == FSeriesStyle) return;
    FSeriesStyle = Value;
    // Every value of TSeriesStyle names a line series.
    TChartSeries* Series = ChartSeries.get();
    ChangeSeriesType(Series, &TLineSeries::NewInstance);
    ChartSeries = Series;
    if (auto* P = dynamic_cast<TLineSeries*>(Series)) P->GetPointer()->SetInflateMargins(true);
    if (auto* P = dynamic_cast<TPointSeries*>(Series)) P->GetPointer()->SetInflateMargins(true);
    InternalChart->CalcSize3DWalls();
    DrawPreviewImage();
}

// Marks and value format

TSeriesMarksStyle TNorq_DBPlotvane::GetMarksStyle() const { return ChartSeries->GetMarks()->GetStyle(); }
void TNorq_DBPlotvane::SetMarksStyle(TSeriesMarksStyle Value) {
    PV_WRITE(ChartSeries->GetMarks()->GetStyle(), Value, ChartSeries->GetMarks()->SetStyle(Value));
}

bool TNorq_DBPlotvane::GetMarksVisible() const { return ChartSeries->GetMarks()->GetVisible(); }
void TNorq_DBPlotvane::SetMarksVisible(bool Value) {
    PV_WRITE(ChartSeries->GetMarks()->GetVisible(), Value, ChartSeries->GetMarks()->SetVisible(Value));
}

TColor TNorq_DBPlotvane::GetMarksBackColor() const { return ChartSeries->GetMarks()->GetBackColor(); }
void TNorq_DBPlotvane::SetMarksBackColor(TColor Value) {
    PV_WRITE(ChartSeries->GetMarks()->GetBackColor(), Value, ChartSeries->GetMarks()->SetBackColor(Value));
}

TFont* TNorq_DBPlotvane::GetMarksFont() const { return ChartSeries->GetMarks()->GetFont(); }
void TNorq_DBPlotvane::SetMarksFont(TFont* Value) {
    PV_WRITE(ChartSeries->GetMarks()->GetFont(), Value, ChartSeries->GetMarks()->SetFont(Value));
}

std::string TNorq_DBPlotvane::GetValueFormat() const { return ChartSeries->GetValueFormat(); }
void TNorq_DBPlotvane::SetValueFormat(const std::string& Value) {
    PV_WRITE(ChartSeries->GetValueFormat(), Value, ChartSeries->SetValueFormat(Value));
}

std::string TNorq_DBPlotvane::GetLocale() const { return InternalChart->GetLocale(); }
void TNorq_DBPlotvane::SetLocale(const std::string& Value) {
    PV_WRITE(InternalChart->GetLocale(), Value, InternalChart->SetLocale(Value));
}

#undef PV_WRITE

// Pointer: only point and line series have one. Writes compare nothing and
// always refresh; reads fall back to fixed values without a pointer.

TSeriesPointer* TNorq_DBPlotvane::SeriesPointer() const {
    if (auto* P = dynamic_cast<TPointSeries*>(ChartSeries.get())) return P->GetPointer();
    if (auto* L = dynamic_cast<TLineSeries*>(ChartSeries.get())) return L->GetPointer();
    return nullptr;
}

bool TNorq_DBPlotvane::GetPointerVisible() const {
    TSeriesPointer* P = SeriesPointer();
    return P ? P->GetVisible() : false;
}
void TNorq_DBPlotvane::SetPointerVisible(bool Value) {
    if (TSeriesPointer* P = SeriesPointer())
        P->SetVisible(Value);
    else if (HasState(pv::csLoading))
        FLoadedPointer.Visible = Value;
    DrawPreviewImage();
}

bool TNorq_DBPlotvane::GetPointerDraw3D() const {
    TSeriesPointer* P = SeriesPointer();
    return P ? P->GetDraw3D() : false;
}
void TNorq_DBPlotvane::SetPointerDraw3D(bool Value) {
    if (TSeriesPointer* P = SeriesPointer())
        P->SetDraw3D(Value);
    else if (HasState(pv::csLoading))
        FLoadedPointer.Draw3D = Value;
    DrawPreviewImage();
}

TSeriesPointerStyle TNorq_DBPlotvane::GetPointerStyle() const {
    TSeriesPointer* P = SeriesPointer();
    return P ? P->GetStyle() : TSeriesPointerStyle{};
}
void TNorq_DBPlotvane::SetPointerStyle(TSeriesPointerStyle Value) {
    if (TSeriesPointer* P = SeriesPointer())
        P->SetStyle(Value);
    else if (HasState(pv::csLoading))
        FLoadedPointer.Style = Value;
    DrawPreviewImage();
}

int TNorq_DBPlotvane::GetPointerHorizSize() const {
    TSeriesPointer* P = SeriesPointer();
    return P ? P->GetHorizSize() : 4;
}
void TNorq_DBPlotvane::SetPointerHorizSize(int Value) {
    if (TSeriesPointer* P = SeriesPointer())
        P->SetHorizSize(Value);
    else if (HasState(pv::csLoading))
        FLoadedPointer.HorizSize = Value;
    DrawPreviewImage();
}

int TNorq_DBPlotvane::GetPointerVertSize() const {
    TSeriesPointer* P = SeriesPointer();
    return P ? P->GetVertSize() : 4;
}
void TNorq_DBPlotvane::SetPointerVertSize(int Value) {
    if (TSeriesPointer* P = SeriesPointer())
        P->SetVertSize(Value);
    else if (HasState(pv::csLoading))
        FLoadedPointer.VertSize = Value;
    DrawPreviewImage();
}

}  // namespace Norq_Plotvane
