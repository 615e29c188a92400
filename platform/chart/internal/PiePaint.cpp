// Pies: flat, or tilted with a rim in 3D, negative slices striped.

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/chart/Chart.h"
#include "platform/chart/ChartParts.h"
#include "platform/chart/internal/ChartColors.h"
#include "platform/chart/internal/SeriesGeometry.h"
#include "platform/chart/internal/SeriesPaint.h"

namespace pv {

namespace {

// A repeating tile of light diagonal stripes, the sign of a negative
// slice; one per thread, like the text engine, since patterns are not
// shared between threads here.
cairo_pattern_t* StripePattern() {
    struct TTile {
        cairo_pattern_t* Pattern = nullptr;
        TTile() {
            constexpr int Size = 6;
            cairo_surface_t* S = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, Size, Size);
            cairo_t* Cr = cairo_create(S);
            cairo_set_source_rgba(Cr, 1, 1, 1, 0.55);
            cairo_set_line_width(Cr, 2);
            // The diagonal and its two wrapped ends, so tiles join up.
            for (double Off : {0.0, -double(Size), double(Size)}) {
                cairo_move_to(Cr, -1 + Off, Size + 1);
                cairo_line_to(Cr, Size + 1 + Off, -1);
            }
            cairo_stroke(Cr);
            cairo_destroy(Cr);
            Pattern = cairo_pattern_create_for_surface(S);
            cairo_surface_destroy(S);
            cairo_pattern_set_extend(Pattern, CAIRO_EXTEND_REPEAT);
        }
        ~TTile() { cairo_pattern_destroy(Pattern); }
    };
    thread_local TTile Tile;
    return Tile.Pattern;
}

// Fills the current path with the stripes, and clears it.
void FillStripes(TPainter& P) {
    cairo_set_source(P.Cr(), StripePattern());
    P.FillPath();
}


// The outline of the slice from A0 to A1 of an ellipse centred at (CX, CY)
// with radii RX, RY.
void SlicePath(cairo_t* Cr, double CX, double CY, double RX, double RY, double A0, double A1) {
    cairo_matrix_t M;
    cairo_get_matrix(Cr, &M);
    cairo_translate(Cr, CX, CY);
    cairo_scale(Cr, RX, RY);
    cairo_move_to(Cr, 0, 0);
    cairo_arc(Cr, 0, 0, 1, A0, A1);
    cairo_close_path(Cr);
    cairo_set_matrix(Cr, &M);
}

// Adds to the path the part of the rim of the ellipse (CX, CY, R, RY) below
// the arc from From to To, Rim pixels deep.
void RimPath(cairo_t* Cr, double CX, double CY, double R, double RY, double Rim, double From, double To) {
    const int Steps = std::max(2, static_cast<int>((To - From) / (M_PI / 48)) + 1);
    for (int K = 0; K <= Steps; ++K) {
        const double A = From + (To - From) * K / Steps;
        const double X = CX + R * std::cos(A), Y = CY + RY * std::sin(A);
        if (K == 0)
            cairo_move_to(Cr, X, Y);
        else
            cairo_line_to(Cr, X, Y);
    }
    for (int K = Steps; K >= 0; --K) {
        const double A = From + (To - From) * K / Steps;
        cairo_line_to(Cr, CX + R * std::cos(A), CY + RY * std::sin(A) + Rim);
    }
    cairo_close_path(Cr);
}


}  // namespace

void PaintPie(TPainter& P, const TChartLayout& L, const TPlotSeries& S) {
    const double R = L.PieRadius;
    if (R < 1) return;
    cairo_t* Cr = P.Cr();
    const double CX = L.PieCenter.X, CY = L.PieCenter.Y, RY = R * L.PieTilt, Rim = L.PieRim;
    const std::vector<TSlice> All = Slices(S);
    auto Negative = [&](const TSlice& Sl) { return S.Series->GetYValue(Sl.Index) < 0; };
    // Each face is drawn in runs of slices of one colour, one fill per run;
    // then the negative slices' stripes in one fill.
    auto Faces = [&](auto AddPath, auto ColourOf) {
        TColor Current = clNone;
        bool Pending = false;
        for (const TSlice& Sl : All) {
            const TColor C = ColourOf(Sl);
            if (Pending && C != Current) {
                P.FillPath();
                Pending = false;
            }
            if (!Pending) P.SetColor(C);
            Current = C;
            Pending = AddPath(Sl) || Pending;
        }
        if (Pending) P.FillPath();
        cairo_new_path(Cr);
        bool Any = false;
        for (const TSlice& Sl : All)
            if (Negative(Sl)) Any = AddPath(Sl) || Any;
        if (Any)
            FillStripes(P);
        else
            cairo_new_path(Cr);
    };
    if (Rim > 0) {
        // The rim shows below the front half of the pie (angles 0..pi, y
        // down), darker than the top.
        Faces(
            [&](const TSlice& Sl) {
                bool Added = false;
                for (double Turn : {0.0, 2 * M_PI}) {
                    const double From = std::max(Sl.A0, Turn), To = std::min(Sl.A1, Turn + M_PI);
                    if (To <= From) continue;
                    RimPath(Cr, CX, CY, R, RY, Rim, From, To);
                    Added = true;
                }
                return Added;
            },
            [&](const TSlice& Sl) { return Shade(P.Plain(PointColor(S, Sl.Index)), 0.7); });
    }
    Faces(
        [&](const TSlice& Sl) {
            SlicePath(Cr, CX, CY, R, RY, Sl.A0, Sl.A1);
            return true;
        },
        [&](const TSlice& Sl) { return PointColor(S, Sl.Index); });
    // Edges in the chart's background colour (white without one) between
    // neighbouring slices of one colour, so they still part: on a dark
    // background a white seam would stand out as a line of its own.
    if (All.size() > 1) {
        bool Any = false;
        for (std::size_t K = 0; K < All.size(); ++K) {
            const TSlice& Before = All[(K + All.size() - 1) % All.size()];
            if (PointColor(S, Before.Index) != PointColor(S, All[K].Index)) continue;
            cairo_move_to(Cr, CX, CY);
            cairo_line_to(Cr, CX + R * std::cos(All[K].A0), CY + RY * std::sin(All[K].A0));
            Any = true;
        }
        if (Any) {
            TColor Seam = clWhite;
            if (const TCustomChart* Chart = S.Look->GetParentChart())
                if (!Chart->GetGradient()->GetVisible() && Chart->GetColor() != clNone && Chart->GetColor() != clDefault)
                    Seam = Chart->GetColor();
            P.SetColor(Seam);
            cairo_set_line_width(Cr, 1);
            P.StrokePath();
        }
    }
}

void PaintNegativeStripes(TPainter& P, const TRectF& R) {
    cairo_rectangle(P.Cr(), R.X, R.Y, R.W, R.H);
    FillStripes(P);
}

}  // namespace pv
