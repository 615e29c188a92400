#include "platform/web/Url.h"

namespace pv {

namespace {

int HexValue(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
}

}  // namespace

std::string PercentEncode(std::string_view S, bool KeepSlash) {
    constexpr char Hex[] = "0123456789ABCDEF";
    std::string R;
    R.reserve(S.size());
    for (unsigned char C : S) {
        if ((C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '-' || C == '.' ||
            C == '_' || C == '~' || (KeepSlash && C == '/')) {
            R += static_cast<char>(C);
        } else {
            R += '%';
            R += Hex[C >> 4];
            R += Hex[C & 15];
        }
    }
    return R;
}

bool PercentDecode(std::string_view S, bool PlusIsSpace, std::string& Out) {
    Out.clear();
    Out.reserve(S.size());
    for (std::size_t I = 0; I < S.size(); ++I) {
        char C = S[I];
        if (C == '%') {
            if (I + 2 >= S.size()) return false;
            const int Hi = HexValue(S[I + 1]), Lo = HexValue(S[I + 2]);
            if (Hi < 0 || Lo < 0) return false;
            C = static_cast<char>(Hi * 16 + Lo);
            I += 2;
        } else if (C == '+' && PlusIsSpace) {
            C = ' ';
        }
        if (C == '\0') return false;
        Out += C;
    }
    return true;
}

TTargetFault ParseRequestTarget(std::string_view Raw, TRequestTarget& Target, const TTargetLimits& Limits) {
    Target = {};
    if (Raw.empty() || Raw.front() != '/') return {400, "the request target does not start with \"/\""};
    const std::size_t Mark = Raw.find('?');
    const std::string_view Path = Raw.substr(0, Mark);
    if (!PercentDecode(Path, false, Target.Path))
        return {400, "the path holds a broken %-escape or an encoded NUL byte"};
    if (Mark == std::string_view::npos) return {};
    std::string_view Query = Raw.substr(Mark + 1);
    while (!Query.empty()) {
        const std::size_t Amp = Query.find('&');
        const std::string_view Pair = Query.substr(0, Amp);
        Query = Amp == std::string_view::npos ? std::string_view() : Query.substr(Amp + 1);
        if (Pair.empty()) continue;
        if (Target.Query.size() == Limits.MaxQueryFields)
            return {414, "the query holds more than " + std::to_string(Limits.MaxQueryFields) + " fields"};
        const std::size_t Eq = Pair.find('=');
        TWebField F;
        if (!PercentDecode(Pair.substr(0, Eq), true, F.Name) ||
            (Eq != std::string_view::npos && !PercentDecode(Pair.substr(Eq + 1), true, F.Value)))
            return {400, "the query holds a broken %-escape or an encoded NUL byte"};
        Target.Query.push_back(std::move(F));
    }
    return {};
}

}  // namespace pv
