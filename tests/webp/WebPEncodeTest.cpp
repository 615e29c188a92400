// WebP files from bitmaps, read back by libwebp's decoder and by
// ImageMagick.

#include "platform/webp/WebPEncode.h"

#include <gtest/gtest.h>
#include <webp/decode.h>

#include <memory>

#include "platform/rtl/Exception.h"
#include "tests/support/CodecTestPictures.h"
#include "tests/support/PictureTests.h"
#include "tests/support/ThrowMessage.h"

namespace pv {
namespace {

using namespace picture_tests;

// The decoded file as 0xAARRGGBB words, with its size.
struct TDecoded {
    int Width = 0, Height = 0;
    std::vector<std::uint32_t> Pixels;
};
TDecoded Decode(const std::vector<std::uint8_t>& File) {
    TDecoded D;
    std::unique_ptr<std::uint8_t, decltype(&WebPFree)> Rgba(
        WebPDecodeRGBA(File.data(), File.size(), &D.Width, &D.Height), &WebPFree);
    if (!Rgba) return {};
    for (int I = 0; I < D.Width * D.Height; ++I) {
        const std::uint8_t* P = Rgba.get() + 4 * I;
        D.Pixels.push_back(std::uint32_t(P[3]) << 24 | P[0] << 16 | P[1] << 8 | P[2]);
    }
    return D;
}

TEST(WebPEncode, LosslessDecodesToTheBitmapsPixelsExactly) {
    // The top byte of an opaque bitmap is unused: the file is opaque anyway.
    TBitmap B;
    DrawChartLike(B, 123, 77, 0x00);
    const std::vector<std::uint8_t> File = EncodeWebP(B);
    const TDecoded D = Decode(File);
    ASSERT_EQ(D.Width, 123);
    ASSERT_EQ(D.Height, 77);
    for (int I = 0; I < 123 * 77; ++I) ASSERT_EQ(D.Pixels[I], B.Pixels()[I] | 0xFF000000u) << "pixel " << I;

    // Lossy: same size, close colours, another file.
    const TDecoded Lossy = Decode(EncodeWebP(B, {50}));
    ASSERT_EQ(Lossy.Width, 123);
    ASSERT_EQ(Lossy.Height, 77);
    EXPECT_LE(ChannelDistance(Lossy.Pixels[10 * 123 + 5] & 0xFFFFFF, 0xFFFFFF), 8);
    EXPECT_LE(ChannelDistance(Lossy.Pixels[60 * 123 + 45] & 0xFFFFFF, 0x2040C0), 24);

    if (TOtherDecoders().Identify) {
        EXPECT_EQ(RunCommand("identify -format '%m %w %h' " + WriteTempFile("lossless.webp", File)), "WEBP 123 77");
    }
}

TEST(WebPEncode, KeepsAlphaStraightAndRefusesWhatItCannotWrite) {
    TBitmap Clear;
    DrawTranslucent(Clear, 40, 10);
    const TDecoded D = Decode(EncodeWebP(Clear));
    ASSERT_EQ(D.Width, 40);
    EXPECT_EQ(D.Pixels[5 * 40 + 3] >> 24, 0u);
    // 0x80800000 premultiplied is red 255 at alpha 128.
    EXPECT_EQ(D.Pixels[5 * 40 + 25], 0x80FF0000u);
    EXPECT_EQ(D.Pixels[5 * 40 + 35], 0xFF0000FFu);
    EXPECT_THROW_MSG(EncodeWebP(TBitmap()), EInvalidGraphic, "Cannot encode the 0 x 0 picture as WebP: it is empty");
    EXPECT_THROW_MSG(EncodeWebP(Clear, {0}), EInvalidGraphic,
                     "Cannot encode the 40 x 10 picture as WebP: quality 0 is out of range 1..100");
    EXPECT_THROW_MSG_HAS(EncodeWebP(TBitmap(16384, 2)), EInvalidGraphic, "16384 x 2", "16383 pixels a side");
}

}  // namespace
}  // namespace pv
