#pragma once
// The picture size a chart request asks for (width, height and scale URL
// parameters), checked the same way wherever charts are drawn on request:
// the chart server and the designer's preview; and the background it asks
// for.

#include <optional>
#include <string>
#include <string_view>

#include "component/Norq_Plotvane.h"
#include "platform/vcl/Color.h"

namespace plotvane {

struct TPictureSize {
    int Width = 0;
    int Height = 0;
    double Scale = 1;
};

// Reads Name=Value into Size when Name is "width", "height", "scale" or
// "devicePixelRatio" (the scale under the name browsers give it). Returns
// std::nullopt for any other name; otherwise an empty text when the value
// is taken, or the refusal naming the parameter, the value (see
// QuoteValue) and what it allows.
std::optional<std::string> ReadSizeParam(std::string_view Name, std::string_view Value, TPictureSize& Size);

// The background a request asks for with background=: the chart's own
// (neither set), a colour of its own for the chart's Color, or none at all.
struct TPictureBackground {
    std::optional<pv::TColor> Color;
    bool Transparent = false;
};

// Reads background=Value: "transparent", or a colour in any spelling
// pv::StringToColor reads (clRed, red, #ff0000, #f00, $000000FF). Returns
// an empty text when the value is taken, or the refusal naming the value
// and what it allows.
std::string ReadBackgroundParam(std::string_view Value, TPictureBackground& Background);

// The picture format for a chart address without an extension, from the
// request's Accept header: "avif", "webp" or "png", whichever the header
// gives the highest q-value, in that order when they tie. AVIF and WebP
// count only where the header names them (image/avif, image/webp), since
// browsers that cannot show them send */* too; PNG also where image/* or
// */* covers it. When the header allows none of the three (or is absent or
// empty), "png", the format every browser shows.
std::string_view NegotiateFormat(std::string_view Accept);

// Reads quality=Value, a whole number in 1..100. Returns an empty text when
// the value is taken, or the refusal naming the value and what it allows.
std::string ReadQualityParam(std::string_view Value, int& Quality);

// Reads theme=Value: "classic", "modern" or "dark". Returns an empty text
// when the value is taken, or the refusal naming the value and the allowed
// ones.
std::string ReadThemeParam(std::string_view Value, Norq_Plotvane::TPlotvaneTheme& Theme);

// The refusal for a size whose scaled picture has too many pixels or too
// long a side; empty when it fits.
std::string CheckPictureSize(const TPictureSize& Size);

// A client's value for a message: in quotes, and cut to its first 64 bytes
// (at a character's start) with its length said when it is longer, so that
// an answer never repeats a long value in full.
std::string QuoteValue(std::string_view Value);

}  // namespace plotvane
