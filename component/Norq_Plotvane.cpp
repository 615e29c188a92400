#include "component/Norq_Plotvane.h"
#include "component/Norq_PlotvaneHotspots.h"

#include <algorithm>

#include "component/Norq_PlotvaneSeries.h"

#include <cstdio>
#include <utility>

namespace Norq_Plotvane {

// ---------------------------------------------------------------------------
// Data link

TNorq_DBPlotvaneDataLink::TNorq_DBPlotvaneDataLink(TNorq_DBPlotvane* AOwnerComponent)
    : OwnerComponent(AOwnerComponent) {
    SetVisualControl(false);
}

TNorq_DBPlotvaneDataLink::~TNorq_DBPlotvaneDataLink() {
    // The base destructor then detaches the link; with the reference
    // cleared first, nothing it causes reaches the component.
    OwnerComponent = nullptr;
}

void TNorq_DBPlotvaneDataLink::ActiveChanged() {
    if (!OwnerComponent) return;
    OwnerComponent->ActiveChanged();
    OwnerComponent->DrawPreviewImage();
}

void TNorq_DBPlotvaneDataLink::UpdateData() {
    if (OwnerComponent) OwnerComponent->DrawPreviewImage();
}

// ---------------------------------------------------------------------------
// Construction and destruction

TNorq_DBPlotvane::TNorq_DBPlotvane(TComponent* AOwner) : TComponent(AOwner) {
    try {
        GifPicture = std::make_unique<TGIFImage>();
        SnapshotBitmap = std::make_unique<TBitmap>();
        JpegPicture = std::make_unique<TJPEGImage>();
        ResponseStream = std::make_unique<TMemoryStream>();
        FPreviewFormat = TPreviewFormat::pfBMP;
        FJPEGQuality = 80;

        InternalChart = new TDBChart(this);
        InternalChart->SetColor(pv::clWindow);
        InternalChart->GetTitle()->SetColor(pv::clDefault);
        InternalChart->GetTitle()->GetText()->Clear();
        InternalChart->GetTitle()->GetText()->Add("Norq_DBPlotvane");
        InternalChart->SetBevelOuter(TBevelCut::bvNone);
        InternalChart->SetBevelInner(TBevelCut::bvNone);
        InternalChart->GetLegend()->SetVisible(true);
        InternalChart->GetLegend()->SetLegendStyle(TLegendStyle::lsValues);

        ChartSeries = new TBarSeries(InternalChart.get());
        ChartSeries->SetParentChart(InternalChart.get());
        ChartSeries->SetSeriesColor(pv::clBlue);

        FSeriesColorNegative = pv::clRed;
        FSeriesColorMode = TSeriesColorMode::scColorEachPoint;
        FSeriesStyle = TSeriesStyle::ssLineSeries;
        FDataSource = nullptr;
        ChartSeries->SetColorEachPoint(FSeriesColorMode == TSeriesColorMode::scColorEachPoint);
        SetSeriesPalette(DefaultSeriesPalette);
        FReferenceLine = std::make_unique<TNorq_DBPlotvaneReferenceLine>(this);

        ChartDataLink = std::make_unique<TNorq_DBPlotvaneDataLink>(this);
    } catch (...) {
        // A partly built component is taken apart at once; members never
        // created are skipped.
        ReleaseMembers();
        throw;
    }
}

TNorq_DBPlotvane::~TNorq_DBPlotvane() { Destroying(); }

void TNorq_DBPlotvane::BeforeDestruction() noexcept {
    ReleaseMembers();
    // The base then tells the data source and the preview image (linked by
    // FreeNotification) and the owner that the component is going.
    TComponent::BeforeDestruction();
}

void TNorq_DBPlotvane::ReleaseMembers() noexcept {
    // Each member is cleared before its object goes, so a removal notice
    // that arrives meanwhile finds it already absent. The chart frees its
    // own series first, so the series goes before the chart.
    ResponseStream.reset();
    SnapshotBitmap.reset();
    GifPicture.reset();
    JpegPicture.reset();
    ChartSeries = nullptr;
    if (TDBChart* Chart = InternalChart.get()) {
        InternalChart = nullptr;
        Chart->Free();
    }
    ChartDataLink.reset();
}

bool TNorq_DBPlotvane::LoadGateClosed() const { return HasState(pv::csLoading) && !HasState(pv::csDesigning); }

void TNorq_DBPlotvane::Loaded() {
    TComponent::Loaded();
    DrawPreviewImage();
}

// ---------------------------------------------------------------------------
// Refresh and render

void TNorq_DBPlotvane::AfterDraw() {
    if (!HasState(pv::csDesigning) && FOnAfterDraw.Assigned()) FOnAfterDraw(this);
}

void TNorq_DBPlotvane::DrawPreviewImage() {
    if (LoadGateClosed()) return;
    TImage* Image = FPreviewImage.get();
    if (!Image) return;
    DrawInternalImages();
    // The render may have run handlers; look through the guard again.
    Image = FPreviewImage.get();
    if (Image && FPreviewFormat == TPreviewFormat::pfBMP) Image->GetPicture()->GetBitmap()->Assign(*SnapshotBitmap);
    AfterDraw();
}

void TNorq_DBPlotvane::ColorPoints() {
    const int N = ChartSeries->Count();
    switch (FSeriesColorMode) {
        case TSeriesColorMode::scPositiveNegative: {
            const TColor Positive = GetSeriesColor();
            for (int I = 0; I < N; ++I)
                ChartSeries->SetValueColor(I, ChartSeries->GetYValue(I) >= 0.0 ? Positive : FSeriesColorNegative);
            break;
        }
        case TSeriesColorMode::scColorEachPoint:
            for (int I = 0; I < N; ++I) ChartSeries->SetValueColor(I, pv::clDefault);
            break;
        case TSeriesColorMode::scSingleColor:
            break;
    }
    // The further groups of a split series follow the mode in their own
    // palette colours: clDefault is the group's colour.
    if (FSeriesColorMode != TSeriesColorMode::scSingleColor)
        for (int G = 0; G < ChartSeries->GroupCount(); ++G) {
            TChartSeries& S = *ChartSeries->GetGroup(G);
            const bool BySign = FSeriesColorMode == TSeriesColorMode::scPositiveNegative;
            for (int I = 0; I < S.Count(); ++I)
                S.SetValueColor(I, BySign && S.GetYValue(I) < 0.0 ? FSeriesColorNegative : pv::clDefault);
        }
    for (const auto& Extra : FExtraSeries)
        if (auto* S = static_cast<TNorq_DBPlotvaneSeries*>(Extra.get())) S->ColorPoints();
}

void TNorq_DBPlotvane::AddExtraSeries(TNorq_DBPlotvaneSeries* ASeries) {
    RemoveExtraSeries(ASeries);
    FExtraSeries.emplace_back(ASeries);
}

void TNorq_DBPlotvane::RemoveExtraSeries(TNorq_DBPlotvaneSeries* ASeries) {
    // Entries of series that are gone go too.
    std::erase_if(FExtraSeries, [&](const pv::TComponentPtr<TComponent>& P) { return !P || P.Refers(ASeries); });
}

int TNorq_DBPlotvane::ExtraSeriesCount() const {
    return static_cast<int>(std::count_if(FExtraSeries.begin(), FExtraSeries.end(),
                                          [](const pv::TComponentPtr<TComponent>& P) { return bool(P); }));
}

void TNorq_DBPlotvane::DrawInternalImages() {
    if (LoadGateClosed()) return;
    DrawThemed([&] {
        InternalChart->TeeDrawBitmap(*SnapshotBitmap, pv::clWhite,
                                     pv::Rect(0, 0, InternalChart->GetWidth(), InternalChart->GetHeight()), FScale);
    });
    GifPicture->Assign(*SnapshotBitmap);
    JpegPicture->SetCompressionQuality(static_cast<std::uint8_t>(FJPEGQuality & 0xFF));
    JpegPicture->Assign(*SnapshotBitmap);
}

std::string TNorq_DBPlotvane::GetVectorPicture(pv::TVectorFormat Format, bool Transparent) {
    if (LoadGateClosed()) return {};
    std::string Document;
    DrawThemed([&] {
        Document = InternalChart->TeeCreateVector(
            Format, Transparent ? pv::clNone : pv::clWhite,
            pv::Rect(0, 0, InternalChart->GetWidth(), InternalChart->GetHeight()), FScale);
    });
    // Each point a titled group over the drawing, so a browser shows its
    // hint, and follows its link.
    if (Format == pv::TVectorFormat::vfSVG) AddHotspotsToSvg(Document, GetHotspots());
    return Document;
}

std::unique_ptr<TBitmap> TNorq_DBPlotvane::GetTransparentBitmap() {
    auto Bitmap = std::make_unique<TBitmap>();
    if (LoadGateClosed()) return Bitmap;
    DrawThemed([&] {
        InternalChart->TeeDrawBitmap(*Bitmap, pv::clNone,
                                     pv::Rect(0, 0, InternalChart->GetWidth(), InternalChart->GetHeight()), FScale);
    });
    return Bitmap;
}

void TNorq_DBPlotvane::SetScale(double Value) {
    if (Value == FScale) return;
    if (!(Value >= pv::MinChartScale && Value <= pv::MaxChartScale)) {
        char Text[32];
        std::snprintf(Text, sizeof Text, "%g", Value);
        throw pv::ERangeError(std::string("Scale ") + Text + " of '" + GetName() + "' is out of range 1..4");
    }
    FScale = Value;
    DrawPreviewImage();
}

TBitmap* TNorq_DBPlotvane::GetBMPPicture() {
    DrawInternalImages();
    return SnapshotBitmap.get();
}

TGIFImage* TNorq_DBPlotvane::GetGIFPicture() {
    DrawInternalImages();
    return GifPicture.get();
}

TJPEGImage* TNorq_DBPlotvane::GetJPEGPicture() {
    DrawInternalImages();
    return JpegPicture.get();
}

// ---------------------------------------------------------------------------
// Web responses

template <class Picture>
void TNorq_DBPlotvane::SendPicture(TWebResponse& Response, const Picture& APicture, const char* ContentType) {
    DrawInternalImages();
    AfterDraw();
    ResponseStream->Clear();
    ResponseStream->SetPosition(0);
    APicture.SaveToStream(*ResponseStream);
    ResponseStream->SetPosition(0);
    Response.SetContentStream(ResponseStream.get());
    Response.SetContentType(ContentType);
    Response.SendResponse();
}

void TNorq_DBPlotvane::GetGifResponse(TWebResponse& Response) { SendPicture(Response, *GifPicture, "image/gif"); }

void TNorq_DBPlotvane::GetJPegResponse(TWebResponse& Response) {
    SendPicture(Response, *JpegPicture, "image/jpeg");
}

// ---------------------------------------------------------------------------
// Preview properties

void TNorq_DBPlotvane::SetPreviewImage(TImage* Value) {
    TImage* Held = FPreviewImage.get();
    if (Value == Held) return;
    if (Held) RemoveFreeNotification(Held);
    FPreviewImage = Value;
    if (Value) {
        // Told when the image dies, also when another owner holds it; the
        // guard turns null by itself either way.
        FreeNotification(Value);
        Value->GetPicture()->Clear();
        DrawPreviewImage();
    }
}

void TNorq_DBPlotvane::SetPreviewFormat(TPreviewFormat Value) {
    if (Value == FPreviewFormat) return;
    FPreviewFormat = Value;
    if (FPreviewImage) DrawPreviewImage();
}

void TNorq_DBPlotvane::SetJPEGQuality(std::int32_t Value) {
    if (Value == FJPEGQuality) return;
    if (Value < 1 || Value > 100)
        throw pv::ERangeError("JPEGQuality " + std::to_string(Value) + " of '" + GetName() +
                              "' is out of range 1..100");
    FJPEGQuality = Value;
    DrawPreviewImage();
}

// ---------------------------------------------------------------------------
// Removal notices and data binding

void TNorq_DBPlotvane::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove) return;
    if (ChartDataLink && AComponent && FDataSource.Refers(AComponent)) SetDataSource(nullptr);
}

