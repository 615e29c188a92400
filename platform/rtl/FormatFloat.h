#pragma once
// FormatFloat: a number written by a picture such as "#,##0.00".
//
// The picture language:
//   0          a digit, always written (leading or trailing zeros pad to it)
//   #          a digit, written only when significant
//   .          the decimal point (the first one; later ones are literal)
//   ,          thousands grouping of the integer digits, wherever it stands
//   E+0 E-0    an exponent (also e+, e-): "+" always writes the sign, "-" only
//              a minus; the zeros after it are the exponent's minimum digits
//   '..' ".."  literal text (an unterminated quote runs to the section's end)
//   ;          separates up to three sections: positive;negative;zero
//   anything else is written as it stands.
// The negative section writes the absolute value (its own literals carry the
// sign); with one section a negative number gets a leading "-". An empty
// negative or zero section falls back to the positive one. A number that
// rounds to zero is written by the zero section, without a minus sign.
// An empty picture writes the number in general format with up to 15
// significant digits. Rounding is half away from zero on the number's
// shortest decimal form, so 0.125 with "0.00" is "0.13". The output uses "."
// and "," unless separators are given; the process's C locale never enters
// into it. Infinities and NaN are written as "INF",
// "-INF" and "NAN". No picture is an error: a malformed one is written as
// literally as possible.

#include <string>
#include <string_view>

namespace pv {

// What the picture's "." and "," are written as: a locale's decimal and
// thousands separators (UTF-8, such as "," and "." in German or "," and a
// narrow no-break space in French).
struct TNumberSeparators {
    std::string Decimal = ".";
    std::string Thousands = ",";
};

std::string FormatFloat(std::string_view Format, double Value);
std::string FormatFloat(std::string_view Format, double Value, const TNumberSeparators& Separators);

}  // namespace pv
