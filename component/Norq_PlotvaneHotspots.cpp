// The hint and link templates of TNorq_DBPlotvane, the areas of its points
// filled from them, and the three ways of writing the areas for web pages.

#include "component/Norq_PlotvaneHotspots.h"

#include "contracts/WebResponse.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Norq_Plotvane {

namespace {

// One piece of a template: literal text, or a field.
struct TPiece {
    enum class TKind : std::uint8_t { Text, Label, Value, Series, Index, Field, Param };
    TKind Kind = TKind::Text;
    std::string Text;  // the literal text, or the field's or parameter's name
};

std::vector<TPiece> ParseTemplate(const std::string& T, const char* Property) {
    std::vector<TPiece> Out;
    std::string Text;
    auto Fail = [&](const std::string& Why) -> void {
        throw pv::EConvertError(std::string(Property) + " '" + T + "': " + Why);
    };
    for (std::size_t I = 0; I < T.size(); ++I) {
        const char C = T[I];
        if (C == '}') {
            if (I + 1 < T.size() && T[I + 1] == '}') {
                Text += '}';
                ++I;
                continue;
            }
            Fail("'}' at " + std::to_string(I + 1) + " closes no field (write '}}' for a brace)");
        }
        if (C != '{') {
            Text += C;
            continue;
        }
        if (I + 1 < T.size() && T[I + 1] == '{') {
            Text += '{';
            ++I;
            continue;
        }
        const std::size_t End = T.find('}', I);
        if (End == std::string::npos) Fail("the field at " + std::to_string(I + 1) + " has no closing '}'");
        const std::string Name = T.substr(I + 1, End - I - 1);
        TPiece P;
        auto Named = [&](std::string_view Prefix, TPiece::TKind Kind) {
            if (Name.compare(0, Prefix.size(), Prefix) != 0) return false;
            P.Kind = Kind;
            P.Text = Name.substr(Prefix.size());
            if (P.Text.empty()) Fail("field {" + Name + "} names nothing after the colon");
            return true;
        };
        if (Name == "label")
            P.Kind = TPiece::TKind::Label;
        else if (Name == "value")
            P.Kind = TPiece::TKind::Value;
        else if (Name == "series")
            P.Kind = TPiece::TKind::Series;
        else if (Name == "index")
            P.Kind = TPiece::TKind::Index;
        else if (!Named("field:", TPiece::TKind::Field) && !Named("param:", TPiece::TKind::Param))
            Fail("unknown field {" + Name + "}: the fields are {label}, {value}, {series}, {index}, {field:NAME} and "
                 "{param:NAME}");
        if (!Text.empty()) Out.push_back({TPiece::TKind::Text, std::move(Text)});
        Text.clear();
        Out.push_back(std::move(P));
        I = End;
    }
    if (!Text.empty()) Out.push_back({TPiece::TKind::Text, std::move(Text)});
    return Out;
}

// A relative URL (no scheme) or an http(s) one, without control
// characters, spaces or backslashes that a browser would strip or read as
// slashes before it looks for the scheme.
bool SafeLink(const std::string& U) {
    if (U.empty()) return false;
    for (unsigned char C : U)
        if (C <= 0x20 || C == 0x7F || C == '\\') return false;
    const std::size_t End = U.find_first_of(":/?#");
    if (End == std::string::npos || U[End] != ':') return true;
    std::string Scheme = U.substr(0, End);
    for (char& C : Scheme) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    return Scheme == "http" || Scheme == "https";
}

void AppendNumber(std::string& Out, double V) {
    char B[32];
    std::snprintf(B, sizeof B, "%.6g", V);
    Out += B;
}

std::string JsonString(const std::string& S) {
    std::string Out = "\"";
    for (unsigned char C : S) {
        switch (C) {
            case '"': Out += "\\\""; break;
            case '\\': Out += "\\\\"; break;
            case '\n': Out += "\\n"; break;
            case '\r': Out += "\\r"; break;
            case '\t': Out += "\\t"; break;
            default:
                // Also < > & as escapes, so the JSON can sit in a page's script.
                if (C < 0x20 || C == '<' || C == '>' || C == '&') {
                    char B[8];
                    std::snprintf(B, sizeof B, "\\u%04x", C);
                    Out += B;
                } else {
                    Out += static_cast<char>(C);
                }
        }
    }
    return Out + "\"";
}

}  // namespace

std::string EscapeMarkup(const std::string& S) {
    std::string Out;
    Out.reserve(S.size() + 8);
    for (char C : S) switch (C) {
            case '&': Out += "&amp;"; break;
            case '<': Out += "&lt;"; break;
            case '>': Out += "&gt;"; break;
            case '"': Out += "&quot;"; break;
            case '\'': Out += "&#39;"; break;
            default: Out += C;
        }
    return Out;
}

