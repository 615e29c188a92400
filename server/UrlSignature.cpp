#include "server/UrlSignature.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/web/Url.h"

namespace plotvane {

namespace {

// The query fields but sig, each as name=value in canonical spelling, sorted.
std::string CanonicalQuery(const pv::TWebFields& Query) {
    std::vector<std::string> Pairs;
    for (const pv::TWebField& F : Query)
        if (F.Name != "sig") Pairs.push_back(pv::PercentEncode(F.Name, false) + "=" + pv::PercentEncode(F.Value, false));
    std::sort(Pairs.begin(), Pairs.end());
    std::string R;
    for (const std::string& P : Pairs) {
        if (!R.empty()) R += '&';
        R += P;
    }
    return R;
}

}  // namespace

std::string ReadSignKey(const std::string& File) {
    std::ifstream In(File, std::ios::binary);
    if (!In) throw ESignKeyError("Signing key " + File + " cannot be read: " + std::strerror(errno));
    std::string Key((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    if (In.bad()) throw ESignKeyError("Signing key " + File + " cannot be read");
    if (Key.ends_with("\r\n"))
        Key.resize(Key.size() - 2);
    else if (Key.ends_with('\n'))
        Key.pop_back();
    if (Key.size() < MinSignKeyBytes)
        throw ESignKeyError("Signing key " + File + " holds " + std::to_string(Key.size()) +
                            " bytes; a key needs at least " + std::to_string(MinSignKeyBytes) +
                            " (make one with: openssl rand -hex 32 > " + File + ")");
    return Key;
}

std::string CanonicalUrl(std::string_view Path, const pv::TWebFields& Query) {
    return pv::PercentEncode(Path, true) + "?" + CanonicalQuery(Query);
}

std::string UrlSignature(std::string_view Key, std::string_view Path, const pv::TWebFields& Query) {
    const std::string Text = CanonicalUrl(Path, Query);
    unsigned char Mac[EVP_MAX_MD_SIZE];
    unsigned int Length = 0;
    if (!HMAC(EVP_sha256(), Key.data(), static_cast<int>(Key.size()), reinterpret_cast<const unsigned char*>(Text.data()),
              Text.size(), Mac, &Length))
        throw pv::Exception("HMAC-SHA256 of a URL failed");
    constexpr char Hex[] = "0123456789abcdef";
    std::string R;
    for (unsigned int I = 0; I < Length; ++I) {
        R += Hex[Mac[I] >> 4];
        R += Hex[Mac[I] & 15];
    }
    return R;
}

TSignatureVerdict CheckUrlSignature(std::string_view Key, std::string_view Path, const pv::TWebFields& Query,
                                    std::time_t Now) {
    const pv::TWebField* Sig = nullptr;
    const pv::TWebField* Exp = nullptr;
    for (const pv::TWebField& F : Query) {
        if (F.Name == "sig") {
            if (Sig) return TSignatureVerdict::svWrong;
            Sig = &F;
        } else if (F.Name == "exp") {
            if (Exp) return TSignatureVerdict::svBadExpiry;
            Exp = &F;
        }
    }
    if (!Sig) return TSignatureVerdict::svMissing;
    std::string Given = Sig->Value;
    for (char& C : Given)
        if (C >= 'A' && C <= 'F') C = static_cast<char>(C - 'A' + 'a');
    const std::string Expected = UrlSignature(Key, Path, Query);
    if (Given.size() != Expected.size() || CRYPTO_memcmp(Given.data(), Expected.data(), Expected.size()) != 0)
        return TSignatureVerdict::svWrong;
    // Only a signed exp counts, so a stranger cannot make a URL last longer.
    if (Exp) {
        std::int64_t Until = 0;
        auto [P, Ec] = std::from_chars(Exp->Value.data(), Exp->Value.data() + Exp->Value.size(), Until);
        if (Ec != std::errc() || P != Exp->Value.data() + Exp->Value.size()) return TSignatureVerdict::svBadExpiry;
        if (static_cast<std::int64_t>(Now) > Until) return TSignatureVerdict::svExpired;
    }
    return TSignatureVerdict::svValid;
}

std::string SignUrl(std::string_view Key, std::string_view Url, std::optional<std::int64_t> Expires) {
    // The scheme and host, if any, are kept as they are.
    std::string_view Origin;
    if (const std::size_t Scheme = Url.find("://"); Scheme != std::string_view::npos) {
        const std::size_t Slash = Url.find('/', Scheme + 3);
        Origin = Url.substr(0, Slash == std::string_view::npos ? Url.size() : Slash);
        Url.remove_prefix(Origin.size());
        if (Url.empty()) Url = "/";
    }
    if (const std::size_t Hash = Url.find('#'); Hash != std::string_view::npos) Url = Url.substr(0, Hash);
    pv::TRequestTarget Target;
    if (pv::TTargetFault Fault = pv::ParseRequestTarget(Url, Target, {.MaxQueryFields = 4096}))
        throw ESignKeyError("Cannot sign the URL " + std::string(Url) + ": " + Fault.Reason);
    pv::TWebFields Query;
    for (pv::TWebField& F : Target.Query)
        if (F.Name != "sig" && !(Expires && F.Name == "exp")) Query.push_back(std::move(F));
    if (Expires) Query.push_back({"exp", std::to_string(*Expires)});
    const std::string Canonical = CanonicalQuery(Query);
    return std::string(Origin) + pv::PercentEncode(Target.Path, true) + "?" + Canonical + (Canonical.empty() ? "" : "&") +
           "sig=" + UrlSignature(Key, Target.Path, Query);
}

}  // namespace plotvane
