#include "platform/web/HTTPServer.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/web/ETag.h"

namespace pv {

namespace {

// The server whose handler runs on this thread, so that Stop can refuse to
// wait for its own worker.
thread_local const THTTPServer* tlsDispatchingServer = nullptr;

struct TDispatchScope {
    explicit TDispatchScope(const THTTPServer* Server) { tlsDispatchingServer = Server; }
    ~TDispatchScope() { tlsDispatchingServer = nullptr; }
    TDispatchScope(const TDispatchScope&) = delete;
    TDispatchScope& operator=(const TDispatchScope&) = delete;
};

// What the log line of one request reports.
struct TRequestOutcome {
    int Status = 0;
    std::size_t Bytes = 0;
    std::string Error;
};

// Log lines are split at spaces and lines; a client-chosen path or an error
// message must not fake fields or lines, so such bytes are written as \xNN.
std::string Escaped(std::string_view S, bool EscapeSpaces) {
    constexpr char Hex[] = "0123456789abcdef";
    std::string R;
    R.reserve(S.size());
    for (unsigned char C : S) {
        if (C < 0x20 || C == 0x7f || C == '\\' || (EscapeSpaces && C == ' ')) {
            R += "\\x";
            R += Hex[C >> 4];
            R += Hex[C & 15];
        } else {
            R += static_cast<char>(C);
        }
    }
    return R;
}

std::string_view TrimSpaces(std::string_view S) {
    while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
    while (!S.empty() && (S.back() == ' ' || S.back() == '\t')) S.remove_suffix(1);
    return S;
}

std::optional<std::string_view> FindField(const TWebFields& Fields, std::string_view Name) {
    for (const TWebField& F : Fields)
        if (SameFieldName(F.Name, Name)) return std::string_view(F.Value);
    return std::nullopt;
}

// A request announces a body by a non-zero Content-Length or by any
// Transfer-Encoding; without either, an HTTP/1.1 request has none.
bool AnnouncesBody(const TWebFields& Headers) {
    if (FindField(Headers, "Transfer-Encoding")) return true;
    std::optional<std::string_view> Length = FindField(Headers, "Content-Length");
    if (!Length) return false;
    std::string_view L = TrimSpaces(*Length);
    return L.find_first_not_of('0') != std::string_view::npos || L.empty();
}

// A declared Content-Length above Limit: such a body is refused before a
// byte of it is read.
bool DeclaredLengthAbove(const TWebFields& Headers, std::size_t Limit) {
    std::optional<std::string_view> Length = FindField(Headers, "Content-Length");
    if (!Length) return false;
    std::string_view L = TrimSpaces(*Length);
    if (L.empty() || L.size() > 18 || L.find_first_not_of("0123456789") != std::string_view::npos) return true;
    return std::stoull(std::string(L)) > Limit;
}

// The body of a POST request the server accepts, collected as it arrives.
struct TUpload {
    std::string Body;
    bool TooLarge = false;
};

MHD_Result CollectField(void* Cls, MHD_ValueKind, const char* Key, const char* Value) {
    static_cast<TWebFields*>(Cls)->push_back({Key ? Key : "", Value ? Value : ""});
    return MHD_YES;
}

std::string RemoteAddress(MHD_Connection* Connection) {
    const MHD_ConnectionInfo* Info = MHD_get_connection_info(Connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!Info || !Info->client_addr) return {};
    char Text[INET6_ADDRSTRLEN] = {};
    const sockaddr* Address = Info->client_addr;
    if (Address->sa_family == AF_INET) {
        const auto* V4 = reinterpret_cast<const sockaddr_in*>(Address);
        if (inet_ntop(AF_INET, &V4->sin_addr, Text, sizeof Text)) return Text;
    } else if (Address->sa_family == AF_INET6) {
        const auto* V6 = reinterpret_cast<const sockaddr_in6*>(Address);
        if (inet_ntop(AF_INET6, &V6->sin6_addr, Text, sizeof Text)) return Text;
    }
    return {};
}

void FreeBody(void* Body) { delete static_cast<std::string*>(Body); }

sigset_t TerminationSignals() {
    sigset_t Set;
    sigemptyset(&Set);
    sigaddset(&Set, SIGINT);
    sigaddset(&Set, SIGTERM);
    return Set;
}

std::string Endpoint(const std::string& Address, std::uint16_t Port) {
    bool V6 = Address.find(':') != std::string::npos;
    return (V6 ? "[" + Address + "]" : Address) + ":" + std::to_string(Port);
}

}  // namespace

// The C entry points libmicrohttpd calls; a friend so that they reach the
// server's private dispatch. Nothing may unwind into the C library.
struct THTTPServerCallbacks {
    static MHD_Result Access(void* Cls, MHD_Connection* Connection, const char* Url, const char* Method,
                             const char* /*Version*/, const char* UploadData, std::size_t* UploadDataSize,
                             void** RequestContext) {
        auto* Server = static_cast<THTTPServer*>(Cls);
        // The first call comes when the headers are in. An answer queued
        // then is an "early" one, after which the library closes the
        // connection; that is right for a request with a body (refused, and
        // its bytes must not be read as the next request) but would cost
        // keep-alive otherwise, so other requests are answered on the
        // second call, once the request is complete. A POST body the server
        // accepts is collected in a TUpload over the calls in between.
        if (!*RequestContext) {
            TWebFields Headers;
            MHD_get_connection_values(Connection, MHD_HEADER_KIND, &CollectField, &Headers);
            if (!AnnouncesBody(Headers)) {
                *RequestContext = Cls;
                return MHD_YES;
            }
            const std::size_t Limit = Server->FOptions.PostBodyLimit;
            if (Limit > 0 && Method && std::strcmp(Method, "POST") == 0 && !DeclaredLengthAbove(Headers, Limit)) {
                try {
                    *RequestContext = new TUpload();
                } catch (...) {
                    return MHD_NO;
                }
                return MHD_YES;
            }
            *RequestContext = Cls;
        } else if (*RequestContext != Cls) {
            auto* Upload = static_cast<TUpload*>(*RequestContext);
            if (*UploadDataSize != 0) {
                if (!Upload->TooLarge) {
                    if (Upload->Body.size() + *UploadDataSize > Server->FOptions.PostBodyLimit) {
                        Upload->TooLarge = true;
                        Upload->Body.clear();
                    } else {
                        try {
                            Upload->Body.append(UploadData, *UploadDataSize);
                        } catch (...) {
                            return MHD_NO;
                        }
                    }
                }
                *UploadDataSize = 0;
                return MHD_YES;
            }
            try {
                if (Upload->TooLarge) return Server->Dispatch(Connection, Url, "POST", nullptr, true) ? MHD_YES : MHD_NO;
                return Server->Dispatch(Connection, Url, Method, &Upload->Body) ? MHD_YES : MHD_NO;
            } catch (...) {
                return MHD_NO;
            }
        } else if (*UploadDataSize != 0) {
            // Body bytes of a request that was answered early: discarded.
            *UploadDataSize = 0;
            return MHD_YES;
        }
        try {
            return Server->Dispatch(Connection, Url, Method) ? MHD_YES : MHD_NO;
        } catch (...) {
            return MHD_NO;
        }
    }

