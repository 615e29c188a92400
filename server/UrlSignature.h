#pragma once
// Signed chart URLs: a server given a secret key answers only URLs that
// carry sig=, an HMAC-SHA256 of the URL made with the same key, so that a
// page can embed charts whose parameters nobody else can change.
//
// The signature covers the path and every query field but sig itself, in
// one canonical spelling that a web application reproduces in a few lines:
//
//   <path>?<name>=<value>&...
//
// the path percent-encoded but for "/", each name and value percent-encoded
// (every byte but A-Z a-z 0-9 - . _ ~ as %XX, upper-case hex), the
// name=value pairs sorted by their bytes and joined with "&". sig= is that
// text's HMAC-SHA256 in lower-case hex. An optional exp= field (Unix time in
// seconds) is covered like any other and ends the URL's validity.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "platform/rtl/Exception.h"
#include "platform/web/WebRequest.h"

namespace plotvane {

// A signing key that cannot be used: a file that cannot be read, or one too short.
class ESignKeyError : public pv::Exception { using pv::Exception::Exception; };

// The fewest bytes a signing key has.
inline constexpr std::size_t MinSignKeyBytes = 32;

// Reads a signing key: the file's bytes with one line break at the end left
// out (so that `openssl rand -hex 32 > FILE` makes a key). Raises
// ESignKeyError naming the file when it cannot be read or holds fewer than
// MinSignKeyBytes bytes.
std::string ReadSignKey(const std::string& File);

// The text a signature covers, for a decoded path and decoded query fields
// (a field named "sig" is left out).
std::string CanonicalUrl(std::string_view Path, const pv::TWebFields& Query);

// The signature of the canonical text, as 64 lower-case hex digits.
std::string UrlSignature(std::string_view Key, std::string_view Path, const pv::TWebFields& Query);

enum class TSignatureVerdict : std::uint8_t {
    svValid,
    svMissing,   // no sig field
    svWrong,     // sig does not match (or is given twice)
    svExpired,   // exp lies in the past
    svBadExpiry  // exp is no whole number of seconds (or is given twice)
};

// Checks the sig and exp fields of a request; the comparison takes the same
// time wherever the given signature differs.
TSignatureVerdict CheckUrlSignature(std::string_view Key, std::string_view Path, const pv::TWebFields& Query,
                                    std::time_t Now);

// Signs a URL as a client would send it (with or without scheme and host):
// its query fields are decoded, any sig dropped, exp=Expires added when
// given (replacing an exp of the URL), and the URL written again with the
// fields in canonical spelling and order and sig= last. Raises
// ESignKeyError for a URL whose path does not start with "/" or that holds
// a broken %-escape.
std::string SignUrl(std::string_view Key, std::string_view Url, std::optional<std::int64_t> Expires = std::nullopt);

}  // namespace plotvane
