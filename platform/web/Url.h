#pragma once
// Request targets as they arrive on the wire: the path and the query string
// percent-decoded, with the faults that must never reach a handler (a NUL
// byte, a broken escape, too many query fields) reported instead.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/web/WebRequest.h"

namespace pv {

// A parsed request target ("/a%20b.gif?w=1&x").
struct TRequestTarget {
    // The decoded path, without the query string.
    std::string Path;
    // The decoded query fields in arrival order; "+" is a space; a field
    // without "=" has an empty value.
    TWebFields Query;
};

// Why a target was refused: the HTTP status and a one-line reason.
struct TTargetFault {
    int Status = 0;  // 0: no fault
    std::string Reason;
    explicit operator bool() const { return Status != 0; }
};

struct TTargetLimits {
    // Query fields at most; more give 414. Default 256.
    std::size_t MaxQueryFields = 256;
};

// Decodes Raw into Target. A target that does not start with "/", a "%"
// not followed by two hex digits, or a decoded NUL byte (in the path or the
// query) gives 400; more query fields than the limit give 414.
TTargetFault ParseRequestTarget(std::string_view Raw, TRequestTarget& Target, const TTargetLimits& Limits = {});

// Percent-encodes S: every byte but the unreserved ones (A-Z a-z 0-9 - . _ ~)
// and, with KeepSlash, "/" as %XX in upper-case hex.
std::string PercentEncode(std::string_view S, bool KeepSlash = false);

// Percent-decodes S; with PlusIsSpace "+" becomes " ". Returns false on a
// broken escape or a decoded NUL byte.
bool PercentDecode(std::string_view S, bool PlusIsSpace, std::string& Out);

}  // namespace pv
