#pragma once
// TChartServer: serves every TNorq_DBPlotvane of a form over HTTP, at
// /<Name>.gif, .jpg, .png, .svg, .pdf, .webp and .avif, and at /<Name> in
// the format the request's Accept header prefers (AVIF, WebP, PNG), with an
// index page at /, /healthz, /readyz, /metrics (the Prometheus text format)
// and /favicon.ico.
//
// A request to a chart goes: URL parameters validated (width, height,
// scale, background, format, quality and the SQL parameters the form lets a
// request set) -> data stamp
// (has any database changed?) -> response cache (a hit answers with the kept
// bytes and ETag, without rendering) -> a module from the pool -> the
// request's settings applied -> data read again when it changed -> render
// -> cache -> answer; the settings are undone before the module goes back.
//
// A component serves one request at a time (its response stream is
// shared), so the server keeps a pool of modules read from the form, one per
// worker thread, each with its own data connection; a request borrows a
// module and gives it back. With as many modules as workers no request ever
// waits for one.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/rtl/Component.h"
#include "platform/db/DataSet.h"
#include "platform/web/HTTPServer.h"

namespace plotvane {

class TResponseCache;
struct TCachedAnswer;
class TDataWatch;
class TRateLimiter;
class TServerMetrics;

struct TChartServerOptions {
    // The form file served; its file name (not the folder) titles the index.
    std::string FormFile;
    // Reads one copy of the form; called once per worker thread.
    std::function<pv::TUniqueComponent<pv::TComponent>()> LoadModule;
    // Watch the databases and read the data sets again when they changed, so
    // a chart shows the database as it is now. false: render the records
    // read at start, as long as the server runs. Default true.
    bool RefreshData = true;
    // The response cache's size in bytes; 0: no cache. Default 64 MiB.
    std::size_t CacheBytes = 64u << 20;
    // The secret that chart URLs must be signed with (see UrlSignature.h);
    // empty: URLs need no signature. A URL without a valid signature, or
    // past its exp=, gets 403 without rendering, and the index page is off.
    std::string SignKey;
    // Requests a second and burst per client address (a token bucket);
    // beyond it 429 with Retry-After. Rate 0: no limit. /healthz, /readyz
    // and /metrics are never limited.
    double Rate = 0;
    double Burst = 0;
    // The address of a proxy in front of the server: a connection from it
    // names its client in the last entry of X-Forwarded-For, which the rate
    // limit then counts. Empty: the connection's address counts.
    std::string TrustedProxy;
    // /metrics (Prometheus text format) and /readyz. With MetricsFrom, only
    // a connection from that address gets them (others 403).
    bool Metrics = true;
    std::string MetricsFrom;
    // The most rows a chart's data may hold: every data set of the form gets
    // it as its record limit (TDataSet::SetRecordLimit). A chart whose data
    // holds more is answered 413, naming the chart, the data set, the limit
    // and the count, and reading stops one row past the limit. 0: no limit.
    // Default 5 000 000.
    std::size_t MaxRows = 5'000'000;
    // Big renders. The work of a render counts its device pixels (width x
    // height x scale^2) and the rows its chart read last. A render of at
    // least BigWork runs on one of RenderThreads threads of its own, so that
    // the HTTP workers stay free for cached answers and small renders; the
    // big renders running or waiting hold at most WorkBudget of work between
    // them (one alone may hold more), and one that does not fit is answered
    // 503 with Retry-After. RenderThreads 0: every render runs on the HTTP
    // workers, without a budget. The render threads are the HTTP adapter's
    // DeferThreads (Http.DeferThreads is set from RenderThreads), and each
    // has a module of its own beside the workers'.
    unsigned RenderThreads = 2;
    std::uint64_t BigWork = 1'000'000;
    std::uint64_t WorkBudget = 32'000'000;
    // Passed to the HTTP adapter (address, port, threads, limits,
    // Cache-Control, logs, Server and extra headers).
    pv::THTTPServerOptions Http;
};

class TChartServer {
public:
    // Reads the form once per worker thread; a bad form raises the form
    // reader's error before anything listens.
    explicit TChartServer(TChartServerOptions Options);
    ~TChartServer();

