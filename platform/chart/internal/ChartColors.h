#pragma once
// Colour helpers of the chart painter: the automatic palette, shading of
// 3D faces and the grey of monochrome charts. All take and give plain
// $00BBGGRR colours.

#include "platform/vcl/Color.h"

namespace pv {

// The automatic colour number Index (>= 0): ten well separated colours
// first, then further hues around the colour wheel at the golden angle, so
// neighbouring points always differ.
TColor AutoColor(int Index);

// C with each channel scaled by Factor (< 1 darkens, towards black) or, for
// Factor > 1, moved towards white by Factor - 1.
TColor Shade(TColor C, double Factor);

// The grey of C's luminance (0.299 R + 0.587 G + 0.114 B).
TColor LuminanceGrey(TColor C);

}  // namespace pv
