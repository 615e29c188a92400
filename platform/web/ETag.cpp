#include "platform/web/ETag.h"

#include <cstdint>

namespace pv {

namespace {

std::string_view TrimSpaces(std::string_view S) {
    while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
    while (!S.empty() && (S.back() == ' ' || S.back() == '\t')) S.remove_suffix(1);
    return S;
}

std::string_view WithoutWeakPrefix(std::string_view Tag) {
    if (Tag.size() >= 2 && Tag[0] == 'W' && Tag[1] == '/') Tag.remove_prefix(2);
    return Tag;
}

}  // namespace

std::string StrongETag(std::string_view Body) {
    std::uint64_t Hash = 0xcbf29ce484222325ull;  // FNV-1a 64-bit offset basis
    for (unsigned char C : Body) {
        Hash ^= C;
        Hash *= 0x100000001b3ull;  // FNV-1a 64-bit prime
    }
    constexpr char Hex[] = "0123456789abcdef";
    std::string Tag(18, '"');
    for (int I = 16; I >= 1; --I, Hash >>= 4) Tag[static_cast<std::size_t>(I)] = Hex[Hash & 15];
    return Tag;
}

bool IfNoneMatchMatches(std::string_view IfNoneMatch, std::string_view ETag) {
    std::string_view Wanted = WithoutWeakPrefix(ETag);
    // Entity tags are quoted and cannot contain a comma or a quote, so a
    // split at commas is exact.
    while (true) {
        std::size_t Comma = IfNoneMatch.find(',');
        std::string_view Tag = TrimSpaces(IfNoneMatch.substr(0, Comma));
        if (Tag == "*" || (!Tag.empty() && WithoutWeakPrefix(Tag) == Wanted)) return true;
        if (Comma == std::string_view::npos) return false;
        IfNoneMatch.remove_prefix(Comma + 1);
    }
}

}  // namespace pv
