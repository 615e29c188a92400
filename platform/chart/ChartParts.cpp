#include "platform/chart/ChartParts.h"

#include "platform/vcl/Control.h"

namespace pv {

namespace {
std::unique_ptr<TFont> MakeFont(int Size, TColor Color, TFontStyles Style = 0) {
    auto F = std::make_unique<TFont>();
    F->SetSize(Size);
    F->SetColor(Color);
    F->SetStyle(Style);
    return F;
}
}  // namespace

TChartFontObject::TChartFontObject(TControl* AParent) : FParent(AParent), FFont(std::make_unique<TFont>()) {}

void TChartFontObject::Changed() {
    if (FParent) FParent->Changed();
}

void TChartFontObject::SetFont(const TFont* AFont) {
    if (!AFont) return;
    FFont->Assign(*AFont);
    Changed();
}

TChartTitle::TChartTitle(TControl* AParent) : TChartFontObject(AParent), FText(std::make_unique<TStringList>()) {
    GetFont()->SetSize(12);
    GetFont()->SetColor(clNavy);
    GetFont()->SetStyle(fsBold);
}

void TChartTitle::SetColor(TColor Value) {
    FColor = Value;
    Changed();
}
void TChartTitle::SetAlignment(TAlignment Value) {
    FAlignment = Value;
    Changed();
}
void TChartTitle::SetVisible(bool Value) {
    FVisible = Value;
    Changed();
}

TChartAxisTitle::TChartAxisTitle(TControl* AParent) : TChartFontObject(AParent) {
    GetFont()->SetSize(9);
    GetFont()->SetColor(clBlack);
}

void TChartAxisTitle::SetCaption(const std::string& Value) {
    FCaption = Value;
    Changed();
}

TChartAxis::TChartAxis(TControl* AParent)
    : FParent(AParent), FTitle(std::make_unique<TChartAxisTitle>(AParent)), FLabelsFont(MakeFont(8, clBlack)) {}

void TChartAxis::SetVisible(bool Value) {
    FVisible = Value;
    if (FParent) FParent->Changed();
}
void TChartAxis::SetAutomatic(bool Value) {
    FAutomatic = Value;
    if (FParent) FParent->Changed();
}
void TChartAxis::SetMinMax(double AMin, double AMax) {
    FMinimum = AMin;
    FMaximum = AMax;
    FAutomatic = false;
    if (FParent) FParent->Changed();
}
void TChartAxis::SetGridVisible(bool Value) {
    FGridVisible = Value;
    if (FParent) FParent->Changed();
}

void TChartAxis::SetLogarithmic(bool Value) {
    FLogarithmic = Value;
    if (FParent) FParent->Changed();
}

TCustomChartLegend::TCustomChartLegend(TControl* AParent) : TChartFontObject(AParent) {
    GetFont()->SetSize(8);
    GetFont()->SetColor(clBlack);
}
void TCustomChartLegend::SetVisible(bool Value) {
    FVisible = Value;
    Changed();
}
void TCustomChartLegend::SetLegendStyle(TLegendStyle Value) {
    FLegendStyle = Value;
    Changed();
}
void TCustomChartLegend::SetColor(TColor Value) {
    FColor = Value;
    Changed();
}

void TCustomTeeGradient::SetVisible(bool Value) {
    FVisible = Value;
    if (FParent) FParent->Changed();
}
void TCustomTeeGradient::SetStartColor(TColor Value) {
    FStartColor = Value;
    if (FParent) FParent->Changed();
}
void TCustomTeeGradient::SetEndColor(TColor Value) {
    FEndColor = Value;
    if (FParent) FParent->Changed();
}

}  // namespace pv
