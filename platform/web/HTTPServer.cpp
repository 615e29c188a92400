#include "platform/web/HTTPServer.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/web/ETag.h"
#include "platform/web/Url.h"

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

// Set on a worker that has answered a request in the library's place
// (AnswerUnreadableLength): the library's next two messages there report the
// answer it queued itself and its failure to send it, and are not logged.
thread_local int tlsLibraryEchoes = 0;

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

// What makes the end of a request's body ambiguous, which a proxy in front
// of the server may read differently (so that bytes one of them takes as body
// the other takes as the next request), with the status of its refusal
// (RFC 9112, 5.1, 6.1 and 6.3): Content-Length fields that disagree,
// Content-Length beside Transfer-Encoding, Transfer-Encoding given twice or
// in an HTTP/1.0 request, or whitespace between a field's name and its colon
// (400); a transfer coding other than chunked, the one the server reads
// (501). No fault when there is none.
TTargetFault FramingFault(const TWebFields& Headers, std::string_view Version) {
    std::optional<std::string_view> Length, Transfer;
    for (const TWebField& F : Headers) {
        if (F.Name.find_first_of(" \t") != std::string::npos)
            return {400, "the header field name \"" + Escaped(F.Name, false) + "\" contains whitespace"};
        const std::string_view Value = TrimSpaces(F.Value);
        if (SameFieldName(F.Name, "Transfer-Encoding")) {
            if (Transfer) return {400, "Transfer-Encoding is given twice"};
            Transfer = Value;
        } else if (SameFieldName(F.Name, "Content-Length")) {
            if (Length && *Length != Value)
                return {400, "Content-Length is given twice, as \"" + Escaped(*Length, false) + "\" and \"" +
                                 Escaped(Value, false) + "\""};
            Length = Value;
        }
    }
    if (!Transfer) return {};
    if (Length) return {400, "Content-Length and Transfer-Encoding are both given"};
    if (Version == "HTTP/1.0") return {400, "Transfer-Encoding is given in an HTTP/1.0 request"};
    // Transfer codings compare without case, as field names do.
    if (!SameFieldName(*Transfer, "chunked"))
        return {501, "the transfer coding \"" + Escaped(*Transfer, false) + "\" is not supported; only chunked is"};
    return {};
}

// The pieces of a request head as the library hands them over: C strings in
// its read buffer, in wire order (the request line's method, target and
// version, then each header's name and value).
struct TRawHead {
    const char* Method = nullptr;
    const char* Url = nullptr;
    const char* Version = nullptr;
    // The target as the URI callback saw it.
    std::string_view Target;
    std::vector<std::pair<const char*, const char*>> Fields;
    // The whole head's length in bytes, the final empty line included.
    std::size_t HeadSize = 0;
};

bool HasControlByte(std::string_view S, bool TabAllowed) {
    for (unsigned char C : S)
        if ((C < 0x20 && !(TabAllowed && C == '\t')) || C == 0x7f) return true;
    return false;
}

