#include "platform/chart/Series.h"

#include <algorithm>
#include <cmath>

#include "platform/chart/Chart.h"
#include "platform/rtl/Exception.h"

namespace pv {

void TChartValueList::SetValueSource(const std::string& Value) {
    FValueSource = Value;
    FOwner->Changed();
    FOwner->CheckDataSource();
}

void TChartValueList::SetKind(TChartValueKind Value) {
    if (Value == FKind) return;
    FKind = Value;
    FOwner->Changed();
}

// Marks

TSeriesMarks::TSeriesMarks(TChartSeries* AOwner) : FOwner(AOwner), FFont(std::make_unique<TFont>()) {
    FFont->SetSize(8);
    FFont->SetColor(clBlack);
}

void TSeriesMarks::Changed() { FOwner->Changed(); }
void TSeriesMarks::SetVisible(bool Value) {
    FVisible = Value;
    Changed();
}
void TSeriesMarks::SetStyle(TSeriesMarksStyle Value) {
    FStyle = Value;
    Changed();
}
void TSeriesMarks::SetBackColor(TColor Value) {
    FBackColor = Value;
    Changed();
}
void TSeriesMarks::SetFont(const TFont* AFont) {
    if (!AFont) return;
    FFont->Assign(*AFont);
    Changed();
}
void TSeriesMarks::SetFrameVisible(bool Value) {
    FFrameVisible = Value;
    Changed();
}

void TSeriesMarks::Assign(const TPersistent& Source) {
    if (auto* S = dynamic_cast<const TSeriesMarks*>(&Source)) {
        FVisible = S->FVisible;
        FStyle = S->FStyle;
        FBackColor = S->FBackColor;
        FFont->Assign(*S->FFont);
        FFrameVisible = S->FFrameVisible;
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}

// Pointer

void TSeriesPointer::Changed() { FOwner->Changed(); }
void TSeriesPointer::SetVisible(bool Value) {
    FVisible = Value;
    Changed();
}
void TSeriesPointer::SetDraw3D(bool Value) {
    FDraw3D = Value;
    Changed();
}
void TSeriesPointer::SetStyle(TSeriesPointerStyle Value) {
    FStyle = Value;
    Changed();
}
void TSeriesPointer::SetHorizSize(int Value) {
    FHorizSize = Value;
    Changed();
}
void TSeriesPointer::SetVertSize(int Value) {
    FVertSize = Value;
    Changed();
}
void TSeriesPointer::SetInflateMargins(bool Value) {
    FInflateMargins = Value;
    Changed();
}

void TSeriesPointer::Assign(const TPersistent& Source) {
    if (auto* S = dynamic_cast<const TSeriesPointer*>(&Source)) {
        FVisible = S->FVisible;
        FDraw3D = S->FDraw3D;
        FStyle = S->FStyle;
        FHorizSize = S->FHorizSize;
        FVertSize = S->FVertSize;
        FInflateMargins = S->FInflateMargins;
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}

// Series

TChartSeries::TChartSeries(TComponent* AOwner)
    : TComponent(AOwner),
      FXValues(std::make_unique<TChartValueList>(this, "X")),
      FYValues(std::make_unique<TChartValueList>(this, "Y")),
      FMarks(std::make_unique<TSeriesMarks>(this)) {}

TChartSeries::~TChartSeries() { Destroying(); }

void TChartSeries::BeforeDestruction() noexcept {
    SetParentChart(nullptr);
    TComponent::BeforeDestruction();
}

void TChartSeries::Changed() {
    if (FParentChart) FParentChart->Changed();
}

void TChartSeries::SetParentChart(TCustomChart* Value) {
    if (Value == FParentChart) return;
    if (FParentChart) FParentChart->RemoveSeries(this);
    FParentChart = Value;
    if (FParentChart) FParentChart->AddSeries(this);
}

void TChartSeries::SetSeriesColor(TColor Value) {
    FSeriesColor = Value;
    Changed();
}

void TChartSeries::SetColorEachPoint(bool Value) {
    FColorEachPoint = Value;
    Changed();
}

void TChartSeries::SetTitle(const std::string& Value) {
    FTitle = Value;
    Changed();
}

bool TChartSeries::IsNull(int Index) const { return !std::isfinite(GetYValue(Index)); }

bool TChartSeries::HasLabels() const { return FLabelCount > 0; }

void TChartSeries::CheckIndex(int Index) const {
    if (Index < 0 || Index >= Count())
        throw EListError("Point index " + std::to_string(Index) + " out of range of series '" + GetName() + "' with " +
                         std::to_string(Count()) + " points");
}

const std::string& TChartSeries::GetLabel(int Index) const {
    static const std::string None;
    CheckIndex(Index);
    return FLabels.empty() ? None : FLabels[static_cast<std::size_t>(Index)];
}

TColor TChartSeries::GetValueColor(int Index) const {
    CheckIndex(Index);
    return FColors.empty() ? clDefault : FColors[static_cast<std::size_t>(Index)];
}

void TChartSeries::SetValueColor(int Index, TColor Color) {
    CheckIndex(Index);
    if (FColors.empty() && Color == clDefault) return;
    if (FColors.empty()) FColors.assign(static_cast<std::size_t>(Count()), clDefault);
    FColors[static_cast<std::size_t>(Index)] = Color;
    Changed();
}

int TChartSeries::Add(double Y, const std::string& Label, TColor Color) {
    return AddXY(static_cast<double>(Count()), Y, Label, Color);
}

int TChartSeries::AddXY(double X, double Y, const std::string& Label, TColor Color) {
    // Anything that is not a finite number cannot be plotted: it is a null
    // point, so no NaN or infinity ever reaches the drawing.
    if (!std::isfinite(Y)) Y = std::nan("");
    if (!std::isfinite(X)) X = static_cast<double>(Count());
    const std::size_t Before = FYValues->FValues.size();
    FXValues->FValues.push_back(X);
    FYValues->FValues.push_back(Y);
    if (!FLabels.empty() || !Label.empty()) {
        FLabels.resize(Before);
        FLabels.push_back(Label);
    }
    FLabelCount += !Label.empty();
    if (!FColors.empty() || Color != clDefault) {
        FColors.resize(Before, clDefault);
        FColors.push_back(Color);
    }
    Changed();
    return Count() - 1;
}

void TChartSeries::SetPoints(std::vector<double>&& Xs, std::vector<double>&& Ys, std::vector<std::string>&& Labels) {
    if (Xs.size() != Ys.size() || (!Labels.empty() && Labels.size() != Ys.size()))
        throw EListError("Series '" + GetName() + "': " + std::to_string(Xs.size()) + " X values, " +
                         std::to_string(Ys.size()) + " Y values and " + std::to_string(Labels.size()) +
                         " labels do not make points");
    for (std::size_t I = 0; I < Ys.size(); ++I) {
        if (!std::isfinite(Ys[I])) Ys[I] = std::nan("");
        if (!std::isfinite(Xs[I])) Xs[I] = static_cast<double>(I);
    }
    FGroups.clear();
    FGroupTitle.clear();
    FXValues->FValues = std::move(Xs);
    FYValues->FValues = std::move(Ys);
    FLabelCount = 0;
    for (const std::string& L : Labels) FLabelCount += !L.empty();
    FLabels = FLabelCount > 0 ? std::move(Labels) : std::vector<std::string>();
    FColors.clear();
    FPointFieldNames.clear();
    FPointFields.clear();
    Changed();
}

int TChartSeries::AddNull(const std::string& Label) { return Add(std::nan(""), Label); }

void TChartSeries::Delete(int Index) {
    if (Index < 0 || Index >= Count())
        throw EListError("Point index " + std::to_string(Index) + " out of range of series '" + GetName() + "' with " +
                         std::to_string(Count()) + " points");
    auto I = static_cast<std::size_t>(Index);
    FXValues->FValues.erase(FXValues->FValues.begin() + static_cast<std::ptrdiff_t>(I));
    FYValues->FValues.erase(FYValues->FValues.begin() + static_cast<std::ptrdiff_t>(I));
    if (!FLabels.empty()) {
        FLabelCount -= !FLabels[I].empty();
        FLabels.erase(FLabels.begin() + static_cast<std::ptrdiff_t>(I));
    }
    if (!FColors.empty()) FColors.erase(FColors.begin() + static_cast<std::ptrdiff_t>(I));
    Changed();
}

void TChartSeries::Clear() {
    FGroups.clear();
    FGroupTitle.clear();
    FXValues->FValues.clear();
    FYValues->FValues.clear();
    FLabels.clear();
    FLabelCount = 0;
    FColors.clear();
    FPointFieldNames.clear();
    FPointFields.clear();
    Changed();
}

void TChartSeries::SetPointFields(std::vector<std::string> Names, std::vector<std::vector<std::string>> Columns) {
    Columns.resize(Names.size());
    FPointFieldNames = std::move(Names);
    FPointFields = std::move(Columns);
}

const std::string* TChartSeries::PointField(int Index, std::string_view Name) const {
    for (std::size_t K = 0; K < FPointFieldNames.size(); ++K)
        if (FPointFieldNames[K] == Name) {
            const std::vector<std::string>& Column = FPointFields[K];
            if (Index < 0 || static_cast<std::size_t>(Index) >= Column.size()) return nullptr;
            return &Column[static_cast<std::size_t>(Index)];
        }
    return nullptr;
}

void TChartSeries::SetValueFormat(const std::string& Value) {
    FValueFormat = Value;
    Changed();
}

void TChartSeries::SetLabelsSource(const std::string& Value) {
    FLabelsSource = Value;
    Changed();
    CheckDataSource();
}

void TChartSeries::SetGroupSource(const std::string& Value) {
    FGroupSource = Value;
    Changed();
    CheckDataSource();
}

TChartSeries& TChartSeries::AddGroup(const std::string& ATitle) {
    auto G = MakeUniqueComponent<TChartSeries>(nullptr);
    G->FSeriesColor = clDefault;
    G->FTitle = ATitle;
    FGroups.push_back(std::move(G));
    Changed();
    return *FGroups.back();
}

void TChartSeries::SetGroupTitle(const std::string& Value) {
    FGroupTitle = Value;
    Changed();
}

TComponent* TChartSeries::GetDataSource() const {
    // The newest live entry; entries whose component died read as empty.
    for (auto It = FDataSources.rbegin(); It != FDataSources.rend(); ++It)
        if (TComponent* C = It->get()) return C;
    return nullptr;
}

void TChartSeries::SetDataSource(TComponent* Value) {
    if (!Value) {
        FDataSources.clear();
        Clear();
        return;
    }
    auto Same = [&](const TComponentPtr<TComponent>& P) { return P.get() == Value; };
    if (std::find_if(FDataSources.begin(), FDataSources.end(), Same) == FDataSources.end())
        FDataSources.emplace_back(Value);
    Changed();
    CheckDataSource();
}

void TChartSeries::ClearDataSources() {
    FDataSources.clear();
    Changed();
}

void TChartSeries::CheckDataSource() {
    if (FParentChart && GetDataSource()) FParentChart->CheckDatasource(*this);
}

void TChartSeries::Assign(const TPersistent& Source) {
    if (auto* S = dynamic_cast<const TChartSeries*>(&Source)) {
        FSeriesColor = S->FSeriesColor;
        FColorEachPoint = S->FColorEachPoint;
        FTitle = S->FTitle;
        FXValues->FValues = S->FXValues->FValues;
        FXValues->FValueSource = S->FXValues->FValueSource;
        FXValues->FKind = S->FXValues->FKind;
        FYValues->FKind = S->FYValues->FKind;
        FYValues->FValues = S->FYValues->FValues;
        FYValues->FValueSource = S->FYValues->FValueSource;
        FLabels = S->FLabels;
        FLabelCount = S->FLabelCount;
        FColors = S->FColors;
        FPointFieldNames = S->FPointFieldNames;
        FPointFields = S->FPointFields;
        FMarks->Assign(*S->FMarks);
        FValueFormat = S->FValueFormat;
        FLabelsSource = S->FLabelsSource;
        FDataSources = S->FDataSources;
        FGroupSource = S->FGroupSource;
        FGroupTitle = S->FGroupTitle;
        FGroups.clear();
        for (const auto& G : S->FGroups) {
            auto Copy = MakeUniqueComponent<TChartSeries>(nullptr);
            Copy->Assign(*G);
            FGroups.push_back(std::move(Copy));
        }
        if (GetPointer() && S->GetPointer()) GetPointer()->Assign(*S->GetPointer());
        Changed();
        return;
    }
    TComponent::Assign(Source);
}

TBarSeries::TBarSeries(TComponent* AOwner) : TChartSeries(AOwner) { GetMarks()->SetVisible(true); }

void TBarSeries::SetBarWidthPercent(int Value) {
    FBarWidthPercent = std::clamp(Value, 1, 100);
    Changed();
}

TLineSeries::TLineSeries(TComponent* AOwner)
    : TChartSeries(AOwner), FPointer(std::make_unique<TSeriesPointer>(this)) {
    FPointer->SetVisible(false);
}

TPointSeries::TPointSeries(TComponent* AOwner)
    : TChartSeries(AOwner), FPointer(std::make_unique<TSeriesPointer>(this)) {}

TPieSeries::TPieSeries(TComponent* AOwner) : TChartSeries(AOwner) { GetMarks()->SetVisible(true); }

void ChangeSeriesType(TChartSeries*& ASeries, TChartSeriesClass NewClass) {
    if (!ASeries || !NewClass) return;
    TComponent* Owner = ASeries->GetOwner();
    TCustomChart* Chart = ASeries->GetParentChart();
    int Place = -1;
    if (Chart)
        for (int I = 0; I < Chart->SeriesCount(); ++I)
            if (Chart->GetSeries(I) == ASeries) Place = I;
    TUniqueComponent<TChartSeries> Fresh(NewClass(nullptr));
    Fresh->Assign(*ASeries);
    TChartSeries* Old = ASeries;
    std::string Name = Old->GetName();
    // The new series takes the old one's place: same owner, same name, same
    // chart.
    Old->Free();
    ASeries = Fresh.release();
    if (Owner) Owner->InsertComponent(ASeries);
    ASeries->SetName(Name);
    ASeries->SetParentChart(Chart);
    if (Chart && Place >= 0) Chart->MoveSeries(ASeries, Place);
}

}  // namespace pv
