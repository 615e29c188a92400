// plotvane render: one chart of a form to a picture file or to stdout.

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "component/Norq_PlotvaneHotspots.h"
#include "component/Norq_PlotvaneSave.h"
#include "host/FormClasses.h"
#include "platform/rtl/Exception.h"
#include "tools/CommandLine.h"
#include "tools/Commands.h"

namespace plotvane {

namespace {

constexpr std::string_view Help = R"(Usage: plotvane render FORM [COMPONENT] -o FILE [--format TYPE] [--scale S] [--quality Q] [--strict] [--set Prop=Value]...

Reads FORM, applies each --set to the chart, renders it and writes FILE.
The picture type follows FILE's extension: .gif, .jpg or .jpeg (at the
chart's JPEGQuality), .png, .bmp, .svg, .pdf, .webp (lossless unless
--quality is given) or .avif; or the areas of the chart's points on that
picture: .map (an HTML <map> named after the chart, for <img usemap>) or
.json (the same areas for scripts). FILE is written through a temporary file in
the same folder, so a failed render leaves no partial file behind.
-o - writes the picture to standard output; --format then gives its type.

  COMPONENT          the chart to render (default: the first TNorq_DBPlotvane)
  -o, --output FILE  the picture to write, - for standard output
  --format TYPE      gif, jpeg (or jpg), png, bmp, svg, pdf, webp, avif, map or
                     json: the picture type when FILE has no such extension; it must
                     agree with one it has
  --scale S          draw everything S times larger (1..4, fractions allowed),
                     for screens of that pixel density
  --quality Q        WebP and AVIF: the quality, 1..100 (WebP: lossy instead
                     of lossless; AVIF: default 60)
  --set Prop=Value   set a property first, in form syntax (repeatable);
                     Other.Prop=Value sets a property of the component Other.
                     A data set that was open is opened again after the sets
                     (a new DatabaseName or SQL closes it); if it cannot
                     open, the command fails and writes nothing
  --strict           fail, writing nothing, where it would only warn: when
                     the chart is bound to a closed data set (or a disabled
                     data source), which leaves it without points, or is a
                     pie of several series, which draws the first only

  plotvane render sales.form -o - --format png > chart.png
)";

using Norq_Plotvane::TChartFileFormat;

// The picture type from --format and the output's extension.
TChartFileFormat PictureType(const std::string& Out, const std::string& FormatName) {
    const bool ToStdout = Out == "-";
    std::optional<TChartFileFormat> ByName;
    if (!FormatName.empty()) {
        ByName = Norq_Plotvane::ChartFileFormatFromName(FormatName);
        if (!ByName) throw EUsageError("--format " + FormatName + ": expected gif, jpeg, jpg, png, bmp, svg, pdf, webp or avif");
    }
    std::optional<TChartFileFormat> ByExtension = ToStdout ? std::nullopt : Norq_Plotvane::ChartFileFormatOf(Out);
    if (ByName && ByExtension && *ByName != *ByExtension)
        throw EUsageError("--format " + FormatName + " does not match the extension of " + Out);
    if (ByName) return *ByName;
    if (ByExtension) return *ByExtension;
    if (ToStdout) throw EUsageError("-o - (standard output) needs --format gif, jpeg, png, bmp, svg, pdf, webp or avif");
    throw EUsageError("cannot tell the picture type of " + Out +
                      " (use .gif, .jpg, .jpeg, .png, .bmp, .svg, .pdf, .webp or .avif, or --format)");
}

