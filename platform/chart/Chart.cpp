#include "platform/chart/Chart.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/chart/internal/AxisMath.h"
#include "platform/chart/internal/ChartColors.h"
#include "platform/chart/internal/ChartData.h"
#include "platform/chart/internal/ChartDraw.h"
#include "platform/chart/internal/SvgText.h"
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

namespace {

// The pixel size of a W x H chart at Scale; raises when the scale or the
// size is out of range.
std::pair<int, int> ScaledSize(const std::string& Who, std::int64_t W, std::int64_t H, double Scale) {
    if (!(Scale >= MinChartScale && Scale <= MaxChartScale)) {
        char Text[32];
        std::snprintf(Text, sizeof Text, "%g", Scale);
        throw EInvalidGraphic("Cannot draw chart" + Who + " at scale " + Text + ": the scale must be 1..4");
    }
    const std::int64_t SW = std::llround(static_cast<double>(W) * Scale);
    const std::int64_t SH = std::llround(static_cast<double>(H) * Scale);
    if (W < 1 || H < 1 || SW > TBitmap::MaxSide || SH > TBitmap::MaxSide || SW * SH > TBitmap::MaxPixels)
        throw EInvalidGraphic("Cannot draw chart" + Who + " at " + std::to_string(SW) + " x " + std::to_string(SH) +
                              " pixels: each side must be 1.." + std::to_string(TBitmap::MaxSide) +
                              " and the area at most " + std::to_string(TBitmap::MaxPixels) + " pixels");
    return {static_cast<int>(SW), static_cast<int>(SH)};
}

}  // namespace

bool TCustomTeePanel::DrawCoversBitmap(int, int, double) const { return false; }

std::unique_ptr<TBitmap> TCustomTeePanel::TeeCreateBitmap(TColor ABackColor, const TRect& R) const {
    return TeeCreateBitmap(ABackColor, R, 1);
}

std::unique_ptr<TBitmap> TCustomTeePanel::TeeCreateBitmap(TColor ABackColor, const TRect& R, double Scale) const {
    auto Bitmap = std::make_unique<TBitmap>();
    TeeDrawBitmap(*Bitmap, ABackColor, R, Scale);
    return Bitmap;
}

void TCustomTeePanel::TeeDrawBitmap(TBitmap& Into, TColor ABackColor, const TRect& R, double Scale) const {
    const auto [W, H] = ScaledSize(NameForMessage(), std::int64_t{R.Right} - R.Left, std::int64_t{R.Bottom} - R.Top, Scale);
    // A chart that paints every pixel itself needs no background first:
    // that saves writing the whole bitmap once more.
    if (ABackColor == clNone)
        Into.SetSizeTransparent(W, H);
    else if (DrawCoversBitmap(W, H, Scale))
        Into.SetSizeForDrawing(W, H);
    else
        Into.SetSize(W, H, ABackColor);
    Draw(Into, Scale);
}

