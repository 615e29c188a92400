#pragma once
// The package's pictures, drawn while the package is compiled: the palette
// glyph of TNorq_DBPlotvane (24 x 24) and the package icon (32 x 32), both
// in 4 bits a pixel over the 16 standard colours, encoded as device-
// independent bitmaps the way bitmap and icon resources hold them.

#include <array>
#include <cstdint>
#include <vector>

#include "platform/rtl/ByteBuffer.h"

namespace VCL_Norq_Plotvane {

// Indexes into the 16 standard colours.
enum TStdColor : std::uint8_t {
    scBlack, scMaroon, scGreen, scOlive, scNavy, scPurple, scTeal, scGray,
    scSilver, scRed, scLime, scYellow, scBlue, scFuchsia, scAqua, scWhite,
};

// The 16 standard colours as 0xRRGGBB, in index order.
inline constexpr std::array<std::uint32_t, 16> StandardColors{
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0x808080,
    0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

// A W x H picture of colour indexes with a transparency mask; (0, 0) is the
// top left. Everything drawn is opaque.
template <int W, int H>
struct TIndexCanvas {
    std::array<std::uint8_t, W * H> Pixels{};
    std::array<bool, W * H> Opaque{};

    constexpr void Set(int X, int Y, std::uint8_t C) {
        if (X < 0 || Y < 0 || X >= W || Y >= H) return;
        Pixels[Y * W + X] = C;
        Opaque[Y * W + X] = true;
    }
    constexpr std::uint8_t At(int X, int Y) const { return Pixels[Y * W + X]; }
    // Inclusive corners.
    constexpr void FillRect(int X0, int Y0, int X1, int Y1, std::uint8_t C) {
        for (int Y = Y0; Y <= Y1; ++Y)
            for (int X = X0; X <= X1; ++X) Set(X, Y, C);
    }
    constexpr void FrameRect(int X0, int Y0, int X1, int Y1, std::uint8_t C) {
        for (int X = X0; X <= X1; ++X) {
            Set(X, Y0, C);
            Set(X, Y1, C);
        }
        for (int Y = Y0; Y <= Y1; ++Y) {
            Set(X0, Y, C);
            Set(X1, Y, C);
        }
    }
    // Bresenham's line, both ends included.
    constexpr void Line(int X0, int Y0, int X1, int Y1, std::uint8_t C) {
        const int Dx = X1 > X0 ? X1 - X0 : X0 - X1;
        const int Dy = Y1 > Y0 ? Y0 - Y1 : Y1 - Y0;
        const int Sx = X0 < X1 ? 1 : -1;
        const int Sy = Y0 < Y1 ? 1 : -1;
        int Err = Dx + Dy;
        for (;;) {
            Set(X0, Y0, C);
            if (X0 == X1 && Y0 == Y1) break;
            const int E2 = 2 * Err;
            if (E2 >= Dy) {
                Err += Dy;
                X0 += Sx;
            }
            if (E2 <= Dx) {
                Err += Dx;
                Y0 += Sy;
            }
        }
    }
    // Whether the centre of pixel (X, Y) lies in the ellipse around the
    // centre of pixel (Cx, Cy) with half axes Rx + 1/2 and Ry + 1/2, so the
    // ellipse spans 2 Rx + 1 by 2 Ry + 1 pixels.
    static constexpr bool InEllipse(int X, int Y, int Cx, int Cy, int Rx, int Ry) {
        const long Dx = X - Cx;
        const long Dy = Y - Cy;
        const long Ax = 2L * Rx + 1;
        const long Ay = 2L * Ry + 1;
        return 4 * (Dx * Dx * Ay * Ay + Dy * Dy * Ax * Ax) <= Ax * Ax * Ay * Ay;
    }
    constexpr void FillEllipse(int Cx, int Cy, int Rx, int Ry, std::uint8_t C) {
        for (int Y = Cy - Ry; Y <= Cy + Ry; ++Y)
            for (int X = Cx - Rx; X <= Cx + Rx; ++X)
                if (InEllipse(X, Y, Cx, Cy, Rx, Ry)) Set(X, Y, C);
    }
    // The pixels of the ellipse that touch its outside.
    constexpr void FrameEllipse(int Cx, int Cy, int Rx, int Ry, std::uint8_t C) {
        for (int Y = Cy - Ry; Y <= Cy + Ry; ++Y)
            for (int X = Cx - Rx; X <= Cx + Rx; ++X)
                if (InEllipse(X, Y, Cx, Cy, Rx, Ry) &&
                    (!InEllipse(X - 1, Y, Cx, Cy, Rx, Ry) || !InEllipse(X + 1, Y, Cx, Cy, Rx, Ry) ||
                     !InEllipse(X, Y - 1, Cx, Cy, Rx, Ry) || !InEllipse(X, Y + 1, Cx, Cy, Rx, Ry)))
                    Set(X, Y, C);
    }
};

// A 4-bit DIB: BITMAPINFOHEADER (40 bytes), the 16 standard colours as
// blue-green-red-zero quads, then the rows bottom-up, each padded to a
// multiple of 4 bytes, the left pixel in the high nibble. With WithMask the
// header's height is doubled and an AND mask follows, one bit a pixel (1:
// transparent), rows bottom-up and padded likewise, as icon resources have
// it; transparent pixels are black in the colour rows.
template <int W, int H>
constexpr std::vector<std::uint8_t> EncodeDib4(const TIndexCanvas<W, H>& C, bool WithMask) {
    constexpr int RowBytes = ((W * 4 + 31) / 32) * 4;
    constexpr int MaskRowBytes = ((W + 31) / 32) * 4;
    pv::TByteWriter Out;
    Out.U32(40);
    Out.I32(W);
    Out.I32(WithMask ? 2 * H : H);
    Out.U16(1);  // planes
    Out.U16(4);  // bits a pixel
    Out.U32(0);  // BI_RGB
    Out.U32(static_cast<std::uint32_t>(RowBytes * H + (WithMask ? MaskRowBytes * H : 0)));
    Out.I32(0);   // horizontal resolution: unspecified
    Out.I32(0);   // vertical resolution: unspecified
    Out.U32(16);  // colours used
    Out.U32(0);   // all colours important
    for (std::uint32_t Rgb : StandardColors) {
        Out.U8(static_cast<std::uint8_t>(Rgb));
        Out.U8(static_cast<std::uint8_t>(Rgb >> 8));
        Out.U8(static_cast<std::uint8_t>(Rgb >> 16));
        Out.U8(0);
    }
    for (int Y = H - 1; Y >= 0; --Y) {
        for (int X = 0; X < W; X += 2) {
            auto Px = [&](int Xi) -> std::uint8_t {
                if (Xi >= W || (WithMask && !C.Opaque[Y * W + Xi])) return 0;
                return C.At(Xi, Y) & 0x0F;
            };
            Out.U8(static_cast<std::uint8_t>(Px(X) << 4 | Px(X + 1)));
        }
        Out.Zeros(static_cast<std::size_t>(RowBytes - (W + 1) / 2));
    }
    if (WithMask) {
        for (int Y = H - 1; Y >= 0; --Y) {
            for (int X = 0; X < MaskRowBytes * 8; X += 8) {
                std::uint8_t B = 0;
                for (int K = 0; K < 8; ++K)
                    if (X + K < W && !C.Opaque[Y * W + X + K]) B |= static_cast<std::uint8_t>(0x80 >> K);
                Out.U8(B);
            }
        }
    }
    return Out.Take();
}

// The palette glyph of TNorq_DBPlotvane: four upright bars (red, green,
// yellow, magenta) in front of a table grid and a globe, on olive.
constexpr TIndexCanvas<24, 24> DrawPaletteGlyph() {
    TIndexCanvas<24, 24> C;
    C.FillRect(0, 0, 23, 23, scOlive);
    // The table: a header row and a 3 x 3 grid of cells.
    C.FillRect(1, 1, 13, 12, scWhite);
    C.FillRect(2, 2, 12, 3, scNavy);
    for (int Y : {6, 9}) C.Line(2, Y, 12, Y, scGray);
    for (int X : {5, 9}) C.Line(X, 4, X, 11, scGray);
    C.FrameRect(1, 1, 13, 12, scBlack);
    // The globe, a little in front of the table's right edge: sea, two
    // continents, one meridian and the rim.
    C.FillEllipse(18, 7, 5, 5, scBlue);
    C.FrameEllipse(18, 7, 2, 5, scAqua);
    C.FillRect(14, 4, 16, 6, scGreen);
    C.FillRect(15, 7, 16, 8, scGreen);
    C.Set(17, 4, scGreen);
    C.FillRect(19, 8, 21, 10, scGreen);
    C.Set(20, 11, scGreen);
    C.Set(22, 8, scGreen);
    C.FrameEllipse(18, 7, 5, 5, scNavy);
    // The bars stand on a common base line, each with a black outline.
    struct TBar {
        int Left;
        int Top;
        std::uint8_t Color;
    };
    for (const TBar& B : {TBar{2, 13, scRed}, TBar{7, 8, scLime}, TBar{12, 15, scYellow}, TBar{17, 11, scFuchsia}}) {
        C.FillRect(B.Left, B.Top, B.Left + 3, 22, B.Color);
        C.FrameRect(B.Left, B.Top, B.Left + 3, 22, scBlack);
    }
    C.Line(0, 22, 23, 22, scBlack);
    return C;
}

// The package icon: a chart card with a title band, four bars and the
// trend through their tops, on a transparent background.
constexpr TIndexCanvas<32, 32> DrawPackageIcon() {
    TIndexCanvas<32, 32> C;
    // The card, its corners rounded: each corner pixel left out and the
    // outline moved one step in.
    C.FillRect(2, 2, 29, 29, scWhite);
    C.FillRect(3, 3, 28, 8, scBlue);
    C.FrameRect(2, 2, 29, 29, scBlack);
    for (auto [X, Y] : {std::array<int, 2>{2, 2}, {29, 2}, {2, 29}, {29, 29}}) {
        C.Opaque[Y * 32 + X] = false;
        C.Pixels[Y * 32 + X] = scBlack;
        C.Set(X == 2 ? X + 1 : X - 1, Y == 2 ? Y + 1 : Y - 1, scBlack);
    }
    // The title: a white line of "text".
    C.Line(5, 5, 17, 5, scWhite);
    C.Line(5, 6, 12, 6, scAqua);
    // The grid and the axes.
    for (int Y : {12, 17, 22}) C.Line(6, Y, 27, Y, scSilver);
    C.Line(5, 10, 5, 26, scBlack);
    C.Line(5, 26, 27, 26, scBlack);
    struct TBar {
        int Left;
        int Top;
        std::uint8_t Color;
    };
    const TBar Bars[] = {{7, 19, scRed}, {12, 13, scLime}, {17, 21, scYellow}, {22, 15, scFuchsia}};
    for (const TBar& B : Bars) {
        C.FillRect(B.Left, B.Top, B.Left + 3, 25, B.Color);
        C.FrameRect(B.Left, B.Top, B.Left + 3, 25, scBlack);
    }
    // The trend through the bars' tops, with a point on each.
    for (int I = 0; I + 1 < 4; ++I)
        C.Line(Bars[I].Left + 1, Bars[I].Top - 3, Bars[I + 1].Left + 1, Bars[I + 1].Top - 3, scNavy);
    for (const TBar& B : Bars) C.FillRect(B.Left, B.Top - 4, B.Left + 2, B.Top - 2, scNavy);
    return C;
}

}  // namespace VCL_Norq_Plotvane