namespace {

std::vector<std::string> FieldsOf(const std::string& T) {
    std::vector<std::string> Out;
    for (const TPiece& P : ParseTemplate(T, ""))
        if (P.Kind == TPiece::TKind::Field && std::find(Out.begin(), Out.end(), P.Text) == Out.end())
            Out.push_back(P.Text);
    return Out;
}

}  // namespace

void TNorq_DBPlotvane::KeepTemplateFields() {
    std::vector<std::string> Names = FieldsOf(FHintTemplate);
    for (const std::string& N : FieldsOf(FLinkTemplate))
        if (std::find(Names.begin(), Names.end(), N) == Names.end()) Names.push_back(N);
    InternalChart->SetKeptFields(Names, "the hint or link template of '" + GetName() + "'");
}

void TNorq_DBPlotvane::SetHintTemplate(const std::string& Value) {
    if (Value == FHintTemplate) return;
    ParseTemplate(Value, "HintTemplate");
    FHintTemplate = Value;
    KeepTemplateFields();
}

void TNorq_DBPlotvane::SetLinkTemplate(const std::string& Value) {
    if (Value == FLinkTemplate) return;
    ParseTemplate(Value, "LinkTemplate");
    FLinkTemplate = Value;
    KeepTemplateFields();
}

std::vector<THotspotArea> TNorq_DBPlotvane::GetHotspots(std::vector<std::string>* Warnings) {
    std::vector<THotspotArea> Out;
    if (LoadGateClosed()) return Out;
    std::vector<pv::TChartHotspot> Spots;
    DrawThemed([&] {
        Spots = InternalChart->Hotspots(pv::Rect(0, 0, InternalChart->GetWidth(), InternalChart->GetHeight()), FScale);
    });
    const std::vector<TPiece> Hint = ParseTemplate(FHintTemplate, "HintTemplate");
    const std::vector<TPiece> Link = ParseTemplate(FLinkTemplate, "LinkTemplate");
    // The query's parameters: the form's values, then the request's.
    std::vector<std::pair<std::string, std::string>> Params;
    if (FDataSource)
        if (auto* Q = dynamic_cast<pv::TRequestParams*>(FDataSource->GetDataSet())) {
            try {
                for (const pv::TQueryParam& P : Q->GetParamList()) Params.emplace_back(P.Name, P.Value);
            } catch (const pv::Exception&) {
                // A malformed Params line fails the query's read, which says so.
            }
            for (const auto& [N, V] : Q->GetParamValues())
                for (auto& P : Params)
                    if (P.first == N) P.second = V;
        }
    // Several series drawn (not merely placed: an empty first series draws
    // no area) put the series' title before each default hint.
    const bool Several = std::any_of(Spots.begin(), Spots.end(), [&](const pv::TChartHotspot& S) {
        return S.Series != Spots.front().Series;
    });
    std::string Dropped;
    Out.reserve(Spots.size());
    for (pv::TChartHotspot& S : Spots) {
        auto Expand = [&](const std::vector<TPiece>& T, bool Url) {
            std::string R;
            for (const TPiece& P : T) {
                std::string V;
                switch (P.Kind) {
                    case TPiece::TKind::Text: R += P.Text; continue;
                    case TPiece::TKind::Label: V = S.Label; break;
                    case TPiece::TKind::Value: V = S.Formatted; break;
                    case TPiece::TKind::Series: V = S.SeriesTitle; break;
                    case TPiece::TKind::Index: V = std::to_string(S.Index); break;
                    case TPiece::TKind::Field:
                        if (const std::string* F = S.Points->PointField(S.Index, P.Text)) V = *F;
                        break;
                    case TPiece::TKind::Param:
                        for (const auto& [N, PV] : Params)
                            if (N == P.Text) V = PV;
                        break;
                }
                R += Url ? pv::PercentEncode(V) : V;
            }
            return R;
        };
        THotspotArea A;
        if (Hint.empty())
            A.Hint = (Several ? S.SeriesTitle + ", " : std::string()) + S.Label + ": " + S.Formatted;
        else
            A.Hint = Expand(Hint, false);
        if (!Link.empty()) {
            A.Url = Expand(Link, true);
            if (!SafeLink(A.Url)) {
                if (Dropped.empty()) Dropped = A.Url;
                A.Url.clear();
            }
        }
        A.Spot = std::move(S);
        Out.push_back(std::move(A));
    }
    if (!Dropped.empty() && Warnings)
        Warnings->push_back("chart '" + GetName() + "': LinkTemplate gives '" + Dropped +
                            "', neither a relative nor an http(s) URL; such links are left out");
    return Out;
}

