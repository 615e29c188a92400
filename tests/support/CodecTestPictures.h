#pragma once
// Bitmaps the WebP and AVIF tests encode: every pixel different, flat areas
// and sharp edges as a chart has, and an opaque bitmap whose unused top byte
// is not 0xFF (as Cairo may leave it).

#include <cstdint>

#include "platform/vcl/Bitmap.h"

namespace pv::picture_tests {

inline void DrawChartLike(TBitmap& B, int W, int H, std::uint32_t TopByte = 0x00) {
    B.SetSize(W, H, clWhite);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) {
            std::uint32_t P = 0xFFFFFF;  // white background
            if (X > W / 4 && X < W / 2 && Y > H / 3) P = 0x2040C0;                // a bar
            if (Y == H - 5) P = 0x000000;                                         // an axis line
            if (X > W * 2 / 3) P = static_cast<std::uint32_t>((X * 7) << 16 | (Y * 5) << 8 | ((X + Y) & 0xFF));
            B.ScanLine(Y)[X] = (TopByte << 24) | (P & 0xFFFFFF);
        }
}

// A bitmap with alpha: see-through left half, a half-transparent red band
// (premultiplied), an opaque blue right part.
inline void DrawTranslucent(TBitmap& B, int W, int H) {
    B.SetSizeTransparent(W, H);
    for (int Y = 0; Y < H; ++Y)
        for (int X = W / 2; X < W; ++X) B.ScanLine(Y)[X] = X < W * 3 / 4 ? 0x80800000u : 0xFF0000FFu;
}

}  // namespace pv::picture_tests
