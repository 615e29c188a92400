#include "server/ChartServer.h"


#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <variant>

#include "component/Norq_Plotvane.h"
#include "component/Norq_PlotvaneHotspots.h"
#include "component/Norq_PlotvaneSave.h"
#include "component/Norq_PlotvaneSeries.h"
#include "platform/db/DBError.h"
#include "platform/db/DataSet.h"
#include "platform/db/DataSource.h"
#include "platform/db/QueryParams.h"
#include "platform/db/SQLiteDataSet.h"
#include "platform/web/AccessLog.h"
#include "platform/web/ETag.h"
#include "platform/web/Url.h"
#include "server/ChartRequest.h"
#include "server/Compression.h"
#include "server/DataWatch.h"
#include "server/Metrics.h"
#include "server/RateLimiter.h"
#include "server/ResponseCache.h"
#include "server/UrlSignature.h"

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

bool AcceptsGzip(std::string_view AcceptEncoding) {
    // A plain token check: "gzip" listed without "q=0".
    const std::size_t At = AcceptEncoding.find("gzip");
    if (At == std::string_view::npos) return false;
    std::string_view Rest = AcceptEncoding.substr(At + 4);
    Rest = Rest.substr(0, Rest.find(','));
    return Rest.find("q=0") == std::string_view::npos || Rest.find("q=0.") != std::string_view::npos;
}

std::string FormatScale(double Scale) {
    char Text[32];
    std::snprintf(Text, sizeof Text, "%g", Scale);
    return Text;
}

// Appends Part to Key as "<length>:<bytes>", so that no part, whatever bytes
// it holds, can be read as the end of one part and the start of the next.
void AppendKeyPart(std::string& Key, std::string_view Part) {
    Key += std::to_string(Part.size());
    Key += ':';
    Key += Part;
}

// A typed, checked parameter value as a key part: its type and its value in
// one spelling, so that "3" and "03" of an integer share a key and the text
// "3" does not share one with the integer 3.
std::string TypedKey(const pv::TFieldValue& Value) {
    if (const auto* I = std::get_if<std::int64_t>(&Value)) return "i" + std::to_string(*I);
    if (const auto* D = std::get_if<double>(&Value)) {
        char Text[40];
        std::snprintf(Text, sizeof Text, "r%.17g", *D);
        return Text;
    }
    if (const auto* S = std::get_if<std::string>(&Value)) return "t" + *S;
    return "n";
}

// The typed values Set gives the declarations of Declared, in declaration
// order, each part length-prefixed: equal exactly when a query declaring
// them would read the same. Every value satisfies its declarations.
std::string ParamsKey(const std::vector<pv::TQueryParam>& Declared,
                      const std::vector<std::pair<std::string, std::string>>& Set) {
    std::string Key;
    for (const pv::TQueryParam& P : Declared)
        for (auto& [N, V] : Set)
            if (N == P.Name) {
                AppendKeyPart(Key, N);
                AppendKeyPart(Key, TypedKey(*P.Convert(V)));
            }
    return Key;
}

// The data sets a chart reads: its own, then its further series' in the
// form's order, each once.
std::vector<pv::TDataSet*> ChartDataSets(pv::TComponent& Root, TNorq_DBPlotvane& Chart) {
    std::vector<pv::TDataSet*> Sets;
    const auto Add = [&](pv::TDataSource* Source) {
        pv::TDataSet* D = Source ? Source->GetDataSet() : nullptr;
        if (D && std::find(Sets.begin(), Sets.end(), D) == Sets.end()) Sets.push_back(D);
    };
    Add(Chart.GetDataSource());
    ForEachComponent(Root, [&](pv::TComponent& C) {
        if (auto* Series = dynamic_cast<Norq_Plotvane::TNorq_DBPlotvaneSeries*>(&C); Series && Series->GetChart() == &Chart)
            Add(Series->GetDataSource());
    });
    return Sets;
}

// A 16 x 16 icon of three bars, as PNG.
std::string MakeFavicon() {
    pv::TBitmap B(16, 16, pv::clWhite);
    const int Heights[3] = {7, 12, 4};
    for (int Bar = 0; Bar < 3; ++Bar)
        for (int Y = 15 - Heights[Bar]; Y < 15; ++Y)
            for (int X = 1 + Bar * 5; X < 5 + Bar * 5; ++X) B.ScanLine(Y)[X] = 0x2060C0;
    std::vector<std::uint8_t> Png = B.EncodePNG();
    return std::string(Png.begin(), Png.end());
}

struct TFormat {
    std::string_view Extension;
    std::string_view ContentType;
};
constexpr TFormat Formats[] = {
    {"gif", "image/gif"},       {"jpg", "image/jpeg"},       {"jpeg", "image/jpeg"},
    {"png", "image/png"},       {"svg", "image/svg+xml"},    {"pdf", "application/pdf"},
    {"webp", "image/webp"},     {"avif", "image/avif"},
    // The areas of the points: an HTML image map, and JSON for scripts.
    {"map", "text/html; charset=utf-8"}, {"json", "application/json"},
};

// The format an extension or a format= value names, "jpeg" as "jpg";
// empty for none.
std::string_view FormatNamed(std::string_view Name) {
    for (const TFormat& F : Formats)
        if (F.Extension == Name) return F.Extension == "jpeg" ? std::string_view("jpg") : F.Extension;
    return {};
}

}  // namespace

// What the server knows of one chart from the first copy of the form.
struct TChartServer::TChartInfo {
    std::string Name;
    // The index page's alternative text: the chart's title and what it
    // showed when the form was loaded.
    std::string Alt;
    int Width = 0;
    int Height = 0;
    // The parameters a request may set on the chart's queries (its own and
    // its further series'), every declaration of each: a value must satisfy
    // each declaration of its name.
    std::vector<pv::TQueryParam> Params;
};

