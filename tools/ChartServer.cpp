#include "tools/ChartServer.h"

#include <functional>

#include "component/Norq_Plotvane.h"
#include "platform/db/DBError.h"
#include "platform/db/DataSet.h"
#include "tools/FormClasses.h"

namespace plotvane {

using Norq_Plotvane::TNorq_DBPlotvane;

namespace {

void ForEachComponent(pv::TComponent& Root, const std::function<void(pv::TComponent&)>& Visit) {
    for (int I = 0; I < Root.GetComponentCount(); ++I) {
        pv::TComponent* C = Root.GetComponent(I);
        Visit(*C);
        ForEachComponent(*C, Visit);
    }
}

std::string HtmlEscape(std::string_view S) {
    std::string R;
    for (char C : S) {
        switch (C) {
            case '<': R += "&lt;"; break;
            case '>': R += "&gt;"; break;
            case '&': R += "&amp;"; break;
            case '"': R += "&quot;"; break;
            default: R += C;
        }
    }
    return R;
}

}  // namespace

// One copy of the form with its charts by name.
struct TChartServer::TModule {
    pv::TUniqueComponent<pv::TComponent> Root;
    std::vector<std::pair<std::string, TNorq_DBPlotvane*>> Charts;
    std::vector<pv::TDataSet*> DataSets;

    TNorq_DBPlotvane* Find(std::string_view Name) const {
        for (auto& [N, C] : Charts)
            if (N == Name) return C;
        return nullptr;
    }
};

// A borrowed module, given back when the lease ends, whatever happens.
class TChartServer::TLease {
public:
    explicit TLease(TChartServer& Server) : FServer(Server) {
        std::unique_lock Lock(Server.FLock);
        Server.FReturned.wait(Lock, [&] { return !Server.FIdle.empty(); });
        FModule = Server.FIdle.back();
        Server.FIdle.pop_back();
    }
    ~TLease() {
        {
            std::lock_guard Lock(FServer.FLock);
            FServer.FIdle.push_back(FModule);
        }
        FServer.FReturned.notify_one();
    }
    TLease(const TLease&) = delete;
    TLease& operator=(const TLease&) = delete;
    TModule& operator*() const { return *FModule; }
    TModule* operator->() const { return FModule; }

private:
    TChartServer& FServer;
    TModule* FModule = nullptr;
};

TChartServer::TChartServer(TChartServerOptions Options) : FOptions(std::move(Options)) {
    const unsigned Count = std::max(1u, FOptions.Http.Threads);
    for (unsigned I = 0; I < Count; ++I) {
        auto M = std::make_unique<TModule>();
        M->Root = LoadForm(FOptions.FormFile);
        ForEachComponent(*M->Root, [&](pv::TComponent& C) {
            if (auto* Chart = dynamic_cast<TNorq_DBPlotvane*>(&C)) M->Charts.emplace_back(Chart->GetName(), Chart);
            if (auto* D = dynamic_cast<pv::TDataSet*>(&C)) M->DataSets.push_back(D);
        });
        if (I == 0) {
            if (M->Charts.empty())
                throw pv::EComponentError("Form " + FOptions.FormFile + " holds no TNorq_DBPlotvane to serve");
            for (auto& [Name, Chart] : M->Charts) FChartNames.push_back(Name);
        }
        FIdle.push_back(M.get());
        FModules.push_back(std::move(M));
    }
    FServer = std::make_unique<pv::THTTPServer>(
        FOptions.Http, [this](const pv::TWebRequest& Request, pv::TWebResponse& Response) { Handle(Request, Response); });
}

TChartServer::~TChartServer() {
    // The workers go first: no request may hold a module that is released.
    if (FServer) FServer->Stop();
}

void TChartServer::Start() { FServer->Start(); }
void TChartServer::Stop() { FServer->Stop(); }

std::string TChartServer::IndexPage() const {
    std::string Page =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Plotvane charts</title>\n"
        "<style>body{font-family:sans-serif;margin:2em;color:#222}figure{display:inline-block;margin:0 2em 2em 0}"
        "figcaption{margin-top:.4em}</style></head><body>\n<h1>" +
        HtmlEscape(FOptions.FormFile) + "</h1>\n";
    for (const std::string& Name : FChartNames) {
        const std::string N = HtmlEscape(Name);
        Page += "<figure><img src=\"/" + N + ".gif\" alt=\"" + N + "\"><figcaption>" + N + " &mdash; <a href=\"/" + N +
                ".gif\">GIF</a> &middot; <a href=\"/" + N + ".jpg\">JPEG</a></figcaption></figure>\n";
    }
    Page += "</body></html>\n";
    return Page;
}

void TChartServer::Handle(const pv::TWebRequest& Request, pv::TWebResponse& Response) {
    const std::string& Path = Request.GetPath();
    if (Path == "/" || Path == "/index.html") {
        Response.SetContentType("text/html; charset=utf-8");
        Response.SetContent(IndexPage());
        Response.SendResponse();
        return;
    }
    enum class TKind { Gif, Jpeg } Kind;
    std::string_view Name(Path);
    if (Name.size() > 5 && Name.substr(Name.size() - 4) == ".gif") {
        Kind = TKind::Gif;
        Name = Name.substr(1, Name.size() - 5);
    } else if (Name.size() > 5 && Name.substr(Name.size() - 4) == ".jpg") {
        Kind = TKind::Jpeg;
        Name = Name.substr(1, Name.size() - 5);
    } else if (Name.size() > 6 && Name.substr(Name.size() - 5) == ".jpeg") {
        Kind = TKind::Jpeg;
        Name = Name.substr(1, Name.size() - 6);
    } else {
        Response.SetStatusCode(404);
        Response.SetContentType("text/plain; charset=utf-8");
        Response.SetContent("Not found: " + Path + "\n");
        Response.SendResponse();
        return;
    }
    TLease Module(*this);
    TNorq_DBPlotvane* Chart = Module->Find(Name);
    if (!Chart) {
        Response.SetStatusCode(404);
        Response.SetContentType("text/plain; charset=utf-8");
        Response.SetContent("No chart named " + std::string(Name) + "\n");
        Response.SendResponse();
        return;
    }
    try {
        if (FOptions.RefreshData)
            for (pv::TDataSet* D : Module->DataSets)
                if (D->GetActive()) D->Refresh();
        if (Kind == TKind::Gif)
            Chart->GetGifResponse(Response);
        else
            Chart->GetJPegResponse(Response);
    } catch (const pv::EDatabaseUnavailable&) {
        SendUnavailable(Response);
        throw;
    }
}

void TChartServer::SendUnavailable(pv::TWebResponse& Response) {
    // The database server is down or too slow: a balancer may try another
    // process, and a client may come back. The exception, raised again, puts
    // the reason in the log line; the data set connects anew at the next
    // request.
    if (Response.Sent()) return;
    Response.SetStatusCode(503);
    Response.SetContentType("text/plain; charset=utf-8");
    Response.SetCustomHeader("Retry-After", "1");
    Response.SetContent("Service Unavailable: the chart's database cannot be reached\n");
    Response.SendResponse();
}

}  // namespace plotvane
