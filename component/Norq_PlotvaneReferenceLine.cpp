// TNorq_DBPlotvaneReferenceLine: the chart's reference line, handed to the
// hidden chart at each change.

#include <cmath>

#include "component/Norq_Plotvane.h"
#include "platform/rtl/FormatFloat.h"

namespace Norq_Plotvane {

void TNorq_DBPlotvaneReferenceLine::Assign(const pv::TPersistent& Source) {
    const auto* Other = dynamic_cast<const TNorq_DBPlotvaneReferenceLine*>(&Source);
    if (!Other) {
        pv::TPersistent::Assign(Source);
        return;
    }
    if (Other == this) return;
    FValue = Other->FValue;
    FCaption = Other->FCaption;
    FColor = Other->FColor;
    FVisible = Other->FVisible;
    Changed();
}

void TNorq_DBPlotvaneReferenceLine::SetValue(double Value) {
    if (!std::isfinite(Value))
        throw pv::ERangeError("ReferenceLine.Value of '" + (FChart ? FChart->GetName() : std::string()) +
                              "' cannot be " + pv::FormatFloat("", Value) + ": it must be a finite number");
    if (Value == FValue && std::signbit(Value) == std::signbit(FValue) && FVisible) return;
    FValue = Value;
    FVisible = true;
    Changed();
}

void TNorq_DBPlotvaneReferenceLine::SetCaption(const std::string& Value) {
    if (Value == FCaption && FVisible) return;
    FCaption = Value;
    FVisible = true;
    Changed();
}

void TNorq_DBPlotvaneReferenceLine::SetColor(TColor Value) {
    if (Value == FColor) return;
    FColor = Value;
    Changed();
}

void TNorq_DBPlotvaneReferenceLine::SetVisible(bool Value) {
    if (Value == FVisible) return;
    FVisible = Value;
    Changed();
}

bool TNorq_DBPlotvaneReferenceLine::IsSet() const {
    return FVisible || FValue != 0 || std::signbit(FValue) || !FCaption.empty() || FColor != pv::clDefault;
}

void TNorq_DBPlotvaneReferenceLine::Changed() {
    if (FChart) FChart->ReferenceLineChanged();
}

void TNorq_DBPlotvane::SetReferenceLine(TNorq_DBPlotvaneReferenceLine* Value) {
    if (Value && Value != FReferenceLine.get()) FReferenceLine->Assign(*Value);
}

void TNorq_DBPlotvane::ReferenceLineChanged() {
    if (!InternalChart || !FReferenceLine) return;
    TChartReferenceLine Line;
    Line.Visible = FReferenceLine->GetVisible();
    Line.Value = FReferenceLine->GetValue();
    Line.Caption = FReferenceLine->GetCaption();
    // The classic look's colour; a theme puts its own on the chart while it
    // draws (Norq_PlotvaneTheme.cpp).
    Line.Color = FReferenceLine->GetColor() == pv::clDefault ? pv::clRed : FReferenceLine->GetColor();
    InternalChart->SetReferenceLine(Line);
    DrawPreviewImage();
}

}  // namespace Norq_Plotvane
