#pragma once
// The web layer's log text: one escaper for every byte a client controls
// that goes into a log line or a message, and the access log's line.

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/rtl/Exception.h"

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

// "2026-12-11T12:00:00Z 127.0.0.1 ": the start of a log line about a
// request, its time in ISO 8601 UTC and the client's address ("-" when
// unknown), escaped so that it stays one field.
std::string RequestLinePrefix(std::time_t When, std::string_view RemoteAddress);

// A log file that takes whole lines from several threads at once and can be
// opened again under its name (after logrotate moved it away). Each line is
// written and flushed under a lock, so a line goes whole into the old file
// or whole into the new one, never split and never lost.
class TLogFile {
public:
    // Opens Path for appending; "-" is standard output, which Reopen leaves
    // alone. Raises EStreamError with
    // "<Path>: <the system's reason>".
    explicit TLogFile(std::string Path);
    ~TLogFile();
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    // Writes Line and a line break, and flushes.
    void WriteLine(std::string_view Line);
    // Opens the file under its name again and writes on there from the next
    // line on; returns an empty text, or "<Path>: <the system's reason>"
    // when it could not be opened, in which case the lines keep going to
    // the file open until now.
    std::string Reopen();
    const std::string& Path() const { return FPath; }

private:
    struct TClose {
        void operator()(std::FILE* F) const;
    };
    std::string FPath;
    std::mutex FLock;
    std::unique_ptr<std::FILE, TClose> FFile;  // guarded by FLock; null for standard output
};

}  // namespace pv
