// What the component, the data-aware chart and their tests include of the
// chart layer: its public classes, which use no Cairo or Pango type. The
// drawing pipeline stays in platform/chart/internal. This test is built
// without Cairo's and Pango's include folders, so a public header that
// pulled them in would not compile.

#include "contracts/ChartLibrary.h"

#include <gtest/gtest.h>

#if defined(CAIRO_H) || defined(__PANGO_H__) || defined(__PANGOCAIRO_H__)
#error "a public chart header includes Cairo or Pango"
#endif

namespace {

TEST(PublicHeadersTest, ChartsDrawThroughThePublicClassesAlone) {
    pv::TChart Chart(nullptr);
    auto* Pie = new pv::TPieSeries(&Chart);
    Pie->SetParentChart(&Chart);
    Pie->Add(3, "a", pv::clRed);
    auto Bitmap = Chart.TeeCreateBitmap(pv::clWhite, pv::Rect(0, 0, 120, 80));
    EXPECT_EQ(Bitmap->GetWidth(), 120);
    int Red = 0;
    for (int Y = 0; Y < 80; ++Y)
        for (int X = 0; X < 120; ++X) Red += Bitmap->GetPixel(X, Y) == pv::clRed;
    EXPECT_GT(Red, 100);
}

}  // namespace
