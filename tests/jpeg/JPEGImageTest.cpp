#include "platform/jpeg/JPEGImage.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/rtl/Exception.h"
#include "platform/rtl/Stream.h"
#include "platform/vcl/Font.h"
#include "tests/support/PictureTests.h"
#include "tests/support/ThrowMessage.h"

namespace pv {
namespace {

using namespace picture_tests;

// A JPEG file decoded by TurboJPEG's decompressor.
struct TDecoded {
    int Width = 0;
    int Height = 0;
    int Subsampling = -1;
    std::vector<std::uint8_t> Rgb;  // 3 bytes a pixel, rows top-down

    std::uint32_t At(int X, int Y) const {
        const std::size_t I = 3 * (static_cast<std::size_t>(Y) * static_cast<std::size_t>(Width) + static_cast<std::size_t>(X));
        return (std::uint32_t{Rgb[I]} << 16) | (std::uint32_t{Rgb[I + 1]} << 8) | Rgb[I + 2];
    }
};

TDecoded DecodeJpeg(const std::vector<std::uint8_t>& Bytes) {
    TDecoded D;
    tjhandle H = tjInitDecompress();
    int Colorspace = 0;
    if (tjDecompressHeader3(H, Bytes.data(), Bytes.size(), &D.Width, &D.Height, &D.Subsampling, &Colorspace) != 0) {
        ADD_FAILURE() << "tjDecompressHeader3: " << tjGetErrorStr2(H);
    } else {
        D.Rgb.resize(static_cast<std::size_t>(D.Width) * static_cast<std::size_t>(D.Height) * 3);
        if (tjDecompress2(H, Bytes.data(), Bytes.size(), D.Rgb.data(), D.Width, 0, D.Height, TJPF_RGB, 0) != 0)
            ADD_FAILURE() << "tjDecompress2: " << tjGetErrorStr2(H);
    }
    tjDestroy(H);
    return D;
}

// Four flat colour blocks, a one-pixel red line and some text on white.
void DrawTestPicture(TBitmap& B) {
    B.SetSize(320, 200, clWhite);
    cairo_surface_t* S = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(B.Pixels()),
                                                             CAIRO_FORMAT_RGB24, B.GetWidth(), B.GetHeight(),
                                                             B.Stride());
    cairo_t* Cr = cairo_create(S);
    const double Colours[4][3] = {{0, 0, 1}, {1, 0, 0}, {0.2, 0.6, 0.2}, {0.75, 0.75, 0.75}};
    for (int I = 0; I < 4; ++I) {
        cairo_set_source_rgb(Cr, Colours[I][0], Colours[I][1], Colours[I][2]);
        cairo_rectangle(Cr, 16 + I * 72, 104, 64, 80);
        cairo_fill(Cr);
    }
    cairo_set_source_rgb(Cr, 1, 0, 0);
    cairo_rectangle(Cr, 200, 8, 1, 80);  // a crisp 1-pixel vertical line at x = 200
    cairo_fill(Cr);
    cairo_set_source_rgb(Cr, 0, 0, 0);
    cairo_select_font_face(Cr, "Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(Cr, 13);
    cairo_move_to(Cr, 12, 40);
    cairo_show_text(Cr, "Monthly revenue");
    cairo_destroy(Cr);
    cairo_surface_destroy(S);
}

std::vector<std::uint8_t> Encode(const TBitmap& B, std::uint8_t Quality) {
    TJPEGImage J;
    J.SetCompressionQuality(Quality);
    J.Assign(B);
    return J.Encoded();
}

TEST(JPEGImage, DecodesAtTheRightSizeWithColoursCloseAtSamplePoints) {
    TBitmap B;
    DrawTestPicture(B);
    TJPEGImage J;
    J.SetCompressionQuality(80);
    J.Assign(B);
    EXPECT_EQ(J.GetWidth(), 320);
    EXPECT_EQ(J.GetHeight(), 200);
    const TDecoded D = DecodeJpeg(J.Encoded());
    ASSERT_EQ(D.Width, 320);
    ASSERT_EQ(D.Height, 200);
    // No chroma subsampling, so thin coloured lines and text keep their colour.
    EXPECT_EQ(D.Subsampling, TJSAMP_444);
    // JPEG is lossy: quantising the DCT coefficients shifts even flat colours
    // by a few levels and rings near edges. So colours are compared inside
    // the flat blocks, away from their edges, with a tolerance.
    for (int I = 0; I < 4; ++I) {
        const int X = 48 + I * 72, Y = 144;
        EXPECT_LE(ChannelDistance(D.At(X, Y), B.ScanLine(Y)[X] & 0xFFFFFF), 8) << "block " << I;
    }
    EXPECT_LE(ChannelDistance(D.At(100, 80), 0xFFFFFF), 4);
    // The red line stays red on its own pixel column; with 4:2:0 its chroma
    // would be spread over two columns and wash out to pink.
    const std::uint32_t OnLine = D.At(200, 50);
    EXPECT_GE(static_cast<int>(OnLine >> 16), 200);
    EXPECT_LE(static_cast<int>((OnLine >> 8) & 0xFF), 90);
    EXPECT_LE(static_cast<int>(OnLine & 0xFF), 90);
}

TEST(JPEGImage, QualityIsTheOneSetBeforeTheCopy) {
    TBitmap B;
    DrawTestPicture(B);
    const auto At90 = Encode(B, 90), At10 = Encode(B, 10);
    ASSERT_NE(At90, At10);
    EXPECT_LT(At10.size(), At90.size());

    TJPEGImage J;
    J.SetCompressionQuality(90);
    J.Assign(B);
    // Set after the copy but before the first write: the picture still
    // encodes at 90.
    J.SetCompressionQuality(10);
    EXPECT_EQ(J.GetCompressionQuality(), 10);
    EXPECT_EQ(J.Encoded(), At90);
    // The next copy takes the new quality.
    J.Assign(B);
    EXPECT_EQ(J.Encoded(), At10);
}

TEST(JPEGImage, QualityIsClampedToOneToHundred) {
    TBitmap B;
    DrawTestPicture(B);
    EXPECT_EQ(Encode(B, 0), Encode(B, 1));
    EXPECT_EQ(Encode(B, 255), Encode(B, 100));
    EXPECT_EQ(Encode(B, 101), Encode(B, 100));
    EXPECT_NE(Encode(B, 2), Encode(B, 1));
    EXPECT_EQ(TJPEGImage().GetCompressionQuality(), TJPEGImage::DefaultQuality);
}

TEST(JPEGImage, EncodingFollowsTheLatestCopyNotTheBitmap) {
    TBitmap B(64, 64, clBlue);
    TJPEGImage J;
    J.Assign(B);
    B.Fill(clRed);  // after the copy: must not show, even though encoding is lazy
    EXPECT_LE(ChannelDistance(DecodeJpeg(J.Encoded()).At(30, 30), 0x0000FF), 8);
    J.Assign(B);
    EXPECT_LE(ChannelDistance(DecodeJpeg(J.Encoded()).At(30, 30), 0xFF0000), 8);
    // The bitmap drawn again in place, as the component redraws its
    // snapshot after handing it on: the copy keeps what it was given.
    J.Assign(B);
    B.SetSizeForDrawing(64, 64);
    {
        TBitmap::TDrawing Drawing(B);
        std::fill_n(Drawing.Pixels(), 64 * 64, 0xFF00FF00u);
    }
    EXPECT_LE(ChannelDistance(DecodeJpeg(J.Encoded()).At(30, 30), 0xFF0000), 8);
    EXPECT_EQ(B.GetPixel(30, 30), clLime);
    // A bigger picture after a smaller one (the output buffer must grow).
    TBitmap Big;
    DrawTestPicture(Big);
    J.Assign(Big);
    EXPECT_EQ(DecodeJpeg(J.Encoded()).Width, 320);
}

TEST(JPEGImage, WritesAtTheStreamPosition) {
    TBitmap B;
    DrawTestPicture(B);
    TJPEGImage J;
    J.Assign(B);
    const auto& Bytes = J.Encoded();
    ASSERT_GE(Bytes.size(), 4u);
    EXPECT_EQ(Bytes[0], 0xFF);  // SOI
    EXPECT_EQ(Bytes[1], 0xD8);
    TMemoryStream S;
    S.WriteString("0123456789");
    S.SetPosition(6);
    J.SaveToStream(S);
    ASSERT_EQ(S.GetSize(), static_cast<std::int64_t>(6 + Bytes.size()));
    EXPECT_EQ(S.GetPosition(), S.GetSize());
    EXPECT_EQ(S.ToString().substr(0, 6), "012345");
    EXPECT_TRUE(std::equal(Bytes.begin(), Bytes.end(), S.Memory() + 6));
}

TEST(JPEGImage, EmptyPictureRaisesOnWrite) {
    TJPEGImage J;
    TMemoryStream S;
    EXPECT_THROW_MSG(J.SaveToStream(S), EInvalidGraphic, "TJPEGImage: cannot write an empty picture (0 x 0)");
    EXPECT_EQ(S.GetSize(), 0);
    TBitmap Full(8, 8, clRed), Empty(0, 12);
    J.Assign(Full);
    EXPECT_FALSE(J.Encoded().empty());
    J.Assign(Empty);
    EXPECT_TRUE(J.GetEmpty());
    EXPECT_THROW_MSG((void)J.Encoded(), EInvalidGraphic, "TJPEGImage: cannot write an empty picture (0 x 12)");
}

TEST(JPEGImage, ExtremeSizes) {
    TBitmap One(1, 1, clFuchsia);
    const TDecoded D1 = DecodeJpeg(Encode(One, 90));
    EXPECT_EQ(D1.Width, 1);
    EXPECT_EQ(D1.Height, 1);
    EXPECT_LE(ChannelDistance(D1.At(0, 0), 0xFF00FF), 8);
    TBitmap Wide(TBitmap::MaxSide, 1, clGreen);
    const TDecoded D2 = DecodeJpeg(Encode(Wide, 90));
    EXPECT_EQ(D2.Width, TBitmap::MaxSide);
    EXPECT_EQ(D2.Height, 1);
    EXPECT_LE(ChannelDistance(D2.At(TBitmap::MaxSide - 1, 0), 0x008000), 8);
}

TEST(JPEGImage, AssignCopiesAnotherJPEGAndRejectsOtherClasses) {
    TBitmap B;
    DrawTestPicture(B);
    TJPEGImage A, C;
    A.SetCompressionQuality(40);
    A.Assign(B);
    C.Assign(A);
    EXPECT_EQ(C.GetCompressionQuality(), 40);
    EXPECT_EQ(C.Encoded(), A.Encoded());
    TFont F;
    EXPECT_THROW_MSG(C.Assign(F), EConvertError, "Cannot assign a TFont to a TJPEGImage");
}

TEST(JPEGImage, ObjectsOnDifferentThreadsEncodeIndependently) {
    TBitmap B;
    DrawTestPicture(B);
    const auto Expected = Encode(B, 80);
    std::vector<std::vector<std::uint8_t>> Results(4);
    std::vector<std::thread> Threads;
    for (auto& R : Results)
        Threads.emplace_back([&B, &R] {
            TJPEGImage J;
            J.SetCompressionQuality(80);
            for (int I = 0; I < 20; ++I) {
                J.Assign(B);
                R = J.Encoded();
            }
        });
    for (auto& T : Threads) T.join();
    for (const auto& R : Results) EXPECT_EQ(R, Expected);
}

TEST(JPEGImage, OtherDecodersReadTheFile) {
    const TOtherDecoders Have;
    if (!Have.Any()) GTEST_SKIP() << "neither Pillow nor ImageMagick's identify is installed";
    TBitmap B;
    DrawTestPicture(B);
    TJPEGImage J;
    J.SetCompressionQuality(80);
    J.Assign(B);
    const std::string Path = WriteTempFile("plotvane-jpeg-test.jpg", J.Encoded());
    if (Have.Pillow) {
        // Pixel (48, 144) is inside the blue block; Pillow's decoder must see
        // blue there, within JPEG's loss.
        auto Out = RunCommand("/usr/bin/python3 -c \"from PIL import Image; im = Image.open('" + Path +
                              "'); r, g, b = im.convert('RGB').getpixel((48, 144)); print(im.format, im.size[0], "
                              "im.size[1], r < 10 and g < 10 and b > 245)\"");
        ASSERT_TRUE(Out.has_value());
        EXPECT_EQ(*Out, "JPEG 320 200 True");
    }
    if (Have.Identify) {
        auto Out = RunCommand("identify -format '%m %w %h' '" + Path + "'");
        ASSERT_TRUE(Out.has_value());
        EXPECT_EQ(*Out, "JPEG 320 200");
    }
    std::filesystem::remove(Path);
}

}  // namespace
}  // namespace pv
