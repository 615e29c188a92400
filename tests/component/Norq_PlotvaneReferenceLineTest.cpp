// The reference line: float properties written as the shortest text that
// reads back to the same double, the line drawn at its value in exactly its
// colour with its caption, and stored only when set.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>

#include "platform/rtl/FormReader.h"
#include "platform/rtl/FormWriter.h"
#include "tests/component/Fixture.h"

namespace Norq_Plotvane::testing {
namespace {

TEST(FloatFormTextTest, ShortestTextReadsBackToTheSameDouble) {
    const double Values[] = {0.1, 1.0 / 3, -2.5, 100, -0.0, 1e300, 5e-324, 1.2345678901234567e19,
                             123456789012345680.0, std::numeric_limits<double>::max()};
    for (double V : Values) {
        const std::string Text = pv::FloatToFormText(V);
        const std::optional<double> Back = pv::FormTextToFloat(Text);
        ASSERT_TRUE(Back) << Text;
        EXPECT_EQ(std::memcmp(&*Back, &V, sizeof V), 0) << Text;
        // What the writer writes, the form's number syntax reads.
        EXPECT_NO_THROW(pv::ParsePropertyValue(Text)) << Text;
    }
    EXPECT_EQ(pv::FloatToFormText(0.1), "0.1");
    EXPECT_EQ(pv::FloatToFormText(100), "100");
    EXPECT_EQ(pv::FloatToFormText(1.2345678901234567e19), "1.2345678901234567e+19");
    EXPECT_THROW(pv::FloatToFormText(std::nan("")), pv::EConvertError);
    EXPECT_FALSE(pv::FormTextToFloat("1e999"));
}

class ReferenceLineTest : public PlotvaneTest {
protected:
    void SetUp() override {
        PlotvaneTest::SetUp();
        Chart->SetOnAfterDraw({});
        Chart->SetWidth(300);
        Chart->SetHeight(200);
        Chart->SetMarksVisible(false);
        for (double V : {1.0, 2.0, 4.0}) Chart->GetChartSeries()->Add(V, "P");
    }
    // The rows where more than half the picture's width is exactly C.
    std::vector<int> RowsOf(pv::TColor C) {
        const pv::TBitmap& B = *Chart->GetBMPPicture();
        std::vector<int> Rows;
        for (int Y = 0; Y < B.GetHeight(); ++Y) {
            int N = 0;
            for (int X = 0; X < B.GetWidth(); ++X) N += B.GetPixel(X, Y) == C;
            if (N > B.GetWidth() / 2) Rows.push_back(Y);
        }
        return Rows;
    }
};

TEST_F(ReferenceLineTest, DrawnAtItsValueInItsColourWithItsCaption) {
    const pv::TColor Line = pv::RGB(0x12, 0x9A, 0x34);
    Chart->GetReferenceLine()->SetColor(Line);
    EXPECT_TRUE(RowsOf(Line).empty());
    std::vector<int> At;
    for (double V : {1.0, 2.0, 3.0}) {
        Chart->GetReferenceLine()->SetValue(V);
        const std::vector<int> Rows = RowsOf(Line);
        ASSERT_EQ(Rows.size(), 2u) << V;
        EXPECT_EQ(Rows[1], Rows[0] + 1);
        At.push_back(Rows[0]);
    }
    // Equal steps of value are equal steps of pixels, upwards.
    EXPECT_GT(At[0], At[1]);
    EXPECT_NEAR(At[0] - At[1], At[1] - At[2], 1);
    // A value above the data widens the axis: the line is still drawn.
    Chart->GetReferenceLine()->SetValue(9);
    EXPECT_EQ(RowsOf(Line).size(), 2u);
    // The caption: pixels of its hue just above the line's right end.
    Chart->GetReferenceLine()->SetValue(3);
    const int Y = RowsOf(Line)[0];
    auto CaptionPixels = [&] {
        const pv::TBitmap& B = *Chart->GetBMPPicture();
        int N = 0;
        for (int Row = std::max(0, Y - 16); Row < Y; ++Row)
            for (int X = B.GetWidth() / 2; X < B.GetWidth(); ++X) {
                // Antialiased text: green clearly above red and blue.
                const pv::TColor P = B.GetPixel(X, Row);
                N += pv::GetGValue(P) > pv::GetRValue(P) + 40 && pv::GetGValue(P) > pv::GetBValue(P) + 40;
            }
        return N;
    };
    EXPECT_EQ(CaptionPixels(), 0);
    Chart->GetReferenceLine()->SetCaption("target");
    EXPECT_GT(CaptionPixels(), 5);
    Chart->GetReferenceLine()->SetVisible(false);
    EXPECT_TRUE(RowsOf(Line).empty());
    EXPECT_THROW(Chart->GetReferenceLine()->SetValue(std::nan("")), pv::ERangeError);
}

TEST_F(ReferenceLineTest, StoredOnlyWhenSetAndReadBack) {
    const std::string Untouched = pv::WriteComponentProperties(*Chart);
    EXPECT_EQ(Untouched.find("ReferenceLine"), std::string::npos);
    pv::SetPropertyFromString(*Chart, "ReferenceLine.Value", "2.5");
    pv::SetPropertyFromString(*Chart, "ReferenceLine.Caption", "'target'");
    const std::string Written = pv::WriteComponentProperties(*Chart);
    EXPECT_NE(Written.find("ReferenceLine.Value = 2.5\nReferenceLine.Caption = 'target'\n"
                           "ReferenceLine.Color = $20000000\nReferenceLine.Visible = True\n"),
              std::string::npos)
        << Written;
    // Each stored line set on a new chart gives the same text.
    TNorq_DBPlotvane* Other = new TNorq_DBPlotvane(Module.get());
    Other->SetName("Chart2");
    Other->SetOnAfterDraw({});
    std::istringstream Lines(Written);
    for (std::string L; std::getline(Lines, L);) {
        const auto Eq = L.find(" = ");
        if (L.rfind("ReferenceLine.", 0) == 0) pv::SetPropertyFromString(*Other, L.substr(0, Eq), L.substr(Eq + 3));
    }
    EXPECT_EQ(Other->GetReferenceLine()->GetValue(), 2.5);
    EXPECT_EQ(Other->GetReferenceLine()->GetCaption(), "target");
    // Not a finite number: an error naming the property and the value.
    try {
        pv::SetPropertyFromString(*Chart, "ReferenceLine.Value", "NaN");
        FAIL();
    } catch (const pv::EFormError& E) {
        EXPECT_NE(std::string(E.what()).find("ReferenceLine.Value: NaN"), std::string::npos) << E.what();
    }
    EXPECT_EQ(Chart->GetReferenceLine()->GetValue(), 2.5);
}

}  // namespace
}  // namespace Norq_Plotvane::testing
