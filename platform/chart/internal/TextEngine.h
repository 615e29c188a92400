#pragma once
// Text for the chart painter: Pango shapes UTF-8 text in any script with
// fontconfig fonts, and the shaped result is kept as Cairo glyph runs, so the
// very layout that was measured is the one that is drawn.
//
// Shaping is the costly part of text, so every thread keeps its own Pango
// font map, context and a cache of shaped layouts keyed by font and text.
// Nothing here is shared between threads; a server may draw on many threads
// at once.

#include <cairo.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pv {

class TFont;

// A font as the text engine sees it: family, pixel size and style.
struct TTextFont {
    std::string Family = "Sans";
    // The em size in pixels (a TFont point is 4/3 pixel at 96 dpi).
    double PixelSize = 13.333;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;

    // The font of F: its name (empty: "Sans"), size (0 or negative taken as
    // its magnitude, 0 as 10 points, clamped to 1..400 points) and style.
    static TTextFont FromFont(const TFont& F);
};

// One line of shaped text, ready to draw. Immutable once made; shared by
// the cache and whoever draws it.
class TTextLayout {
public:
    TTextLayout() = default;
    ~TTextLayout();
    TTextLayout(const TTextLayout&) = delete;
    TTextLayout& operator=(const TTextLayout&) = delete;

    // The logical size in pixels: advance width and line height.
    double Width() const { return FWidth; }
    double Height() const { return FHeight; }
    // Distance from the top of the line to its baseline.
    double Baseline() const { return FBaseline; }
    // Whether the text was cut to fit its maximum width.
    bool Ellipsized() const { return FEllipsized; }
    // The text shaped, whole (before any cut), as it was cleaned for shaping.
    const std::string& Text() const { return FText; }

    // Draws the line with its top-left corner at (X, Y) in user space, in
    // Cr's current source; Cr's transformation may rotate it.
    void Draw(cairo_t* Cr, double X, double Y) const;

private:
    friend class TTextEngine;
    struct TRun {
        cairo_scaled_font_t* Font = nullptr;  // referenced
        std::vector<cairo_glyph_t> Glyphs;   // relative to the top-left
    };
    struct TBox {
        double X, Y, W, H;
        bool Outline;  // a missing-glyph box (outline) or a decoration line (filled)
    };
    std::vector<TRun> FRuns;
    std::vector<TBox> FBoxes;
    double FWidth = 0;
    double FHeight = 0;
    double FBaseline = 0;
    bool FEllipsized = false;
    std::string FText;
};

using TTextLayoutPtr = std::shared_ptr<const TTextLayout>;

class TTextEngine {
public:
    // The engine of the calling thread, made on first use and released when
    // the thread ends.
    static TTextEngine& ForThisThread();

    ~TTextEngine();
    TTextEngine(const TTextEngine&) = delete;
    TTextEngine& operator=(const TTextEngine&) = delete;

    // Text shaped in Font as one line: line breaks, tabs and other control
    // characters become spaces and invalid UTF-8 becomes U+FFFD. With
    // MaxWidth > 0 the text is cut with an ellipsis to at most MaxWidth
    // pixels. Results are cached per thread.
    TTextLayoutPtr Layout(const TTextFont& Font, std::string_view Text, int MaxWidth = 0);

    // The height of a line of Font.
    double LineHeight(const TTextFont& Font) { return Layout(Font, {})->Height(); }

    // Number of cached layouts (for tests and benchmarks).
    std::size_t CacheSize() const;
    // Drops every cached layout; layouts still held elsewhere stay valid.
    void ClearCache();

private:
    TTextEngine();
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

}  // namespace pv
