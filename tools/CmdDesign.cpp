// plotvane design: a browser page that edits a form with a live preview.

#include <charconv>
#include <iostream>

#include "designer/DesignServer.h"
#include "tools/CommandLine.h"
#include "tools/Commands.h"

namespace plotvane {

namespace {

constexpr std::string_view Help = R"(Usage: plotvane design FORM [options]

Opens FORM for design and serves the designer's page: the form's
components, a property inspector for the selected one, the chart's preview
picture, redrawn after every change, and the records of its data set. Edits
can be undone; Save writes FORM (the previous file is kept as FORM.bak).
Changes that were not saved when the designer stops go to FORM.unsaved.
The page answers only requests carrying the token of the address printed at
start. Stop the designer with Ctrl-C (SIGINT) or SIGTERM.

  --port N             the port to listen on (default 8090; 0: any free port)
  --bind ADDRESS       the numeric address or host name to listen on (default
                       127.0.0.1; any other address lets other machines reach
                       the page)
)";

}  // namespace

int RunDesign(std::span<const std::string> Args) {
    return RunCommand("design", Help, "designer.md", Args, [&] {
        TCommandArgs A = ParseCommandArgs(Args, {"--port", "--bind"}, false, 1, 1);
        TDesignServerOptions O;
        O.FormFile = A.Positional[0];
        const std::string PortText = A.Option("--port", "8090");
        unsigned Port = 0;
        auto [P, Ec] = std::from_chars(PortText.data(), PortText.data() + PortText.size(), Port);
        if (Ec != std::errc() || P != PortText.data() + PortText.size() || Port > 65535)
            throw EUsageError("--port " + PortText + " is not a number in 0..65535");
        O.Http.Port = static_cast<std::uint16_t>(Port);
        O.Http.BindAddress = A.Option("--bind", "127.0.0.1");
        O.Http.Threads = 2;

        pv::THTTPServer::BlockTerminationSignals();
        TDesignServer Server(O);
        Server.Start();
        std::cout << "Designing " << O.FormFile << " at " << Server.Url() << std::endl;
        int Sig = pv::THTTPServer::WaitForTerminationSignal();
        std::cerr << "plotvane design: signal " << Sig << ", stopping" << std::endl;
        Server.Stop();
        // Changes nobody saved are not thrown away: they go beside the form,
        // which itself stays as it was.
        if (Server.Designer().Modified()) {
            const std::string Unsaved = O.FormFile + ".unsaved";
            const std::string Text = Server.Designer().FormText();
            WriteFileAtomically(Unsaved, std::span<const std::uint8_t>(
                                             reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size()));
            std::cerr << "plotvane design: the unsaved changes are in " << Unsaved << std::endl;
        }
        return 0;
    });
}

}  // namespace plotvane
