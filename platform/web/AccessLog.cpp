#include "platform/web/AccessLog.h"

#include <cstdio>

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

}  // namespace pv
