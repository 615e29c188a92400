#pragma once
// The layout stage of drawing a chart: where the title, the legend, the
// axes with their labels and titles, and the plot go, measured with the same
// text layouts that are then drawn.
//
// The legend takes its room from the right of the plot, the title from the
// top, the axis labels and titles from the left and bottom. A picture too
// small for all of it gives up parts in a fixed order (legend, axis titles,
// title, axis labels) until the plot has room, so every size draws.

#include <string>
#include <vector>

#include "platform/chart/internal/AxisMath.h"
#include "platform/chart/internal/ChartData.h"
#include "platform/chart/internal/Painter.h"
#include "platform/chart/internal/TextEngine.h"

namespace pv {

class TCustomChart;

// A text and where it goes: its top-left corner when Angle is 0, its centre
// when it is turned by Angle degrees.
struct TPlacedText {
    TTextLayoutPtr Layout;
    double X = 0;
    double Y = 0;
    double Angle = 0;
};

// One row of the legend.
struct TLegendRow {
    TColor Color = clBlack;
    // The series the row stands for (its kind and pointer pick the swatch).
    const TPlotSeries* Series = nullptr;
    TTextLayoutPtr Label;
    // The left edge of the label.
    double LabelX = 0;
    // The value column (nullptr: none).
    TTextLayoutPtr Value;
    // The last row of a legend too long for its box: "… and 12 more" (see
    // MoreRowsText) and no swatch; Hidden is how many rows it stands for.
    bool Ellipsis = false;
    int Hidden = 0;
    // A negative point of a pie, whose slice shows its absolute value: the
    // swatch is striped like the slice.
    bool Negative = false;
};

// The spacing of marks: padding of the text in its box, the distance from
// the point, and the length of the leader line of a pie's marks.
struct TMarkSpacing {
    static constexpr double PadX = 3, PadY = 1, Offset = 4, PieLeader = 12;
    // The widest a mark's text may be.
    static constexpr int MaxWidth = 200;
};

struct TChartLayout {
    // Inside the bevels.
    TRectF Panel;

    std::vector<TPlacedText> TitleLines;
    TRectF TitleBox;

    bool LegendVisible = false;
    TRectF LegendBox;
    std::vector<TLegendRow> LegendRows;
    double LegendPad = 0;
    double LegendRowHeight = 0;
    double SwatchSize = 0;
    // Left edge of the label column.
    double LegendLabelX = 0;

    // The front face of the plot; in 3D the back wall is this moved by
    // (Depth, -Depth).
    TRectF Plot;
    double Depth = 0;

    // Values run along the bottom and the categories down the left, first
    // at the top (a chart of horizontal bars); else values go up the left
    // and categories along the bottom. The axes are the physical ones: the
    // left axis is on the left either way, and the value axis's settings
    // (range, grid) are those of the axis that carries the values.
    bool Horizontal = false;
    bool LeftAxisVisible = false;
    bool BottomAxisVisible = false;
    bool ValueAxisVisible() const { return Horizontal ? BottomAxisVisible : LeftAxisVisible; }
    bool CategoryAxisVisible() const { return Horizontal ? LeftAxisVisible : BottomAxisVisible; }

    // Value axis.
    TAxisTicks Ticks;
    TLinearMap ValueMap;
    // One label per tick (empty when the axis labels are dropped).
    std::vector<TPlacedText> TickLabels;

    // Category axis.
    TCategoryMap Categories;
    int LabelStep = 1;
    bool LabelsRotated = false;
    std::vector<TPlacedText> CategoryLabels;

    // A time axis along the bottom (TChartData::TimeAxis): points lie at
    // their X values by TimeMap; the ticks are TimeTicks (one label each
    // in CategoryLabels, but for labels left out where they would touch),
    // and a bar's slot is TimeSlot pixels wide.
    bool TimeAxis = false;
    TLinearMap TimeMap;
    TTimeTicks TimeTicks;
    double TimeSlot = 1;

    // The width of a category's slot, where its bars stand side by side.
    double SlotWidth() const { return TimeAxis ? TimeSlot : Categories.SlotWidth(); }
    // Where point I of S lies along the category axis: the centre of its
    // slot, or its time.
    double Across(const TPlotSeries& S, int I) const {
        return TimeAxis ? TimeMap.ToPixel(S.Series->GetXValue(I)) : Categories.Center(I);
    }
    // Where the centre of category Category is at value Value (on a time
    // axis the points have places of their own: see the next).
    TPointF At(int Category, double Value) const {
        return Horizontal ? TPointF{ValueMap.ToPixel(Value), Categories.Center(Category)}
                          : TPointF{Categories.Center(Category), ValueMap.ToPixel(Value)};
    }
    // Where point I of S is drawn at value Value.
    TPointF At(const TPlotSeries& S, int I, double Value) const {
        return Horizontal ? TPointF{ValueMap.ToPixel(Value), Across(S, I)} : TPointF{Across(S, I), ValueMap.ToPixel(Value)};
    }

    // A pie chart has no axes: its circle is centred at PieCenter with the
    // radius PieRadius across; in 3D it is tilted, PieTilt times as high as
    // wide, standing on a rim PieRim pixels deep.
    bool Pie = false;
    TPointF PieCenter;
    double PieRadius = 0;
    double PieTilt = 1;
    double PieRim = 0;

    // Axis titles (Layout nullptr: none).
    TPlacedText LeftTitle;
    TPlacedText BottomTitle;

    // Whether marks have room (they are dropped on the smallest pictures),
    // and the area they may use (the plot area below the title, beside the
    // legend).
    bool MarksVisible = false;
    double MarksTop = 0;
    TRectF MarksArea;
};

// Lays out Chart, showing Data, on a picture of Width x Height pixels. The
// layout refers to Data's series, so Data must outlive it (hence no
// temporary Data).
TChartLayout LayoutChart(const TCustomChart& Chart, const TChartData& Data, TTextEngine& Text, int Width,
                         int Height);
TChartLayout LayoutChart(const TCustomChart& Chart, TChartData&& Data, TTextEngine& Text, int Width,
                         int Height) = delete;

// The last row of a legend that leaves Hidden rows out: "… and 1,234
// more", the count grouped in thousands when the legend's values are (S,
// the first series, has a value format that groups them).
std::string MoreRowsText(const TChartSeries& S, int Hidden);

// The font of the marks of the first series that shows marks (nullptr: no
// series shows marks).
const TFont* MarksFont(const TChartData& Data);

}  // namespace pv
