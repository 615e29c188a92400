#include "platform/chart/internal/Painter.h"

#include <algorithm>
#include <cmath>

#include "platform/chart/internal/ChartColors.h"
#include "platform/chart/internal/SvgText.h"
#include "platform/rtl/Exception.h"
#include "platform/vcl/Bitmap.h"

namespace pv {

TRectF TRectF::Inset(double D) const {
    TRectF R{X + D, Y + D, W - 2 * D, H - 2 * D};
    if (R.W < 0) R.X = CenterX(), R.W = 0;
    if (R.H < 0) R.Y = CenterY(), R.H = 0;
    return R;
}

TPainter::TPainter(TBitmap& Bitmap, bool Monochrome, double Scale)
    : FWidth(UnitsFor(Bitmap.GetWidth(), Scale)),
      FHeight(UnitsFor(Bitmap.GetHeight(), Scale)),
      FMonochrome(Monochrome),
      FTransparent(Bitmap.HasAlpha()),
      FScale(Scale) {
    FDrawing.emplace(Bitmap);
    FSurface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(FDrawing->Pixels()),
                                                   FTransparent ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24,
                                                   Bitmap.GetWidth(), Bitmap.GetHeight(), Bitmap.Stride());
    Begin();
}

TPainter::TPainter(cairo_surface_t* Surface, int Width, int Height, bool Monochrome, double Scale,
                   bool Transparent)
    : FSurface(cairo_surface_reference(Surface)), FWidth(Width), FHeight(Height), FMonochrome(Monochrome),
      FTransparent(Transparent), FScale(Scale) {
    Begin();
}