std::string TCustomTeePanel::TeeCreateVector(TVectorFormat Format, TColor ABackColor, const TRect& R,
                                             double Scale) const {
    const std::int64_t W = std::int64_t{R.Right} - R.Left, H = std::int64_t{R.Bottom} - R.Top;
    ScaledSize(NameForMessage(), W, H, Scale);
    return DrawVector(Format, ABackColor, static_cast<int>(W), static_cast<int>(H), Scale);
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

void TCustomAxisPanel::MoveSeries(TChartSeries* S, int Index) {
    auto It = std::find(FSeriesList.begin(), FSeriesList.end(), S);
    if (It == FSeriesList.end()) return;
    FSeriesList.erase(It);
    const auto At = static_cast<std::size_t>(std::clamp(Index, 0, static_cast<int>(FSeriesList.size())));
    FSeriesList.insert(FSeriesList.begin() + static_cast<std::ptrdiff_t>(At), S);
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

void TCustomChart::SetLocale(const std::string& Value) {
    if (Value == FLocale->Name) return;
    FLocale = FindChartLocale(Value);
    Changed();
}

void TCustomChart::SetPalette(const std::vector<TColor>& Value) {
    FPalette = Value;
    Changed();
}

TColor TCustomChart::PaletteColor(int Index) const {
    if (FPalette.empty() || Index <= 0) return AutoColor(Index);
    return ColorToRGB(FPalette[static_cast<std::size_t>(Index - 1) % FPalette.size()], AutoColor(Index));
}

void TCustomChart::SetStacking(TSeriesStacking Value) {
    FStacking = Value;
    Changed();
}

void TCustomChart::SetReferenceLine(const TChartReferenceLine& Value) {
    if (!std::isfinite(Value.Value))
        throw ERangeError("The reference line of chart" + NameForMessage() + " cannot be at " +
                               FormatFloat("", Value.Value) + ": its value must be a finite number");
    FReferenceLine = Value;
    Changed();
}

void TCustomChart::Draw(TBitmap& Bitmap, double Scale) const { DrawChart(*this, Bitmap, Scale); }

std::vector<TChartHotspot> TCustomChart::Hotspots(const TRect& R, double Scale) const {
    const auto [W, H] = ScaledSize(NameForMessage(), std::int64_t{R.Right} - R.Left, std::int64_t{R.Bottom} - R.Top, Scale);
    return ChartHotspots(*this, W, H, Scale);
}

const char* HotspotShapeName(THotspotShape Shape) {
    switch (Shape) {
        case THotspotShape::hsPoly: return "poly";
        case THotspotShape::hsCircle: return "circle";
        case THotspotShape::hsRect: break;
    }
    return "rect";
}

bool TCustomChart::DrawCoversBitmap(int Width, int Height, double Scale) const {
    return ChartCoversBitmap(*this, Width, Height, Scale);
}

namespace {

// Draws Chart as one vector document into Out. With CachedText (SVG only),
// text goes in as outlines formatted once per thread, and fills in one
// colour as path elements written here, instead of by Cairo (see
// SvgText.h); TextPlaced is false when that could not be done for this
// document.
cairo_status_t DrawVectorDocument(const TCustomChart& Chart, TVectorFormat Format, TColor ABackColor, int Width,
                                  int Height, double Scale, bool CachedText, std::string& Out, bool& TextPlaced) {
    Out.clear();
    TextPlaced = true;
    // Cairo's SVG goes to a buffer the thread keeps, whose pages stay mapped
    // from one document to the next, before the text is put in (about 7 %
    // of a chart's SVG); one grown past a few megabytes is let go after use.
    thread_local std::string Raw;
    struct TTrimRaw {
        ~TTrimRaw() {
            if (Raw.capacity() > (std::size_t{4} << 20)) std::string().swap(Raw);
        }
    } TrimRaw;
    std::string& Written = Format == TVectorFormat::vfSVG && CachedText ? Raw : Out;
    Written.clear();
    auto Write = [](void* Closure, const unsigned char* Data, unsigned int Length) -> cairo_status_t {
        static_cast<std::string*>(Closure)->append(reinterpret_cast<const char*>(Data), Length);
        return CAIRO_STATUS_SUCCESS;
    };
    const double PageW = Width * Scale, PageH = Height * Scale;
    cairo_surface_t* Surface = Format == TVectorFormat::vfSVG
                                   ? cairo_svg_surface_create_for_stream(Write, &Written, PageW, PageH)
                                   : cairo_pdf_surface_create_for_stream(Write, &Written, PageW, PageH);
    if (Format == TVectorFormat::vfSVG) cairo_svg_surface_set_document_unit(Surface, CAIRO_SVG_UNIT_PX);
    struct TSurfaceRef {
        cairo_surface_t* S;
        ~TSurfaceRef() { cairo_surface_destroy(S); }
    } Ref{Surface};
    std::optional<TSvgText> Text;
    if (CachedText && cairo_surface_status(Surface) == CAIRO_STATUS_SUCCESS) Text.emplace(Surface);
    const bool Transparent = ABackColor == clNone;
    if (!Transparent) {
        // The background, as TBitmap fills it, under the chart.
        cairo_t* Cr = cairo_create(Surface);
        const TColor Back = ColorToRGB(ABackColor, clWhite);
        cairo_set_source_rgb(Cr, GetRValue(Back) / 255.0, GetGValue(Back) / 255.0, GetBValue(Back) / 255.0);
        cairo_paint(Cr);
        cairo_destroy(Cr);
    }
    DrawChartScaledOnSurface(Chart, Surface, Width, Height, Scale, Transparent);
    cairo_surface_finish(Surface);
    const cairo_status_t Status = cairo_surface_status(Surface);
    if (Status == CAIRO_STATUS_SUCCESS && &Written == &Raw) {
        if (Text)
            TextPlaced = Text->Finish(Raw, Out);
        else
            Out = Raw;
    }
    return Status;
}

}  // namespace

std::string TCustomChart::GetTitleText() const {
    std::string Out;
    const TStringList& Lines = *FTitle->GetText();
    for (int I = 0; I < Lines.GetCount(); ++I) {
        if (Lines[I].empty()) continue;
        if (!Out.empty()) Out += ' ';
        Out += Lines[I];
    }
    return Out;
}

std::string TCustomChart::Describe() const { return DescribeChart(TChartData::Gather(*this)); }

namespace {

std::string XmlText(std::string_view S) {
    std::string Out;
    Out.reserve(S.size());
    for (char C : S) switch (C) {
            case '&': Out += "&amp;"; break;
            case '<': Out += "&lt;"; break;
            case '>': Out += "&gt;"; break;
            case '"': Out += "&quot;"; break;
            default: Out += C;
        }
    return Out;
}

// Makes Cairo's SVG document say what it shows: an image role, labelled by
// a title (the chart's) and a description (the summary), which screen
// readers read and browsers show.
void AddSvgDescription(const TCustomChart& Chart, std::string& Svg) {
    const std::size_t Tag = Svg.find("<svg");
    const std::size_t End = Tag == std::string::npos ? Tag : Svg.find('>', Tag);
    if (End == std::string::npos) return;
    std::string Title = Chart.GetTitleText();
    if (Title.empty()) Title = Chart.GetName().empty() && Chart.GetOwner() ? Chart.GetOwner()->GetName() : Chart.GetName();
    if (Title.empty()) Title = "Chart";
    const std::string Head = "\n<title id=\"pv-title\">" + XmlText(Title) + "</title>\n<desc id=\"pv-desc\">" +
                             XmlText(Chart.Describe()) + "</desc>";
    const bool SelfClosing = Svg[End - 1] == '/';
    if (SelfClosing) return;
    Svg.insert(End + 1, Head);
    Svg.insert(End, " role=\"img\" aria-labelledby=\"pv-title pv-desc\"");
}

}  // namespace

std::string TCustomChart::DrawVector(TVectorFormat Format, TColor ABackColor, int Width, int Height,
                                     double Scale) const {
    std::string Out;
    bool TextPlaced = true;
    cairo_status_t Status = DrawVectorDocument(*this, Format, ABackColor, Width, Height, Scale,
                                               Format == TVectorFormat::vfSVG && TSvgText::Usable(), Out, TextPlaced);
    // Where the recorded text and fills could not be placed, Cairo writes
    // them.
    if (Status == CAIRO_STATUS_SUCCESS && !TextPlaced)
        Status = DrawVectorDocument(*this, Format, ABackColor, Width, Height, Scale, false, Out, TextPlaced);
    if (Status != CAIRO_STATUS_SUCCESS)
        throw EInvalidGraphic("Cannot draw chart" + NameForMessage() + " as " +
                              (Format == TVectorFormat::vfSVG ? "SVG" : "PDF") + ": " + cairo_status_to_string(Status));
    if (Format == TVectorFormat::vfSVG) AddSvgDescription(*this, Out);
    return Out;
}

}  // namespace pv
