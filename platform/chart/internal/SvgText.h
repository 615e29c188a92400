#pragma once
// Text for SVG documents drawn on Cairo's SVG surface.
//
// Cairo's SVG writer formats the outline of every glyph it uses anew in each
// document, which took two thirds of the time of a chart's SVG. The outlines of a
// font never change, so this keeps them formatted, per thread, and puts them
// into the document itself: while the chart is drawn, each run of glyphs is
// recorded and a marker rectangle is filled over its ink, in a colour
// that numbers the run. Cairo writes the marker where the glyphs would have
// been, inside the same clip groups, so replacing each marker by the run's
// glyphs afterwards gives the document Cairo would have written, in the
// same order, with the same outlines.
//
// A run whose marker Cairo dropped lay wholly outside the page or its clip,
// so its glyphs could not have been seen. Where Cairo had to fall back to a
// raster image, a marker may be inside the image, so Finish refuses the
// document and the caller draws it again with Cairo's own text.

#include <cairo.h>

#include <memory>
#include <string>
#include <vector>

namespace pv {

class TSvgText {
public:
    // Attaches to Surface (Cairo's SVG surface) until destroyed; text drawn
    // on it meanwhile goes through Show.
    explicit TSvgText(cairo_surface_t* Surface);
    ~TSvgText();
    TSvgText(const TSvgText&) = delete;
    TSvgText& operator=(const TSvgText&) = delete;

    // The recorder attached to the surface Cr draws on, or null.
    static TSvgText* For(cairo_t* Cr);

    // Records a run of glyphs drawn on Cr in Font and Cr's source, and fills
    // its marker. False, with nothing drawn, when the run must be drawn by
    // Cairo instead: a source that is not one colour, an operator other
    // than OVER, or more runs than markers can number.
    bool Show(cairo_t* Cr, cairo_scaled_font_t* Font, const std::vector<cairo_glyph_t>& Glyphs);

    // Out becomes Document, Cairo's finished SVG of the surface, with the
    // markers replaced by the recorded glyphs and the outlines they use
    // added. False, with Out unchanged, when that cannot be done faithfully.
    bool Finish(const std::string& Document, std::string& Out) const;

    // The formatted outlines of one font, kept per thread (see the .cpp).
    struct TOutlines;

private:
    struct TRun {
        std::string Style;  // the enclosing group's style: fill and opacity
        std::shared_ptr<TOutlines> Font;
        std::vector<unsigned long> Glyphs;
        std::vector<double> Positions;  // x, y in device space, per glyph
    };
    cairo_surface_t* FSurface;
    std::vector<TRun> FRuns;
};

}  // namespace pv
