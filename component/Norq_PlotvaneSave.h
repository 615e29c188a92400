#pragma once
// Saving a TNorq_DBPlotvane's chart to a picture file in one call:
//   Norq_Plotvane::SaveChartToFile(*Chart, "revenue.png");
// GIF, JPEG, PNG, BMP, SVG, PDF, WebP (libwebp) and AVIF (libavif).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "component/Norq_Plotvane.h"

namespace Norq_Plotvane {

// The picture files a chart can be written as.
enum class TChartFileFormat : std::uint8_t {
    cfGIF,   // .gif
    cfJPEG,  // .jpg or .jpeg, at the component's JPEGQuality
    cfPNG,   // .png, the snapshot bitmap without loss
    cfBMP,   // .bmp, the snapshot bitmap
    cfSVG,   // .svg, drawn as vectors with the bitmap's layout
    cfPDF,   // .pdf, drawn as vectors with the bitmap's layout
    cfWebP,  // .webp, the snapshot bitmap without loss, or lossy at a quality
    cfAVIF,  // .avif, the snapshot bitmap as an AV1 still picture
};

// How a picture is written, where its format has the choice.
struct TChartFileOptions {
    // WebP and AVIF only, 1..100: WebP lossy at that quality (empty:
    // lossless), AVIF at that quality (empty: pv::TAVIFOptions's default).
    std::optional<int> Quality;
    // PNG, WebP, AVIF and SVG only: drawn on no background, the chart's
    // Color and gradient left out, what lies behind it showing through.
    bool Transparent = false;
};

// The format a picture type names: "gif", "jpg", "jpeg", "png", "bmp",
// "svg", "pdf", "webp" or "avif", ASCII letter case ignored; nullopt for
// anything else.
std::optional<TChartFileFormat> ChartFileFormatFromName(std::string_view Name);
// The format FileName's extension names (".gif", ".JPG", ...), or nullopt
// when it has none of those.
std::optional<TChartFileFormat> ChartFileFormatOf(std::string_view FileName);

// Renders Chart and returns the whole picture file in Format. Options that
// Format does not have raise EInvalidGraphic naming them and the format,
// before rendering; so does a quality outside 1..100.
std::vector<std::uint8_t> SaveChartToBytes(TNorq_DBPlotvane& Chart, TChartFileFormat Format,
                                           const TChartFileOptions& Options = {});
// The format's usual name in upper case ("GIF", "JPEG", "WebP", ...).
std::string_view ChartFileFormatTitle(TChartFileFormat Format);

// Renders Chart and writes it to FileName, the extension picking the format.
// The file is written through a temporary file in the same folder that is
// renamed over FileName once complete, so a failure leaves any old file as
// it was. Raises EInvalidGraphic naming the file when its extension names
// no picture type (before rendering), EStreamError naming the file when it
// cannot be written, and lets the render's own errors pass.
void SaveChartToFile(TNorq_DBPlotvane& Chart, const std::string& FileName);

}  // namespace Norq_Plotvane
