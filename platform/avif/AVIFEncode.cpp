#include "platform/avif/AVIFEncode.h"

#include <avif/avif.h>

#include <bit>
#include <memory>
#include <string>

#include "platform/rtl/Exception.h"

namespace pv {

namespace {

struct TImageFree {
    void operator()(avifImage* I) const { avifImageDestroy(I); }
};
struct TEncoderFree {
    void operator()(avifEncoder* E) const { avifEncoderDestroy(E); }
};
// The encoder's output, freed whatever happens.
struct TOutput {
    avifRWData Data = AVIF_DATA_EMPTY;
    TOutput() = default;
    TOutput(const TOutput&) = delete;
    TOutput& operator=(const TOutput&) = delete;
    ~TOutput() { avifRWDataFree(&Data); }
};

}  // namespace

std::vector<std::uint8_t> EncodeAVIF(const TBitmap& Bitmap, const TAVIFOptions& Options) {
    const int W = Bitmap.GetWidth(), H = Bitmap.GetHeight();
    const std::string What = "Cannot encode the " + std::to_string(W) + " x " + std::to_string(H) + " picture as AVIF";
    if (Bitmap.GetEmpty()) throw EInvalidGraphic(What + ": it is empty");
    if (Options.Quality < 1 || Options.Quality > 100)
        throw EInvalidGraphic(What + ": quality " + std::to_string(Options.Quality) + " is out of range 1..100");
    const auto Failed = [&](avifResult R) { return EInvalidGraphic(What + ": " + avifResultToString(R)); };

    std::unique_ptr<avifImage, TImageFree> Image(
        avifImageCreate(static_cast<std::uint32_t>(W), static_cast<std::uint32_t>(H), 8, AVIF_PIXEL_FORMAT_YUV444));
    if (!Image) throw EInvalidGraphic(What + ": out of memory");
    // Full-range sRGB with the BT.601 matrix, as browsers assume for
    // pictures that name no profile.
    Image->yuvRange = AVIF_RANGE_FULL;
    Image->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
    Image->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    Image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;

    avifRGBImage Rgb;
    avifRGBImageSetDefaults(&Rgb, Image.get());
    // A bitmap pixel is the word 0xAARRGGBB: bytes B, G, R, A in memory on
    // a little-endian machine, A, R, G, B on a big-endian one. libavif reads
    // either straight from the bitmap; an opaque bitmap's top byte is unused
    // and so ignored, and a bitmap with alpha is premultiplied.
    Rgb.format = std::endian::native == std::endian::little ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_ARGB;
    Rgb.ignoreAlpha = Bitmap.HasAlpha() ? AVIF_FALSE : AVIF_TRUE;
    Rgb.alphaPremultiplied = Bitmap.HasAlpha() ? AVIF_TRUE : AVIF_FALSE;
    // The conversion only reads the pixels (it takes the RGB image as const);
    // the field is not const because the same struct receives decoded ones.
    Rgb.pixels = const_cast<std::uint8_t*>(reinterpret_cast<const std::uint8_t*>(Bitmap.Pixels()));
    Rgb.rowBytes = static_cast<std::uint32_t>(Bitmap.Stride());
    if (const avifResult R = avifImageRGBToYUV(Image.get(), &Rgb); R != AVIF_RESULT_OK) throw Failed(R);

    std::unique_ptr<avifEncoder, TEncoderFree> Encoder(avifEncoderCreate());
    if (!Encoder) throw EInvalidGraphic(What + ": out of memory");
    // Quality 100 is quantizer 0, quality 1 the coarsest (63).
    const int Quantizer = (100 - Options.Quality) * AVIF_QUANTIZER_WORST_QUALITY / 99;
    Encoder->minQuantizer = Encoder->maxQuantizer = Quantizer;
    Encoder->minQuantizerAlpha = Encoder->maxQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;
    // A server answers many requests at once on its own threads, so one
    // picture is encoded on one thread, at the fastest speed.
    Encoder->maxThreads = 1;
    Encoder->speed = AVIF_SPEED_FASTEST;
    TOutput Out;
    if (const avifResult R = avifEncoderWrite(Encoder.get(), Image.get(), &Out.Data); R != AVIF_RESULT_OK)
        throw Failed(R);
    return std::vector<std::uint8_t>(Out.Data.data, Out.Data.data + Out.Data.size);
}

}  // namespace pv
