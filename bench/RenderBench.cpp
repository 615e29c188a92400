// Chart rendering speed: the reference chart R1, and how the time grows
// with the number of points and the picture size. Every figure is steady
// state on one thread: the thread's text cache is warm after the first
// iteration, as in a server that keeps rendering.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

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

// A line of 10 000 date-times an hour apart (some 14 months) at 640 x
// 300: on a time axis (first argument 1), and the same points in
// categories (0) beside it; readings in a band of noise a tenth of the
// wave's height (second argument 0), as BigChart's, or the wave alone (1).
void BM_RenderTimeAxis(benchmark::State& State) {
    const bool Time = State.range(0) != 0, Smooth = State.range(1) != 0;
    auto Chart = MakeChart(640, 300, "Readings");
    Chart->GetLegend()->SetVisible(false);
    auto* Line = AddSeries<TLineSeries>(*Chart);
    Line->SetSeriesColor(clBlue);
    if (Time) Line->GetXValues()->SetKind(TChartValueKind::vkDateTime);
    const double Start = 1767225600;  // 2026-01-01 00:00 UTC
    std::uint32_t Random = 1;
    for (int I = 0; I < 10000; ++I) {
        Random = Random * 1664525u + 1013904223u;
        const double Noise = Smooth ? 0 : (Random >> 8) / double(1 << 24) * 20;
        Line->AddXY(Start + I * 3600.0, std::sin(I * 6.283 * 3 / 10000) * 100 + Noise);
    }
    State.SetLabel(std::string(Time ? "time axis" : "categories") + (Smooth ? ", smooth" : ", noisy"));
    for (auto _ : State) {
        auto Bitmap = Render(*Chart);
        benchmark::DoNotOptimize(Bitmap->Pixels());
    }
}
BENCHMARK(BM_RenderTimeAxis)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

// R1 at growing picture sizes.
void BM_RenderSize(benchmark::State& State) {
    auto Chart = MakeR1(static_cast<int>(State.range(0)), static_cast<int>(State.range(1)));
    for (auto _ : State) {
        auto Bitmap = Render(*Chart);
        benchmark::DoNotOptimize(Bitmap->Pixels());
    }
}
BENCHMARK(BM_RenderSize)->Args({400, 250})->Args({800, 500})->Args({1600, 1000})->Unit(benchmark::kMillisecond);

// A chart of R1's look (400 x 250) of a series of N points of class New,
// one colour, once the points are in the series: a slow wave in a band of
// noise a tenth of its height, as a sensor's readings are, or (Smooth) the
// wave alone.
std::unique_ptr<TChart> BigChart(TChartSeriesClass New, int N, bool Marks, bool Smooth = false) {
    auto Chart = MakeChart(400, 250);
    auto* S = New(Chart.get());
    S->SetParentChart(Chart.get());
    S->SetSeriesColor(clBlue);
    S->GetMarks()->SetVisible(Marks);
    std::uint32_t Random = 1;
    for (int I = 0; I < N; ++I) {
        Random = Random * 1664525u + 1013904223u;
        S->Add(std::sin(I * 6.283 * 3 / N) * 100 + (Smooth ? 0 : (Random >> 8) / double(1 << 24) * 20));
    }
    Chart->GetLeftAxis()->GetTitle()->SetCaption("EUR");
    Chart->GetBottomAxis()->GetTitle()->SetCaption("Reading");
    return Chart;
}

const TChartSeriesClass BigClasses[] = {&TLineSeries::NewInstance, &TPointSeries::NewInstance,
                                        &TBarSeries::NewInstance};
const char* const BigNames[] = {"line", "points", "bars"};

// Such a chart drawn as a line, as points or as bars (the first argument)
// of 100 000 or 1 000 000 points. The third argument 1 draws every point,
// as the painter did before it left out the points that do not show; the
// fourth 1 draws the smooth wave.
void BM_BigSeries(benchmark::State& State) {
    const auto Type = static_cast<std::size_t>(State.range(0));
    const TDrawOptions Options{State.range(2) ? TPointDetail::pdEvery : TPointDetail::pdShown, TEdges::edSmooth};
    const bool Smooth = State.range(3) != 0;
    auto Chart = BigChart(BigClasses[Type], static_cast<int>(State.range(1)), false, Smooth);
    State.SetLabel(std::string(BigNames[Type]) + (Smooth ? ", smooth" : "") +
                   (Options.Points == TPointDetail::pdEvery ? ", every point" : ""));
    TBitmap Bitmap(400, 250, clWhite);
    for (auto _ : State) {
        DrawChart(*Chart, Bitmap, 1, Options);
        benchmark::DoNotOptimize(Bitmap.Pixels());
    }
}
// Every point of a million takes seconds to a minute a picture: those runs
// are made only when PLOTVANE_BENCH_EVERY_MILLION is set, once each.
BENCHMARK(BM_BigSeries)->ArgsProduct({{0, 1, 2}, {100000, 1000000}, {0}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BigSeries)->ArgsProduct({{0, 1, 2}, {100000}, {1}, {0, 1}})->Unit(benchmark::kMillisecond);
const bool EveryMillion = [] {
    if (std::getenv("PLOTVANE_BENCH_EVERY_MILLION"))
        benchmark::RegisterBenchmark("BM_BigSeries", BM_BigSeries)
            ->ArgsProduct({{0, 1, 2}, {1000000}, {1}, {0}})
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    return true;
}();

// The same, 100 000 points, with a colour a point (the component's default
// colour mode): each point its own colour, and a legend entry a point. The
// third argument 1 draws every point; the fourth 1 the smooth wave.
void BM_BigSeriesEachColor(benchmark::State& State) {
    const auto Type = static_cast<std::size_t>(State.range(0));
    const TDrawOptions Options{State.range(2) ? TPointDetail::pdEvery : TPointDetail::pdShown, TEdges::edSmooth};
    const bool Smooth = State.range(3) != 0;
    auto Chart = BigChart(BigClasses[Type], static_cast<int>(State.range(1)), false, Smooth);
    Chart->GetSeries(0)->SetColorEachPoint(true);
    State.SetLabel(std::string(BigNames[Type]) + (Smooth ? ", smooth" : "") +
                   (Options.Points == TPointDetail::pdEvery ? ", every point" : ""));
    TBitmap Bitmap(400, 250, clWhite);
    for (auto _ : State) {
        DrawChart(*Chart, Bitmap, 1, Options);
        benchmark::DoNotOptimize(Bitmap.Pixels());
    }
}
BENCHMARK(BM_BigSeriesEachColor)->ArgsProduct({{0, 1, 2}, {100000}, {0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

// The same with marks shown: a mark at each point that has room.
void BM_BigSeriesMarks(benchmark::State& State) {
    const auto Type = static_cast<std::size_t>(State.range(0));
    auto Chart = BigChart(BigClasses[Type], static_cast<int>(State.range(1)), true);
    State.SetLabel(BigNames[Type]);
    TBitmap Bitmap(400, 250, clWhite);
    for (auto _ : State) {
        DrawChart(*Chart, Bitmap);
        benchmark::DoNotOptimize(Bitmap.Pixels());
    }
}
BENCHMARK(BM_BigSeriesMarks)->ArgsProduct({{0, 2}, {100000, 1000000}})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
