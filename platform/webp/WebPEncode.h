#pragma once
// WebP files made from a bitmap through libwebp.
//
// Lossless by default: the file decodes to exactly the bitmap's pixels. A
// bitmap with alpha keeps it (the colour divided by the alpha again, as the
// file stores it). Each call encodes anew and keeps nothing, so calls on
// different threads share nothing.

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/vcl/Bitmap.h"

namespace pv {

struct TWebPOptions {
    // Empty: lossless. 1..100: lossy at that quality (libwebp's scale).
    std::optional<int> Quality;
};

// The WebP file's bytes. An empty bitmap, a quality outside 1..100 or a
// libwebp failure raises EInvalidGraphic naming the size and the reason.
std::vector<std::uint8_t> EncodeWebP(const TBitmap& Bitmap, const TWebPOptions& Options = {});

}  // namespace pv
