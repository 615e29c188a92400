#include "platform/gif/GifLzw.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/rtl/Exception.h"
#include "tests/support/ThrowMessage.h"

namespace pv {
namespace {

int AppendToVector(GifFileType* Gif, const GifByteType* Data, int Length) {
    auto* Out = static_cast<std::vector<std::uint8_t>*>(Gif->UserData);
    Out->insert(Out->end(), Data, Data + Length);
    return Length;
}

// giflib's own LZW codes for the indices, taken from the file its line
// writer makes: past the fixed-size headers and the colour table, the code
// size byte, then the sub-blocks with their length bytes removed.
std::vector<std::uint8_t> GiflibCodes(std::vector<std::uint8_t> Indices, int Bits) {
    std::vector<std::uint8_t> File;
    int Error = 0;
    GifFileType* Gif = EGifOpen(&File, AppendToVector, &Error);
    std::vector<GifColorType> Colors(std::size_t{1} << Bits, GifColorType{0, 0, 0});
    ColorMapObject Map{};
    Map.ColorCount = static_cast<int>(Colors.size());
    Map.BitsPerPixel = Bits;
    Map.Colors = Colors.data();
    // A GIF side has 16 bits: the pixels are laid out in rows of the widest
    // width that divides their count.
    const int Count = static_cast<int>(Indices.size());
    int Width = std::min(Count, 65535);
    while (Count % Width != 0) --Width;
    EXPECT_EQ(EGifPutScreenDesc(Gif, Width, Count / Width, Bits, 0, &Map), GIF_OK);
    EXPECT_EQ(EGifPutImageDesc(Gif, 0, 0, Width, Count / Width, false, nullptr), GIF_OK);
    EXPECT_EQ(EGifPutLine(Gif, Indices.data(), Count), GIF_OK);
    EXPECT_EQ(EGifCloseFile(Gif, &Error), GIF_OK);

    std::size_t At = 6 + 7 + 3 * Colors.size() + 10;
    EXPECT_EQ(File.at(At), Bits);
    ++At;
    std::vector<std::uint8_t> Codes;
    while (File.at(At) != 0) {
        const std::size_t Length = File[At];
        Codes.insert(Codes.end(), File.begin() + static_cast<std::ptrdiff_t>(At + 1),
                     File.begin() + static_cast<std::ptrdiff_t>(At + 1 + Length));
        At += 1 + Length;
    }
    EXPECT_EQ(File.at(At + 1), ';');
    return Codes;
}

void ExpectSameCodesAsGiflib(TGifLzwEncoder& Encoder, const std::vector<std::uint8_t>& Indices, int Bits,
                             const std::string& What) {
    const auto Ours = Encoder.Encode(Indices.data(), Indices.size(), Bits);
    const std::vector<std::uint8_t> Theirs = GiflibCodes(Indices, Bits);
    ASSERT_EQ(Ours.size(), Theirs.size()) << What;
    const auto Mismatch = std::mismatch(Ours.begin(), Ours.end(), Theirs.begin());
    EXPECT_TRUE(Mismatch.first == Ours.end())
        << What << ": first differing byte at " << (Mismatch.first - Ours.begin()) << " of " << Ours.size();
}

// Indices in runs whose lengths are drawn from 1..MaxRun, over Colours
// indices: long runs exercise the jump through the run strings, short ones
// the table, and a clear of the table can fall inside a run.
std::vector<std::uint8_t> Runs(std::size_t Count, int Colours, int MaxRun, std::uint32_t Seed) {
    std::mt19937 Random(Seed);
    std::vector<std::uint8_t> V;
    V.reserve(Count);
    while (V.size() < Count) {
        const auto C = static_cast<std::uint8_t>(Random() % static_cast<std::uint32_t>(Colours));
        const std::size_t Length = 1 + Random() % static_cast<std::uint32_t>(MaxRun);
        V.insert(V.end(), std::min(Length, Count - V.size()), C);
    }
    return V;
}

// One encoder throughout, so each case also checks that the tables left by
// the case before (another code size, other run strings) do not leak in.
TEST(GifLzw, CodesAreGiflibsBitForBit) {
    TGifLzwEncoder Encoder;
    ExpectSameCodesAsGiflib(Encoder, {7}, 8, "one pixel");
    ExpectSameCodesAsGiflib(Encoder, {1, 1}, 2, "two equal pixels");
    ExpectSameCodesAsGiflib(Encoder, {0, 3, 0, 3, 3, 3}, 2, "six pixels");
    for (const int Bits : {2, 3, 4, 8}) {
        const int Colours = 1 << Bits;
        const std::string B = " at " + std::to_string(Bits) + " bits";
        ExpectSameCodesAsGiflib(Encoder, Runs(60'000, Colours, 1, 1), Bits, "noise" + B);
        ExpectSameCodesAsGiflib(Encoder, Runs(60'000, Colours, 6, 2), Bits, "short runs" + B);
        ExpectSameCodesAsGiflib(Encoder, Runs(400'000, Colours, 3000, 3), Bits, "long runs" + B);
        ExpectSameCodesAsGiflib(Encoder, Runs(200'000, std::min(Colours, 3), 400, 4), Bits, "few indices" + B);
    }
    // Noise over all 256 indices fills the table about every 4 000 pixels.
    ExpectSameCodesAsGiflib(Encoder, Runs(300'000, 256, 1, 5), 8, "dense noise");
    // A single run long enough to fill the table with its own strings.
    ExpectSameCodesAsGiflib(Encoder, std::vector<std::uint8_t>(9'000'000, 5), 8, "one huge run");
    // Rows like a chart's: a background run, bars, and antialiased noise.
    std::vector<std::uint8_t> Chart;
    std::mt19937 Random(6);
    for (int Y = 0; Y < 250; ++Y)
        for (int X = 0; X < 400; ++X)
            Chart.push_back(X % 33 < 22 && Y > 40 ? 1
                            : (X + Y) % 97 < 3    ? static_cast<std::uint8_t>(Random() % 200)
                                                  : 0);
    ExpectSameCodesAsGiflib(Encoder, Chart, 8, "chart rows");
    // A row of short runs repeated, now and then with one index changed: the
    // same strings are followed again and again, and sometimes not.
    const std::vector<std::uint8_t> Row = Runs(800, 16, 4, 7);
    std::vector<std::uint8_t> Repeated;
    for (int Y = 0; Y < 500; ++Y) {
        Repeated.insert(Repeated.end(), Row.begin(), Row.end());
        if (Y % 7 == 3) Repeated[Repeated.size() - 1 - static_cast<std::size_t>(Y)] ^= 1;
    }
    ExpectSameCodesAsGiflib(Encoder, Repeated, 4, "repeated rows");
}

TEST(GifLzw, RefusesWhatWouldNotDecode) {
    TGifLzwEncoder Encoder;
    const std::vector<std::uint8_t> Indices{0, 1, 2, 9, 3};
    EXPECT_THROW_MSG(Encoder.Encode(Indices.data(), Indices.size(), 3), EInvalidGraphic,
                     "GIF LZW: index 9 at pixel 3 does not fit the minimum code size 3");
    EXPECT_THROW_MSG(Encoder.Encode(Indices.data(), Indices.size(), 1), EInvalidGraphic,
                     "GIF LZW: minimum code size 1 is out of range 2..8");
    EXPECT_THROW_MSG(Encoder.Encode(Indices.data(), Indices.size(), 9), EInvalidGraphic,
                     "GIF LZW: minimum code size 9 is out of range 2..8");
    EXPECT_THROW_MSG(Encoder.Encode(Indices.data(), 0, 8), EInvalidGraphic, "GIF LZW: no pixels to encode");
    // The encoder still works after refusing.
    ExpectSameCodesAsGiflib(Encoder, Indices, 4, "after a refusal");
}

}  // namespace
}  // namespace pv
