// The component's two response paths on the reference chart R1: render +
// GIF and render + JPEG, and the render alone, each per response; and GIF
// responses of R2, three series of twelve months (bars side by side and
// stacked), beside R1's.

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

#include "bench/R1Points.h"
#include "component/Norq_Plotvane.h"

namespace {

using namespace Norq_Plotvane;

std::unique_ptr<TNorq_DBPlotvane> MakeR1() { return pvbench::MakeR1Chart(); }

void BM_ComponentRender(benchmark::State& State) {
    auto C = MakeR1();
    for (auto _ : State) {
        C->DrawInternalImages();
        benchmark::DoNotOptimize(C->GetResponseStream());
    }
}
BENCHMARK(BM_ComponentRender)->Unit(benchmark::kMillisecond);

// Responses of one format from the component, one per iteration. With
// ChangingData the points alternate between the two value sets, as when
// they are read again from a data set that changed, so neither the palette
// nor anything else can be reused from the last response.
void Respond(benchmark::State& State, TNorq_DBPlotvane& C, bool Jpeg, bool ChangingData = false) {
    int Which = 0;
    for (auto _ : State) {
        if (ChangingData) pvbench::SetR1Points(C, Which ^= 1);
        pv::TWebResponse R;
        if (Jpeg) C.GetJPegResponse(R);
        else C.GetGifResponse(R);
        benchmark::DoNotOptimize(R.GetSentMessage());
    }
    State.counters["bytes"] = static_cast<double>(C.GetResponseStream()->GetSize());
}

void BM_GifResponse(benchmark::State& State) { Respond(State, *MakeR1(), false); }
BENCHMARK(BM_GifResponse)->Unit(benchmark::kMillisecond);

void BM_GifResponseChangingData(benchmark::State& State) { Respond(State, *MakeR1(), false, true); }
BENCHMARK(BM_GifResponseChangingData)->Unit(benchmark::kMillisecond);

void BM_JpegResponse(benchmark::State& State) { Respond(State, *MakeR1(), true); }

// R2: twelve months of three regions as the groups of the component's
// series (as its GroupSource makes them), 480 x 280, a legend of the three
// series, marks off; bars side by side (argument 0) or stacked (1).
std::unique_ptr<TNorq_DBPlotvane> MakeR2(pv::TSeriesStacking Stacking) {
    auto C = MakeR1();
    C->SetWidth(480);
    C->SetHeight(280);
    C->SetMarksVisible(false);
    C->SetStacking(Stacking);
    constexpr double Values[3][12] = {{7, 11, 1, -2, 13, 10, 4, 6, 1, 15, 18, 6},
                                      {5, 8, 2, -3, 9, 7, 5, 8, -3, 10, 12, 5},
                                      {3, 4, 6, 2, 5, 8, 7, 3, 4, 6, 9, 10}};
    const char* Regions[3] = {"EU", "US", "Asia"};
    const char* Months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    TChartSeries& S = *C->GetChartSeries();
    S.Clear();
    S.SetGroupTitle(Regions[0]);
    for (int R = 0; R < 3; ++R) {
        TChartSeries& G = R == 0 ? S : S.AddGroup(Regions[R]);
        for (int I = 0; I < 12; ++I) G.Add(Values[R][I], Months[I]);
    }
    return C;
}

void BM_GifResponseR2(benchmark::State& State) {
    Respond(State, *MakeR2(State.range(0) ? pv::TSeriesStacking::sgStacked : pv::TSeriesStacking::sgNone), false);
}
BENCHMARK(BM_GifResponseR2)->ArgName("stacked")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegResponse)->Unit(benchmark::kMillisecond);

// Both response paths as the picture grows (R1 at three sizes) and as the
// points grow (N bars of varied values at 400 x 250). Argument 0 is the
// format: 0 GIF, 1 JPEG.
void BM_ResponseSize(benchmark::State& State) {
    auto C = MakeR1();
    C->SetWidth(static_cast<int>(State.range(1)));
    C->SetHeight(static_cast<int>(State.range(2)));
    Respond(State, *C, State.range(0) != 0);
}
BENCHMARK(BM_ResponseSize)
    ->ArgNames({"jpeg", "w", "h"})
    ->ArgsProduct({{0, 1}, {400}, {250}})
    ->ArgsProduct({{0, 1}, {800}, {500}})
    ->ArgsProduct({{0, 1}, {1600}, {1000}})
    ->Unit(benchmark::kMillisecond);

void BM_ResponsePoints(benchmark::State& State) {
    auto C = MakeR1();
    C->GetChartSeries()->Clear();
    for (int I = 0; I < State.range(1); ++I)
        C->GetChartSeries()->Add(std::sin(I * 0.37) * 100 + 20, "P" + std::to_string(I));
    Respond(State, *C, State.range(0) != 0);
}
BENCHMARK(BM_ResponsePoints)
    ->ArgNames({"jpeg", "points"})
    ->ArgsProduct({{0, 1}, {12, 100, 1000, 10000}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
