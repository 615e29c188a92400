#pragma once
// TBitmap: a 32-bit picture held in memory.
//
// Pixels are 32-bit words 0xFFRRGGBB in native byte order, rows top-down
// with no padding, which is Cairo's RGB24/ARGB32 layout, so a painter can
// draw straight into the pixels.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/vcl/Color.h"
#include "platform/vcl/Graphic.h"

namespace pv {

class TBitmap : public TGraphic {
public:
    // The largest bitmap the platform allocates: 16 384 pixels a side and
    // 2^24 (about 16.8 million) pixels in all.
    static constexpr int MaxSide = 16384;
    static constexpr std::int64_t MaxPixels = 16777216;

    TBitmap() = default;
    TBitmap(int AWidth, int AHeight, TColor Fill = clWhite);
    std::string_view ClassName() const override { return "TBitmap"; }

    int GetWidth() const override { return FWidth; }
    int GetHeight() const override { return FHeight; }
    bool GetEmpty() const override { return FWidth == 0 || FHeight == 0; }

    // Resizes to AWidth x AHeight filled with Fill. A negative side or a size
    // beyond MaxSide/MaxPixels raises EInvalidGraphic naming the size, and
    // the bitmap keeps what it had.
    void SetSize(int AWidth, int AHeight, TColor Fill = clWhite);
    // Resizes as SetSize does but sets no pixel: what they hold is left
    // unspecified, for a painter that draws over every one of them.
    void SetSizeForDrawing(int AWidth, int AHeight);
    // Fills every pixel with a plain colour (system colours resolved).
    void Fill(TColor Color);

    // Pixel words, row after row.
    std::uint32_t* Pixels() { return FPixels.data(); }
    const std::uint32_t* Pixels() const { return FPixels.data(); }
    std::span<const std::uint32_t> PixelSpan() const { return FPixels; }
    std::uint32_t* ScanLine(int Y) { return FPixels.data() + static_cast<std::size_t>(Y) * FWidth; }
    const std::uint32_t* ScanLine(int Y) const { return FPixels.data() + static_cast<std::size_t>(Y) * FWidth; }
    int Stride() const { return FWidth * 4; }

    // The pixel at (X, Y) as a TColor ($00BBGGRR). Out of range: EInvalidGraphic.
    TColor GetPixel(int X, int Y) const;
    void SetPixel(int X, int Y, TColor Color);

    // An independent copy of another bitmap's size and pixels.
    void Assign(const TPersistent& Source) override;

    // Writes a Windows BMP file (24 bits a pixel, bottom-up rows).
    void SaveToStream(TStream& Stream) const override;
    // Writes a PNG file through Cairo; raises EInvalidGraphic naming the
    // file when it cannot be written.
    void SaveToPNGFile(const std::string& FileName) const;
    // PNG bytes, for callers that write files themselves.
    std::vector<std::uint8_t> EncodePNG() const;

    static std::uint32_t ToPixel(TColor C) {
        C = ColorToRGB(C);
        return 0xFF000000u | (GetRValue(C) << 16) | (GetGValue(C) << 8) | GetBValue(C);
    }
    static TColor FromPixel(std::uint32_t P) { return RGB((P >> 16) & 0xFF, (P >> 8) & 0xFF, P & 0xFF); }

private:
    // SetSize, with the pixels filled with Fill or left as they are.
    void Resize(int AWidth, int AHeight, std::optional<std::uint32_t> Fill);

    int FWidth = 0;
    int FHeight = 0;
    std::vector<std::uint32_t> FPixels;
};

}  // namespace pv