    // Releases a collected POST body when its request is over.
    static void Completed(void* Cls, MHD_Connection*, void** RequestContext, MHD_RequestTerminationCode) {
        if (*RequestContext && *RequestContext != Cls) delete static_cast<TUpload*>(*RequestContext);
        *RequestContext = nullptr;
    }

    static void Logger(void* Cls, const char* Format, va_list Args) {
        auto* Server = static_cast<THTTPServer*>(Cls);
        char Buffer[512];
        int N = std::vsnprintf(Buffer, sizeof Buffer, Format, Args);
        if (N < 0) return;
        std::string_view Message(Buffer, std::min<std::size_t>(static_cast<std::size_t>(N), sizeof Buffer - 1));
        while (!Message.empty() && (Message.back() == '\n' || Message.back() == '\r')) Message.remove_suffix(1);
        try {
            {
                std::lock_guard<std::mutex> Lock(Server->FLogLock);
                if (Server->FStarting) {
                    if (!Server->FStartMessages.empty()) Server->FStartMessages += "; ";
                    Server->FStartMessages += Message;
                    return;
                }
            }
            Server->WriteLog("http: " + Escaped(Message, false));
        } catch (...) {
            // A log line that cannot be written is dropped.
        }
    }
};

THTTPServer::THTTPServer(THTTPServerOptions Options, TWebHandler Handler)
    : FOptions(std::move(Options)), FHandler(std::move(Handler)) {}

// Stop raises only when called from this server's own handler; a server
// destroyed there is a bug that must not turn into a use after free, so the
// exception ends the program instead.
THTTPServer::~THTTPServer() { Stop(); }

void THTTPServer::CheckOptions() const {
    auto Fail = [](const std::string& What) { throw EHTTPServerError("THTTPServer: " + What); };
    if (!FHandler) Fail("no request handler is assigned");
    if (FOptions.Threads < 1 || FOptions.Threads > 1024)
        Fail("Threads is " + std::to_string(FOptions.Threads) + "; it must be between 1 and 1024");
    if (FOptions.ConnectionTimeout.count() < 1 ||
        FOptions.ConnectionTimeout.count() > std::numeric_limits<unsigned>::max())
        Fail("ConnectionTimeout is " + std::to_string(FOptions.ConnectionTimeout.count()) +
             " s; it must be at least 1 s");
    if (FOptions.ConnectionLimit < FOptions.Threads)
        Fail("ConnectionLimit is " + std::to_string(FOptions.ConnectionLimit) +
             "; it must be at least Threads (" + std::to_string(FOptions.Threads) + ")");
    if (FOptions.ConnectionMemoryLimit < 4096)
        Fail("ConnectionMemoryLimit is " + std::to_string(FOptions.ConnectionMemoryLimit) +
             " bytes; it must be at least 4096");
    for (unsigned char C : FOptions.CacheControl)
        if (C < 0x20 || C == 0x7f) Fail("CacheControl \"" + Escaped(FOptions.CacheControl, false) + "\" contains a control character");
}

void THTTPServer::Start() {
    if (FDaemon)
        throw EInvalidOperation("THTTPServer: Start called while the server is active on port " +
                                std::to_string(FBoundPort));
    CheckOptions();

    sockaddr_in V4{};
    sockaddr_in6 V6{};
    const sockaddr* Address = nullptr;
    unsigned int Flags = MHD_USE_AUTO_INTERNAL_THREAD | MHD_USE_ITC | MHD_USE_ERROR_LOG;
    if (inet_pton(AF_INET, FOptions.BindAddress.c_str(), &V4.sin_addr) == 1) {
        V4.sin_family = AF_INET;
        V4.sin_port = htons(FOptions.Port);
        Address = reinterpret_cast<const sockaddr*>(&V4);
    } else if (inet_pton(AF_INET6, FOptions.BindAddress.c_str(), &V6.sin6_addr) == 1) {
        V6.sin6_family = AF_INET6;
        V6.sin6_port = htons(FOptions.Port);
        Address = reinterpret_cast<const sockaddr*>(&V6);
        Flags |= MHD_USE_IPv6;
    } else {
        throw EHTTPServerError("THTTPServer: BindAddress \"" + Escaped(FOptions.BindAddress, false) +
                               "\" is not a numeric IPv4 or IPv6 address");
    }

    {
        std::lock_guard<std::mutex> Lock(FLogLock);
        FStarting = true;
        FStartMessages.clear();
    }
    // The workers inherit the signal mask of this thread while they are
    // created: with the termination signals blocked there, SIGINT and
    // SIGTERM reach the program's own threads (WaitForTerminationSignal).
    sigset_t Blocked = TerminationSignals();
    sigaddset(&Blocked, SIGPIPE);
    sigset_t Previous;
    pthread_sigmask(SIG_BLOCK, &Blocked, &Previous);
    // The options as an array, so that the pool size can be left out for a
    // single worker (the library warns about a pool of one).
    std::vector<MHD_OptionItem> Options = {
        // The logger comes first so that it receives the messages about the other options.
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&THTTPServerCallbacks::Logger), this},
        {MHD_OPTION_SOCK_ADDR, 0, const_cast<sockaddr*>(Address)},
        {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(FOptions.ConnectionTimeout.count()), nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, static_cast<intptr_t>(FOptions.ConnectionLimit), nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<intptr_t>(FOptions.PerAddressLimit), nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(FOptions.ConnectionMemoryLimit), nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&THTTPServerCallbacks::Completed), this},
    };
    if (FOptions.Threads > 1)
        Options.push_back({MHD_OPTION_THREAD_POOL_SIZE, static_cast<intptr_t>(FOptions.Threads), nullptr});
    Options.push_back({MHD_OPTION_END, 0, nullptr});
    MHD_Daemon* Daemon = MHD_start_daemon(Flags, FOptions.Port, nullptr, nullptr, &THTTPServerCallbacks::Access,
                                          this, MHD_OPTION_ARRAY, Options.data(), MHD_OPTION_END);
    pthread_sigmask(SIG_SETMASK, &Previous, nullptr);

    std::string Messages;
    {
        std::lock_guard<std::mutex> Lock(FLogLock);
        FStarting = false;
        Messages = std::move(FStartMessages);
        FStartMessages.clear();
    }
    if (!Daemon)
        throw EHTTPServerError("THTTPServer: cannot listen on " + Endpoint(FOptions.BindAddress, FOptions.Port) +
                               ": " + (Messages.empty() ? "the HTTP library refused to start" : Messages));
    FDaemon = Daemon;
    const MHD_DaemonInfo* Info = MHD_get_daemon_info(FDaemon, MHD_DAEMON_INFO_BIND_PORT);
    FBoundPort = Info ? Info->port : FOptions.Port;
    if (!Messages.empty()) WriteLog("http: " + Escaped(Messages, false));
}

