// plotvane render: one chart of a form to a picture file.

#include <algorithm>
#include <iostream>

#include "platform/rtl/AtomicFile.h"
#include "platform/rtl/Stream.h"
#include "tools/CommandLine.h"
#include "tools/Commands.h"
#include "tools/FormClasses.h"

namespace plotvane {

namespace {

constexpr std::string_view Help = R"(Usage: plotvane render FORM [COMPONENT] -o FILE [--set Prop=Value]...

Reads FORM, applies each --set to the chart, renders it and writes FILE.
The picture type follows FILE's extension: .gif, .jpg or .jpeg (at the
chart's JPEGQuality), .png, .bmp. FILE is written through a temporary file
in the same folder, so a failed render leaves no partial file behind.

  COMPONENT          the chart to render (default: the first TNorq_DBPlotvane)
  -o, --output FILE  the picture to write
  --set Prop=Value   set a property first, in form syntax (repeatable);
                     Other.Prop=Value sets a property of the component Other
)";

std::string Extension(const std::string& FileName) {
    auto Dot = FileName.find_last_of('.');
    auto Slash = FileName.find_last_of('/');
    if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash)) return {};
    std::string E = FileName.substr(Dot + 1);
    std::transform(E.begin(), E.end(), E.begin(), [](unsigned char C) { return char(std::tolower(C)); });
    return E;
}

}  // namespace

int RunRender(std::span<const std::string> Args) {
    return RunCommand("render", Help, Args, [&] {
        TCommandArgs A = ParseCommandArgs(Args, {"-o", "--output"}, true, 1, 2);
        std::string Out = A.Option("--output", A.Option("-o"));
        if (Out.empty()) throw EUsageError("missing -o FILE");
        std::string Ext = Extension(Out);
        if (Ext != "gif" && Ext != "jpg" && Ext != "jpeg" && Ext != "png" && Ext != "bmp")
            throw EUsageError("cannot tell the picture type of " + Out + " (use .gif, .jpg, .jpeg, .png or .bmp)");

        const std::string& Form = A.Positional[0];
        auto Module = LoadForm(Form);
        auto& Chart = FindChart(*Module, A.Positional.size() > 1 ? A.Positional[1] : std::string(), Form);
        ApplySets(*Module, Chart, A.Sets);

        pv::TMemoryStream Bytes;
        if (Ext == "gif")
            Chart.GetGIFPicture()->SaveToStream(Bytes);
        else if (Ext == "jpg" || Ext == "jpeg")
            Chart.GetJPEGPicture()->SaveToStream(Bytes);
        else if (Ext == "bmp")
            Chart.GetBMPPicture()->SaveToStream(Bytes);
        else {
            auto Png = Chart.GetBMPPicture()->EncodePNG();
            Bytes.WriteBytes(Png);
        }
        pv::WriteFileAtomically(Out, Bytes.Bytes());
        return 0;
    });
}

}  // namespace plotvane
