// Themes: classic is today's picture, the others change the background,
// text, palette and lines of whatever the properties leave at their
// defaults, for every series type, and leave the properties themselves
// alone.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <vector>

#include "platform/rtl/FormWriter.h"
#include "tests/component/Fixture.h"
#include "tests/support/ThrowMessage.h"

namespace Norq_Plotvane::testing {
namespace {

using pv::RGB;
using pv::TColor;

class ThemeTest : public PlotvaneTest {
protected:
    void SetUp() override {
        PlotvaneTest::SetUp();
        Chart->SetOnAfterDraw({});  // a form stores only named handlers
        Chart->SetWidth(300);
        Chart->SetHeight(200);
        pv::TStringList Title;
        Title.Add("Sales");
        Chart->SetTitleText(&Title);
        Chart->SetAxisBottomTitleCaption("Month");
        for (double V : {3.0, -1.5, 4.0, 2.5}) Chart->GetChartSeries()->Add(V, "P");
    }
    // The SVG document without the surface number Cairo counts up.
    std::string Svg() {
        return std::regex_replace(Chart->GetVectorPicture(pv::TVectorFormat::vfSVG), std::regex("surface[0-9]+"),
                                  "surface");
    }
    std::vector<std::uint32_t> Pixels() {
        const TBitmap& B = *Chart->GetBMPPicture();
        return {B.PixelSpan().begin(), B.PixelSpan().end()};
    }
    // How many pixels in rows Top..Bottom - 1 are C, or within Near of it
    // in every channel (the cores of small antialiased text).
    int Count(TColor C, int Top = 0, int Bottom = 200, int Near = 0) {
        const TBitmap& B = *Chart->GetBMPPicture();
        int N = 0;
        for (int Y = Top; Y < Bottom; ++Y)
            for (int X = 0; X < B.GetWidth(); ++X) {
                const TColor P = B.GetPixel(X, Y);
                N += std::abs(int(pv::GetRValue(P)) - int(pv::GetRValue(C))) <= Near &&
                     std::abs(int(pv::GetGValue(P)) - int(pv::GetGValue(C))) <= Near &&
                     std::abs(int(pv::GetBValue(P)) - int(pv::GetBValue(C))) <= Near;
            }
        return N;
    }
};

struct TThemeColours {
    TPlotvaneTheme Theme;
    TColor Background, Title, Text;
};
const TThemeColours Themes[] = {
    {TPlotvaneTheme::thModern, RGB(0xFF, 0xFF, 0xFF), RGB(0x22, 0x2B, 0x36), RGB(0x44, 0x4C, 0x56)},
    {TPlotvaneTheme::thDark, RGB(0x1E, 0x21, 0x27), RGB(0xF2, 0xF4, 0xF7), RGB(0xD0, 0xD5, 0xDC)},
};

TEST_F(ThemeTest, ClassicIsTodaysPictureAndThemesLeaveThePropertiesAlone) {
    const std::vector<std::uint32_t> Classic = Pixels();
    const std::string ClassicSvg = Svg();
    const std::string Stored = pv::WriteComponentProperties(*Chart);
    EXPECT_EQ(Stored.find("Theme"), std::string::npos);
    for (const TThemeColours& T : Themes) {
        Chart->SetTheme(T.Theme);
        EXPECT_FALSE(Pixels() == Classic);
        EXPECT_FALSE(Svg() == ClassicSvg);
        // Nothing the theme drew with stays in the properties or the chart.
        EXPECT_EQ(Chart->GetColor(), pv::clWindow);
        EXPECT_EQ(Chart->GetTitleFont()->GetColor(), pv::clNavy);
        EXPECT_EQ(Chart->GetTitleFont()->GetSize(), 12);
        EXPECT_EQ(Chart->GetSeriesColor(), pv::clBlue);
        EXPECT_EQ(Chart->GetSeriesColorNegative(), pv::clRed);
        EXPECT_EQ(Chart->GetMarksBackColor(), TColor(0xE1FFFF));
        EXPECT_EQ(Chart->GetChartSeries()->GetValueColor(1), pv::clDefault);
        EXPECT_EQ(Chart->GetInternalChart()->GetLook().LegendFrame, pv::TChartLook().LegendFrame);
        EXPECT_EQ(Chart->GetInternalChart()->GetLegend()->GetFont()->GetColor(), pv::clBlack);
        EXPECT_EQ(pv::WriteComponentProperties(*Chart),
                  Stored + "Theme = " + (T.Theme == TPlotvaneTheme::thDark ? "thDark" : "thModern") + "\n");
    }
    Chart->SetTheme(TPlotvaneTheme::thClassic);
    EXPECT_TRUE(Pixels() == Classic);
    EXPECT_TRUE(Svg() == ClassicSvg);
    EXPECT_THROW_MSG(Chart->SetTheme(static_cast<TPlotvaneTheme>(3)), pv::ERangeError,
                     "Theme 3 of 'Chart1' is out of range: it must be thClassic, thModern or thDark");
}

TEST_F(ThemeTest, BackgroundTextAndLegendFrameFollowTheThemeWhatTheFormSetsWins) {
    const TColor ClassicFrame = pv::TChartLook().LegendFrame;
    EXPECT_GT(Count(ClassicFrame), 100);
    for (const TThemeColours& T : Themes) {
        SCOPED_TRACE(static_cast<int>(T.Theme));
        Chart->SetTheme(T.Theme);
        EXPECT_EQ(Chart->GetBMPPicture()->GetPixel(1, 1), T.Background);
        EXPECT_GT(Count(T.Title, 0, 30), 15) << "the title's text";
        EXPECT_GT(Count(T.Text, 150, 200, 12), 15) << "the axis labels and title";
        EXPECT_EQ(Count(ClassicFrame), 0) << "no grey legend frame";
        // A colour spelled as the classic one draws counts as not set; any
        // other wins over the theme.
        Chart->SetColor(pv::clWhite);
        EXPECT_EQ(Chart->GetBMPPicture()->GetPixel(1, 1), T.Background);
        Chart->SetColor(pv::clYellow);
        pv::TFont Red;
        Red.Assign(*Chart->GetTitleFont());
        Red.SetColor(pv::clRed);
        Chart->SetTitleFont(&Red);
        EXPECT_EQ(Chart->GetBMPPicture()->GetPixel(1, 1), pv::clYellow);
        EXPECT_GT(Count(pv::clRed, 0, 30), 15);
        EXPECT_EQ(Count(T.Title, 0, 30), 0);
        Red.SetColor(pv::clNavy);
        Chart->SetTitleFont(&Red);
        Chart->SetColor(pv::clWindow);
    }
}

TEST_F(ThemeTest, EverySeriesTypeFlatAnd3DWithGradientAndMonochrome) {
    const TPlotvaneSeriesType Types[] = {TPlotvaneSeriesType::stBar,  TPlotvaneSeriesType::stHorizBar,
                                         TPlotvaneSeriesType::stLine, TPlotvaneSeriesType::stArea,
                                         TPlotvaneSeriesType::stPoint, TPlotvaneSeriesType::stPie};
    const auto Grey = [](TColor C) {
        const int Y = static_cast<int>(std::lround(0.299 * pv::GetRValue(C) + 0.587 * pv::GetGValue(C) +
                                                   0.114 * pv::GetBValue(C)));
        return RGB(Y, Y, Y);
    };
    for (const TThemeColours& T : Themes)
        for (TPlotvaneSeriesType Type : Types)
            for (int Variant = 0; Variant < 4; ++Variant) {
                SCOPED_TRACE(::testing::Message() << int(T.Theme) << " type " << int(Type) << " variant " << Variant);
                Chart->SetTheme(T.Theme);
                Chart->SetSeriesType(Type);
                Chart->SetView3D(Variant == 1 || Variant == 2);
                Chart->SetGradientVisible(Variant == 2);
                Chart->SetMonochrome(Variant == 3);
                const TBitmap& B = *Chart->GetBMPPicture();
                const TColor Corner = B.GetPixel(B.GetWidth() - 1, B.GetHeight() - 1);
                if (Variant == 3) {
                    EXPECT_LE(std::abs(int(pv::GetRValue(Corner)) - int(pv::GetRValue(Grey(T.Background)))), 1);
                } else if (Variant != 2) {
                    EXPECT_EQ(Corner, T.Background);
                } else {
                    EXPECT_NE(Corner, T.Background);  // the gradient's end, the theme's own
                    EXPECT_NE(Corner, TColor(0xF0E6DC));
                }
                // The theme's text colour (legend, labels) on every kind of chart.
                if (Variant != 3) {
                    EXPECT_GT(Count(T.Text, 0, 200, 12), 20);
                }
            }
}

}  // namespace
}  // namespace Norq_Plotvane::testing
