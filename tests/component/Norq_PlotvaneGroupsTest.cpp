// A series per group of one query on the component: the group field's
// refresh rule, the colour modes over the groups, and the pictures (GIF
// colours exact, HiDPI, SVG) of grouped and stacked charts.

#include <gtest/gtest.h>

#include <set>

#include "platform/db/MemDataSet.h"
#include "tests/component/Fixture.h"

namespace Norq_Plotvane::testing {
namespace {

class PlotvaneGroupsTest : public PlotvaneTest {
protected:
    void SetUp() override {
        PlotvaneTest::SetUp();
        Data = new pv::TMemDataSet(Module.get());
        Data->SetName("Sales");
        Data->AddField("month", pv::TFieldType::ftString);
        Data->AddField("region", pv::TFieldType::ftString);
        Data->AddField("revenue", pv::TFieldType::ftFloat);
        for (const char* Month : {"Jan", "Feb", "Mar"}) {
            Data->AppendRecord({Month, "EU", 6.0});
            Data->AppendRecord({Month, "US", -3.0});
            Data->AppendRecord({Month, "Asia", 4.0});
        }
        Source = new TDataSource(Module.get());
        Source->SetDataSet(Data);
        Chart->SetDataSource(Source);
        Chart->SetXLabelsSource("month");
        Chart->SetYValueSource("revenue");
        Chart->SetMarksVisible(false);
        Chart->SetWidth(360);
        Chart->SetHeight(240);
    }

    // The colours of the GIF's global colour table.
    std::set<TColor> GifColours() {
        const std::vector<std::uint8_t>& G = Chart->GetGIFPicture()->Encoded();
        std::set<TColor> Out;
        if (G.size() < 13 || !(G[10] & 0x80)) return Out;
        const std::size_t N = std::size_t{2} << (G[10] & 7);
        for (std::size_t I = 0; I < N && 13 + 3 * I + 2 < G.size(); ++I)
            Out.insert(pv::RGB(G[13 + 3 * I], G[14 + 3 * I], G[15 + 3 * I]));
        return Out;
    }

    pv::TMemDataSet* Data = nullptr;
    TDataSource* Source = nullptr;
};

TEST_F(PlotvaneGroupsTest, TheGroupFieldRefreshesWhileTheDataSetIsOpen) {
    Attach();
    Chart->SetGroupSource("region");  // closed: nothing to draw again
    EXPECT_EQ(AfterDrawCalls, 0);
    Data->Open();
    EXPECT_EQ(AfterDrawCalls, 1);
    EXPECT_EQ(Chart->GetChartSeries()->GroupCount(), 2);
    Chart->SetGroupSource("region");
    EXPECT_EQ(AfterDrawCalls, 1);
    Chart->SetGroupSource("");
    EXPECT_EQ(AfterDrawCalls, 2);
    EXPECT_EQ(Chart->GetChartSeries()->Count(), 9);
    Chart->SetStacking(pv::TSeriesStacking::sgStacked);
    Chart->SetStacking(pv::TSeriesStacking::sgStacked);
    EXPECT_EQ(AfterDrawCalls, 3);
    EXPECT_THROW(Chart->SetStacking(static_cast<pv::TSeriesStacking>(7)), pv::ERangeError);
    EXPECT_EQ(Chart->GetStacking(), pv::TSeriesStacking::sgStacked);
}

TEST_F(PlotvaneGroupsTest, ColourModesColourEveryGroupAndPicturesKeepTheColoursExact) {
    Chart->SetGroupSource("region");
    Data->Open();
    const TChartSeries& US = *Chart->GetChartSeries()->GetGroup(0);
    const TColor Orange = pv::RGB(0xE6, 0x9F, 0x00), Green = pv::RGB(0x00, 0x9E, 0x73);
    // Each point of the colour of its series: the default mode with
    // several series.
    std::set<TColor> Colours = GifColours();
    for (TColor C : {pv::clBlue, Orange, Green}) EXPECT_EQ(Colours.count(C), 1u) << pv::ColorToString(C);
    // By sign: the negative region's points take the negative colour.
    Chart->SetSeriesColorMode(TSeriesColorMode::scPositiveNegative);
    Chart->GetBMPPicture();
    EXPECT_EQ(US.GetValueColor(0), pv::clRed);
    EXPECT_EQ(Chart->GetChartSeries()->GetGroup(1)->GetValueColor(0), pv::clDefault);
    Colours = GifColours();
    EXPECT_EQ(Colours.count(pv::clRed), 1u);
    EXPECT_EQ(Colours.count(Green), 1u);
    // A palette of the form's own, at twice the scale, stacked.
    Chart->SetSeriesColorMode(TSeriesColorMode::scSingleColor);
    Chart->SetSeriesPalette("#800080 #008080");
    Chart->SetStacking(pv::TSeriesStacking::sgStacked);
    Chart->SetScale(2);
    const TBitmap& B = *Chart->GetBMPPicture();
    EXPECT_EQ(B.GetWidth(), 720);
    Colours = GifColours();
    EXPECT_EQ(Colours.count(pv::clPurple), 1u);
    EXPECT_EQ(Colours.count(pv::clTeal), 1u);
    // The vector pictures draw the same series.
    const std::string Svg = Chart->GetVectorPicture(pv::TVectorFormat::vfSVG);
    EXPECT_NE(Svg.find("rgb(50.196078%,0%,50.196078%)"), std::string::npos);
    EXPECT_NE(Svg.find("rgb(0%,50.196078%,50.196078%)"), std::string::npos);
}

}  // namespace
}  // namespace Norq_Plotvane::testing
