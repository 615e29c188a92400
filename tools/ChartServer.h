#pragma once
// TChartServer: serves every TNorq_DBPlotvane of a form over HTTP, at
// /<Name>.gif and /<Name>.jpg, with an index page at /.
//
// A component serves one request at a time (its response stream is
// shared), so the server keeps a pool of modules read from the form, one per
// worker thread, each with its own data connection; a request borrows a
// module and gives it back. With as many modules as workers no request ever
// waits for one.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/web/HTTPServer.h"

namespace plotvane {

struct TChartServerOptions {
    // The form file to serve.
    std::string FormFile;
    // Read the data sets again before every render, so a chart shows the
    // database as it is now. Default true.
    bool RefreshData = true;
    // Passed to the HTTP adapter (address, port, threads, limits,
    // Cache-Control, log).
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
    std::uint16_t GetPort() const { return FServer->GetPort(); }
    // The names of the charts served, in form order.
    const std::vector<std::string>& ChartNames() const { return FChartNames; }

private:
    struct TModule;
    class TLease;
    void Handle(const pv::TWebRequest& Request, pv::TWebResponse& Response);
    std::string IndexPage() const;
    // Answers 503 when a data set's server cannot be reached.
    static void SendUnavailable(pv::TWebResponse& Response);

    TChartServerOptions FOptions;
    std::vector<std::string> FChartNames;
    std::vector<std::unique_ptr<TModule>> FModules;
    std::vector<TModule*> FIdle;
    std::mutex FLock;
    std::condition_variable FReturned;
    std::unique_ptr<pv::THTTPServer> FServer;
};

}  // namespace plotvane
