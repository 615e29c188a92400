#include "platform/gif/GIFImage.h"

#include "platform/gif/ColorReduction.h"
#include "platform/gif/GifLzw.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "platform/rtl/Exception.h"
#include "platform/rtl/Stream.h"

namespace pv {

namespace {

constexpr int Red(std::uint32_t C) { return static_cast<int>((C >> 16) & 0xFF); }
constexpr int Green(std::uint32_t C) { return static_cast<int>((C >> 8) & 0xFF); }
constexpr int Blue(std::uint32_t C) { return static_cast<int>(C & 0xFF); }

std::string SizeText(int W, int H) { return std::to_string(W) + " x " + std::to_string(H); }

// giflib's output function: appends to the vector in UserData. It must not
// let an exception unwind through giflib; a failed append reports a short
// write, which giflib turns into its write error.
int AppendToVector(GifFileType* Gif, const GifByteType* Data, int Length) {
    auto* Out = static_cast<std::vector<std::uint8_t>*>(Gif->UserData);
    try {
        Out->insert(Out->end(), Data, Data + Length);
    } catch (...) {
        return 0;
    }
    return Length;
}

}  // namespace

TGIFImage::TGIFImage() = default;
TGIFImage::~TGIFImage() = default;

void TGIFImage::Assign(const TPersistent& Source) {
    if (auto* B = dynamic_cast<const TBitmap*>(&Source)) {
        FSource.Assign(*B);
        FReductionDue = true;
        FWidth = B->GetWidth();
        FHeight = B->GetHeight();
        FPalette.clear();
        FIndices.clear();
        FEncoded.clear();
        FEncodedValid = false;
        return;
    }
    if (auto* G = dynamic_cast<const TGIFImage*>(&Source)) {
        if (G == this) return;
        FSource.Assign(G->FSource);
        FReductionDue = G->FReductionDue;
        FPalette = G->FPalette;
        FIndices = G->FIndices;
        FEncoded = G->FEncoded;
        FEncodedValid = G->FEncodedValid;
        FWidth = G->FWidth;
        FHeight = G->FHeight;
        return;
    }
    TGraphic::Assign(Source);
}

void TGIFImage::Reduce() const {
    if (!FReductionDue) return;
    if (!FReducer) FReducer = std::make_unique<TColorReduction>();
    std::vector<std::uint32_t> Palette;
    FReducer->Reduce(std::as_const(FSource).PixelSpan(), Palette, FIndices);
    FPalette = std::move(Palette);
    FReductionDue = false;
    // The pixels are not needed any more.
    FSource.Assign(TBitmap());
}

int TGIFImage::GetColorCount() const {
    Reduce();
    return static_cast<int>(FPalette.size());
}

void TGIFImage::Encode() const {
    if (GetEmpty())
        throw EInvalidGraphic("TGIFImage: cannot write an empty picture (" + SizeText(FWidth, FHeight) + ")");
    Reduce();
    std::vector<GifColorType> Colors(FPalette.size());
    for (std::size_t I = 0; I < FPalette.size(); ++I)
        Colors[I] = {static_cast<GifByteType>(Red(FPalette[I])), static_cast<GifByteType>(Green(FPalette[I])),
                     static_cast<GifByteType>(Blue(FPalette[I]))};
    ColorMapObject Map{};
    Map.ColorCount = static_cast<int>(Colors.size());
    Map.BitsPerPixel = GifBitSize(Map.ColorCount);
    Map.SortFlag = false;
    Map.Colors = Colors.data();

    auto Fail = [this](int Error) {
        FEncoded.clear();
        const char* Text = GifErrorString(Error);
        throw EInvalidGraphic("TGIFImage: cannot encode the " + SizeText(FWidth, FHeight) +
                              " picture: " + (Text ? Text : "giflib error " + std::to_string(Error)));
    };

    // The LZW codes come from our own compressor, which gives giflib's codes
    // several times faster; giflib writes the file around them (signature,
    // screen and image descriptors, colour table, the code size, the code
    // blocks and the trailer). A GIF file states a code size of at least 2.
    const int CodeSize = std::max(2, Map.BitsPerPixel);
    if (!FEncoder) FEncoder = std::make_unique<TGifLzwEncoder>();
    const std::span<const std::uint8_t> Codes = FEncoder->Encode(FIndices.data(), FIndices.size(), CodeSize);

    FEncoded.clear();
    FEncoded.reserve(Codes.size() + Codes.size() / 255 + 3 * Colors.size() + 64);
    int Error = 0;
    GifFileType* Gif = EGifOpen(&FEncoded, AppendToVector, &Error);
    if (!Gif) Fail(Error);
    EGifSetGifVersion(Gif, true);
    bool Written = EGifPutScreenDesc(Gif, FWidth, FHeight, Map.BitsPerPixel, 0, &Map) == GIF_OK &&
                   EGifPutImageDesc(Gif, 0, 0, FWidth, FHeight, false, nullptr) == GIF_OK;
    // The codes go out in sub-blocks of up to 255 bytes, each after its
    // length; an empty block ends them.
    GifByteType Block[256];
    for (std::size_t At = 0; Written && At < Codes.size(); At += 255) {
        const std::size_t Length = std::min<std::size_t>(255, Codes.size() - At);
        Block[0] = static_cast<GifByteType>(Length);
        std::memcpy(Block + 1, Codes.data() + At, Length);
        Written = (At == 0 ? EGifPutCode(Gif, CodeSize, Block)
                           : EGifPutCodeNext(Gif, Block)) == GIF_OK;
    }
    Written = Written && EGifPutCodeNext(Gif, nullptr) == GIF_OK;
    FEncoder->Trim();
    if (!Written) Error = Gif->Error;
    // Closing writes the trailer and frees the handle in every case.
    int CloseError = 0;
    const bool Closed = EGifCloseFile(Gif, &CloseError) == GIF_OK;
    if (!Written) Fail(Error);
    if (!Closed) Fail(CloseError);
    FEncodedValid = true;
}

const std::vector<std::uint8_t>& TGIFImage::Encoded() const {
    if (!FEncodedValid) Encode();
    return FEncoded;
}

void TGIFImage::SaveToStream(TStream& Stream) const {
    const auto& Bytes = Encoded();
    Stream.WriteBuffer(Bytes.data(), Bytes.size());
}

}  // namespace pv
