#pragma once
// TGIFImage: a GIF89a picture made from a bitmap.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/vcl/Bitmap.h"
#include "platform/vcl/Graphic.h"

namespace pv {

class TGIFImage : public TGraphic {
public:
    TGIFImage();
    ~TGIFImage() override;
    std::string_view ClassName() const override { return "TGIFImage"; }

    int GetWidth() const override { return FWidth; }
    int GetHeight() const override { return FHeight; }
    bool GetEmpty() const override { return FWidth == 0 || FHeight == 0; }

    // From a TBitmap: converts it to an indexed GIF picture. From another
    // TGIFImage: copies it.
    void Assign(const TPersistent& Source) override;
    // Writes the GIF file's bytes at the stream's position. An empty
    // picture raises EInvalidGraphic.
    void SaveToStream(TStream& Stream) const override;
    // The file's bytes (encoded at the first call after a copy, then reused).
    const std::vector<std::uint8_t>& Encoded() const;

private:
    int FWidth = 0;
    int FHeight = 0;
    TBitmap FSource;
    mutable std::vector<std::uint8_t> FEncoded;
    mutable bool FEncodedValid = false;
};

}  // namespace pv
