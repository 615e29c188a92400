#pragma once
// Entity tags for conditional GET: the HTTP adapter tags every 200 answer
// and answers 304 Not Modified when the client already holds that body.

#include <string>
#include <string_view>

namespace pv {

// A strong entity tag for a body: the 64-bit FNV-1a hash of its bytes as 16
// lower-case hex digits in double quotes, for example "\"cbf29ce484222325\""
// for an empty body. Equal bodies always get equal tags.
std::string StrongETag(std::string_view Body);

// True when an If-None-Match header value matches ETag: "*", or one of its
// comma-separated tags equals ETag under the weak comparison that
// If-None-Match uses (a "W/" prefix on either side is ignored).
bool IfNoneMatchMatches(std::string_view IfNoneMatch, std::string_view ETag);

}  // namespace pv
