// plotvane reference: the form reference, the text of docs/forms.md.

#include <iostream>

#include "host/FormReference.h"
#include "tools/CommandLine.h"
#include "tools/Commands.h"

namespace plotvane {

namespace {

constexpr std::string_view Help = R"(Usage: plotvane reference [--check FILE]

Prints the form reference in Markdown: the form syntax, then for every
class a form may hold a table of its published properties with their
types, defaults, allowed values and meanings, made from this build's
property tables. docs/forms.md is this text; regenerate it with
  plotvane reference > docs/forms.md

  --check FILE   print nothing and exit with 0 when FILE is the reference,
                 with 1 and the first line that differs when it is not
)";

}  // namespace

int RunReference(std::span<const std::string> Args) {
    return RunCommand("reference", Help, "forms.md", Args, [&] {
        TCommandArgs A = ParseCommandArgs(Args, {"--check"}, false, 0, 0);
        const std::string Check = A.Option("--check");
        if (Check.empty()) {
            std::cout << FormReference() << std::flush;
            return std::cout ? 0 : 1;
        }
        const std::string Difference = FormReferenceDifference(Check);
        if (Difference.empty()) return 0;
        std::cerr << "plotvane reference: " << Check << " is not the form reference of this build: " << Difference
                  << "\nRegenerate it with: plotvane reference > " << Check << "\n";
        return 1;
    });
}

}  // namespace plotvane
