#include "platform/chart/internal/TextEngine.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "platform/chart/internal/SvgText.h"
#include "platform/vcl/Font.h"

namespace pv {

namespace {

// A cache this big holds every text of a few dozen different charts; when
// it is full it starts again rather than tracking use, which keeps lookups
// cheap.
constexpr std::size_t MaxCachedLayouts = 4096;
// Text beyond this many characters can never be seen in a chart (it would
// be cut by the ellipsis anyway), so it is not shaped.
constexpr long MaxShapedChars = 4000;

std::string CleanText(std::string_view Text) {
    if (Text.empty()) return {};
    gchar* Valid = g_utf8_make_valid(Text.data(), static_cast<gssize>(Text.size()));
    std::string S;
    if (g_utf8_strlen(Valid, -1) > MaxShapedChars) {
        const gchar* End = g_utf8_offset_to_pointer(Valid, MaxShapedChars);
        S.assign(Valid, static_cast<std::size_t>(End - Valid));
    } else {
        S = Valid;
    }
    g_free(Valid);
    // One line only: control characters (line breaks, tabs) show as spaces.
    for (char& C : S)
        if (static_cast<unsigned char>(C) < 0x20 || C == 0x7F) C = ' ';
    return S;
}

}  // namespace

TTextFont TTextFont::FromFont(const TFont& F) {
    TTextFont T;
    T.Family = F.GetName().empty() ? std::string(TFont::DefaultName) : F.GetName();
    int Points = F.GetSize() == 0 ? TFont::DefaultSize : std::abs(F.GetSize());
    Points = std::clamp(Points, 1, 400);
    T.PixelSize = Points * 96.0 / 72.0;
    T.Bold = (F.GetStyle() & fsBold) != 0;
    T.Italic = (F.GetStyle() & fsItalic) != 0;
    T.Underline = (F.GetStyle() & fsUnderline) != 0;
    T.StrikeOut = (F.GetStyle() & fsStrikeOut) != 0;
    return T;
}

TTextLayout::~TTextLayout() {
    for (TRun& R : FRuns) cairo_scaled_font_destroy(R.Font);
}

void TTextLayout::Draw(cairo_t* Cr, double X, double Y) const {
    if (FRuns.empty() && FBoxes.empty()) return;
    cairo_matrix_t Saved;
    cairo_get_matrix(Cr, &Saved);
    cairo_translate(Cr, X, Y);
    TSvgText* Svg = TSvgText::For(Cr);
    for (const TRun& R : FRuns) {
        if (Svg && Svg->Show(Cr, R.Font, R.Glyphs)) continue;
        cairo_set_scaled_font(Cr, R.Font);
        cairo_show_glyphs(Cr, R.Glyphs.data(), static_cast<int>(R.Glyphs.size()));
    }
    for (const TBox& B : FBoxes) {
        if (B.Outline) {
            cairo_rectangle(Cr, B.X + 0.5, B.Y + 0.5, std::max(0.0, B.W - 1), std::max(0.0, B.H - 1));
            cairo_set_line_width(Cr, 1);
            if (Svg) Svg->Flush(Cr);
            cairo_stroke(Cr);
        } else {
            cairo_rectangle(Cr, B.X, B.Y, B.W, B.H);
            if (!Svg || !Svg->Fill(Cr)) cairo_fill(Cr);
        }
    }
    cairo_set_matrix(Cr, &Saved);
}

struct TTextEngine::TImpl {
    PangoFontMap* FontMap = nullptr;
    PangoContext* Context = nullptr;
    std::unordered_map<std::string, PangoFontDescription*> Fonts;
    std::unordered_map<std::string, TTextLayoutPtr> Layouts;

