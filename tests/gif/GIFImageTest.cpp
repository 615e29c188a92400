#include "platform/gif/GIFImage.h"

#include <cairo.h>
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/rtl/Exception.h"
#include "platform/rtl/Stream.h"
#include "platform/vcl/Font.h"
#include "tests/support/PictureTests.h"
#include "tests/support/ThrowMessage.h"

namespace pv {
namespace {

using namespace picture_tests;

// A GIF file decoded by giflib, independently of the encoder under test.
struct TDecoded {
    std::string Signature;
    int Width = 0;
    int Height = 0;
    int ColorCount = 0;
    std::vector<std::uint32_t> Pixels;  // 0x00RRGGBB, rows top-down
};

struct TReader {
    const std::vector<std::uint8_t>* Bytes;
    std::size_t Pos = 0;
};

int ReadFromVector(GifFileType* Gif, GifByteType* Buf, int Length) {
    auto* R = static_cast<TReader*>(Gif->UserData);
    const std::size_t N = std::min(static_cast<std::size_t>(Length), R->Bytes->size() - R->Pos);
    std::copy_n(R->Bytes->data() + R->Pos, N, Buf);
    R->Pos += N;
    return static_cast<int>(N);
}

TDecoded DecodeGif(const std::vector<std::uint8_t>& Bytes) {
    TDecoded D;
    D.Signature.assign(Bytes.begin(), Bytes.begin() + std::min<std::size_t>(6, Bytes.size()));
    TReader R{&Bytes};
    int Error = 0;
    GifFileType* Gif = DGifOpen(&R, ReadFromVector, &Error);
    if (!Gif) {
        ADD_FAILURE() << "DGifOpen: " << GifErrorString(Error);
        return D;
    }
    if (DGifSlurp(Gif) != GIF_OK || Gif->ImageCount != 1 || !Gif->SColorMap) {
        ADD_FAILURE() << "DGifSlurp: " << GifErrorString(Gif->Error);
        DGifCloseFile(Gif, &Error);
        return D;
    }
    D.Width = Gif->SWidth;
    D.Height = Gif->SHeight;
    D.ColorCount = Gif->SColorMap->ColorCount;
    const SavedImage& Image = Gif->SavedImages[0];
    EXPECT_EQ(Image.ImageDesc.Width, D.Width);
    EXPECT_EQ(Image.ImageDesc.Height, D.Height);
    for (int I = 0; I < D.Width * D.Height; ++I) {
        const int Index = Image.RasterBits[I];
        EXPECT_LT(Index, D.ColorCount);
        const GifColorType C = Gif->SColorMap->Colors[Index];
        D.Pixels.push_back((std::uint32_t{C.Red} << 16) | (std::uint32_t{C.Green} << 8) | C.Blue);
    }
    DGifCloseFile(Gif, &Error);
    return D;
}

std::vector<std::uint32_t> Rgb(const TBitmap& B) {
    std::vector<std::uint32_t> V(B.PixelSpan().begin(), B.PixelSpan().end());
    for (auto& P : V) P &= 0xFFFFFF;
    return V;
}

// A deterministic scatter of Colours distinct colours over flat blocks.
void FillWithColours(TBitmap& B, int W, int H, int Colours) {
    B.SetSize(W, H);
    std::uint32_t Seed = 12345;
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) {
            Seed = Seed * 1103515245u + 12345u;
            const std::uint32_t K = (Y < H / 2) ? (Seed >> 8) % static_cast<std::uint32_t>(Colours)
                                                : static_cast<std::uint32_t>((X / 8 + Y) % Colours);
            B.ScanLine(Y)[X] = 0xFF000000u | (K * 0x9E3779B1u >> 8);
        }
    // Every colour at least once, so the count is exact.
    for (int K = 0; K < Colours && K < W * H; ++K)
        B.Pixels()[K] = 0xFF000000u | (static_cast<std::uint32_t>(K) * 0x9E3779B1u >> 8);
}

std::size_t DistinctColours(const TBitmap& B) {
    auto V = Rgb(B);
    std::sort(V.begin(), V.end());
    return static_cast<std::size_t>(std::unique(V.begin(), V.end()) - V.begin());
}

// An antialiased drawing like a chart's: flat areas in a few colours, with
// circles, diagonal lines and text whose edges blend into their background.
void DrawAntialiased(TBitmap& B) {
    B.SetSize(300, 200, clWhite);
    cairo_surface_t* S = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(B.Pixels()),
                                                             CAIRO_FORMAT_RGB24, B.GetWidth(), B.GetHeight(),
                                                             B.Stride());
    cairo_t* Cr = cairo_create(S);
    const double Colours[4][3] = {{0, 0, 1}, {1, 0, 0}, {0.2, 0.6, 0.2}, {0.75, 0.75, 0.75}};
    for (int I = 0; I < 4; ++I) {
        cairo_set_source_rgb(Cr, Colours[I][0], Colours[I][1], Colours[I][2]);
        cairo_rectangle(Cr, 10 + I * 70, 110, 50, 80);
        cairo_fill(Cr);
        cairo_arc(Cr, 40 + I * 70, 60, 25.3, 0, 6.2832);
        cairo_fill(Cr);
    }
    cairo_set_source_rgb(Cr, 0, 0, 0);
    cairo_set_line_width(Cr, 1.3);
    for (int I = 0; I < 6; ++I) {
        cairo_move_to(Cr, 5, 5 + I * 30.7);
        cairo_line_to(Cr, 295, 20 + I * 29.1);
        cairo_stroke(Cr);
    }
    cairo_select_font_face(Cr, "Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(Cr, 13);
    cairo_move_to(Cr, 20, 102);
    cairo_show_text(Cr, "Monthly revenue 1234567890");
    cairo_destroy(Cr);
    cairo_surface_destroy(S);
}

std::vector<std::uint8_t> Written(const TGIFImage& Gif) {
    TMemoryStream S;
    Gif.SaveToStream(S);
    return {S.Bytes().begin(), S.Bytes().end()};
}

void ExpectRoundTrip(const TBitmap& B) {
    TGIFImage Gif;
    Gif.Assign(B);
    EXPECT_EQ(Gif.GetWidth(), B.GetWidth());
    EXPECT_EQ(Gif.GetHeight(), B.GetHeight());
    const TDecoded D = DecodeGif(Written(Gif));
    EXPECT_EQ(D.Signature, "GIF89a");
    EXPECT_EQ(D.Width, B.GetWidth());
    EXPECT_EQ(D.Height, B.GetHeight());
    EXPECT_EQ(D.ColorCount, Gif.GetColorCount());
    EXPECT_TRUE(D.Pixels == Rgb(B)) << "pixels differ after the round trip";
}

TEST(GIFImage, FewColoursRoundTripPixelForPixel) {
    TBitmap B;
    for (int Colours : {1, 2, 3, 17, 200, 256}) {
        SCOPED_TRACE(Colours);
        FillWithColours(B, 97, 53, Colours);
        ASSERT_EQ(DistinctColours(B), static_cast<std::size_t>(Colours));
        ExpectRoundTrip(B);
        TGIFImage Gif;
        Gif.Assign(B);
        // The smallest power of two that holds them, and never below 2.
        EXPECT_EQ(Gif.GetColorCount(), std::max(2, static_cast<int>(std::bit_ceil(static_cast<unsigned>(Colours)))));
    }
}

TEST(GIFImage, IgnoresTheUndefinedTopByteOfCairoPixels) {
    TBitmap B(4, 1, clWhite);
    B.Pixels()[1] = 0x00FFFFFF;  // white with another top byte
    B.Pixels()[2] = 0x12FFFFFF;
    TGIFImage Gif;
    Gif.Assign(B);
    EXPECT_EQ(Gif.GetColorCount(), 2);
    EXPECT_EQ(DecodeGif(Written(Gif)).Pixels, std::vector<std::uint32_t>(4, 0xFFFFFF));
}

TEST(GIFImage, ManyColoursKeepFlatColoursExactAndApproximateEdges) {
    TBitmap B;
    DrawAntialiased(B);
    ASSERT_GT(DistinctColours(B), 256u);
    TGIFImage Gif;
    Gif.Assign(B);
    EXPECT_EQ(Gif.GetColorCount(), 256);
    const TDecoded D = DecodeGif(Written(Gif));
    ASSERT_EQ(D.Pixels.size(), static_cast<std::size_t>(B.GetWidth() * B.GetHeight()));

    const auto Source = Rgb(B);
    std::unordered_map<std::uint32_t, int> Count;
    for (auto P : Source) ++Count[P];
    int MaxError = 0;
    double SumError = 0;
    for (std::size_t I = 0; I < Source.size(); ++I) {
        const int E = ChannelDistance(Source[I], D.Pixels[I]);
        MaxError = std::max(MaxError, E);
        SumError += E;
        // Every colour covering 20 pixels or more is a flat colour here
        // (fills, the line and text colour, and the most common blends).
        if (Count[Source[I]] >= 20) {
            ASSERT_EQ(D.Pixels[I], Source[I]) << "pixel " << I;
        }
    }
    EXPECT_EQ(D.Pixels[0], 0xFFFFFFu);
    EXPECT_LE(MaxError, 12);
    EXPECT_LT(SumError / static_cast<double>(Source.size()), 0.1);
}

TEST(GIFImage, PhotographicPictureStaysBoundedAndClose) {
    // 2^18 distinct colours, far more than are tracked one by one, under a
    // white band that must stay exact.
    TBitmap B(512, 600, clWhite);
    for (int Y = 88; Y < 600; ++Y)
        for (int X = 0; X < 512; ++X) {
            const int V = Y - 88;
            B.ScanLine(Y)[X] = 0xFF000000u | (static_cast<std::uint32_t>(X & 255) << 16) |
                               (static_cast<std::uint32_t>(V & 255) << 8) |
                               static_cast<std::uint32_t>((X >> 8) * 128 + (V >> 8) * 64);
        }
    ASSERT_GT(DistinctColours(B), 200000u);
    TGIFImage Gif;
    Gif.Assign(B);
    const TDecoded D = DecodeGif(Written(Gif));
    ASSERT_EQ(D.Width, 512);
    ASSERT_EQ(D.Height, 600);
    const auto Source = Rgb(B);
    int MaxError = 0;
    double SumError = 0;
    for (std::size_t I = 0; I < Source.size(); ++I) {
        SumError += ChannelDistance(Source[I], D.Pixels[I]);
        if (I < 88 * 512) {
            ASSERT_EQ(D.Pixels[I], 0xFFFFFFu) << "pixel " << I;
        }
        MaxError = std::max(MaxError, ChannelDistance(Source[I], D.Pixels[I]));
    }
    // 256 entries over 256 x 256 x 4 values leave boxes of about 32 x 32
    // levels, plus the pooling of colours in 8-level cells.
    EXPECT_LE(MaxError, 40);
    EXPECT_LT(SumError / static_cast<double>(Source.size()), 16);
}

TEST(GIFImage, WritesAtTheStreamPosition) {
    TBitmap B;
    FillWithColours(B, 20, 10, 5);
    TGIFImage Gif;
    Gif.Assign(B);
    const auto& Bytes = Gif.Encoded();
    TMemoryStream S;
    S.WriteString("0123456789");
    S.SetPosition(4);
    Gif.SaveToStream(S);
    EXPECT_EQ(S.GetPosition(), static_cast<std::int64_t>(4 + Bytes.size()));
    ASSERT_EQ(S.GetSize(), static_cast<std::int64_t>(4 + Bytes.size()));
    EXPECT_EQ(S.ToString().substr(0, 4), "0123");
    EXPECT_TRUE(std::equal(Bytes.begin(), Bytes.end(), S.Memory() + 4));
    // The second write gives the same bytes.
    EXPECT_EQ(Written(Gif), Bytes);
}

TEST(GIFImage, EmptyPictureRaisesOnWrite) {
    TGIFImage Gif;
    TMemoryStream S;
    EXPECT_TRUE(Gif.GetEmpty());
    EXPECT_THROW_MSG(Gif.SaveToStream(S), EInvalidGraphic, "TGIFImage: cannot write an empty picture (0 x 0)");
    EXPECT_EQ(S.GetSize(), 0);

    // An empty bitmap after a full one: the old encoding must not survive.
    TBitmap Full(3, 3, clRed);
    Gif.Assign(Full);
    EXPECT_FALSE(Gif.Encoded().empty());
    TBitmap Empty(7, 0);
    Gif.Assign(Empty);
    EXPECT_TRUE(Gif.GetEmpty());
    EXPECT_EQ(Gif.GetWidth(), 7);
    EXPECT_EQ(Gif.GetColorCount(), 0);
    EXPECT_THROW_MSG((void)Gif.Encoded(), EInvalidGraphic, "TGIFImage: cannot write an empty picture (7 x 0)");
}

TEST(GIFImage, EncodingFollowsTheLatestCopyNotTheBitmap) {
    TBitmap B(10, 10, clBlue);
    TGIFImage Gif;
    Gif.Assign(B);
    B.Fill(clRed);  // after the copy: must not show
    EXPECT_EQ(DecodeGif(Gif.Encoded()).Pixels, std::vector<std::uint32_t>(100, 0x0000FF));
    // A new copy replaces the cached encoding.
    Gif.Assign(B);
    EXPECT_EQ(DecodeGif(Gif.Encoded()).Pixels, std::vector<std::uint32_t>(100, 0xFF0000));
    // A copy of many colours after one of few, and back: the reduction's
    // tables carry nothing over from one picture to the next.
    TBitmap Many;
    DrawAntialiased(Many);
    Gif.Assign(Many);
    EXPECT_EQ(Gif.GetColorCount(), 256);
    FillWithColours(B, 31, 7, 9);
    ExpectRoundTrip(B);
    Gif.Assign(B);
    EXPECT_EQ(DecodeGif(Gif.Encoded()).Pixels, Rgb(B));
    // The picture is reduced when first needed, from the pixels as they were
    // at the copy: a painter drawing into the bitmap afterwards, or the
    // bitmap going away, changes neither it nor a copy made of it meanwhile.
    auto Source = std::make_unique<TBitmap>(5, 5, clLime);
    Gif.Assign(*Source);
    TGIFImage Copy;
    Copy.Assign(Gif);
    {
        TBitmap::TDrawing Drawing(*Source);
        std::fill(Drawing.Pixels(), Drawing.Pixels() + 25, 0xFF000000u);
    }
    Source.reset();
    EXPECT_EQ(Gif.GetColorCount(), 2);
    EXPECT_EQ(DecodeGif(Gif.Encoded()).Pixels, std::vector<std::uint32_t>(25, 0x00FF00));
    EXPECT_EQ(DecodeGif(Copy.Encoded()).Pixels, std::vector<std::uint32_t>(25, 0x00FF00));
}

TEST(GIFImage, RepeatedAndAlternatingPicturesEncodeAsFreshOnes) {
    // The reduction reuses its last palette when a picture has exactly the
    // same colours and counts; any other picture must not get it.
    TBitmap A, B, Few;
    DrawAntialiased(A);
    DrawAntialiased(B);
    B.Pixels()[5] = 0xFF123456;  // one pixel more of a new colour
    FillWithColours(Few, 40, 40, 30);
    auto Fresh = [](const TBitmap& Bitmap) {
        TGIFImage G;
        G.Assign(Bitmap);
        return G.Encoded();
    };
    const auto EncodedA = Fresh(A), EncodedB = Fresh(B);
    ASSERT_NE(EncodedA, EncodedB);
    TGIFImage Gif;
    for (const TBitmap* P : {&A, &A, &B, &A, &Few, &A, &B, &B}) {
        Gif.Assign(*P);
        EXPECT_EQ(Gif.Encoded(), P == &A ? EncodedA : P == &B ? EncodedB : Fresh(Few));
    }
}

TEST(GIFImage, ExtremeSizes) {
    TBitmap One(1, 1, clFuchsia);
    ExpectRoundTrip(One);
    TBitmap Wide(TBitmap::MaxSide, 1, clWhite);
    for (int X = 0; X < TBitmap::MaxSide; X += 3) Wide.Pixels()[X] = 0xFF000000u | static_cast<std::uint32_t>(X % 7);
    ExpectRoundTrip(Wide);
    TBitmap Tall(1, TBitmap::MaxSide, clBlack);
    Tall.Pixels()[TBitmap::MaxSide - 1] = 0xFFFFFFFF;
    ExpectRoundTrip(Tall);
}

TEST(GIFImage, AssignCopiesAnotherGIFAndRejectsOtherClasses) {
    TBitmap B;
    DrawAntialiased(B);
    TGIFImage A, C;
    A.Assign(B);
    C.Assign(A);
    EXPECT_EQ(C.GetWidth(), 300);
    EXPECT_EQ(C.Encoded(), A.Encoded());
    C.Assign(C);
    EXPECT_EQ(C.Encoded(), A.Encoded());
    TFont F;
    EXPECT_THROW_MSG(C.Assign(F), EConvertError, "Cannot assign a TFont to a TGIFImage");
    EXPECT_EQ(C.Encoded(), A.Encoded());
}

TEST(GIFImage, OtherDecodersReadTheFile) {
    const TOtherDecoders Have;
    if (!Have.Any()) GTEST_SKIP() << "neither Pillow nor ImageMagick's identify is installed";
    TBitmap B;
    DrawAntialiased(B);
    TGIFImage Gif;
    Gif.Assign(B);
    const std::string Path = WriteTempFile("plotvane-gif-test.gif", Gif.Encoded());
    if (Have.Pillow) {
        // Pixel (25, 150) is inside the flat blue rectangle.
        auto Out = RunCommand("/usr/bin/python3 -c \"from PIL import Image; im = Image.open('" + Path +
                       "'); im.load(); print(im.format, im.size[0], im.size[1], im.convert('RGB').getpixel((25, 150)))\"");
        ASSERT_TRUE(Out.has_value());
        EXPECT_EQ(*Out, "GIF 300 200 (0, 0, 255)");
    }
    if (Have.Identify) {
        auto Out = RunCommand("identify -format '%m %w %h' '" + Path + "'");
        ASSERT_TRUE(Out.has_value());
        EXPECT_EQ(*Out, "GIF 300 200");
    }
    std::filesystem::remove(Path);
}

}  // namespace
}  // namespace pv