// "map" or "json" when FILE's extension or --format names the areas
// rather than a picture; empty otherwise. They must agree, as for pictures.
std::string AreasType(const std::string& Out, const std::string& FormatName) {
    auto Named = [](std::string_view N) -> std::string { return N == "map" || N == "json" ? std::string(N) : ""; };
    const std::size_t Dot = Out.rfind('.');
    std::string Ext = Out == "-" || Dot == std::string::npos ? std::string() : Out.substr(Dot + 1);
    for (char& C : Ext) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    const std::string ByName = Named(FormatName), ByExtension = Named(Ext);
    if (!ByName.empty() && !ByExtension.empty() && ByName != ByExtension)
        throw EUsageError("--format " + FormatName + " does not match the extension of " + Out);
    if (!ByName.empty() && !Ext.empty() && ByExtension.empty() && Norq_Plotvane::ChartFileFormatOf(Out))
        throw EUsageError("--format " + FormatName + " does not match the extension of " + Out);
    if (!ByExtension.empty() && !FormatName.empty() && ByName.empty())
        throw EUsageError("--format " + FormatName + " does not match the extension of " + Out);
    return ByName.empty() ? ByExtension : ByName;
}

void WriteStdout(std::span<const std::uint8_t> Bytes) {
    if (std::fwrite(Bytes.data(), 1, Bytes.size(), stdout) != Bytes.size() || std::fflush(stdout) != 0)
        throw pv::EStreamError(std::string("Cannot write to standard output: ") + std::strerror(errno));
}

}  // namespace

int RunRender(std::span<const std::string> Args) {
    return RunCommand("render", Help, "forms.md", Args, [&] {
        TCommandArgs A = ParseCommandArgs(Args, {"-o", "--output", "--format", "--scale", "--quality"}, true, 1, 2, {"--strict"});
        std::string Out = A.Option("--output", A.Option("-o"));
        if (Out.empty()) throw EUsageError("missing -o FILE");
        const std::string Areas = AreasType(Out, A.Option("--format"));
        const TChartFileFormat Format = Areas.empty() ? PictureType(Out, A.Option("--format")) : TChartFileFormat::cfPNG;
        double Scale = 1;
        if (const std::string S = A.Option("--scale"); !S.empty()) {
            auto [P, Ec] = std::from_chars(S.data(), S.data() + S.size(), Scale);
            if (Ec != std::errc() || P != S.data() + S.size() || !(Scale >= 1) || !(Scale <= 4))
                throw EUsageError("--scale " + S + " is not a number in 1..4");
        }
        Norq_Plotvane::TChartFileOptions Options;
        if (const std::string Q = A.Option("--quality"); !Q.empty()) {
            int Quality = 0;
            auto [P, Ec] = std::from_chars(Q.data(), Q.data() + Q.size(), Quality);
            if (Ec != std::errc() || P != Q.data() + Q.size() || Quality < 1 || Quality > 100)
                throw EUsageError("--quality " + Q + " is not a whole number in 1..100");
            if (!Areas.empty() || (Format != TChartFileFormat::cfWebP && Format != TChartFileFormat::cfAVIF))
                throw EUsageError("--quality " + Q + ": only WebP and AVIF take a quality, not " +
                                  (Areas.empty() ? std::string(Norq_Plotvane::ChartFileFormatTitle(Format)) : Areas));
            Options.Quality = Quality;
        }

        const std::string& Form = A.Positional[0];
        auto Module = LoadForm(Form);
        auto& Chart = FindChart(*Module, A.Positional.size() > 1 ? A.Positional[1] : std::string(), Form);
        ApplySets(*Module, Chart, A.Sets);
        CheckChartData("render", Chart, A.Flag("--strict"));
        Chart.SetScale(Scale);

        std::vector<std::uint8_t> Bytes;
        if (!Areas.empty()) {
            std::vector<std::string> Warnings;
            const std::vector<Norq_Plotvane::THotspotArea> Spots = Chart.GetHotspots(&Warnings);
            for (const std::string& W : Warnings) std::fprintf(stderr, "plotvane render: warning: %s\n", W.c_str());
            const std::string Text = Areas == "map" ? Norq_Plotvane::HotspotMapHtml(Chart.GetName(), Spots)
                                                    : Norq_Plotvane::HotspotJson(Spots);
            Bytes.assign(Text.begin(), Text.end());
        } else {
            Bytes = Norq_Plotvane::SaveChartToBytes(Chart, Format, Options);
        }
        if (Out == "-")
            WriteStdout(Bytes);
        else
            WriteFileAtomically(Out, Bytes);
        return 0;
    });
}

}  // namespace plotvane
