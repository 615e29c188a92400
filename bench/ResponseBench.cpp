// The component's two response paths on the reference chart R1: render +
// GIF and render + JPEG, and the render alone, each per response.

#include <benchmark/benchmark.h>

#include "component/Norq_Plotvane.h"

namespace {

using namespace Norq_Plotvane;

const char* const Labels[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// The reference values, and a second set for responses whose data changes.
const double Values[2][12] = {{12, 19, 3, -5, 22, 17, 9, 14, -2, 25, 30, 11},
                              {14, 18, 4, -6, 21, 17, 10, 13, -1, 24, 31, 12}};

void SetPoints(TNorq_DBPlotvane& C, int Which) {
    C.GetChartSeries()->Clear();
    for (int I = 0; I < 12; ++I) C.GetChartSeries()->Add(Values[Which][I], Labels[I]);
}

std::unique_ptr<TNorq_DBPlotvane> MakeR1() {
    auto C = std::make_unique<TNorq_DBPlotvane>(nullptr);
    SetPoints(*C, 0);
    pv::TStringList Title;
    Title.Add("Monthly revenue");
    C->SetTitleText(&Title);
    C->SetColor(pv::clWhite);
    C->SetWidth(400);
    C->SetHeight(250);
    C->SetAxisLeftTitleCaption("EUR");
    C->SetAxisBottomTitleCaption("Month");
    C->SetSeriesColorMode(TSeriesColorMode::scPositiveNegative);
    return C;
}

void BM_ComponentRender(benchmark::State& State) {
    auto C = MakeR1();
    for (auto _ : State) {
        C->DrawInternalImages();
        benchmark::DoNotOptimize(C->GetResponseStream());
    }
}
BENCHMARK(BM_ComponentRender)->Unit(benchmark::kMillisecond);

void BM_GifResponse(benchmark::State& State) {
    auto C = MakeR1();
    for (auto _ : State) {
        pv::TWebResponse R;
        C->GetGifResponse(R);
        benchmark::DoNotOptimize(R.GetSentMessage());
    }
}
BENCHMARK(BM_GifResponse)->Unit(benchmark::kMillisecond);

// A GIF response whose data changes every time, as when the points are
// read again from a data set that changed: the two value sets alternate,
// so neither the palette nor anything else can be reused from the last
// response.
void BM_GifResponseChangingData(benchmark::State& State) {
    auto C = MakeR1();
    int Which = 0;
    for (auto _ : State) {
        SetPoints(*C, Which ^= 1);
        pv::TWebResponse R;
        C->GetGifResponse(R);
        benchmark::DoNotOptimize(R.GetSentMessage());
    }
}
BENCHMARK(BM_GifResponseChangingData)->Unit(benchmark::kMillisecond);

void BM_JpegResponse(benchmark::State& State) {
    auto C = MakeR1();
    for (auto _ : State) {
        pv::TWebResponse R;
        C->GetJPegResponse(R);
        benchmark::DoNotOptimize(R.GetSentMessage());
    }
}
BENCHMARK(BM_JpegResponse)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
