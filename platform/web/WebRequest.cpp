#include "platform/web/WebRequest.h"

#include <utility>

namespace pv {

namespace {

char AsciiLower(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C; }

}  // namespace

bool SameFieldName(std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    for (std::size_t I = 0; I < A.size(); ++I)
        if (AsciiLower(A[I]) != AsciiLower(B[I])) return false;
    return true;
}

bool IsFieldName(std::string_view Name) {
    constexpr std::string_view Extra = "!#$%&'*+-.^_`|~";
    for (unsigned char C : Name) {
        const bool Token = (C >= '0' && C <= '9') || ((C | 0x20) >= 'a' && (C | 0x20) <= 'z') ||
                           Extra.find(static_cast<char>(C)) != std::string_view::npos;
        if (!Token) return false;
    }
    return !Name.empty();
}

bool IsValidFieldValue(std::string_view Value) {
    for (unsigned char C : Value)
        if ((C < 0x20 && C != '\t') || C == 0x7f) return false;
    return true;
}

TWebRequest::TWebRequest(std::string Method, std::string Path, TWebFields QueryFields,
                         TWebFields Headers, std::string RemoteAddress)
    : FMethod(std::move(Method)),
      FPath(std::move(Path)),
      FQueryFields(std::move(QueryFields)),
      FHeaders(std::move(Headers)),
      FRemoteAddress(std::move(RemoteAddress)) {}

std::optional<std::string_view> TWebRequest::FindQueryField(std::string_view Name) const {
    for (const TWebField& F : FQueryFields)
        if (F.Name == Name) return std::string_view(F.Value);
    return std::nullopt;
}

std::string_view TWebRequest::GetQueryField(std::string_view Name) const {
    return FindQueryField(Name).value_or(std::string_view());
}

std::optional<std::string_view> TWebRequest::FindHeader(std::string_view Name) const {
    for (const TWebField& F : FHeaders)
        if (SameFieldName(F.Name, Name)) return std::string_view(F.Value);
    return std::nullopt;
}

std::string_view TWebRequest::GetHeader(std::string_view Name) const {
    return FindHeader(Name).value_or(std::string_view());
}

}  // namespace pv
