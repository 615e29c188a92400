#pragma once
// Plain geometry types.

namespace pv {

struct TPoint {
    int X = 0;
    int Y = 0;
};

// A rectangle; Right and Bottom are exclusive, so the width is Right - Left.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
};

inline TRect Rect(int Left, int Top, int Right, int Bottom) { return TRect{Left, Top, Right, Bottom}; }

}  // namespace pv
