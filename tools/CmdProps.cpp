// plotvane props: a component's published properties in form syntax.

#include <iostream>

#include "host/FormClasses.h"
#include "platform/db/MariaDBQuery.h"
#include "platform/db/PgQuery.h"
#include "platform/rtl/FormParser.h"
#include "platform/rtl/FormWriter.h"
#include "tools/CommandLine.h"
#include "tools/Commands.h"

namespace plotvane {

namespace {

constexpr std::string_view Help = R"(Usage: plotvane props FORM [COMPONENT]

Reads FORM and prints every published property of COMPONENT (default: the
first TNorq_DBPlotvane), one "Property = value" line each in declaration
order and form syntax, Name first, also those a form stores only when
they differ from their default (SeriesType). Sub-objects are written as dotted lines
(TitleFont.Size = 10), string lists as Prop.Strings = ( ... ). A password in
a ConnectionString is shown as ****.
)";

// The properties as the form writer gives them, with the password of a
// PostgreSQL or MariaDB ConnectionString masked: props output lands in
// terminals and logs.
std::string ShownProperties(const pv::TComponent& Target) {
    std::string Text = pv::WriteComponentProperties(Target, pv::TPropertySelection::psAll);
    auto Mask = [&Text](const std::string& Stored, const std::string& Masked) {
        const std::string Line = "ConnectionString = " + pv::QuoteFormString(Stored);
        const std::size_t At = Text.find(Line);
        if (At != std::string::npos) Text.replace(At, Line.size(), "ConnectionString = " + pv::QuoteFormString(Masked));
    };
    if (auto* Pg = dynamic_cast<const pv::TPgQuery*>(&Target))
        Mask(Pg->GetConnectionString(), Pg->GetMaskedConnectionString());
    if (auto* Maria = dynamic_cast<const pv::TMariaDBQuery*>(&Target))
        Mask(Maria->GetConnectionString(), Maria->GetMaskedConnectionString());
    return Text;
}

}  // namespace

int RunProps(std::span<const std::string> Args) {
    return RunCommand("props", Help, "forms.md", Args, [&] {
        TCommandArgs A = ParseCommandArgs(Args, {}, false, 1, 2);
        const std::string& Form = A.Positional[0];
        auto Module = LoadForm(Form);
        pv::TComponent& Target = FindTarget(*Module, A.Positional.size() > 1 ? A.Positional[1] : std::string(), Form);
        std::cout << ShownProperties(Target);
        return 0;
    });
}

}  // namespace plotvane
