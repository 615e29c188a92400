// The chart server's own costs on the reference chart R1: the responses at
// scale 2 (GIF, and SVG from the same painter on a vector surface), the
// data watch that every request pays, and a cache lookup.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench/R1Points.h"
#include "component/Norq_Plotvane.h"
#include "component/Norq_PlotvaneSave.h"
#include "server/Compression.h"
#include "server/DataWatch.h"
#include "platform/gif/ColorReduction.h"
#include "platform/gif/GifLzw.h"
#include "server/ResponseCache.h"

namespace {

using namespace Norq_Plotvane;

std::unique_ptr<TNorq_DBPlotvane> MakeR1(double Scale) {
    auto C = pvbench::MakeR1Chart();
    C->SetScale(Scale);
    return C;
}

void BM_GifResponse(benchmark::State& State) {
    auto C = MakeR1(static_cast<double>(State.range(0)));
    std::size_t Bytes = 0;
    int Which = 0;
    for (auto _ : State) {
        // Alternating data: what a server whose data changes pays.
        pvbench::SetR1Points(*C, Which ^= 1);
        pv::TWebResponse R;
        C->GetGifResponse(R);
        Bytes = R.GetSentMessage()->Body.size();
    }
    State.counters["bytes"] = static_cast<double>(Bytes);
}
BENCHMARK(BM_GifResponse)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The stages of the scale-2 GIF response on its own picture: drawing the
// bitmap, the colour reduction, and the LZW codes.
void BM_GifStagesDraw(benchmark::State& State) {
    auto C = MakeR1(2);
    int Which = 0;
    pv::TBitmap Into;
    for (auto _ : State) {
        pvbench::SetR1Points(*C, Which ^= 1);
        C->GetInternalChart()->TeeDrawBitmap(Into, pv::clWhite, pv::Rect(0, 0, 400, 250), 2.0);
        benchmark::DoNotOptimize(Into.Pixels());
    }
}
BENCHMARK(BM_GifStagesDraw)->Unit(benchmark::kMillisecond);

void BM_GifStagesDrawFresh(benchmark::State& State) {
    auto C = MakeR1(2);
    int Which = 0;
    for (auto _ : State) {
        pvbench::SetR1Points(*C, Which ^= 1);
        benchmark::DoNotOptimize(C->GetInternalChart()->TeeCreateBitmap(pv::clWhite, pv::Rect(0, 0, 400, 250), 2.0));
    }
}
BENCHMARK(BM_GifStagesDrawFresh)->Unit(benchmark::kMillisecond);

// R1 at scale 2 with each of the two sets of points the benchmarks alternate.
void DrawR1Pictures(pv::TBitmap (&Pictures)[2]) {
    auto C = MakeR1(2);
    for (int I = 0; I < 2; ++I) {
        pvbench::SetR1Points(*C, I);
        Pictures[I].Assign(*C->GetBMPPicture());
    }
}

void BM_GifStagesReduce(benchmark::State& State) {
    pv::TBitmap Pictures[2];
    DrawR1Pictures(Pictures);
    pv::TColorReduction Reducer;
    std::vector<std::uint32_t> Palette;
    std::vector<std::uint8_t> Indices;
    int Which = 0;
    for (auto _ : State) {
        Reducer.Reduce(Pictures[Which ^= 1].PixelSpan(), Palette, Indices);
        benchmark::DoNotOptimize(Indices.data());
    }
}
BENCHMARK(BM_GifStagesReduce)->Unit(benchmark::kMillisecond);

void BM_GifStagesLzw(benchmark::State& State) {
    std::vector<std::uint8_t> Indices[2];
    {
        pv::TBitmap Pictures[2];
        DrawR1Pictures(Pictures);
        pv::TColorReduction Reducer;
        std::vector<std::uint32_t> Palette;
        for (int I = 0; I < 2; ++I) Reducer.Reduce(Pictures[I].PixelSpan(), Palette, Indices[I]);
    }
    pv::TGifLzwEncoder Encoder;
    int Which = 0;
    std::size_t Bytes = 0;
    for (auto _ : State) {
        const auto& In = Indices[Which ^= 1];
        Bytes = Encoder.Encode(In.data(), In.size(), 8).size();
    }
    State.counters["bytes"] = static_cast<double>(Bytes);
}
BENCHMARK(BM_GifStagesLzw)->Unit(benchmark::kMillisecond);

// The SVG document alone, and the answer as the server makes it for a
// client that accepts gzip (every browser): the document and its gzip form.
void SvgBench(benchmark::State& State, bool Gzip) {
    auto C = MakeR1(static_cast<double>(State.range(0)));
    std::size_t Bytes = 0;
    int Which = 0;
    for (auto _ : State) {
        pvbench::SetR1Points(*C, Which ^= 1);
        const std::string Svg = C->GetVectorPicture(pv::TVectorFormat::vfSVG);
        Bytes = Gzip ? plotvane::GzipSvg(Svg).size() : Svg.size();
    }
    State.counters["bytes"] = static_cast<double>(Bytes);
}
void BM_SvgDocument(benchmark::State& State) { SvgBench(State, false); }
BENCHMARK(BM_SvgDocument)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
void BM_SvgAnswer(benchmark::State& State) { SvgBench(State, true); }
BENCHMARK(BM_SvgAnswer)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_PngAnswer(benchmark::State& State) {
    auto C = MakeR1(2);
    int Which = 0;
    for (auto _ : State) {
        pvbench::SetR1Points(*C, Which ^= 1);
        benchmark::DoNotOptimize(C->GetBMPPicture()->EncodePNG());
    }
}
BENCHMARK(BM_PngAnswer)->Unit(benchmark::kMillisecond);

// The raster answers' encodings of R1 at scale 1, side by side on one drawn
// bitmap: PNG, WebP lossless (the default), WebP at quality 80, AVIF at its
// default quality. A kept answer costs none of them (BM_CacheHit).
void BM_RasterEncode(benchmark::State& State) {
    auto C = MakeR1(1);
    const TBitmap& B = *C->GetBMPPicture();
    std::size_t Bytes = 0;
    for (auto _ : State) {
        std::vector<std::uint8_t> File;
        switch (State.range(0)) {
            case 0: File = B.EncodePNG(); break;
            case 1: File = pv::EncodeWebP(B); break;
            case 2: File = pv::EncodeWebP(B, {80}); break;
            default: File = pv::EncodeAVIF(B); break;
        }
        Bytes = File.size();
        benchmark::DoNotOptimize(File.data());
    }
    static constexpr const char* Names[] = {"png", "webp-lossless", "webp-q80", "avif-q60"};
    State.SetLabel(Names[State.range(0)]);
    State.counters["bytes"] = static_cast<double>(Bytes);
}
BENCHMARK(BM_RasterEncode)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// R1 drawn in each theme, side by side: what a theme adds to a drawing
// (its defaults put on the chart and taken off again).
void BM_ThemedDraw(benchmark::State& State) {
    auto C = MakeR1(1);
    C->SetTheme(static_cast<TPlotvaneTheme>(State.range(0)));
    int Which = 0;
    for (auto _ : State) {
        pvbench::SetR1Points(*C, Which ^= 1);
        benchmark::DoNotOptimize(C->GetBMPPicture()->Pixels());
    }
    static constexpr const char* Names[] = {"classic", "modern", "dark"};
    State.SetLabel(Names[State.range(0)]);
}
BENCHMARK(BM_ThemedDraw)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// What every request pays to learn whether a database changed: a stat and
// SQLite's data_version on a kept connection.
void BM_DataWatchCheck(benchmark::State& State) {
    const std::string Path =
        (std::filesystem::temp_directory_path() / ("plotvane-watch-" + std::to_string(::getpid()) + ".db")).string();
    sqlite3* Db = nullptr;
    sqlite3_open(Path.c_str(), &Db);
    sqlite3_exec(Db, "CREATE TABLE t(x); INSERT INTO t VALUES (1);", nullptr, nullptr, nullptr);
    sqlite3_close(Db);
    {
        plotvane::TDataWatch Watch(Path, "Bench");
        for (auto _ : State) benchmark::DoNotOptimize(Watch.Check().Generation);
    }
    std::filesystem::remove(Path);
}
BENCHMARK(BM_DataWatchCheck)->Unit(benchmark::kMicrosecond);

void BM_CacheHit(benchmark::State& State) {
    plotvane::TResponseCache Cache(64u << 20);
    auto A = std::make_shared<plotvane::TCachedAnswer>();
    A->Body.assign(5000, 'x');
    for (int I = 0; I < 100; ++I) Cache.Insert("RevenueChart\ngif\n400x250@" + std::to_string(I), 1, A);
    const std::string Key = "RevenueChart\ngif\n400x250@7";
    for (auto _ : State) benchmark::DoNotOptimize(Cache.Find(Key, 1));
}
BENCHMARK(BM_CacheHit)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
