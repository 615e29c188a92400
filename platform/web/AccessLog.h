#pragma once
// The web layer's log text: one escaper for every byte a client controls
// that goes into a log line or a message, and the access log's line.

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace pv {

// S with its control bytes (below 0x20, and 0x7f), every byte of Also and,
// with High, every byte from 0x80 up written as \xNN (lower-case hex), so that
// a client-chosen text cannot fake fields or lines of a log.
std::string EscapeBytes(std::string_view S, std::string_view Also = {}, bool High = false);

// What an access line reports about one request.
struct TAccessRecord {
    std::string RemoteAddress;
    std::time_t Time = 0;            // when the request head was complete
    std::string RequestLine;         // "GET /a?b HTTP/1.1", as sent
    int Status = 0;
    std::size_t Bytes = 0;           // body bytes sent
    std::string Referer;
    std::string UserAgent;
    double Milliseconds = 0;
};

// One Combined Log Format line with the duration in milliseconds appended:
//   127.0.0.1 - - [09/Dec/2026:12:00:00 +0000] "GET / HTTP/1.1" 200 512 "-" "curl/7.88" 0.412
// Times are UTC; quotes, backslashes and control bytes in the quoted fields
// are written as \xNN; an absent Referer or User-Agent is "-".
std::string FormatAccessLine(const TAccessRecord& Record);

}  // namespace pv
