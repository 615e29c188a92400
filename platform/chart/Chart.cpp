#include "platform/chart/Chart.h"

#include <algorithm>

#include "platform/chart/internal/AxisMath.h"
#include "platform/chart/internal/ChartDraw.h"
#include "platform/rtl/Exception.h"

namespace pv {

std::string TCustomTeePanel::NameForMessage() const {
    // A component's hidden chart has no name of its own: name its owner.
    if (!GetName().empty()) return " '" + GetName() + "'";
    if (GetOwner() && !GetOwner()->GetName().empty()) return " of '" + GetOwner()->GetName() + "'";
    return {};
}

void TCustomTeePanel::SetView3D(bool Value) {
    FView3D = Value;
    Changed();
}

void TCustomTeePanel::Set3DPercent(int Value) {
    F3DPercent = Value;
    Changed();
}

void TCustomTeePanel::SetMonochrome(bool Value) {
    FMonochrome = Value;
    Changed();
}

void TCustomTeePanel::CheckSize(const char* Which, int Value) const {
    if (Value < 1 || Value > TBitmap::MaxSide)
        throw EInvalidGraphic(std::string("Chart ") + Which + " " + std::to_string(Value) + NameForMessage() +
                              " is out of range 1.." + std::to_string(TBitmap::MaxSide));
}

std::unique_ptr<TBitmap> TCustomTeePanel::TeeCreateBitmap(TColor ABackColor, const TRect& R) const {
    const std::int64_t W = std::int64_t{R.Right} - R.Left;
    const std::int64_t H = std::int64_t{R.Bottom} - R.Top;
    if (W < 1 || H < 1 || W > TBitmap::MaxSide || H > TBitmap::MaxSide || W * H > TBitmap::MaxPixels)
        throw EInvalidGraphic("Cannot draw chart" + NameForMessage() + " at " + std::to_string(W) + " x " +
                              std::to_string(H) + " pixels: each side must be 1.." +
                              std::to_string(TBitmap::MaxSide) + " and the area at most " +
                              std::to_string(TBitmap::MaxPixels) + " pixels");
    auto Bitmap = std::make_unique<TBitmap>(static_cast<int>(W), static_cast<int>(H), ABackColor);
    Draw(*Bitmap);
    return Bitmap;
}

TCustomAxisPanel::TCustomAxisPanel(TComponent* AOwner)
    : TCustomTeePanel(AOwner),
      FLeftAxis(std::make_unique<TChartAxis>(this)),
      FBottomAxis(std::make_unique<TChartAxis>(this)) {}

TCustomAxisPanel::~TCustomAxisPanel() { Destroying(); }

void TCustomAxisPanel::BeforeDestruction() noexcept {
    // The chart frees the series it owns before anyone hears that the chart
    // goes; series that someone else owns outlive the chart and are
    // detached so they never look at a chart that is gone.
    for (TChartSeries* S : std::vector<TChartSeries*>(FSeriesList)) {
        if (S->GetOwner() == this)
            S->Free();
        else
            S->SetParentChart(nullptr);
    }
    TCustomTeePanel::BeforeDestruction();
}

void TCustomAxisPanel::AddSeries(TChartSeries* S) {
    if (std::find(FSeriesList.begin(), FSeriesList.end(), S) == FSeriesList.end()) FSeriesList.push_back(S);
    Changed();
}

void TCustomAxisPanel::RemoveSeries(TChartSeries* S) {
    FSeriesList.erase(std::remove(FSeriesList.begin(), FSeriesList.end(), S), FSeriesList.end());
    Changed();
}

void TCustomAxisPanel::Notification(TComponent* AComponent, TOperation Operation) {
    TCustomTeePanel::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove) {
        auto It = std::find(FSeriesList.begin(), FSeriesList.end(), AComponent);
        if (It != FSeriesList.end()) FSeriesList.erase(It);
    }
}

void TCustomAxisPanel::CalcSize3DWalls() {
    // The same depth the painter draws with (see Depth3D).
    const int Depth = GetView3D() ? Depth3D(GetWidth(), GetHeight(), GetChart3DPercent(), SeriesCount()) : 0;
    FSeriesWidth3D = Depth;
    FSeriesHeight3D = Depth;
}

TCustomChart::TCustomChart(TComponent* AOwner)
    : TCustomAxisPanel(AOwner),
      FTitle(std::make_unique<TChartTitle>(this)),
      FLegend(std::make_unique<TCustomChartLegend>(this)),
      FGradient(std::make_unique<TCustomTeeGradient>(this)) {}

void TCustomChart::CheckDatasource(TChartSeries& ASeries) { (void)ASeries; }

void TCustomChart::Draw(TBitmap& Bitmap) const { DrawChart(*this, Bitmap); }

}  // namespace pv
