#include "platform/chart/internal/SvgText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace pv {

namespace {

const cairo_user_data_key_t AttachedKey{};

// The marker's opacity, which no colour of a chart has (they are whole
// 255ths or hundredths), as Cairo prints it. The marker's colour numbers
// the run: its red, green and blue are whole percentages from 1 to 100,
// the index's three digits in base 100 plus one. Whole numbers of 1 and
// more, here and in the marker's corners, are what Cairo prints fastest.
constexpr double MarkerAlpha = 0.987654;
constexpr std::string_view MarkerOpacity = ";fill-opacity:0.987654;\"";
constexpr std::size_t MaxRuns = 100 * 100 * 100;

// The formatted outlines kept per thread are dropped, between documents,
// when they pass these bounds, which a few dozen different charts stay
// well inside.
constexpr std::size_t MaxCachedFonts = 64;
constexpr std::size_t MaxCachedBytes = 8u << 20;

// A number as Cairo's SVG writer prints it: six decimals, or below 0.1 six
// significant digits (to at most 18 decimals), without trailing zeros.
void AppendNumber(std::string& Out, double V) {
    if (!std::isfinite(V)) {
        Out += '0';
        return;
    }
    char Buf[400];
    auto Print = [&Buf, V](int Decimals) {
        return std::to_chars(Buf, Buf + sizeof Buf, V, std::chars_format::fixed, Decimals).ptr;
    };
    char* End = Print(6);
    if (std::fabs(V) < 0.1) {
        End = Print(18);
        const char* P = std::find(Buf, End, '.') + 1;
        int Zeros = 0;
        while (P < End && *P == '0') ++P, ++Zeros;
        if (Zeros + 6 < 18) End = Print(Zeros + 6);
    }
    if (std::find(Buf, End, '.') != End) {
        while (End[-1] == '0') --End;
        if (End[-1] == '.') --End;
    }
    std::string_view S(Buf, static_cast<std::size_t>(End - Buf));
    if (S == "-0") S = "0";
    Out += S;
}

std::string FillStyle(double R, double G, double B, double A) {
    std::string S = "fill:rgb(";
    AppendNumber(S, R * 100);
    S += "%,";
    AppendNumber(S, G * 100);
    S += "%,";
    AppendNumber(S, B * 100);
    S += "%);fill-opacity:";
    AppendNumber(S, A);
    S += ';';
    return S;
}

// Reads Cairo's "fill:rgb(R%,G%,B%" of a marker back into its run number.
bool ParseMarker(std::string_view Element, std::size_t& Index) {
    const std::size_t At = Element.find("fill:rgb(");
    if (At == std::string_view::npos) return false;
    const char* P = Element.data() + At + 9;
    const char* End = Element.data() + Element.size();
    Index = 0;
    for (int I = 0; I < 3; ++I) {
        unsigned Percent = 0;
        auto [Next, Ec] = std::from_chars(P, End, Percent);
        if (Ec != std::errc() || Percent < 1 || Percent > 100 || Next == End || *Next != '%') return false;
        Index = Index * 100 + Percent - 1;
        P = Next + 1;
        if (I < 2) {
            if (P == End || *P != ',') return false;
            ++P;
        }
    }
    return true;
}

}  // namespace

// The outlines of one scaled font under one linear transformation (the
// drawing's scale and rotation): a <symbol> per glyph, in device space
// relative to the glyph's origin, as Cairo would write it.
struct TSvgText::TOutlines {
    cairo_scaled_font_t* Font;  // referenced, so the pointer stays this font's
    cairo_matrix_t Linear;
    int Id;
    std::unordered_map<unsigned long, std::string> Symbols;

    TOutlines(cairo_scaled_font_t* F, const cairo_matrix_t& M, int AId)
        : Font(cairo_scaled_font_reference(F)), Linear(M), Id(AId) {}
    ~TOutlines() { cairo_scaled_font_destroy(Font); }
    TOutlines(const TOutlines&) = delete;
    TOutlines& operator=(const TOutlines&) = delete;

    bool Matches(cairo_scaled_font_t* F, const cairo_matrix_t& M) const {
        return Font == F && Linear.xx == M.xx && Linear.yx == M.yx && Linear.xy == M.xy && Linear.yy == M.yy;
    }

    void AppendId(std::string& Out, unsigned long Glyph) const {
        Out += "pvglyph";
        Out += std::to_string(Id);
        Out += '-';
        Out += std::to_string(Glyph);
    }
};

namespace {

// Every thread keeps its own outlines, so drawing needs no lock; the
// scaled fonts come from the thread's own text engine.
class TOutlineCache {
public:
    TOutlineCache() = default;
    TOutlineCache(const TOutlineCache&) = delete;
    TOutlineCache& operator=(const TOutlineCache&) = delete;
    ~TOutlineCache() {
        if (Scratch) cairo_destroy(Scratch);
        if (ScratchSurface) cairo_surface_destroy(ScratchSurface);
    }

    static TOutlineCache& ForThisThread() {
        thread_local TOutlineCache Cache;
        return Cache;
    }

