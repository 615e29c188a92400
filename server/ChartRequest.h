#pragma once
// The picture size a chart request asks for (width, height and scale URL
// parameters), checked the same way wherever charts are drawn on request:
// the chart server and the designer's preview.

#include <optional>
#include <string>
#include <string_view>

namespace plotvane {

struct TPictureSize {
    int Width = 0;
    int Height = 0;
    double Scale = 1;
};

// Reads Name=Value into Size when Name is "width", "height" or "scale".
// Returns std::nullopt for any other name; otherwise an empty text when
// the value is taken, or the refusal naming the parameter, the value (see
// QuoteValue) and what it allows.
std::optional<std::string> ReadSizeParam(std::string_view Name, std::string_view Value, TPictureSize& Size);

// The refusal for a size whose scaled picture has too many pixels or too
// long a side; empty when it fits.
std::string CheckPictureSize(const TPictureSize& Size);

// A client's value for a message: in quotes, and cut to its first 64 bytes
// (at a character's start) with its length said when it is longer, so that
// an answer never repeats a long value in full.
std::string QuoteValue(std::string_view Value);

}  // namespace plotvane
