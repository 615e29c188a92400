#include "platform/jpeg/JPEGImage.h"

#include <turbojpeg.h>

#include <algorithm>
#include <bit>
#include <string>

#include "platform/rtl/Exception.h"
#include "platform/rtl/Stream.h"

namespace pv {

namespace {

// A bitmap pixel is the word 0xFFRRGGBB, so its bytes in memory are B, G, R,
// X on a little-endian machine and X, R, G, B on a big-endian one: TurboJPEG
// reads either layout straight from the bitmap, without a conversion pass.
constexpr int PixelFormat = std::endian::native == std::endian::little ? TJPF_BGRX : TJPF_XRGB;

std::string SizeText(int W, int H) { return std::to_string(W) + " x " + std::to_string(H); }

std::string ErrorText(tjhandle Handle) {
    const char* Text = tjGetErrorStr2(Handle);
    return Text ? Text : "unknown TurboJPEG error";
}

}  // namespace

struct TJPEGImage::TEncoder {
    tjhandle Handle = nullptr;
    // Sized by tjBufSize for the largest picture so far, so TurboJPEG never
    // has to reallocate it (TJFLAG_NOREALLOC).
    unsigned char* Buffer = nullptr;
    unsigned long Capacity = 0;

    TEncoder() = default;
    TEncoder(const TEncoder&) = delete;
    TEncoder& operator=(const TEncoder&) = delete;
    ~TEncoder() {
        if (Buffer) tjFree(Buffer);
        if (Handle) tjDestroy(Handle);
    }
};

TJPEGImage::TJPEGImage() = default;
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::Assign(const TPersistent& Source) {
    if (auto* B = dynamic_cast<const TBitmap*>(&Source)) {
        FSource.Assign(*B);
        FWidth = B->GetWidth();
        FHeight = B->GetHeight();
        FPictureQuality = std::clamp<std::uint8_t>(FQuality, 1, 100);
        FEncoded.clear();
        FEncodedValid = false;
        return;
    }
    if (auto* J = dynamic_cast<const TJPEGImage*>(&Source)) {
        if (J == this) return;
        FSource.Assign(J->FSource);
        FWidth = J->FWidth;
        FHeight = J->FHeight;
        FQuality = J->FQuality;
        FPictureQuality = J->FPictureQuality;
        FEncoded = J->FEncoded;
        FEncodedValid = J->FEncodedValid;
        return;
    }
    TGraphic::Assign(Source);
}

void TJPEGImage::Encode() const {
    if (GetEmpty())
        throw EInvalidGraphic("TJPEGImage: cannot write an empty picture (" + SizeText(FWidth, FHeight) + ")");
    const std::string What = "TJPEGImage: cannot encode the " + SizeText(FWidth, FHeight) +
                             " picture at quality " + std::to_string(FPictureQuality) + ": ";
    if (!FEncoder) {
        auto E = std::make_unique<TEncoder>();
        E->Handle = tjInitCompress();
        if (!E->Handle) throw EInvalidGraphic(What + ErrorText(nullptr));
        FEncoder = std::move(E);
    }
    TEncoder& E = *FEncoder;
    const unsigned long Bound = tjBufSize(FWidth, FHeight, TJSAMP_444);
    if (Bound == static_cast<unsigned long>(-1)) throw EInvalidGraphic(What + ErrorText(nullptr));
    if (E.Capacity < Bound) {
        if (E.Buffer) tjFree(E.Buffer);
        E.Capacity = 0;
        // tjBufSize of the largest bitmap (2^24 pixels) is about 50 MB, well
        // within tjAlloc's int.
        E.Buffer = tjAlloc(static_cast<int>(Bound));
        if (!E.Buffer) throw EInvalidGraphic(What + "out of memory for " + std::to_string(Bound) + " bytes");
        E.Capacity = Bound;
    }
    unsigned long Size = E.Capacity;
    if (tjCompress2(E.Handle, reinterpret_cast<const unsigned char*>(FSource.Pixels()), FWidth, FSource.Stride(),
                    FHeight, PixelFormat, &E.Buffer, &Size, TJSAMP_444, FPictureQuality, TJFLAG_NOREALLOC) != 0)
        throw EInvalidGraphic(What + ErrorText(E.Handle));
    FEncoded.assign(E.Buffer, E.Buffer + Size);
    FEncodedValid = true;
}

const std::vector<std::uint8_t>& TJPEGImage::Encoded() const {
    if (!FEncodedValid) Encode();
    return FEncoded;
}

void TJPEGImage::SaveToStream(TStream& Stream) const {
    const auto& Bytes = Encoded();
    Stream.WriteBuffer(Bytes.data(), Bytes.size());
}

}  // namespace pv