// A NUL or other control byte in the request line or a header, which the
// library does not refuse: it ends each piece at the first NUL, so that
// "GET /a.gif?x=1\0junk" would reach the handler as "/a.gif?x=1". The pieces
// lie in the read buffer one after the other, parted only by the separators
// the library overwrote with NULs (one space in the request line, a colon and
// blanks before a value, CR LF or LF after a line), so a piece that ends
// before the next one's separator was cut short by a NUL. A folded header
// line, which the library copies elsewhere, fails the same test and is
// refused as well, as RFC 9112 allows. No fault when there is none.
TTargetFault RawHeadFault(const TRawHead& Head) {
    const TTargetFault Fault{400, "the request line or a header holds a NUL or other control byte"};
    if (!Head.Method || !Head.Url || !Head.Version || Head.HeadSize == 0) return {};
    auto At = [](const char* P) { return reinterpret_cast<std::uintptr_t>(P); };
    const std::uintptr_t HeadStart = At(Head.Method), HeadEnd = HeadStart + Head.HeadSize;
    auto Inside = [&](const char* P) { return At(P) >= HeadStart && At(P) < HeadEnd; };
    auto EndOf = [&](const char* P) { return At(P) + std::strlen(P); };
    if (!Inside(Head.Url) || !Inside(Head.Version)) return Fault;
    if (HasControlByte(Head.Method, false) || EndOf(Head.Method) + 1 != At(Head.Url)) return Fault;
    if (HasControlByte(Head.Target, false) || std::strlen(Head.Url) > Head.Target.size() ||
        At(Head.Url) + Head.Target.size() + 1 != At(Head.Version))
        return Fault;
    if (HasControlByte(Head.Version, false)) return Fault;
    std::uintptr_t LineEnd = EndOf(Head.Version);
    for (const auto& [Name, Value] : Head.Fields) {
        if (!Name || !Value || !Inside(Name) || !Inside(Value)) return Fault;
        if (At(Name) != LineEnd + 1 && At(Name) != LineEnd + 2) return Fault;
        if (HasControlByte(Name, false) || HasControlByte(Value, true) || EndOf(Name) >= At(Value)) return Fault;
        // The value starts after the colon and the blanks that follow it.
        for (std::uintptr_t P = EndOf(Name) + 1; P < At(Value); ++P) {
            const char C = *reinterpret_cast<const char*>(P);
            if (C != ' ' && C != '\t') return Fault;
        }
        LineEnd = EndOf(Value);
    }
    // The last line's end and the empty line: two to four bytes.
    if (HeadEnd < LineEnd + 2 || HeadEnd > LineEnd + 4) return Fault;
    return {};
}

MHD_Result CollectRawField(void* Cls, MHD_ValueKind, const char* Key, const char* Value) {
    static_cast<TRawHead*>(Cls)->Fields.emplace_back(Key, Value);
    return MHD_YES;
}

bool DeclaredLengthAbove(const TWebFields& Headers, std::size_t Limit) {
    std::optional<std::string_view> Length = FindField(Headers, "Content-Length");
    if (!Length) return false;
    std::string_view L = TrimSpaces(*Length);
    if (L.empty() || L.size() > 18 || L.find_first_not_of("0123456789") != std::string_view::npos) return true;
    return std::stoull(std::string(L)) > Limit;
}

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

// The library's messages for a Content-Length it cannot read, and the status
// of its answer to each.
std::optional<int> UnreadableLengthStatus(std::string_view Message) {
    if (Message.starts_with("Failed to parse `Content-Length' header")) return 400;
    if (Message.starts_with("Too large value of 'Content-Length' header")) return 413;
    return std::nullopt;
}

// An HTTP date (RFC 9110, 5.6.7) for the given time.
std::string HttpDate(std::time_t Time) {
    std::tm Tm{};
    gmtime_r(&Time, &Tm);
    static constexpr const char* Days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char Text[40];
    std::snprintf(Text, sizeof Text, "%s, %02d %s %04d %02d:%02d:%02d GMT", Days[Tm.tm_wday % 7], Tm.tm_mday,
                  Months[Tm.tm_mon % 12], Tm.tm_year + 1900, Tm.tm_hour, Tm.tm_min, Tm.tm_sec);
    return Text;
}

}  // namespace

// The state of one open connection: what the head deadline watches, and the
// raw target of the request being read (the library hands it over before it
// decodes it, and only the raw form shows a %00).
struct THTTPServer::TConnectionState {
    int Socket = -1;
    // Set when the connection opens, on the worker that owns it for its
    // whole life; never changed afterwards.
    MHD_Connection* Connection = nullptr;
    std::thread::id Owner;
    // Guarded by the server's FConnLock.
    std::chrono::steady_clock::time_point WaitingSince;
    bool AwaitingHead = true;
    bool Cut = false;
    // Touched only by the worker that owns the connection.
    bool HeadSeen = false;
    // The request's head came in after Shutdown began: it is refused.
    bool AfterShutdown = false;
    bool InFlight = false;
    // A POST body the server accepts, collected over the calls between the
    // head and the end of the request.
    bool Uploading = false;
    bool UploadTooLarge = false;
    std::string Upload;
    std::string RawTarget;
    std::chrono::steady_clock::time_point Started;
    std::time_t StartedAt = 0;
};

