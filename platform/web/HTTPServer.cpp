#include "platform/web/HTTPServer.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdarg>
#include <deque>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "platform/web/ETag.h"
#include "platform/web/Url.h"
#include "platform/web/internal/Connection.h"
#include "platform/web/internal/HeadChecks.h"

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

// What the handler stage works from.
struct THTTPServer::TIncoming {
    std::string Method;
    std::string Version;
    std::string RawTarget;
    bool IsHead = false;
    TRequestTarget Target;
    TTargetFault Fault;
    TWebFields Headers;
    // Why the request's head cannot be read reliably, if it cannot: a NUL or
    // control byte in it (RawHeadFault), or an ambiguous end of its body
    // (FramingFault). The connection closes after the refusal.
    TTargetFault HeadFault;
    std::string RemoteAddress;
    std::chrono::steady_clock::time_point Started;
    std::time_t StartedAt = 0;
    // The head came in after Shutdown began.
    bool AfterShutdown = false;
    // A collected POST body (HasBody), or one that went past the limit.
    bool HasBody = false;
    bool BodyTooLarge = false;
    std::string Body;
};

// What was queued.
struct THTTPServer::TAnswer {
    int Status = 0;
    std::size_t Bytes = 0;
};

// A request whose handler deferred the rest of its answer: owned by its
// connection's state while the connection is suspended, filled in by a pool
// thread, queued by the connection's worker once resumed.
struct THTTPServer::TDeferred {
    MHD_Connection* Connection = nullptr;
    TIncoming In;
    std::unique_ptr<TWebRequest> Request;
    TWebResponse::TContinuation Rest;
    std::string Error;
    TWebMessage Message;
    // Set (release) by the pool thread before it resumes the connection.
    std::atomic<bool> Done{false};
};

THTTPServer::TConnectionState::TConnectionState() = default;
THTTPServer::TConnectionState::~TConnectionState() = default;
void THTTPServer::TConnectionState::DropDeferred() { Deferred.reset(); }

// The threads that run deferred answers, first come first served.
class THTTPServer::TDeferPool {
public:
    TDeferPool(THTTPServer& Server, unsigned Threads) : FServer(Server) {
        // Like the workers, the threads leave the termination signals to
        // the program's own threads.
        sigset_t Blocked = TerminationSignals();
        sigaddset(&Blocked, SIGPIPE);
        sigset_t Previous;
        pthread_sigmask(SIG_BLOCK, &Blocked, &Previous);
        try {
            for (unsigned I = 0; I < Threads; ++I) FThreads.emplace_back([this] { Run(); });
        } catch (...) {
            pthread_sigmask(SIG_SETMASK, &Previous, nullptr);
            Stop();
            throw;
        }
        pthread_sigmask(SIG_SETMASK, &Previous, nullptr);
    }
    ~TDeferPool() { Stop(); }
    TDeferPool(const TDeferPool&) = delete;
    TDeferPool& operator=(const TDeferPool&) = delete;

    void Post(TDeferred* Work) {
        {
            std::lock_guard<std::mutex> Lock(FLock);
            FQueue.push_back(Work);
        }
        FWake.notify_one();
    }
    // Answers what still waits with 503 (its connection resumed), lets the
    // running answers finish and joins the threads: afterwards no
    // connection is left suspended.
    void Stop() {
        {
            std::lock_guard<std::mutex> Lock(FLock);
            FStopping = true;
        }
        FWake.notify_all();
        for (std::thread& T : FThreads)
            if (T.joinable()) T.join();
        FThreads.clear();
    }

private:
    void Run() {
        std::unique_lock<std::mutex> Lock(FLock);
        for (;;) {
            FWake.wait(Lock, [&] { return FStopping || !FQueue.empty(); });
            if (FQueue.empty()) return;
            TDeferred* Work = FQueue.front();
            FQueue.pop_front();
            const bool Refuse = FStopping;
            Lock.unlock();
            FServer.AnswerDeferred(*Work, Refuse);
            // The worker may free Work as soon as the connection is resumed.
            MHD_Connection* Connection = Work->Connection;
            Work->Done.store(true, std::memory_order_release);
            MHD_resume_connection(Connection);
            Lock.lock();
        }
    }

