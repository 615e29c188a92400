#include "platform/gif/GIFImage.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Stream.h"

namespace pv {

TGIFImage::TGIFImage() = default;
TGIFImage::~TGIFImage() = default;

void TGIFImage::Assign(const TPersistent& Source) {
    if (auto* B = dynamic_cast<const TBitmap*>(&Source)) {
        FSource.Assign(*B);
        FWidth = B->GetWidth();
        FHeight = B->GetHeight();
        FEncodedValid = false;
        return;
    }
    TGraphic::Assign(Source);
}

const std::vector<std::uint8_t>& TGIFImage::Encoded() const {
    throw EInvalidGraphic("GIF encoding is not available yet");
}

void TGIFImage::SaveToStream(TStream& Stream) const {
    const auto& Bytes = Encoded();
    Stream.WriteBuffer(Bytes.data(), Bytes.size());
}

}  // namespace pv
