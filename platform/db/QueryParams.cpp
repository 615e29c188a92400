#include "platform/db/QueryParams.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/db/DBError.h"

namespace pv {

namespace {

std::string Number(double V) {
    char Text[40];
    std::snprintf(Text, sizeof Text, "%.15g", V);
    return Text;
}

bool ParseDouble(std::string_view S, double& V) {
    if (S.empty()) return false;
    auto [P, Ec] = std::from_chars(S.data(), S.data() + S.size(), V);
    return Ec == std::errc() && P == S.data() + S.size() && std::isfinite(V);
}

bool ParseInteger(std::string_view S, std::int64_t& V) {
    if (S.empty()) return false;
    auto [P, Ec] = std::from_chars(S.data(), S.data() + S.size(), V);
    return Ec == std::errc() && P == S.data() + S.size();
}

// The whole number a declared integer bound stands for: the text itself
// when it is one that 64 bits hold, else the nearest whole number on the
// range's side of the number (up for the lower bound, down for the upper),
// kept within 64 bits.
std::int64_t IntegerBound(std::string_view Text, double V, bool Lower) {
    std::int64_t I = 0;
    if (ParseInteger(Text, I)) return I;
    const double Whole = Lower ? std::ceil(V) : std::floor(V);
    // 2^63 is exact as a double; every double below it converts exactly.
    constexpr double Limit = 9223372036854775808.0;
    if (Whole >= Limit) return std::numeric_limits<std::int64_t>::max();
    if (Whole < -Limit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(Whole);
}

bool IsName(std::string_view S) {
    if (S.empty()) return false;
    for (char C : S)
        if (!((C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '_')) return false;
    return true;
}

}  // namespace

std::string TQueryParam::Allowed() const {
    switch (Kind) {
        case TKind::pkInteger: return "an integer in " + std::to_string(IntMin) + ".." + std::to_string(IntMax);
        case TKind::pkReal: return "a number in " + Number(Min) + ".." + Number(Max);
        case TKind::pkText: return "text of at most " + std::to_string(MaxLength) + " bytes";
        case TKind::pkPlain: break;
    }
    return "any text";
}

std::optional<TFieldValue> TQueryParam::Convert(std::string_view Text) const {
    switch (Kind) {
        case TKind::pkInteger: {
            std::int64_t V = 0;
            if (!ParseInteger(Text, V) || V < IntMin || V > IntMax) return std::nullopt;
            return TFieldValue(V);
        }
        case TKind::pkReal: {
            double V = 0;
            if (!ParseDouble(Text, V) || V < Min || V > Max) return std::nullopt;
            return TFieldValue(V);
        }
        case TKind::pkText:
            if (Text.size() > MaxLength) return std::nullopt;
            return TFieldValue(std::string(Text));
        case TKind::pkPlain: break;
    }
    return TFieldValue(std::string(Text));
}

std::optional<TQueryParam> ParseQueryParamLine(const std::string& Line, int LineNumber) {
    if (Line.empty()) return std::nullopt;
    auto Fail = [&](const std::string& Why) -> void {
        throw EDatabaseError("Params line " + std::to_string(LineNumber) + " '" + Line + "' " + Why);
    };
    const std::size_t Eq = Line.find('=');
    if (Eq == std::string::npos || Eq == 0) Fail("is not name=value");
    TQueryParam P;
    P.Value = Line.substr(Eq + 1);
    const std::string_view Head = std::string_view(Line).substr(0, Eq);
    const std::size_t Colon = Head.find(':');
    // A name with ":type(limits)" declares a request-settable parameter;
    // only a well-formed declaration counts, so old lines keep their meaning.
    if (Colon == std::string_view::npos || !IsName(Head.substr(0, Colon)) || Head.back() != ')') {
        P.Name = std::string(Head);
        return P;
    }
    P.Name = std::string(Head.substr(0, Colon));
    const std::string_view Decl = Head.substr(Colon + 1);
    const std::size_t Open = Decl.find('(');
    if (Open == std::string_view::npos) Fail("declares no limits: write type(limits)");
    const std::string_view Type = Decl.substr(0, Open);
    const std::string_view Limits = Decl.substr(Open + 1, Decl.size() - Open - 2);
    const std::size_t Dots = Limits.find("..");
    if (Type == "text") {
        std::int64_t N = 0;
        if (!ParseInteger(Limits, N) || N < 1 || N > 65536) Fail("needs text(N) with N in 1..65536");
        P.Kind = TQueryParam::TKind::pkText;
        P.MaxLength = static_cast<std::size_t>(N);
    } else if (Type == "integer" || Type == "real") {
        double Lo = 0, Hi = 0;
        if (Dots == std::string_view::npos || !ParseDouble(Limits.substr(0, Dots), Lo) ||
            !ParseDouble(Limits.substr(Dots + 2), Hi) || Lo > Hi)
            Fail("needs " + std::string(Type) + "(MIN..MAX) with MIN <= MAX");
        P.Kind = Type == "integer" ? TQueryParam::TKind::pkInteger : TQueryParam::TKind::pkReal;
        P.Min = Lo;
        P.Max = Hi;
        P.IntMin = IntegerBound(Limits.substr(0, Dots), Lo, true);
        P.IntMax = IntegerBound(Limits.substr(Dots + 2), Hi, false);
        if (P.Kind == TQueryParam::TKind::pkInteger && P.IntMin > P.IntMax)
            Fail("declares integer(" + std::string(Limits) + "), which holds no whole number");
    } else {
        Fail("has the type '" + std::string(Type) + "'; the types are text, integer and real");
    }
    if (!P.Convert(P.Value)) Fail("has the value '" + P.Value + "', which is not " + P.Allowed());
    return P;
}

void TRequestParams::ParamError(const std::string& Message) const {
    throw EDatabaseError(ParamOwner() + ": " + Message);
}

std::vector<TQueryParam> TRequestParams::GetParamList() const {
    std::vector<TQueryParam> List;
    const TStrings& Lines = ParamLines();
    for (int I = 0; I < Lines.GetCount(); ++I) {
        try {
            if (auto P = ParseQueryParamLine(Lines.Get(I), I + 1)) List.push_back(std::move(*P));
        } catch (const EDatabaseError& E) {
            ParamError(E.what());
        }
    }
    return List;
}

void TRequestParams::SetParamValue(const std::string& Name, const std::string& Value) {
    for (const TQueryParam& P : GetParamList()) {
        if (P.Name != Name) continue;
        if (!P.RequestSettable()) break;
        if (!P.Convert(Value))
            ParamError("parameter \"" + Name + "\" cannot be '" + Value + "': it must be " + P.Allowed());
        for (auto& [N, V] : FParamValues)
            if (N == Name) {
                V = Value;
                return;
            }
        FParamValues.emplace_back(Name, Value);
        return;
    }
    ParamError("parameter \"" + Name + "\" is not declared as one a request may set");
}

std::pair<const TQueryParam*, std::string_view> TRequestParams::ParamForRead(const std::vector<TQueryParam>& List,
                                                                             const std::string& Name,
                                                                             const std::string& Shown) const {
    for (const TQueryParam& Q : List) {
        if (Q.Name != Name) continue;
        std::string_view Text = Q.Value;
        for (auto& [N, V] : FParamValues)
            if (N == Name) Text = V;
        return {&Q, Text};
    }
    ParamError("parameter \"" + Shown + "\" has no value in Params");
}

}  // namespace pv
