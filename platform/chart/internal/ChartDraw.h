#pragma once
// The chart painter: draws a whole chart over the background of a bitmap.

namespace pv {

class TCustomChart;
class TBitmap;

// Draws Chart into Bitmap, which already holds the background colour and
// has the size to draw at.
void DrawChart(const TCustomChart& Chart, TBitmap& Bitmap);

}  // namespace pv
