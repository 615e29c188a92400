// Bitmaps: size limits, pixels, independent copies and the BMP and PNG files
// they write.

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "platform/rtl/Exception.h"
#include "platform/rtl/Stream.h"
#include "platform/vcl/Bitmap.h"
#include "tests/support/ThrowMessage.h"

namespace pv {
namespace {

TEST(BitmapTest, NewBitmapsAreFilledAndEmptyOnesReportIt) {
    TBitmap Empty;
    EXPECT_TRUE(Empty.GetEmpty());
    TBitmap B(3, 2, clRed);
    EXPECT_FALSE(B.GetEmpty());
    EXPECT_EQ(B.GetWidth(), 3);
    EXPECT_EQ(B.GetHeight(), 2);
    for (int Y = 0; Y < 2; ++Y)
        for (int X = 0; X < 3; ++X) EXPECT_EQ(B.GetPixel(X, Y), clRed);
    B.Fill(clWindow);  // system colours resolve when they are drawn
    EXPECT_EQ(B.GetPixel(2, 1), clWhite);
    B.SetPixel(1, 1, clNavy);
    EXPECT_EQ(B.GetPixel(1, 1), clNavy);
    EXPECT_EQ(B.GetPixel(0, 1), clWhite);
}

TEST(BitmapTest, BadSizesAndPixelsAreClearErrorsAndChangeNothing) {
    TBitmap B(2, 2, clBlue);
    EXPECT_THROW_MSG(B.SetSize(-1, 5), EInvalidGraphic,
                     "Bitmap size -1 x 5 is invalid: each side must be 0..16384 and the area at most 16777216 pixels");
    EXPECT_THROW(B.SetSize(16385, 1), EInvalidGraphic);
    EXPECT_THROW(B.SetSize(8192, 4096), EInvalidGraphic);  // each side fits, the area does not
    EXPECT_EQ(B.GetWidth(), 2);
    EXPECT_EQ(B.GetPixel(1, 1), clBlue);
    EXPECT_THROW_MSG(B.GetPixel(2, 0), EInvalidGraphic, "Pixel (2, 0) is outside the bitmap of 2 x 2");
    EXPECT_THROW_MSG(B.SetPixel(0, -1, clRed), EInvalidGraphic, "Pixel (0, -1) is outside the bitmap of 2 x 2");
}

TEST(BitmapTest, AssignMakesAnIndependentCopy) {
    TBitmap A(4, 4, clYellow);
    TBitmap B;
    B.Assign(A);
    A.SetPixel(0, 0, clBlack);
    EXPECT_EQ(B.GetPixel(0, 0), clYellow);
    EXPECT_EQ(B.GetWidth(), 4);
    B.Assign(B);  // itself: nothing changes
    EXPECT_EQ(B.GetPixel(3, 3), clYellow);
}

// Assigned bitmaps share their pixels until one is written; every way of
// writing must leave the other as it was.
TEST(BitmapTest, AssignedBitmapsStayApartHoweverEitherIsWritten) {
    auto Pair = [](TBitmap& A, TBitmap& B) {
        A.SetSize(3, 2, clYellow);
        B.Assign(A);
    };
    TBitmap A, B;
    Pair(A, B);
    B.Fill(clRed);
    EXPECT_EQ(A.GetPixel(2, 1), clYellow);
    Pair(A, B);
    A.SetSize(3, 2, clBlue);  // same size: storage that could be kept
    EXPECT_EQ(B.GetPixel(0, 0), clYellow);
    EXPECT_EQ(A.GetPixel(0, 0), clBlue);
    Pair(A, B);
    A.SetSizeForDrawing(3, 2);
    {
        TBitmap::TDrawing Drawing(A);
        std::fill_n(Drawing.Pixels(), 6, TBitmap::ToPixel(clGreen));
    }
    EXPECT_EQ(B.GetPixel(1, 1), clYellow);
    EXPECT_EQ(A.GetPixel(1, 1), clGreen);

    // A drawing in progress: the copy taken meanwhile is not drawn on.
    Pair(A, B);
    {
        TBitmap::TDrawing Drawing(A);
        TBitmap During;
        During.Assign(A);
        Drawing.Pixels()[0] = TBitmap::ToPixel(clBlack);
        EXPECT_EQ(During.GetPixel(0, 0), clYellow);
    }
    EXPECT_EQ(A.GetPixel(0, 0), clBlack);
    EXPECT_EQ(B.GetPixel(0, 0), clYellow);

    // A writable pointer may be written through at any later time: neither a
    // copy made from its bitmap nor a copy made into it may see another's
    // pixels change.
    Pair(A, B);
    std::uint32_t* Held = A.Pixels();
    TBitmap C;
    C.Assign(A);
    A.Assign(B);
    Held[0] = TBitmap::ToPixel(clBlack);
    EXPECT_EQ(A.GetPixel(0, 0), clBlack);  // the same size: the pointer is still A's
    EXPECT_EQ(B.GetPixel(0, 0), clYellow);
    EXPECT_EQ(C.GetPixel(0, 0), clYellow);
    // Nor does a much smaller picture assigned into it move its pixels away.
    TBitmap Dot(1, 1, clRed);
    A.Assign(Dot);
    Held[0] = TBitmap::ToPixel(clBlue);
    EXPECT_EQ(A.GetPixel(0, 0), clBlue);
    EXPECT_EQ(Dot.GetPixel(0, 0), clRed);
}

TEST(BitmapTest, WritesABottomUpBmpFile) {
    TBitmap B(2, 2, clWhite);
    B.SetPixel(0, 0, RGB(1, 2, 3));  // top left
    TMemoryStream S;
    B.SaveToStream(S);
    const std::uint8_t* D = S.Memory();
    ASSERT_GE(S.GetSize(), 54 + 2 * 8);
    EXPECT_EQ(D[0], 'B');
    EXPECT_EQ(D[1], 'M');
    // Rows of 2 x 3 bytes padded to 8; the top row comes last, blue first.
    const std::uint8_t* TopRow = D + 54 + 8;
    EXPECT_EQ(TopRow[0], 3);
    EXPECT_EQ(TopRow[1], 2);
    EXPECT_EQ(TopRow[2], 1);
    EXPECT_EQ(S.GetSize(), 54 + 2 * 8);
}

TEST(BitmapTest, PngFileIsWrittenOrTheErrorNamesTheFile) {
    TBitmap B(5, 3, clGreen);
    const auto Path = std::filesystem::temp_directory_path() / "plotvane-bitmap-test.png";
    B.SaveToPNGFile(Path.string());
    EXPECT_GT(std::filesystem::file_size(Path), 8u);
    std::filesystem::remove(Path);
    EXPECT_THROW(B.SaveToPNGFile("/nonexistent-folder/x.png"), EInvalidGraphic);
}

// Every pixel comes back from the PNG as it was, read by Cairo's own PNG
// reader: flat areas, vertical edges, noise, and sizes of one pixel.
TEST(BitmapTest, PngKeepsEveryPixel) {
    std::uint32_t Seed = 12345;
    auto Next = [&] { return Seed = Seed * 1664525u + 1013904223u; };
    // Premultiplied ARGB, as a transparent bitmap holds it: no channel above
    // the alpha.
    auto NextPremultiplied = [&] {
        const std::uint32_t A = Next() >> 24, R = (Next() >> 8) % (A + 1), G = (Next() >> 8) % (A + 1);
        return A << 24 | R << 16 | G << 8 | (Next() >> 8) % (A + 1);
    };
    for (auto [W, H, Alpha] : {std::tuple{1, 1, false}, std::tuple{1, 7, false}, std::tuple{9, 1, false},
                               std::tuple{123, 45, false}, std::tuple{1, 1, true}, std::tuple{77, 31, true}}) {
        TBitmap B(W, H, clWhite);
        if (Alpha) B.SetSizeTransparent(W, H);
        ASSERT_EQ(B.HasAlpha(), Alpha);
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X)
                B.ScanLine(Y)[X] = Alpha ? (X < W / 3 ? 0u : NextPremultiplied())
                                         : X < W / 3 ? 0x2060C0u : (X < 2 * W / 3 ? (Next() >> 8) : 0xFF0000u + Y);
        const std::vector<std::uint8_t> Png = B.EncodePNG();
        struct TReader {
            const std::vector<std::uint8_t>& Bytes;
            std::size_t At = 0;
        } Reader{Png};
        cairo_surface_t* S = cairo_image_surface_create_from_png_stream(
            [](void* Closure, unsigned char* Data, unsigned int Length) {
                auto* R = static_cast<TReader*>(Closure);
                if (R->Bytes.size() - R->At < Length) return CAIRO_STATUS_READ_ERROR;
                std::memcpy(Data, R->Bytes.data() + R->At, Length);
                R->At += Length;
                return CAIRO_STATUS_SUCCESS;
            },
            &Reader);
        ASSERT_EQ(cairo_surface_status(S), CAIRO_STATUS_SUCCESS) << W << " x " << H;
        ASSERT_EQ(cairo_image_surface_get_width(S), W);
        ASSERT_EQ(cairo_image_surface_get_height(S), H);
        const unsigned char* Data = cairo_image_surface_get_data(S);
        const int Stride = cairo_image_surface_get_stride(S);
        int Wrong = 0;
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X) {
                std::uint32_t P;
                std::memcpy(&P, Data + Y * Stride + 4 * X, 4);
                const std::uint32_t Mask = Alpha ? 0xFFFFFFFFu : 0xFFFFFFu;
                Wrong += (P & Mask) != (B.ScanLine(Y)[X] & Mask);
            }
        EXPECT_EQ(Wrong, 0) << W << " x " << H << (Alpha ? " with alpha" : "");
        cairo_surface_destroy(S);
    }
    EXPECT_THROW(TBitmap().EncodePNG(), EInvalidGraphic);
}

}  // namespace
}  // namespace pv