    void Trim() {
        if (Fonts.size() > MaxCachedFonts || Bytes > MaxCachedBytes) {
            Fonts.clear();
            Bytes = 0;
        }
    }

    std::shared_ptr<TSvgText::TOutlines> Find(cairo_scaled_font_t* Font, const cairo_matrix_t& Linear) {
        for (const auto& F : Fonts)
            if (F->Matches(Font, Linear)) return F;
        Fonts.push_back(std::make_shared<TSvgText::TOutlines>(Font, Linear, NextId++));
        return Fonts.back();
    }

    // Formats the glyph's outline into F unless it is there already.
    void Ensure(TSvgText::TOutlines& F, unsigned long Glyph) {
        auto [It, Added] = F.Symbols.try_emplace(Glyph);
        if (!Added) return;
        cairo_t* Cr = Context();
        cairo_new_path(Cr);
        cairo_set_matrix(Cr, &F.Linear);
        cairo_set_scaled_font(Cr, F.Font);
        const cairo_glyph_t G{Glyph, 0, 0};
        cairo_glyph_path(Cr, &G, 1);
        cairo_identity_matrix(Cr);
        cairo_path_t* Path = cairo_copy_path(Cr);
        cairo_new_path(Cr);

        std::string& S = It->second;
        S = "<symbol overflow=\"visible\" id=\"";
        F.AppendId(S, Glyph);
        S += "\">\n<path style=\"stroke:none;\" d=\"";
        if (Path->status == CAIRO_STATUS_SUCCESS) {
            for (int I = 0; I < Path->num_data; I += Path->data[I].header.length) {
                const cairo_path_data_t* D = &Path->data[I];
                auto Point = [&S, D](int K) {
                    AppendNumber(S, D[K].point.x);
                    S += ' ';
                    AppendNumber(S, D[K].point.y);
                    S += ' ';
                };
                switch (D->header.type) {
                    case CAIRO_PATH_MOVE_TO: S += "M "; Point(1); break;
                    case CAIRO_PATH_LINE_TO: S += "L "; Point(1); break;
                    case CAIRO_PATH_CURVE_TO: S += "C "; Point(1); Point(2); Point(3); break;
                    case CAIRO_PATH_CLOSE_PATH: S += "Z "; break;
                }
            }
        }
        cairo_path_destroy(Path);
        S += "\"/>\n</symbol>\n";
        Bytes += S.size();
    }

private:
    cairo_t* Context() {
        if (!Scratch) {
            ScratchSurface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
            Scratch = cairo_create(ScratchSurface);
        }
        return Scratch;
    }

    std::vector<std::shared_ptr<TSvgText::TOutlines>> Fonts;
    cairo_surface_t* ScratchSurface = nullptr;
    cairo_t* Scratch = nullptr;
    int NextId = 0;
    std::size_t Bytes = 0;
};

}  // namespace

TSvgText::TSvgText(cairo_surface_t* Surface) : FSurface(Surface) {
    TOutlineCache::ForThisThread().Trim();
    cairo_surface_set_user_data(FSurface, &AttachedKey, this, nullptr);
}

TSvgText::~TSvgText() { cairo_surface_set_user_data(FSurface, &AttachedKey, nullptr, nullptr); }

TSvgText* TSvgText::For(cairo_t* Cr) {
    return static_cast<TSvgText*>(cairo_surface_get_user_data(cairo_get_target(Cr), &AttachedKey));
}

bool TSvgText::Show(cairo_t* Cr, cairo_scaled_font_t* Font, const std::vector<cairo_glyph_t>& Glyphs) {
    double R, G, B, A;
    cairo_pattern_t* Source = cairo_get_source(Cr);
    if (cairo_pattern_get_rgba(Source, &R, &G, &B, &A) != CAIRO_STATUS_SUCCESS) return false;
    if (cairo_get_operator(Cr) != CAIRO_OPERATOR_OVER || FRuns.size() >= MaxRuns) return false;
    if (Glyphs.empty()) return true;

    cairo_matrix_t M;
    cairo_get_matrix(Cr, &M);
    cairo_matrix_t Linear = M;
    Linear.x0 = Linear.y0 = 0;
    TOutlineCache& Cache = TOutlineCache::ForThisThread();
    TRun Run;
    Run.Style = FillStyle(R, G, B, A);
    Run.Font = Cache.Find(Font, Linear);
    Run.Glyphs.reserve(Glyphs.size());
    Run.Positions.reserve(Glyphs.size() * 2);
    for (const cairo_glyph_t& Glyph : Glyphs) {
        Cache.Ensure(*Run.Font, Glyph.index);
        double X = Glyph.x, Y = Glyph.y;
        cairo_matrix_transform_point(&M, &X, &Y);
        Run.Glyphs.push_back(Glyph.index);
        Run.Positions.push_back(X);
        Run.Positions.push_back(Y);
    }

    // The marker is the glyphs' ink box rounded out to whole device pixels,
    // the box Cairo would clip and cull the glyphs by: it shows exactly
    // where they would, and Cairo reduces a clip to it as it would for
    // them. The extents are relative to the first glyph's origin.
    cairo_text_extents_t E;
    cairo_scaled_font_glyph_extents(Font, Glyphs.data(), static_cast<int>(Glyphs.size()), &E);
    double X0 = HUGE_VAL, Y0 = HUGE_VAL, X1 = -HUGE_VAL, Y1 = -HUGE_VAL;
    for (int Corner = 0; Corner < 4; ++Corner) {
        double X = Glyphs[0].x + E.x_bearing + (Corner & 1 ? E.width : 0);
        double Y = Glyphs[0].y + E.y_bearing + (Corner & 2 ? E.height : 0);
        cairo_matrix_transform_point(&M, &X, &Y);
        X0 = std::min(X0, X), Y0 = std::min(Y0, Y), X1 = std::max(X1, X), Y1 = std::max(Y1, Y);
    }
    X0 = std::floor(X0), Y0 = std::floor(Y0), X1 = std::ceil(X1), Y1 = std::ceil(Y1);
    const std::size_t Index = FRuns.size();
    cairo_pattern_reference(Source);
    cairo_set_source_rgba(Cr, double(Index / 10000 + 1) / 100, double(Index / 100 % 100 + 1) / 100,
                          double(Index % 100 + 1) / 100, MarkerAlpha);
    cairo_identity_matrix(Cr);
    cairo_new_path(Cr);
    cairo_rectangle(Cr, X0, Y0, X1 - X0, Y1 - Y0);
    cairo_fill(Cr);
    cairo_set_matrix(Cr, &M);
    cairo_set_source(Cr, Source);
    cairo_pattern_destroy(Source);
    FRuns.push_back(std::move(Run));
    return true;
}