void THTTPServer::Stop() {
    if (tlsDispatchingServer == this)
        throw EInvalidOperation("THTTPServer: Stop called from a request handler of the server on port " +
                                std::to_string(FBoundPort) + "; it would wait for its own worker");
    if (!FDaemon) return;
    MHD_stop_daemon(FDaemon);
    FDaemon = nullptr;
    FBoundPort = 0;
}

void THTTPServer::BlockTerminationSignals() {
    sigset_t Set = TerminationSignals();
    pthread_sigmask(SIG_BLOCK, &Set, nullptr);
}

int THTTPServer::WaitForTerminationSignal() {
    sigset_t Set = TerminationSignals();
    pthread_sigmask(SIG_BLOCK, &Set, nullptr);
    int Signal = 0;
    while (sigwait(&Set, &Signal) != 0) {
    }
    return Signal;
}

void THTTPServer::WriteLog(std::string_view Line) {
    std::lock_guard<std::mutex> Lock(FLogLock);
    if (FOptions.Log) {
        FOptions.Log(Line);
        return;
    }
    // One write per line, so that lines of concurrent requests do not mix.
    std::string Text(Line);
    Text += '\n';
    std::fwrite(Text.data(), 1, Text.size(), stderr);
}

bool THTTPServer::Dispatch(MHD_Connection* Connection, const char* Url, const char* Method, const std::string* Body,
                           bool BodyTooLarge) {
    const auto Started = std::chrono::steady_clock::now();
    const std::string MethodName = Method ? Method : "";
    const std::string Path = Url ? Url : "";
    const bool IsHead = MethodName == "HEAD";

    TWebFields Headers;
    MHD_get_connection_values(Connection, MHD_HEADER_KIND, &CollectField, &Headers);
    std::optional<std::string> IfNoneMatch;
    if (std::optional<std::string_view> V = FindField(Headers, "If-None-Match")) IfNoneMatch = std::string(*V);

    TRequestOutcome Outcome;
    // Queues a message on the connection. Runs inside SendResponse, on this
    // worker, while libmicrohttpd waits for the access handler to return.
    auto Transport = [&](TWebMessage&& Message) {
        int Status = Message.StatusCode;
        const bool HandlerTag = FindField(Message.CustomHeaders, "ETag").has_value();
        std::string ETag;
        if (Status == 200 && !HandlerTag && FOptions.ETags == TETagMode::etStrong) ETag = StrongETag(Message.Body);
        if (Status == 200 && IfNoneMatch) {
            std::string_view Tag = HandlerTag ? *FindField(Message.CustomHeaders, "ETag") : std::string_view(ETag);
            if (!Tag.empty() && IfNoneMatchMatches(*IfNoneMatch, Tag)) {
                // This library version announces "Content-Length: 0" on the
                // bodiless 304 and offers no way to leave the header out
                // (a stream response would get chunked framing, which is
                // worse); clients ignore the length on a 304, and caches do
                // not take Content-Length from it (RFC 9111, 3.2).
                Status = 304;
                Message.Body.clear();
            }
        }

        const std::size_t Size = Message.Body.size();
        // The library keeps the string until the last byte is written and
        // then releases it through FreeBody; handing it over this way spares
        // a second copy of the body.
        auto* Body = new std::string(std::move(Message.Body));
        MHD_Response* Raw = MHD_create_response_from_buffer_with_free_callback_cls(Size, Body->data(), &FreeBody, Body);
        if (!Raw) {
            delete Body;
            throw EHTTPServerError("THTTPServer: no memory for a response of " + std::to_string(Size) + " bytes");
        }
        std::unique_ptr<MHD_Response, decltype(&MHD_destroy_response)> Response(Raw, &MHD_destroy_response);
        auto Add = [&](const std::string& Name, const std::string& Value) {
            if (MHD_add_response_header(Response.get(), Name.c_str(), Value.c_str()) != MHD_YES)
                throw EHTTPServerError("THTTPServer: the HTTP library refused the header \"" + Name + "\" with value \"" +
                                       Escaped(Value, false) + "\"");
        };
        if (Status != 304 && !Message.ContentType.empty()) Add(MHD_HTTP_HEADER_CONTENT_TYPE, Message.ContentType);
        for (const TWebField& F : Message.CustomHeaders) Add(F.Name, F.Value);
        if (!ETag.empty()) Add(MHD_HTTP_HEADER_ETAG, ETag);
        if (!FOptions.CacheControl.empty() && !FindField(Message.CustomHeaders, "Cache-Control"))
            Add(MHD_HTTP_HEADER_CACHE_CONTROL, FOptions.CacheControl);
        if (MHD_queue_response(Connection, static_cast<unsigned int>(Status), Response.get()) != MHD_YES)
            throw EHTTPServerError("THTTPServer: the answer " + std::to_string(Status) + " to " + MethodName + " " +
                                   Escaped(Path, true) + " could not be queued");
        Outcome.Status = Status;
        Outcome.Bytes = IsHead ? 0 : Size;
    };

    bool Queued = true;
    try {
        const bool PostAllowed = FOptions.PostBodyLimit > 0;
        if (MethodName != "GET" && !IsHead && !(PostAllowed && MethodName == "POST")) {
            TWebResponse Refusal(Transport);
            Refusal.SetCustomHeader("Allow", PostAllowed ? "GET, HEAD, POST" : "GET, HEAD");
            SendPlainText(Refusal, 405, "Method Not Allowed\n");
        } else if (BodyTooLarge || (AnnouncesBody(Headers) && !Body)) {
            TWebResponse Refusal(Transport);
            SendPlainText(Refusal, 413, "Request body not accepted\n");
        } else {
            TWebFields Query;
            MHD_get_connection_values(Connection, MHD_GET_ARGUMENT_KIND, &CollectField, &Query);
            TWebRequest Request(MethodName, Path, std::move(Query), std::move(Headers), RemoteAddress(Connection));
            if (Body) Request.SetContent(*Body);
            TWebResponse Response(Transport);
            try {
                TDispatchScope Scope(this);
                FHandler(Request, Response);
            } catch (const std::exception& E) {
                Outcome.Error = E.what();
            } catch (...) {
                Outcome.Error = "unknown exception";
            }
            // An exception after SendResponse leaves the answer as sent; it
            // is only logged.
            if (!Response.Sent()) {
                if (Outcome.Error.empty()) Outcome.Error = "the handler sent no response";
                TWebResponse Failure(Transport);
                SendPlainText(Failure, 500,
                              FOptions.ErrorDetail == TErrorDetail::edMessage
                                  ? "Internal Server Error: " + Outcome.Error + "\n"
                                  : std::string("Internal Server Error\n"));
            }
        }
    } catch (const std::exception& E) {
        // Not even an error answer could be queued: the connection is dropped.
        Queued = false;
        Outcome.Error = Outcome.Error.empty() ? E.what() : Outcome.Error + "; " + E.what();
    }

    const double Ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Started).count();
    char Figures[64];
    std::snprintf(Figures, sizeof Figures, " %d %zu bytes %.1f ms", Queued ? Outcome.Status : 0, Outcome.Bytes, Ms);
    std::string Line = Escaped(MethodName, true) + " " + Escaped(Path, true) + Figures;
    if (!Queued) Line += " (connection dropped)";
    if (!Outcome.Error.empty()) Line += " (error: " + Escaped(Outcome.Error, false) + ")";
    try {
        WriteLog(Line);
    } catch (...) {
        // A failing log sink must not cost the client its answer.
    }
    return Queued;
}

}  // namespace pv
