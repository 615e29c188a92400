// plotvane serve: every chart of a form over HTTP.

#include <charconv>
#include <iostream>
#include <thread>

#include "tools/ChartServer.h"
#include "tools/CommandLine.h"
#include "tools/Commands.h"

namespace plotvane {

namespace {

constexpr std::string_view Help = R"(Usage: plotvane serve FORM [options]

Serves every TNorq_DBPlotvane of FORM at /<Name>.gif and /<Name>.jpg, and an
index page with all of them at /. Each request renders the chart afresh from
its data. Stop the server with Ctrl-C (SIGINT) or SIGTERM.

  --port N             the port to listen on (default 8080; 0: any free port)
  --bind ADDRESS       the numeric address to listen on (default 127.0.0.1)
  --threads N          worker threads, each with its own copy of the form
                       (default: the number of processors)
  --cache-control V    the Cache-Control header (default "no-cache"; with the
                       ETag, clients revalidate and get 304 while nothing changed)
  --no-refresh         render the records read at start instead of reading
                       the data sets again for every request
)";

unsigned ParseNumber(const std::string& Option, const std::string& Text, unsigned Max) {
    unsigned V = 0;
    auto [P, Ec] = std::from_chars(Text.data(), Text.data() + Text.size(), V);
    if (Ec != std::errc() || P != Text.data() + Text.size() || V > Max)
        throw EUsageError(Option + " " + Text + " is not a number in 0.." + std::to_string(Max));
    return V;
}

}  // namespace

int RunServe(std::span<const std::string> Args) {
    return RunCommand("serve", Help, Args, [&] {
        std::vector<std::string> Rest;
        bool Refresh = true;
        for (const std::string& A : Args) {
            if (A == "--no-refresh")
                Refresh = false;
            else
                Rest.push_back(A);
        }
        TCommandArgs A = ParseCommandArgs(Rest, {"--port", "--bind", "--threads", "--cache-control"}, false, 1, 1);
        TChartServerOptions O;
        O.FormFile = A.Positional[0];
        O.RefreshData = Refresh;
        O.Http.Port = static_cast<std::uint16_t>(ParseNumber("--port", A.Option("--port", "8080"), 65535));
        O.Http.BindAddress = A.Option("--bind", "127.0.0.1");
        unsigned Cores = std::max(1u, std::thread::hardware_concurrency());
        O.Http.Threads = ParseNumber("--threads", A.Option("--threads", std::to_string(Cores)), 256);
        if (O.Http.Threads == 0) throw EUsageError("--threads must be at least 1");
        O.Http.CacheControl = A.Option("--cache-control", "no-cache");

        // Signals are blocked before any worker exists, so only the wait
        // below receives them.
        pv::THTTPServer::BlockTerminationSignals();
        TChartServer Server(O);
        Server.Start();
        const std::string Host = O.Http.BindAddress.find(':') != std::string::npos ? "[" + O.Http.BindAddress + "]"
                                                                                   : O.Http.BindAddress;
        std::cout << "Serving " << O.FormFile << " at http://" << Host << ":" << Server.GetPort() << "/" << std::endl;
        for (const std::string& Name : Server.ChartNames())
            std::cout << "  http://" << Host << ":" << Server.GetPort() << "/" << Name << ".gif  (.jpg)" << std::endl;
        int Sig = pv::THTTPServer::WaitForTerminationSignal();
        std::cerr << "plotvane serve: signal " << Sig << ", stopping" << std::endl;
        Server.Stop();
        return 0;
    });
}

}  // namespace plotvane