// One copy of the form with its charts by name.
struct TChartServer::TModule {
    pv::TUniqueComponent<pv::TComponent> Root;
    std::vector<TNorq_DBPlotvane*> Charts;         // in FCharts' order
    // A query a request may set parameters on, with the ones it declares.
    struct TChartQuery {
        pv::TDataSet* DataSet = nullptr;
        pv::TRequestParams* Params = nullptr;
        std::vector<pv::TQueryParam> Settable;
    };
    // The chart's own query and its further series', each once, in FCharts'
    // order.
    std::vector<std::vector<TChartQuery>> ChartQueries;
    // The SQLite data sets open after loading, each with the watch of its
    // file and what was read last.
    struct TWatched {
        pv::TCustomSQLiteDataSet* DataSet = nullptr;
        std::size_t Watch = 0;
        std::uint64_t Generation = 0;
        std::uint64_t Epoch = 0;
        bool Current = true;
        std::string ParamsKey;
    };
    std::vector<TWatched> Watched;
    // The other data sets open after loading (a database server's): read
    // again at each request when the data is refreshed.
    struct TPolled {
        pv::TDataSet* DataSet = nullptr;
        // The parameter values of the last read (empty: the form's); none:
        // the last read failed, so the next request reads again.
        std::optional<std::string> ParamsKey = std::string();
    };
    std::vector<TPolled> Polled;
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

// The settings of one request, validated.
struct TChartServer::TRequestSettings {
    // "gif", "jpg", "png", "svg", "pdf", "webp" or "avif": from the path's
    // extension, format=, or else the Accept header (Negotiated).
    std::string Format;
    bool Negotiated = false;
    // WebP and AVIF: quality=, AVIF's default filled in; empty: WebP
    // lossless.
    std::optional<int> Quality;
    // theme=, or the chart's own when not given.
    std::optional<Norq_Plotvane::TPlotvaneTheme> Theme;
    TPictureSize Size;
    TPictureBackground Background;
    // The locale locale= asks for (null: the chart's own).
    std::shared_ptr<const pv::TChartLocale> Locale;
    std::vector<std::pair<std::string, std::string>> Params;  // declared ones the request set
    // The cache key: chart, format, quality, theme, pixel size, the exact
    // scale, the background and ParamsKey, each part length-prefixed.
    std::string Key;
    // The declared parameters' typed values in declaration order, each part
    // length-prefixed: equal exactly when the query would read the same.
    std::string ParamsKey;
};

TChartServer::TChartServer(TChartServerOptions Options) : FOptions(std::move(Options)) {
    if (!FOptions.LoadModule) throw pv::EComponentError("TChartServer: no LoadModule function is assigned");
    if (!FOptions.SignKey.empty() && FOptions.SignKey.size() < MinSignKeyBytes)
        throw pv::EComponentError("TChartServer: the signing key holds " + std::to_string(FOptions.SignKey.size()) +
                                  " bytes; it needs at least " + std::to_string(MinSignKeyBytes));
    if (!(FOptions.Rate >= 0) || !(FOptions.Burst >= 0))
        throw pv::EComponentError("TChartServer: Rate " + FormatScale(FOptions.Rate) + " and Burst " +
                                  FormatScale(FOptions.Burst) + " must not be negative");
    if (FOptions.Rate > 0)
        FLimiter = std::make_unique<TRateLimiter>(FOptions.Rate,
                                                  FOptions.Burst > 0 ? FOptions.Burst : std::ceil(FOptions.Rate));
    FMetrics = std::make_unique<TServerMetrics>();
    FOptions.Http.Answered = [Metrics = FMetrics.get(), Outer = FOptions.Http.Answered](
                                 std::string_view Path, int Status, double Seconds) {
        std::string_view Format = "none";
        if (const std::size_t Dot = Path.rfind('.'); Dot != std::string_view::npos && Dot > 1)
            for (const TFormat& F : Formats)
                if (F.Extension == Path.substr(Dot + 1)) Format = F.Extension == "jpeg" ? "jpg" : F.Extension;
        Metrics->CountAnswer(Format, Status, Seconds);
        if (Outer) Outer(Path, Status, Seconds);
    };
    if (FOptions.RenderThreads > 1024)
        throw pv::EComponentError("TChartServer: RenderThreads is " + std::to_string(FOptions.RenderThreads) +
                                  "; it must be between 0 and 1024");
    FOptions.Http.DeferThreads = FOptions.RenderThreads;
    FCache = std::make_unique<TResponseCache>(FOptions.CacheBytes);
    // A module for each HTTP worker and each render thread, so that no
    // request waits for one.
    const unsigned Count = std::max(1u, FOptions.Http.Threads) + FOptions.RenderThreads;
    for (unsigned I = 0; I < Count; ++I) {
        auto M = std::make_unique<TModule>();
        M->Root = FOptions.LoadModule();
        std::vector<TNorq_DBPlotvane*> Found;
        std::vector<const pv::TDataSet*> OverLimit;
        const auto Closed = [&](const pv::TDataSet& D) {
            return std::find(OverLimit.begin(), OverLimit.end(), &D) != OverLimit.end();
        };
        ForEachComponent(*M->Root, [&](pv::TComponent& C) {
            if (auto* Chart = dynamic_cast<TNorq_DBPlotvane*>(&C)) Found.push_back(Chart);
            if (auto* D = dynamic_cast<pv::TDataSet*>(&C)) {
                D->SetRecordLimit(FOptions.MaxRows);
                // Read at load, before the limit was set: too many records
                // are let go, and a request for the chart is refused.
                if (FOptions.MaxRows > 0 && static_cast<std::size_t>(D->GetRecordCount()) > FOptions.MaxRows) {
                    D->Close();
                    OverLimit.push_back(D);
                }
            }
            if (auto* D = dynamic_cast<pv::TCustomSQLiteDataSet*>(&C); D && (D->GetActive() || Closed(*D))) {
                TModule::TWatched W;
                W.DataSet = D;
                M->Watched.push_back(W);
            } else if (auto* Other = dynamic_cast<pv::TDataSet*>(&C); Other && (Other->GetActive() || Closed(*Other))) {
                M->Polled.push_back({Other, std::string()});
            }
        });
        if (I == 0) {
            if (Found.empty())
                throw pv::EComponentError("Form " + FOptions.FormFile + " holds no TNorq_DBPlotvane to serve");
            for (TNorq_DBPlotvane* Chart : Found) {
                TChartInfo Info;
                Info.Name = Chart->GetName();
                const pv::TCustomChart& Drawn = *Chart->GetInternalChart();
                const std::string Title = Drawn.GetTitleText();
                Info.Alt = (Title.empty() ? Info.Name : Title) + ". " + Drawn.Describe();
                Info.Width = Chart->GetWidth();
                Info.Height = Chart->GetHeight();
                for (pv::TDataSet* D : ChartDataSets(*M->Root, *Chart))
                    if (auto* Q = dynamic_cast<pv::TRequestParams*>(D))
                        for (pv::TQueryParam& P : Q->GetParamList())
                            if (P.RequestSettable()) Info.Params.push_back(std::move(P));
                FCharts.push_back(std::move(Info));
            }
            for (TModule::TWatched& W : M->Watched) {
                const std::string Path = W.DataSet->GetDatabasePath();
                std::size_t Index = 0;
                while (Index < FWatches.size() && FWatches[Index]->Path() != Path) ++Index;
                if (Index == FWatches.size()) FWatches.push_back(std::make_unique<TDataWatch>(Path, W.DataSet->GetName()));
            }
        }
        if (Found.size() != FCharts.size())
            throw pv::EComponentError("Form " + FOptions.FormFile + " gave another set of charts when read again");
        for (std::size_t C = 0; C < Found.size(); ++C) {
            M->Charts.push_back(Found[C]);
            std::vector<TModule::TChartQuery>& Queries = M->ChartQueries.emplace_back();
            for (pv::TDataSet* D : ChartDataSets(*M->Root, *Found[C]))
                if (auto* Q = dynamic_cast<pv::TRequestParams*>(D)) {
                    TModule::TChartQuery& Entry = Queries.emplace_back();
                    Entry.DataSet = D;
                    Entry.Params = Q;
                    for (pv::TQueryParam& P : Q->GetParamList())
                        if (P.RequestSettable()) Entry.Settable.push_back(std::move(P));
                }
        }
        for (TModule::TWatched& W : M->Watched) {
            const std::string Path = W.DataSet->GetDatabasePath();
            while (W.Watch < FWatches.size() && FWatches[W.Watch]->Path() != Path) ++W.Watch;
            if (W.Watch == FWatches.size()) FWatches.push_back(std::make_unique<TDataWatch>(Path, W.DataSet->GetName()));
        }
        if (!M->Polled.empty()) FHasPolled = true;
        if (I == 0) {
            FChartRows = std::vector<std::atomic<std::uint64_t>>(Found.size());
            for (std::size_t C = 0; C < Found.size(); ++C) {
                pv::TDataSource* Source = Found[C]->GetDataSource();
                pv::TDataSet* Data = Source ? Source->GetDataSet() : nullptr;
                FChartRows[C] = Data ? static_cast<std::uint64_t>(Data->GetRecordCount()) : 0;
            }
        }
        FIdle.push_back(M.get());
        FModules.push_back(std::move(M));
    }
    // The first look at each file; what the modules read at load counts as
    // read at this generation.
    for (auto& W : FWatches) W->Check();
    for (auto& M : FModules)
        for (TModule::TWatched& W : M->Watched) {
            TDataWatch::TState S = FWatches[W.Watch]->Check();
            W.Generation = S.Generation;
            W.Epoch = S.FileEpoch;
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
void TChartServer::Shutdown(std::chrono::milliseconds Grace) { FServer->Shutdown(Grace); }

std::vector<std::string> TChartServer::ChartNames() const {
    std::vector<std::string> Names;
    for (const TChartInfo& C : FCharts) Names.push_back(C.Name);
    return Names;
}

void TChartServer::Log(const pv::TWebRequest& Request, const std::string& Line) {
    const std::string Full = pv::RequestLinePrefix(std::time(nullptr), Request.GetRemoteAddress()) + Line;
    static std::mutex LogLock;
    std::lock_guard<std::mutex> Lock(LogLock);
    if (FOptions.Http.Log) {
        FOptions.Http.Log(Full);
    } else {
        const std::string Text = Full + "\n";
        std::fwrite(Text.data(), 1, Text.size(), stderr);
    }
}

std::uint64_t TChartServer::DataStamp(std::string& Fault) {
    if (!FOptions.RefreshData) return 0;
    std::uint64_t Stamp = 0;
    for (auto& W : FWatches) {
        TDataWatch::TState S = W->Check();
        if (!S.Fault.empty() && Fault.empty()) Fault = S.Fault;
        // Generations only grow, so their sum changes whenever one does.
        Stamp += S.Generation;
    }
    return Stamp;
}

std::string TChartServer::IndexPage() {
    const std::string Title = HtmlEscape(std::filesystem::path(FOptions.FormFile).filename().string());
    std::string Page =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>" + Title + " &mdash; Plotvane charts</title>\n"
        "<style>body{font-family:sans-serif;margin:1em;color:#222;max-width:60em}"
        "figure{margin:0 0 2em 0}img{max-width:100%;height:auto;border:1px solid #ddd}"
        "figcaption{margin-top:.4em}code{display:block;white-space:pre-wrap;word-break:break-all;"
        "background:#f4f4f4;padding:.4em;margin-top:.3em;font-size:.85em}</style></head><body>\n<h1>" +
        Title + "</h1>\n";
    for (const TChartInfo& C : FCharts) {
        const std::string N = HtmlEscape(C.Name);
        const std::string U = HtmlEscape(pv::PercentEncode(C.Name));
        const std::string Size = "width=\"" + std::to_string(C.Width) + "\" height=\"" + std::to_string(C.Height) + "\"";
        // The map of the picture at its own size; none when its data
        // cannot be read now (the picture's own request then says why).
        std::string Map;
        try {
            TRequestSettings S;
            S.Format = "map";
            S.Size = {C.Width, C.Height, 1};
            std::vector<std::string> Warnings;
            Map = Render(C, S, Warnings)->Body;
        } catch (const std::exception&) {
            Map.clear();
        }
        const std::string Img = "<img src=\"/" + U + ".png\" srcset=\"/" + U + ".png?scale=2 2x\" " + Size +
                                " alt=\"" + HtmlEscape(C.Alt) + "\"" + (Map.empty() ? "" : " usemap=\"#" + N + "\"") + ">";
        Page += "<figure>" + Img + Map + "<figcaption><strong>" + N + "</strong> &mdash;";
        bool First = true;
        for (const TFormat& F : Formats) {
            if (F.Extension == "jpeg") continue;
            std::string Upper(F.Extension);
            for (char& Ch : Upper) Ch = static_cast<char>(Ch - 'a' + 'A');
            Page += std::string(First ? " " : " &middot; ") + "<a href=\"/" + U + "." + std::string(F.Extension) +
                    "\">" + Upper + "</a>";
            First = false;
        }
        Page += " &middot; <a href=\"/" + U + ".png?scale=2\">PNG 2&times;</a>";
        Page += "<code>" + HtmlEscape(Img) + "</code></figcaption></figure>\n";
    }
    Page += "</body></html>\n";
    return Page;
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
    Response.SetCustomHeader("Cache-Control", "no-store");
    Response.SetContent("Service Unavailable: the chart's database cannot be reached\n");
    Response.SendResponse();
}

std::string TChartServer::ClientAddress(const pv::TWebRequest& Request) const {
    const std::string& Remote = Request.GetRemoteAddress();
    if (FOptions.TrustedProxy.empty() || Remote != FOptions.TrustedProxy) return Remote;
    // The proxy appends the address it was connected from; entries before
    // it are the client's own say and prove nothing.
    std::string_view Forwarded = Request.GetHeader("X-Forwarded-For");
    if (const std::size_t Comma = Forwarded.rfind(','); Comma != std::string_view::npos)
        Forwarded.remove_prefix(Comma + 1);
    while (!Forwarded.empty() && (Forwarded.front() == ' ' || Forwarded.front() == '\t')) Forwarded.remove_prefix(1);
    while (!Forwarded.empty() && (Forwarded.back() == ' ' || Forwarded.back() == '\t')) Forwarded.remove_suffix(1);
    return Forwarded.empty() ? Remote : std::string(Forwarded);
}

void TChartServer::Health(const pv::TWebRequest& Request, pv::TWebResponse& Response, bool Ready) {
    // Every database is looked at, also when the data is not watched.
    std::string Fault;
    for (auto& W : FWatches)
        if (std::string F = W->Check().Fault; !F.empty() && Fault.empty()) Fault = F;
    // A database server is asked: its data sets on one module read again.
    if (Fault.empty() && FHasPolled) {
        TLease Module(*this);
        for (TModule::TPolled& P : Module->Polled) {
            pv::TDataSet* D = P.DataSet;
            P.ParamsKey.reset();
            try {
                if (D->GetActive())
                    D->Refresh();
                else
                    D->Open();
                // Read with the form's values.
                P.ParamsKey = std::string();
            } catch (const pv::ERecordLimitExceeded&) {
                // The database answered; the chart is refused on its own.
            } catch (const std::exception& E) {
                Fault = E.what();
                break;
            }
        }
    }
    Response.SetCustomHeader("Cache-Control", "no-store");
    if (Fault.empty()) {
        pv::SendPlainText(Response, 200, Ready ? "ready\n" : "ok\n");
    } else {
        Log(Request, std::string(Ready ? "readyz: " : "healthz: ") + Fault);
        pv::SendPlainText(Response, 503, Fault + "\n");
    }
}

void TChartServer::Handle(const pv::TWebRequest& Request, pv::TWebResponse& Response) {
    const std::string& Path = Request.GetPath();
    if (Path == "/healthz") return Health(Request, Response, false);
    if (Path == "/readyz" || Path == "/metrics") {
        if (!FOptions.Metrics) return pv::SendPlainText(Response, 404, "Not found: " + Path + "\n");
        if (!FOptions.MetricsFrom.empty() && Request.GetRemoteAddress() != FOptions.MetricsFrom)
            return pv::SendPlainText(Response, 403, "Forbidden: " + Path + " is answered to " + FOptions.MetricsFrom +
                                                        " only\n");
        if (Path == "/readyz") return Health(Request, Response, true);
        Response.SetCustomHeader("Cache-Control", "no-store");
        Response.SetContentType("text/plain; version=0.0.4; charset=utf-8");
        Response.SetContent(FMetrics->Text({FCache->Bytes(), FCache->Count(), FServer->RequestsInFlight()}));
        Response.SendResponse();
        return;
    }
    if (FLimiter) {
        if (const int Wait = FLimiter->Take(ClientAddress(Request))) {
            FMetrics->CountRateLimited();
            Response.SetCustomHeader("Retry-After", std::to_string(Wait));
            Response.SetCustomHeader("Cache-Control", "no-store");
            return pv::SendPlainText(Response, 429, "Too Many Requests: try again in " + std::to_string(Wait) +
                                                        " s\n");
        }
    }
    if ((Path == "/" || Path == "/index.html") && !FOptions.SignKey.empty())
        return pv::SendPlainText(Response, 404, "Not found: the index is off while chart URLs must be signed\n");
    if (Path == "/" || Path == "/index.html") {
        Response.SetContentType("text/html; charset=utf-8");
        Response.SetContent(IndexPage());
        Response.SendResponse();
        return;
    }
    if (Path == "/favicon.ico") {
        static const std::string Icon = MakeFavicon();
        Response.SetContentType("image/png");
        Response.SetCustomHeader("Cache-Control", "max-age=86400");
        Response.SetContent(Icon);
        Response.SendResponse();
        return;
    }
    // /<Name>.<format>, or /<Name> with the format in format=.
    const std::size_t Dot = Path.rfind('.');
    if (Path.size() > 1 && Dot != std::string::npos && Dot > 1) {
        const std::string_view Name = std::string_view(Path).substr(1, Dot - 1);
        if (const std::string_view Format = FormatNamed(std::string_view(Path).substr(Dot + 1)); !Format.empty()) {
            for (const TChartInfo& C : FCharts)
                if (C.Name == Name) return HandleChart(C, std::string(Format), Request, Response);
            return pv::SendPlainText(Response, 404, "No chart named " + std::string(Name) + "\n");
        }
    } else if (Path.size() > 1 && Dot == std::string::npos) {
        for (const TChartInfo& C : FCharts)
            if (C.Name == std::string_view(Path).substr(1)) return HandleChart(C, std::string(), Request, Response);
    }
    pv::SendPlainText(Response, 404, "Not found: " + Path + "\n");
}

bool TChartServer::CheckSignature(const pv::TWebRequest& Request, pv::TWebResponse& Response) {
    const TSignatureVerdict Verdict =
        CheckUrlSignature(FOptions.SignKey, Request.GetPath(), Request.GetQueryFields(), std::time(nullptr));
    if (Verdict == TSignatureVerdict::svValid) return true;
    FMetrics->CountSignatureRefused();
    Response.SetCustomHeader("Cache-Control", "no-store");
    const char* Why = Verdict == TSignatureVerdict::svMissing ? "the URL carries no signature (sig)"
                      : Verdict == TSignatureVerdict::svWrong ? "the URL's signature (sig) does not match it"
                      : Verdict == TSignatureVerdict::svExpired
                          ? "the URL has expired (exp)"
                          : "the URL's expiry (exp) is not a whole number of seconds since 1970";
    pv::SendPlainText(Response, 403, std::string("Forbidden: ") + Why + "\n");
    return false;
}

std::optional<TChartServer::TRequestSettings> TChartServer::ReadSettings(const TChartInfo& Chart,
                                                                         const std::string& PathFormat,
                                                                         const pv::TWebRequest& Request,
                                                                         pv::TWebResponse& Response) const {
    TRequestSettings S;
    S.Format = PathFormat;
    S.Size = {Chart.Width, Chart.Height, 1};
    auto Refuse = [&](const std::string& Why) {
        pv::SendPlainText(Response, 400, Why + "\n");
        return std::nullopt;
    };
    const bool Signed = !FOptions.SignKey.empty();
    std::vector<std::string_view> Seen;
    const auto Given = [&](std::string_view Name) { return std::find(Seen.begin(), Seen.end(), Name) != Seen.end(); };
    for (const pv::TWebField& F : Request.GetQueryFields()) {
        if (Given(F.Name)) return Refuse("Parameter " + QuoteValue(F.Name) + " is given more than once");
        Seen.push_back(F.Name);
        if (Signed && (F.Name == "sig" || F.Name == "exp")) continue;
        if ((F.Name == "scale" && Given("devicePixelRatio")) || (F.Name == "devicePixelRatio" && Given("scale")))
            return Refuse("Parameters scale and devicePixelRatio are both given: they are two names of the scale; "
                          "give one");
        if (std::optional<std::string> Refusal = ReadSizeParam(F.Name, F.Value, S.Size)) {
            if (!Refusal->empty()) return Refuse(*Refusal);
            continue;
        }
        if (F.Name == "background") {
            if (std::string Refusal = ReadBackgroundParam(F.Value, S.Background); !Refusal.empty())
                return Refuse(Refusal);
            continue;
        }
        if (F.Name == "quality") {
            int Quality = 0;
            if (std::string Refusal = ReadQualityParam(F.Value, Quality); !Refusal.empty()) return Refuse(Refusal);
            S.Quality = Quality;
            continue;
        }
        if (F.Name == "theme") {
            Norq_Plotvane::TPlotvaneTheme Theme{};
            if (std::string Refusal = ReadThemeParam(F.Value, Theme); !Refusal.empty()) return Refuse(Refusal);
            S.Theme = Theme;
            continue;
        }
        if (F.Name == "locale") {
            try {
                S.Locale = pv::FindChartLocale(F.Value);
            } catch (const pv::EConvertError&) {
                return Refuse("Parameter locale=" + QuoteValue(F.Value) +
                              " is not a known locale: give a language tag such as 'de-DE', 'fr' or 'en-US'");
            }
            continue;
        }
        if (F.Name == "format") {
            const std::string_view Named = FormatNamed(F.Value);
            if (Named.empty())
                return Refuse("Parameter format=" + QuoteValue(F.Value) + " is not a format: it must be gif, jpg, png, "
                              "svg, pdf, webp, avif, map or json");
            if (!PathFormat.empty() && Named != PathFormat)
                return Refuse("Parameter format=" + QuoteValue(F.Value) + " asks for another format than the path's ." +
                              PathFormat + ": give the format once, as /" + Chart.Name + "." + std::string(Named) +
                              " or /" + Chart.Name + "?format=" + std::string(Named));
            S.Format = std::string(Named);
            continue;
        }
        bool Declared = false;
        for (const pv::TQueryParam& P : Chart.Params) {
            if (P.Name != F.Name) continue;
            Declared = true;
            if (!P.Convert(F.Value))
                return Refuse("Parameter " + F.Name + "=" + QuoteValue(F.Value) + " is out of range: it must be " +
                              P.Allowed());
        }
        if (!Declared) {
            std::string Known = "width, height, scale, devicePixelRatio, background, format, quality, theme, locale";
            std::vector<std::string_view> Listed;
            for (const pv::TQueryParam& P : Chart.Params)
                if (std::find(Listed.begin(), Listed.end(), P.Name) == Listed.end()) {
                    Listed.push_back(P.Name);
                    Known += ", " + P.Name;
                }
            return Refuse("Unknown parameter " + QuoteValue(F.Name) + ": " + Chart.Name + " takes " + Known);
        }
        S.Params.emplace_back(F.Name, F.Value);
    }
    if (S.Format.empty()) {
        S.Format = std::string(NegotiateFormat(Request.GetHeader("Accept")));
        S.Negotiated = true;
    }
    const bool TakesQuality = S.Format == "webp" || S.Format == "avif";
    const auto Title = [&] {
        if (S.Format == "map") return std::string("an image map");
        if (S.Format == "json") return std::string("JSON");
        return std::string(Norq_Plotvane::ChartFileFormatTitle(
            *Norq_Plotvane::ChartFileFormatFromName(S.Format)));
    };
    // The areas take the picture's parameters, so that a page gives its map
    // the picture's query; the quality and background change no area.
    const bool Areas = S.Format == "map" || S.Format == "json";
    if (Areas) {
        S.Quality.reset();
        S.Background = {};
    }
    if (S.Quality && !TakesQuality) {
        // A client that let the server choose cannot know whether the
        // format takes a quality: it is one for those that do.
        if (!S.Negotiated)
            return Refuse("Parameter quality=" + std::to_string(*S.Quality) + " is not possible for " + Title() +
                          ": only WebP and AVIF take a quality");
        S.Quality.reset();
    }
    if (S.Format == "avif" && !S.Quality) S.Quality = pv::TAVIFOptions::DefaultQuality;
    if (S.Background.Transparent && S.Format != "png" && S.Format != "svg" && !TakesQuality)
        return Refuse("Parameter background='transparent' is not possible for " + Title() +
                      ": only PNG, WebP, AVIF and SVG have a transparent background");
    if (std::string Refusal = CheckPictureSize(S.Size); !Refusal.empty()) return Refuse(Refusal);
    S.ParamsKey = ParamsKey(Chart.Params, S.Params);
    char ExactScale[40];
    std::snprintf(ExactScale, sizeof ExactScale, "%.17g", S.Size.Scale);
    // The background by what is drawn: none, transparent, or the colour's
    // code however it was spelled.
    char Background[16] = "";
    if (S.Background.Transparent)
        std::snprintf(Background, sizeof Background, "t");
    else if (S.Background.Color)
        std::snprintf(Background, sizeof Background, "c%08X", static_cast<unsigned>(*S.Background.Color));
    AppendKeyPart(S.Key, Chart.Name);
    AppendKeyPart(S.Key, S.Format);
    AppendKeyPart(S.Key, S.Quality ? std::to_string(*S.Quality) : std::string());
    AppendKeyPart(S.Key, S.Theme ? std::to_string(static_cast<int>(*S.Theme)) : std::string());
    AppendKeyPart(S.Key, std::to_string(S.Size.Width) + "x" + std::to_string(S.Size.Height));
    AppendKeyPart(S.Key, ExactScale);
    AppendKeyPart(S.Key, Background);
    // The locale by ICU's name for it, so that de-DE and de_DE share answers.
    AppendKeyPart(S.Key, S.Locale ? "l" + S.Locale->Id : std::string());
    AppendKeyPart(S.Key, S.ParamsKey);
    return S;
}

void TChartServer::ReadData(TModule& Module, std::size_t Chart, const TRequestSettings& S) {
    using TClock = std::chrono::steady_clock;
    const TClock::time_point Start = TClock::now();
    bool Read = false;
    for (TModule::TWatched& W : Module.Watched) {
        const TDataWatch::TState State = FWatches[W.Watch]->Check();
        // The values this query binds: a query reads again only when its
        // own parameters change.
        std::string Key;
        for (const TModule::TChartQuery& Q : Module.ChartQueries[Chart])
            if (Q.DataSet == W.DataSet) Key = ParamsKey(Q.Settable, S.Params);
        const bool Reopen = State.FileEpoch != W.Epoch || !W.DataSet->GetActive();
        const bool Reread =
            !W.Current || (FOptions.RefreshData && State.Generation != W.Generation) || Key != W.ParamsKey;
        if (!Reopen && !Reread) continue;
        Read = true;
        W.Current = false;
        if (Reopen) {
            W.DataSet->Close();
            W.DataSet->Open();
        } else {
            W.DataSet->Refresh();
        }
        W.Generation = State.Generation;
        W.Epoch = State.FileEpoch;
        W.ParamsKey = Key;
        W.Current = true;
    }
    for (TModule::TPolled& P : Module.Polled) {
        pv::TDataSet* D = P.DataSet;
        // Without refreshing, the records read at start serve every request
        // that binds the same values; other values read again, else a
        // request would get the picture of another's parameters.
        std::string Key;
        for (const TModule::TChartQuery& Q : Module.ChartQueries[Chart])
            if (Q.DataSet == D) Key = ParamsKey(Q.Settable, S.Params);
        if (D->GetActive() && !FOptions.RefreshData && Key == P.ParamsKey) continue;
        Read = true;
        P.ParamsKey.reset();
        if (D->GetActive())
            D->Refresh();
        else
            D->Open();
        P.ParamsKey = std::move(Key);
    }
    if (Read) FMetrics->ObserveQuery(std::chrono::duration<double>(TClock::now() - Start).count());
}

std::shared_ptr<const TCachedAnswer> TChartServer::Render(const TChartInfo& Chart, const TRequestSettings& S,
                                                         std::vector<std::string>& Warnings) {
    const std::string& Format = S.Format;
    // A module of its own, with the request's settings undone before the
    // module goes back.
    TLease Module(*this);
    const std::size_t Index = static_cast<std::size_t>(&Chart - FCharts.data());
    TNorq_DBPlotvane* C = Module->Charts[Index];
    const std::vector<TModule::TChartQuery>& Queries = Module->ChartQueries[Index];
    struct TRestore {
        TNorq_DBPlotvane* C;
        const std::vector<TModule::TChartQuery>& Queries;
        int W, H;
        double Scale;
        pv::TColor Color;
        Norq_Plotvane::TPlotvaneTheme Theme;
        std::string Locale;
        ~TRestore() {
            for (const TModule::TChartQuery& Q : Queries) Q.Params->ClearParamValues();
            try {
                C->SetTheme(Theme);
                C->SetLocale(Locale);
                C->SetScale(Scale);
                C->SetWidth(W);
                C->SetHeight(H);
                C->SetColor(Color);
            } catch (...) {
                // The held values were valid; nothing to report.
            }
        }
    } Restore{C, Queries, C->GetWidth(), C->GetHeight(), C->GetScale(), C->GetColor(), C->GetTheme(),
              C->GetLocale()};
    // Each value goes to every query of the chart that declares its name.
    for (const TModule::TChartQuery& Q : Queries)
        for (auto& [N, V] : S.Params)
            if (std::any_of(Q.Settable.begin(), Q.Settable.end(), [&](const pv::TQueryParam& P) { return P.Name == N; }))
                Q.Params->SetParamValue(N, V);
    // The data sets read again where their data changed or this request's
    // parameters differ from the last read's.
    ReadData(*Module, Index, S);

    const auto Start = std::chrono::steady_clock::now();
    C->SetScale(S.Size.Scale);
    C->SetWidth(S.Size.Width);
    C->SetHeight(S.Size.Height);
    if (S.Background.Color) C->SetColor(*S.Background.Color);
    if (S.Theme) C->SetTheme(*S.Theme);
    if (S.Locale) C->SetLocale(S.Locale->Name);
    const bool Transparent = S.Background.Transparent;
    auto Made = std::make_shared<TCachedAnswer>();
    if (Format == "gif" || Format == "jpg") {
        pv::TWebResponse Capture;
        if (Format == "gif")
            C->GetGifResponse(Capture);
        else
            C->GetJPegResponse(Capture);
        Made->Body = Capture.GetSentMessage()->Body;
    } else if (Format == "map" || Format == "json") {
        const std::vector<Norq_Plotvane::THotspotArea> Areas = C->GetHotspots(&Warnings);
        Made->Body = Format == "map" ? Norq_Plotvane::HotspotMapHtml(Chart.Name, Areas) : Norq_Plotvane::HotspotJson(Areas);
    } else if (Format == "png" || Format == "webp" || Format == "avif") {
        const std::vector<std::uint8_t> Bytes = Norq_Plotvane::SaveChartToBytes(
            *C, *Norq_Plotvane::ChartFileFormatFromName(Format), {S.Quality, Transparent});
        Made->Body.assign(Bytes.begin(), Bytes.end());
    } else {
        Made->Body = C->GetVectorPicture(Format == "svg" ? pv::TVectorFormat::vfSVG : pv::TVectorFormat::vfPDF,
                                         Transparent);
        if (Format == "svg") {
            Made->GzipBody = GzipSvg(Made->Body);
            if (!Made->GzipBody.empty()) Made->GzipETag = pv::StrongETag(Made->GzipBody);
        }
    }
    if (pv::TDataSource* Source = C->GetDataSource(); Source && Source->GetDataSet())
        FChartRows[Index] = static_cast<std::uint64_t>(Source->GetDataSet()->GetRecordCount());
    FRenders.fetch_add(1);
    FMetrics->ObserveRender(std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count());
    for (const TFormat& F : Formats)
        if (F.Extension == Format) Made->ContentType = std::string(F.ContentType);
    Made->ETag = pv::StrongETag(Made->Body);
    return Made;
}

void TChartServer::HandleChart(const TChartInfo& Chart, const std::string& PathFormat, const pv::TWebRequest& Request,
                               pv::TWebResponse& Response) {
    // 1. The request: a signed URL when the server has a key (nothing else
    // is looked at before the signature holds), then its settings, each
    // checked; a refusal names the parameter and what it allows.
    if (!FOptions.SignKey.empty() && !CheckSignature(Request, Response)) return;
    const std::optional<TRequestSettings> S = ReadSettings(Chart, PathFormat, Request, Response);
    if (!S) return;

    // 2. The data: has any database changed, and can each be read?
    std::string Fault;
    const std::uint64_t Stamp = DataStamp(Fault);
    if (!Fault.empty()) {
        FMetrics->CountDatabaseError();
        Log(Request, "GET " + Request.GetPath() + ": 503: " + Fault);
        Response.SetCustomHeader("Cache-Control", "no-store");
        return pv::SendPlainText(Response, 503, "Service Unavailable: the chart's data cannot be read\n");
    }

    // 3. A kept answer drawn from the same data, or a new rendering. Data
    // read from a database server is read again for every request, so such
    // answers are never kept (an unchanged picture still gets its unchanged
    // ETag, and with it a 304).
    const bool Polled = FOptions.RefreshData && FHasPolled;
    if (std::shared_ptr<const TCachedAnswer> Kept = Polled ? nullptr : FCache->Find(S->Key, Stamp)) {
        FMetrics->CountCacheHit();
        return SendAnswer(*Kept, *S, Request, Response);
    }
    FMetrics->CountCacheMiss();
    const std::size_t Index = static_cast<std::size_t>(&Chart - FCharts.data());
    const std::uint64_t Pixels = static_cast<std::uint64_t>(
        std::ceil(S->Size.Width * S->Size.Scale) * std::ceil(S->Size.Height * S->Size.Scale));
    const std::uint64_t Work = Pixels + FChartRows[Index].load();
    if (FOptions.RenderThreads == 0 || Work < FOptions.BigWork) return RenderAndSend(Chart, *S, Stamp, Request, Response);

    // A big render: counted against the budget, and drawn on a render
    // thread while this worker serves its other connections.
    {
        std::lock_guard Lock(FBudgetLock);
        if (FBigWork > 0 && FBigWork + Work > FOptions.WorkBudget) {
            FMetrics->CountBudgetRefused();
            Response.SetCustomHeader("Retry-After", "1");
            Response.SetCustomHeader("Cache-Control", "no-store");
            return pv::SendPlainText(Response, 503, "Service Unavailable: " + Chart.Name +
                                                        " is a big render and the server is busy with others; "
                                                        "try again in 1 s\n");
        }
        FBigWork += Work;
    }
    // Given back when the deferred answer is done with, whether it ran or not.
    class TRelease {
    public:
        TRelease(TChartServer& Server, std::uint64_t Work) : FServer(Server), FWork(Work) {}
        ~TRelease() {
            std::lock_guard Lock(FServer.FBudgetLock);
            FServer.FBigWork -= FWork;
        }
        TRelease(const TRelease&) = delete;
        TRelease& operator=(const TRelease&) = delete;

    private:
        TChartServer& FServer;
        std::uint64_t FWork;
    };
    auto Held = std::make_shared<const TRelease>(*this, Work);
    Response.Defer(Request, [this, &Chart, Settings = *S, Stamp, Held](const pv::TWebRequest& Later,
                                                                         pv::TWebResponse& Out) {
        RenderAndSend(Chart, Settings, Stamp, Later, Out);
    });
}

void TChartServer::RenderAndSend(const TChartInfo& Chart, const TRequestSettings& S, std::uint64_t Stamp,
                                 const pv::TWebRequest& Request, pv::TWebResponse& Response) {
    const bool Polled = FOptions.RefreshData && FHasPolled;
    std::shared_ptr<const TCachedAnswer> Answer;
    std::vector<std::string> Warnings;
    try {
        Answer = Render(Chart, S, Warnings);
    } catch (const pv::EDatabaseUnavailable&) {
        FMetrics->CountDatabaseError();
        SendUnavailable(Response);
        throw;
    } catch (const pv::ERecordLimitExceeded& E) {
        // Refused, not failed: the chart's data is bigger than this server
        // draws. The chart counts as that big for its next request.
        const std::size_t Index = static_cast<std::size_t>(&Chart - FCharts.data());
        FChartRows[Index] = E.Found();
        Log(Request, "GET " + Request.GetPath() + ": 413: " + Chart.Name + ": " + E.what());
        Response.SetCustomHeader("Cache-Control", "no-store");
        return pv::SendPlainText(Response, 413, "Content Too Large: chart " + Chart.Name + ": " + E.what() +
                                                    " (the server's row limit)\n");
    }
    for (const std::string& W : Warnings) Log(Request, "GET " + Request.GetPath() + ": warning: " + W);
    if (!Polled) FCache->Insert(S.Key, Stamp, Answer);
    SendAnswer(*Answer, S, Request, Response);
}

void TChartServer::SendAnswer(const TCachedAnswer& Answer, const TRequestSettings& S, const pv::TWebRequest& Request,
                              pv::TWebResponse& Response) const {
    // The adapter turns it into 304 when If-None-Match holds its tag.
    const bool Polled = FOptions.RefreshData && FHasPolled;
    const bool Gz = !Answer.GzipBody.empty() && AcceptsGzip(Request.GetHeader("Accept-Encoding"));
    Response.SetContentType(Answer.ContentType);
    Response.SetCustomHeader("ETag", Gz ? Answer.GzipETag : Answer.ETag);
    if (S.Format == "svg") Response.SetCustomHeader("Vary", "Accept-Encoding");
    // The format came from the Accept header, so a cache must keep one
    // answer per Accept.
    if (S.Negotiated) Response.SetCustomHeader("Vary", "Accept");
    // A chart read from a database server is drawn anew for every request,
    // so no cache may keep it longer than that, whatever --cache-control
    // allows the others.
    if (Polled) Response.SetCustomHeader("Cache-Control", "no-cache");
    if (Gz) Response.SetCustomHeader("Content-Encoding", "gzip");
    Response.SetContent(Gz ? Answer.GzipBody : Answer.Body);
    Response.SendResponse();
}

}  // namespace plotvane
