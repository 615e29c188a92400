#include "platform/gif/ColorReduction.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>

namespace pv {

namespace {

// Colours are keyed by their low 24 bits: Cairo leaves the top byte of an
// RGB24 pixel undefined, so it must not tell two colours apart. This key
// has its top byte set and so is never a colour.
constexpr std::uint32_t EmptyKey = 0xFFFFFFFFu;
constexpr std::uint32_t ColourMask = 0x00FFFFFFu;

// Distinct colours tracked one by one. Past this many, further new colours
// are pooled in cells of 5 bits a channel: that bounds the tables for
// photographs, while a chart (hundreds to a few thousand colours) never
// gets there.
constexpr std::uint32_t MaxExactColours = 65536;
constexpr std::uint32_t CellCount = 32768;

// When colours must be reduced, at most this many palette entries hold the
// most frequent colours exactly; the others hold shades that stand for the
// rest. A chart has a few dozen flat colours at most, so 112 keep them all
// together with the commonest blends, and the 144 shades keep antialiased
// edges within a few levels of their true colour.
constexpr std::size_t MaxFlatColours = 112;
// A colour on fewer pixels than this is no flat colour, whatever its rank.
constexpr std::uint32_t MinFlatPixels = 2;

constexpr int Red(std::uint32_t C) { return static_cast<int>((C >> 16) & 0xFF); }
constexpr int Green(std::uint32_t C) { return static_cast<int>((C >> 8) & 0xFF); }
constexpr int Blue(std::uint32_t C) { return static_cast<int>(C & 0xFF); }
constexpr std::uint32_t Rgb(int R, int G, int B) {
    return (static_cast<std::uint32_t>(R) << 16) | (static_cast<std::uint32_t>(G) << 8) | static_cast<std::uint32_t>(B);
}

std::size_t PaletteSizeFor(std::size_t Colours) {
    // GIF needs a power of two, and at least 2 entries (1 bit a pixel).
    std::size_t Size = 2;
    while (Size < Colours) Size *= 2;
    return Size;
}

// A colour to be represented by a shade, with the pixels it covers.
struct TShade {
    std::uint8_t C[3];
    std::uint32_t Weight;
    std::uint32_t Id;
};

// Shades are weighted by the square root of their pixel count (in 1/16):
// a rare colour still pulls a shade towards itself, so an isolated blend is
// not lumped in with distant ones, while frequent colours still get more of
// the palette.
std::uint32_t ShadeWeight(std::uint32_t Pixels) {
    return static_cast<std::uint32_t>(16.0 * std::sqrt(static_cast<double>(Pixels)) + 0.5);
}

// A box of the median cut over shades [Begin, End), with the weighted sums
// of its colours' channels and their squares.
struct TBox {
    std::uint32_t Begin = 0;
    std::uint32_t End = 0;
    std::uint64_t W = 0;
    std::uint64_t S[3] = {0, 0, 0};
    std::uint64_t SS[3] = {0, 0, 0};
    double Error = 0;  // weighted squared distance of its colours to Mean
    int Axis = 0;      // the channel of largest variance
    int Cut = 0;       // colours with C[Axis] <= Cut go to the first half
    std::uint32_t Mean = 0;
};

// Sums over the box's shades, exact in integers: a weight is at most 2^16
// and all weights together stay below 2^25, so even the sums of squares
// stay far below 2^64.
void SumBox(const std::vector<TShade>& Shades, TBox& Box) {
    std::uint64_t W = 0, S[3] = {0, 0, 0}, SS[3] = {0, 0, 0};
    const TShade* const Data = Shades.data();
    for (std::uint32_t I = Box.Begin; I < Box.End; ++I) {
        const TShade& E = Data[I];
        W += E.Weight;
        for (int A = 0; A < 3; ++A) {
            const std::uint64_t WV = std::uint64_t{E.Weight} * E.C[A];
            S[A] += WV;
            SS[A] += WV * E.C[A];
        }
    }
    Box.W = W;
    for (int A = 0; A < 3; ++A) {
        Box.S[A] = S[A];
        Box.SS[A] = SS[A];
    }
}

// Error, axis, cut and mean from the sums. A channel whose values are all
// equal has a variance of exactly 0 (its sums are exact), so a box with a
// positive error can always be cut: its mean on Axis lies strictly between
// the smallest and largest value there, and so does Cut's boundary.
void FinishBox(TBox& Box) {
    double Mean[3];
    Box.Error = 0;
    double BestVariance = 0;
    for (int A = 0; A < 3; ++A) {
        // A true division: for equal values S = W v, it gives v exactly.
        Mean[A] = static_cast<double>(Box.S[A]) / static_cast<double>(Box.W);
        const double Variance = std::max(0.0, static_cast<double>(Box.SS[A]) - static_cast<double>(Box.S[A]) * Mean[A]);
        Box.Error += Variance;
        if (Variance > BestVariance) {
            BestVariance = Variance;
            Box.Axis = A;
            Box.Cut = static_cast<int>(Mean[A]);
        }
    }
    Box.Mean = Rgb(static_cast<int>(Mean[0] + 0.5), static_cast<int>(Mean[1] + 0.5),
                   static_cast<int>(Mean[2] + 0.5));
}

// Weighted median cut: splits the box of largest squared error at its mean
// along its channel of largest variance until Slots boxes exist or no box
// can be split. Returns the boxes, which partition Shades (reordered).
std::vector<TBox> MedianCut(std::vector<TShade>& Shades, std::size_t Slots) {
    std::vector<TBox> Boxes;
    if (Shades.empty() || Slots == 0) return Boxes;
    Boxes.reserve(Slots);
    // A max-heap of (error, box) over the boxes that may still be split.
    std::vector<std::pair<double, std::uint32_t>> Heap;
    Heap.reserve(Slots);
    std::vector<TShade> Spill(Shades.size());
    Boxes.emplace_back();
    Boxes[0].End = static_cast<std::uint32_t>(Shades.size());
    SumBox(Shades, Boxes[0]);
    FinishBox(Boxes[0]);
    if (Boxes[0].Error > 0) Heap.emplace_back(Boxes[0].Error, 0);
    while (!Heap.empty() && Boxes.size() < Slots) {
        std::pop_heap(Heap.begin(), Heap.end());
        const std::uint32_t Index = Heap.back().second;
        Heap.pop_back();
        TBox& Box = Boxes[Index];  // Boxes never reallocates: reserved for Slots
        // A branchless partition: which side a shade goes to is as good as
        // random, so a branch on it would mispredict half the time. Shades
        // of the second half wait in Spill.
        // (Plain pointers: the shades' byte members may alias anything, which
        // would reload a vector's data pointer after every store.)
        const int Axis = Box.Axis, Cut = Box.Cut;
        TShade* const Data = Shades.data();
        TShade* const Aside = Spill.data();
        std::uint32_t Mid = Box.Begin, Spilled = 0;
        for (std::uint32_t I = Box.Begin; I < Box.End; ++I) {
            const TShade E = Data[I];
            const std::uint32_t Goes = E.C[Axis] <= Cut;
            Data[Mid] = E;
            Aside[Spilled] = E;
            Mid += Goes;
            Spilled += 1 - Goes;
        }
        std::copy_n(Aside, Spilled, Data + Mid);
        if (Mid == Box.Begin || Mid == Box.End) continue;  // cannot happen (see FinishBox)
        // The box keeps its first half and a new box takes the second. The
        // smaller half is summed; the larger one's sums are the rest.
        Boxes.emplace_back();
        TBox& Second = Boxes.back();
        Second.Begin = Mid;
        Second.End = Box.End;
        Box.End = Mid;
        const bool FirstSmaller = Mid - Box.Begin <= Second.End - Mid;
        TBox& Small = FirstSmaller ? Box : Second;
        TBox& Large = FirstSmaller ? Second : Box;
        const std::uint64_t W = Box.W, S[3] = {Box.S[0], Box.S[1], Box.S[2]},
                            SS[3] = {Box.SS[0], Box.SS[1], Box.SS[2]};
        SumBox(Shades, Small);
        Large.W = W - Small.W;
        for (int A = 0; A < 3; ++A) {
            Large.S[A] = S[A] - Small.S[A];
            Large.SS[A] = SS[A] - Small.SS[A];
        }
        for (const std::uint32_t Half : {Index, static_cast<std::uint32_t>(Boxes.size() - 1)}) {
            FinishBox(Boxes[Half]);
            if (Boxes[Half].Error > 0) {
                Heap.emplace_back(Boxes[Half].Error, Half);
                std::push_heap(Heap.begin(), Heap.end());
            }
        }
    }
    return Boxes;
}

// Nearest palette entry by Euclidean RGB distance. Entries are sorted by
// R+G+B; since (dR+dG+dB)^2 <= 3 (dR^2+dG^2+dB^2), the search walks out from
// the query's sum and stops on each side once the sum alone rules out a
// closer entry. A good first guess (the colour's own median-cut box) makes
// that happen within a few steps.
class TNearestSearch {
public:
    explicit TNearestSearch(const std::vector<std::uint32_t>& Palette, std::size_t Count) {
        FEntries.reserve(Count);
        for (std::size_t I = 0; I < Count; ++I) {
            const std::uint32_t C = Palette[I];
            FEntries.push_back({Red(C) + Green(C) + Blue(C), Red(C), Green(C), Blue(C), static_cast<int>(I)});
        }
        std::sort(FEntries.begin(), FEntries.end(), [](const TEntry& A, const TEntry& B) {
            return A.Sum != B.Sum ? A.Sum < B.Sum : A.Index < B.Index;
        });
        FPosition.resize(Count);
        for (std::size_t I = 0; I < Count; ++I) FPosition[static_cast<std::size_t>(FEntries[I].Index)] = static_cast<int>(I);
    }