// The C entry points libmicrohttpd calls; a friend so that they reach the
// server's private dispatch. Nothing may unwind into the C library.
struct THTTPServerCallbacks {
    static MHD_Result Access(void* Cls, MHD_Connection* Connection, const char* Url, const char* Method,
                             const char* Version, const char* UploadData, std::size_t* UploadDataSize,
                             void** RequestContext) {
        auto* Server = static_cast<THTTPServer*>(Cls);
        auto* State = static_cast<THTTPServer::TConnectionState*>(*RequestContext);
        // The first call comes when the headers are in. An answer queued
        // then is an "early" one, after which the library closes the
        // connection; that is right for a request with a body (refused, and
        // its bytes must not be read as the next request) but would cost
        // keep-alive otherwise, so other requests are answered on the
        // second call, once the request is complete.
        if (State && !State->HeadSeen) {
            State->HeadSeen = true;
            State->AfterShutdown = Server->FDraining.load();
            State->InFlight = true;
            Server->FInFlight.fetch_add(1);
            {
                std::lock_guard<std::mutex> Lock(Server->FConnLock);
                State->AwaitingHead = false;
            }
            try {
                TWebFields Headers;
                MHD_get_connection_values(Connection, MHD_HEADER_KIND, &CollectField, &Headers);
                // A request whose framing is ambiguous is refused at once.
                const bool Unframed = static_cast<bool>(FramingFault(Headers, Version ? Version : ""));
                if (!Unframed && !AnnouncesBody(Headers)) return MHD_YES;
                // A POST body within the limit is collected and the request
                // answered once it is complete; any other body is refused early.
                const std::size_t Limit = Server->FOptions.PostBodyLimit;
                if (!Unframed && Limit > 0 && Method && std::strcmp(Method, "POST") == 0 &&
                    !DeclaredLengthAbove(Headers, Limit)) {
                    State->Uploading = true;
                    State->UploadTooLarge = false;
                    State->Upload.clear();
                    return MHD_YES;
                }
            } catch (...) {
                return MHD_NO;
            }
        } else if (!State) {
            return MHD_NO;
        } else if (*UploadDataSize != 0) {
            if (State->Uploading && !State->UploadTooLarge) {
                if (State->Upload.size() + *UploadDataSize > Server->FOptions.PostBodyLimit) {
                    State->UploadTooLarge = true;
                    State->Upload.clear();
                } else {
                    try {
                        State->Upload.append(UploadData, *UploadDataSize);
                    } catch (...) {
                        return MHD_NO;
                    }
                }
            }
            // Otherwise body bytes of a request that was answered early:
            // discarded.
            *UploadDataSize = 0;
            return MHD_YES;
        }
        try {
            return Server->Dispatch(Connection, State, Url, Method, Version) ? MHD_YES : MHD_NO;
        } catch (...) {
            return MHD_NO;
        }
    }

