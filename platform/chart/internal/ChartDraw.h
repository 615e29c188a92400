#pragma once
// The chart painter: draws a whole chart over the background of a bitmap.

// Cairo's surface type, declared as cairo.h declares it, so that this header
// needs no Cairo include path.
typedef struct _cairo_surface cairo_surface_t;

namespace pv {

class TCustomChart;
class TBitmap;

// Draws Chart into Bitmap, which already holds the background colour and
// has the size to draw at: the chart's layout size times Scale.
void DrawChart(const TCustomChart& Chart, TBitmap& Bitmap, double Scale = 1);

// Draws Chart, Width x Height units laid out as on a bitmap and magnified by
// Scale, onto a vector surface (SVG or PDF) already filled with the
// background.
void DrawChartScaledOnSurface(const TCustomChart& Chart, cairo_surface_t* Surface, int Width, int Height,
                              double Scale);

}  // namespace pv
