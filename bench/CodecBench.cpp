// GIF and JPEG encoding of the reference chart: the picture classes against
// bare giflib and TurboJPEG calls on the same input.
//
// The chart is drawn here with Cairo and Pango as the chart painter draws it
// (white background, antialiased bars, grid, axes, marks, legend and text),
// so that the encoders see a realistic picture without depending on the
// chart library.

#include <benchmark/benchmark.h>
#include <cairo.h>
#include <gif_lib.h>
#include <pango/pangocairo.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <numbers>
#include <stdexcept>
#include <vector>

#include "platform/gif/GIFImage.h"
#include "platform/gif/GifLzw.h"
#include "platform/jpeg/JPEGImage.h"
#include "platform/rtl/Stream.h"
#include "platform/vcl/Bitmap.h"

namespace {

// The reference chart: 400 x 250, twelve monthly values, blue bars for
// values at or above zero and red ones below.
constexpr double ReferenceValues[12] = {12, 19, 3, -5, 22, 17, 9, 14, -2, 25, 30, 11};

void DrawReferenceChart(pv::TBitmap& Bitmap, const double (&Values)[12] = ReferenceValues) {
    constexpr int W = 400, H = 250;
    Bitmap.SetSize(W, H, pv::clWhite);
    cairo_surface_t* S = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(Bitmap.Pixels()),
                                                             CAIRO_FORMAT_RGB24, W, H, Bitmap.Stride());
    cairo_t* Cr = cairo_create(S);
    PangoLayout* Layout = pango_cairo_create_layout(Cr);
    auto Text = [&](const char* T, double X, double Y, int Size, bool Centre) {
        PangoFontDescription* Font = pango_font_description_from_string("DejaVu Sans");
        pango_font_description_set_absolute_size(Font, Size * PANGO_SCALE);
        pango_layout_set_font_description(Layout, Font);
        pango_font_description_free(Font);
        pango_layout_set_text(Layout, T, -1);
        int TW = 0, TH = 0;
        pango_layout_get_pixel_size(Layout, &TW, &TH);
        cairo_move_to(Cr, Centre ? X - TW / 2.0 : X, Y);
        pango_cairo_show_layout(Cr, Layout);
    };
    const char* Months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const double Left = 45, Right = 310, Top = 28, Bottom = 210, Min = -10, Max = 35;
    auto Y = [&](double V) { return Bottom - (V - Min) / (Max - Min) * (Bottom - Top); };
    char Buf[32];

    cairo_set_source_rgb(Cr, 0, 0, 0);
    Text("Monthly revenue", W / 2.0, 4, 13, true);
    cairo_set_line_width(Cr, 1);
    for (int V = -10; V <= 35; V += 5) {
        cairo_set_source_rgb(Cr, 0.75, 0.75, 0.75);
        cairo_move_to(Cr, Left, Y(V) + 0.5);
        cairo_line_to(Cr, Right, Y(V) + 0.5);
        cairo_stroke(Cr);
        std::snprintf(Buf, sizeof Buf, "%d", V);
        cairo_set_source_rgb(Cr, 0, 0, 0);
        Text(Buf, Left - 22, Y(V) - 6, 10, false);
    }
    const double Slot = (Right - Left) / 12.0;
    for (int I = 0; I < 12; ++I) {
        const double X0 = Left + I * Slot + Slot * 0.15, X1 = Left + (I + 1) * Slot - Slot * 0.15;
        const double Y0 = Y(std::max(0.0, Values[I])), Y1 = Y(std::min(0.0, Values[I]));
        if (Values[I] >= 0) cairo_set_source_rgb(Cr, 0, 0, 1);
        else cairo_set_source_rgb(Cr, 1, 0, 0);
        cairo_rectangle(Cr, X0, Y0, X1 - X0, Y1 - Y0);
        cairo_fill_preserve(Cr);
        cairo_set_source_rgb(Cr, 0, 0, 0);
        cairo_stroke(Cr);
        const double MarkY = Values[I] >= 0 ? Y0 - 16 : Y1 + 2;
        cairo_set_source_rgb(Cr, 1, 1, 0.8);
        cairo_rectangle(Cr, (X0 + X1) / 2 - 8, MarkY, 16, 13);
        cairo_fill_preserve(Cr);
        cairo_set_source_rgb(Cr, 0, 0, 0);
        cairo_stroke(Cr);
        std::snprintf(Buf, sizeof Buf, "%g", Values[I]);
        Text(Buf, (X0 + X1) / 2, MarkY, 10, true);
        Text(Months[I], Left + I * Slot + Slot / 2, Bottom + 4, 9, true);
    }
    cairo_move_to(Cr, Left + 0.5, Top);
    cairo_line_to(Cr, Left + 0.5, Bottom + 0.5);
    cairo_line_to(Cr, Right, Bottom + 0.5);
    cairo_stroke(Cr);
    Text("Month", (Left + Right) / 2, Bottom + 20, 11, true);
    cairo_save(Cr);
    cairo_translate(Cr, 4, 130);
    cairo_rotate(Cr, -std::numbers::pi / 2);
    Text("EUR", 0, 0, 11, true);
    cairo_restore(Cr);
    cairo_rectangle(Cr, 320.5, 30.5, 72, 190);
    cairo_stroke(Cr);
    for (int I = 0; I < 12; ++I) {
        if (Values[I] >= 0) cairo_set_source_rgb(Cr, 0, 0, 1);
        else cairo_set_source_rgb(Cr, 1, 0, 0);
        cairo_rectangle(Cr, 325, 36 + I * 15, 10, 10);
        cairo_fill(Cr);
        cairo_set_source_rgb(Cr, 0, 0, 0);
        std::snprintf(Buf, sizeof Buf, "%s %g", Months[I], Values[I]);
        Text(Buf, 340, 34 + I * 15, 10, false);
    }
    g_object_unref(Layout);
    cairo_destroy(Cr);
    cairo_surface_flush(S);
    cairo_surface_destroy(S);
}

