#pragma once
// What the server and its library callbacks share about one connection.

#include <microhttpd.h>

#include <chrono>
#include <cstdarg>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

#include "platform/web/HTTPServer.h"

namespace pv {

// The state of one open connection: what the head deadline watches, and the
// raw target of the request being read (the library hands it over before it
// decodes it, and only the raw form shows a %00).
struct THTTPServer::TConnectionState {
    // Out of line, where TDeferred is complete.
    TConnectionState();
    ~TConnectionState();
    TConnectionState(const TConnectionState&) = delete;
    TConnectionState& operator=(const TConnectionState&) = delete;
    int Socket = -1;
    // Set when the connection opens, on the worker that owns it for its
    // whole life; never changed afterwards.
    MHD_Connection* Connection = nullptr;
    std::thread::id Owner;
    // Guarded by the server's FConnLock.
    std::chrono::steady_clock::time_point WaitingSince;
    bool AwaitingHead = true;
    bool Cut = false;
    // The server answered a request here in the library's place (see
    // AnswerUnreadableLength); the library goes on with the connection until
    // it closes it, moments later.
    bool AnsweredForLibrary = false;
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
    // The request whose answer was deferred: set while its connection is
    // suspended; its pool thread fills in the answer and resumes it.
    std::unique_ptr<THTTPServer::TDeferred> Deferred;
    void DropDeferred();
};


// The C entry points libmicrohttpd calls (HTTPCallbacks.cpp); a friend so
// that they reach the server's private dispatch. Nothing may unwind into the
// C library.
struct THTTPServerCallbacks {
    static MHD_Result Access(void* Cls, MHD_Connection* Connection, const char* Url, const char* Method,
                             const char* Version, const char* UploadData, std::size_t* UploadDataSize,
                             void** RequestContext);
    static void* UriLog(void* Cls, const char* Uri, MHD_Connection* Connection);
    static void Completed(void* Cls, MHD_Connection* Connection, void** RequestContext,
                          MHD_RequestTerminationCode Code);
    static void Connection(void* Cls, MHD_Connection* Connection, void** SocketContext,
                           MHD_ConnectionNotificationCode Code);
    static void Logger(void* Cls, const char* Format, va_list Args);

    // Whether the server answers a Content-Length the library cannot read in
    // the library's place: only on the library versions whose double answer
    // is known and whose messages for it the workaround reads. On any other
    // the library's own answer stands, and its messages are logged as they
    // come.
    static bool AnswersUnreadableLength();
};

}  // namespace pv
