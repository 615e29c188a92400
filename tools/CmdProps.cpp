// plotvane props: a component's published properties in form syntax.

#include <iostream>

#include "platform/rtl/FormWriter.h"
#include "tools/CommandLine.h"
#include "tools/Commands.h"
#include "tools/FormClasses.h"

namespace plotvane {

namespace {

constexpr std::string_view Help = R"(Usage: plotvane props FORM [COMPONENT]

Reads FORM and prints every published property of COMPONENT (default: the
first TNorq_DBPlotvane), one "Property = value" line each in declaration
order and form syntax, Name first, also those a form stores only when
they differ from their default (SeriesType). Sub-objects are written as dotted lines
(TitleFont.Size = 10), string lists as Prop.Strings = ( ... ).
)";

}  // namespace

int RunProps(std::span<const std::string> Args) {
    return RunCommand("props", Help, Args, [&] {
        TCommandArgs A = ParseCommandArgs(Args, {}, false, 1, 2);
        const std::string& Form = A.Positional[0];
        auto Module = LoadForm(Form);
        pv::TComponent& Target = FindTarget(*Module, A.Positional.size() > 1 ? A.Positional[1] : std::string(), Form);
        std::cout << pv::WriteComponentProperties(Target, pv::TPropertySelection::psAll);
        return 0;
    });
}

}  // namespace plotvane