    THTTPServer& FServer;
    std::mutex FLock;
    std::condition_variable FWake;
    std::deque<TDeferred*> FQueue;
    bool FStopping = false;
    std::vector<std::thread> FThreads;
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
    if (FOptions.HeadTimeout.count() < 100)
        Fail("HeadTimeout is " + std::to_string(FOptions.HeadTimeout.count()) + " ms; it must be at least 100 ms");
    if (FOptions.DeferThreads > 1024)
        Fail("DeferThreads is " + std::to_string(FOptions.DeferThreads) + "; it must be between 0 and 1024");
    if (FOptions.MaxQueryFields < 1)
        Fail("MaxQueryFields is 0; it must be at least 1");
    for (unsigned char C : FOptions.ServerHeader)
        if (C < 0x20 || C == 0x7f) Fail("ServerHeader \"" + Escaped(FOptions.ServerHeader, false) + "\" contains a control character");
    if (FOptions.ConnectionMemoryLimit < 4096)
        Fail("ConnectionMemoryLimit is " + std::to_string(FOptions.ConnectionMemoryLimit) +
             " bytes; it must be at least 4096");
    for (unsigned char C : FOptions.CacheControl)
        if (C < 0x20 || C == 0x7f) Fail("CacheControl \"" + Escaped(FOptions.CacheControl, false) + "\" contains a control character");
    for (const std::string& O : FOptions.CorsOrigins)
        if (O.empty() || !IsValidFieldValue(O))
            Fail("CorsOrigins: \"" + Escaped(O, false) + "\" is empty or contains a control character");
    for (const TWebField& F : FOptions.ExtraHeaders) {
        if (!IsFieldName(F.Name)) Fail("ExtraHeaders: \"" + Escaped(F.Name, false) + "\" is not a header field name");
        if (!IsValidFieldValue(F.Value))
            Fail("ExtraHeaders: the value of " + F.Name + ", \"" + Escaped(F.Value, false) +
                 "\", contains a control character");
    }
}

void THTTPServer::Start() {
    if (FDaemon)
        throw EInvalidOperation("THTTPServer: Start called while the server is active on port " +
                                std::to_string(FBoundPort));
    CheckOptions();
    FDraining.store(false);

    sockaddr_in V4{};
    sockaddr_in6 V6{};
    const sockaddr* Address = nullptr;
    unsigned int Flags = MHD_USE_AUTO_INTERNAL_THREAD | MHD_USE_ITC | MHD_USE_ERROR_LOG;
    if (FOptions.DeferThreads > 0) Flags |= MHD_ALLOW_SUSPEND_RESUME;
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
        // A host name ("localhost", a name in /etc/hosts), resolved once
        // here: its first IPv4 address, as the default loopback binding is,
        // else its first IPv6 one.
        const std::string Named = "THTTPServer: BindAddress \"" + Escaped(FOptions.BindAddress, false) + "\"";
        addrinfo Hints{};
        Hints.ai_socktype = SOCK_STREAM;
        addrinfo* Found = nullptr;
        if (const int Code = ::getaddrinfo(FOptions.BindAddress.c_str(), nullptr, &Hints, &Found); Code != 0)
            throw EHTTPServerError(Named + " is neither a numeric IPv4 or IPv6 address nor a host name that resolves: " +
                                   ::gai_strerror(Code));
        std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> Owned(Found, &::freeaddrinfo);
        const addrinfo* Pick = nullptr;
        for (int Family : {AF_INET, AF_INET6})
            for (const addrinfo* I = Found; I && !Pick; I = I->ai_next)
                if (I->ai_family == Family) Pick = I;
        if (!Pick) throw EHTTPServerError(Named + " resolves to no IPv4 or IPv6 address");
        if (Pick->ai_family == AF_INET) {
            std::memcpy(&V4, Pick->ai_addr, sizeof V4);
            V4.sin_port = htons(FOptions.Port);
            Address = reinterpret_cast<const sockaddr*>(&V4);
        } else {
            std::memcpy(&V6, Pick->ai_addr, sizeof V6);
            V6.sin6_port = htons(FOptions.Port);
            Address = reinterpret_cast<const sockaddr*>(&V6);
            Flags |= MHD_USE_IPv6;
        }
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
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&THTTPServerCallbacks::Connection), this},
        {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&THTTPServerCallbacks::UriLog), this},
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
    if (FOptions.DeferThreads > 0) {
        try {
            FDeferPool = std::make_unique<TDeferPool>(*this, FOptions.DeferThreads);
        } catch (...) {
            MHD_stop_daemon(FDaemon);
            FDaemon = nullptr;
            throw;
        }
    }
    {
        std::lock_guard<std::mutex> Lock(FConnLock);
        FWatchStop = false;
    }
    pthread_sigmask(SIG_BLOCK, &Blocked, &Previous);
    FWatch = std::thread([this] { WatchHeads(); });
    pthread_sigmask(SIG_SETMASK, &Previous, nullptr);
    const MHD_DaemonInfo* Info = MHD_get_daemon_info(FDaemon, MHD_DAEMON_INFO_BIND_PORT);
    FBoundPort = Info ? Info->port : FOptions.Port;
    if (!Messages.empty()) WriteLog("http: " + Escaped(Messages, false));
}