bool TSvgText::Finish(const std::string& Document, std::string& Out) const {
    if (FRuns.empty()) {
        Out = Document;
        return true;
    }
    // A raster fallback may hold markers as pixels.
    if (Document.find("<image") != std::string::npos) return false;
    const std::size_t SvgTag = Document.find("<svg");
    const std::size_t SvgTagEnd = SvgTag == std::string::npos ? SvgTag : Document.find('>', SvgTag);
    if (SvgTagEnd == std::string::npos) return false;
    const std::size_t Body = SvgTagEnd + 1;

    // First the markers, in document order, and the outlines their runs use.
    struct TMarker {
        std::size_t Start, Stop;  // the marker element, [Start, Stop)
        const TRun* Run;
    };
    std::vector<TMarker> Markers;
    Markers.reserve(FRuns.size());
    std::vector<bool> Placed(FRuns.size());
    std::unordered_set<std::uint64_t> Defined;
    std::string Symbols;
    std::size_t Uses = 0;
    for (std::size_t From = Body, At; (At = Document.find(MarkerOpacity, From)) != std::string::npos;) {
        const std::size_t Start = Document.rfind("<path ", At);
        const std::size_t Stop = Document.find("/>", At);
        if (Start == std::string::npos || Start < From || Stop == std::string::npos) return false;
        std::size_t Index;
        if (!ParseMarker(std::string_view(Document).substr(Start, At - Start), Index) || Index >= FRuns.size() ||
            Placed[Index])
            return false;
        Placed[Index] = true;
        const TRun& Run = FRuns[Index];
        for (unsigned long Glyph : Run.Glyphs)
            if (Defined.insert(std::uint64_t(Run.Font->Id) << 32 | Glyph).second) Symbols += Run.Font->Symbols.at(Glyph);
        Uses += Run.Glyphs.size();
        Markers.push_back({Start, Stop + 2, &Run});
        From = Stop + 2;
    }

    // The outlines go first into the document's definitions, where Cairo
    // puts its own, before any clip paths; Cairo writes no <defs> when it
    // has nothing to define.
    constexpr std::string_view Defs = "\n<defs>\n";
    const bool HasDefs = std::string_view(Document).substr(Body, Defs.size()) == Defs;
    Out.clear();
    Out.reserve(Document.size() + Symbols.size() + Uses * 48 + Markers.size() * 64);
    Out.append(Document, 0, Body);
    std::size_t From = Body;
    if (!Symbols.empty()) {
        Out.append(Defs).append("<g>\n").append(Symbols).append("</g>\n");
        if (HasDefs)
            From += Defs.size();
        else
            Out.append("</defs>");
    }
    for (const TMarker& M : Markers) {
        Out.append(Document, From, M.Start - From);
        const TRun& Run = *M.Run;
        Out += "<g style=\"";
        Out += Run.Style;
        Out += "\">\n";
        for (std::size_t I = 0; I < Run.Glyphs.size(); ++I) {
            Out += "  <use xlink:href=\"#";
            Run.Font->AppendId(Out, Run.Glyphs[I]);
            Out += "\" x=\"";
            AppendNumber(Out, Run.Positions[2 * I]);
            Out += "\" y=\"";
            AppendNumber(Out, Run.Positions[2 * I + 1]);
            Out += "\"/>\n";
        }
        Out += "</g>";
        From = M.Stop;
    }
    Out.append(Document, From, std::string::npos);
    return true;
}

}  // namespace pv