void TNorq_DBPlotvane::ActiveChanged() {
    TDataSource* Source = FDataSource.get();
    if (!Source) return;
    // The series always follows the data source's present data set; one
    // that no longer has any leaves the series bound to nothing, never to
    // the data set it had before.
    ChartSeries->ClearDataSources();
    ChartSeries->SetDataSource(Source->GetDataSet());
}

void TNorq_DBPlotvane::SetDataSource(TDataSource* Value) {
    ChartDataLink->SetDataSource(Value);
    if (FDataSource.Refers(Value)) return;
    if (TDataSource* Old = FDataSource.get()) RemoveFreeNotification(Old);
    FDataSource = Value;
    if (Value) FreeNotification(Value);
    ChartSeries->SetDataSource(Value ? Value->GetDataSet() : nullptr);
    DrawPreviewImage();
}

namespace {
bool DataSetOpen(const pv::TComponentPtr<TDataSource>& Held) {
    const TDataSource* Source = Held.get();
    return Source && Source->GetDataSet() && Source->GetDataSet()->GetActive();
}
}  // namespace

std::string TNorq_DBPlotvane::GetXLabelsSource() const { return ChartSeries->GetLabelsSource(); }

void TNorq_DBPlotvane::SetXLabelsSource(const std::string& Value) {
    if (Value == ChartSeries->GetLabelsSource()) return;
    ChartSeries->SetLabelsSource(Value);
    if (DataSetOpen(FDataSource)) DrawPreviewImage();
}

std::string TNorq_DBPlotvane::GetXValueSource() const { return ChartSeries->GetXValues()->GetValueSource(); }

void TNorq_DBPlotvane::SetXValueSource(const std::string& Value) {
    if (Value == ChartSeries->GetXValues()->GetValueSource()) return;
    ChartSeries->GetXValues()->SetValueSource(Value);
    if (DataSetOpen(FDataSource)) DrawPreviewImage();
}

std::string TNorq_DBPlotvane::GetYValueSource() const { return ChartSeries->GetYValues()->GetValueSource(); }

void TNorq_DBPlotvane::SetYValueSource(const std::string& Value) {
    if (Value == ChartSeries->GetYValues()->GetValueSource()) return;
    ChartSeries->GetYValues()->SetValueSource(Value);
    if (DataSetOpen(FDataSource)) DrawPreviewImage();
}

}  // namespace Norq_Plotvane
