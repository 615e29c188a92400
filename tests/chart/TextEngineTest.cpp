#include "platform/chart/internal/TextEngine.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/vcl/Bitmap.h"
#include "platform/vcl/Font.h"

namespace pv {
namespace {

TTextFont Sans(double Points = 10) {
    TFont F;
    F.SetSize(static_cast<int>(Points));
    return TTextFont::FromFont(F);
}

// Dark pixels of L drawn in black at (2, 2) on a white bitmap.
int InkOf(const TTextLayout& L, int W = 200, int H = 40) {
    TBitmap B(W, H, clWhite);
    cairo_surface_t* S = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(B.Pixels()),
                                                             CAIRO_FORMAT_RGB24, W, H, B.Stride());
    cairo_t* Cr = cairo_create(S);
    cairo_set_source_rgb(Cr, 0, 0, 0);
    L.Draw(Cr, 2, 2);
    cairo_destroy(Cr);
    cairo_surface_destroy(S);
    int N = 0;
    for (std::uint32_t P : B.PixelSpan()) N += (P & 0xFF) < 128;
    return N;
}

TEST(TextEngineTest, FontFromTFont) {
    TFont F;
    F.SetName("Serif");
    F.SetSize(12);
    F.SetStyle(fsBold | fsUnderline);
    const TTextFont T = TTextFont::FromFont(F);
    EXPECT_EQ(T.Family, "Serif");
    EXPECT_DOUBLE_EQ(T.PixelSize, 16);  // 12 points at 96 dpi
    EXPECT_TRUE(T.Bold);
    EXPECT_FALSE(T.Italic);
    EXPECT_TRUE(T.Underline);
    EXPECT_FALSE(T.StrikeOut);
    F.SetName("");
    F.SetSize(0);
    EXPECT_EQ(TTextFont::FromFont(F).Family, "Sans");
    EXPECT_DOUBLE_EQ(TTextFont::FromFont(F).PixelSize, TFont::DefaultSize * 4.0 / 3);
    F.SetSize(-9);
    EXPECT_DOUBLE_EQ(TTextFont::FromFont(F).PixelSize, 12);
    F.SetSize(100000);
    EXPECT_DOUBLE_EQ(TTextFont::FromFont(F).PixelSize, 400 * 4.0 / 3);
}

TEST(TextEngineTest, MeasuresWhatItDraws) {
    TTextEngine& E = TTextEngine::ForThisThread();
    const TTextLayoutPtr Short = E.Layout(Sans(), "Jan");
    const TTextLayoutPtr Long = E.Layout(Sans(), "January and February");
    EXPECT_GT(Short->Width(), 10);
    EXPECT_GT(Long->Width(), Short->Width() * 3);
    EXPECT_NEAR(Short->Height(), 13.3 * 1.2, 4);
    EXPECT_GT(Short->Baseline(), Short->Height() / 2);
    EXPECT_LT(Short->Baseline(), Short->Height());
    EXPECT_GT(E.Layout(Sans(20), "Jan")->Width(), Short->Width() * 1.7);
    TTextFont Bold = Sans();
    Bold.Bold = true;
    EXPECT_GT(E.Layout(Bold, "January")->Width(), E.Layout(Sans(), "January")->Width());
    // An empty text has no width but a line's height.
    EXPECT_EQ(E.Layout(Sans(), "")->Width(), 0);
    EXPECT_DOUBLE_EQ(E.Layout(Sans(), "")->Height(), Short->Height());
    EXPECT_EQ(InkOf(*E.Layout(Sans(), "")), 0);
    EXPECT_GT(InkOf(*Short), 20);
}

TEST(TextEngineTest, LayoutsAreCachedPerFontTextAndWidth) {
    TTextEngine& E = TTextEngine::ForThisThread();
    const TTextLayoutPtr A = E.Layout(Sans(), "cached");
    EXPECT_EQ(E.Layout(Sans(), "cached"), A);
    EXPECT_NE(E.Layout(Sans(11), "cached"), A);
    EXPECT_NE(E.Layout(Sans(), "cached", 20), A);
    TTextFont Italic = Sans();
    Italic.Italic = true;
    EXPECT_NE(E.Layout(Italic, "cached"), A);
    // A full cache starts again; layouts held elsewhere stay usable.
    for (int I = 0; I < 5000; ++I) E.Layout(Sans(), "text " + std::to_string(I));
    EXPECT_LE(E.CacheSize(), 4096u);
    EXPECT_GT(InkOf(*A), 20);
    E.ClearCache();
    EXPECT_EQ(E.CacheSize(), 0u);
    EXPECT_GT(InkOf(*A), 20);
}

TEST(TextEngineTest, LongTextIsEllipsized) {
    TTextEngine& E = TTextEngine::ForThisThread();
    const std::string Text(1000, 'w');
    const TTextLayoutPtr L = E.Layout(Sans(), Text, 120);
    EXPECT_TRUE(L->Ellipsized());
    EXPECT_LE(L->Width(), 120);
    EXPECT_GT(L->Width(), 60);
    EXPECT_FALSE(E.Layout(Sans(), "short", 120)->Ellipsized());
    // Text far beyond anything visible is cut before shaping, and still ends
    // in an ellipsis.
    EXPECT_TRUE(E.Layout(Sans(), std::string(100000, 'x'), 300)->Ellipsized());
}

TEST(TextEngineTest, AnyBytesMakeOneLine) {
    TTextEngine& E = TTextEngine::ForThisThread();
    const double Line = E.Layout(Sans(), "x")->Height();
    EXPECT_DOUBLE_EQ(E.Layout(Sans(), "two\nlines\r\nand\ttab")->Height(), Line);
    EXPECT_GT(E.Layout(Sans(), "bad \xFF\xFE utf8 \xC3")->Width(), 0);
    EXPECT_DOUBLE_EQ(E.Layout(Sans(), std::string("nul\0inside", 10))->Height(), Line);
    // Scripts from fontconfig's fallback fonts.
    for (const char* S : {"月次収益", "доход", "إيرادات", "Μάιος", "한국어"})
        EXPECT_GT(InkOf(*E.Layout(Sans(), S)), 10) << S;
}

TEST(TextEngineTest, UnderlineAndStrikeOutAddInk) {
    TTextEngine& E = TTextEngine::ForThisThread();
    const int Plain = InkOf(*E.Layout(Sans(), "underline"));
    TTextFont U = Sans();
    U.Underline = true;
    TTextFont S = Sans();
    S.StrikeOut = true;
    EXPECT_GT(InkOf(*E.Layout(U, "underline")), Plain + 30);
    EXPECT_GT(InkOf(*E.Layout(S, "underline")), Plain + 30);
}

TEST(TextEngineTest, EachThreadHasItsOwnEngine) {
    TTextEngine* Mine = &TTextEngine::ForThisThread();
    TTextEngine* Other = nullptr;
    double OtherWidth = 0;
    std::thread T([&] {
        Other = &TTextEngine::ForThisThread();
        OtherWidth = Other->Layout(Sans(), "same text")->Width();
    });
    T.join();
    EXPECT_NE(Mine, Other);
    EXPECT_DOUBLE_EQ(Mine->Layout(Sans(), "same text")->Width(), OtherWidth);
}

}  // namespace
}  // namespace pv
