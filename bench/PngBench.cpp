// The PNG writer against libpng and libspng on the same pixels, with the same
// filter (Up on every row but the first) and zlib level, so that the
// libraries are measured doing the work the writer does and nothing else.
//
// The pixels are those of the reference chart at scale 2, the PNG answer a
// HiDPI browser asks for, and each writer starts from the bitmap, as the
// server's would. Each library's output is decoded by libpng and
// compared with the bitmap before the timing starts, so a writer that
// produced something else would stop the run.

#include <benchmark/benchmark.h>
#include <png.h>
#include <spng.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/R1Points.h"
#include "component/Norq_Plotvane.h"
#include "platform/vcl/Bitmap.h"

namespace {

constexpr int Level = 3;

// The chart's pixels as 8-bit RGB rows.
struct TRgb {
    int W = 0, H = 0;
    std::vector<std::uint8_t> Bytes;
};

TRgb RgbOf(const pv::TBitmap& B) {
    TRgb Out{B.GetWidth(), B.GetHeight(), {}};
    Out.Bytes.reserve(static_cast<std::size_t>(Out.W) * Out.H * 3);
    for (int Y = 0; Y < Out.H; ++Y)
        for (int X = 0; X < Out.W; ++X) {
            const std::uint32_t P = B.Pixels()[static_cast<std::size_t>(Y) * Out.W + X];
            Out.Bytes.insert(Out.Bytes.end(), {std::uint8_t(P >> 16), std::uint8_t(P >> 8), std::uint8_t(P)});
        }
    return Out;
}

// The chart drawn once, and its pixels as 8-bit RGB to check the writers by.
struct TChart {
    std::unique_ptr<Norq_Plotvane::TNorq_DBPlotvane> C = pvbench::MakeR1Chart();
    TRgb Rgb;
    TChart() {
        C->SetScale(2);
        Rgb = RgbOf(*C->GetBMPPicture());
    }
};

const TChart& Chart() {
    static const TChart Instance;
    return Instance;
}

// Drawn once: the chart keeps its picture until something changes.
const pv::TBitmap& Bitmap() { return *Chart().C->GetBMPPicture(); }

// libpng reading the bitmap's rows where they are: 32-bit pixels, blue
// first in memory on this machine, the fourth byte dropped.
std::vector<std::uint8_t> WithLibpng(const pv::TBitmap& B) {
    std::vector<std::uint8_t> Out;
    png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop Info = png_create_info_struct(Png);
    if (setjmp(png_jmpbuf(Png))) {
        png_destroy_write_struct(&Png, &Info);
        throw std::runtime_error("libpng could not write the picture");
    }
    png_set_write_fn(
        Png, &Out,
        [](png_structp S, png_bytep Data, png_size_t Length) {
            auto* V = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(S));
            V->insert(V->end(), Data, Data + Length);
        },
        nullptr);
    png_set_IHDR(Png, Info, static_cast<png_uint_32>(B.GetWidth()), static_cast<png_uint_32>(B.GetHeight()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(Png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_level(Png, Level);
    png_write_info(Png, Info);
    png_set_bgr(Png);
    png_set_filler(Png, 0, PNG_FILLER_AFTER);
    for (int Y = 0; Y < B.GetHeight(); ++Y)
        png_write_row(Png, reinterpret_cast<png_const_bytep>(B.Pixels() + static_cast<std::size_t>(Y) * B.GetWidth()));
    png_write_end(Png, nullptr);
    png_destroy_write_struct(&Png, &Info);
    return Out;
}

// libspng takes the rows in the picture's own format, so the bitmap is
// turned into 8-bit RGB first, as a writer on it would have to.
std::vector<std::uint8_t> WithLibspng(const pv::TBitmap& B) {
    const TRgb P = RgbOf(B);
    spng_ctx* Ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(Ctx, SPNG_ENCODE_TO_BUFFER, 1);
    spng_set_option(Ctx, SPNG_IMG_COMPRESSION_LEVEL, Level);
    spng_set_option(Ctx, SPNG_FILTER_CHOICE, SPNG_FILTER_CHOICE_UP);
    spng_ihdr Header{};
    Header.width = static_cast<std::uint32_t>(P.W);
    Header.height = static_cast<std::uint32_t>(P.H);
    Header.bit_depth = 8;
    Header.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
    spng_set_ihdr(Ctx, &Header);
    int Rc = spng_encode_image(Ctx, P.Bytes.data(), P.Bytes.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
    std::size_t Size = 0;
    void* Data = Rc == 0 ? spng_get_png_buffer(Ctx, &Size, &Rc) : nullptr;
    spng_ctx_free(Ctx);
    if (!Data) throw std::runtime_error(std::string("libspng could not write the picture: ") + spng_strerror(Rc));
    std::vector<std::uint8_t> Out(static_cast<std::uint8_t*>(Data), static_cast<std::uint8_t*>(Data) + Size);
    std::free(Data);
    return Out;
}

// Decodes Png with libpng and checks it holds the chart's pixels.
void CheckPixels(const std::vector<std::uint8_t>& Png, const char* Writer) {
    png_image Image{};
    Image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&Image, Png.data(), Png.size()))
        throw std::runtime_error(std::string(Writer) + ": not a PNG libpng reads");
    Image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> Rgb(PNG_IMAGE_SIZE(Image));
    png_image_finish_read(&Image, nullptr, Rgb.data(), 0, nullptr);
    if (Rgb != Chart().Rgb.Bytes) throw std::runtime_error(std::string(Writer) + ": other pixels than the chart's");
}

template <typename F>
void Run(benchmark::State& State, const char* Writer, F Write) {
    CheckPixels(Write(), Writer);
    std::size_t Bytes = 0;
    for (auto _ : State) Bytes = Write().size();
    State.counters["bytes"] = static_cast<double>(Bytes);
}

void BM_PngWriter(benchmark::State& State) {
    Run(State, "the writer", [] { return Bitmap().EncodePNG(); });
}
void BM_PngLibpng(benchmark::State& State) {
    Run(State, "libpng", [] { return WithLibpng(Bitmap()); });
}
void BM_PngLibspng(benchmark::State& State) {
    Run(State, "libspng", [] { return WithLibspng(Bitmap()); });
}
BENCHMARK(BM_PngWriter)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_PngLibpng)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_PngLibspng)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
