// The areas of R1's points after its render: the image map and the JSON
// (areas, hints and the text), beside the render itself for scale.

#include <benchmark/benchmark.h>

#include "bench/R1Points.h"
#include "component/Norq_PlotvaneHotspots.h"

namespace {

using Norq_Plotvane::TNorq_DBPlotvane;

void BM_R1Render(benchmark::State& State) {
    auto C = pvbench::MakeR1Chart();
    for (auto _ : State) {
        C->DrawInternalImages();
        benchmark::DoNotOptimize(C->GetBMPPicture());
    }
}
BENCHMARK(BM_R1Render)->Unit(benchmark::kMillisecond);

void BM_R1Map(benchmark::State& State) {
    auto C = pvbench::MakeR1Chart();
    C->DrawInternalImages();
    for (auto _ : State) {
        const std::string Map = Norq_Plotvane::HotspotMapHtml(C->GetName(), C->GetHotspots());
        benchmark::DoNotOptimize(Map.data());
    }
}
BENCHMARK(BM_R1Map)->Unit(benchmark::kMicrosecond);

void BM_R1Json(benchmark::State& State) {
    auto C = pvbench::MakeR1Chart();
    C->DrawInternalImages();
    for (auto _ : State) {
        const std::string Json = Norq_Plotvane::HotspotJson(C->GetHotspots());
        benchmark::DoNotOptimize(Json.data());
    }
}
BENCHMARK(BM_R1Json)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
