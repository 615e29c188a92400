#pragma once
// TWebResponse: the answer a request handler fills in and sends.
//
// The body comes from a borrowed content stream: the response never owns or
// releases it. SendResponse copies the bytes from the stream's position to
// its end at that moment, so the stream may be refilled for the next request
// as soon as SendResponse returns.

#include <functional>
#include <string>
#include <string_view>

#include "platform/rtl/Object.h"
#include "platform/web/WebRequest.h"

namespace pv {

class TStream;

// Everything a response hands to its transport when it is sent.
struct TWebMessage {
    // The HTTP status code (200..599).
    int StatusCode = 200;
    // The Content-Type header value; empty: no Content-Type header.
    std::string ContentType;
    // Further headers, in the order they were first set.
    TWebFields CustomHeaders;
    // The body bytes.
    std::string Body;
};

class TWebResponse : public TObject {
public:
    // Delivers a sent message, for example by queueing it on an HTTP
    // connection. It may raise; the response then counts as not sent.
    using TTransport = std::function<void(TWebMessage&& Message)>;

    // A response without a transport: SendResponse keeps the message, which
    // GetSentMessage then returns. Meant for tests and offline rendering.
    TWebResponse();
    // A response that hands its message to Transport when it is sent.
    explicit TWebResponse(TTransport Transport);
    // Never releases the content stream.
    ~TWebResponse() override;

    std::string_view ClassName() const override { return "TWebResponse"; }

    // The borrowed stream the body is read from (nullptr: none). Virtual so
    // that a test can observe the order in which a caller hands things over.
    TStream* GetContentStream() const { return FContentStream; }
    virtual void SetContentStream(TStream* Stream);

    // The body used when no content stream is set; default empty.
    const std::string& GetContent() const { return FContent; }
    void SetContent(std::string Text);

    // The Content-Type value; default empty (no header). A value with a
    // control character raises EInvalidOperation.
    const std::string& GetContentType() const { return FContentType; }
    virtual void SetContentType(const std::string& Value);

    // The status code; default 200. A code outside 200..599 raises EInvalidOperation.
    int GetStatusCode() const { return FStatusCode; }
    void SetStatusCode(int Code);

    // Sets a further header, replacing an earlier value of the same name
    // (ASCII case ignored). The name must be an HTTP token and the value free
    // of control characters; Content-Type, Content-Length, Transfer-Encoding
    // and Connection belong to the response and the transport and are
    // refused. Violations raise EInvalidOperation.
    void SetCustomHeader(const std::string& Name, const std::string& Value);
    const TWebFields& GetCustomHeaders() const { return FCustomHeaders; }

    // Hands status, content type, headers and the body (the content stream
    // from its position to its end, which leaves the stream's position at
    // its end; without a stream, the Content text) to the transport. Once a
    // response is sent, another call raises EInvalidOperation; when reading
    // the stream or the transport raises, the response counts as not sent.
    virtual void SendResponse();
    // True once SendResponse has delivered the message.
    bool Sent() const { return FSent; }

    // The rest of an answer, to run on another thread (see Defer).
    using TContinuation = std::function<void(const TWebRequest& Request, TWebResponse& Response)>;
    // A transport's pool for slow answers: takes Rest (and returns true) to
    // run it later with its own copy of the request and a response of its
    // own; false leaves Rest with the caller.
    using TDeferrer = std::function<bool(TContinuation& Rest)>;
    // Set by a transport that has such a pool.
    void SetDeferrer(TDeferrer Deferrer) { FDeferrer = std::move(Deferrer); }
    // Hands the rest of a slow answer to the transport's pool, so that the
    // thread that called the handler goes on serving other requests: the
    // handler returns without sending, and Rest sends the answer later, on
    // the pool, with a response of the same transport. Without a pool Rest
    // runs here and now, with Request and this response. Raises
    // EInvalidOperation once the response is sent or deferred; after Defer
    // the response refuses SendResponse.
    void Defer(const TWebRequest& Request, TContinuation Rest);
    bool Deferred() const { return FDeferred; }

    // The message kept by a response created without a transport, once
    // sent; nullptr otherwise.
    const TWebMessage* GetSentMessage() const { return FHasTransport || !FSent ? nullptr : &FSentMessage; }

private:
    TTransport FTransport;
    bool FHasTransport = false;
    TStream* FContentStream = nullptr;
    std::string FContent;
    std::string FContentType;
    int FStatusCode = 200;
    TWebFields FCustomHeaders;
    bool FSent = false;
    bool FDeferred = false;
    TDeferrer FDeferrer;
    TWebMessage FSentMessage;
};

// Answers with a plain-text body: sets the status, the content type
// "text/plain; charset=utf-8" and the text (dropping any content stream),
// and sends. For error answers such as 404 from a handler's routing.
void SendPlainText(TWebResponse& Response, int StatusCode, std::string_view Text);

}  // namespace pv
