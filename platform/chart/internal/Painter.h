#pragma once
// TPainter: a small drawing surface over a bitmap's pixels, on Cairo.
//
// The painter draws straight into a TBitmap (whose pixels are Cairo's RGB24
// layout), antialiased. Every colour it is given passes through one place,
// Plain(), which resolves system colours and, for a monochrome picture,
// turns the colour into its luminance grey, so nothing escapes in colour.
//
// On an SVG surface with text recording attached (see SvgText.h), text and
// fills in one colour are held back and go into the document together when
// the painter next draws anything else, changes the clip, saves or restores
// its state, hands out Cr(), or ends. So draw through the painter's methods
// (FillPath, StrokePath), or call Flush before drawing on a Cr() kept from
// before something was held back.

#include <cairo.h>

#include <cmath>
#include <optional>
#include <span>

#include "platform/chart/internal/TextEngine.h"
#include "platform/vcl/Bitmap.h"
#include "platform/vcl/Color.h"

namespace pv {

class TSvgText;

// A rectangle in pixels with fractional coordinates.
struct TRectF {
    double X = 0;
    double Y = 0;
    double W = 0;
    double H = 0;
    double Right() const { return X + W; }
    double Bottom() const { return Y + H; }
    double CenterX() const { return X + W / 2; }
    double CenterY() const { return Y + H / 2; }
    bool Empty() const { return !(W > 0 && H > 0); }
    // The rectangle moved inwards by D on every side (never below zero size).
    TRectF Inset(double D) const;
};

struct TPointF {
    double X = 0;
    double Y = 0;
};

struct TSegmentF {
    double X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
};

class TPainter {
public:
    // Draws on Bitmap's pixels until the painter is destroyed. With
    // Monochrome every colour is drawn as its grey. Scale (> 0) magnifies
    // everything drawn: the bitmap holds Width * Scale x Height * Scale
    // pixels, and the drawing works in its own unscaled units (Width(),
    // Height()), so a scaled picture is the same chart at a higher
    // resolution.
    TPainter(TBitmap& Bitmap, bool Monochrome, double Scale = 1);
    // The units a side of Pixels pixels spans at Scale, as the bitmap
    // painter counts them.
    static int UnitsFor(int Pixels, double Scale) { return static_cast<int>(std::lround(Pixels / Scale)); }
    // Draws on Surface (an SVG or PDF surface of Width x Height units,
    // referenced while the painter lives), scaled by Scale; Transparent
    // when it holds no background.
    TPainter(cairo_surface_t* Surface, int Width, int Height, bool Monochrome, double Scale = 1,
             bool Transparent = false);
    ~TPainter();
    TPainter(const TPainter&) = delete;
    TPainter& operator=(const TPainter&) = delete;

    // The Cairo context, with whatever was held back drawn first.
    cairo_t* Cr() const {
        Flush();
        return FCr;
    }
    // Draws what is held back, if anything.
    void Flush() const noexcept;
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    double Scale() const { return FScale; }
    bool Monochrome() const { return FMonochrome; }
    // Whether what is not drawn stays see-through: a bitmap with alpha, or
    // a vector surface without a background.
    bool Transparent() const { return FTransparent; }

    // The colour C draws as: system colours resolved, clDefault and clNone
    // as Fallback, grey when monochrome.
    TColor Plain(TColor C, TColor Fallback = clBlack) const;
    // Makes C (through Plain) the current source.
    void SetColor(TColor C, double Alpha = 1.0);

    void FillRect(const TRectF& R, TColor C);
    // A one-pixel frame just inside R, on whole pixels so it stays crisp.
    void FrameRect(const TRectF& R, TColor C);
    // Rectangles filled, or framed, as FillRect and FrameRect do each, in
    // one drawing operation; for rectangles that do not overlap, such as a
    // legend's swatches.
    void FillRects(std::span<const TRectF> Rects, TColor C);
    void FrameRects(std::span<const TRectF> Rects, TColor C);
    // A line of Width pixels; horizontal and vertical lines of odd width are
    // centred on pixel centres so they stay crisp.
    void Line(double X0, double Y0, double X1, double Y1, TColor C, double Width = 1);
    // Lines as Line draws each, stroked together: one drawing operation
    // (one element of a vector document) instead of one per line, for the
    // many short lines of a grid or an axis's ticks.
    void Lines(std::span<const TSegmentF> Segments, TColor C, double Width = 1);
    void FillPolygon(const TPointF* Points, int Count, TColor C);
    // Fills, or strokes, the path built on Cr() in the current source, and
    // clears it, as cairo_fill and cairo_stroke do.
    void FillPath();
    void StrokePath();
    // A vertical gradient over R from Top (first row) to Bottom (last row).
    void VerticalGradient(const TRectF& R, TColor Top, TColor Bottom);

    // Text with its top-left corner at (X, Y).
    void DrawText(const TTextLayout& L, double X, double Y, TColor C);
    // Text turned by Degrees (counter-clockwise on screen) about the centre
    // of its box, with that centre at (CX, CY).
    void DrawTextRotated(const TTextLayout& L, double CX, double CY, double Degrees, TColor C);

    // Clips all drawing to R until the innermost TPainterSave ends.
    void Clip(const TRectF& R);

private:
    void Begin();

    // The bitmap's pixels, written for as long as the painter lives.
    std::optional<TBitmap::TDrawing> FDrawing;
    cairo_surface_t* FSurface = nullptr;
    cairo_t* FCr = nullptr;
    TSvgText* FSvg = nullptr;  // the surface's text recording, or null
    int FWidth = 0;
    int FHeight = 0;
    bool FMonochrome = false;
    bool FTransparent = false;
    double FScale = 1;
};

// Saves the painter's state (source, clip, transformation, line settings)
// and restores it when the guard ends.
class TPainterSave {
public:
    explicit TPainterSave(TPainter& P) : FPainter(P) { cairo_save(P.Cr()); }
    ~TPainterSave() { cairo_restore(FPainter.Cr()); }
    TPainterSave(const TPainterSave&) = delete;
    TPainterSave& operator=(const TPainterSave&) = delete;

private:
    TPainter& FPainter;
};

}  // namespace pv