// A second chart of slightly different values: benchmarks that alternate
// between the two see the data change at every render, as a server whose
// data changes does. That matters beyond the palette: the LZW compressors'
// branches depend on the pixels, and a processor that sees the very same
// picture again and again learns them, which flatters both compressors.
constexpr double OtherValues[12] = {14, 18, 4, -6, 21, 17, 10, 13, -1, 24, 31, 12};

// The two charts, drawn once (they live as long as the program).
const pv::TBitmap& Chart(int Which = 0) {
    static const pv::TBitmap* const Charts[2] = {[] {
                                                     auto* B = new pv::TBitmap;
                                                     DrawReferenceChart(*B);
                                                     return B;
                                                 }(),
                                                 [] {
                                                     auto* B = new pv::TBitmap;
                                                     DrawReferenceChart(*B, OtherValues);
                                                     return B;
                                                 }()};
    return *Charts[Which];
}

int AppendBytes(GifFileType* Gif, const GifByteType* Data, int Length) {
    auto* Out = static_cast<std::vector<std::uint8_t>*>(Gif->UserData);
    Out->insert(Out->end(), Data, Data + Length);
    return Length;
}

// The indexed picture our GIF encoder makes of a chart, decoded back, so
// that the bare baseline compresses exactly the same indices and palette.
struct TIndexed {
    int Width = 0, Height = 0;
    std::vector<GifByteType> Pixels;
    std::vector<GifColorType> Colors;
};

int ReadBytes(GifFileType* Gif, GifByteType* Buf, int Length) {
    auto* In = static_cast<std::pair<const std::uint8_t*, std::size_t>*>(Gif->UserData);
    const int N = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(Length), In->second));
    std::copy(In->first, In->first + N, Buf);
    In->first += N;
    In->second -= static_cast<std::size_t>(N);
    return N;
}

TIndexed Decode(const std::vector<std::uint8_t>& Bytes) {
    std::pair<const std::uint8_t*, std::size_t> In{Bytes.data(), Bytes.size()};
    int Error = 0;
    GifFileType* D = DGifOpen(&In, ReadBytes, &Error);
    if (!D || DGifSlurp(D) != GIF_OK) throw std::runtime_error("cannot decode the chart's GIF");
    TIndexed R;
    R.Width = D->SWidth;
    R.Height = D->SHeight;
    R.Pixels.assign(D->SavedImages[0].RasterBits, D->SavedImages[0].RasterBits + R.Width * R.Height);
    R.Colors.assign(D->SColorMap->Colors, D->SColorMap->Colors + D->SColorMap->ColorCount);
    DGifCloseFile(D, &Error);
    return R;
}

const TIndexed& IndexedChart(int Which) {
    static const TIndexed I[2] = {[] {
                                      pv::TGIFImage Gif;
                                      Gif.Assign(Chart(0));
                                      return Decode(Gif.Encoded());
                                  }(),
                                  [] {
                                      pv::TGIFImage Gif;
                                      Gif.Assign(Chart(1));
                                      return Decode(Gif.Encoded());
                                  }()};
    return I[Which];
}

// The argument of the GIF benchmarks: 0 encodes the same chart every time,
// 1 alternates between the two charts.
int Pick(const benchmark::State& State, int& Turn) { return State.range(0) != 0 ? (Turn ^= 1) : 0; }