void THTTPServer::Stop() {
    if (tlsDispatchingServer == this)
        throw EInvalidOperation("THTTPServer: Stop called from a request handler of the server on port " +
                                std::to_string(FBoundPort) + "; it would wait for its own worker");
    if (!FDaemon) return;
    StopWatch();
    // The library must not stop while a connection is suspended: deferred
    // answers finish (or, not yet begun, get 503) and resume theirs first.
    if (FDeferPool) {
        FDeferPool->Stop();
        FDeferPool.reset();
    }
    // A connection the server answered in the library's place stays in the
    // library's hands until it closes it, which the client does not wait
    // for. The library of Debian 12, stopped meanwhile, goes on to build its
    // own answer from a response it never queued and crashes; so such
    // connections are waited for, briefly.
    {
        std::unique_lock<std::mutex> Lock(FConnLock);
        FDrained.wait_for(Lock, std::chrono::seconds(2), [&] {
            return std::none_of(FConnections.begin(), FConnections.end(),
                                [](const TConnectionState* C) { return C->AnsweredForLibrary; });
        });
    }
    MHD_stop_daemon(FDaemon);
    FDaemon = nullptr;
    FBoundPort = 0;
    if (FQuiescedSocket >= 0) {
        ::close(FQuiescedSocket);
        FQuiescedSocket = -1;
    }
}

void THTTPServer::Shutdown(std::chrono::milliseconds Grace) {
    if (tlsDispatchingServer == this)
        throw EInvalidOperation("THTTPServer: Shutdown called from a request handler of the server on port " +
                                std::to_string(FBoundPort) + "; it would wait for its own worker");
    if (!FDaemon) return;
    // From here on every answer closes its connection and a request that
    // comes in later is refused, so kept-alive clients cannot keep the
    // server busy; idle connections are closed at once, so that nothing but
    // the requests in flight is waited for.
    FDraining.store(true);
    if (FQuiescedSocket < 0) FQuiescedSocket = MHD_quiesce_daemon(FDaemon);
    {
        std::unique_lock<std::mutex> Lock(FConnLock);
        for (TConnectionState* C : FConnections) {
            if (!C->AwaitingHead || C->Cut || C->Socket < 0) continue;
            // As for an overdue head: the worker sees the end of the stream
            // and closes the connection itself.
            ::shutdown(C->Socket, SHUT_RDWR);
            C->Cut = true;
        }
        FDrained.wait_for(Lock, Grace, [&] { return FInFlight.load() == 0; });
    }
    Stop();
}

void THTTPServer::StopWatch() {
    {
        std::lock_guard<std::mutex> Lock(FConnLock);
        FWatchStop = true;
    }
    FWatchWake.notify_all();
    if (FWatch.joinable()) FWatch.join();
}

