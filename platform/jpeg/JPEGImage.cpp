#include "platform/jpeg/JPEGImage.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Stream.h"

namespace pv {

TJPEGImage::TJPEGImage() = default;
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::Assign(const TPersistent& Source) {
    if (auto* B = dynamic_cast<const TBitmap*>(&Source)) {
        FSource.Assign(*B);
        FWidth = B->GetWidth();
        FHeight = B->GetHeight();
        FPictureQuality = FQuality;
        FEncodedValid = false;
        return;
    }
    TGraphic::Assign(Source);
}

const std::vector<std::uint8_t>& TJPEGImage::Encoded() const {
    throw EInvalidGraphic("JPEG encoding is not available yet");
}

void TJPEGImage::SaveToStream(TStream& Stream) const {
    const auto& Bytes = Encoded();
    Stream.WriteBuffer(Bytes.data(), Bytes.size());
}

}  // namespace pv