    // Called with the raw request target as soon as the request line is in;
    // what it returns becomes the request's context.
    static void* UriLog(void* /*Cls*/, const char* Uri, MHD_Connection* Connection) {
        const MHD_ConnectionInfo* Info = MHD_get_connection_info(Connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        auto* State = Info ? static_cast<THTTPServer::TConnectionState*>(Info->socket_context) : nullptr;
        if (!State) return nullptr;
        try {
            State->RawTarget = Uri ? Uri : "";
        } catch (...) {
            State->RawTarget.clear();
        }
        // The query is parsed here (ParseRequestTarget), not by the library:
        // the library keeps each query field as a record in the connection's
        // small memory pool, and a long query of many short fields exhausts
        // it, after which this library version leaves the connection hanging
        // instead of answering. The raw target lies in the library's own
        // writable read buffer, and the library parses the query after this
        // returns; ending the string just after the "?" leaves it none.
        if (Uri)
            if (char* Mark = std::strchr(const_cast<char*>(Uri), '?')) Mark[1] = '\0';
        State->HeadSeen = false;
        State->Started = std::chrono::steady_clock::now();
        State->StartedAt = std::time(nullptr);
        return State;
    }

    static void Completed(void* Cls, MHD_Connection* /*Connection*/, void** RequestContext,
                          MHD_RequestTerminationCode /*Code*/) {
        auto* Server = static_cast<THTTPServer*>(Cls);
        auto* State = static_cast<THTTPServer::TConnectionState*>(*RequestContext);
        if (!State) return;
        {
            std::lock_guard<std::mutex> Lock(Server->FConnLock);
            State->AwaitingHead = true;
            State->WaitingSince = std::chrono::steady_clock::now();
            if (State->InFlight) {
                State->InFlight = false;
                Server->FInFlight.fetch_sub(1);
            }
        }
        State->HeadSeen = false;
        State->Uploading = false;
        State->UploadTooLarge = false;
        State->Upload.clear();
        State->Upload.shrink_to_fit();
        Server->FDrained.notify_all();
    }

    static void Connection(void* Cls, MHD_Connection* Connection, void** SocketContext,
                           MHD_ConnectionNotificationCode Code) {
        auto* Server = static_cast<THTTPServer*>(Cls);
        if (Code == MHD_CONNECTION_NOTIFY_STARTED) {
            auto* State = new (std::nothrow) THTTPServer::TConnectionState;
            if (!State) return;
            const MHD_ConnectionInfo* Info = MHD_get_connection_info(Connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            State->Socket = Info ? Info->connect_fd : -1;
            State->Connection = Connection;
            State->Owner = std::this_thread::get_id();
            State->WaitingSince = std::chrono::steady_clock::now();
            try {
                std::lock_guard<std::mutex> Lock(Server->FConnLock);
                Server->FConnections.insert(State);
            } catch (...) {
                delete State;
                return;
            }
            *SocketContext = State;
        } else if (Code == MHD_CONNECTION_NOTIFY_CLOSED) {
            // Whatever the library still had to say about an answer it never
            // sent was said before its connection closed.
            tlsLibraryEchoes = 0;
            auto* State = static_cast<THTTPServer::TConnectionState*>(*SocketContext);
            if (!State) return;
            {
                std::lock_guard<std::mutex> Lock(Server->FConnLock);
                Server->FConnections.erase(State);
                if (State->InFlight) {
                    State->InFlight = false;
                    Server->FInFlight.fetch_sub(1);
                }
            }
            Server->FDrained.notify_all();
            delete State;
            *SocketContext = nullptr;
        }
    }

    static void Logger(void* Cls, const char* Format, va_list Args) {
        auto* Server = static_cast<THTTPServer*>(Cls);
        char Buffer[512];
        int N = std::vsnprintf(Buffer, sizeof Buffer, Format, Args);
        if (N < 0) return;
        std::string_view Message(Buffer, std::min<std::size_t>(static_cast<std::size_t>(N), sizeof Buffer - 1));
        while (!Message.empty() && (Message.back() == '\n' || Message.back() == '\r')) Message.remove_suffix(1);
        try {
            if (const std::optional<int> Status = UnreadableLengthStatus(Message)) {
                if (Server->AnswerUnreadableLength(*Status)) tlsLibraryEchoes = 2;
            } else if (tlsLibraryEchoes > 0 && (Message.starts_with("Error processing request (HTTP response code is") ||
                                                Message.starts_with("Failed to send the response headers"))) {
                --tlsLibraryEchoes;
                return;
            }
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
    if (FOptions.HeadTimeout.count() < 100)
        Fail("HeadTimeout is " + std::to_string(FOptions.HeadTimeout.count()) + " ms; it must be at least 100 ms");
    if (FOptions.MaxQueryFields < 1)
        Fail("MaxQueryFields is 0; it must be at least 1");
    for (unsigned char C : FOptions.ServerHeader)
        if (C < 0x20 || C == 0x7f) Fail("ServerHeader \"" + Escaped(FOptions.ServerHeader, false) + "\" contains a control character");
    if (FOptions.ConnectionMemoryLimit < 4096)
        Fail("ConnectionMemoryLimit is " + std::to_string(FOptions.ConnectionMemoryLimit) +
             " bytes; it must be at least 4096");
    for (unsigned char C : FOptions.CacheControl)
        if (C < 0x20 || C == 0x7f) Fail("CacheControl \"" + Escaped(FOptions.CacheControl, false) + "\" contains a control character");
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

// Debian 12's libmicrohttpd (0.9.75) refuses a request whose Content-Length
// it cannot read with an answer whose header block it sends twice: it builds
// the header when it queues the answer and again when its state machine
// reaches the reply. It logs the refusal just before queueing that answer, on
// the worker that owns the connection, while the connection has its head
// complete, no answer queued and no handler call; of that worker's
// connections it is then the only one in that state, since any other with a
// complete head has either been handed to the handler or been answered by the
// library. The server writes a single answer of its own to that connection and
// shuts the socket, so the library's copy fails to send and the library
// closes the connection. Should the connection not be found alone in that
// state, the library's answer is left as it is and false returned.
bool THTTPServer::AnswerUnreadableLength(int Status) {
    TConnectionState* Found = nullptr;
    {
        std::lock_guard<std::mutex> Lock(FConnLock);
        const std::thread::id Self = std::this_thread::get_id();
        for (TConnectionState* C : FConnections) {
            if (C->Owner != Self || C->HeadSeen || C->Cut || !C->Connection || C->Socket < 0) continue;
            if (!MHD_get_connection_info(C->Connection, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE)) continue;
            if (MHD_get_connection_info(C->Connection, MHD_CONNECTION_INFO_HTTP_STATUS)) continue;
            if (Found) return false;
            Found = C;
        }
        if (!Found) return false;
        // The head deadline must not count it as a slow head later.
        Found->Cut = true;
    }
    const char* Length =
        MHD_lookup_connection_value(Found->Connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    const std::string Value = Escaped(Length ? Length : "", false);
    const std::string Text = Status == 413 ? "Request body not accepted: Content-Length " + Value + " is too large\n"
                                           : "Bad request: Content-Length \"" + Value + "\" is not a number of bytes\n";
    std::string Answer = Status == 413 ? "HTTP/1.1 413 Content Too Large\r\n" : "HTTP/1.1 400 Bad Request\r\n";
    Answer += "Date: " + HttpDate(std::time(nullptr)) + "\r\n";
    for (const TWebField& F : FOptions.ExtraHeaders) Answer += F.Name + ": " + F.Value + "\r\n";
    if (!FOptions.ServerHeader.empty()) Answer += "Server: " + FOptions.ServerHeader + "\r\n";
    Answer += "Content-Type: text/plain; charset=utf-8\r\nConnection: close\r\nContent-Length: " +
              std::to_string(Text.size()) + "\r\n\r\n" + Text;
    // The answer goes out whole or not at all: a request pipelined behind a
    // large answer may find the send buffer nearly full, and then the
    // library's own answer is left to go out after it. (The method is not
    // known here, so a HEAD request gets the text too; the connection closes
    // after it all the same.)
    int Queued = 0, Room = 0;
    socklen_t RoomSize = sizeof Room;
    if (::ioctl(Found->Socket, SIOCOUTQ, &Queued) != 0 ||
        ::getsockopt(Found->Socket, SOL_SOCKET, SO_SNDBUF, &Room, &RoomSize) != 0 ||
        static_cast<std::size_t>(std::max(0, Room - Queued)) < 2 * Answer.size()) {
        std::lock_guard<std::mutex> Lock(FConnLock);
        Found->Cut = false;
        return false;
    }
    (void)::send(Found->Socket, Answer.data(), Answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(Found->Socket, SHUT_RDWR);
    return true;
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

void THTTPServer::WriteAccessLog(std::string_view Line) {
    std::lock_guard<std::mutex> Lock(FLogLock);
    FOptions.AccessLog(Line);
}

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

TWebMessage THTTPServer::RunHandler(const TIncoming& In, std::string& Error) {
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
        const bool CrossOrigin = FindField(FOptions.ExtraHeaders, "Access-Control-Allow-Origin").has_value();
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
    TWebRequest Request(In.Method, In.Target.Path, In.Target.Query, In.Headers, In.RemoteAddress);
    if (In.HasBody) Request.SetContent(In.Body);
    TWebResponse Response(Keep);
    try {
        TDispatchScope Scope(this);
        FHandler(Request, Response);
    } catch (const std::exception& E) {
        Error = E.what();
    } catch (...) {
        Error = "unknown exception";
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
    if (!FOptions.CacheControl.empty() && !FindField(Message.CustomHeaders, "Cache-Control"))
        Add(MHD_HTTP_HEADER_CACHE_CONTROL, FOptions.CacheControl);
    for (const TWebField& F : FOptions.ExtraHeaders)
        if (!FindField(Message.CustomHeaders, F.Name)) Add(F.Name, F.Value);
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
            std::string Line = Escaped(In.Method, true) + " " + Escaped(In.Target.Path, true) + Figures;
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

bool THTTPServer::Dispatch(MHD_Connection* Connection, TConnectionState* State, const char* Url, const char* Method,
                           const char* Version) {
    TIncoming In = ReadRequest(Connection, State, Url, Method, Version);
    std::string Error;
    TAnswer Answer;
    bool Queued = true;
    try {
        Answer = QueueAnswer(Connection, In, RunHandler(In, Error));
    } catch (const std::exception& E) {
        // Not even an error answer could be queued: the connection is dropped.
        Queued = false;
        Error = Error.empty() ? E.what() : Error + "; " + E.what();
    }
    LogRequest(In, Answer, Queued, Error);
    return Queued;
}

std::string FormatAccessLine(const TAccessRecord& Record) {
    auto Quoted = [](std::string_view S) {
        if (S.empty()) return std::string("\"-\"");
        constexpr char Hex[] = "0123456789abcdef";
        std::string R = "\"";
        for (unsigned char C : S) {
            if (C < 0x20 || C >= 0x7f || C == '"' || C == '\\') {
                R += "\\x";
                R += Hex[C >> 4];
                R += Hex[C & 15];
            } else {
                R += static_cast<char>(C);
            }
        }
        return R + "\"";
    };
    std::tm Tm{};
    gmtime_r(&Record.Time, &Tm);
    char When[40];
    std::strftime(When, sizeof When, "[%d/%b/%Y:%H:%M:%S +0000]", &Tm);
    char Tail[64];
    std::snprintf(Tail, sizeof Tail, " %d %zu ", Record.Status, Record.Bytes);
    char Duration[32];
    std::snprintf(Duration, sizeof Duration, " %.3f", Record.Milliseconds);
    return (Record.RemoteAddress.empty() ? std::string("-") : Escaped(Record.RemoteAddress, true)) + " - - " + When +
           " " + Quoted(Record.RequestLine) + Tail + Quoted(Record.Referer) + " " + Quoted(Record.UserAgent) + Duration;
}

}  // namespace pv
