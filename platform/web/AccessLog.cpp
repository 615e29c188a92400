#include "platform/web/AccessLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace pv {

std::string EscapeBytes(std::string_view S, std::string_view Also, bool High) {
    constexpr char Hex[] = "0123456789abcdef";
    std::string R;
    R.reserve(S.size());
    for (unsigned char C : S) {
        if (C < 0x20 || C == 0x7f || (High && C >= 0x80) || Also.find(static_cast<char>(C)) != std::string_view::npos) {
            R += "\\x";
            R += Hex[C >> 4];
            R += Hex[C & 15];
        } else {
            R += static_cast<char>(C);
        }
    }
    return R;
}

std::string FormatAccessLine(const TAccessRecord& Record) {
    auto Quoted = [](std::string_view S) {
        return S.empty() ? std::string("\"-\"") : "\"" + EscapeBytes(S, "\"\\", true) + "\"";
    };
    std::tm Tm{};
    gmtime_r(&Record.Time, &Tm);
    char When[40];
    std::strftime(When, sizeof When, "[%d/%b/%Y:%H:%M:%S +0000]", &Tm);
    char Tail[64];
    std::snprintf(Tail, sizeof Tail, " %d %zu ", Record.Status, Record.Bytes);
    char Duration[32];
    std::snprintf(Duration, sizeof Duration, " %.3f", Record.Milliseconds);
    return (Record.RemoteAddress.empty() ? std::string("-") : EscapeBytes(Record.RemoteAddress, "\\ ")) + " - - " + When +
           " " + Quoted(Record.RequestLine) + Tail + Quoted(Record.Referer) + " " + Quoted(Record.UserAgent) + Duration;
}

std::string RequestLinePrefix(std::time_t When, std::string_view RemoteAddress) {
    std::tm Tm{};
    gmtime_r(&When, &Tm);
    char Time[32];
    std::strftime(Time, sizeof Time, "%Y-%m-%dT%H:%M:%SZ ", &Tm);
    return Time + (RemoteAddress.empty() ? std::string("-") : EscapeBytes(RemoteAddress, "\\ ", true)) + " ";
}

void TLogFile::TClose::operator()(std::FILE* F) const { std::fclose(F); }

TLogFile::TLogFile(std::string Path) : FPath(std::move(Path)) {
    if (FPath == "-") return;
    FFile.reset(std::fopen(FPath.c_str(), "a"));
    if (!FFile) throw EStreamError(FPath + ": " + std::strerror(errno));
}

TLogFile::~TLogFile() = default;

void TLogFile::WriteLine(std::string_view Line) {
    std::string Text(Line);
    Text += '\n';
    std::lock_guard<std::mutex> Lock(FLock);
    std::FILE* F = FFile ? FFile.get() : stdout;
    std::fwrite(Text.data(), 1, Text.size(), F);
    std::fflush(F);
}

std::string TLogFile::Reopen() {
    if (FPath == "-") return {};
    // Opened before the lock is taken, so that writers wait only for the
    // exchange; the old file is closed (every line in it flushed) after it.
    std::unique_ptr<std::FILE, TClose> Fresh(std::fopen(FPath.c_str(), "a"));
    if (!Fresh) return FPath + ": " + std::strerror(errno);
    std::unique_ptr<std::FILE, TClose> Old;
    {
        std::lock_guard<std::mutex> Lock(FLock);
        Old = std::exchange(FFile, std::move(Fresh));
    }
    return {};
}

}  // namespace pv
