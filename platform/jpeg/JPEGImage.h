#pragma once
// TJPEGImage: a JPEG picture made from a bitmap.

#include <cstdint>
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
    // next copy of a bitmap; the current picture keeps its quality.
    std::uint8_t GetCompressionQuality() const { return FQuality; }
    void SetCompressionQuality(std::uint8_t Value) { FQuality = Value; }

    // From a TBitmap: takes it as the picture, to be encoded at the quality
    // set now. From another TJPEGImage: copies it.
    void Assign(const TPersistent& Source) override;
    // Writes the JPEG file's bytes at the stream's position. An empty picture
    // raises EInvalidGraphic.
    void SaveToStream(TStream& Stream) const override;
    const std::vector<std::uint8_t>& Encoded() const;

private:
    int FWidth = 0;
    int FHeight = 0;
    std::uint8_t FQuality = DefaultQuality;
    std::uint8_t FPictureQuality = DefaultQuality;
    TBitmap FSource;
    mutable std::vector<std::uint8_t> FEncoded;
    mutable bool FEncodedValid = false;
};

}  // namespace pv
