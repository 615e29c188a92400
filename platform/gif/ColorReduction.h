#pragma once
// TColorReduction: turns 24-bit pixels into a palette of at most 256 colours
// and one palette index per pixel, as an indexed picture format needs.
//
// A picture of at most 256 distinct colours keeps them all, in order of
// first appearance, so every pixel maps back to its exact colour. A picture
// of more keeps its most frequent colours exact (the flat background,
// series, text and grid colours of a chart), spends the remaining palette
// entries on shades found by a weighted median cut over the rarer colours
// (mostly antialiased edges), and maps each rare colour to its nearest
// palette entry by Euclidean RGB distance. There is no dithering, so flat
// areas stay flat. Past 65 536 distinct colours (photographs) further new
// colours are pooled in cells of 5 bits a channel, which bounds the tables.
//
// The result depends on the pixels alone: the same pixels give the same
// palette and indices, whatever the object reduced before.
//
// The object keeps its tables between reductions, so a picture reduced
// again at every render allocates nothing in the steady state; when a
// picture has exactly the colours and pixel counts of the previous one, its
// palette is reused instead of computed again. One object serves one thread
// at a time.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace pv {

class TColorReduction {
public:
    TColorReduction();
    ~TColorReduction();
    TColorReduction(const TColorReduction&) = delete;
    TColorReduction& operator=(const TColorReduction&) = delete;

    // Reduces Pixels (0x??RRGGBB: the top byte is ignored, as Cairo leaves it
    // undefined in RGB24). Palette receives the entries as 0x00RRGGBB, a
    // power of two from 2 to 256 of them (entries past the colours used are
    // 0); Indices receives one palette index per pixel, in the pixels'
    // order. No pixels give an empty palette and no indices.
    void Reduce(std::span<const std::uint32_t> Pixels, std::vector<std::uint32_t>& Palette,
                std::vector<std::uint8_t>& Indices);

private:
    struct TTables;
    std::unique_ptr<TTables> FTables;
};

}  // namespace pv
