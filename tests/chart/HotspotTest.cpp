// The areas of the points lie on what the picture shows of them: for every
// kind of series, flat and in 3D, at scale 1 and 2, with a split series and
// a further one, side by side and piled, the middle of each area has its
// point's colour on the bitmap.

#include <gtest/gtest.h>

#include <cmath>

#include "platform/rtl/Exception.h"
#include "tests/chart/ChartFixtures.h"

namespace pv {
namespace {

using namespace pv::testing;

// Which of red, green and blue clearly leads in a pixel (-1: none, as on
// white, grey or black): shades and antialiasing keep it.
int Hue(TColor C) {
    const int Ch[3] = {GetRValue(C), GetGValue(C), GetBValue(C)};
    for (int K = 0; K < 3; ++K)
        if (Ch[K] > Ch[(K + 1) % 3] + 40 && Ch[K] > Ch[(K + 2) % 3] + 40) return K;
    return -1;
}

int HueOf(TColor C) { return Hue(ColorToRGB(C, clWhite)); }

struct TCase {
    TChartSeriesClass Class;
    const char* Name;
    THotspotShape Flat, Deep;
};

std::unique_ptr<TChart> Build(const TCase& Case, bool View3D, TSeriesStacking Stacking) {
    auto C = MakeChart(420, 260);
    C->SetView3D(View3D);
    C->SetStacking(Stacking);
    C->SetPalette({clLime});
    auto* S = Case.Class(C.get());
    S->SetParentChart(C.get());
    S->GetMarks()->SetVisible(false);
    S->SetTitle("North");
    const bool Pie = dynamic_cast<TPieSeries*>(S) != nullptr;
    if (Pie) {
        const TColor Colours[] = {clRed, clLime, clBlue, clRed, clLime};
        const double Values[] = {5, 3, 4, 2, 6};
        for (int I = 0; I < 5; ++I) S->Add(Values[I], "P" + std::to_string(I), Colours[I]);
        return C;
    }
    S->SetSeriesColor(clRed);
    const double High[] = {80, 86, 90, 84, 88, 82};
    const double Low[] = {6, 9, 5, 8, 10, 7};
    for (int I = 0; I < 6; ++I) S->Add(High[I], "M" + std::to_string(I));
    // A group of the series, coloured by the palette, with a gap.
    TChartSeries& G = S->AddGroup("South");
    for (int I = 0; I < 6; ++I)
        if (I == 3)
            G.AddNull("M3");
        else
            G.Add(High[I] - 35, "M" + std::to_string(I));
    auto* Third = Case.Class(C.get());
    Third->SetParentChart(C.get());
    Third->GetMarks()->SetVisible(false);
    Third->SetSeriesColor(clBlue);
    Third->SetTitle("East");
    for (int I = 0; I < 6; ++I) Third->Add(Low[I], "M" + std::to_string(I));
    TChartAxis* Values = Case.Class == &THorizBarSeries::NewInstance ? C->GetBottomAxis() : C->GetLeftAxis();
    Values->SetMinMax(0, Stacking == TSeriesStacking::sgNone ? 100 : 180);
    return C;
}

TEST(HotspotTest, EveryAreaLiesOnItsPointInEveryKindDepthAndScale) {
    const TCase Cases[] = {
        {&TBarSeries::NewInstance, "bar", THotspotShape::hsRect, THotspotShape::hsPoly},
        {&THorizBarSeries::NewInstance, "horizontal bar", THotspotShape::hsRect, THotspotShape::hsPoly},
        {&TLineSeries::NewInstance, "line", THotspotShape::hsCircle, THotspotShape::hsCircle},
        {&TAreaSeries::NewInstance, "area", THotspotShape::hsCircle, THotspotShape::hsCircle},
        {&TPointSeries::NewInstance, "point", THotspotShape::hsCircle, THotspotShape::hsCircle},
        {&TPieSeries::NewInstance, "pie", THotspotShape::hsPoly, THotspotShape::hsPoly},
    };
    for (const TCase& Case : Cases)
        for (bool View3D : {false, true})
            for (TSeriesStacking Stacking : {TSeriesStacking::sgNone, TSeriesStacking::sgStacked})
                for (double Scale : {1.0, 2.0}) {
                    const bool Piles = Case.Class == &TBarSeries::NewInstance || Case.Class == &TAreaSeries::NewInstance;
                    if (Stacking != TSeriesStacking::sgNone && !Piles) continue;
                    SCOPED_TRACE(std::string(Case.Name) + (View3D ? " 3D" : " flat") +
                                 (Stacking != TSeriesStacking::sgNone ? " piled" : "") + " at scale " +
                                 std::to_string(Scale));
                    auto C = Build(Case, View3D, Stacking);
                    const TRect R = Rect(0, 0, C->GetWidth(), C->GetHeight());
                    const auto B = C->TeeCreateBitmap(clWhite, R, Scale);
                    const std::vector<TChartHotspot> Spots = C->Hotspots(R, Scale);
                    const bool Pie = Case.Class == &TPieSeries::NewInstance;
                    // Every drawn point has its area: 5 slices, or 6 + 5 + 6.
                    ASSERT_EQ(Spots.size(), Pie ? 5u : 17u);
                    for (const TChartHotspot& S : Spots) {
                        SCOPED_TRACE(S.SeriesTitle + " point " + std::to_string(S.Index));
                        EXPECT_EQ(S.Shape, View3D ? Case.Deep : Case.Flat);
                        const int X = static_cast<int>(std::floor(S.CenterX)), Y = static_cast<int>(std::floor(S.CenterY));
                        ASSERT_TRUE(X >= 0 && Y >= 0 && X < B->GetWidth() && Y < B->GetHeight());
                        const TColor Want = Pie ? S.Points->GetValueColor(S.Index)
                                                : (S.Series == 0 ? clRed : S.Series == 1 ? clLime : clBlue);
                        EXPECT_EQ(Hue(B->GetPixel(X, Y)), HueOf(Want)) << "at " << X << "," << Y;
                        // Each area holds its middle.
                        const std::vector<double>& K = S.Coords;
                        if (S.Shape == THotspotShape::hsRect) {
                            EXPECT_TRUE(K[0] <= S.CenterX && S.CenterX <= K[2] && K[1] <= S.CenterY && S.CenterY <= K[3]);
                        } else if (S.Shape == THotspotShape::hsCircle) {
                            EXPECT_LE(std::hypot(K[0] - S.CenterX, K[1] - S.CenterY), K[2]);
                            EXPECT_GE(K[2], 4 * Scale);
                        }
                        EXPECT_EQ(S.Label, (Pie ? "P" : "M") + std::to_string(S.Index));
                        EXPECT_EQ(S.Formatted, FormatFloat(S.Points->GetValueFormat(), S.Value));
                    }
                    // A bar's box at scale 2 is the one at scale 1, doubled.
                    if (Scale == 2) {
                        const std::vector<TChartHotspot> One = C->Hotspots(R, 1);
                        for (std::size_t I = 0; I < One.size(); ++I)
                            for (std::size_t J = 0; J < One[I].Coords.size(); ++J)
                                EXPECT_NEAR(Spots[I].Coords[J], 2 * One[I].Coords[J], 1e-9);
                    }
                }
}

TEST(HotspotTest, NullPointsAndPointsOffThePlotHaveNoArea) {
    auto C = MakeChart(300, 200);
    auto* S = AddSeries<TPointSeries>(*C);
    S->Add(5, "in");
    S->AddNull("null");
    S->Add(500, "above");
    S->Add(7, "hidden", clNone);
    C->GetLeftAxis()->SetMinMax(0, 10);
    const std::vector<TChartHotspot> Spots = C->Hotspots(Rect(0, 0, 300, 200));
    ASSERT_EQ(Spots.size(), 1u);
    EXPECT_EQ(Spots[0].Label, "in");
    EXPECT_THROW(C->Hotspots(Rect(0, 0, 300, 200), 9), EInvalidGraphic);
}

}  // namespace
}  // namespace pv
