#pragma once
// The chart painter: draws a whole chart over the background of a bitmap.

// Cairo's surface type, declared as cairo.h declares it, so that this header
// needs no Cairo include path.
typedef struct _cairo_surface cairo_surface_t;

#include <vector>

#include "platform/chart/Hotspots.h"
#include "platform/chart/internal/DrawOptions.h"

namespace pv {

class TCustomChart;
class TBitmap;

// Draws Chart into Bitmap, which already holds the background colour and
// has the size to draw at: the chart's layout size times Scale. On a bitmap
// with alpha the chart's own background is left out. Options other than
// the defaults serve to compare pictures (DrawOptions.h).
void DrawChart(const TCustomChart& Chart, TBitmap& Bitmap, double Scale = 1, const TDrawOptions& Options = {});

// Whether DrawChart paints every pixel of a Width x Height bitmap at Scale
// with an opaque colour: a solid or gradient background whose edges fall on
// pixel boundaries. Such a bitmap needs no background filled first.
bool ChartCoversBitmap(const TCustomChart& Chart, int Width, int Height, double Scale);

// Draws Chart, Width x Height units laid out as on a bitmap and magnified by
// Scale, onto a vector surface (SVG or PDF) already filled with the
// background, or left empty and Transparent: then the chart's own background
// is left out as well.
void DrawChartScaledOnSurface(const TCustomChart& Chart, cairo_surface_t* Surface, int Width, int Height,
                              double Scale, bool Transparent = false);

// The areas of the points of Chart drawn by DrawChart into a bitmap of
// Width x Height pixels at Scale (HotspotGeometry.cpp).
std::vector<TChartHotspot> ChartHotspots(const TCustomChart& Chart, int Width, int Height, double Scale);

}  // namespace pv