    void Start();
    void Stop();
    // Lets the requests in flight finish for at most Grace, then stops.
    void Shutdown(std::chrono::milliseconds Grace);
    std::uint16_t GetPort() const { return FServer->GetPort(); }
    // The names of the charts served, in form order.
    std::vector<std::string> ChartNames() const;
    // How many pictures were drawn since the start (cache hits draw none).
    std::uint64_t RenderCount() const { return FRenders.load(); }

private:
    struct TModule;
    struct TChartInfo;
    struct TRequestSettings;
    class TLease;
    void Handle(const pv::TWebRequest& Request, pv::TWebResponse& Response);
    // A chart request in stages: the URL's signature and settings, the
    // data's state, the answer from the cache or rendered, the answer sent.
    // PathFormat is the path's extension, or empty for a format= parameter.
    void HandleChart(const TChartInfo& Chart, const std::string& PathFormat, const pv::TWebRequest& Request,
                     pv::TWebResponse& Response);
    // Each refuses the request itself and returns false / nothing when it fails.
    bool CheckSignature(const pv::TWebRequest& Request, pv::TWebResponse& Response);
    std::optional<TRequestSettings> ReadSettings(const TChartInfo& Chart, const std::string& PathFormat,
                                                 const pv::TWebRequest& Request, pv::TWebResponse& Response) const;
    // Draws the chart on a borrowed module with the request's settings.
    // Warnings (a link dropped from the map) are added to Warnings.
    std::shared_ptr<const TCachedAnswer> Render(const TChartInfo& Chart, const TRequestSettings& Settings,
                                                std::vector<std::string>& Warnings);
    // Renders (or refuses, when its data holds too many rows) and sends the
    // answer of a request the cache could not answer.
    void RenderAndSend(const TChartInfo& Chart, const TRequestSettings& Settings, std::uint64_t Stamp,
                       const pv::TWebRequest& Request, pv::TWebResponse& Response);
    // Sends a kept or new answer.
    void SendAnswer(const TCachedAnswer& Answer, const TRequestSettings& Settings, const pv::TWebRequest& Request,
                    pv::TWebResponse& Response) const;
    // Reads the module's data sets again where their data changed or the
    // request's parameters differ from the last read's.
    void ReadData(TModule& Module, std::size_t Chart, const TRequestSettings& Settings);
    // /healthz, and /readyz (Ready): every database answers.
    void Health(const pv::TWebRequest& Request, pv::TWebResponse& Response, bool Ready);
    // The address the rate limit counts for Request.
    std::string ClientAddress(const pv::TWebRequest& Request) const;
    // Renders each chart's image map, so the page's pictures show hints.
    std::string IndexPage();
    // The data stamp of now, or the reason a database cannot be read.
    std::uint64_t DataStamp(std::string& Fault);
    // A line about Request for the log, after its time and client address.
    void Log(const pv::TWebRequest& Request, const std::string& Line);
    // Answers 503 when a data set's database server cannot be reached.
    static void SendUnavailable(pv::TWebResponse& Response);

    TChartServerOptions FOptions;
    std::vector<TChartInfo> FCharts;
    std::vector<std::unique_ptr<TModule>> FModules;
    std::vector<TModule*> FIdle;
    std::mutex FLock;
    std::condition_variable FReturned;
    std::vector<std::unique_ptr<TDataWatch>> FWatches;
    std::unique_ptr<TResponseCache> FCache;
    // Some data set reads from a database server, whose changes no file
    // shows: with RefreshData each request reads it again and renders.
    bool FHasPolled = false;
    std::atomic<std::uint64_t> FRenders{0};
    // The rows each chart read last, in FCharts' order: part of the work of
    // its next render.
    std::vector<std::atomic<std::uint64_t>> FChartRows;
    // The work of the big renders running or waiting.
    std::mutex FBudgetLock;
    std::uint64_t FBigWork = 0;
    std::unique_ptr<TRateLimiter> FLimiter;
    std::unique_ptr<TServerMetrics> FMetrics;
    std::unique_ptr<pv::THTTPServer> FServer;
};

}  // namespace plotvane