// giflib's own work: open, screen and image descriptors, LZW of the whole
// picture in one call, close; with the same in-memory output as the
// picture class.
void BM_GifBareLZW(benchmark::State& State) {
    std::vector<std::uint8_t> Out;
    int Turn = 0;
    for (auto _ : State) {
        const TIndexed& I = IndexedChart(Pick(State, Turn));
        Out.clear();
        int Error = 0;
        GifFileType* Gif = EGifOpen(&Out, AppendBytes, &Error);
        EGifSetGifVersion(Gif, true);
        ColorMapObject Map{};
        Map.ColorCount = static_cast<int>(I.Colors.size());
        Map.BitsPerPixel = GifBitSize(Map.ColorCount);
        Map.Colors = const_cast<GifColorType*>(I.Colors.data());
        EGifPutScreenDesc(Gif, I.Width, I.Height, Map.BitsPerPixel, 0, &Map);
        EGifPutImageDesc(Gif, 0, 0, I.Width, I.Height, false, nullptr);
        EGifPutLine(Gif, const_cast<GifByteType*>(I.Pixels.data()), I.Width * I.Height);
        EGifCloseFile(Gif, &Error);
        benchmark::DoNotOptimize(Out.data());
    }
    State.counters["bytes"] = static_cast<double>(Out.size());
}
BENCHMARK(BM_GifBareLZW)->ArgName("changing")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Our LZW compressor alone on the same indices: its codes are giflib's, bit
// for bit, so this and the baseline above do the same work.
void BM_GifOwnLZW(benchmark::State& State) {
    pv::TGifLzwEncoder Encoder;
    std::size_t Size = 0;
    int Turn = 0;
    for (auto _ : State) {
        const TIndexed& I = IndexedChart(Pick(State, Turn));
        const int MinCodeSize = std::max(2, GifBitSize(static_cast<int>(I.Colors.size())));
        const auto Codes = Encoder.Encode(I.Pixels.data(), I.Pixels.size(), MinCodeSize);
        Size = Codes.size();
        benchmark::DoNotOptimize(Codes.data());
    }
    State.counters["bytes"] = static_cast<double>(Size);
}
BENCHMARK(BM_GifOwnLZW)->ArgName("changing")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The picture class: colour reduction at the copy, then LZW at the write.
// With changing data the reduction never finds the previous picture's
// colour counts and computes every palette afresh.
void BM_GifImage(benchmark::State& State) {
    pv::TGIFImage Gif;
    pv::TMemoryStream Stream;
    int Turn = 0;
    for (auto _ : State) {
        Stream.Clear();
        Gif.Assign(Chart(Pick(State, Turn)));
        Gif.SaveToStream(Stream);
        benchmark::DoNotOptimize(Stream.Memory());
    }
    State.counters["bytes"] = static_cast<double>(Stream.GetSize());
    State.counters["colours"] = Gif.GetColorCount();
}
BENCHMARK(BM_GifImage)->ArgName("changing")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The picture class's write alone (LZW and the file around it): a copy of
// an indexed picture not yet encoded, then the write.
void BM_GifEncodeOnly(benchmark::State& State) {
    pv::TGIFImage Sources[2];
    Sources[0].Assign(Chart(0));
    Sources[1].Assign(Chart(1));
    pv::TGIFImage Gif;
    pv::TMemoryStream Stream;
    int Turn = 0;
    for (auto _ : State) {
        Stream.Clear();
        Gif.Assign(Sources[Pick(State, Turn)]);
        Gif.SaveToStream(Stream);
        benchmark::DoNotOptimize(Stream.Memory());
    }
}
BENCHMARK(BM_GifEncodeOnly)->ArgName("changing")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The colour reduction alone: the price a JPEG-only response pays for the GIF.
void BM_GifAssignOnly(benchmark::State& State) {
    pv::TGIFImage Gif;
    int Turn = 0;
    for (auto _ : State) {
        Gif.Assign(Chart(Pick(State, Turn)));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GifAssignOnly)->ArgName("changing")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

constexpr int JpegQuality = 80;

// One bare tjCompress2 call on the bitmap's pixels, with a reused handle and
// a buffer big enough never to be reallocated: the fastest use of the API.
void BareJpeg(benchmark::State& State, int Subsampling) {
    const pv::TBitmap& B = Chart();
    tjhandle H = tjInitCompress();
    unsigned long Capacity = tjBufSize(B.GetWidth(), B.GetHeight(), Subsampling);
    unsigned char* Buf = tjAlloc(static_cast<int>(Capacity));
    unsigned long Size = 0;
    for (auto _ : State) {
        Size = Capacity;
        if (tjCompress2(H, reinterpret_cast<const unsigned char*>(B.Pixels()), B.GetWidth(), B.Stride(),
                        B.GetHeight(), TJPF_BGRX, &Buf, &Size, Subsampling, JpegQuality, TJFLAG_NOREALLOC) != 0)
            State.SkipWithError(tjGetErrorStr2(H));
        benchmark::DoNotOptimize(Buf);
    }
    State.counters["bytes"] = static_cast<double>(Size);
    tjFree(Buf);
    tjDestroy(H);
}
void BM_JpegBare444(benchmark::State& State) { BareJpeg(State, TJSAMP_444); }
void BM_JpegBare420(benchmark::State& State) { BareJpeg(State, TJSAMP_420); }
BENCHMARK(BM_JpegBare444)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegBare420)->Unit(benchmark::kMillisecond);

// The picture class: copy of the bitmap, then encoding at the write.
void BM_JpegImage(benchmark::State& State) {
    const pv::TBitmap& B = Chart();
    pv::TJPEGImage Jpeg;
    Jpeg.SetCompressionQuality(JpegQuality);
    pv::TMemoryStream Stream;
    for (auto _ : State) {
        Stream.Clear();
        Jpeg.Assign(B);
        Jpeg.SaveToStream(Stream);
        benchmark::DoNotOptimize(Stream.Memory());
    }
    State.counters["bytes"] = static_cast<double>(Stream.GetSize());
}
BENCHMARK(BM_JpegImage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
