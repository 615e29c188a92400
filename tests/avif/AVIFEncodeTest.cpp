// AVIF files from bitmaps, read back by libavif's decoder and by
// ImageMagick.

#include "platform/avif/AVIFEncode.h"

#include <avif/avif.h>
#include <gtest/gtest.h>

#include <memory>

#include "platform/rtl/Exception.h"
#include "tests/support/CodecTestPictures.h"
#include "tests/support/PictureTests.h"
#include "tests/support/ThrowMessage.h"

namespace pv {
namespace {

using namespace picture_tests;

// The decoded file as straight 0xAARRGGBB words, with its size.
struct TDecoded {
    int Width = 0, Height = 0;
    std::vector<std::uint32_t> Pixels;
    std::uint32_t At(int X, int Y) const { return Pixels[static_cast<std::size_t>(Y) * Width + X]; }
};
TDecoded Decode(const std::vector<std::uint8_t>& File) {
    std::unique_ptr<avifImage, decltype(&avifImageDestroy)> Image(avifImageCreateEmpty(), &avifImageDestroy);
    std::unique_ptr<avifDecoder, decltype(&avifDecoderDestroy)> Decoder(avifDecoderCreate(), &avifDecoderDestroy);
    if (avifDecoderReadMemory(Decoder.get(), Image.get(), File.data(), File.size()) != AVIF_RESULT_OK) return {};
    avifRGBImage Rgb;
    avifRGBImageSetDefaults(&Rgb, Image.get());
    Rgb.format = AVIF_RGB_FORMAT_RGBA;
    std::vector<std::uint8_t> Bytes(static_cast<std::size_t>(Image->width) * Image->height * 4);
    Rgb.pixels = Bytes.data();
    Rgb.rowBytes = Image->width * 4;
    if (avifImageYUVToRGB(Image.get(), &Rgb) != AVIF_RESULT_OK) return {};
    TDecoded D{static_cast<int>(Image->width), static_cast<int>(Image->height), {}};
    for (std::size_t I = 0; I < Bytes.size(); I += 4)
        D.Pixels.push_back(std::uint32_t(Bytes[I + 3]) << 24 | Bytes[I] << 16 | Bytes[I + 1] << 8 | Bytes[I + 2]);
    return D;
}

TEST(AVIFEncode, DecodesToTheBitmapsSizeAndColours) {
    TBitmap B;
    DrawChartLike(B, 123, 77, 0x00);
    const std::vector<std::uint8_t> File = EncodeAVIF(B);
    const TDecoded D = Decode(File);
    ASSERT_EQ(D.Width, 123);
    ASSERT_EQ(D.Height, 77);
    // Opaque although the bitmap's unused top byte is 0; flat areas keep
    // their colour, full-resolution chroma keeps the bar's blue.
    EXPECT_EQ(D.At(3, 3), 0xFFFFFFFFu);
    EXPECT_EQ(D.At(40, 60) >> 24, 0xFFu);
    EXPECT_LE(ChannelDistance(D.At(40, 60) & 0xFFFFFF, 0x2040C0), 12);
    EXPECT_LE(ChannelDistance(D.At(10, 72) & 0xFFFFFF, 0x000000), 24);
    // The finest quality is all but exact; a coarser one makes a smaller file.
    const TDecoded Fine = Decode(EncodeAVIF(B, {100}));
    int Worst = 0;
    for (std::size_t I = 0; I < Fine.Pixels.size(); ++I)
        Worst = std::max(Worst, ChannelDistance(Fine.Pixels[I] & 0xFFFFFF, B.Pixels()[I] & 0xFFFFFF));
    EXPECT_LE(Worst, 6);
    EXPECT_LT(EncodeAVIF(B, {20}).size(), File.size());

    if (TOtherDecoders().Identify) {
        const std::optional<std::string> Seen =
            RunCommand("identify -format '%w %h' " + WriteTempFile("chart.avif", File));
        EXPECT_EQ(Seen, "123 77");
    }
}

TEST(AVIFEncode, KeepsAlphaAndRefusesWhatItCannotWrite) {
    TBitmap Clear;
    DrawTranslucent(Clear, 40, 16);
    const TDecoded D = Decode(EncodeAVIF(Clear));
    ASSERT_EQ(D.Width, 40);
    EXPECT_EQ(D.At(3, 8) >> 24, 0u);
    EXPECT_EQ(D.At(25, 8) >> 24, 0x80u);
    EXPECT_LE(ChannelDistance(D.At(25, 8) & 0xFFFFFF, 0xFF0000), 12);
    EXPECT_EQ(D.At(36, 8) >> 24, 0xFFu);
    EXPECT_THROW_MSG(EncodeAVIF(TBitmap()), EInvalidGraphic, "Cannot encode the 0 x 0 picture as AVIF: it is empty");
    EXPECT_THROW_MSG(EncodeAVIF(Clear, {101}), EInvalidGraphic,
                     "Cannot encode the 40 x 16 picture as AVIF: quality 101 is out of range 1..100");
}

}  // namespace
}  // namespace pv
