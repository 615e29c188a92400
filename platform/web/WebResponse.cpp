#include "platform/web/WebResponse.h"

#include <utility>

#include "platform/rtl/Exception.h"
#include "platform/rtl/Stream.h"
#include "platform/web/AccessLog.h"

namespace pv {

namespace {

std::string Quoted(std::string_view S) { return "\"" + EscapeBytes(S) + "\""; }

}  // namespace

TWebResponse::TWebResponse() = default;

TWebResponse::TWebResponse(TTransport Transport)
    : FTransport(std::move(Transport)), FHasTransport(static_cast<bool>(FTransport)) {}

// The content stream is borrowed; it outlives or is released by its owner.
TWebResponse::~TWebResponse() = default;

void TWebResponse::SetContentStream(TStream* Stream) { FContentStream = Stream; }

void TWebResponse::SetContent(std::string Text) { FContent = std::move(Text); }

void TWebResponse::SetContentType(const std::string& Value) {
    if (!IsValidFieldValue(Value))
        throw EInvalidOperation("TWebResponse: ContentType " + Quoted(Value) + " contains a control character");
    FContentType = Value;
}

void TWebResponse::SetStatusCode(int Code) {
    if (Code < 200 || Code > 599)
        throw EInvalidOperation("TWebResponse: StatusCode " + std::to_string(Code) + " is outside 200..599");
    FStatusCode = Code;
}

void TWebResponse::SetCustomHeader(const std::string& Name, const std::string& Value) {
    if (!IsFieldName(Name)) throw EInvalidOperation("TWebResponse: custom header name " + Quoted(Name) + " is not an HTTP token");
    for (std::string_view Reserved : {"Content-Type", "Content-Length", "Transfer-Encoding", "Connection"})
        if (SameFieldName(Name, Reserved))
            throw EInvalidOperation("TWebResponse: custom header \"" + Name + "\" is set by the web layer, not as a custom header");
    if (!IsValidFieldValue(Value))
        throw EInvalidOperation("TWebResponse: custom header \"" + Name + "\" value " + Quoted(Value) +
                                " contains a control character");
    for (TWebField& F : FCustomHeaders)
        if (SameFieldName(F.Name, Name)) {
            F.Value = Value;
            return;
        }
    FCustomHeaders.push_back({Name, Value});
}

void TWebResponse::Defer(const TWebRequest& Request, TContinuation Rest) {
    if (FSent || FDeferred)
        throw EInvalidOperation(std::string("TWebResponse: Defer called on a response that was already ") +
                                (FSent ? "sent" : "deferred"));
    if (FDeferrer && FDeferrer(Rest)) {
        FDeferred = true;
        return;
    }
    Rest(Request, *this);
}

void TWebResponse::SendResponse() {
    if (FSent) throw EInvalidOperation("TWebResponse: SendResponse called on a response that was already sent");
    if (FDeferred)
        throw EInvalidOperation("TWebResponse: SendResponse called on a response whose answer was deferred");
    TWebMessage Message;
    Message.StatusCode = FStatusCode;
    Message.ContentType = FContentType;
    Message.CustomHeaders = FCustomHeaders;
    if (FContentStream) {
        // Copied now, so the owner may reuse the stream as soon as this returns.
        std::int64_t Left = FContentStream->GetSize() - FContentStream->GetPosition();
        if (Left > 0) {
            Message.Body.resize(static_cast<std::size_t>(Left));
            FContentStream->ReadBuffer(Message.Body.data(), Message.Body.size());
        }
    } else {
        Message.Body = FContent;
    }
    if (FHasTransport)
        FTransport(std::move(Message));
    else
        FSentMessage = std::move(Message);
    FSent = true;
}

void SendPlainText(TWebResponse& Response, int StatusCode, std::string_view Text) {
    Response.SetStatusCode(StatusCode);
    Response.SetContentStream(nullptr);
    Response.SetContentType("text/plain; charset=utf-8");
    Response.SetContent(std::string(Text));
    Response.SendResponse();
}

}  // namespace pv
