#pragma once
// TWebRequest: what the web layer tells a request handler about one HTTP
// request. The HTTP adapter builds it; tests can build one directly.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/rtl/Object.h"

namespace pv {

// One name/value pair of a query string or a header list.
struct TWebField {
    std::string Name;
    std::string Value;
};
// Fields in the order they arrived; a name may occur more than once.
using TWebFields = std::vector<TWebField>;

// True when two header names are equal ignoring ASCII letter case, which is
// how HTTP compares field names.
bool SameFieldName(std::string_view A, std::string_view B);
// True for a name made of RFC 9110 token characters, the only ones a header
// name may hold.
bool IsFieldName(std::string_view Name);
// True for a value of visible characters, spaces, tabs and UTF-8 bytes; CR,
// LF and other controls would let a value inject headers of its own.
bool IsValidFieldValue(std::string_view Value);

class TWebRequest : public TObject {
public:
    // Method: as sent ("GET", "HEAD"). Path: percent-decoded, without the
    // query string. QueryFields: decoded query parameters. Headers: request
    // headers as sent. RemoteAddress: the client's numeric IP address.
    TWebRequest(std::string Method, std::string Path, TWebFields QueryFields = {},
                TWebFields Headers = {}, std::string RemoteAddress = {});

    std::string_view ClassName() const override { return "TWebRequest"; }

    // The request method, compared exactly (HTTP methods are case-sensitive).
    const std::string& GetMethod() const { return FMethod; }
    // The decoded path, for example "/Sales Chart.gif" for "/Sales%20Chart.gif?w=1".
    const std::string& GetPath() const { return FPath; }

    // All query parameters in arrival order.
    const TWebFields& GetQueryFields() const { return FQueryFields; }
    // The value of the first query parameter with exactly this name, or
    // nothing. A parameter without "=" has an empty value.
    std::optional<std::string_view> FindQueryField(std::string_view Name) const;
    // As FindQueryField, but an absent parameter gives "".
    std::string_view GetQueryField(std::string_view Name) const;

    // All request headers in arrival order.
    const TWebFields& GetHeaders() const { return FHeaders; }
    // The value of the first header with this name, ASCII case ignored, or nothing.
    std::optional<std::string_view> FindHeader(std::string_view Name) const;
    // As FindHeader, but an absent header gives "".
    std::string_view GetHeader(std::string_view Name) const;

    // The client's address in numeric form ("127.0.0.1", "::1"); empty when unknown.
    const std::string& GetRemoteAddress() const { return FRemoteAddress; }

    // The request body (a POST's); empty when there is none.
    const std::string& GetContent() const { return FContent; }
    void SetContent(std::string Value) { FContent = std::move(Value); }

private:
    std::string FMethod;
    std::string FPath;
    TWebFields FQueryFields;
    TWebFields FHeaders;
    std::string FRemoteAddress;
    std::string FContent;
};

}  // namespace pv
