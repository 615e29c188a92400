#include "platform/gif/ColorReduction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <unordered_set>
#include <vector>

namespace pv {
namespace {

struct TResult {
    std::vector<std::uint32_t> Palette;
    std::vector<std::uint8_t> Indices;
    bool operator==(const TResult&) const = default;
};

TResult Reduce(TColorReduction& R, const std::vector<std::uint32_t>& Pixels) {
    TResult Out;
    R.Reduce(Pixels, Out.Palette, Out.Indices);
    return Out;
}

TResult ReduceFresh(const std::vector<std::uint32_t>& Pixels) {
    TColorReduction R;
    return Reduce(R, Pixels);
}

std::size_t DistinctColours(const std::vector<std::uint32_t>& Pixels) {
    std::unordered_set<std::uint32_t> Seen;
    for (auto P : Pixels) Seen.insert(P & 0xFFFFFFu);
    return Seen.size();
}

// A small deterministic generator, so that the pictures are the same on
// every machine.
struct TRandom {
    std::uint32_t State;
    std::uint32_t Next() { return (State = State * 1103515245u + 12345u) >> 8; }
};

// Colours distinct colours (spread over the cube by a multiplicative hash),
// each on a run of a few pixels and again scattered at random, with the top
// byte varying as Cairo may leave it.
std::vector<std::uint32_t> Scattered(int Colours, std::size_t Count) {
    std::vector<std::uint32_t> P(Count);
    TRandom Random{777};
    auto Colour = [](std::uint32_t K) { return (K * 0x9E3779B1u) >> 8; };
    for (std::size_t I = 0; I < Count; ++I) {
        const std::uint32_t K = I < Count / 2 ? static_cast<std::uint32_t>(I / 5 % static_cast<std::size_t>(Colours))
                                              : Random.Next() % static_cast<std::uint32_t>(Colours);
        P[I] = (Random.Next() << 24) | Colour(K);
    }
    return P;
}

// A photo-like picture: smooth gradients in all three channels plus noise of
// up to +-12 levels in each, over 640 x 480 pixels.
std::vector<std::uint32_t> Photo() {
    constexpr int W = 640, H = 480;
    std::vector<std::uint32_t> P;
    P.reserve(W * H);
    TRandom Random{4242};
    auto Channel = [&](int V) {
        return static_cast<std::uint32_t>(std::clamp(V + static_cast<int>(Random.Next() % 25) - 12, 0, 255));
    };
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) {
            const std::uint32_t R = Channel(X * 255 / (W - 1)), G = Channel(Y * 255 / (H - 1)),
                                B = Channel(128 + (X - Y) * 127 / W);
            P.push_back(0xFF000000u | (R << 16) | (G << 8) | B);
        }
    return P;
}

// Mean and largest difference of one channel between the pixels and their
// palette colours.
struct TError {
    double Mean = 0;
    int Max = 0;
};

TError ErrorOf(const std::vector<std::uint32_t>& Pixels, const TResult& R) {
    TError E;
    double Sum = 0;
    for (std::size_t I = 0; I < Pixels.size(); ++I) {
        const std::uint32_t A = Pixels[I], B = R.Palette[R.Indices[I]];
        for (int Shift = 0; Shift <= 16; Shift += 8) {
            const int D = std::abs(static_cast<int>((A >> Shift) & 0xFF) - static_cast<int>((B >> Shift) & 0xFF));
            Sum += D;
            E.Max = std::max(E.Max, D);
        }
    }
    E.Mean = Sum / (3.0 * static_cast<double>(Pixels.size()));
    return E;
}

TEST(ColorReduction, FewColoursKeepTheirExactColoursInOrderOfFirstAppearance) {
    for (int Colours : {1, 2, 3, 255, 256}) {
        SCOPED_TRACE(Colours);
        const auto Pixels = Scattered(Colours, 20000);
        ASSERT_EQ(DistinctColours(Pixels), static_cast<std::size_t>(Colours));
        const TResult R = ReduceFresh(Pixels);
        // The smallest power of two that holds them, and never below 2.
        ASSERT_EQ(R.Palette.size(), std::max<std::size_t>(2, std::bit_ceil(static_cast<unsigned>(Colours))));
        ASSERT_EQ(R.Indices.size(), Pixels.size());
        std::vector<std::uint32_t> FirstSeen;
        std::unordered_set<std::uint32_t> Seen;
        for (std::size_t I = 0; I < Pixels.size(); ++I) {
            const std::uint32_t C = Pixels[I] & 0xFFFFFFu;
            ASSERT_EQ(R.Palette[R.Indices[I]], C) << "pixel " << I;
            if (Seen.insert(C).second) FirstSeen.push_back(C);
        }
        EXPECT_TRUE(std::equal(FirstSeen.begin(), FirstSeen.end(), R.Palette.begin()));
        // Entries past the colours used are black.
        EXPECT_TRUE(std::all_of(R.Palette.begin() + Colours, R.Palette.end(), [](auto C) { return C == 0; }));
    }
}

TEST(ColorReduction, NoPixelsGiveNoPaletteAndNoIndices) {
    TColorReduction R;
    TResult Out = Reduce(R, Scattered(3, 10));
    R.Reduce({}, Out.Palette, Out.Indices);
    EXPECT_TRUE(Out.Palette.empty());
    EXPECT_TRUE(Out.Indices.empty());
}

TEST(ColorReduction, ManyColoursKeepTheFrequentOnesExact) {
    // 40 flat colours on blocks of 500 pixels, then 20 000 colours of one
    // pixel each, as antialiased edges give.
    std::vector<std::uint32_t> Pixels;
    for (std::uint32_t K = 0; K < 40; ++K) Pixels.insert(Pixels.end(), 500, (K * 0x9E3779B1u) >> 8);
    for (std::uint32_t K = 0; K < 20000; ++K) Pixels.push_back((K * 0x2545F491u + 0x10101u) >> 8);
    ASSERT_EQ(DistinctColours(Pixels), 20040u);
    const TResult R = ReduceFresh(Pixels);
    ASSERT_EQ(R.Palette.size(), 256u);
    for (std::size_t I = 0; I < 40 * 500; ++I) ASSERT_EQ(R.Palette[R.Indices[I]], Pixels[I]) << "pixel " << I;
}

TEST(ColorReduction, PhotoLikePictureStaysClose) {
    const auto Pixels = Photo();
    ASSERT_GT(DistinctColours(Pixels), 100000u);
    const TResult R = ReduceFresh(Pixels);
    ASSERT_EQ(R.Palette.size(), 256u);
    ASSERT_EQ(R.Indices.size(), Pixels.size());
    const TError E = ErrorOf(Pixels, R);

    // The floor any palette of this size must beat on average: the fixed
    // uniform palette of 8 x 8 x 4 levels, each pixel at its nearest level.
    TResult Uniform;
    for (std::uint32_t Rd = 0; Rd < 8; ++Rd)
        for (std::uint32_t Gr = 0; Gr < 8; ++Gr)
            for (std::uint32_t Bl = 0; Bl < 4; ++Bl)
                Uniform.Palette.push_back(((Rd * 255 / 7) << 16) | ((Gr * 255 / 7) << 8) | (Bl * 255 / 3));
    for (const std::uint32_t P : Pixels) {
        auto Level = [](std::uint32_t V, std::uint32_t Steps) { return (V * Steps + 127) / 255; };
        Uniform.Indices.push_back(static_cast<std::uint8_t>(Level((P >> 16) & 0xFF, 7) * 32 +
                                                            Level((P >> 8) & 0xFF, 7) * 4 + Level(P & 0xFF, 3)));
    }
    const TError Floor = ErrorOf(Pixels, Uniform);
    EXPECT_LT(E.Mean, Floor.Mean);

    // The colours fill a slab around a two-dimensional gradient, some 25
    // levels thick in every channel because of the noise. 256 boxes over it
    // are about 16 x 16 levels across the gradient and the slab's 25 levels
    // deep: a pixel's mean distance to its box's mean is about a quarter of
    // a side (4-6 levels), the farthest corners about half of the longest
    // side plus the up to 4 levels of pooling in 5-bit cells. Measured: a
    // mean of 5.5 and a largest error of 28 (the uniform palette: 13.2 and
    // 42); the bounds leave room for small changes of the cut.
    EXPECT_LT(E.Mean, 7.0);
    EXPECT_LE(E.Max, 36);
}

TEST(ColorReduction, SameInputGivesTheSameResultWhateverCameBefore) {
    const auto Few = Scattered(200, 30000);
    const auto Many = Scattered(5000, 30000);
    const auto Photo1 = Photo();  // pools colours beyond those tracked one by one
    std::vector<std::uint32_t> ManyAgain = Many;
    ManyAgain[7] = 0x123456;  // one pixel of a new colour: other counts, other palette

    const TResult FewFresh = ReduceFresh(Few), ManyFresh = ReduceFresh(Many), PhotoFresh = ReduceFresh(Photo1),
                  ManyAgainFresh = ReduceFresh(ManyAgain);
    ASSERT_NE(ManyFresh.Palette, ManyAgainFresh.Palette);
    EXPECT_TRUE(ReduceFresh(Many) == ManyFresh);
    EXPECT_TRUE(ReduceFresh(Photo1) == PhotoFresh);

    // One object through a sequence that hits the reuse of the last palette
    // (Many twice), a near miss of it (ManyAgain), pictures of few colours
    // and the pooled tables of a photograph in between.
    TColorReduction R;
    const std::vector<const std::vector<std::uint32_t>*> Sequence = {
        &Many, &Many, &ManyAgain, &Many, &Few, &Many, &Photo1, &Many, &Photo1, &Few, &ManyAgain, &ManyAgain};
    for (std::size_t I = 0; I < Sequence.size(); ++I) {
        SCOPED_TRACE(I);
        const auto* P = Sequence[I];
        const TResult& Expected =
            P == &Few ? FewFresh : P == &Many ? ManyFresh : P == &Photo1 ? PhotoFresh : ManyAgainFresh;
        EXPECT_TRUE(Reduce(R, *P) == Expected);
    }
}

}  // namespace
}  // namespace pv
