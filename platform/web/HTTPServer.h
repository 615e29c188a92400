#pragma once
// THTTPServer: the HTTP adapter that turns requests on a socket into calls of
// a request handler with a TWebRequest and a TWebResponse.
//
// It runs on libmicrohttpd with its own pool of event-driven worker threads:
// connections are multiplexed with epoll (or poll) inside each worker, so a
// slow or idle client costs a socket and a little memory but never a
// worker; timeouts and connection limits bound even that. The handler runs
// on a worker thread, one request per worker at a time, and must therefore
// be safe to call from several threads at once.
//
// What the adapter does for every request, so that handlers need not:
// - only GET and HEAD reach the handler, and a GET or HEAD that carries a
//   body gets 413; a server given a PostBodyLimit also hands POST requests
//   with a body up to that size to the handler (TWebRequest::GetContent),
//   413 beyond it. OPTIONS is answered here: 204 with Allow, and where
//   ExtraHeaders allow cross-origin answers, a browser's cross-origin
//   question gets the methods and headers it may use. Every other method
//   (names compare exactly: "get" is another method), with a body or
//   without, gets 405 with Allow naming the methods: "GET, HEAD", or
//   "GET, HEAD, POST" with a PostBodyLimit;
// - HEAD is answered with the headers of the GET, Content-Length included,
//   and no body;
// - a 200 answer gets an ETag (unless the handler set one) and becomes 304
//   Not Modified when If-None-Match matches it; every answer gets the
//   configured Cache-Control unless the handler set its own;
// - an exception from the handler, or a handler that sends nothing, gives
//   500 with a short plain-text reason; the error is logged and the server
//   goes on serving;
// - the request target is decoded here, not by the library: a NUL byte
//   (%00) or a broken escape gives 400, too many query fields 414;
// - a request head (request line and headers) must be complete within
//   HeadTimeout of the moment the connection began waiting for it, however
//   slowly its bytes trickle in; a connection past that is closed;
// - one log line per request: the time (ISO 8601, UTC), the client's
//   address, method, path, status, body bytes, milliseconds
//   ("2026-12-11T12:00:00Z 127.0.0.1 GET / 200 1159 bytes 0.1 ms");
//   with an AccessLog sink, also one line in the Combined Log Format with the
//   duration appended (see FormatAccessLine).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "platform/rtl/Exception.h"
#include "platform/rtl/Object.h"
#include "platform/web/AccessLog.h"
#include "platform/web/WebRequest.h"
#include "platform/web/WebResponse.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace pv {

// The server could not start: bad options, or the address cannot be bound.
class EHTTPServerError : public Exception { using Exception::Exception; };

// Answers one request; runs on a worker thread.
using TWebHandler = std::function<void(const TWebRequest& Request, TWebResponse& Response)>;
// Receives one complete log line (without a line break). Calls are serialized.
using TWebLogSink = std::function<void(std::string_view Line)>;

// Whether 200 answers carry entity tags.
enum class TETagMode : std::uint8_t {
    etStrong,  // a strong ETag from the body bytes, and 304 on a matching If-None-Match
    etNone,    // no ETag and no 304 (a handler may still set its own ETag header)
};

// What a 500 caused by a handler exception tells the client.
enum class TErrorDetail : std::uint8_t {
    edReasonOnly,  // "Internal Server Error" only; the message goes to the log
    edMessage,     // the exception message too, for development servers
};

