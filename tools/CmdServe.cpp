// plotvane serve: every chart of a form over HTTP.

#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <thread>

#include "PlotvaneVersion.h"
#include "server/ChartServer.h"
#include "tools/FormClasses.h"
#include "tools/CommandLine.h"
#include "tools/Commands.h"

namespace plotvane {

namespace {

constexpr std::string_view Help = R"(Usage: plotvane serve FORM [options]

Serves every TNorq_DBPlotvane of FORM at /<Name>.gif, .jpg, .png, .svg and
.pdf, an index page with all of them at /, and /healthz. A chart URL takes
width, height and scale (1..4) and the SQL parameters the form declares a
request may set, for example /RevenueChart.png?width=800&scale=2&region=EU.
Answers are kept in a response cache while the databases do not change.
Stop the server with Ctrl-C (SIGINT) or SIGTERM: requests in flight finish.

  --port N             the port to listen on (default 8080; 0: any free port)
  --bind ADDRESS       the numeric address to listen on (default 127.0.0.1)
  --threads N          worker threads, each with its own copy of the form
                       (default: the number of processors)
  --cache-control V    the Cache-Control header (default "no-cache"; with the
                       ETag, clients revalidate and get 304 while nothing changed)
  --cache-size MB      the response cache in MiB (default 64; 0: no cache)
  --access-log FILE    one line per request in the Combined Log Format plus
                       the duration in ms, appended to FILE ("-": stdout)
  --cors-origin ORIGIN send Access-Control-Allow-Origin: ORIGIN
  --no-refresh         render the records read at start instead of watching
                       the databases for changes
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
        TCommandArgs A = ParseCommandArgs(Rest,
                                          {"--port", "--bind", "--threads", "--cache-control", "--cache-size",
                                           "--access-log", "--cors-origin"},
                                          false, 1, 1);
        TChartServerOptions O;
        O.FormFile = A.Positional[0];
        O.LoadModule = [Form = O.FormFile] { return LoadForm(Form); };
        O.RefreshData = Refresh;
        O.CacheBytes = std::size_t{ParseNumber("--cache-size", A.Option("--cache-size", "64"), 65536)} << 20;
        O.Http.Port = static_cast<std::uint16_t>(ParseNumber("--port", A.Option("--port", "8080"), 65535));
        O.Http.BindAddress = A.Option("--bind", "127.0.0.1");
        unsigned Cores = std::max(1u, std::thread::hardware_concurrency());
        O.Http.Threads = ParseNumber("--threads", A.Option("--threads", std::to_string(Cores)), 256);
        if (O.Http.Threads == 0) throw EUsageError("--threads must be at least 1");
        O.Http.CacheControl = A.Option("--cache-control", "no-cache");
        O.Http.ServerHeader = "Plotvane/" PLOTVANE_VERSION_STRING;
        const std::string Origin = A.Option("--cors-origin");
        if (!Origin.empty()) O.Http.ExtraHeaders.push_back({"Access-Control-Allow-Origin", Origin});
        const std::string AccessLog = A.Option("--access-log");
        std::shared_ptr<std::FILE> LogFile;
        if (AccessLog == "-") {
            LogFile = std::shared_ptr<std::FILE>(stdout, [](std::FILE*) {});
        } else if (!AccessLog.empty()) {
            LogFile = std::shared_ptr<std::FILE>(std::fopen(AccessLog.c_str(), "a"), [](std::FILE* F) {
                if (F) std::fclose(F);
            });
            if (!LogFile) throw EUsageError("--access-log " + AccessLog + ": " + std::strerror(errno));
        }
        if (LogFile)
            O.Http.AccessLog = [LogFile](std::string_view Line) {
                std::string Text(Line);
                Text += '\n';
                std::fwrite(Text.data(), 1, Text.size(), LogFile.get());
                std::fflush(LogFile.get());
            };

        // Signals are blocked before any worker exists, so only the wait
        // below receives them.
        pv::THTTPServer::BlockTerminationSignals();
        TChartServer Server(O);
        Server.Start();
        const std::string Host = O.Http.BindAddress.find(':') != std::string::npos ? "[" + O.Http.BindAddress + "]"
                                                                                   : O.Http.BindAddress;
        std::cout << "Serving " << O.FormFile << " at http://" << Host << ":" << Server.GetPort() << "/" << std::endl;
        for (const std::string& Name : Server.ChartNames())
            std::cout << "  http://" << Host << ":" << Server.GetPort() << "/" << Name
                      << ".gif  (.jpg .png .svg .pdf)" << std::endl;
        int Sig = pv::THTTPServer::WaitForTerminationSignal();
        std::cerr << "plotvane serve: signal " << Sig << ", finishing the requests in flight" << std::endl;
        // Requests in flight get up to ten seconds to finish.
        Server.Shutdown(std::chrono::seconds(10));
        std::cerr << "plotvane serve: stopped" << std::endl;
        return 0;
    });
}

}  // namespace plotvane
