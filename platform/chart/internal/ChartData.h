#pragma once
// The first stage of drawing a chart: what is to be plotted, read once from
// the chart model. Later stages (range and ticks, layout, painting) look
// only at this and at the chart's appearance settings.

#include <optional>
#include <string>
#include <vector>

#include "platform/chart/Chart.h"
#include "platform/chart/Series.h"
#include "platform/rtl/FormatFloat.h"
#include "platform/vcl/Color.h"

namespace pv {

class TCustomChart;

// How a series is drawn.
enum class TSeriesKind {
    skBar,       // bars from zero
    skHorizBar,  // bars from zero along a value axis at the bottom
    skLine,      // a polyline, with symbols when its pointer is visible
    skArea,      // a polyline with the area down to zero filled
    skPoint,     // symbols only
    skPie,       // slices of a circle
};

// Whether S draws as bars (either way).
inline bool IsBar(TSeriesKind K) { return K == TSeriesKind::skBar || K == TSeriesKind::skHorizBar; }

// The order kinds are drawn in, whatever the order of the series: areas at
// the back, then bars, then lines, then points on top (a pie is alone).
int DrawRank(TSeriesKind K);

// One series as it will be drawn.
struct TPlotSeries {
    // The points: a series of the chart, or one of its further groups.
    const TChartSeries* Series = nullptr;
    // The series whose kind, marks, value format and pointer are drawn:
    // Series itself, or for a group the series it was split from.
    const TChartSeries* Look = nullptr;
    TSeriesKind Kind = TSeriesKind::skBar;
    // The series colour as drawn (clDefault resolved to an automatic colour).
    TColor Color = clRed;
    // Each point's colour as drawn, or clNone for a point not to draw;
    // empty when every point is drawn in Color (the series colours no point
    // of its own), so a series of a million points needs no list.
    std::vector<TColor> PointColors;
    TColor PointColor(int I) const {
        return PointColors.empty() ? Color : PointColors[static_cast<std::size_t>(I)];
    }
    // Bars: which bar series this is (0-based) among the chart's bar series
    // (of either direction).
    int BarIndex = 0;
    // The pointer when its symbols are drawn (nullptr: none).
    const TSeriesPointer* Pointer = nullptr;
    // The count of the non-null points, and the sum of their absolute
    // values divided by that count (which cannot overflow): the percentage
    // of a point is |v| / count / MeanAbs(). Worked out when a mark first
    // asks for it, since most charts show no percentages.
    int ValueCount = 0;
    double MeanAbs() const;

    // A piled bar or area series: where each point's part starts and ends
    // along the value axis (NaN for a null point); empty when not piled.
    std::vector<double> Base, Top;
    bool Stacked() const { return !Top.empty(); }
    // The value point I is drawn at: the end of its part when piled, else
    // its own value.
    double At(int I) const {
        return Top.empty() ? Series->GetYValue(I) : Top[static_cast<std::size_t>(I)];
    }
    // The values drawn, one per point (Top when piled).
    const double* Values() const { return Top.empty() ? Series->GetYValues()->Values().data() : Top.data(); }

private:
    mutable std::optional<double> FMeanAbs;
};

struct TChartData {
    std::vector<TPlotSeries> Series;
    // Category slots along the bottom axis: the most points of any series.
    int Categories = 0;
    // The series whose labels (or X values) name the categories, and
    // whether it has any labels.
    const TChartSeries* LabelSeries = nullptr;
    bool HasLabels = false;
    int BarSeriesCount = 0;
    // The places side by side in a category: one per bar series, or one for
    // a pile of them.
    int BarSlots = 0;
    // How bars and areas share a category (the chart's stacking).
    TSeriesStacking Stacking = TSeriesStacking::sgNone;
    // Area series fill down to zero, so like bars they keep zero in range.
    int AreaSeriesCount = 0;
    // The first series is a horizontal bar series: values run along the
    // bottom, categories down the left, for every series.
    bool Horizontal = false;
    // The first series is a pie: the chart is that one pie, without axes
    // (Series then holds only it).
    bool Pie = false;
    // Extent of the values of all non-null points.
    bool HasValues = false;
    double MinValue = 0;
    double MaxValue = 0;

    // A time axis: the first series' X values are dates or times (and the
    // chart is neither a pie nor of horizontal bars). Every series' points
    // then lie along the bottom by their X values, not by their places.
    bool TimeAxis = false;
    TChartValueKind TimeKind = TChartValueKind::vkNumber;
    // The extent of the X values of the non-null points (HasTimes false:
    // none), and the least distance between two different X values of bar
    // series, which sets the bars' width (0: no bars, or a single time).
    bool HasTimes = false;
    double MinTime = 0, MaxTime = 0;
    double BarTimeSlot = 0;

    // Reads the series of Chart.
    static TChartData Gather(const TCustomChart& Chart);

    // The text naming category Index: its label, else its X value in the
    // label series' value format.
    std::string CategoryText(int Index) const;
    // The text naming point Index of S in the legend: its label, else its X
    // value in S's value format.
    static std::string PointText(const TChartSeries& S, int Index);
};

// The separators of the locale of S's chart.
const TNumberSeparators& SeparatorsOf(const TChartSeries& S);
// The value V in the series' value format.
std::string FormatValue(const TChartSeries& S, double V);
// Point Index's X value as text: its date or time in ISO form
// ("2026-03-05", "2026-03-05 14:30:00") when S's X values are dates or
// times, else in S's value format.
std::string XValueText(const TChartSeries& S, int Index);
// The text of the mark of point Index, by the marks style.
std::string MarkText(const TPlotSeries& P, int Index);
// A plain-language summary of what Data shows, for readers that cannot see
// the picture: the kind of chart, the series, the number of points and the
// range of the values ("Bar chart of 12 points in the series Revenue, values
// from -5 to 30.").
std::string DescribeChart(const TChartData& Data);
// A series' name in the legend: its group's value when it was split into
// groups, else its title, else its component name, else "Series" and its
// number (1-based).
std::string SeriesTitle(const TChartSeries& S, int Index);

}  // namespace pv