struct THTTPServerOptions {
    // The numeric IPv4 or IPv6 address to listen on, or a host name that
    // Start resolves (its first IPv4 address, else its first IPv6 one).
    // Default: loopback only.
    std::string BindAddress = "127.0.0.1";
    // The port; 0 lets the system choose a free one (see THTTPServer::GetPort).
    std::uint16_t Port = 0;
    // Worker threads, each serving many connections. Default 4; at least 1.
    unsigned Threads = 4;
    // A connection idle (or trickling) this long is closed. Default 10 s; at least 1 s.
    std::chrono::seconds ConnectionTimeout{10};
    // Open connections in all, shared out among the workers. Default 1024;
    // at least Threads. An idle connection costs a socket and its memory
    // pool, never a worker.
    unsigned ConnectionLimit = 1024;
    // Open connections from one client address. Default 32; 0: no limit.
    // With the defaults, a flood needs more than 30 addresses to take every
    // connection, and the head deadline frees what it holds.
    unsigned PerAddressLimit = 32;
    // A request head must be complete this long after the connection began
    // waiting for it (at accept, or after the previous answer on a kept-alive
    // connection); otherwise the connection is closed. Default 10 s; at
    // least 100 ms.
    std::chrono::milliseconds HeadTimeout{10000};
    // Query fields in one request at most; more are answered with 414.
    // Default 256.
    std::size_t MaxQueryFields = 256;
    // Memory per connection for the request line and headers; larger
    // requests are refused by the server. Default 32 KiB; at least 4 KiB.
    std::size_t ConnectionMemoryLimit = 32 * 1024;
    // Entity tags on 200 answers. Default etStrong.
    TETagMode ETags = TETagMode::etStrong;
    // The Cache-Control value of every answer below 400 (errors get
    // "no-store"); empty: no header.
    // Default "no-cache": clients may keep a chart but must revalidate it,
    // which the ETag makes cheap.
    std::string CacheControl = "no-cache";
    // What a 500 tells the client. Default edReasonOnly.
    TErrorDetail ErrorDetail = TErrorDetail::edReasonOnly;
    // Where log lines go. Default (empty): one line each on stderr. With an
    // AccessLog, only lines about faults go here.
    TWebLogSink Log;
    // Where access lines go, one per answered request, in the Combined Log
    // Format plus the duration; empty: none.
    TWebLogSink AccessLog;
    // The Server header of every answer ("Plotvane/1.0.0"); empty: none.
    std::string ServerHeader;
    // Headers added to every answer (for example
    // Access-Control-Allow-Origin), unless the handler set the same name.
    TWebFields ExtraHeaders;
    // Origins allowed cross-origin answers: a request whose Origin is one of
    // them (compared exactly) gets Access-Control-Allow-Origin naming it,
    // others none; every answer gets "Vary: Origin". Empty: none.
    std::vector<std::string> CorsOrigins;
    // Called once per answered request, on its worker and so from several
    // threads at once, with the decoded path, the status sent (304 where
    // If-None-Match matched) and the seconds from the head's arrival to the
    // answer's queueing; for metrics. Empty: not called.
    std::function<void(std::string_view Path, int Status, double Seconds)> Answered;
    // The largest POST body in bytes that reaches the handler. Default 0:
    // POST is refused with 405 like every method but GET, HEAD and OPTIONS,
    // and a GET or HEAD with a body with 413.
    std::size_t PostBodyLimit = 0;
    // Threads for answers a handler defers (TWebResponse::Defer): while one
    // runs there, its connection waits and the worker goes on serving its
    // other connections, so slow answers never hold up quick ones. Deferred
    // answers beyond these threads wait their turn in order. Default 0:
    // Defer runs the rest of the answer on the worker at once.
    unsigned DeferThreads = 0;
};

class THTTPServer : public TObject {
public:
    // Nothing listens until Start.
    THTTPServer(THTTPServerOptions Options, TWebHandler Handler);
    // Stops the server if it still runs.
    ~THTTPServer() override;

    std::string_view ClassName() const override { return "THTTPServer"; }

    // Checks the options, binds the address and starts the workers. Raises
    // EHTTPServerError naming the option and value, or the address and the
    // system's reason, when it cannot; EInvalidOperation when already active.
    // The workers start with SIGINT, SIGTERM and SIGPIPE blocked, so those
    // signals go to the program's own threads.
    void Start();
    // Closes the listening socket and every connection, waits for running
    // handlers to return and joins the workers. Does nothing when not
    // active. Raises EInvalidOperation when called from one of this server's
    // handlers, which would wait for itself.
    void Stop();
    // Stops accepting connections and requests: idle connections are closed,
    // a request that comes in on an open connection afterwards gets 503 with
    // Retry-After, and every answer carries "Connection: close". Lets the
    // requests in flight finish (their answers sent) for at most Grace and
    // stops as Stop does as soon as none is left. For a clean SIGTERM.
    // Raises as Stop does.
    void Shutdown(std::chrono::milliseconds Grace);
    bool IsActive() const { return FDaemon != nullptr; }
    // Requests whose head is in and whose answer is not yet fully sent.
    int RequestsInFlight() const { return FInFlight.load(); }