    TImpl() {
        FontMap = pango_cairo_font_map_new();
        Context = pango_font_map_create_context(FontMap);
        // Grey antialiasing (the picture goes to GIF and JPEG, so no
        // subpixel colours), light hinting, whole-pixel advances so text
        // looks crisp at small sizes.
        cairo_font_options_t* Options = cairo_font_options_create();
        cairo_font_options_set_antialias(Options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(Options, CAIRO_HINT_STYLE_SLIGHT);
        cairo_font_options_set_hint_metrics(Options, CAIRO_HINT_METRICS_ON);
        pango_cairo_context_set_font_options(Context, Options);
        cairo_font_options_destroy(Options);
        pango_cairo_context_set_resolution(Context, 96);
        pango_context_set_language(Context, pango_language_from_string("en"));
    }

    ~TImpl() {
        Layouts.clear();
        for (auto& [Key, Desc] : Fonts) pango_font_description_free(Desc);
        g_object_unref(Context);
        g_object_unref(FontMap);
    }

    const PangoFontDescription* Description(const TTextFont& F) {
        std::string Key = F.Family;
        Key += '\0';
        Key += std::to_string(std::lround(F.PixelSize * PANGO_SCALE));
        Key += F.Bold ? 'b' : '-';
        Key += F.Italic ? 'i' : '-';
        auto It = Fonts.find(Key);
        if (It != Fonts.end()) return It->second;
        PangoFontDescription* D = pango_font_description_new();
        pango_font_description_set_family(D, F.Family.c_str());
        pango_font_description_set_absolute_size(D, std::round(F.PixelSize * PANGO_SCALE));
        pango_font_description_set_weight(D, F.Bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
        pango_font_description_set_style(D, F.Italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
        Fonts.emplace(std::move(Key), D);
        return D;
    }

    std::shared_ptr<TTextLayout> Shape(const TTextFont& F, const std::string& Text, int MaxWidth) {
        PangoLayout* L = pango_layout_new(Context);
        pango_layout_set_font_description(L, Description(F));
        pango_layout_set_single_paragraph_mode(L, TRUE);
        if (MaxWidth > 0) {
            pango_layout_set_width(L, MaxWidth * PANGO_SCALE);
            pango_layout_set_ellipsize(L, PANGO_ELLIPSIZE_END);
        }
        pango_layout_set_text(L, Text.data(), static_cast<int>(Text.size()));

        auto Out = std::make_shared<TTextLayout>();
        Out->FText = Text;
        PangoRectangle Logical;
        pango_layout_get_extents(L, nullptr, &Logical);
        // An ellipsized line's logical width can exceed its limit by a
        // rounding; the limit is what callers lay out with.
        Out->FWidth = Logical.width / double(PANGO_SCALE);
        if (MaxWidth > 0) Out->FWidth = std::min(Out->FWidth, double(MaxWidth));
        Out->FHeight = Logical.height / double(PANGO_SCALE);
        Out->FBaseline = pango_layout_get_baseline(L) / double(PANGO_SCALE);
        Out->FEllipsized = pango_layout_is_ellipsized(L);
        // Glyphs are kept relative to the left of the logical box.
        const double OriginX = Logical.x / double(PANGO_SCALE);

        PangoFont* FirstFont = nullptr;
        PangoLayoutIter* It = pango_layout_get_iter(L);
        do {
            PangoLayoutRun* Run = pango_layout_iter_get_run_readonly(It);
            if (!Run) continue;
            PangoRectangle RunLogical;
            pango_layout_iter_get_run_extents(It, nullptr, &RunLogical);
            const int Baseline = pango_layout_iter_get_baseline(It) - Run->y_offset;
            PangoFont* Font = Run->item->analysis.font;
            if (!FirstFont) FirstFont = Font;
            TTextLayout::TRun R;
            R.Font = cairo_scaled_font_reference(pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(Font)));
            int X = RunLogical.x;
            for (int I = 0; I < Run->glyphs->num_glyphs; ++I) {
                const PangoGlyphInfo& G = Run->glyphs->glyphs[I];
                const double GX = (X + G.geometry.x_offset) / double(PANGO_SCALE) - OriginX;
                const double GY = (Baseline + G.geometry.y_offset) / double(PANGO_SCALE);
                if (G.glyph & PANGO_GLYPH_UNKNOWN_FLAG) {
                    // No installed font has this character: a hollow box.
                    const double W = G.geometry.width / double(PANGO_SCALE);
                    const double H = Out->FBaseline * 0.75;
                    Out->FBoxes.push_back({GX + W * 0.1, GY - H, W * 0.8, H, true});
                } else if (G.glyph != PANGO_GLYPH_EMPTY) {
                    R.Glyphs.push_back({G.glyph, GX, GY});
                }
                X += G.geometry.width;
            }
            if (R.Glyphs.empty())
                cairo_scaled_font_destroy(R.Font);
            else
                Out->FRuns.push_back(std::move(R));
        } while (pango_layout_iter_next_run(It));
        pango_layout_iter_free(It);

        if ((F.Underline || F.StrikeOut) && FirstFont && Out->FWidth > 0) {
            PangoFontMetrics* M = pango_font_get_metrics(FirstFont, nullptr);
            const double Thick = std::max(1.0, pango_font_metrics_get_underline_thickness(M) / double(PANGO_SCALE));
            if (F.Underline) {
                const double Pos = pango_font_metrics_get_underline_position(M) / double(PANGO_SCALE);
                Out->FBoxes.push_back({0, std::round(Out->FBaseline - Pos), Out->FWidth, Thick, false});
            }
            if (F.StrikeOut) {
                const double Pos = pango_font_metrics_get_strikethrough_position(M) / double(PANGO_SCALE);
                Out->FBoxes.push_back({0, std::round(Out->FBaseline - Pos), Out->FWidth, Thick, false});
            }
            pango_font_metrics_unref(M);
        }
        g_object_unref(L);
        return Out;
    }
};

TTextEngine::TTextEngine() : FImpl(std::make_unique<TImpl>()) {}
TTextEngine::~TTextEngine() = default;

TTextEngine& TTextEngine::ForThisThread() {
    thread_local TTextEngine Engine;
    return Engine;
}

TTextLayoutPtr TTextEngine::Layout(const TTextFont& Font, std::string_view Text, int MaxWidth) {
    MaxWidth = std::max(0, MaxWidth);
    std::string Key;
    Key.reserve(Font.Family.size() + Text.size() + 24);
    Key += Font.Family;
    Key += '\0';
    Key += std::to_string(std::lround(Font.PixelSize * PANGO_SCALE));
    Key += Font.Bold ? 'b' : '-';
    Key += Font.Italic ? 'i' : '-';
    Key += Font.Underline ? 'u' : '-';
    Key += Font.StrikeOut ? 's' : '-';
    Key += std::to_string(MaxWidth);
    Key += '\0';
    Key += Text;
    auto It = FImpl->Layouts.find(Key);
    if (It != FImpl->Layouts.end()) return It->second;
    if (FImpl->Layouts.size() >= MaxCachedLayouts) FImpl->Layouts.clear();
    TTextLayoutPtr L = FImpl->Shape(Font, CleanText(Text), MaxWidth);
    FImpl->Layouts.emplace(std::move(Key), L);
    return L;
}

std::size_t TTextEngine::CacheSize() const { return FImpl->Layouts.size(); }

void TTextEngine::ClearCache() { FImpl->Layouts.clear(); }

}  // namespace pv
