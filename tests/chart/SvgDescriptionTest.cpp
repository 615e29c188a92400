// An SVG document of a chart says what it shows: an image role, the title
// and a plain-language summary, escaped, in the chart's locale.

#include <gtest/gtest.h>

#include "platform/chart/Chart.h"
#include "tests/chart/ChartFixtures.h"

namespace pv {
namespace {

TEST(SvgDescriptionTest, TheDocumentIsAnImageWithTheTitleAndASummary) {
    auto Chart = testing::MakeR1();
    Chart->GetTitle()->GetText()->Clear();
    Chart->GetTitle()->GetText()->Add("Sales <EU> & \"US\"");
    Chart->GetTitle()->GetText()->Add("2026");
    Chart->GetSeries(0)->SetTitle("Revenue");
    Chart->GetSeries(0)->SetValueFormat("#,##0.0");
    Chart->SetLocale("de-DE");
    const std::string Svg = Chart->TeeCreateVector(TVectorFormat::vfSVG, clWhite, Rect(0, 0, 400, 250));
    const std::size_t Root = Svg.find("<svg ");
    ASSERT_NE(Root, std::string::npos);
    const std::string Tag = Svg.substr(Root, Svg.find('>', Root) - Root);
    EXPECT_NE(Tag.find(" role=\"img\" aria-labelledby=\"pv-title pv-desc\""), std::string::npos) << Tag;
    EXPECT_EQ(Svg.find("<title"), Svg.find('>', Root) + 2);
    EXPECT_NE(Svg.find("<title id=\"pv-title\">Sales &lt;EU&gt; &amp; &quot;US&quot; 2026</title>\n"
                       "<desc id=\"pv-desc\">Bar chart of 12 points in the series Revenue, values from -5,0 to "
                       "30,0.</desc>"),
              std::string::npos)
        << Svg.substr(Root, 600);
    // A PDF carries nothing of it.
    EXPECT_EQ(Chart->TeeCreateVector(TVectorFormat::vfPDF, clWhite, Rect(0, 0, 400, 250)).find("pv-desc"),
              std::string::npos);
}

}  // namespace
}  // namespace pv
