#include "component/Norq_PlotvaneSave.h"

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

namespace Norq_Plotvane {

namespace {

bool SameAscii(std::string_view A, std::string_view B) {
    return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
               auto Lower = [](char C) { return C >= 'A' && C <= 'Z' ? char(C - 'A' + 'a') : C; };
               return Lower(X) == Lower(Y);
           });
}

}  // namespace

std::optional<TChartFileFormat> ChartFileFormatFromName(std::string_view Name) {
    static constexpr std::array<std::pair<std::string_view, TChartFileFormat>, 9> Names{{
        {"gif", TChartFileFormat::cfGIF},
        {"jpg", TChartFileFormat::cfJPEG},
        {"jpeg", TChartFileFormat::cfJPEG},
        {"png", TChartFileFormat::cfPNG},
        {"bmp", TChartFileFormat::cfBMP},
        {"svg", TChartFileFormat::cfSVG},
        {"pdf", TChartFileFormat::cfPDF},
        {"webp", TChartFileFormat::cfWebP},
        {"avif", TChartFileFormat::cfAVIF},
    }};
    for (const auto& [Known, Format] : Names)
        if (SameAscii(Name, Known)) return Format;
    return std::nullopt;
}

std::optional<TChartFileFormat> ChartFileFormatOf(std::string_view FileName) {
    auto Dot = FileName.find_last_of('.');
    auto Slash = FileName.find_last_of('/');
    if (Dot == std::string_view::npos || (Slash != std::string_view::npos && Dot < Slash)) return std::nullopt;
    return ChartFileFormatFromName(FileName.substr(Dot + 1));
}

std::string_view ChartFileFormatTitle(TChartFileFormat Format) {
    switch (Format) {
        case TChartFileFormat::cfGIF: return "GIF";
        case TChartFileFormat::cfJPEG: return "JPEG";
        case TChartFileFormat::cfPNG: return "PNG";
        case TChartFileFormat::cfBMP: return "BMP";
        case TChartFileFormat::cfSVG: return "SVG";
        case TChartFileFormat::cfPDF: return "PDF";
        case TChartFileFormat::cfWebP: return "WebP";
        case TChartFileFormat::cfAVIF: return "AVIF";
    }
    return "?";
}

std::vector<std::uint8_t> SaveChartToBytes(TNorq_DBPlotvane& Chart, TChartFileFormat Format,
                                           const TChartFileOptions& Options) {
    const bool Lossy = Format == TChartFileFormat::cfWebP || Format == TChartFileFormat::cfAVIF;
    if (Options.Quality && !Lossy)
        throw pv::EInvalidGraphic("A quality (" + std::to_string(*Options.Quality) + ") is not possible for " +
                                  std::string(ChartFileFormatTitle(Format)) + ": only WebP and AVIF take one");
    if (Options.Quality && (*Options.Quality < 1 || *Options.Quality > 100))
        throw pv::EInvalidGraphic("Quality " + std::to_string(*Options.Quality) + " is out of range 1..100");
    if (Options.Transparent && !(Lossy || Format == TChartFileFormat::cfPNG || Format == TChartFileFormat::cfSVG))
        throw pv::EInvalidGraphic("A transparent background is not possible for " +
                                  std::string(ChartFileFormatTitle(Format)) +
                                  ": only PNG, WebP, AVIF and SVG have one");
    // The bitmap the raster formats without a picture of their own encode.
    std::unique_ptr<TBitmap> Clear;
    const auto Raster = [&]() -> const TBitmap& {
        if (!Options.Transparent) return *Chart.GetBMPPicture();
        Clear = Chart.GetTransparentBitmap();
        return *Clear;
    };
    TMemoryStream Bytes;
    switch (Format) {
        case TChartFileFormat::cfGIF:
            Chart.GetGIFPicture()->SaveToStream(Bytes);
            break;
        case TChartFileFormat::cfJPEG:
            Chart.GetJPEGPicture()->SaveToStream(Bytes);
            break;
        case TChartFileFormat::cfBMP:
            Chart.GetBMPPicture()->SaveToStream(Bytes);
            break;
        case TChartFileFormat::cfPNG:
            return Raster().EncodePNG();
        case TChartFileFormat::cfWebP:
            return pv::EncodeWebP(Raster(), {Options.Quality});
        case TChartFileFormat::cfAVIF:
            return pv::EncodeAVIF(Raster(), {Options.Quality.value_or(pv::TAVIFOptions::DefaultQuality)});
        case TChartFileFormat::cfSVG:
        case TChartFileFormat::cfPDF: {
            const std::string Text = Chart.GetVectorPicture(
                Format == TChartFileFormat::cfSVG ? pv::TVectorFormat::vfSVG : pv::TVectorFormat::vfPDF,
                Options.Transparent);
            return {Text.begin(), Text.end()};
        }
    }
    auto View = Bytes.Bytes();
    return {View.begin(), View.end()};
}

void SaveChartToFile(TNorq_DBPlotvane& Chart, const std::string& FileName) {
    auto Format = ChartFileFormatOf(FileName);
    if (!Format)
        throw pv::EInvalidGraphic("Cannot tell the picture type of " + FileName +
                                  " (use .gif, .jpg, .jpeg, .png, .bmp, .svg, .pdf, .webp or .avif)");
    pv::WriteFileAtomically(FileName, SaveChartToBytes(Chart, *Format));
}

}  // namespace Norq_Plotvane