    // The port actually bound while active (useful with Port 0); 0 otherwise.
    std::uint16_t GetPort() const { return FBoundPort; }
    const THTTPServerOptions& GetOptions() const { return FOptions; }

    // Blocks SIGINT and SIGTERM in the calling thread; threads it creates
    // afterwards inherit that. Call it first in main, before any thread.
    static void BlockTerminationSignals();
    // Blocks SIGINT and SIGTERM in the calling thread and waits for one of
    // them; returns the signal number. For command-line servers: Start,
    // then wait, then Stop.
    static int WaitForTerminationSignal();

private:
    friend struct THTTPServerCallbacks;
    struct TConnectionState;
    struct TIncoming;
    struct TAnswer;
    struct TDeferred;
    class TDeferPool;

    // One request, called by libmicrohttpd on a worker, in three stages:
    // read the request, run the handler (or refuse), queue the answer; then
    // the log lines. Returns false when the connection must be dropped
    // because no answer could be queued.
    bool Dispatch(MHD_Connection* Connection, TConnectionState* State, const char* Url, const char* Method,
                  const char* Version);
    TIncoming ReadRequest(MHD_Connection* Connection, TConnectionState* State, const char* Url, const char* Method,
                          const char* Version) const;
    // Runs the handler; a handler that defers leaves its request and the
    // rest of its answer in Deferred instead of a message.
    TWebMessage RunHandler(const TIncoming& In, std::string& Error, std::unique_ptr<TDeferred>& Deferred);
    // Runs the rest of a deferred answer (Refuse: answers 503 instead) and
    // keeps the message in Work; on a pool thread.
    void AnswerDeferred(TDeferred& Work, bool Refuse) noexcept;
    // Queues and logs the answer of a deferred request once its connection
    // is resumed.
    bool FinishDeferred(MHD_Connection* Connection, TConnectionState& State);
    TAnswer QueueAnswer(MHD_Connection* Connection, const TIncoming& In, TWebMessage&& Message) const;
    void LogRequest(const TIncoming& In, const TAnswer& Answer, bool Queued, const std::string& Error);
    // The request's Origin when CorsOrigins allows it.
    std::optional<std::string> AllowedOrigin(const TWebFields& Headers) const;
    void WriteLog(std::string_view Line);
    void WriteAccessLog(std::string_view Line);
    void CheckOptions() const;
    // Answers, in the library's place, the request whose Content-Length the
    // library has just refused; called from its log message, on the worker.
    bool AnswerUnreadableLength(int Status);
    // Closes connections whose request head is overdue; runs on its own thread.
    void WatchHeads();
    void StopWatch();

    THTTPServerOptions FOptions;
    TWebHandler FHandler;
    MHD_Daemon* FDaemon = nullptr;
    std::uint16_t FBoundPort = 0;
    std::mutex FLogLock;
    // Collects the library's messages while Start runs, for its error message.
    bool FStarting = false;
    std::string FStartMessages;
    // The open connections, for the head deadline; guarded by FConnLock.
    std::mutex FConnLock;
    std::unordered_set<TConnectionState*> FConnections;
    std::condition_variable FWatchWake;
    bool FWatchStop = false;
    std::thread FWatch;
    std::atomic<int> FInFlight{0};
    // Set by Shutdown: no request is taken any more.
    std::atomic<bool> FDraining{false};
    std::condition_variable FDrained;
    // The listening socket after Shutdown quiesced the daemon; closed after it stops.
    int FQuiescedSocket = -1;
    // The threads of deferred answers while active (DeferThreads > 0).
    std::unique_ptr<TDeferPool> FDeferPool;
};

}  // namespace pv
