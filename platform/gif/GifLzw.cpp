#include "platform/gif/GifLzw.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "platform/rtl/Exception.h"

namespace pv {

namespace {

// GIF codes have at most 12 bits. Like giflib, the table is cleared when the
// next code to assign would be 4095, so no decoder ever sees a full table.
constexpr std::uint32_t ClearAtCode = 4095;
constexpr int MaxCodeBits = 12;
constexpr std::uint32_t MaxStringLength = 1u << MaxCodeBits;

// The string table: entries (prefix code << 8 | index) << 12 | code. A key
// has 20 bits and a code 12, so an entry fills 32 bits; the empty mark would
// be the key of prefix 4095, a code never assigned. 16 384 entries (64 KB)
// keep the load below a quarter, so that most lookups end at their first
// slot: measured on charts, that beats a table half the size that fits the
// first-level cache, because each further probe is a mispredicted branch.
constexpr int TableBits = 14;
constexpr std::uint32_t TableSize = 1u << TableBits;
constexpr std::uint32_t TableMask = TableSize - 1;
constexpr std::uint32_t EmptyEntry = 0xFFFFFFFFu;

// The number of pixels from P on (at most N) that equal C: eight at a time,
// with no separate loop for the last few, since a run on a chart ends
// anywhere. Bytes past the end read as differing from C.
std::size_t RunLength(const std::uint8_t* P, std::size_t N, std::uint8_t C) {
    const std::uint64_t Pattern = 0x0101010101010101ull * C;
    for (std::size_t R = 0;; R += 8) {
        std::uint64_t Word = ~Pattern;
        if (N - R >= 8) [[likely]]
            std::memcpy(&Word, P + R, 8);
        else if (R < N)
            std::memcpy(&Word, P + R, N - R);
        if (const std::uint64_t Diff = Word ^ Pattern; Diff != 0) {
            if constexpr (std::endian::native == std::endian::little)
                return R + static_cast<std::size_t>(std::countr_zero(Diff)) / 8;
            else
                return R + static_cast<std::size_t>(std::countl_zero(Diff)) / 8;
        }
    }
}

// Stores the low 32 bits least significant byte first.
void Store32(std::uint8_t* P, std::uint32_t Word) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(P, &Word, 4);
    } else {
        for (int K = 0; K < 4; ++K) P[K] = static_cast<std::uint8_t>(Word >> (8 * K));
    }
}

// The bitwise OR of all indices: below 1 << Bits exactly when every index is.
std::uint8_t OrOfAll(const std::uint8_t* P, std::size_t N) {
    std::uint64_t Acc = 0;
    std::size_t I = 0;
    for (; I + 8 <= N; I += 8) {
        std::uint64_t Word;
        std::memcpy(&Word, P + I, 8);
        Acc |= Word;
    }
    std::uint8_t Or = 0;
    for (int Shift = 0; Shift < 64; Shift += 8) Or |= static_cast<std::uint8_t>(Acc >> Shift);
    for (; I < N; ++I) Or |= P[I];
    return Or;
}

}  // namespace

struct TGifLzwEncoder::TState {
    std::uint32_t Table[TableSize];
    // Per index c: the length of the longest string c c ... c in the table
    // (at least 1, the root code c itself). The strings of c that are in the
    // table are always exactly those of lengths 1 .. RunMax[c], since c^(k+1)
    // can only be added while c^k is the current string.
    std::uint16_t RunMax[256];
    // Per code: the child last found or added in the table, as index << 12
    // | child code (EmptyEntry when none). A string is mostly followed by
    // the same index as the last time (flat areas, rows like the one
    // above), and this 16 KB array answers that from the first-level cache
    // one step sooner than the hash table, whose probe is what each pixel
    // waits for. Children are only ever added until the table is cleared,
    // so an entry stays true until then.
    std::uint32_t LastChild[MaxStringLength];
    // Per index c, the code of c repeated K times at [c * MaxStringLength + K]
    // for K in 2 .. RunMax[c]. Only entries up to RunMax are ever read, so
    // the table is neither cleared nor initialised: pages the pictures never
    // reach (indices without long runs) are never touched.
    std::unique_ptr<std::uint16_t[]> RunCodes{new std::uint16_t[256 * MaxStringLength]};
    // The output, sized for the worst case but never cleared: only the
    // bytes written are touched, so a large buffer costs the pages the codes
    // fill, not its size.
    std::unique_ptr<std::uint8_t[]> Out;
    std::size_t OutSize = 0;

