#include "platform/web/internal/HeadChecks.h"

#include <cstdint>
#include <cstring>

namespace pv {

std::string_view TrimSpaces(std::string_view S) {
    while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
    while (!S.empty() && (S.back() == ' ' || S.back() == '\t')) S.remove_suffix(1);
    return S;
}

std::optional<std::string_view> FindField(const TWebFields& Fields, std::string_view Name) {
    for (const TWebField& F : Fields)
        if (SameFieldName(F.Name, Name)) return std::string_view(F.Value);
    return std::nullopt;
}

bool AnnouncesBody(const TWebFields& Headers) {
    if (FindField(Headers, "Transfer-Encoding")) return true;
    std::optional<std::string_view> Length = FindField(Headers, "Content-Length");
    if (!Length) return false;
    std::string_view L = TrimSpaces(*Length);
    return L.find_first_not_of('0') != std::string_view::npos || L.empty();
}

// What makes the end of a request's body ambiguous, which a proxy in front
// of the server may read differently (so that bytes one of them takes as body
// the other takes as the next request), with the status of its refusal
// (RFC 9112, 5.1, 6.1 and 6.3): Content-Length fields that disagree,
// Content-Length beside Transfer-Encoding, Transfer-Encoding given twice or
// in an HTTP/1.0 request, or whitespace between a field's name and its colon
// (400); a transfer coding other than chunked, the one the server reads
// (501). No fault when there is none.
TTargetFault FramingFault(const TWebFields& Headers, std::string_view Version) {
    std::optional<std::string_view> Length, Transfer;
    for (const TWebField& F : Headers) {
        if (F.Name.find_first_of(" \t") != std::string::npos)
            return {400, "the header field name \"" + Escaped(F.Name, false) + "\" contains whitespace"};
        const std::string_view Value = TrimSpaces(F.Value);
        if (SameFieldName(F.Name, "Transfer-Encoding")) {
            if (Transfer) return {400, "Transfer-Encoding is given twice"};
            Transfer = Value;
        } else if (SameFieldName(F.Name, "Content-Length")) {
            if (Length && *Length != Value)
                return {400, "Content-Length is given twice, as \"" + Escaped(*Length, false) + "\" and \"" +
                                 Escaped(Value, false) + "\""};
            Length = Value;
        }
    }
    if (!Transfer) return {};
    if (Length) return {400, "Content-Length and Transfer-Encoding are both given"};
    if (Version == "HTTP/1.0") return {400, "Transfer-Encoding is given in an HTTP/1.0 request"};
    // Transfer codings compare without case, as field names do.
    if (!SameFieldName(*Transfer, "chunked"))
        return {501, "the transfer coding \"" + Escaped(*Transfer, false) + "\" is not supported; only chunked is"};
    return {};
}

namespace {

bool HasControlByte(std::string_view S, bool TabAllowed) {
    for (unsigned char C : S)
        if ((C < 0x20 && !(TabAllowed && C == '\t')) || C == 0x7f) return true;
    return false;
}

}  // namespace

// A NUL or other control byte in the request line or a header, which the
// library does not refuse: it ends each piece at the first NUL, so that
// "GET /a.gif?x=1\0junk" would reach the handler as "/a.gif?x=1". The pieces
// lie in the read buffer one after the other, parted only by the separators
// the library overwrote with NULs (one space in the request line, a colon and
// blanks before a value, CR LF or LF after a line), so a piece that ends
// before the next one's separator was cut short by a NUL. A folded header
// line, which the library copies elsewhere, fails the same test and is
// refused as well, as RFC 9112 allows. No fault when there is none.
TTargetFault RawHeadFault(const TRawHead& Head) {
    const TTargetFault Fault{400, "the request line or a header holds a NUL or other control byte"};
    if (!Head.Method || !Head.Url || !Head.Version || Head.HeadSize == 0) return {};
    auto At = [](const char* P) { return reinterpret_cast<std::uintptr_t>(P); };
    const std::uintptr_t HeadStart = At(Head.Method), HeadEnd = HeadStart + Head.HeadSize;
    auto Inside = [&](const char* P) { return At(P) >= HeadStart && At(P) < HeadEnd; };
    auto EndOf = [&](const char* P) { return At(P) + std::strlen(P); };
    if (!Inside(Head.Url) || !Inside(Head.Version)) return Fault;
    if (HasControlByte(Head.Method, false) || EndOf(Head.Method) + 1 != At(Head.Url)) return Fault;
    if (HasControlByte(Head.Target, false) || std::strlen(Head.Url) > Head.Target.size() ||
        At(Head.Url) + Head.Target.size() + 1 != At(Head.Version))
        return Fault;
    if (HasControlByte(Head.Version, false)) return Fault;
    std::uintptr_t LineEnd = EndOf(Head.Version);
    for (const auto& [Name, Value] : Head.Fields) {
        if (!Name || !Value || !Inside(Name) || !Inside(Value)) return Fault;
        if (At(Name) != LineEnd + 1 && At(Name) != LineEnd + 2) return Fault;
        if (HasControlByte(Name, false) || HasControlByte(Value, true) || EndOf(Name) >= At(Value)) return Fault;
        // The value starts after the colon and the blanks that follow it.
        for (std::uintptr_t P = EndOf(Name) + 1; P < At(Value); ++P) {
            const char C = *reinterpret_cast<const char*>(P);
            if (C != ' ' && C != '\t') return Fault;
        }
        LineEnd = EndOf(Value);
    }
    // The last line's end and the empty line: two to four bytes.
    if (HeadEnd < LineEnd + 2 || HeadEnd > LineEnd + 4) return Fault;
    return {};
}

MHD_Result CollectRawField(void* Cls, MHD_ValueKind, const char* Key, const char* Value) {
    static_cast<TRawHead*>(Cls)->Fields.emplace_back(Key, Value);
    return MHD_YES;
}

bool DeclaredLengthAbove(const TWebFields& Headers, std::size_t Limit) {
    std::optional<std::string_view> Length = FindField(Headers, "Content-Length");
    if (!Length) return false;
    std::string_view L = TrimSpaces(*Length);
    if (L.empty() || L.size() > 18 || L.find_first_not_of("0123456789") != std::string_view::npos) return true;
    return std::stoull(std::string(L)) > Limit;
}


MHD_Result CollectField(void* Cls, MHD_ValueKind, const char* Key, const char* Value) {
    static_cast<TWebFields*>(Cls)->push_back({Key ? Key : "", Value ? Value : ""});
    return MHD_YES;
}


}  // namespace pv
