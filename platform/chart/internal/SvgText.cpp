#include "platform/chart/internal/SvgText.h"

#include <cairo-svg.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <new>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/chart/internal/TextEngine.h"

namespace pv {

namespace {

const cairo_user_data_key_t AttachedKey{};

// The marker's opacity, which no colour of a chart has (they are whole
// 255ths or hundredths), as Cairo prints it. The marker's colour numbers
// the marker: its red, green and blue are whole percentages from 1 to 100,
// the index's three digits in base 100 plus one. Whole numbers of 1 and
// more, here and in the marker's corners, are what Cairo prints fastest.
constexpr double MarkerAlpha = 0.987654;
constexpr std::string_view MarkerOpacity = ";fill-opacity:0.987654;";
constexpr std::size_t MaxMarkers = 100 * 100 * 100;

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

// Path's data as Cairo's SVG writer writes a path's d attribute.
void AppendPathData(std::string& S, const cairo_path_t& Path) {
    for (int I = 0; I < Path.num_data; I += Path.data[I].header.length) {
        const cairo_path_data_t* D = &Path.data[I];
        auto Point = [&](int K) {
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

// Whether Cairo painted part of Document as a raster image, which it does
// where it cannot write what was drawn as SVG: an image used outside the
// patterns it defines (a pattern fill, such as a pie's stripes, uses its
// image inside one).
bool HasRasterFallback(std::string_view Document) {
    if (Document.find("<image") == std::string_view::npos) return false;
    constexpr std::string_view Use = "<use xlink:href=\"#image";
    for (std::size_t At = 0; (At = Document.find(Use, At)) != std::string_view::npos; At += Use.size()) {
        const std::size_t Open = Document.rfind("<pattern", At), Close = Document.rfind("</pattern>", At);
        const bool InPattern = Open != std::string_view::npos && (Close == std::string_view::npos || Close < Open);
        if (!InPattern) return true;
    }
    return false;
}

// Reads Cairo's "fill:rgb(R%,G%,B%" of a marker back into its number.
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

        // Formatted aside, so that a failure leaves no empty outline kept.
        std::string S;
        try {
            S = "<symbol overflow=\"visible\" id=\"";
            F.AppendId(S, Glyph);
            S += "\">\n<path style=\"stroke:none;\" d=\"";
            if (Path->status == CAIRO_STATUS_SUCCESS) AppendPathData(S, *Path);
            S += "\"/>\n</symbol>\n";
        } catch (...) {
            cairo_path_destroy(Path);
            F.Symbols.erase(It);
            throw;
        }
        cairo_path_destroy(Path);
        Bytes += S.size();
        It->second = std::move(S);
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

bool TSvgText::CanRecord(cairo_t* Cr, double& R, double& G, double& B, double& A) {
    if (cairo_pattern_get_rgba(cairo_get_source(Cr), &R, &G, &B, &A) == CAIRO_STATUS_SUCCESS &&
        cairo_get_operator(Cr) == CAIRO_OPERATOR_OVER && FMarkers.size() < MaxMarkers)
        return true;
    Flush(Cr);
    return false;
}

bool TSvgText::Show(cairo_t* Cr, cairo_scaled_font_t* Font, const std::vector<cairo_glyph_t>& Glyphs) {
    double R, G, B, A;
    if (!CanRecord(Cr, R, G, B, A)) return false;
    if (Glyphs.empty()) return true;

    cairo_matrix_t M;
    cairo_get_matrix(Cr, &M);
    cairo_matrix_t Linear = M;
    Linear.x0 = Linear.y0 = 0;
    TOutlineCache& Cache = TOutlineCache::ForThisThread();
    TPiece Run;
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

    // The marker covers the glyphs' ink box rounded out to whole device
    // pixels, the box Cairo would clip and cull the glyphs by: it shows
    // exactly where they would, and Cairo reduces a clip to it as it would
    // for them. The extents are relative to the first glyph's origin.
    cairo_text_extents_t E;
    cairo_scaled_font_glyph_extents(Font, Glyphs.data(), static_cast<int>(Glyphs.size()), &E);
    double X0 = HUGE_VAL, Y0 = HUGE_VAL, X1 = -HUGE_VAL, Y1 = -HUGE_VAL;
    for (int Corner = 0; Corner < 4; ++Corner) {
        double X = Glyphs[0].x + E.x_bearing + (Corner & 1 ? E.width : 0);
        double Y = Glyphs[0].y + E.y_bearing + (Corner & 2 ? E.height : 0);
        cairo_matrix_transform_point(&M, &X, &Y);
        X0 = std::min(X0, X), Y0 = std::min(Y0, Y), X1 = std::max(X1, X), Y1 = std::max(Y1, Y);
    }
    Add(Cr, std::move(Run), X0, Y0, X1, Y1);
    return true;
}

bool TSvgText::Fill(cairo_t* Cr) {
    double R, G, B, A;
    if (!CanRecord(Cr, R, G, B, A)) return false;
    // The path in device space, as Cairo holds it and writes it for a fill.
    cairo_matrix_t M;
    cairo_get_matrix(Cr, &M);
    cairo_identity_matrix(Cr);
    double X0, Y0, X1, Y1, C0, C1, C2, C3;
    cairo_path_extents(Cr, &X0, &Y0, &X1, &Y1);
    cairo_clip_extents(Cr, &C0, &C1, &C2, &C3);
    // A fill over the whole page Cairo paints instead, and an opaque one
    // makes it forget what was drawn before; such fills, and any over all
    // of the clip, are left to Cairo.
    if (X0 <= C0 && Y0 <= C1 && X1 >= C2 && Y1 >= C3) {
        cairo_set_matrix(Cr, &M);
        Flush(Cr);
        return false;
    }
    cairo_path_t* Path = cairo_copy_path(Cr);
    cairo_set_matrix(Cr, &M);
    struct TPathFree {
        cairo_path_t* P;
        ~TPathFree() { cairo_path_destroy(P); }
    } Free{Path};
    if (Path->status != CAIRO_STATUS_SUCCESS) {
        Flush(Cr);
        return false;
    }
    cairo_new_path(Cr);
    // A fill without area draws nothing, and Cairo writes nothing for it.
    if (!(X1 > X0 && Y1 > Y0)) return true;
    TPiece Piece;
    std::string& S = Piece.Style;
    S.reserve(96 + static_cast<std::size_t>(Path->num_data) * 12);
    S = "<path style=\" stroke:none;fill-rule:";
    S += cairo_get_fill_rule(Cr) == CAIRO_FILL_RULE_EVEN_ODD ? "evenodd;" : "nonzero;";
    S += FillStyle(R, G, B, A);
    S += "\" d=\"";
    AppendPathData(S, *Path);
    S += "\"/>";
    Add(Cr, std::move(Piece), X0, Y0, X1, Y1);
    return true;
}

void TSvgText::Add(cairo_t* Cr, TPiece Piece, double X0, double Y0, double X1, double Y1) {
    // Pieces drawn on another context than the batch's are not held back,
    // and what waits was drawn before them.
    const bool HoldBack = FBatchDepth > 0 && Cr == FBatchCr;
    if (!HoldBack && FBatchDepth > 0) Flush(FBatchCr);
    // Room for a marker per piece, grown here where growing may throw, so
    // that Flush never needs to.
    if (FMarkers.capacity() <= FPieces.size()) FMarkers.reserve(std::max<std::size_t>(16, 2 * FPieces.size()));
    if (FSeen.capacity() <= FPieces.size()) FSeen.reserve(std::max<std::size_t>(16, 2 * FPieces.size()));
    X0 = std::floor(X0), Y0 = std::floor(Y0), X1 = std::ceil(X1), Y1 = std::ceil(Y1);
    if (FWaiting == FPieces.size()) {
        FBox[0] = X0, FBox[1] = Y0, FBox[2] = X1, FBox[3] = Y1;
    } else {
        FBox[0] = std::min(FBox[0], X0), FBox[1] = std::min(FBox[1], Y0);
        FBox[2] = std::max(FBox[2], X1), FBox[3] = std::max(FBox[3], Y1);
    }
    FPieces.push_back(std::move(Piece));
    if (!HoldBack) Flush(Cr);
}

void TSvgText::BeginBatch(cairo_t* Cr) {
    if (FBatchDepth == 0) FBatchCr = Cr;
    ++FBatchDepth;
}

void TSvgText::EndBatch(cairo_t* Cr) noexcept {
    Flush(Cr);
    if (FBatchDepth > 0 && --FBatchDepth == 0) FBatchCr = nullptr;
}

void TSvgText::Flush(cairo_t* Cr) noexcept {
    if (FWaiting == FPieces.size()) return;
    const std::size_t Index = FMarkers.size();
    FMarkers.push_back(FWaiting);  // within the room Add made
    FWaiting = FPieces.size();
    // The marker is drawn in device space, in its own state, so that the
    // source, operator and transformation are as they were (a pattern set
    // again would be tied to the transformation of now); the path being
    // built, which is no part of that state, is put back.
    cairo_path_t* Building = cairo_copy_path(Cr);
    cairo_save(Cr);
    cairo_set_operator(Cr, CAIRO_OPERATOR_OVER);
    cairo_set_source_rgba(Cr, double(Index / 10000 + 1) / 100, double(Index / 100 % 100 + 1) / 100,
                          double(Index % 100 + 1) / 100, MarkerAlpha);
    cairo_identity_matrix(Cr);
    // Cairo drops a marker only where the clip and the page leave nothing
    // of it; Finish holds it to that.
    double C0, C1, C2, C3;
    cairo_clip_extents(Cr, &C0, &C1, &C2, &C3);
    FSeen.push_back(std::min(FBox[2], C2) > std::max(FBox[0], C0) && std::min(FBox[3], C3) > std::max(FBox[1], C1));
    // Drawn counter-clockwise, as the painter draws no box, so that Cairo
    // never takes it and a stroke of the same path as one element.
    cairo_new_path(Cr);
    cairo_move_to(Cr, FBox[0], FBox[1]);
    cairo_line_to(Cr, FBox[0], FBox[3]);
    cairo_line_to(Cr, FBox[2], FBox[3]);
    cairo_line_to(Cr, FBox[2], FBox[1]);
    cairo_close_path(Cr);
    cairo_fill(Cr);
    cairo_restore(Cr);
    if (Building->status == CAIRO_STATUS_SUCCESS) {
        if (Building->num_data > 0) cairo_append_path(Cr, Building);
    } else {
        FLost = true;
    }
    cairo_path_destroy(Building);
    // A context in error draws nothing more, markers neither.
    if (cairo_status(Cr) != CAIRO_STATUS_SUCCESS) FLost = true;
}

bool TSvgText::Finish(const std::string& Document, std::string& Out) const {
    if (FPieces.empty()) {
        Out = Document;
        return true;
    }
    // Pieces still waiting have no marker; whoever drew them did not flush.
    if (FWaiting != FPieces.size() || FLost) return false;
    // A raster fallback may hold markers as pixels.
    if (HasRasterFallback(Document)) return false;
    const std::size_t SvgTag = Document.find("<svg");
    const std::size_t SvgTagEnd = SvgTag == std::string::npos ? SvgTag : Document.find('>', SvgTag);
    if (SvgTagEnd == std::string::npos) return false;
    const std::size_t Body = SvgTagEnd + 1;

    // First the markers, in document order, and the outlines their runs use.
    struct TMarker {
        std::size_t Start, Stop;  // the marker element, [Start, Stop)
        std::size_t First, Last;  // its pieces, [First, Last)
    };
    std::vector<TMarker> Markers;
    Markers.reserve(FMarkers.size());
    std::vector<bool> Placed(FMarkers.size());
    std::unordered_set<std::uint64_t> Defined;
    std::string Symbols;
    std::size_t Uses = 0, Filled = 0;
    // A marker is a path, or where it covers the whole page, the rectangle
    // Cairo paints instead.
    for (std::size_t From = Body, At; (At = Document.find(MarkerOpacity, From)) != std::string::npos;) {
        const std::size_t Start = Document.rfind('<', At);
        const std::size_t Stop = Document.find("/>", At);
        if (Start == std::string::npos || Start < From || Stop == std::string::npos) return false;
        // Nothing but a marker: a path filled and no more, or the painted
        // rectangle.
        const std::string_view Element = std::string_view(Document).substr(Start, Stop - Start);
        const std::string_view After = std::string_view(Document).substr(At + MarkerOpacity.size());
        const bool AsFill = Element.starts_with("<path style=\" stroke:none;fill-rule:") && After.starts_with("\" d=\"");
        const bool AsPaint = Element.starts_with("<rect ") && After.starts_with("stroke:none;\"/>");
        if (!AsFill && !AsPaint) return false;
        std::size_t Index;
        if (!ParseMarker(std::string_view(Document).substr(Start, At - Start), Index) || Index >= FMarkers.size() ||
            Placed[Index])
            return false;
        Placed[Index] = true;
        const std::size_t First = FMarkers[Index];
        const std::size_t Last = Index + 1 < FMarkers.size() ? FMarkers[Index + 1] : FWaiting;
        for (std::size_t K = First; K < Last; ++K) {
            const TPiece& Run = FPieces[K];
            if (!Run.Font) {
                Filled += Run.Style.size();
                continue;
            }
            for (unsigned long Glyph : Run.Glyphs)
                if (Defined.insert(std::uint64_t(Run.Font->Id) << 32 | Glyph).second)
                    Symbols += Run.Font->Symbols.at(Glyph);
            Uses += Run.Glyphs.size();
        }
        Markers.push_back({Start, Stop + 2, First, Last});
        From = Stop + 2;
    }
    for (std::size_t K = 0; K < FMarkers.size(); ++K)
        if (!Placed[K] && FSeen[K]) return false;

    // The outlines go first into the document's definitions, where Cairo
    // puts its own, before any clip paths; Cairo writes no <defs> when it
    // has nothing to define.
    constexpr std::string_view Defs = "\n<defs>\n";
    const bool HasDefs = std::string_view(Document).substr(Body, Defs.size()) == Defs;
    Out.clear();
    Out.reserve(Document.size() + Symbols.size() + Uses * 48 + Filled + FPieces.size() * 64);
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
        // Each piece is an element of its own, one to a line as Cairo
        // writes them.
        for (std::size_t K = M.First; K < M.Last; ++K) {
            if (K > M.First) Out += '\n';
            const TPiece& Run = FPieces[K];
            if (!Run.Font) {
                Out += Run.Style;
                continue;
            }
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
        }
        From = M.Stop;
    }
    Out.append(Document, From, std::string::npos);
    return true;
}

bool TSvgText::AcceptsProbe(const std::function<std::string(std::string)>& Respell) {
    std::string Document;
    auto Write = [](void* Closure, const unsigned char* Data, unsigned int Length) -> cairo_status_t {
        static_cast<std::string*>(Closure)->append(reinterpret_cast<const char*>(Data), Length);
        return CAIRO_STATUS_SUCCESS;
    };
    cairo_surface_t* Surface = cairo_svg_surface_create_for_stream(Write, &Document, 60, 30);
    cairo_svg_surface_set_document_unit(Surface, CAIRO_SVG_UNIT_PX);
    bool Accepted = false;
    {
        TSvgText Text(Surface);
        cairo_t* Cr = cairo_create(Surface);
        cairo_set_source_rgb(Cr, 0.2, 0.4, 0.6);
        cairo_rectangle(Cr, 2, 2, 20, 10);
        if (!Text.Fill(Cr)) cairo_fill(Cr);
        cairo_set_source_rgb(Cr, 0, 0, 0);
        TTextEngine::ForThisThread().Layout(TTextFont{}, "Ag")->Draw(Cr, 4, 12);
        cairo_destroy(Cr);
        cairo_surface_finish(Surface);
        std::string Out;
        if (cairo_surface_status(Surface) == CAIRO_STATUS_SUCCESS)
            Accepted = Text.Finish(Respell(std::move(Document)), Out) && Out.find("pvglyph") != std::string::npos;
    }
    cairo_surface_destroy(Surface);
    return Accepted;
}

bool TSvgText::Usable() {
    static const bool Accepted = [] {
        try {
            return AcceptsProbe([](std::string D) { return D; });
        } catch (...) {
            return false;
        }
    }();
    return Accepted;
}

}  // namespace pv
