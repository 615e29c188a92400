#pragma once
// LZW compression of an indexed picture into a GIF image's code stream.
//
// The codes are the ones giflib's own compressor chooses for the same
// indices, bit for bit: a clear code first, code widths growing from
// MinCodeSize + 1 to 12 bits, a clear code whenever the next code to assign
// would be 4095, then the last string's code and the end code, packed least
// significant bit first. Only the speed differs:
//   - runs of one index, which make up most of a chart (background, bars,
//     grid lines), cost a few steps per emitted code instead of a table
//     lookup per pixel: the codes of the strings c, cc, ccc, ... are kept per
//     index c, so the encoder jumps straight to the longest one a run covers;
//   - the other pixels use an open-addressing table kept sparse enough that
//     a lookup rarely probes twice, with no branch on whether the string
//     was known, and codes are written 32 bits at a time.
//
// One encoder serves one thread at a time; its tables are reused between
// pictures, so encoding allocates nothing in the steady state.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace pv {

class TGifLzwEncoder {
public:
    TGifLzwEncoder();
    ~TGifLzwEncoder();
    TGifLzwEncoder(const TGifLzwEncoder&) = delete;
    TGifLzwEncoder& operator=(const TGifLzwEncoder&) = delete;

    // The packed codes for Count indices (Count >= 1), each below
    // 1 << MinCodeSize, with MinCodeSize from 2 to 8 as the GIF file states
    // it. The result has no sub-block lengths and stays valid until the next
    // call. A MinCodeSize outside 2..8, an empty input or an index of
    // 1 << MinCodeSize or more raises EInvalidGraphic, as such a stream
    // would not decode to the picture.
    std::span<const std::uint8_t> Encode(const std::uint8_t* Indices, std::size_t Count, int MinCodeSize);

    // Drops the output buffer when only a very large picture needed it
    // (more than 4 MB, about 2.8 million pixels).
    void Trim();

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

}  // namespace pv
