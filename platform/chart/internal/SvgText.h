#pragma once
// Text and plain fills for SVG documents drawn on Cairo's SVG surface.
//
// Cairo's SVG writer formats the outline of every glyph it uses anew in each
// document, which took two thirds of the time of a chart's SVG. The outlines of a
// font never change, so this keeps them formatted, per thread, and puts them
// into the document itself: while the chart is drawn, each run of glyphs is
// recorded and a marker rectangle is filled over its ink, in a colour
// that numbers the marker. Cairo writes the marker where the glyphs would have
// been, inside the same clip groups, so replacing each marker by the run's
// glyphs afterwards gives the document Cairo would have written, in the
// same order, with the same outlines.
//
// Fills in one colour are recorded the same way, as the path element Cairo
// writes for them, and a batch of runs and fills drawn one after another
// under one clip shares one marker: most of what Cairo would spend on a
// chart's bars, boxes and labels is formatting their numbers one by one.
//
// A marker Cairo dropped lay wholly outside the page or its clip, so what it
// stands for could not have been seen; a batch's marker covers all of its
// pieces, and the clip of a group still cuts each piece the group holds.
// Where Cairo had to fall back to a raster image, a marker may be inside the
// image, so Finish refuses the document and the caller draws it again with
// Cairo's own text and fills.

#include <cairo.h>

#include <functional>
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
    // its marker (in a batch: adds it to the batch). False, with the batch
    // flushed and nothing drawn, when the run must be drawn by Cairo
    // instead: a source that is not one colour, an operator other than
    // OVER, or more markers than their colours can number.
    bool Show(cairo_t* Cr, cairo_scaled_font_t* Font, const std::vector<cairo_glyph_t>& Glyphs);

    // Fills Cr's current path as cairo_fill would, and clears the path.
    // False, with the batch flushed and the path kept, when Cairo must fill
    // it itself, for the reasons Show gives.
    bool Fill(cairo_t* Cr);

    // While a batch is open on Cr (batches nest), runs and fills drawn on Cr
    // wait for Flush and then share one marker. Whoever opens one flushes
    // before drawing anything else on the surface and before changing the
    // clip. EndBatch flushes.
    void BeginBatch(cairo_t* Cr);
    void EndBatch(cairo_t* Cr) noexcept;
    // Fills the marker of what waits, if anything does. Cr's path, source
    // and transformation are as they were.
    void Flush(cairo_t* Cr) noexcept;

    // Out becomes Document, Cairo's finished SVG of the surface, with the
    // markers replaced by the recorded glyphs and fills, and the outlines
    // they use added. False, with Out unchanged, when that cannot be done
    // faithfully.
    bool Finish(const std::string& Document, std::string& Out) const;

    // Whether this process's Cairo writes its SVG in the words Finish reads:
    // a small document with a run of text and a fill is drawn once, the
    // first time this is asked, and must come through Finish. Where it does
    // not (a Cairo that spells its documents otherwise), charts' SVG is drawn
    // with Cairo's own text and fills from the start instead of being drawn
    // twice, once refused.
    static bool Usable();
    // The check Usable makes, with Cairo's document of the probe passed
    // through Respell before Finish reads it.
    static bool AcceptsProbe(const std::function<std::string(std::string)>& Respell);

    // The formatted outlines of one font, kept per thread (see the .cpp).
    struct TOutlines;

private:
    // A run of glyphs, or (without Font) a fill.
    struct TPiece {
        // A run: the enclosing group's style (fill and opacity). A fill:
        // its whole path element.
        std::string Style;
        std::shared_ptr<TOutlines> Font;
        std::vector<unsigned long> Glyphs;
        std::vector<double> Positions;  // x, y in device space, per glyph
    };
    // Adds Piece to what waits, whose marker then covers the device box
    // (X0, Y0)-(X1, Y1), and fills the marker unless a batch is open.
    void Add(cairo_t* Cr, TPiece Piece, double X0, double Y0, double X1, double Y1);
    bool CanRecord(cairo_t* Cr, double& R, double& G, double& B, double& A);

    cairo_surface_t* FSurface;
    std::vector<TPiece> FPieces;
    // Marker K stands for the pieces from FMarkers[K] up to the next
    // marker's first (or to FWaiting for the last).
    std::vector<std::size_t> FMarkers;
    // Per marker: whether any of it lay inside the clip and the page.
    std::vector<bool> FSeen;
    std::size_t FWaiting = 0;  // the first piece without a marker
    double FBox[4] = {0, 0, 0, 0};  // the waiting pieces' device box
    int FBatchDepth = 0;
    cairo_t* FBatchCr = nullptr;  // the context the open batch holds back for
    bool FLost = false;  // a marker could not be drawn as recorded
};

}  // namespace pv
