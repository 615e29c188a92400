// A series of many more points than pixels, drawn both ways: through the
// points that show (what a render does) and through every point (the
// drawing before the reduction), and the two pictures compared.

#include "platform/chart/internal/PointReduction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/chart/internal/ChartDraw.h"
#include "platform/chart/internal/ChartLayout.h"
#include "platform/chart/internal/SeriesGeometry.h"
#include "tests/chart/ChartFixtures.h"

namespace pv {
namespace {

using namespace pv::testing;

constexpr int Points = 10000;  // some 27 a pixel column of a 400 x 250 chart

std::unique_ptr<TBitmap> Draw(const TChart& C, double Scale, TPointDetail Detail, TEdges Edges) {
    auto B = std::make_unique<TBitmap>(int(C.GetWidth() * Scale), int(C.GetHeight() * Scale), clWhite);
    DrawChart(C, *B, Scale, {Detail, Edges});
    return B;
}

int Channel(std::uint32_t P, int K) { return int(P >> (8 * K)) & 255; }

// The pixels of A whose colour is not, in each channel, between the least
// and the greatest of B's nine pixels around it: those not found within a
// pixel of where they are.
int NotNear(const TBitmap& A, const TBitmap& B) {
    const int W = A.GetWidth(), H = A.GetHeight();
    const auto PA = A.PixelSpan(), PB = B.PixelSpan();
    int Count = 0;
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) {
            const std::uint32_t P = PA[std::size_t(Y * W + X)];
            if (P == PB[std::size_t(Y * W + X)]) continue;
            bool Found = true;
            for (int K = 0; K < 3 && Found; ++K) {
                int Lo = 255, Hi = 0;
                for (int QY = std::max(0, Y - 1); QY <= std::min(H - 1, Y + 1); ++QY)
                    for (int QX = std::max(0, X - 1); QX <= std::min(W - 1, X + 1); ++QX) {
                        const int V = Channel(PB[std::size_t(QY * W + QX)], K);
                        Lo = std::min(Lo, V), Hi = std::max(Hi, V);
                    }
                Found = Channel(P, K) >= Lo && Channel(P, K) <= Hi;
            }
            Count += !Found;
        }
    return Count;
}

// The greatest difference in a channel between the averages of A's and B's
// pixels over each 3 x 3 square.
int AveragedDifference(const TBitmap& A, const TBitmap& B) {
    const int W = A.GetWidth(), H = A.GetHeight();
    const auto PA = A.PixelSpan(), PB = B.PixelSpan();
    int Max = 0;
    for (int Y = 1; Y + 1 < H; ++Y)
        for (int X = 1; X + 1 < W; ++X)
            for (int K = 0; K < 3; ++K) {
                int D = 0;
                for (int QY = Y - 1; QY <= Y + 1; ++QY)
                    for (int QX = X - 1; QX <= X + 1; ++QX)
                        D += Channel(PA[std::size_t(QY * W + QX)], K) - Channel(PB[std::size_t(QY * W + QX)], K);
                Max = std::max(Max, std::abs(D) / 9);
            }
    return Max;
}

double Noise(std::uint32_t& State) {
    State = State * 1664525u + 1013904223u;
    return (State >> 8) / double(1 << 24);
}

// A shape of data: how a series of Points points is filled.
struct TShape {
    const char* Name;
    std::function<void(TChartSeries&)> Fill;
};

void AddEach(TChartSeries& S, const std::function<double(int, std::uint32_t&)>& Y) {
    std::uint32_t R = 7;
    for (int I = 0; I < Points; ++I) S.Add(Y(I, R));
}

const TShape Shapes[] = {
    {"smooth", [](TChartSeries& S) { AddEach(S, [](int I, std::uint32_t&) { return std::sin(I * 6.283 * 3 / Points) * 100; }); }},
    {"noise", [](TChartSeries& S) { AddEach(S, [](int, std::uint32_t& R) { return Noise(R) * 200 - 100; }); }},
    {"spikes",
     [](TChartSeries& S) {
         AddEach(S, [](int I, std::uint32_t& R) { return I % 997 == 0 ? 100 + Noise(R) * 50 : Noise(R) * 5; });
     }},
    {"steps", [](TChartSeries& S) { AddEach(S, [](int I, std::uint32_t&) { return double(I / (Points / 7) % 3) * 40; }); }},
    {"gaps",
     [](TChartSeries& S) {
         // A gap of some forty pixels, and single null points that break
         // the line for a fiftieth of a pixel.
         AddEach(S, [](int I, std::uint32_t&) {
             if ((I > Points / 3 && I < Points / 3 + 1000) || I % 1013 == 0) return std::nan("");
             return std::cos(I * 6.283 * 2 / Points) * 50 + 10;
         });
     }},
    {"X values unsorted",
     [](TChartSeries& S) {
         std::uint32_t R = 3;
         for (int I = 0; I < Points; ++I) S.AddXY(Noise(R) * 1e6, std::sin(I / 300.0) * 40 + Noise(R) * 10);
     }},
    {"labels",
     [](TChartSeries& S) {
         for (int I = 0; I < Points; ++I) S.Add(std::fmod(I * 0.37, 50), "P" + std::to_string(I));
     }},
    {"by sign",
     [](TChartSeries& S) {
         std::uint32_t R = 5;
         for (int I = 0; I < Points; ++I) S.Add(std::sin(I * 6.283 * 5 / Points) * 60 + Noise(R) * 20 - 10);
         ColourBySign(S);
     }},
    {"a colour a point",
     [](TChartSeries& S) {
         S.SetColorEachPoint(true);
         AddEach(S, [](int I, std::uint32_t&) { return std::sin(I * 6.283 * 2 / Points) * 80; });
     }},
};

std::unique_ptr<TChart> ChartOf(TChartSeriesClass Kind, const TShape& Shape, bool View3D) {
    auto C = MakeChart(400, 250, "");
    C->GetLegend()->SetVisible(false);
    C->SetView3D(View3D);
    auto* S = Kind(C.get());
    S->SetParentChart(C.get());
    S->SetSeriesColor(clBlue);
    Shape.Fill(*S);
    return C;
}

// The reduced line is the line of every point. With hard edges a stroke's
// pixels are those whose centres it covers, and where a column's points
// are reduced the edge of a stroke two pixels wide may pass a hair's breadth
// on the other side of a pixel's centre: every pixel of each picture is
// then found within a pixel in the other, but for a few at the very edge of
// a noisy column, where a point left out reached into the next column (at
// most one in 1 000). Antialiased, those edges move by a fraction of a
// pixel, so averaged over 3 x 3 pixels the pictures differ by at most 128
// of 255 (a line two pixels wide lost or added differs by 170).
// In 3D every point, antialiased, draws a ribbon of faces a fiftieth of a
// pixel wide whose coverage does not add up to a whole pixel, so it shows
// lighter than it is; its 3D pictures are compared with hard edges only.
TEST(ManyPointsTest, LinesAndAreasOfManyPointsDrawAsEveryPoint) {
    struct TCase {
        TChartSeriesClass Kind;
        const TShape* Shape;
        bool View3D;
        double Scale;
    };
    std::vector<TCase> Cases;
    for (TChartSeriesClass Kind : {&TLineSeries::NewInstance, &TAreaSeries::NewInstance}) {
        for (const TShape& Shape : Shapes) Cases.push_back({Kind, &Shape, false, 1});
        Cases.push_back({Kind, &Shapes[0], false, 2});
        Cases.push_back({Kind, &Shapes[1], false, 2});
        Cases.push_back({Kind, &Shapes[0], true, 1});
        Cases.push_back({Kind, &Shapes[2], true, 1});
    }
    for (const TCase& Case : Cases) {
        auto C = ChartOf(Case.Kind, *Case.Shape, Case.View3D);
        const std::string What = std::string(C->GetSeries(0)->ClassName()) + " " + Case.Shape->Name +
                                 (Case.View3D ? " 3D" : "") + " at scale " + std::to_string(int(Case.Scale));
        // The reduction is made: at most eight points a pixel column, in
        // each run of points of one colour.
        const TChartData D = TChartData::Gather(*C);
        const TChartLayout L = LayoutChart(*C, D, TTextEngine::ForThisThread(), 400, 250);
        const TPlotSeries& S = D.Series[0];
        int Runs = 1;
        for (int I = 1; I < Points; ++I) Runs += S.PointColor(I) != S.PointColor(I - 1) || S.Series->IsNull(I - 1);
        EXPECT_LE(LinePath(L, S, Case.Scale, TPointDetail::pdShown).size(), (L.Plot.W * Case.Scale + Runs) * 8)
            << What;
        const auto Every = Draw(*C, Case.Scale, TPointDetail::pdEvery, TEdges::edHard);
        const auto Shown = Draw(*C, Case.Scale, TPointDetail::pdShown, TEdges::edHard);
        const int Slack = static_cast<int>(400 * 250 * Case.Scale * Case.Scale / 1000);
        EXPECT_LE(NotNear(*Every, *Shown) + NotNear(*Shown, *Every), Slack) << What;
        if (Case.View3D) continue;
        EXPECT_LE(AveragedDifference(*Draw(*C, Case.Scale, TPointDetail::pdEvery, TEdges::edSmooth),
                                     *Draw(*C, Case.Scale, TPointDetail::pdShown, TEdges::edSmooth)),
                  128)
            << What;
    }
}

// Pointers: of the points whose centres fall on one device pixel in one
// colour only the last is drawn, which covers the others; the pictures
// differ as the lines' do, by the sliver between two symbols a fraction of
// a pixel apart.
TEST(ManyPointsTest, PointersAreDrawnOncePerPixelAndColour) {
    for (double Scale : {1.0, 2.0})
        for (bool View3D : {false, true}) {
            auto C = ChartOf(&TPointSeries::NewInstance, Shapes[7], View3D);  // coloured by sign
            const std::string What = std::string(View3D ? "3D " : "") + "at scale " + std::to_string(int(Scale));
            const TChartData D = TChartData::Gather(*C);
            const TChartLayout L = LayoutChart(*C, D, TTextEngine::ForThisThread(), 400, 250);
            const TPlotSeries& S = D.Series[0];
            const std::vector<int> Kept = PointerPoints(L, S, Scale, L.Plot, 10, TPointDetail::pdShown);
            // The last point of each pixel and colour, and no other.
            std::map<std::pair<std::int64_t, TColor>, int> Last;
            for (int I = 0; I < Points; ++I) {
                const TPointF A = L.At(I, S.Series->GetYValue(I));
                const auto Pixel = std::int64_t(std::floor(A.Y * Scale)) * 100000 + std::int64_t(std::floor(A.X * Scale));
                Last[{Pixel, S.PointColor(I)}] = I;
            }
            std::vector<int> Want;
            for (const auto& [Key, I] : Last) Want.push_back(I);
            std::sort(Want.begin(), Want.end());
            EXPECT_EQ(Kept, Want) << What;
            EXPECT_LT(Kept.size(), std::size_t(Points) * (Scale > 1 ? 9 : 7) / 10) << What;
            const int Slack = static_cast<int>(400 * 250 * Scale * Scale / 1000);
            const auto Every = Draw(*C, Scale, TPointDetail::pdEvery, TEdges::edHard);
            const auto Shown = Draw(*C, Scale, TPointDetail::pdShown, TEdges::edHard);
            EXPECT_LE(NotNear(*Every, *Shown) + NotNear(*Shown, *Every), Slack) << What;
            EXPECT_LE(AveragedDifference(*Draw(*C, Scale, TPointDetail::pdEvery, TEdges::edSmooth),
                                         *Draw(*C, Scale, TPointDetail::pdShown, TEdges::edSmooth)),
                      128)
                << What;
        }
}

// Bars narrower than a pixel are drawn from those that show in each pixel
// column: bars cover whole pixels, so the picture is the same to the byte,
// whatever the bars' colours, standing or lying.
TEST(ManyPointsTest, NarrowBarsDrawTheSamePicture) {
    for (TChartSeriesClass Kind : {&TBarSeries::NewInstance, &THorizBarSeries::NewInstance})
        for (const TShape* Shape : {&Shapes[1], &Shapes[4], &Shapes[7], &Shapes[8]}) {
            auto C = ChartOf(Kind, *Shape, false);
            C->GetSeries(0)->GetMarks()->SetVisible(false);
            const std::string What = std::string(C->GetSeries(0)->ClassName()) + " " + Shape->Name;
            const auto Every = Draw(*C, 1, TPointDetail::pdEvery, TEdges::edSmooth);
            const auto Shown = Draw(*C, 1, TPointDetail::pdShown, TEdges::edSmooth);
            EXPECT_TRUE(std::equal(Every->PixelSpan().begin(), Every->PixelSpan().end(), Shown->PixelSpan().begin()))
                << What;
            // One colour, or one by sign: the tallest and the lowest bar of
            // each pixel column.
            const TChartData D = TChartData::Gather(*C);
            const TChartLayout L = LayoutChart(*C, D, TTextEngine::ForThisThread(), 400, 250);
            if (Shape != &Shapes[8]) {
                EXPECT_LE(FlatBars(L, D, D.Series[0], TPointDetail::pdShown).size(),
                          2 * (L.Horizontal ? L.Plot.H : L.Plot.W) + 2)
                    << What;
            }
        }
}

// A legend of a point each shows as many rows as fit, and a last one of
// how many it leaves out, its count written as the values are.
TEST(ManyPointsTest, LongLegendSaysHowManyRowsItLeavesOut) {
    auto C = MakeChart(400, 250);
    auto* S = AddSeries<TLineSeries>(*C);
    for (int I = 0; I < 1000000; ++I) S->Add(I % 1000);
    const TChartData D = TChartData::Gather(*C);
    const TChartLayout L = LayoutChart(*C, D, TTextEngine::ForThisThread(), 400, 250);
    ASSERT_TRUE(L.LegendVisible);
    const TLegendRow& More = L.LegendRows.back();
    ASSERT_TRUE(More.Ellipsis);
    const int Shown = static_cast<int>(L.LegendRows.size()) - 1;
    EXPECT_EQ(More.Hidden, 1000000 - Shown);
    EXPECT_GT(Shown, 8);
    EXPECT_LE(L.LegendBox.Bottom(), 250);
    EXPECT_LE(More.LabelX + More.Label->Width(), L.LegendBox.Right());
    EXPECT_FALSE(More.Label->Ellipsized());
    EXPECT_EQ(MoreRowsText(*S, 999988), "\xE2\x80\xA6 and 999,988 more");
    S->SetValueFormat("0.00");
    EXPECT_EQ(MoreRowsText(*S, 999988), "\xE2\x80\xA6 and 999988 more");
}

}  // namespace
}  // namespace pv
