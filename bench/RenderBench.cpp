// Chart rendering speed: the reference chart R1, and how the time grows
// with the number of points and the picture size. Every figure is steady
// state on one thread: the thread's text cache is warm after the first
// iteration, as in a server that keeps rendering.

#include <benchmark/benchmark.h>

#include <cmath>

#include "platform/chart/internal/ChartDraw.h"
#include "tests/chart/ChartFixtures.h"

namespace {

using namespace pv;
using namespace pv::testing;

// R1 as the component renders it: a new bitmap from TeeCreateBitmap.
void BM_RenderR1(benchmark::State& State) {
    auto Chart = MakeR1();
    for (auto _ : State) {
        auto Bitmap = Render(*Chart);
        benchmark::DoNotOptimize(Bitmap->Pixels());
    }
}
BENCHMARK(BM_RenderR1)->Unit(benchmark::kMillisecond);

// R1's data drawn as each series type: bars, horizontal bars, line, area,
// points, pie.
void BM_RenderR1Type(benchmark::State& State) {
    static const TChartSeriesClass Classes[] = {&TBarSeries::NewInstance,  &THorizBarSeries::NewInstance,
                                                &TLineSeries::NewInstance, &TAreaSeries::NewInstance,
                                                &TPointSeries::NewInstance, &TPieSeries::NewInstance};
    static const char* const Names[] = {"bar", "horizbar", "line", "area", "point", "pie"};
    const auto Type = static_cast<std::size_t>(State.range(0));
    auto Chart = MakeR1(400, 250, Classes[Type]);
    State.SetLabel(Names[Type]);
    for (auto _ : State) {
        auto Bitmap = Render(*Chart);
        benchmark::DoNotOptimize(Bitmap->Pixels());
    }
}
BENCHMARK(BM_RenderR1Type)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

// R1 drawn into a bitmap that already exists: the drawing alone, without
// allocating and filling the background.
void BM_DrawR1(benchmark::State& State) {
    auto Chart = MakeR1();
    TBitmap Bitmap(400, 250, clWhite);
    for (auto _ : State) {
        DrawChart(*Chart, Bitmap);
        benchmark::DoNotOptimize(Bitmap.Pixels());
    }
}
BENCHMARK(BM_DrawR1)->Unit(benchmark::kMillisecond);

// R1's look with N bars of varied values and labels.
void BM_RenderPoints(benchmark::State& State) {
    const int N = static_cast<int>(State.range(0));
    auto Chart = MakeChart(400, 250);
    auto* Bars = AddSeries<TBarSeries>(*Chart);
    Bars->SetSeriesColor(clBlue);
    for (int I = 0; I < N; ++I) {
        std::string Label = std::to_string(I);
        Label.insert(Label.begin(), 'P');
        Bars->Add(std::sin(I * 0.37) * 100 + 20, Label);
    }
    ColourBySign(*Bars);
    Chart->GetLeftAxis()->GetTitle()->SetCaption("EUR");
    Chart->GetBottomAxis()->GetTitle()->SetCaption("Month");
    for (auto _ : State) {
        auto Bitmap = Render(*Chart);
        benchmark::DoNotOptimize(Bitmap->Pixels());
    }
    State.SetComplexityN(N);
}
BENCHMARK(BM_RenderPoints)->Arg(12)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// R1 at growing picture sizes.
void BM_RenderSize(benchmark::State& State) {
    auto Chart = MakeR1(static_cast<int>(State.range(0)), static_cast<int>(State.range(1)));
    for (auto _ : State) {
        auto Bitmap = Render(*Chart);
        benchmark::DoNotOptimize(Bitmap->Pixels());
    }
}
BENCHMARK(BM_RenderSize)->Args({400, 250})->Args({800, 500})->Args({1600, 1000})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
