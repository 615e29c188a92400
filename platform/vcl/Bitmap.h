#pragma once
// TBitmap: a 32-bit picture held in memory.
//
// Pixels are 32-bit words 0xFFRRGGBB in native byte order, rows top-down
// with no padding, which is Cairo's RGB24/ARGB32 layout, so a painter can
// draw straight into the pixels. A bitmap with alpha (SetSizeTransparent)
// holds 0xAARRGGBB words with the colour premultiplied by the alpha, as
// Cairo's ARGB32 does.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/vcl/Color.h"
#include "platform/vcl/Graphic.h"

namespace pv {

// Pixel words that several bitmaps may hold at once, with a count of
// holders. Unlike a shared pointer's use count, the check for other holders
// synchronises with their letting go, so a holder that finds itself alone
// may write without racing the reads others made before.
class TPixelStore {
public:
    TPixelStore() = default;
    // Count words, left unset.
    explicit TPixelStore(std::size_t Count)
        : FBlock(new TBlock{{1}, Count, std::make_unique_for_overwrite<std::uint32_t[]>(Count)}) {}
    TPixelStore(const TPixelStore& Other) noexcept : FBlock(Other.FBlock) { Hold(); }
    TPixelStore(TPixelStore&& Other) noexcept : FBlock(Other.FBlock) { Other.FBlock = nullptr; }
    TPixelStore& operator=(TPixelStore Other) noexcept {
        std::swap(FBlock, Other.FBlock);
        return *this;
    }
    ~TPixelStore() {
        if (FBlock && FBlock->Holders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete FBlock;
    }

    std::uint32_t* get() const { return FBlock ? FBlock->Words.get() : nullptr; }
    // The number of words.
    std::size_t size() const { return FBlock ? FBlock->Count : 0; }
    // Whether another holder has these words too.
    bool Shared() const { return FBlock && FBlock->Holders.load(std::memory_order_acquire) > 1; }

private:
    struct TBlock {
        std::atomic<std::size_t> Holders;
        std::size_t Count;
        std::unique_ptr<std::uint32_t[]> Words;
    };
    void Hold() {
        if (FBlock) FBlock->Holders.fetch_add(1, std::memory_order_relaxed);
    }
    TBlock* FBlock = nullptr;
};

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
    // Resizes as SetSize does, to a bitmap with alpha whose every pixel is
    // transparent (0x00000000), for a painter that leaves what it does not
    // draw see-through. SetSize, SetSizeForDrawing and Fill make a bitmap
    // opaque again.
    void SetSizeTransparent(int AWidth, int AHeight);
    // Whether the pixels carry alpha; PNG keeps it, the other pictures draw
    // such a bitmap over black.
    bool HasAlpha() const { return FAlpha; }
    // Fills every pixel with a plain colour (system colours resolved).
    void Fill(TColor Color);

    // Pixel words, row after row, to read.
    const std::uint32_t* Pixels() const { return FBuffer.get(); }
    std::span<const std::uint32_t> PixelSpan() const { return {FBuffer.get(), PixelCount()}; }
    const std::uint32_t* ScanLine(int Y) const { return Pixels() + static_cast<std::size_t>(Y) * FWidth; }
    // Pixel words to write. Whoever holds such a pointer may write through
    // it at any later time, so from then on this bitmap never shares its
    // pixels: assigning it to another bitmap, or another to it, copies them.
    std::uint32_t* Pixels();
    std::uint32_t* ScanLine(int Y) { return Pixels() + static_cast<std::size_t>(Y) * FWidth; }
    int Stride() const { return FWidth * 4; }

    // Write access to the pixels for as long as the guard lives, for a
    // painter that draws straight into them. While it lives the bitmap
    // shares its pixels with no other; once it ends, assigning the bitmap
    // shares them again.
    class TDrawing {
    public:
        explicit TDrawing(TBitmap& Bitmap);
        ~TDrawing() { --FBitmap.FDrawings; }
        TDrawing(const TDrawing&) = delete;
        TDrawing& operator=(const TDrawing&) = delete;
        std::uint32_t* Pixels() const { return FPixels; }

    private:
        TBitmap& FBitmap;
        std::uint32_t* FPixels;
    };

    // The pixel at (X, Y) as a TColor ($00BBGGRR). Out of range: EInvalidGraphic.
    TColor GetPixel(int X, int Y) const;
    void SetPixel(int X, int Y, TColor Color);

    // Another bitmap's size and pixels. The two share the pixels until
    // either is written to (a copy is taken then), so handing a picture on
    // costs nothing; to the caller they are independent copies.
    void Assign(const TPersistent& Source) override;

    // Writes a Windows BMP file (24 bits a pixel, bottom-up rows).
    void SaveToStream(TStream& Stream) const override;
    // Writes a PNG file through Cairo; raises EInvalidGraphic naming the
    // file when it cannot be written.
    void SaveToPNGFile(const std::string& FileName) const;
    // PNG bytes, for callers that write files themselves: 8-bit RGB, or
    // RGBA (not premultiplied) for a bitmap with alpha.
    std::vector<std::uint8_t> EncodePNG() const;

    static std::uint32_t ToPixel(TColor C) {
        C = ColorToRGB(C);
        return 0xFF000000u | (GetRValue(C) << 16) | (GetGValue(C) << 8) | GetBValue(C);
    }
    static TColor FromPixel(std::uint32_t P) { return RGB((P >> 16) & 0xFF, (P >> 8) & 0xFF, P & 0xFF); }

private:
    // SetSize, with the pixels filled with Fill or left as they are.
    void Resize(int AWidth, int AHeight, std::optional<std::uint32_t> Fill);
    std::size_t PixelCount() const { return static_cast<std::size_t>(FWidth) * static_cast<std::size_t>(FHeight); }
    // Whether these pixels may be handed to or taken from another bitmap.
    bool Shareable() const { return !FExposed && FDrawings == 0; }
    // Makes room for Count pixels, keeping the storage when it is not
    // shared and large enough but not far too large (or a writable pointer
    // into it is out). The pixels' values are unspecified afterwards unless
    // the storage was kept.
    void Reserve(std::size_t Count);
    // Takes a copy of shared pixels, so they can be written.
    void Own();

    int FWidth = 0;
    int FHeight = 0;
    // The pixels, possibly shared with bitmaps assigned from this one or
    // with this one's source; at least FWidth x FHeight words.
    TPixelStore FBuffer;
    // Live TDrawing guards, and whether a writable pointer was handed out.
    int FDrawings = 0;
    bool FExposed = false;
    // The pixels are premultiplied ARGB (SetSizeTransparent).
    bool FAlpha = false;
};

}  // namespace pv
