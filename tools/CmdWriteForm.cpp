// plotvane write-form: a form read and written again.

#include <iostream>

#include "host/FormClasses.h"
#include "platform/rtl/AtomicFile.h"
#include "platform/rtl/FormWriter.h"
#include "tools/CommandLine.h"
#include "tools/Commands.h"

namespace plotvane {

namespace {

constexpr std::string_view Help = R"(Usage: plotvane write-form FORM -o FILE [--set Prop=Value]...

Reads FORM, applies each --set, and writes the whole module to FILE with
every published property of every component ("-o -" writes to stdout).
Writing the result again gives the same bytes.

  -o, --output FILE  the form to write
  --set Prop=Value   set a property of the first TNorq_DBPlotvane, in form
                     syntax (repeatable); Other.Prop=Value sets a property
                     of the component Other
)";

}  // namespace

int RunWriteForm(std::span<const std::string> Args) {
    return RunCommand("write-form", Help, "forms.md", Args, [&] {
        TCommandArgs A = ParseCommandArgs(Args, {"-o", "--output"}, true, 1, 1);
        std::string Out = A.Option("--output", A.Option("-o"));
        if (Out.empty()) throw EUsageError("missing -o FILE");
        const std::string& Form = A.Positional[0];
        auto Module = LoadForm(Form);
        if (!A.Sets.empty()) {
            pv::TComponent* Target = Module.get();
            try {
                Target = &FindTarget(*Module, {}, Form);
            } catch (const pv::EComponentError&) {
                // A form without a chart: --set addresses the root.
            }
            ApplySets(*Module, *Target, A.Sets);
        }
        std::string Text = pv::WriteForm(*Module);
        if (Out == "-") {
            std::cout << Text;
            return 0;
        }
        pv::WriteFileAtomically(Out, std::span(reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size()));
        return 0;
    });
}

}  // namespace plotvane
