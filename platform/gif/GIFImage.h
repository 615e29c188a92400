#pragma once
// TGIFImage: a GIF89a picture made from a bitmap.
//
// Taking a bitmap holds its pixels (shared with the bitmap, not copied) and
// reduces them to an indexed picture of at most 256 colours when the picture
// is first needed: its colour count or its bytes. The indices and the
// palette are kept then, not the pixels. The LZW encoding is made at the
// first write after a copy and reused until the next copy, so a caller that
// takes a bitmap but never writes the GIF pays for neither.
//
// Colour reduction (TColorReduction): a bitmap of at most 256 distinct
// colours keeps them all, so it survives a round trip pixel for pixel. A
// bitmap of more keeps its most frequent colours exact (the flat background,
// series, text and grid colours of a chart) and maps the rarer ones (mostly
// antialiased edges) to their nearest palette entry, without dithering, so
// flat areas stay flat.
//
// One object serves one thread at a time: writing fills a cache.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/vcl/Bitmap.h"
#include "platform/vcl/Graphic.h"

namespace pv {

class TColorReduction;
class TGifLzwEncoder;

class TGIFImage : public TGraphic {
public:
    TGIFImage();
    ~TGIFImage() override;
    std::string_view ClassName() const override { return "TGIFImage"; }

    int GetWidth() const override { return FWidth; }
    int GetHeight() const override { return FHeight; }
    bool GetEmpty() const override { return FWidth == 0 || FHeight == 0; }

    // From a TBitmap: converts it to an indexed GIF picture. From another
    // TGIFImage: copies it. Anything else raises EConvertError.
    void Assign(const TPersistent& Source) override;
    // Writes the GIF file's bytes at the stream's position. An empty
    // picture raises EInvalidGraphic, and so does any giflib failure (with
    // giflib's message); the stream is then left untouched.
    void SaveToStream(TStream& Stream) const override;
    // The file's bytes (encoded at the first call after a copy, then reused).
    // Same errors as SaveToStream.
    const std::vector<std::uint8_t>& Encoded() const;

    // The number of palette entries: a power of two from 2 to 256, or 0 for
    // an empty picture.
    int GetColorCount() const;

private:
    // Makes the indexed picture from the held pixels if that is still to do.
    void Reduce() const;
    void Encode() const;

    int FWidth = 0;
    int FHeight = 0;
    // The bitmap taken last while its reduction is still to do; empty
    // otherwise.
    mutable TBitmap FSource;
    mutable bool FReductionDue = false;
    // Palette entries as 0x00RRGGBB.
    mutable std::vector<std::uint32_t> FPalette;
    // One palette index per pixel, rows top-down.
    mutable std::vector<std::uint8_t> FIndices;
    mutable std::vector<std::uint8_t> FEncoded;
    mutable bool FEncodedValid = false;
    // The colour reduction and its tables, made at the first reduction and
    // kept, so that a picture refilled at every render allocates nothing in
    // the steady state.
    mutable std::unique_ptr<TColorReduction> FReducer;
    // The LZW compressor and its tables, made at the first write.
    mutable std::unique_ptr<TGifLzwEncoder> FEncoder;
};

}  // namespace pv
