#include "platform/webp/WebPEncode.h"

#include <webp/encode.h>

#include <algorithm>
#include <string>

#include "platform/rtl/Exception.h"

namespace pv {

namespace {

// Straight (not premultiplied) ARGB of a bitmap pixel; opaque bitmaps get
// alpha 255 whatever their unused top byte holds.
inline std::uint32_t Straight(std::uint32_t P, bool Alpha) {
    if (!Alpha) return P | 0xFF000000u;
    const std::uint32_t A = P >> 24;
    if (A == 0xFF) return P;
    if (A == 0) return 0;
    const auto Undo = [&](int Shift) { return std::min(255u, (((P >> Shift) & 0xFF) * 255 + A / 2) / A); };
    return A << 24 | Undo(16) << 16 | Undo(8) << 8 | Undo(0);
}

const char* EncodeError(WebPEncodingError Code) {
    switch (Code) {
        case VP8_ENC_ERROR_OUT_OF_MEMORY:
        case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY: return "out of memory";
        case VP8_ENC_ERROR_BAD_DIMENSION: return "the size is beyond what WebP holds (16383 pixels a side)";
        case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
        case VP8_ENC_ERROR_PARTITION_OVERFLOW: return "the picture is too large for a lossy WebP";
        case VP8_ENC_ERROR_FILE_TOO_BIG: return "the file would be larger than 4 GiB";
        default: return "libwebp failed";
    }
}

// The picture and the writer's buffer, freed whatever happens.
struct TPicture {
    WebPPicture Picture;
    WebPMemoryWriter Writer;
    TPicture() {
        WebPPictureInit(&Picture);
        WebPMemoryWriterInit(&Writer);
    }
    ~TPicture() {
        WebPPictureFree(&Picture);
        WebPMemoryWriterClear(&Writer);
    }
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;
};

}  // namespace

std::vector<std::uint8_t> EncodeWebP(const TBitmap& Bitmap, const TWebPOptions& Options) {
    const int W = Bitmap.GetWidth(), H = Bitmap.GetHeight();
    const std::string What = "Cannot encode the " + std::to_string(W) + " x " + std::to_string(H) + " picture as WebP";
    if (Bitmap.GetEmpty()) throw EInvalidGraphic(What + ": it is empty");
    if (Options.Quality && (*Options.Quality < 1 || *Options.Quality > 100))
        throw EInvalidGraphic(What + ": quality " + std::to_string(*Options.Quality) + " is out of range 1..100");
    if (W > WEBP_MAX_DIMENSION || H > WEBP_MAX_DIMENSION)
        throw EInvalidGraphic(What + ": " + EncodeError(VP8_ENC_ERROR_BAD_DIMENSION));

    WebPConfig Config;
    if (!WebPConfigInit(&Config)) throw EInvalidGraphic(What + ": libwebp's version does not match its header");
    if (Options.Quality) {
        Config.quality = static_cast<float>(*Options.Quality);
        // A chart is flat colour with sharp edges and small text: the
        // strongest filter smears text, and sharp YUV keeps coloured lines'
        // edges clean.
        Config.method = 2;
        Config.use_sharp_yuv = 1;
    } else {
        // Level 1 of libwebp's lossless presets: on R1 half the bytes of
        // level 0 for about a fifth more time, and as small as the slow
        // levels, which cost several times as long (bench/ServerBench.cpp).
        WebPConfigLosslessPreset(&Config, 1);
    }

    TPicture P;
    P.Picture.use_argb = 1;
    P.Picture.width = W;
    P.Picture.height = H;
    if (!WebPPictureAlloc(&P.Picture)) throw EInvalidGraphic(What + ": out of memory");
    // libwebp's ARGB words are the bitmap's layout (0xAARRGGBB in native
    // byte order), so a row is copied word for word, the alpha made
    // straight. The encoder may rewrite its picture, so it gets a copy.
    const bool Alpha = Bitmap.HasAlpha();
    for (int Y = 0; Y < H; ++Y) {
        const std::uint32_t* In = Bitmap.ScanLine(Y);
        std::uint32_t* Out = P.Picture.argb + static_cast<std::size_t>(Y) * P.Picture.argb_stride;
        for (int X = 0; X < W; ++X) Out[X] = Straight(In[X], Alpha);
    }
    P.Picture.writer = WebPMemoryWrite;
    P.Picture.custom_ptr = &P.Writer;
    if (!WebPEncode(&Config, &P.Picture)) throw EInvalidGraphic(What + ": " + EncodeError(P.Picture.error_code));
    return std::vector<std::uint8_t>(P.Writer.mem, P.Writer.mem + P.Writer.size);
}

}  // namespace pv
