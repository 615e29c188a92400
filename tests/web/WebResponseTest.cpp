#include "platform/web/WebResponse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/rtl/Exception.h"
#include "platform/rtl/Stream.h"
#include "tests/support/ThrowMessage.h"

namespace pv {
namespace {

using namespace std::string_literals;

// A memory stream that reports its destruction, to prove that responses
// only borrow their content stream.
class TTrackedStream : public TMemoryStream {
public:
    explicit TTrackedStream(bool& Destroyed) : FDestroyed(Destroyed) {}
    ~TTrackedStream() override { FDestroyed = true; }

private:
    bool& FDestroyed;
};

TEST(WebResponseTest, SendHandsOverStatusTypeHeadersAndTheStreamFromItsPosition) {
    TMemoryStream Stream;
    Stream.WriteString("old\0GIF89a\xff\x00tail"s);
    Stream.SetPosition(3);
    TWebResponse Response;
    Response.SetContentStream(&Stream);
    Response.SetContentType("image/gif");
    Response.SetCustomHeader("X-Chart", "Revenue");
    EXPECT_FALSE(Response.Sent());
    EXPECT_EQ(Response.GetSentMessage(), nullptr);

    Response.SendResponse();

    ASSERT_TRUE(Response.Sent());
    const TWebMessage* M = Response.GetSentMessage();
    ASSERT_NE(M, nullptr);
    EXPECT_EQ(M->StatusCode, 200);
    EXPECT_EQ(M->ContentType, "image/gif");
    EXPECT_EQ(M->Body, "\0GIF89a\xff\x00tail"s);
    ASSERT_EQ(M->CustomHeaders.size(), 1u);
    EXPECT_EQ(M->CustomHeaders[0].Name, "X-Chart");
    // Reading consumed the stream; its contents are untouched.
    EXPECT_EQ(Stream.GetPosition(), Stream.GetSize());
    EXPECT_EQ(Stream.ToString(), "old\0GIF89a\xff\x00tail"s);
}

TEST(WebResponseTest, BodyIsCopiedAtSendSoTheStreamCanBeReused) {
    TMemoryStream Stream;
    Stream.WriteString("first");
    Stream.SetPosition(0);
    TWebResponse Response;
    Response.SetContentStream(&Stream);
    Response.SendResponse();
    Stream.Clear();
    Stream.WriteString("second body");
    EXPECT_EQ(Response.GetSentMessage()->Body, "first");
}

TEST(WebResponseTest, ContentTextIsTheBodyOnlyWithoutAStream) {
    TWebResponse Text;
    Text.SetContent("plain");
    Text.SendResponse();
    EXPECT_EQ(Text.GetSentMessage()->Body, "plain");

    TMemoryStream Stream;
    Stream.WriteString("stream");
    Stream.SetPosition(0);
    TWebResponse Both;
    Both.SetContent("plain");
    Both.SetContentStream(&Stream);
    Both.SendResponse();
    EXPECT_EQ(Both.GetSentMessage()->Body, "stream");

    // A position at or beyond the end gives an empty body.
    Stream.SetPosition(100);
    TWebResponse Past;
    Past.SetContentStream(&Stream);
    Past.SendResponse();
    EXPECT_EQ(Past.GetSentMessage()->Body, "");
}

TEST(WebResponseTest, SendingTwiceRaises) {
    TWebResponse Response;
    Response.SendResponse();
    EXPECT_THROW_MSG(Response.SendResponse(), EInvalidOperation,
                     "TWebResponse: SendResponse called on a response that was already sent");
}

TEST(WebResponseTest, TransportGetsTheMessageAndAFailedTransportLeavesItUnsent) {
    std::vector<TWebMessage> Delivered;
    bool Fail = true;
    TWebResponse Response([&](TWebMessage&& M) {
        if (Fail) throw EStreamError("socket gone");
        Delivered.push_back(std::move(M));
    });
    Response.SetStatusCode(404);
    Response.SetContent("missing");
    EXPECT_THROW(Response.SendResponse(), EStreamError);
    EXPECT_FALSE(Response.Sent());

    Fail = false;
    Response.SendResponse();
    EXPECT_TRUE(Response.Sent());
    ASSERT_EQ(Delivered.size(), 1u);
    EXPECT_EQ(Delivered[0].StatusCode, 404);
    EXPECT_EQ(Delivered[0].Body, "missing");
    EXPECT_EQ(Response.GetSentMessage(), nullptr);  // the transport has it
}

TEST(WebResponseTest, NeverReleasesTheContentStream) {
    bool Destroyed = false;
    TTrackedStream Stream(Destroyed);
    Stream.WriteString("kept");
    {
        TWebResponse Sent;
        Stream.SetPosition(0);
        Sent.SetContentStream(&Stream);
        Sent.SendResponse();
        TWebResponse Unsent;
        Unsent.SetContentStream(&Stream);
    }
    EXPECT_FALSE(Destroyed);
    EXPECT_EQ(Stream.ToString(), "kept");
}

TEST(WebResponseTest, CustomHeadersReplaceByNameIgnoringCaseAndKeepTheirOrder) {
    TWebResponse Response;
    Response.SetCustomHeader("X-A", "1");
    Response.SetCustomHeader("X-B", "2");
    Response.SetCustomHeader("x-a", "3");
    ASSERT_EQ(Response.GetCustomHeaders().size(), 2u);
    EXPECT_EQ(Response.GetCustomHeaders()[0].Name, "X-A");
    EXPECT_EQ(Response.GetCustomHeaders()[0].Value, "3");
    EXPECT_EQ(Response.GetCustomHeaders()[1].Value, "2");
}

TEST(WebResponseTest, RefusesValuesThatWouldBreakTheHeader) {
    TWebResponse R;
    EXPECT_THROW_MSG(R.SetStatusCode(99), EInvalidOperation, "TWebResponse: StatusCode 99 is outside 200..599");
    EXPECT_THROW_MSG(R.SetStatusCode(600), EInvalidOperation, "TWebResponse: StatusCode 600 is outside 200..599");
    EXPECT_THROW_MSG(R.SetContentType("image/gif\r\nX-Evil: 1"), EInvalidOperation,
                     "TWebResponse: ContentType \"image/gif\\x0d\\x0aX-Evil: 1\" contains a control character");
    EXPECT_THROW_MSG(R.SetCustomHeader("Bad Name", "v"), EInvalidOperation,
                     "TWebResponse: custom header name \"Bad Name\" is not an HTTP token");
    EXPECT_THROW_MSG(R.SetCustomHeader("", "v"), EInvalidOperation,
                     "TWebResponse: custom header name \"\" is not an HTTP token");
    EXPECT_THROW_MSG(R.SetCustomHeader("X-A", "a\nSet-Cookie: s=1"), EInvalidOperation,
                     "TWebResponse: custom header \"X-A\" value \"a\\x0aSet-Cookie: s=1\" contains a control character");
    EXPECT_THROW_MSG(R.SetCustomHeader("content-length", "5"), EInvalidOperation,
                     "TWebResponse: custom header \"content-length\" is set by the web layer, not as a custom header");
    EXPECT_EQ(R.GetStatusCode(), 200);
    EXPECT_TRUE(R.GetCustomHeaders().empty());
    // Tabs and UTF-8 bytes are fine in values.
    R.SetCustomHeader("X-Title", "Umsatz\t\xc3\xa4");
    EXPECT_EQ(R.GetCustomHeaders().size(), 1u);
}

TEST(WebResponseTest, SendPlainTextReplacesTheStreamBody) {
    TMemoryStream Stream;
    Stream.WriteString("image bytes");
    Stream.SetPosition(0);
    TWebResponse R;
    R.SetContentStream(&Stream);
    SendPlainText(R, 404, "No chart at /x.gif\n");
    const TWebMessage* M = R.GetSentMessage();
    ASSERT_NE(M, nullptr);
    EXPECT_EQ(M->StatusCode, 404);
    EXPECT_EQ(M->ContentType, "text/plain; charset=utf-8");
    EXPECT_EQ(M->Body, "No chart at /x.gif\n");
}

// The hand-over operations are virtual so that a caller's test can record
// their order; this is the shape such a test takes.
class TOrderRecordingResponse : public TWebResponse {
public:
    std::vector<std::string> Calls;
    void SetContentStream(TStream* S) override { Calls.push_back("stream"); TWebResponse::SetContentStream(S); }
    void SetContentType(const std::string& V) override { Calls.push_back("type " + V); TWebResponse::SetContentType(V); }
    void SendResponse() override { Calls.push_back("send"); TWebResponse::SendResponse(); }
};

TEST(WebResponseTest, HandOverIsObservableThroughTheBaseClass) {
    TMemoryStream Stream;
    Stream.WriteString("x");
    Stream.SetPosition(0);
    TOrderRecordingResponse Recorder;
    TWebResponse& R = Recorder;
    R.SetContentStream(&Stream);
    R.SetContentType("image/jpeg");
    R.SendResponse();
    EXPECT_EQ(Recorder.Calls, (std::vector<std::string>{"stream", "type image/jpeg", "send"}));
    EXPECT_EQ(Recorder.GetSentMessage()->Body, "x");
}

}  // namespace
}  // namespace pv
