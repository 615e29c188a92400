#include "platform/chart/internal/MarkPlacement.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/chart/internal/ChartColors.h"
#include "platform/chart/internal/SeriesGeometry.h"

namespace pv {

namespace {

constexpr double MarkPadX = TMarkSpacing::PadX, MarkPadY = TMarkSpacing::PadY, MarkOffset = TMarkSpacing::Offset,
                 PieLeader = TMarkSpacing::PieLeader;
constexpr TColor MarkFrameColor = RGB(0x9A, 0x9A, 0x9A);

// Boxes filed under the cells of a coarse grid that they cover, so that a
// box is tested only against the boxes near it: placing or checking a mark
// costs the same however many there are.
class TBoxGrid {
public:
    void Add(const TRectF& Box, std::size_t Id) {
        ForCells(Box, [&](std::uint64_t Key) {
            FCells[Key].push_back(Id);
            return false;
        });
    }
    // Whether Test(Id) holds for one of the boxes that share a cell with R.
    template <class TTest>
    bool Any(const TRectF& R, TTest Test) const {
        return ForCells(R, [&](std::uint64_t Key) {
            const auto It = FCells.find(Key);
            if (It == FCells.end()) return false;
            for (std::size_t Id : It->second)
                if (Test(Id)) return true;
            return false;
        });
    }

private:
    static constexpr double CellSize = 32;
    static std::int64_t Cell(double V) {
        return static_cast<std::int64_t>(std::clamp(std::floor(V / CellSize), -1e6, 1e6));
    }
    template <class TVisit>
    static bool ForCells(const TRectF& R, TVisit Visit) {
        for (std::int64_t Y = Cell(R.Y); Y <= Cell(R.Bottom()); ++Y)
            for (std::int64_t X = Cell(R.X); X <= Cell(R.Right()); ++X)
                if (Visit(static_cast<std::uint64_t>(Y + (1 << 21)) << 32 | static_cast<std::uint64_t>(X + (1 << 21))))
                    return true;
        return false;
    }
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> FCells;
};

// Where the marks of the pie go: outside the circle at each slice's middle,
// on its side of the pie; marks that would overlap on one side are moved
// apart vertically as far as the area allows.
void PlacePieMarks(const TChartLayout& L, const TPlotSeries& S, TTextEngine& Text, const TTextFont& Font,
                   std::vector<TPlacedMark>& Out) {
    const double R = L.PieRadius, RY = R * L.PieTilt;
    if (R < 1) return;
    const double CX = L.PieCenter.X, CY = L.PieCenter.Y;
    const int MaxW = static_cast<int>(std::clamp(L.MarksArea.W * 0.3, 40.0, 200.0));
    std::vector<TPlacedMark> Side[2];
    for (const TSlice& Sl : Slices(S)) {
        const double A = Sl.Mid();
        const double Cos = std::cos(A), Sin = std::sin(A);
        TPlacedMark M;
        M.Text = Text.Layout(Font, MarkText(S, Sl.Index), MaxW);
        M.Index = Sl.Index;
        const double BW = std::ceil(M.Text->Width() + 2 * MarkPadX), BH = std::ceil(M.Text->Height() + 2 * MarkPadY);
        const double Down = Sin > 0 ? L.PieRim : 0;
        M.From = {CX + R * Cos, CY + RY * Sin + Down};
        const TPointF To{CX + (R + PieLeader) * Cos, CY + (RY + PieLeader) * Sin + Down};
        const bool Right = Cos >= 0;
        M.Box = {std::round(Right ? To.X : To.X - BW), std::round(To.Y - BH / 2), BW, BH};
        M.Leader = true;
        Side[Right].push_back(std::move(M));
    }
    const TRectF& Area = L.MarksArea;
    for (auto& List : Side) {
        std::sort(List.begin(), List.end(), [](const TPlacedMark& A, const TPlacedMark& B) { return A.Box.Y < B.Box.Y; });
        // Push down what overlaps the mark above, then pull up from the
        // bottom of the area what was pushed out of it.
        for (std::size_t I = 0; I < List.size(); ++I) {
            TRectF& B = List[I].Box;
            B.Y = std::max(B.Y, Area.Y);
            if (I > 0) B.Y = std::max(B.Y, List[I - 1].Box.Bottom() + 1);
        }
        for (std::size_t I = List.size(); I-- > 0;) {
            TRectF& B = List[I].Box;
            const double Limit = I + 1 < List.size() ? List[I + 1].Box.Y - 1 : Area.Bottom();
            B.Y = std::min(B.Y, Limit - B.H);
        }
        for (TPlacedMark& M : List) {
            M.Box.X = std::clamp(M.Box.X, Area.X, std::max(Area.X, Area.Right() - M.Box.W));
            // Still outside the area: no room for all of them.
            if (M.Box.Y < Area.Y - 0.5) continue;
            Out.push_back(std::move(M));
        }
    }
}

// Where the marks of an axis series go: beyond the end of each bar (inside
// it when the end is at the edge of the plot area), above each point. A mark
// that would overlap one placed before is moved past its neighbour when
// there is room, and left out when there is none.
void PlaceMarks(const TChartLayout& L, const TChartData& D, const TPlotSeries& S, TTextEngine& Text,
                const TTextFont& Font, std::vector<TPlacedMark>& Out) {
    // A mark may be a little wider than its slot, never wider than 200 pixels.
    const double Slot = L.SlotWidth();
    const double Along = L.Horizontal ? L.Plot.H : L.Plot.W;
    const int MaxW = static_cast<int>(std::clamp(Slot * 2.5, 60.0, std::max(60.0, std::min(200.0, L.Horizontal ? 200.0 : Along))));
    // Marks stay over the plot, clear of the axis labels and the legend.
    const double MinX = L.Plot.X, MaxX = L.Plot.Right() + L.Depth + 4;
    const double MinY = L.MarksTop, MaxY = L.Plot.Bottom();
    const double Lift = L.Depth;
    const int N = S.Series->Count();
    // With slots narrower than a mark could ever be, the marks that must be
    // skipped are skipped without shaping their text.
    const bool Dense = Slot < 4;
    const double MinHalf = L.Horizontal ? MarkPadY + Font.PixelSize * 0.6 : MarkPadX + Font.PixelSize * 0.25;
    const bool Bar = IsBar(S.Kind);
    const std::size_t First = Out.size();
    // The marks of the series placed so far, each tested against the ones
    // near it.
    TBoxGrid Placed;
    auto Clear = [&](const TRectF& Box) {
        return !Placed.Any(Box, [&](std::size_t K) { return Overlap(Box, Out[K].Box); });
    };
    // In a dense series, around a point whose mark found no room, the
    // points within a mark's size cannot be told apart from it and would
    // find none either: they are not tried.
    TBoxGrid Refused;
    std::vector<TRectF> RefusedAround;
    for (int I = 0; I < N; ++I) {
        if (!Drawn(S, I)) continue;
        // (Points on a time axis need not be in order: no skipping there.)
        if (Dense && !L.TimeAxis && Out.size() > First) {
            const TRectF& Last = Out.back().Box;
            const double Need = (L.Horizontal ? Last.Bottom() : Last.Right()) + 2 + MinHalf;
            const int Next = static_cast<int>(std::ceil((Need - L.Categories.SlotLeft(0)) / Slot - 0.5));
            if (Next > I) {
                I = Next - 1;
                continue;
            }
        }
        const TPointF Anchor = L.At(S, I, S.At(I));
        if (Dense && Refused.Any({Anchor.X, Anchor.Y, 0, 0}, [&](std::size_t K) {
                const TRectF& R = RefusedAround[K];
                return Anchor.X > R.X && Anchor.X < R.Right() && Anchor.Y > R.Y && Anchor.Y < R.Bottom();
            }))
            continue;
        TPlacedMark M;
        M.Index = I;
        M.Text = Text.Layout(Font, MarkText(S, I), MaxW);
        const double BW = std::ceil(M.Text->Width() + 2 * MarkPadX), BH = std::ceil(M.Text->Height() + 2 * MarkPadY);
        std::vector<TRectF> Tries;
        if (L.Horizontal) {
            // Beyond the end of the bar or point, left of a negative one.
            double End, CY, Inside = 0;
            bool Negative;
            if (Bar) {
                TBarBox B;
                if (!BarAt(L, D, S, I, B)) B.X0 = B.X1 = std::round(L.ValueMap.ToPixel(BarOrigin(L)));
                if (B.Bottom - B.Top < 1) B.Top = B.Bottom = L.Across(S, I);
                Negative = B.Negative;
                End = (Negative ? B.X0 : B.X1) + Lift / 2;
                CY = (B.Top + B.Bottom) / 2 - Lift / 2;
                Inside = B.X1 - B.X0;
            } else {
                const TPointF A = L.At(S, I, S.At(I));
                Negative = S.Series->GetYValue(I) < BarOrigin(L);
                End = A.X + (Negative ? -1 : 1) * (S.Pointer ? S.Pointer->GetHorizSize() : 0);
                CY = A.Y;
            }
            TRectF Box{std::round(Negative ? End - MarkOffset - BW : End + MarkOffset), std::round(CY - BH / 2), BW, BH};
            if (!Negative && Box.Right() > L.MarksArea.Right() && Inside > 0) Box.X = std::round(End - MarkOffset - BW);
            if (Negative && Box.X < L.Plot.X && Inside > 0) Box.X = std::round(End + MarkOffset);
            Box.X = std::clamp(Box.X, L.Plot.X, std::max(L.Plot.X, L.MarksArea.Right() - BW));
            Box.Y = std::clamp(Box.Y, L.Panel.Y, std::max(L.Panel.Y, L.Panel.Bottom() - BH));
            Tries.push_back(Box);
            // Moved past the neighbour it would overlap, sideways.
            if (Out.size() > First) {
                TRectF Past = Box;
                Past.X = Out.back().Box.Right() + 2;
                if (Past.Right() <= L.MarksArea.Right()) Tries.push_back(Past);
            }
        } else {
            double X, Y;
            bool Below = false;
            double Inside = 0;  // the way into the bar, when a mark must go there
            double Under = 0;   // where a mark below the point would start
            if (Bar) {
                TBarBox B;
                if (!BarAt(L, D, S, I, B)) B.Top = B.Bottom = std::round(L.ValueMap.ToPixel(BarOrigin(L)));
                X = (B.X0 + B.X1) / 2 + Lift / 2;
                Below = B.Negative;
                Y = (Below ? B.Bottom : B.Top) - Lift / 2;
                Inside = B.Bottom - B.Top;
            } else {
                const TPointF A = L.At(S, I, S.At(I));
                const double VS = S.Pointer ? S.Pointer->GetVertSize() : 0;
                X = A.X;
                Y = A.Y - VS;
                Under = A.Y + VS + MarkOffset;
            }
            TRectF Box{std::round(X - BW / 2), std::round(Below ? Y + MarkOffset : Y - MarkOffset - BH), BW, BH};
            // A mark that would leave the plot area goes inside its bar.
            if (!Below && Box.Y < MinY && Inside > 0) Box.Y = std::round(Y + MarkOffset);
            if (Below && Box.Bottom() > MaxY && Inside > 0) Box.Y = std::round(Y - MarkOffset - BH);
            Box.X = std::clamp(Box.X, MinX, std::max(MinX, MaxX - BW));
            Box.Y = std::clamp(Box.Y, L.Panel.Y, std::max(L.Panel.Y, L.Panel.Bottom() - BH));
            Tries.push_back(Box);
            if (Out.size() > First) {
                // Above the neighbour it would overlap, or below its point.
                TRectF Up = Box;
                Up.Y = Out.back().Box.Y - BH - 1;
                if (Up.Y >= MinY) Tries.push_back(Up);
                if (!Bar) {
                    TRectF Down = Box;
                    Down.Y = std::round(Under);
                    if (Down.Bottom() <= MaxY) Tries.push_back(Down);
                }
            }
        }
        bool Found = false;
        for (const TRectF& Box : Tries)
            if (Clear(Box)) {
                M.Box = Box;
                Placed.Add(Box, Out.size());
                Out.push_back(std::move(M));
                Found = true;
                break;
            }
        if (Dense && !Found) {
            Refused.Add({Anchor.X - BW, Anchor.Y - BH, 2 * BW, 2 * BH}, RefusedAround.size());
            RefusedAround.push_back({Anchor.X - BW, Anchor.Y - BH, 2 * BW, 2 * BH});
        }
    }
}

}  // namespace

std::vector<TPlacedMark> PlaceSeriesMarks(const TChartLayout& L, const TChartData& D, const TPlotSeries& S,
                                          TTextEngine& Text) {
    std::vector<TPlacedMark> Out;
    const TSeriesMarks& Marks = *S.Look->GetMarks();
    if (!Marks.GetVisible() || !L.MarksVisible || L.Plot.Empty()) return Out;
    const TTextFont Font = TTextFont::FromFont(*Marks.GetFont());
    if (L.Pie) {
        if (S.Kind == TSeriesKind::skPie) PlacePieMarks(L, S, Text, Font, Out);
    } else {
        PlaceMarks(L, D, S, Text, Font, Out);
    }
    return Out;
}

void PaintAllMarks(TPainter& P, const TChartLayout& L, const TChartData& D, TTextEngine& Text) {
    for (const TPlotSeries& S : D.Series) {
        const std::vector<TPlacedMark> Marks = PlaceSeriesMarks(L, D, S, Text);
        if (Marks.empty()) continue;
        const TSeriesMarks& M = *S.Look->GetMarks();
        const TColor Back = M.GetBackColor();
        const TColor FontColor = M.GetFont()->GetColor();
        // The leader lines of a pie's marks, from the rim of each slice to
        // the near side of its box, in one stroke.
        bool Leaders = false;
        for (const TPlacedMark& Mark : Marks) {
            if (!Mark.Leader) continue;
            const TRectF& Box = Mark.Box;
            cairo_move_to(P.Cr(), Mark.From.X, Mark.From.Y);
            cairo_line_to(P.Cr(), Mark.From.X <= Box.X ? Box.X : Box.Right(), Box.CenterY());
            Leaders = true;
        }
        if (Leaders) {
            P.SetColor(MarkFrameColor);
            cairo_set_line_width(P.Cr(), 1);
            P.StrokePath();
        }
        // Boxes that keep a pixel apart are filled, then framed, all at once:
        // the same picture as a mark at a time, in two drawing operations.
        // Where marks come closer, each is drawn whole over the ones before.
        auto Apart = [](const TRectF& A, const TRectF& B) {
            return A.Right() + 1 <= B.X || B.Right() + 1 <= A.X || A.Bottom() + 1 <= B.Y || B.Bottom() + 1 <= A.Y;
        };
        bool AllApart = true;
        TBoxGrid Near;
        for (std::size_t I = 0; I < Marks.size() && AllApart; ++I) {
            const TRectF& A = Marks[I].Box;
            AllApart = !Near.Any({A.X - 1, A.Y - 1, A.W + 2, A.H + 2},
                                 [&](std::size_t J) { return !Apart(A, Marks[J].Box); });
            Near.Add(A, I);
        }
        if (AllApart) {
            std::vector<TRectF> Boxes;
            Boxes.reserve(Marks.size());
            for (const TPlacedMark& Mark : Marks) Boxes.push_back(Mark.Box);
            if (Back != clNone) P.FillRects(Boxes, Back);
            if (M.GetFrameVisible()) P.FrameRects(Boxes, MarkFrameColor);
        }
        for (const TPlacedMark& Mark : Marks) {
            const TRectF& Box = Mark.Box;
            if (!AllApart) {
                if (Back != clNone) P.FillRect(Box, Back);
                if (M.GetFrameVisible()) P.FrameRect(Box, MarkFrameColor);
            }
            P.DrawText(*Mark.Text, Box.X + MarkPadX, Box.Y + MarkPadY, FontColor);
        }
    }
}

}  // namespace pv
