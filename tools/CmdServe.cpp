// plotvane serve: every chart of a form over HTTP.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#ifdef PLOTVANE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PlotvaneVersion.h"
#include "host/FormClasses.h"
#include "platform/web/AccessLog.h"
#include "server/ChartServer.h"
#include "server/UrlSignature.h"
#include "tools/CommandLine.h"
#include "tools/Commands.h"

namespace plotvane {

namespace {

// Tells the service manager of a Type=notify unit about the server's state
// (READY=1, STOPPING=1); nothing without NOTIFY_SOCKET or libsystemd.
void NotifyServiceManager(const char* State) {
#ifdef PLOTVANE_SYSTEMD
    if (const int R = sd_notify(0, State); R < 0)
        std::cerr << "plotvane serve: cannot notify systemd of " << State << ": " << std::strerror(-R) << std::endl;
#else
    (void)State;
#endif
}

constexpr std::string_view Help = R"(Usage: plotvane serve FORM [options]

Serves every TNorq_DBPlotvane of FORM at /<Name>.gif, .jpg, .png, .svg and
.pdf, an index page with all of them at /, and /healthz. A chart URL takes
width, height and scale (1..4) and the SQL parameters the form declares a
request may set, for example /RevenueChart.png?width=800&scale=2&region=EU.
Answers are kept in a response cache while the databases do not change.
/healthz answers 200 while every database can be read, /readyz the same once
the server is ready, /metrics the server's figures in the Prometheus text
format. Stop the server with Ctrl-C (SIGINT) or SIGTERM: requests in flight
finish, and no new request is taken. SIGHUP opens the access log again
under its name (for logrotate's postrotate).

  --port N             the port to listen on (default 8080; 0: any free port)
  --bind ADDRESS       the numeric address or host name to listen on (default
                       127.0.0.1; a name is resolved at start)
  --threads N          worker threads, each with its own copy of the form
                       (default: the number of processors)
  --cache-control V    the Cache-Control header (default "no-cache"; with the
                       ETag, clients revalidate and get 304 while nothing changed)
  --cache-size MB      the response cache in MiB (default 64; 0: no cache)
  --access-log FILE    one line per request in the Combined Log Format plus
                       the duration in ms, appended to FILE ("-": stdout);
                       opened again on SIGHUP
  --cors-origin ORIGIN send Access-Control-Allow-Origin: ORIGIN; given several
                       times, to a request from one of them, naming it
  --no-refresh         render the records read at start instead of watching
                       the databases for changes
  --max-rows N         the most rows a chart's data may hold (default
                       5000000; 0: no limit); a chart over more gets 413
  --render-threads N   threads for big renders (many pixels or rows), so that
                       cached answers and small charts never wait behind them
                       (default 2; 0: big renders run on the workers)

On the public internet:
  --sign-key FILE      answer only chart URLs signed with the key in FILE
                       (at least 32 bytes; see 'plotvane help sign'); others
                       get 403, and the index page is off
  --rate N/s           at most N requests a second per client address, after
                       a burst (429 with Retry-After beyond it)
  --burst M            the burst: M requests at once (default: N)
  --trusted-proxy ADDR a proxy at ADDR names the client in X-Forwarded-For;
                       the rate limit counts that address for its connections
  --metrics-from ADDR  answer /metrics and /readyz to connections from ADDR
                       only (for example 127.0.0.1)
  --no-metrics         no /metrics and /readyz
)";

// A numeric IPv4 or IPv6 address in the spelling the server sees
// connections from ("::1", not "0:0::1").
std::string NumericAddress(const std::string& Option, const std::string& Text) {
    if (Text.empty()) return Text;
    unsigned char Bytes[sizeof(in6_addr)];
    char Spelled[INET6_ADDRSTRLEN] = {};
    const int Family = Text.find(':') != std::string::npos ? AF_INET6 : AF_INET;
    if (inet_pton(Family, Text.c_str(), Bytes) != 1 || !inet_ntop(Family, Bytes, Spelled, sizeof Spelled))
        throw EUsageError(Option + " " + Text + " is not a numeric IPv4 or IPv6 address");
    return Spelled;
}

// "N/s" or "N": requests a second, more than 0.
double ParseRate(const std::string& Text) {
    std::string_view T = Text;
    if (T.ends_with("/s")) T.remove_suffix(2);
    double V = 0;
    auto [P, Ec] = std::from_chars(T.data(), T.data() + T.size(), V);
    if (Ec != std::errc() || P != T.data() + T.size() || !(V > 0) || V > 1e6)
        throw EUsageError("--rate " + Text + " is not a number of requests a second (N/s, N in 0..1000000, above 0)");
    return V;
}

unsigned ParseNumber(const std::string& Option, const std::string& Text, unsigned Max) {
    unsigned V = 0;
    auto [P, Ec] = std::from_chars(Text.data(), Text.data() + Text.size(), V);
    if (Ec != std::errc() || P != Text.data() + Text.size() || V > Max)
        throw EUsageError(Option + " " + Text + " is not a number in 0.." + std::to_string(Max));
    return V;
}

}  // namespace