    // The nearest entry to C, given the index of a palette entry near it.
    std::uint8_t Find(std::uint32_t C, int GuessIndex) const {
        const int R = Red(C), G = Green(C), B = Blue(C), Sum = R + G + B;
        const int N = static_cast<int>(FEntries.size());
        // The first entry whose sum is at least the query's, found by
        // stepping from the guess, whose sum is close.
        int Up = FPosition[static_cast<std::size_t>(GuessIndex)];
        while (Up > 0 && FEntries[Up - 1].Sum >= Sum) --Up;
        while (Up < N && FEntries[Up].Sum < Sum) ++Up;
        int Down = Up - 1;
        int Best, BestIndex = GuessIndex;
        {
            const TEntry& E = FEntries[FPosition[static_cast<std::size_t>(GuessIndex)]];
            const int DR = E.R - R, DG = E.G - G, DB = E.B - B;
            Best = DR * DR + DG * DG + DB * DB;
        }
        auto Try = [&](const TEntry& E) {
            const int DR = E.R - R, DG = E.G - G, DB = E.B - B;
            const int D = DR * DR + DG * DG + DB * DB;
            if (D < Best || (D == Best && E.Index < BestIndex)) {
                Best = D;
                BestIndex = E.Index;
            }
        };
        while (Up < N || Down >= 0) {
            if (Up < N) {
                const int DS = FEntries[Up].Sum - Sum;
                if (DS * DS > 3 * Best) Up = N;
                else Try(FEntries[Up++]);
            }
            if (Down >= 0) {
                const int DS = Sum - FEntries[Down].Sum;
                if (DS * DS > 3 * Best) Down = -1;
                else Try(FEntries[Down--]);
            }
        }
        return static_cast<std::uint8_t>(BestIndex);
    }

private:
    struct TEntry {
        int Sum, R, G, B, Index;
    };
    std::vector<TEntry> FEntries;
    std::vector<int> FPosition;  // palette index -> position in FEntries
};

}  // namespace

// The colour reduction in three steps:
//   Scan: one pass over the pixels that splits them into runs of equal
//   pixels and gives each run's colour an id through an open-addressing
//   hash, so a flat area costs a vector compare per 4 pixels and there is
//   one lookup a run, none a pixel.
//   Reduce: chooses the palette and maps every id to its palette index.
//   Expand: writes each run's index into the indexed picture.
struct TColorReduction::TTables {
    struct TSlot {
        std::uint32_t Key;
        std::uint32_t Id;
    };
    struct TRun {
        std::uint32_t Id;
        std::uint32_t Length;
    };

