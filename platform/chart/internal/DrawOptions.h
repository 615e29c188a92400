#pragma once
// How a chart is drawn beyond what the chart itself says. The defaults are
// the pictures every caller gets; the other settings exist to compare
// pictures and costs against them (the chart tests and benchmarks).

#include <cstdint>

namespace pv {

// Which points of a series are drawn (see PointReduction.h).
enum class TPointDetail : std::uint8_t {
    pdShown,  // those that show: points hidden under others drawn the same way are left out
    pdEvery,  // every point, one by one
};

// How the edges of shapes are drawn (text is antialiased either way).
enum class TEdges : std::uint8_t {
    edSmooth,  // antialiased
    edHard,    // each pixel in or out of a shape, by its centre
};

struct TDrawOptions {
    TPointDetail Points = TPointDetail::pdShown;
    TEdges Edges = TEdges::edSmooth;
};

}  // namespace pv