    void ClearTables() {
        std::fill(std::begin(Table), std::end(Table), EmptyEntry);
        std::fill(std::begin(RunMax), std::end(RunMax), std::uint16_t{1});
        std::fill(std::begin(LastChild), std::end(LastChild), EmptyEntry);
    }
};

TGifLzwEncoder::TGifLzwEncoder() : FState(std::make_unique<TState>()) {}
TGifLzwEncoder::~TGifLzwEncoder() = default;

void TGifLzwEncoder::Trim() {
    if (FState->OutSize > (std::size_t{1} << 22)) {
        FState->Out.reset();
        FState->OutSize = 0;
    }
}

std::span<const std::uint8_t> TGifLzwEncoder::Encode(const std::uint8_t* const In, const std::size_t Count,
                                                     const int MinCodeSize) {
    if (MinCodeSize < 2 || MinCodeSize > 8)
        throw EInvalidGraphic("GIF LZW: minimum code size " + std::to_string(MinCodeSize) +
                              " is out of range 2..8");
    if (Count == 0) throw EInvalidGraphic("GIF LZW: no pixels to encode");
    if (MinCodeSize < 8) {
        if (const std::uint8_t Or = OrOfAll(In, Count); Or >> MinCodeSize) {
            const std::uint8_t* Bad = std::find_if(In, In + Count, [&](std::uint8_t V) { return V >> MinCodeSize; });
            throw EInvalidGraphic("GIF LZW: index " + std::to_string(*Bad) + " at pixel " +
                                  std::to_string(Bad - In) + " does not fit the minimum code size " +
                                  std::to_string(MinCodeSize));
        }
    }

    TState& S = *FState;
    const std::uint32_t ClearCode = 1u << MinCodeSize;
    const std::uint32_t EndCode = ClearCode + 1;

    // Every pixel emits at most one code, a clear follows at least 3 837
    // emitted codes, and each code has at most 12 bits; 8 bytes of slack take
    // the last 32-bit store.
    const std::size_t MaxCodes = Count + Count / 2048 + 8;
    const std::size_t MaxBytes = (MaxCodes * MaxCodeBits + 7) / 8 + 8;
    if (S.OutSize < MaxBytes) {
        S.Out.reset();
        S.OutSize = 0;
        S.Out.reset(new std::uint8_t[MaxBytes]);
        S.OutSize = MaxBytes;
    }
    std::uint8_t* Put = S.Out.get();

    std::uint64_t Bits = 0;  // pending bits, least significant first
    int BitCount = 0;
    int Width = MinCodeSize + 1;
    std::uint32_t Limit = 1u << Width;  // the first code that needs Width + 1 bits
    std::uint32_t Next = EndCode + 1;   // the code the next new string gets
    // The smallest Next at which an emitted code needs more than writing:
    // the width grows, or the table is full and is cleared.
    std::uint32_t Watch = Limit;

    // Writes one code. The width grows after the code that was written while
    // the next code to assign no longer fitted, which is where giflib's
    // decoder expects it.
    auto Emit = [&](std::uint32_t Code) {
        Bits |= std::uint64_t{Code} << BitCount;
        BitCount += Width;
        if (BitCount >= 32) {
            Store32(Put, static_cast<std::uint32_t>(Bits));
            Put += 4;
            Bits >>= 32;
            BitCount -= 32;
        }
        if (Next >= Limit) {
            Limit <<= 1;
            ++Width;
            Watch = std::min(Limit, ClearAtCode);
        }
    };
    auto Restart = [&] {
        Emit(ClearCode);
        S.ClearTables();
        Width = MinCodeSize + 1;
        Limit = 1u << Width;
        Watch = Limit;
        Next = EndCode + 1;
    };
    auto Slot = [](std::uint32_t Key) { return (Key * 0x9E3779B1u) >> (32 - TableBits); };

    Emit(ClearCode);
    S.ClearTables();

    // The current string: its code, and when it is one index repeated, that
    // index and the repeat count (RunLength 0 otherwise).
    std::uint32_t Current = In[0];
    std::uint32_t RunIndex = In[0];
    std::uint32_t RunLen = 1;
    std::size_t I = 1;
    while (I < Count) {
        const std::uint32_t Pixel = In[I];
        if (Pixel == RunIndex && RunLen != 0) {
            // The current string is c^K and a run of R more c follows. The
            // greedy parse extends to the longest c^M in the table, emits it,
            // adds c^(M+1) and starts again from c, until the run is used up.
            std::size_t R = RunLength(In + I, Count - I, static_cast<std::uint8_t>(Pixel));
            I += R;
            std::uint16_t* const Codes = S.RunCodes.get() + std::size_t{Pixel} * MaxStringLength;
            std::size_t K = RunLen;
            for (;;) {
                const std::size_t M = S.RunMax[Pixel];
                if (K + R <= M) {
                    K += R;
                    break;
                }
                R -= M - K + 1;
                const std::uint32_t Code = M == 1 ? Pixel : Codes[M];
                Emit(Code);
                if (Next >= ClearAtCode) {
                    Restart();
                } else {
                    const std::uint32_t Key = Code << 8 | Pixel;
                    std::uint32_t H = Slot(Key);
                    while (S.Table[H] != EmptyEntry) H = (H + 1) & TableMask;
                    S.Table[H] = Key << 12 | Next;
                    Codes[M + 1] = static_cast<std::uint16_t>(Next);
                    S.RunMax[Pixel] = static_cast<std::uint16_t>(M + 1);
                    ++Next;
                }
                K = 1;
                if (R == 0) break;
            }
            RunLen = static_cast<std::uint32_t>(K);
            Current = K == 1 ? Pixel : Codes[K];
            continue;
        }
        ++I;
        // The index that follows the current string. While it is the
        // string's last child, the string grows without a hash lookup; a
        // grown string is no run, so the walk takes the next pixel at once.
        std::uint32_t Follow = Pixel;
        if (S.LastChild[Current] >> 12 == Follow) {
            RunLen = 0;
            do {
                Current = S.LastChild[Current] & 0xFFF;
                if (I == Count) goto InputEnded;
                Follow = In[I++];
            } while (S.LastChild[Current] >> 12 == Follow);
        }
        // The current string followed by a different index (or a string that
        // is no run): never a run string, so only the table is involved.
        const std::uint32_t Key = Current << 8 | Follow;
        std::uint32_t H = Slot(Key);
        std::uint32_t Entry = S.Table[H];
        while (Entry != EmptyEntry && Entry >> 12 != Key) {
            H = (H + 1) & TableMask;
            Entry = S.Table[H];
        }
        // Whether the longer string is known is as good as random on
        // antialiased pixels, so the rest is free of branches on it: a known
        // string emits no bits and stores its own entry back.
        const std::uint32_t New = Entry == EmptyEntry;
        if ((New & static_cast<std::uint32_t>(Next >= Watch)) != 0) [[unlikely]] {
            // The code width grows or the table is full.
            Emit(Current);
            if (Next >= ClearAtCode) {
                Restart();
            } else {
                S.Table[H] = Key << 12 | Next;
                ++Next;
            }
            Current = Follow;
            RunIndex = Follow;
            RunLen = 1;
            continue;
        }
        Bits |= std::uint64_t{Current & (0u - New)} << BitCount;
        BitCount += Width & -static_cast<int>(New);
        Store32(Put, static_cast<std::uint32_t>(Bits));
        const bool Full = BitCount >= 32;
        Put += Full ? 4 : 0;
        Bits = Full ? Bits >> 32 : Bits;
        BitCount -= Full ? 32 : 0;
        S.Table[H] = New ? (Key << 12 | Next) : Entry;
        S.LastChild[Current] = Follow << 12 | (New ? Next : Entry & 0xFFF);
        Next += New;
        Current = New ? Follow : Entry & 0xFFF;
        RunIndex = Follow;
        RunLen = New;
    }
InputEnded:
    Emit(Current);
    Emit(EndCode);
    while (BitCount > 0) {
        *Put++ = static_cast<std::uint8_t>(Bits);
        Bits >>= 8;
        BitCount -= 8;
    }
    return {S.Out.get(), static_cast<std::size_t>(Put - S.Out.get())};
}

}  // namespace pv