void THTTPServer::WatchHeads() {
    // Checked a few times per deadline, so a connection is cut at most a
    // quarter of the deadline late.
    const auto Period = std::clamp<std::chrono::milliseconds>(FOptions.HeadTimeout / 4, std::chrono::milliseconds(20),
                                                              std::chrono::milliseconds(500));
    std::unique_lock<std::mutex> Lock(FConnLock);
    while (!FWatchStop) {
        FWatchWake.wait_for(Lock, Period, [&] { return FWatchStop; });
        if (FWatchStop) break;
        const auto Now = std::chrono::steady_clock::now();
        int Cut = 0;
        for (TConnectionState* C : FConnections) {
            if (!C->AwaitingHead || C->Cut || C->Socket < 0 || Now - C->WaitingSince < FOptions.HeadTimeout) continue;
            // Shutting the socket down (not closing it: the library owns the
            // descriptor) makes the worker see the end of the stream and
            // close the connection itself.
            ::shutdown(C->Socket, SHUT_RDWR);
            C->Cut = true;
            ++Cut;
        }
        if (Cut > 0) {
            Lock.unlock();
            try {
                WriteLog("http: closed " + std::to_string(Cut) + " connection(s) whose request head was not complete within " +
                         std::to_string(FOptions.HeadTimeout.count()) + " ms");
            } catch (...) {
            }
            Lock.lock();
        }
    }
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

std::optional<std::string> THTTPServer::AllowedOrigin(const TWebFields& Headers) const {
    const std::optional<std::string_view> Origin = FindField(Headers, "Origin");
    if (!Origin) return std::nullopt;
    for (const std::string& O : FOptions.CorsOrigins)
        if (O == *Origin) return O;
    return std::nullopt;
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

void THTTPServer::WriteAccessLog(std::string_view Line) {
    std::lock_guard<std::mutex> Lock(FLogLock);
    FOptions.AccessLog(Line);
}

THTTPServer::TIncoming THTTPServer::ReadRequest(MHD_Connection* Connection, TConnectionState* State, const char* Url,
                                                const char* Method, const char* Version) const {
    TIncoming In;
    In.Method = Method ? Method : "";
    In.Version = Version ? Version : "";
    In.IsHead = In.Method == "HEAD";
    In.RawTarget = State && !State->RawTarget.empty() ? State->RawTarget : std::string(Url ? Url : "");
    In.Started = State ? State->Started : std::chrono::steady_clock::now();
    In.StartedAt = State ? State->StartedAt : std::time(nullptr);
    In.AfterShutdown = State && State->AfterShutdown;
    MHD_get_connection_values(Connection, MHD_HEADER_KIND, &CollectField, &In.Headers);
    if (State) {
        TRawHead Raw;
        Raw.Method = Method;
        Raw.Url = Url;
        Raw.Version = Version;
        Raw.Target = State->RawTarget;
        MHD_get_connection_values(Connection, MHD_HEADER_KIND, &CollectRawField, &Raw);
        if (const MHD_ConnectionInfo* Info =
                MHD_get_connection_info(Connection, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE))
            Raw.HeadSize = Info->header_size;
        In.HeadFault = RawHeadFault(Raw);
    }
    if (!In.HeadFault) In.HeadFault = FramingFault(In.Headers, In.Version);
    In.RemoteAddress = RemoteAddress(Connection);
    TTargetLimits Limits;
    Limits.MaxQueryFields = FOptions.MaxQueryFields;
    In.Fault = ParseRequestTarget(In.RawTarget, In.Target, Limits);
    if (In.Fault) In.Target.Path = Url ? Url : "";
    // An HTTP/1.1 request names its host once: a proxy and this server
    // could otherwise take it for different hosts.
    if (!In.Fault && In.Version == "HTTP/1.1") {
        std::size_t Hosts = 0;
        for (const TWebField& F : In.Headers) Hosts += SameFieldName(F.Name, "Host");
        if (Hosts != 1)
            In.Fault = {400, Hosts == 0 ? "an HTTP/1.1 request needs a Host header"
                                        : "Host is given " + std::to_string(Hosts) + " times"};
    }
    if (State && State->Uploading) {
        In.HasBody = !State->UploadTooLarge;
        In.BodyTooLarge = State->UploadTooLarge;
        In.Body = std::move(State->Upload);
        State->Upload.clear();
    }
    return In;
}

TWebMessage THTTPServer::RunHandler(const TIncoming& In, std::string& Error, std::unique_ptr<TDeferred>& Deferred) {
    // The handler's response keeps its message here instead of queueing it,
    // so that queueing is one stage for every answer.
    TWebMessage Out;
    bool Delivered = false;
    auto Keep = [&](TWebMessage&& M) {
        Out = std::move(M);
        Delivered = true;
    };
    if (In.HeadFault) {
        TWebResponse Refusal(Keep);
        SendPlainText(Refusal, In.HeadFault.Status,
                      (In.HeadFault.Status == 501 ? "Not implemented: " : "Bad request: ") + In.HeadFault.Reason +
                          "\n");
        return Out;
    }
    if (In.AfterShutdown) {
        // A client that sent it on a kept-alive connection may send it
        // again to another process.
        TWebResponse Refusal(Keep);
        Refusal.SetCustomHeader("Retry-After", "1");
        SendPlainText(Refusal, 503, "Service Unavailable: the server is shutting down\n");
        return Out;
    }
    const bool PostAllowed = FOptions.PostBodyLimit > 0;
    const std::string Methods = PostAllowed ? "GET, HEAD, POST" : "GET, HEAD";
    if (In.Method == "OPTIONS") {
        // What the resource allows. A browser asks so before a cross-origin
        // request that it may not simply send (one with headers of its
        // page's own); where cross-origin answers are allowed, it is told
        // that the methods and the headers it asked about may be used.
        TWebResponse Answer(Keep);
        Answer.SetCustomHeader("Allow", Methods);
        const bool CrossOrigin = FindField(FOptions.ExtraHeaders, "Access-Control-Allow-Origin").has_value() ||
                                 AllowedOrigin(In.Headers);
        if (CrossOrigin && FindField(In.Headers, "Origin") && FindField(In.Headers, "Access-Control-Request-Method")) {
            Answer.SetCustomHeader("Access-Control-Allow-Methods", Methods);
            const std::string_view Asked = TrimSpaces(FindField(In.Headers, "Access-Control-Request-Headers").value_or(""));
            if (!Asked.empty() && IsValidFieldValue(Asked))
                Answer.SetCustomHeader("Access-Control-Allow-Headers", std::string(Asked));
            Answer.SetCustomHeader("Access-Control-Max-Age", "600");
        }
        Answer.SetStatusCode(204);
        Answer.SetContent("");
        Answer.SendResponse();
        return Out;
    }
    if (In.Method != "GET" && !In.IsHead && !(PostAllowed && In.Method == "POST")) {
        TWebResponse Refusal(Keep);
        Refusal.SetCustomHeader("Allow", Methods);
        SendPlainText(Refusal, 405, "Method Not Allowed\n");
        return Out;
    }
    if (In.BodyTooLarge || (AnnouncesBody(In.Headers) && !In.HasBody)) {
        TWebResponse Refusal(Keep);
        SendPlainText(Refusal, 413, "Request body not accepted\n");
        return Out;
    }
    if (In.Fault) {
        TWebResponse Refusal(Keep);
        SendPlainText(Refusal, In.Fault.Status, "Bad request: " + In.Fault.Reason + "\n");
        return Out;
    }
    // On the heap, so that a deferred answer keeps it.
    auto Request = std::make_unique<TWebRequest>(In.Method, In.Target.Path, In.Target.Query, In.Headers,
                                                 In.RemoteAddress);
    if (In.HasBody) Request->SetContent(In.Body);
    TWebResponse Response(Keep);
    TWebResponse::TContinuation Rest;
    if (FDeferPool)
        Response.SetDeferrer([&Rest](TWebResponse::TContinuation& Given) {
            Rest = std::move(Given);
            return true;
        });
    try {
        TDispatchScope Scope(this);
        FHandler(*Request, Response);
    } catch (const std::exception& E) {
        Error = E.what();
    } catch (...) {
        Error = "unknown exception";
    }
    if (Response.Deferred() && Error.empty()) {
        Deferred = std::make_unique<TDeferred>();
        Deferred->Request = std::move(Request);
        Deferred->Rest = std::move(Rest);
        return Out;
    }
    // An exception after SendResponse leaves the answer as sent; it is only
    // logged.
    if (!Delivered) {
        if (Error.empty()) Error = "the handler sent no response";
        TWebResponse Failure(Keep);
        SendPlainText(Failure, 500,
                      FOptions.ErrorDetail == TErrorDetail::edMessage ? "Internal Server Error: " + Error + "\n"
                                                                      : std::string("Internal Server Error\n"));
    }
    return Out;
}

THTTPServer::TAnswer THTTPServer::QueueAnswer(MHD_Connection* Connection, const TIncoming& In,
                                              TWebMessage&& Message) const {
    int Status = Message.StatusCode;
    const std::optional<std::string_view> HandlerTag = FindField(Message.CustomHeaders, "ETag");
    std::string ETag;
    if (Status == 200 && !HandlerTag && FOptions.ETags == TETagMode::etStrong) ETag = StrongETag(Message.Body);
    if (Status == 200) {
        if (std::optional<std::string_view> IfNoneMatch = FindField(In.Headers, "If-None-Match")) {
            std::string_view Tag = HandlerTag ? *HandlerTag : std::string_view(ETag);
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
    }

    const std::size_t Size = Message.Body.size();
    // The library keeps the string until the last byte is written and then
    // releases it through FreeBody; handing it over this way spares a second
    // copy of the body.
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
    // An error is never kept by a cache, whatever charts may be: a shared
    // cache would otherwise answer a refusal to the next client as well.
    if (!FindField(Message.CustomHeaders, "Cache-Control")) {
        if (Status >= 400)
            Add(MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
        else if (!FOptions.CacheControl.empty())
            Add(MHD_HTTP_HEADER_CACHE_CONTROL, FOptions.CacheControl);
    }
    for (const TWebField& F : FOptions.ExtraHeaders)
        if (!FindField(Message.CustomHeaders, F.Name)) Add(F.Name, F.Value);
    if (!FOptions.CorsOrigins.empty()) {
        // The answer depends on the Origin asked from, so a cache must keep
        // one per Origin.
        if (const std::optional<std::string> Origin = AllowedOrigin(In.Headers);
            Origin && !FindField(Message.CustomHeaders, "Access-Control-Allow-Origin"))
            Add("Access-Control-Allow-Origin", *Origin);
        Add(MHD_HTTP_HEADER_VARY, "Origin");
    }
    if (!FOptions.ServerHeader.empty()) Add(MHD_HTTP_HEADER_SERVER, FOptions.ServerHeader);
    // After a head that cannot be read reliably, neither can the rest of the
    // connection.
    // Once Shutdown has begun, every answer is the last of its connection.
    if (In.HeadFault || FDraining.load()) Add(MHD_HTTP_HEADER_CONNECTION, "close");
    if (MHD_queue_response(Connection, static_cast<unsigned int>(Status), Response.get()) != MHD_YES)
        throw EHTTPServerError("THTTPServer: the answer " + std::to_string(Status) + " to " + In.Method + " " +
                               Escaped(In.Target.Path, true) + " could not be queued");
    return {Status, In.IsHead ? 0 : Size};
}

void THTTPServer::LogRequest(const TIncoming& In, const TAnswer& Answer, bool Queued, const std::string& Error) {
    const double Ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - In.Started).count();
    try {
        if (FOptions.Answered && Queued) FOptions.Answered(In.Target.Path, Answer.Status, Ms / 1000);
        if (!FOptions.AccessLog || !Queued || !Error.empty()) {
            char Figures[64];
            std::snprintf(Figures, sizeof Figures, " %d %zu bytes %.1f ms", Queued ? Answer.Status : 0, Answer.Bytes, Ms);
            std::string Line = RequestLinePrefix(In.StartedAt, In.RemoteAddress) + Escaped(In.Method, true) + " " +
                               Escaped(In.Target.Path, true) + Figures;
            if (!Queued) Line += " (connection dropped)";
            if (!Error.empty()) Line += " (error: " + Escaped(Error, false) + ")";
            WriteLog(Line);
        }
        if (FOptions.AccessLog && Queued) {
            TAccessRecord R;
            R.RemoteAddress = In.RemoteAddress;
            R.Time = In.StartedAt;
            R.RequestLine = In.Method + " " + In.RawTarget + " " + In.Version;
            R.Status = Answer.Status;
            R.Bytes = Answer.Bytes;
            if (auto V = FindField(In.Headers, "Referer")) R.Referer = std::string(*V);
            if (auto V = FindField(In.Headers, "User-Agent")) R.UserAgent = std::string(*V);
            R.Milliseconds = Ms;
            WriteAccessLog(FormatAccessLine(R));
        }
    } catch (...) {
        // A failing log sink must not cost the client its answer.
    }
}

void THTTPServer::AnswerDeferred(TDeferred& Work, bool Refuse) noexcept {
    bool Delivered = false;
    auto Keep = [&](TWebMessage&& M) {
        Work.Message = std::move(M);
        Delivered = true;
    };
    try {
        TWebResponse Response(Keep);
        if (Refuse) {
            Response.SetCustomHeader("Retry-After", "1");
            SendPlainText(Response, 503, "Service Unavailable: the server is stopping\n");
        } else {
            TDispatchScope Scope(this);
            Work.Rest(*Work.Request, Response);
        }
    } catch (const std::exception& E) {
        Work.Error = E.what();
    } catch (...) {
        Work.Error = "unknown exception";
    }
    if (!Delivered) {
        if (Work.Error.empty()) Work.Error = "the handler sent no response";
        Work.Message = {};
        Work.Message.StatusCode = 500;
        Work.Message.ContentType = "text/plain; charset=utf-8";
        Work.Message.Body = FOptions.ErrorDetail == TErrorDetail::edMessage
                                ? "Internal Server Error: " + Work.Error + "\n"
                                : std::string("Internal Server Error\n");
    }
}

bool THTTPServer::FinishDeferred(MHD_Connection* Connection, TConnectionState& State) {
    std::unique_ptr<TDeferred> Work = std::move(State.Deferred);
    // Resumed only by its pool thread, after Done.
    (void)Work->Done.load(std::memory_order_acquire);
    TAnswer Answer;
    bool Queued = true;
    try {
        Answer = QueueAnswer(Connection, Work->In, std::move(Work->Message));
    } catch (const std::exception& E) {
        Queued = false;
        Work->Error = Work->Error.empty() ? E.what() : Work->Error + "; " + E.what();
    }
    LogRequest(Work->In, Answer, Queued, Work->Error);
    return Queued;
}

bool THTTPServer::Dispatch(MHD_Connection* Connection, TConnectionState* State, const char* Url, const char* Method,
                           const char* Version) {
    if (State && State->Deferred) return FinishDeferred(Connection, *State);
    TIncoming In = ReadRequest(Connection, State, Url, Method, Version);
    std::string Error;
    TAnswer Answer;
    bool Queued = true;
    try {
        std::unique_ptr<TDeferred> Deferred;
        TWebMessage Message = RunHandler(In, Error, Deferred);
        if (Deferred) {
            if (State) {
                // The connection waits, without a worker, until the pool
                // thread has the answer and resumes it.
                Deferred->Connection = Connection;
                Deferred->In = std::move(In);
                TDeferred* Work = Deferred.get();
                State->Deferred = std::move(Deferred);
                MHD_suspend_connection(Connection);
                FDeferPool->Post(Work);
                return true;
            }
            AnswerDeferred(*Deferred, false);
            Error = std::move(Deferred->Error);
            Message = std::move(Deferred->Message);
        }
        Answer = QueueAnswer(Connection, In, std::move(Message));
    } catch (const std::exception& E) {
        // Not even an error answer could be queued: the connection is dropped.
        Queued = false;
        Error = Error.empty() ? E.what() : Error + "; " + E.what();
    }
    LogRequest(In, Answer, Queued, Error);
    return Queued;
}

}  // namespace pv
