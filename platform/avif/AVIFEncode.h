#pragma once
// AVIF files made from a bitmap through libavif (AV1 still pictures).
//
// Colour is kept at full resolution (4:4:4, like the JPEG pictures), so thin
// coloured lines and small text stay sharp; a bitmap with alpha keeps it.
// Each call encodes anew and keeps nothing, so calls on different threads
// share nothing.

#include <cstdint>
#include <vector>

#include "platform/vcl/Bitmap.h"

namespace pv {

struct TAVIFOptions {
    // The default quality: a chart's text and edges show no ringing at
    // ordinary viewing. (A chart's flat colours pack better still in a
    // lossless WebP; AVIF is for clients that prefer it.)
    static constexpr int DefaultQuality = 60;
    // 1..100; 100 is the finest quantizer (near lossless).
    int Quality = DefaultQuality;
};

// The AVIF file's bytes. An empty bitmap, a quality outside 1..100 or a
// libavif failure raises EInvalidGraphic naming the size and the reason.
std::vector<std::uint8_t> EncodeAVIF(const TBitmap& Bitmap, const TAVIFOptions& Options = {});

}  // namespace pv