int RunServe(std::span<const std::string> Args) {
    return RunCommand("serve", Help, "server.md", Args, [&] {
        TCommandArgs A = ParseCommandArgs(Args,
                                          {"--port", "--bind", "--threads", "--cache-control", "--cache-size",
                                           "--access-log", "--cors-origin", "--sign-key", "--rate", "--burst",
                                           "--trusted-proxy", "--metrics-from", "--max-rows", "--render-threads"},
                                          false, 1, 1, {"--no-refresh", "--no-metrics"});
        const bool Refresh = !A.Flag("--no-refresh"), Metrics = !A.Flag("--no-metrics");
        TChartServerOptions O;
        O.FormFile = A.Positional[0];
        O.LoadModule = [Form = O.FormFile] { return LoadForm(Form); };
        O.RefreshData = Refresh;
        if (const std::string Key = A.Option("--sign-key"); !Key.empty()) O.SignKey = ReadSignKey(Key);
        if (const std::string Rate = A.Option("--rate"); !Rate.empty()) {
            O.Rate = ParseRate(Rate);
            O.Burst = std::ceil(O.Rate);
        }
        if (const std::string Burst = A.Option("--burst"); !Burst.empty()) {
            if (O.Rate == 0) throw EUsageError("--burst needs --rate");
            O.Burst = ParseNumber("--burst", Burst, 1000000);
            if (O.Burst < 1) throw EUsageError("--burst must be at least 1");
        }
        O.TrustedProxy = NumericAddress("--trusted-proxy", A.Option("--trusted-proxy"));
        O.Metrics = Metrics;
        O.MetricsFrom = NumericAddress("--metrics-from", A.Option("--metrics-from"));
        O.CacheBytes = std::size_t{ParseNumber("--cache-size", A.Option("--cache-size", "64"), 65536)} << 20;
        O.MaxRows = ParseNumber("--max-rows", A.Option("--max-rows", "5000000"), 2000000000);
        O.RenderThreads = ParseNumber("--render-threads", A.Option("--render-threads", "2"), 64);
        O.Http.Port = static_cast<std::uint16_t>(ParseNumber("--port", A.Option("--port", "8080"), 65535));
        O.Http.BindAddress = A.Option("--bind", "127.0.0.1");
        unsigned Cores = std::max(1u, std::thread::hardware_concurrency());
        O.Http.Threads = ParseNumber("--threads", A.Option("--threads", std::to_string(Cores)), 256);
        if (O.Http.Threads == 0) throw EUsageError("--threads must be at least 1");
        O.Http.CacheControl = A.Option("--cache-control", "no-cache");
        O.Http.ServerHeader = "Plotvane/" PLOTVANE_VERSION_STRING;
        // One origin is named in every answer; of several, the one a
        // request comes from. An empty one names none.
        std::vector<std::string> Origins = A.Values("--cors-origin");
        std::erase(Origins, std::string());
        if (Origins.size() == 1)
            O.Http.ExtraHeaders.push_back({"Access-Control-Allow-Origin", Origins[0]});
        else
            O.Http.CorsOrigins = Origins;
        // Shared by the sink (copied into the server's options) and the
        // signal loop below, which opens it again on SIGHUP.
        std::shared_ptr<pv::TLogFile> LogFile;
        if (const std::string AccessLog = A.Option("--access-log"); !AccessLog.empty()) {
            try {
                LogFile = std::make_shared<pv::TLogFile>(AccessLog);
            } catch (const pv::EStreamError& E) {
                throw EUsageError(std::string("--access-log ") + E.what());
            }
            O.Http.AccessLog = [LogFile](std::string_view Line) { LogFile->WriteLine(Line); };
        }

        // Signals are blocked before any worker exists, so only the wait
        // below receives them; SIGHUP too, which would otherwise end the
        // process.
        sigset_t Signals;
        sigemptyset(&Signals);
        for (int S : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&Signals, S);
        pthread_sigmask(SIG_BLOCK, &Signals, nullptr);
        TChartServer Server(O);
        Server.Start();
        const std::string Host = O.Http.BindAddress.find(':') != std::string::npos ? "[" + O.Http.BindAddress + "]"
                                                                                   : O.Http.BindAddress;
        std::cout << "Serving " << O.FormFile << " at http://" << Host << ":" << Server.GetPort() << "/" << std::endl;
        for (const std::string& Name : Server.ChartNames())
            std::cout << "  http://" << Host << ":" << Server.GetPort() << "/" << Name
                      << ".gif  (.jpg .png .svg .pdf)" << std::endl;
        // Under systemd (Type=notify) the service counts as started once the
        // port answers; without NOTIFY_SOCKET this does nothing.
        NotifyServiceManager("READY=1");
        // SIGHUP (logrotate's postrotate) opens the access log again under
        // its name; it is handled here, on this thread, not in a handler.
        int Sig = 0;
        for (;;) {
            if (sigwait(&Signals, &Sig) != 0) continue;
            if (Sig != SIGHUP) break;
            if (!LogFile || LogFile->Path() == "-") continue;
            const std::string Fault = LogFile->Reopen();
            std::cerr << "plotvane serve: SIGHUP, "
                      << (Fault.empty() ? "access log " + LogFile->Path() + " opened again"
                                        : "cannot open the access log " + Fault +
                                              "; its lines go on to the file open until now")
                      << std::endl;
        }
        std::cerr << "plotvane serve: signal " << Sig << ", finishing the requests in flight" << std::endl;
        NotifyServiceManager("STOPPING=1");
        // Requests in flight get up to ten seconds to finish.
        Server.Shutdown(std::chrono::seconds(10));
        std::cerr << "plotvane serve: stopped" << std::endl;
        return 0;
    });
}

}  // namespace plotvane
