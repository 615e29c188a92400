// plotvane bench: how long one chart takes to render and encode.

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <vector>

#include "component/Norq_PlotvaneSave.h"
#include "host/FormClasses.h"
#include "platform/rtl/Stream.h"
#include "tools/CommandLine.h"
#include "tools/Commands.h"

namespace plotvane {

namespace {

constexpr std::string_view Help = R"(Usage: plotvane bench FORM [COMPONENT] --format gif|jpeg|png|bmp|svg|pdf --count N [--strict] [--set Prop=Value]...

Renders COMPONENT (default: the first TNorq_DBPlotvane) and encodes the
picture N times after one warm-up run, in one thread, and prints

  median_ms=<m> min_ms=<a> max_ms=<b> count=<n>

Each run is a full render (the chart drawn into a new bitmap, the GIF and
JPEG pictures refilled) followed by writing the chosen format into memory.
PNG, SVG and PDF are written the way render writes them (SVG and PDF are
drawn anew as vectors).

  --format F             the encoding to time: gif, jpeg (or jpg), png, bmp,
                         svg or pdf (default: gif)
  --count N              the number of timed runs, 1 or more (default: 20)
  --set Prop=Value       set a property first, in form syntax (repeatable);
                         a data set that was open is opened again after them
  --strict               fail instead of warning when the chart is bound to a
                         closed data set (or a disabled data source)
)";

}  // namespace

int RunBench(std::span<const std::string> Args) {
    return RunCommand("bench", Help, "performance.md", Args, [&] {
        TCommandArgs A = ParseCommandArgs(Args, {"--format", "--count"}, true, 1, 2, {"--strict"});
        std::string Format = A.Option("--format", "gif");
        if (Format == "jpg") Format = "jpeg";
        const std::optional<Norq_Plotvane::TChartFileFormat> FileFormat =
            Norq_Plotvane::ChartFileFormatFromName(Format);
        if (!FileFormat) throw EUsageError("--format " + Format + ": expected gif, jpeg, jpg, png, bmp, svg or pdf");
        std::string CountText = A.Option("--count", "20");
        int Count = 0;
        auto [P, Ec] = std::from_chars(CountText.data(), CountText.data() + CountText.size(), Count);
        if (Ec != std::errc() || P != CountText.data() + CountText.size() || Count < 1)
            throw EUsageError("--count " + CountText + ": expected a whole number of at least 1");

        const std::string& Form = A.Positional[0];
        auto Module = LoadForm(Form);
        auto& Chart = FindChart(*Module, A.Positional.size() > 1 ? A.Positional[1] : std::string(), Form);
        ApplySets(*Module, Chart, A.Sets);
        CheckChartData("bench", Chart, A.Flag("--strict"));

        pv::TMemoryStream Out;
        auto RunOnce = [&] {
            Out.Clear();
            if (Format == "gif")
                Chart.GetGIFPicture()->SaveToStream(Out);
            else if (Format == "jpeg")
                Chart.GetJPEGPicture()->SaveToStream(Out);
            else if (Format == "bmp")
                Chart.GetBMPPicture()->SaveToStream(Out);
            else {
                const std::vector<std::uint8_t> Bytes = Norq_Plotvane::SaveChartToBytes(Chart, *FileFormat);
                Out.WriteBytes(Bytes);
            }
        };
        RunOnce();  // warm-up: fonts, caches and allocations settle
        std::vector<double> Ms;
        Ms.reserve(static_cast<std::size_t>(Count));
        for (int I = 0; I < Count; ++I) {
            auto Start = std::chrono::steady_clock::now();
            RunOnce();
            auto Stop = std::chrono::steady_clock::now();
            Ms.push_back(std::chrono::duration<double, std::milli>(Stop - Start).count());
        }
        std::sort(Ms.begin(), Ms.end());
        std::size_t N = Ms.size();
        double Median = N % 2 ? Ms[N / 2] : (Ms[N / 2 - 1] + Ms[N / 2]) / 2;
        char Line[160];
        std::snprintf(Line, sizeof Line, "median_ms=%.3f min_ms=%.3f max_ms=%.3f count=%zu\n", Median, Ms.front(),
                      Ms.back(), N);
        std::cout << Line;
        return 0;
    });
}

}  // namespace plotvane
