#pragma once
// TJPEGImage: a JPEG picture made from a bitmap.
//
// Taking a bitmap keeps a copy of its pixels and the quality set at that
// moment; the JPEG encoding is made at the first write after the copy and
// reused until the next copy, so a caller that never writes the JPEG pays
// for no encoding. Encoding keeps full colour resolution (4:4:4, no chroma
// subsampling), so thin coloured lines and small text stay sharp.
//
// One object serves one thread at a time: writing fills a cache. Objects on
// different threads share nothing.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/vcl/Bitmap.h"
#include "platform/vcl/Graphic.h"

namespace pv {

class TJPEGImage : public TGraphic {
public:
    // The default compression quality.
    static constexpr std::uint8_t DefaultQuality = 90;

    TJPEGImage();
    ~TJPEGImage() override;
    std::string_view ClassName() const override { return "TJPEGImage"; }

    int GetWidth() const override { return FWidth; }
    int GetHeight() const override { return FHeight; }
    bool GetEmpty() const override { return FWidth == 0 || FHeight == 0; }

    // Quality 1..100 (0 is taken as 1, above 100 as 100). It applies to the
    // next copy of a bitmap; the current picture keeps its quality. The
    // getter returns the value as set.
    std::uint8_t GetCompressionQuality() const { return FQuality; }
    void SetCompressionQuality(std::uint8_t Value) { FQuality = Value; }

    // From a TBitmap: takes a copy of it as the picture, to be encoded at the
    // quality set now. From another TJPEGImage: copies its picture, its
    // encoding and its quality setting. Anything else raises EConvertError.
    void Assign(const TPersistent& Source) override;
    // Writes the JPEG file's bytes at the stream's position. An empty picture
    // raises EInvalidGraphic, and so does a TurboJPEG failure (with its
    // message); the stream is then left untouched.
    void SaveToStream(TStream& Stream) const override;
    // The file's bytes (encoded at the first call after a copy, then reused).
    // Same errors as SaveToStream.
    const std::vector<std::uint8_t>& Encoded() const;

private:
    // The TurboJPEG compressor and its output buffer, made at the first
    // encoding and kept for the object's life.
    struct TEncoder;

    void Encode() const;

    int FWidth = 0;
    int FHeight = 0;
    std::uint8_t FQuality = DefaultQuality;
    // The quality the current picture is encoded at, already clamped.
    std::uint8_t FPictureQuality = DefaultQuality;
    TBitmap FSource;
    mutable std::vector<std::uint8_t> FEncoded;
    mutable bool FEncodedValid = false;
    mutable std::unique_ptr<TEncoder> FEncoder;
};

}  // namespace pv
