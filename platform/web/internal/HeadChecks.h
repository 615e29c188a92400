#pragma once
// The checks of a request head that the HTTP library does not make itself,
// shared by the server's dispatch and its library callbacks.

#include <microhttpd.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/web/AccessLog.h"
#include "platform/web/Url.h"
#include "platform/web/WebRequest.h"

namespace pv {

// Log lines are split at spaces and lines; a client-chosen path or an error
// message must not fake fields or lines, so such bytes (and backslashes, and
// with EscapeSpaces spaces) are written as \xNN.
inline std::string Escaped(std::string_view S, bool EscapeSpaces) {
    return EscapeBytes(S, EscapeSpaces ? "\\ " : "\\");
}

std::string_view TrimSpaces(std::string_view S);
std::optional<std::string_view> FindField(const TWebFields& Fields, std::string_view Name);

// A request announces a body by a non-zero Content-Length or by any
// Transfer-Encoding; without either, an HTTP/1.1 request has none.
bool AnnouncesBody(const TWebFields& Headers);

// Why the end of a request's body is ambiguous (see HeadChecks.cpp); no
// fault when it is not.
TTargetFault FramingFault(const TWebFields& Headers, std::string_view Version);

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

// A NUL or other control byte in the request line or a header (see
// HeadChecks.cpp); no fault when there is none.
TTargetFault RawHeadFault(const TRawHead& Head);

// Whether Content-Length announces more than Limit bytes, or no number.
bool DeclaredLengthAbove(const TWebFields& Headers, std::size_t Limit);

// Collectors for MHD_get_connection_values: into TWebFields, and into a
// TRawHead's Fields.
MHD_Result CollectField(void* Cls, MHD_ValueKind, const char* Key, const char* Value);
MHD_Result CollectRawField(void* Cls, MHD_ValueKind, const char* Key, const char* Value);

}  // namespace pv