    std::vector<TSlot> Table;
    std::uint32_t Mask = 0;
    int Shift = 0;
    // Per exact id: the colour. Ids from MaxExactColours on are cells.
    std::vector<std::uint32_t> Colours;
    // Per id: the pixels of that colour (exact ids, then cells if pooled).
    std::vector<std::uint32_t> Counts;
    // Per cell: the sums of its pixels' red, green and blue.
    std::vector<std::uint64_t> CellSums;
    bool Pooled = false;
    std::vector<TRun> Runs;
    // Per id: its palette index.
    std::vector<std::uint8_t> Map;
    // The input and result of the last reduction of many colours (empty
    // when there is none, or when Map was filled since by another picture).
    std::vector<std::uint32_t> LastColours, LastCounts, LastPalette;

    void Reset() {
        // Sized for the previous picture, so a chart refilled at every render
        // neither grows the table nor clears a needlessly large one.
        std::size_t Capacity = 1024;
        while (Capacity < 2 * Colours.size()) Capacity *= 2;
        InitTable(Capacity);
        Colours.clear();
        Counts.clear();
        Runs.clear();
        Pooled = false;
    }

    void InitTable(std::size_t Capacity) {
        Table.assign(Capacity, TSlot{EmptyKey, 0});
        Mask = static_cast<std::uint32_t>(Capacity - 1);
        Shift = 32 - std::countr_zero(static_cast<std::uint32_t>(Capacity));
    }