void TPainter::Begin() {
    FCr = cairo_create(FSurface);
    if (cairo_status(FCr) != CAIRO_STATUS_SUCCESS) {
        const std::string Why = cairo_status_to_string(cairo_status(FCr));
        cairo_destroy(FCr);
        cairo_surface_destroy(FSurface);
        throw EInvalidGraphic("Cannot draw on a surface of " + std::to_string(FWidth) + " x " +
                              std::to_string(FHeight) + " at scale " + std::to_string(FScale) + ": " + Why);
    }
    // Everything drawn while the painter lives is one batch of the
    // surface's text recording, held back between other drawing.
    FSvg = TSvgText::For(FCr);
    if (FSvg) FSvg->BeginBatch(FCr);
    // One transformation scales everything: lines, text, bevels and depth.
    if (FScale != 1) cairo_scale(FCr, FScale, FScale);
    cairo_set_antialias(FCr, CAIRO_ANTIALIAS_GOOD);
    cairo_set_line_join(FCr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(FCr, CAIRO_LINE_CAP_BUTT);
}

TPainter::~TPainter() {
    if (FSvg) FSvg->EndBatch(FCr);
    cairo_destroy(FCr);
    cairo_surface_flush(FSurface);
    cairo_surface_destroy(FSurface);
}

void TPainter::Flush() const noexcept {
    if (FSvg) FSvg->Flush(FCr);
}

void TPainter::FillPath() {
    if (FSvg && FSvg->Fill(FCr)) return;
    cairo_fill(FCr);
}

void TPainter::StrokePath() {
    Flush();
    cairo_stroke(FCr);
}

TColor TPainter::Plain(TColor C, TColor Fallback) const {
    const TColor P = ColorToRGB(C, Fallback);
    return FMonochrome ? LuminanceGrey(P) : P;
}

void TPainter::SetColor(TColor C, double Alpha) {
    const TColor P = Plain(C);
    const double R = GetRValue(P) / 255.0, G = GetGValue(P) / 255.0, B = GetBValue(P) / 255.0;
    if (Alpha >= 1)
        cairo_set_source_rgb(FCr, R, G, B);
    else
        cairo_set_source_rgba(FCr, R, G, B, Alpha);
}

void TPainter::FillRect(const TRectF& R, TColor C) { FillRects({&R, 1}, C); }

void TPainter::FillRects(std::span<const TRectF> Rects, TColor C) {
    bool Any = false;
    for (const TRectF& R : Rects) {
        if (R.Empty()) continue;
        cairo_rectangle(FCr, R.X, R.Y, R.W, R.H);
        Any = true;
    }
    if (!Any) return;
    SetColor(C);
    FillPath();
}

void TPainter::FrameRect(const TRectF& R, TColor C) { FrameRects({&R, 1}, C); }

void TPainter::FrameRects(std::span<const TRectF> Rects, TColor C) {
    bool Any = false;
    for (const TRectF& R : Rects) {
        const double L = std::round(R.X), T = std::round(R.Y);
        const double W = std::round(R.Right()) - L, H = std::round(R.Bottom()) - T;
        if (W < 1 || H < 1) continue;
        cairo_rectangle(FCr, L, T, W, H);
        if (W >= 2 && H >= 2) cairo_rectangle(FCr, L + W - 1, T + 1, -(W - 2), H - 2);  // reversed: a hole
        Any = true;
    }
    if (!Any) return;
    SetColor(C);
    FillPath();
}

void TPainter::Line(double X0, double Y0, double X1, double Y1, TColor C, double Width) {
    const TSegmentF One{X0, Y0, X1, Y1};
    Lines({&One, 1}, C, Width);
}

void TPainter::Lines(std::span<const TSegmentF> Segments, TColor C, double Width) {
    if (Segments.empty()) return;
    SetColor(C);
    const bool Odd = std::fmod(std::round(Width), 2.0) == 1.0;
    cairo_set_line_width(FCr, Width);
    for (TSegmentF S : Segments) {
        if (Odd && S.X0 == S.X1) S.X0 = S.X1 = std::floor(S.X0) + 0.5;
        if (Odd && S.Y0 == S.Y1) S.Y0 = S.Y1 = std::floor(S.Y0) + 0.5;
        cairo_move_to(FCr, S.X0, S.Y0);
        cairo_line_to(FCr, S.X1, S.Y1);
    }
    StrokePath();
}

void TPainter::FillPolygon(const TPointF* Points, int Count, TColor C) {
    if (Count < 3) return;
    SetColor(C);
    cairo_move_to(FCr, Points[0].X, Points[0].Y);
    for (int I = 1; I < Count; ++I) cairo_line_to(FCr, Points[I].X, Points[I].Y);
    cairo_close_path(FCr);
    FillPath();
}

void TPainter::VerticalGradient(const TRectF& R, TColor Top, TColor Bottom) {
    if (R.Empty()) return;
    const TColor A = Plain(Top, clWhite), B = Plain(Bottom, clWhite);
    cairo_pattern_t* P = cairo_pattern_create_linear(0, R.Y, 0, R.Bottom());
    cairo_pattern_add_color_stop_rgb(P, 0, GetRValue(A) / 255.0, GetGValue(A) / 255.0, GetBValue(A) / 255.0);
    cairo_pattern_add_color_stop_rgb(P, 1, GetRValue(B) / 255.0, GetGValue(B) / 255.0, GetBValue(B) / 255.0);
    cairo_set_source(FCr, P);
    cairo_rectangle(FCr, R.X, R.Y, R.W, R.H);
    FillPath();
    cairo_pattern_destroy(P);
}

void TPainter::DrawText(const TTextLayout& L, double X, double Y, TColor C) {
    SetColor(C);
    // Whole-pixel origins keep hinted glyphs sharp.
    L.Draw(FCr, std::round(X), std::round(Y));
}

void TPainter::DrawTextRotated(const TTextLayout& L, double CX, double CY, double Degrees, TColor C) {
    // The clip stays as it is, so what is held back may stay so.
    cairo_save(FCr);
    SetColor(C);
    cairo_translate(FCr, std::round(CX), std::round(CY));
    cairo_rotate(FCr, -Degrees * M_PI / 180.0);
    L.Draw(FCr, std::round(-L.Width() / 2), std::round(-L.Height() / 2));
    cairo_restore(FCr);
}

void TPainter::Clip(const TRectF& R) {
    Flush();
    cairo_rectangle(FCr, R.X, R.Y, std::max(0.0, R.W), std::max(0.0, R.H));
    cairo_clip(FCr);
}

}  // namespace pv
