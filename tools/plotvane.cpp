// plotvane: render Plotvane forms to pictures, inspect and rewrite them,
// time them, serve them over HTTP, describe the component package and
// print the reference of what a form may hold.

#include <iostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "PlotvaneVersion.h"
#include "tools/CommandLine.h"
#include "tools/Commands.h"

namespace {

constexpr std::string_view Usage = R"(Usage: plotvane <command> [arguments]
       plotvane help <command>     a command's options
       plotvane --version

Commands:
  render FORM [COMPONENT] -o FILE [--scale S] [--quality Q] [--strict] [--set Prop=Value]...
                      render a chart to FILE (.gif, .jpg, .jpeg, .png, .bmp,
                      .svg, .pdf, .webp or .avif; -o - --format png writes it to
                      standard output)
  props FORM [COMPONENT]
                      print a component's published properties in form syntax
  write-form FORM -o FILE [--set Prop=Value]...
                      read a form and write it again with every property
  bench FORM [COMPONENT] --format gif|jpeg|png|bmp|svg|pdf --count N
                      time render + encode: median_ms= min_ms= max_ms= count=
  serve FORM [options]
                      serve every chart of the form over HTTP as /<Name>.gif, .jpg,
                      .png, .svg, .pdf, .webp and .avif
  sign --key FILE URL
                      sign a chart URL for a server run with --sign-key
  design FORM [--port N]
                      edit the form in a browser page with a live preview
  package-info [options]
                      describe the component package
  reference [--check FILE]
                      print the form reference in Markdown (docs/forms.md)

COMPONENT defaults to the form's first TNorq_DBPlotvane. --set takes a
value in form syntax: --set Width=800 --set "AxisLeftTitleCaption='EUR'"
--set TitleFont.Size=14 --set SeriesColor=clGreen.

Run 'plotvane help <command>' or 'plotvane <command> --help' for a
command's options.
)";

struct TCommand {
    std::string_view Name;
    int (*Run)(std::span<const std::string>);
};

constexpr TCommand Commands[] = {
    {"render", plotvane::RunRender},       {"props", plotvane::RunProps},
    {"write-form", plotvane::RunWriteForm}, {"bench", plotvane::RunBench},
    {"serve", plotvane::RunServe},         {"package-info", plotvane::RunPackageInfo},
    {"sign", plotvane::RunSign},           {"reference", plotvane::RunReference},
#ifdef PLOTVANE_DESIGNER
    {"design", plotvane::RunDesign},
#endif
};

// The error for a command that is not there, with the nearest one when the
// name looks like a slip for it ("help" too, unless it came after "help").
std::string UnknownCommandMessage(const std::string& Name, bool AfterHelp) {
    std::vector<std::string_view> Names;
    for (const TCommand& C : Commands) Names.push_back(C.Name);
    if (!AfterHelp) Names.push_back("help");
    std::string Message = "unknown command '" + Name + "'";
    if (auto Nearest = plotvane::NearestName(Name, Names))
        Message += "; did you mean '" + std::string(Names[*Nearest]) + "'?";
    return Message;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> Args(argv + 1, argv + argc);
    if (Args.empty()) {
        std::cerr << Usage << "\n" << plotvane::DocumentationLine();
        return 2;
    }
    if (Args[0] == "--version" || Args[0] == "-V") {
        std::cout << "plotvane " PLOTVANE_VERSION_STRING "\n";
        return 0;
    }
    if (Args[0] == "--help" || Args[0] == "-h" || (Args[0] == "help" && Args.size() == 1)) {
        std::cout << Usage << "\n" << plotvane::DocumentationLine();
        return 0;
    }
    if (Args[0] == "help") {
        // "plotvane help render" is "plotvane render --help".
        if (Args.size() > 2) {
            std::cerr << "plotvane help: expected one command, got '" << Args[2] << "'\n";
            return 2;
        }
        Args = {Args[1], "--help"};
        for (const TCommand& C : Commands)
            if (Args[0] == C.Name) return C.Run(std::span<const std::string>(Args).subspan(1));
        std::cerr << "plotvane help: " << UnknownCommandMessage(Args[0], true)
                  << "\nRun 'plotvane --help' for the list of commands.\n";
        return 2;
    }
    for (const TCommand& C : Commands)
        if (Args[0] == C.Name) {
            try {
                return C.Run(std::span<const std::string>(Args).subspan(1));
            } catch (const std::exception& E) {
                // Commands report their own errors; this is the last line
                // for one that let something through.
                std::cerr << "plotvane " << C.Name << ": " << E.what() << "\n";
                return 1;
            }
        }
    std::cerr << "plotvane: " << UnknownCommandMessage(Args[0], false)
              << "\nRun 'plotvane --help' for the list of commands.\n";
    return 2;
}