    std::uint32_t Hash(std::uint32_t Key) const { return (Key * 0x9E3779B1u) >> Shift; }

    // Splits the pixels into runs of equal words. Run starts are found 32
    // pixels at a time by comparing each pixel with its left neighbour, so
    // a flat stretch costs a few vector compares and busy stretches (text)
    // cost one step per run without a mispredicted loop exit for each.
    void Scan(const std::uint32_t* P, std::size_t Count) {
        std::size_t Start = 0;
        std::uint32_t Id = IdOf(P[0] & ColourMask);
        auto EndRun = [&](std::size_t At) {
            const auto Length = static_cast<std::uint32_t>(At - Start);
            Runs.push_back({Id, Length});
            Counts[Id] += Length;
            if (Id >= MaxExactColours) [[unlikely]]
                AddToCell(Id - MaxExactColours, P[Start] & ColourMask, Length);
        };
        auto StartRun = [&](std::size_t At) {
            EndRun(At);
            Id = IdOf(P[At] & ColourMask);
            Start = At;
        };
        std::size_t I = 1;
#if defined(__SSE2__)
        // Sixteen comparisons are narrowed to one byte each (all ones or
        // zero, so the saturating packs keep them) and read as one mask.
        auto Same16 = [P](std::size_t At) {
            auto Equal = [P, At](int K) {
                const __m128i Here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + At + 4 * K));
                const __m128i Left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + At + 4 * K - 1));
                return _mm_cmpeq_epi32(Here, Left);
            };
            const __m128i Low = _mm_packs_epi32(Equal(0), Equal(1));
            const __m128i High = _mm_packs_epi32(Equal(2), Equal(3));
            return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(Low, High)));
        };
        for (; I + 32 <= Count; I += 32) {
            const std::uint32_t Same = Same16(I) | Same16(I + 16) << 16;
            for (std::uint32_t Starts = ~Same; Starts != 0; Starts &= Starts - 1)
                StartRun(I + static_cast<std::size_t>(std::countr_zero(Starts)));
        }
