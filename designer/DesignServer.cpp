#include "designer/DesignServer.h"

#include <fstream>
#include <random>
#include <utility>

#include "platform/vcl/Bitmap.h"
#include "platform/web/ETag.h"
#include "server/ChartRequest.h"

namespace plotvane {

using nlohmann::json;

namespace {

std::string RandomToken() {
    // 128 bits from the system's random source.
    std::random_device Random;
    constexpr char Hex[] = "0123456789abcdef";
    std::string T;
    for (int I = 0; I < 32; ++I) T += Hex[Random() & 15];
    return T;
}

// Compares in time independent of where the texts differ.
bool SameSecret(std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    unsigned char D = 0;
    for (std::size_t I = 0; I < A.size(); ++I) D |= static_cast<unsigned char>(A[I] ^ B[I]);
    return D == 0;
}

// The designer's 16 x 16 icon, as PNG: three bars under a pencil, so that
// its tab tells itself apart from a chart server's.
std::string MakeFavicon() {
    pv::TBitmap B(16, 16, pv::clWhite);
    const int Heights[3] = {6, 10, 4};
    for (int Bar = 0; Bar < 3; ++Bar)
        for (int Y = 15 - Heights[Bar]; Y < 15; ++Y)
            for (int X = 1 + Bar * 5; X < 5 + Bar * 5; ++X) B.ScanLine(Y)[X] = 0x2060C0;
    // The pencil: a diagonal from the top right, its tip dark.
    for (int I = 0; I < 7; ++I) {
        const std::uint32_t Colour = I < 5 ? 0x20A0F0 : 0x303030;
        B.ScanLine(1 + I)[14 - I] = Colour;
        B.ScanLine(1 + I)[13 - I] = Colour;
    }
    const std::vector<std::uint8_t> Png = B.EncodePNG();
    return std::string(Png.begin(), Png.end());
}

void SetCommonHeaders(pv::TWebResponse& Response) {
    Response.SetCustomHeader("X-Content-Type-Options", "nosniff");
    // The page's address holds the token: it must not travel on.
    Response.SetCustomHeader("Referrer-Policy", "no-referrer");
    Response.SetCustomHeader("X-Frame-Options", "DENY");
    Response.SetCustomHeader("Content-Security-Policy",
                             "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' blob:; "
                             "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
}

// How deep a request body may nest arrays and objects; the body's own
// object is the first level. Nothing the designer takes comes near it, and a
// value nested deeper would be walked by recursion (serialising it into a
// message, comparing it) that a body of a megabyte could overflow.
constexpr int MaxBodyDepth = 64;

// Whether Text nests brackets deeper than Limit outside its strings. Read
// before the parser, so that no deep value is ever built.
bool NestsDeeperThan(std::string_view Text, int Limit) {
    int Depth = 0;
    bool InString = false;
    for (std::size_t I = 0; I < Text.size(); ++I) {
        const char C = Text[I];
        if (InString) {
            if (C == '\\')
                ++I;
            else if (C == '"')
                InString = false;
        } else if (C == '"') {
            InString = true;
        } else if (C == '[' || C == '{') {
            if (++Depth > Limit) return true;
        } else if ((C == ']' || C == '}') && Depth > 0) {
            --Depth;
        }
    }
    return false;
}

// The parser's message with the text it last read (a whole unterminated
// string, perhaps) cut to its start and length.
std::string ParseErrorMessage(const json::parse_error& E) {
    std::string Message = E.what();
    const std::string Mark = "; last read: '";
    const std::size_t At = Message.find(Mark);
    if (At == std::string::npos) return Message;
    std::string_view Read = std::string_view(Message).substr(At + Mark.size());
    if (Read.ends_with('\'')) Read.remove_suffix(1);
    return Message.substr(0, At) + "; last read: " + QuoteClientText(Read);
}

// A message longer than a page is cut: whatever a component or library put
// in it, the answer stays small.
std::string Bounded(std::string Message) {
    constexpr std::size_t Max = 1024;
    if (Message.size() <= Max) return Message;
    std::size_t Cut = Max;
    while (Cut > 0 && (static_cast<unsigned char>(Message[Cut]) & 0xC0) == 0x80) --Cut;
    const std::size_t Size = Message.size();
    Message.resize(Cut);
    return Message + "... (" + std::to_string(Size) + " bytes in all)";
}

void SendJson(pv::TWebResponse& Response, int Status, const json& Body) {
    Response.SetStatusCode(Status);
    Response.SetContentType("application/json; charset=utf-8");
    Response.SetCustomHeader("Cache-Control", "no-store");
    // Bytes that are not UTF-8 (a Latin-1 text in a database) are shown as
    // U+FFFD rather than failing the whole answer.
    Response.SetContent(Body.dump(-1, ' ', false, json::error_handler_t::replace));
    Response.SendResponse();
}

void SendError(pv::TWebResponse& Response, int Status, const std::string& Message) {
    SendJson(Response, Status, json{{"error", Bounded(Message)}});
}

std::string HtmlFor(std::string_view Template, const std::string& Token) {
    std::string Page(Template);
    const std::string Mark = "{{TOKEN}}";
    for (std::size_t At = Page.find(Mark); At != std::string::npos; At = Page.find(Mark, At + Token.size()))
        Page.replace(At, Mark.size(), Token);
    return Page;
}

}  // namespace

TDesignServer::TDesignServer(TDesignServerOptions Options)
    : FOptions(std::move(Options)), FToken(FOptions.Token.empty() ? RandomToken() : FOptions.Token) {
    for (char C : FToken)
        if (!std::isalnum(static_cast<unsigned char>(C)) && C != '-' && C != '_')
            throw EDesignError(400, "the token may hold letters, digits, '-' and '_' only");
    FDesigner = std::make_unique<TDesigner>(FOptions.FormFile);
    pv::THTTPServerOptions Http = FOptions.Http;
    Http.PostBodyLimit = 1 << 20;
    Http.ErrorDetail = pv::TErrorDetail::edMessage;
    FServer = std::make_unique<pv::THTTPServer>(
        Http, [this](const pv::TWebRequest& Request, pv::TWebResponse& Response) { Handle(Request, Response); });
}

TDesignServer::~TDesignServer() { Stop(); }

void TDesignServer::Start() { FServer->Start(); }
void TDesignServer::Stop() { FServer->Stop(); }

std::string TDesignServer::Url() const {
    const std::string& A = FOptions.Http.BindAddress;
    const std::string Host = A.find(':') != std::string::npos ? "[" + A + "]" : A;
    return "http://" + Host + ":" + std::to_string(GetPort()) + "/?token=" + FToken;
}

bool TDesignServer::HostAllowed(std::string_view Host, bool RequirePort) const {
    // A name that resolves to this machine only through another site's
    // doing (DNS rebinding) must not reach the designer: the Host must be
    // the address it listens on or a loopback name, with this port when it
    // names one.
    const std::string Port = ":" + std::to_string(GetPort());
    const std::string& A = FOptions.Http.BindAddress;
    for (const std::string& Name :
         {std::string("127.0.0.1"), std::string("localhost"), std::string("[::1]"),
          A.find(':') != std::string::npos ? "[" + A + "]" : A})
        if (Host == Name + Port || (!RequirePort && Host == Name)) return true;
    return false;
}

void TDesignServer::Handle(const pv::TWebRequest& Request, pv::TWebResponse& Response) {
    SetCommonHeaders(Response);
    if (!HostAllowed(Request.GetHeader("Host"))) {
        SendError(Response, 403, "this server answers only requests to its own address");
        return;
    }
    const bool Post = Request.GetMethod() == "POST";
    // Browsers ask for the icon without the page's token; it tells nothing
    // about the form.
    if (!Post && Request.GetPath() == "/favicon.ico") {
        static const std::string Icon = MakeFavicon();
        Response.SetContentType("image/png");
        Response.SetCustomHeader("Cache-Control", "max-age=86400");
        Response.SetContent(Icon);
        Response.SendResponse();
        return;
    }
    std::string_view Token = Request.GetHeader("X-Plotvane-Token");
    if (Token.empty() && !Post) Token = Request.GetQueryField("token");
    if (!SameSecret(Token, FToken)) {
        SendError(Response, 403, "missing or wrong token: open the address the designer printed");
        return;
    }
    if (Post) {
        // A browser names the page's origin, with its port, on every write.
        const std::string Origin(Request.GetHeader("Origin"));
        if (!Origin.empty() && !(Origin.starts_with("http://") && HostAllowed(Origin.substr(7), true))) {
            SendError(Response, 403, "cross-origin write refused (Origin " + QuoteClientText(Origin) + ")");
            return;
        }
        std::string_view Site = Request.GetHeader("Sec-Fetch-Site");
        if (!Site.empty() && Site != "same-origin" && Site != "none") {
            SendError(Response, 403, "cross-origin write refused (Sec-Fetch-Site " + QuoteClientText(Site) + ")");
            return;
        }
        if (Request.GetHeader("Content-Type").substr(0, 16) != "application/json") {
            SendError(Response, 415, "writes take a JSON body (Content-Type: application/json)");
            return;
        }
    }
    std::lock_guard<std::mutex> Lock(FLock);
    try {
        Route(Request, Response);
    } catch (const EDesignError& E) {
        if (Response.Sent()) throw;
        json Body{{"error", Bounded(E.what())}};
        if (!E.Reason().empty()) Body["reason"] = E.Reason();
        if (Post) Body["state"] = FDesigner->State();
        SendJson(Response, E.Status(), Body);
    } catch (const std::exception& E) {
        if (Response.Sent()) throw;
        json Body{{"error", Bounded(E.what())}};
        if (Post) Body["state"] = FDesigner->State();
        SendJson(Response, 500, Body);
    }
}

void TDesignServer::Route(const pv::TWebRequest& Request, pv::TWebResponse& Response) {
    const std::string& Path = Request.GetPath();
    TDesigner& D = *FDesigner;
    if (Request.GetMethod() != "POST") {
        if (Path == "/" || Path == "/index.html") {
            Response.SetContentType("text/html; charset=utf-8");
            Response.SetCustomHeader("Cache-Control", "no-store");
            Response.SetContent(HtmlFor(DesignerAsset("index.html"), FToken));
            Response.SendResponse();
        } else if (Path == "/designer.js" || Path == "/designer.css") {
            Response.SetContentType(Path.ends_with(".js") ? "text/javascript; charset=utf-8" : "text/css; charset=utf-8");
            Response.SetContent(std::string(DesignerAsset(Path.substr(1))));
            Response.SendResponse();
        } else if (Path == "/api/state") {
            SendJson(Response, 200, D.State());
        } else if (Path == "/api/records") {
            SendJson(Response, 200, D.Records(std::string(Request.GetQueryField("dataset"))));
        } else if (Path == "/api/preview") {
            // scale= as chart URLs take it (the page asks for its screen's
            // pixel density); width and height are the form's to set.
            TPictureSize Size;
            const std::string ScaleText(Request.GetQueryField("scale"));
            if (!ScaleText.empty())
                if (std::string Refusal = *ReadSizeParam("scale", ScaleText, Size); !Refusal.empty())
                    throw EDesignError(400, Refusal);
            const std::string& Png = D.PreviewPng(std::string(Request.GetQueryField("chart")), Size.Scale);
            Response.SetContentType("image/png");
            // Revalidated at every look: the ETag of the bytes gives 304
            // while the picture stays the same.
            Response.SetCustomHeader("Cache-Control", "no-cache");
            Response.SetContent(Png);
            Response.SendResponse();
        } else {
            SendError(Response, 404, "no such page: " + QuoteClientText(Path));
        }
        return;
    }

    const std::string& Content = Request.GetContent();
    if (NestsDeeperThan(Content, MaxBodyDepth))
        throw EDesignError(400, "the JSON body nests deeper than " + std::to_string(MaxBodyDepth) + " levels");
    json Body;
    try {
        Body = Content.empty() ? json::object() : json::parse(Content);
    } catch (const json::parse_error& E) {
        throw EDesignError(400, "the request body is not JSON: " + ParseErrorMessage(E));
    } catch (const json::exception& E) {
        throw EDesignError(400, "the request body is not JSON: " + Bounded(E.what()));
    }
    if (!Body.is_object()) throw EDesignError(400, "the request body must be a JSON object");
    auto Text = [&](const char* Name) {
        auto It = Body.find(Name);
        if (It == Body.end() || !It->is_string()) throw EDesignError(400, std::string("\"") + Name + "\" (a text) is missing");
        return It->get<std::string>();
    };
    json Result;
    if (Path == "/api/property") {
        auto It = Body.find("value");
        if (It == Body.end()) throw EDesignError(400, "\"value\" is missing");
        D.SetProperty(Text("component"), Text("property"), *It);
    } else if (Path == "/api/series/add") {
        Result["series"] = D.AddSeries(Text("chart"));
    } else if (Path == "/api/series/remove") {
        D.RemoveSeries(Text("series"));
    } else if (Path == "/api/undo") {
        D.Undo();
    } else if (Path == "/api/redo") {
        D.Redo();
    } else if (Path == "/api/dataset") {
        auto It = Body.find("active");
        if (It == Body.end() || !It->is_boolean()) throw EDesignError(400, "\"active\" (true or false) is missing");
        D.SetDataSetActive(Text("dataset"), It->get<bool>());
    } else if (Path == "/api/record") {
        auto RecNo = Body.find("recno");
        if (RecNo == Body.end() || !RecNo->is_number_integer())
            throw EDesignError(400, "\"recno\" (a record number from 1) is missing");
        auto Values = Body.find("values");
        if (Values == Body.end()) throw EDesignError(400, "\"values\" is missing");
        D.PostRecord(Text("dataset"), RecNo->get<int>(), *Values);
        Result["records"] = D.Records(Text("dataset"));
    } else if (Path == "/api/save") {
        // A confirmation counts only as an explicit true.
        auto Confirmed = [&](const char* Name) {
            auto It = Body.find(Name);
            return It != Body.end() && It->is_boolean() && It->get<bool>();
        };
        D.Save(Confirmed("overwrite"), Confirmed("inactive"));
        Result["saved"] = D.FormFile();
    } else {
        throw EDesignError(404, "no such action: " + QuoteClientText(Path));
    }
    Result["state"] = D.State();
    SendJson(Response, 200, Result);
}

}  // namespace plotvane
