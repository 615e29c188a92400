// The libmicrohttpd side of THTTPServer: the callbacks the library calls on
// its workers, and the workaround for its double answer to an unreadable
// Content-Length.

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>

#include "platform/web/internal/Connection.h"
#include "platform/web/internal/HeadChecks.h"

namespace pv {

namespace {

// Set on a worker that has answered a request in the library's place
// (AnswerUnreadableLength): the library's next two messages there report the
// answer it queued itself and its failure to send it, and are not logged.
thread_local int tlsLibraryEchoes = 0;

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

MHD_Result THTTPServerCallbacks::Access(void* Cls, MHD_Connection* Connection, const char* Url, const char* Method,
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
void* THTTPServerCallbacks::UriLog(void* /*Cls*/, const char* Uri, MHD_Connection* Connection) {
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

void THTTPServerCallbacks::Completed(void* Cls, MHD_Connection* /*Connection*/, void** RequestContext,
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
    State->DropDeferred();
    State->Uploading = false;
    State->UploadTooLarge = false;
    State->Upload.clear();
    State->Upload.shrink_to_fit();
    Server->FDrained.notify_all();
}

void THTTPServerCallbacks::Connection(void* Cls, MHD_Connection* Connection, void** SocketContext,
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

void THTTPServerCallbacks::Logger(void* Cls, const char* Format, va_list Args) {
    auto* Server = static_cast<THTTPServer*>(Cls);
    char Buffer[512];
    int N = std::vsnprintf(Buffer, sizeof Buffer, Format, Args);
    if (N < 0) return;
    std::string_view Message(Buffer, std::min<std::size_t>(static_cast<std::size_t>(N), sizeof Buffer - 1));
    while (!Message.empty() && (Message.back() == '\n' || Message.back() == '\r')) Message.remove_suffix(1);
    try {
        if (const std::optional<int> Status = UnreadableLengthStatus(Message);
            Status && AnswersUnreadableLength()) {
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

bool THTTPServerCallbacks::AnswersUnreadableLength() {
    static const bool Known = [] {
        const char* Version = MHD_get_version();
        return Version && std::string_view(Version) == "0.9.75";
    }();
    return Known;
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
        Found->AnsweredForLibrary = true;
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
        Found->AnsweredForLibrary = false;
        return false;
    }
    (void)::send(Found->Socket, Answer.data(), Answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(Found->Socket, SHUT_RDWR);
    return true;
}


}  // namespace pv
