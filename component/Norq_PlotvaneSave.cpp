#include "component/Norq_PlotvaneSave.h"

#include <algorithm>
#include <array>
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
    static constexpr std::array<std::pair<std::string_view, TChartFileFormat>, 7> Names{{
        {"gif", TChartFileFormat::cfGIF},
        {"jpg", TChartFileFormat::cfJPEG},
        {"jpeg", TChartFileFormat::cfJPEG},
        {"png", TChartFileFormat::cfPNG},
        {"bmp", TChartFileFormat::cfBMP},
        {"svg", TChartFileFormat::cfSVG},
        {"pdf", TChartFileFormat::cfPDF},
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

std::vector<std::uint8_t> SaveChartToBytes(TNorq_DBPlotvane& Chart, TChartFileFormat Format) {
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
            return Chart.GetBMPPicture()->EncodePNG();
        case TChartFileFormat::cfSVG:
        case TChartFileFormat::cfPDF: {
            const std::string Text = Chart.GetVectorPicture(Format == TChartFileFormat::cfSVG ? pv::TVectorFormat::vfSVG
                                                                                              : pv::TVectorFormat::vfPDF);
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
                                  " (use .gif, .jpg, .jpeg, .png, .bmp, .svg or .pdf)");
    pv::WriteFileAtomically(FileName, SaveChartToBytes(Chart, *Format));
}

}  // namespace Norq_Plotvane