namespace {

void AppendCoords(std::string& Out, const pv::TChartHotspot& S) {
    for (std::size_t I = 0; I < S.Coords.size(); ++I) {
        if (I) Out += ',';
        Out += std::to_string(std::lround(S.Coords[I]));
    }
}

}  // namespace

std::string HotspotMapHtml(const std::string& MapName, const std::vector<THotspotArea>& Areas) {
    const std::string Name = EscapeMarkup(MapName);
    std::string Out = "<map name=\"" + Name + "\" id=\"" + Name + "\">\n";
    Out.reserve(Areas.size() * 96 + 64);
    for (auto It = Areas.rbegin(); It != Areas.rend(); ++It) {
        const std::string Hint = EscapeMarkup(It->Hint);
        Out += "<area shape=\"";
        Out += pv::HotspotShapeName(It->Spot.Shape);
        Out += "\" coords=\"";
        AppendCoords(Out, It->Spot);
        Out += "\" title=\"" + Hint + "\" alt=\"" + Hint + "\"";
        if (!It->Url.empty()) Out += " href=\"" + EscapeMarkup(It->Url) + "\"";
        Out += ">\n";
    }
    return Out + "</map>\n";
}

std::string HotspotJson(const std::vector<THotspotArea>& Areas) {
    std::string Out = "[";
    for (std::size_t I = 0; I < Areas.size(); ++I) {
        const THotspotArea& A = Areas[I];
        const pv::TChartHotspot& S = A.Spot;
        Out += I ? ",\n{" : "\n{";
        Out += "\"shape\":\"" + std::string(pv::HotspotShapeName(S.Shape)) + "\",\"coords\":[";
        AppendCoords(Out, S);
        Out += "],\"series\":" + std::to_string(S.Series) + ",\"seriesTitle\":" + JsonString(S.SeriesTitle) +
               ",\"index\":" + std::to_string(S.Index) + ",\"label\":" + JsonString(S.Label) + ",\"value\":";
        if (std::isfinite(S.Value)) {
            char B[32];
            std::snprintf(B, sizeof B, "%.17g", S.Value);
            Out += B;
        } else {
            Out += "null";
        }
        Out += ",\"formatted\":" + JsonString(S.Formatted) + ",\"url\":" + (A.Url.empty() ? "null" : JsonString(A.Url)) +
               ",\"hint\":" + JsonString(A.Hint) + "}";
    }
    return Out + "\n]\n";
}

void AddHotspotsToSvg(std::string& Svg, const std::vector<THotspotArea>& Areas) {
    const std::size_t End = Svg.rfind("</svg>");
    if (End == std::string::npos || Areas.empty()) return;
    std::string G = "<g id=\"pv-points\" fill=\"#000\" fill-opacity=\"0\" stroke=\"none\">\n";
    for (const THotspotArea& A : Areas) {
        const pv::TChartHotspot& S = A.Spot;
        const std::vector<double>& C = S.Coords;
        if (!A.Url.empty()) G += "<a href=\"" + EscapeMarkup(A.Url) + "\">";
        G += "<g class=\"pv-point\"><title>" + EscapeMarkup(A.Hint) + "</title>";
        switch (S.Shape) {
            case pv::THotspotShape::hsRect:
                G += "<rect x=\"";
                AppendNumber(G, C[0]);
                G += "\" y=\"";
                AppendNumber(G, C[1]);
                G += "\" width=\"";
                AppendNumber(G, C[2] - C[0]);
                G += "\" height=\"";
                AppendNumber(G, C[3] - C[1]);
                G += "\"/>";
                break;
            case pv::THotspotShape::hsCircle:
                G += "<circle cx=\"";
                AppendNumber(G, C[0]);
                G += "\" cy=\"";
                AppendNumber(G, C[1]);
                G += "\" r=\"";
                AppendNumber(G, C[2]);
                G += "\"/>";
                break;
            case pv::THotspotShape::hsPoly:
                G += "<polygon points=\"";
                for (std::size_t I = 0; I + 1 < C.size(); I += 2) {
                    if (I) G += ' ';
                    AppendNumber(G, C[I]);
                    G += ',';
                    AppendNumber(G, C[I + 1]);
                }
                G += "\"/>";
                break;
        }
        G += "</g>";
        if (!A.Url.empty()) G += "</a>";
        G += '\n';
    }
    G += "</g>\n";
    Svg.insert(End, G);
}

}  // namespace Norq_Plotvane
