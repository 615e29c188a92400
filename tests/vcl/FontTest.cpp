// Fonts: defaults, change notices and copies.

#include <gtest/gtest.h>

#include "platform/vcl/Font.h"

namespace pv {
namespace {

TEST(FontTest, DefaultsAreDocumented) {
    TFont F;
    EXPECT_EQ(F.GetName(), "Sans");
    EXPECT_EQ(F.GetSize(), 10);
    EXPECT_EQ(F.GetColor(), clWindowText);
    EXPECT_EQ(F.GetStyle(), 0);
    EXPECT_EQ(F.GetPitch(), TFontPitch::fpDefault);
}

TEST(FontTest, EveryChangeIsNoticedButNoChangeIsNot) {
    TFont F;
    int Changes = 0;
    F.OnChange = TNotifyEvent([&](TObject*) { ++Changes; });
    F.SetSize(12);
    F.SetName("Serif");
    F.SetColor(clRed);
    F.SetStyle(fsBold | fsItalic);
    EXPECT_EQ(Changes, 4);
    F.SetSize(12);
    F.SetName("Serif");
    EXPECT_EQ(Changes, 4);
}

TEST(FontTest, AssignCopiesEveryAttributeWithOneNotice) {
    TFont A;
    A.SetName("Monospace");
    A.SetSize(7);
    A.SetColor(clTeal);
    A.SetStyle(fsUnderline | fsStrikeOut);
    A.SetPitch(TFontPitch::fpFixed);
    TFont B;
    int Changes = 0;
    B.OnChange = TNotifyEvent([&](TObject*) { ++Changes; });
    EXPECT_FALSE(B.SameAs(A));
    B.Assign(A);
    EXPECT_TRUE(B.SameAs(A));
    EXPECT_EQ(Changes, 1);
    A.SetSize(8);  // the copy is independent
    EXPECT_EQ(B.GetSize(), 7);
}

}  // namespace
}  // namespace pv
