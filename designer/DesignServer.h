#pragma once
// TDesignServer: the designer's page and its JSON interface over HTTP.
//
//   GET  /                       the page (index.html with its script and style)
//   GET  /designer.js, /designer.css
//   GET  /api/state              every component and its properties
//   GET  /api/preview?chart=N[&scale=S]
//                                the chart's preview picture (PNG, ETag), S times larger
//   GET  /api/records?dataset=N  a data set's fields and records
//   POST /api/property           {"component", "property", "value"}
//   POST /api/series/add         {"chart"}: a further series of the chart; answers its "series" name
//   POST /api/series/remove      {"series"}
//   POST /api/undo, /api/redo
//   POST /api/dataset            {"dataset", "active"}
//   POST /api/record             {"dataset", "recno", "values": {field: text}}
//   POST /api/save               {"overwrite": bool, "inactive": bool}
//
// Every request must carry the token the server was started with, in the
// X-Plotvane-Token header or the token query parameter (403 otherwise), and
// name this server in its Host header (a page of another site reaching it
// through a name of its own gets 403). Writes (POST) must carry the token in
// the header, a JSON body and no foreign Origin or Sec-Fetch-Site, so a page
// of another origin cannot make them (403). POST answers are the new state,
// or {"error": message} with the status of the refusal and the state. A
// save that needs the user's word first gets 409 with "reason": "changed"
// (the file changed on disk; "overwrite": true replaces it) or "inactive"
// (a data set open when the form was read or saved is closed now;
// "inactive": true saves it closed). A body nesting arrays and objects
// deeper than 64 levels gets 400 before it is parsed; messages quote at most
// 64 bytes of any value from the client.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "designer/Designer.h"
#include "platform/web/HTTPServer.h"

namespace plotvane {

struct TDesignServerOptions {
    std::string FormFile;
    // Listens on loopback by default; Port 0 takes a free one.
    pv::THTTPServerOptions Http;
    // The token requests must carry; empty: a random one of 32 hex digits.
    std::string Token;
};

// The page's files, built into the library (designer/page/).
std::string_view DesignerAsset(std::string_view Name);

class TDesignServer {
public:
    // Reads the form (see TDesigner); nothing listens until Start.
    explicit TDesignServer(TDesignServerOptions Options);
    ~TDesignServer();

    void Start();
    void Stop();
    std::uint16_t GetPort() const { return FServer->GetPort(); }
    const std::string& Token() const { return FToken; }
    // The page's address with the token: http://127.0.0.1:PORT/?token=...
    std::string Url() const;

    // Answers one request; the HTTP server calls it, tests may too.
    void Handle(const pv::TWebRequest& Request, pv::TWebResponse& Response);

    TDesigner& Designer() { return *FDesigner; }

private:
    bool HostAllowed(std::string_view Host, bool RequirePort = false) const;
    void Route(const pv::TWebRequest& Request, pv::TWebResponse& Response);

    TDesignServerOptions FOptions;
    std::string FToken;
    std::mutex FLock;
    std::unique_ptr<TDesigner> FDesigner;
    std::unique_ptr<pv::THTTPServer> FServer;
};

}  // namespace plotvane