#endif
        for (; I < Count; ++I)
            if (P[I] != P[I - 1]) StartRun(I);
        EndRun(Count);
    }

    // The id of a colour, adding it if new.
    std::uint32_t IdOf(std::uint32_t Key) {
        for (std::uint32_t H = Hash(Key);; H = (H + 1) & Mask) {
            const TSlot S = Table[H];
            if (S.Key == Key) return S.Id;
            if (S.Key == EmptyKey) return Insert(Key, H);
        }
    }

    [[gnu::noinline]] std::uint32_t Insert(std::uint32_t Key, std::uint32_t Slot) {
        if (Colours.size() == MaxExactColours) return Pool(Key);
        if (2 * (Colours.size() + 1) > Table.size()) {
            Grow();
            Slot = Hash(Key);
            while (Table[Slot].Key != EmptyKey) Slot = (Slot + 1) & Mask;
        }
        const auto Id = static_cast<std::uint32_t>(Colours.size());
        Table[Slot] = {Key, Id};
        Colours.push_back(Key);
        Counts.push_back(0);
        return Id;
    }

    void Grow() {
        InitTable(2 * Table.size());
        for (std::uint32_t Id = 0; Id < Colours.size(); ++Id) {
            std::uint32_t H = Hash(Colours[Id]);
            while (Table[H].Key != EmptyKey) H = (H + 1) & Mask;
            Table[H] = {Colours[Id], Id};
        }
    }

    // A colour beyond MaxExactColours goes to its cell, whose sums give the
    // cell's mean colour.
    std::uint32_t Pool(std::uint32_t Key) {
        if (!Pooled) {
            Counts.resize(MaxExactColours + CellCount, 0);
            CellSums.assign(3 * CellCount, 0);
            Pooled = true;
        }
        return MaxExactColours + (((Key >> 9) & 0x7C00) | ((Key >> 6) & 0x03E0) | ((Key >> 3) & 0x001F));
    }

    void AddToCell(std::uint32_t Cell, std::uint32_t Key, std::uint32_t Length) {
        CellSums[3 * Cell + 0] += std::uint64_t{Length} * static_cast<std::uint32_t>(Red(Key));
        CellSums[3 * Cell + 1] += std::uint64_t{Length} * static_cast<std::uint32_t>(Green(Key));
        CellSums[3 * Cell + 2] += std::uint64_t{Length} * static_cast<std::uint32_t>(Blue(Key));
    }

    std::size_t IdCount() const { return Counts.size(); }

    std::uint32_t ColourOf(std::uint32_t Id) const {
        if (Id < Colours.size()) return Colours[Id];
        const std::uint32_t Cell = Id - MaxExactColours;
        const std::uint64_t N = Counts[Id];
        return Rgb(static_cast<int>((CellSums[3 * Cell + 0] + N / 2) / N),
                   static_cast<int>((CellSums[3 * Cell + 1] + N / 2) / N),
                   static_cast<int>((CellSums[3 * Cell + 2] + N / 2) / N));
    }

    // Chooses the palette (a power of two in size) and fills Map.
    void Reduce(std::vector<std::uint32_t>& Palette) {
        // A chart drawn again from unchanged data has exactly the colours
        // and counts of the previous picture, and so gets the same palette
        // and map: those are kept from the last reduction and reused.
        if (!Pooled && !LastPalette.empty() && Colours == LastColours && Counts == LastCounts) {
            Palette = LastPalette;
            return;
        }
        LastPalette.clear();
        Map.resize(IdCount());
        if (!Pooled && Colours.size() <= 256) {
            // Few enough colours: each keeps its own entry, in order of first
            // appearance.
            Palette.assign(PaletteSizeFor(Colours.size()), 0);
            std::copy(Colours.begin(), Colours.end(), Palette.begin());
            for (std::size_t I = 0; I < Colours.size(); ++I) Map[I] = static_cast<std::uint8_t>(I);
            return;
        }
        // Rank the ids by pixel count, most frequent first (ties: first seen
        // first), as count << 32 | ~id so that one descending order does both.
        std::vector<std::uint64_t> Rank;
        Rank.reserve(IdCount());
        for (std::uint32_t Id = 0; Id < IdCount(); ++Id)
            if (Counts[Id]) Rank.push_back((std::uint64_t{Counts[Id]} << 32) | (0xFFFFFFFFu - Id));
        const std::size_t Top = std::min(Rank.size(), MaxFlatColours);
        std::nth_element(Rank.begin(), Rank.begin() + static_cast<std::ptrdiff_t>(Top), Rank.end(),
                         std::greater<>());
        std::sort(Rank.begin(), Rank.begin() + static_cast<std::ptrdiff_t>(Top), std::greater<>());
        auto IdOfRank = [&](std::size_t I) { return 0xFFFFFFFFu - static_cast<std::uint32_t>(Rank[I]); };

        std::size_t Flat = 0;
        while (Flat < Top && (Rank[Flat] >> 32) >= MinFlatPixels) ++Flat;
        Palette.assign(256, 0);
        for (std::size_t I = 0; I < Flat; ++I) {
            Palette[I] = ColourOf(IdOfRank(I));
            Map[IdOfRank(I)] = static_cast<std::uint8_t>(I);
        }

        std::vector<TShade> Shades;
        Shades.reserve(Rank.size() - Flat);
        for (std::size_t I = Flat; I < Rank.size(); ++I) {
            const std::uint32_t Id = IdOfRank(I), C = ColourOf(Id);
            Shades.push_back({{static_cast<std::uint8_t>(Red(C)), static_cast<std::uint8_t>(Green(C)),
                               static_cast<std::uint8_t>(Blue(C))},
                              ShadeWeight(static_cast<std::uint32_t>(Rank[I] >> 32)),
                              Id});
        }
        const std::vector<TBox> Boxes = MedianCut(Shades, 256 - Flat);
        for (std::size_t K = 0; K < Boxes.size(); ++K) Palette[Flat + K] = Boxes[K].Mean;
        const std::size_t Used = Flat + Boxes.size();
        Palette.resize(PaletteSizeFor(Used));

        const TNearestSearch Search(Palette, Used);
        for (std::size_t K = 0; K < Boxes.size(); ++K)
            for (std::uint32_t I = Boxes[K].Begin; I < Boxes[K].End; ++I) {
                const TShade& S = Shades[I];
                Map[S.Id] = Search.Find(Rgb(S.C[0], S.C[1], S.C[2]), static_cast<int>(Flat + K));
            }
        if (!Pooled) {
            LastColours = Colours;
            LastCounts = Counts;
            LastPalette = Palette;
        }
    }

    void Expand(std::uint8_t* Out, std::size_t Count) const {
        std::uint8_t* const Limit = Out + Count;
        for (const TRun& Run : Runs) {
            const std::uint8_t V = Map[Run.Id];
            // Antialiased text is mostly runs of a few pixels: 16 bytes are
            // stored at once (the next run overwrites the excess), and only a
            // longer run needs memset for the rest, which keeps the branch
            // predictable.
            if (Limit - Out >= 16) {
                const std::uint64_t Bytes = 0x0101010101010101ull * V;
                std::memcpy(Out, &Bytes, 8);
                std::memcpy(Out + 8, &Bytes, 8);
                if (Run.Length > 16) std::memset(Out + 16, V, Run.Length - 16);
            } else {
                std::memset(Out, V, Run.Length);
            }
            Out += Run.Length;
        }
    }

    // Drops the tables that only a very large picture needed.
    void Trim() {
        if (Runs.capacity() > (std::size_t{1} << 20)) Runs = {};
        if (Pooled) {
            CellSums = {};
            Counts = {};
            Map = {};
        }
    }
};

TColorReduction::TColorReduction() : FTables(std::make_unique<TTables>()) {}
TColorReduction::~TColorReduction() = default;

void TColorReduction::Reduce(std::span<const std::uint32_t> Pixels, std::vector<std::uint32_t>& Palette,
                             std::vector<std::uint8_t>& Indices) {
    if (Pixels.empty()) {
        Palette.clear();
        Indices.clear();
        return;
    }
    TTables& R = *FTables;
    R.Reset();
    R.Scan(Pixels.data(), Pixels.size());
    R.Reduce(Palette);
    Indices.resize(Pixels.size());
    R.Expand(Indices.data(), Pixels.size());
    R.Trim();
}

}  // namespace pv
