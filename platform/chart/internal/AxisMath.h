#pragma once
// Axis arithmetic for the chart painter: value ranges, "nice" 1-2-5 ticks,
// value-to-pixel and category-to-pixel mappings, label thinning and the 3D
// depth. Pure functions of their arguments, so they are tested without any
// drawing.
//
// Every function accepts any finite double, up to +-DBL_MAX, and never
// produces an infinity or NaN: differences of values are taken of halves
// (Max / 2 - Min / 2), which cannot overflow.

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/chart/ChartLocale.h"
#include "platform/chart/Series.h"

namespace pv {

// A closed value interval with Min < Max.
struct TValueRange {
    double Min = 0;
    double Max = 1;
};

// The automatic range of an axis showing values DataMin..DataMax (ignored
// when HasData is false, which gives 0..1). IncludeZero stretches the range
// to 0 (bars grow from 0). A range too narrow to draw (all values equal, or
// equal within 1e-12 of their magnitude) is widened by 10 % of the value
// on each side, or to 0..1 around 0.
TValueRange AutoRange(double DataMin, double DataMax, bool HasData, bool IncludeZero);

// A fixed range as the user gave it, made drawable: swapped when reversed,
// widened like AutoRange when empty, non-finite ends replaced by 0..1.
TValueRange FixedRange(double Min, double Max);

// Ticks of a value axis.
struct TAxisTicks {
    // The axis range: the input range, stretched to whole steps when asked.
    TValueRange Range;
    // Distance between ticks: 1, 2 or 5 times a power of ten.
    double Step = 1;
    // The tick values inside Range, ascending; 0 is exactly 0.
    std::vector<double> Values;
};

// The 1, 2 or 5 times a power of ten nearest to Raw (> 0): below 1.5 -> 1,
// below 3 -> 2, below 7 -> 5, else 10, on the mantissa of Raw.
double NiceNumber(double Raw);

// About TargetCount ticks (at least 2) over R, spaced by a nice step.
// ExtendToTicks stretches the range outwards to the nearest whole steps, so
// the axis starts and ends at a tick (unless that would overflow).
TAxisTicks NiceTicks(TValueRange R, int TargetCount, bool ExtendToTicks);

// Ticks of a logarithmic axis over R (0 < Min < Max): at the powers of ten,
// with 2 and 5 times them where the range spans few decades, so that about
// TargetCount ticks show; with many decades, every second or fifth power.
// ExtendToTicks stretches the range out to the powers of ten around it. The
// step is the smallest tick, for the labels' picture.
TAxisTicks LogTicks(TValueRange R, int TargetCount, bool ExtendToTicks);

// How many ticks suit an axis of Pixels length: one every 32 pixels or so,
// between 2 and 10.
int TickCountForLength(double Pixels);

// A picture (see FormatFloat) that writes the ticks of Step distinctly:
// as many decimals as the step needs, with thousands grouped; exponent form
// for magnitudes from 1e15 or steps below 1e-6.
std::string TickFormat(double Step, double MaxAbs);

// Time axes: values are seconds (see TChartValueKind), ticks fall on whole
// units of the calendar, and labels are written for the step.

enum class TTimeUnit : std::uint8_t { tuSecond, tuMinute, tuHour, tuDay, tuWeek, tuMonth, tuYear };

// A distance between ticks: Count units (seconds from a thousandth on;
// weeks start on Mondays; 3 months are quarters).
struct TTimeStep {
    TTimeUnit Unit = TTimeUnit::tuDay;
    double Count = 1;
    // The step's length in seconds, a month taken as a twelfth of a year.
    double Seconds() const;
    bool operator==(const TTimeStep&) const = default;
};

// The steps an axis of Kind may take, finest first: from a thousandth of a
// second to a billion years for date-times; from a day for dates; for times
// of day (and durations) in hours on, without days.
const std::vector<TTimeStep>& TimeSteps(TChartValueKind Kind);

// The ticks of Step inside R, ascending; empty when there would be more
// than MaxCount.
std::vector<double> TimeTickValues(TValueRange R, TTimeStep Step, int MaxCount);

// The label of tick T of Step on an axis of Kind, with Locale's names:
// "14:30:05.25" and "14:30:05" (a step below a minute), "14:30" (minutes
// and hours), "Mar 5" (days, weeks; with Weekday "Thu, Mar 5"), "Mar"
// (months), "Q2 2026" (quarters), "2026" (years). A tick that starts a
// larger unit says so: midnight shows its day, the first of January its
// year. Times of day count hours past 24 ("26:00") and below 0.
std::string TimeTickLabel(double T, TTimeStep Step, TChartValueKind Kind, bool Weekday, const TChartLocale& Locale);

struct TTimeTicks {
    TTimeStep Step;
    bool Weekday = false;
    std::vector<double> Values;
    std::vector<std::string> Labels;
};

// The finest ticks over R whose labels Fits accepts (the layout measures
// them against the axis), trying at most MaxCount ticks at a time; on
// every axis of months the first label carries the year unless a January
// tick does. When no set fits, the coarsest one with a tick. A range
// beyond some three billion years gets 1-2-5 ticks with numbers as labels.
TTimeTicks TimeTicks(TValueRange R, TChartValueKind Kind, const TChartLocale& Locale, int MaxCount,
                     const std::function<bool(const TTimeTicks&)>& Fits);

// Maps values of a range linearly onto pixels: Min to P0 and Max to P1 (P1
// may be less than P0, as on a vertical axis). Values far outside the range
// are clamped to ten axis lengths beyond it, so coordinates stay small.
//
// On a logarithmic map (Log true, R above 0) the logarithms of the values
// are mapped linearly instead; a value at or below 0 lies beyond the low end.
class TLinearMap {
public:
    TLinearMap() = default;
    TLinearMap(TValueRange R, double P0, double P1, bool Log = false);
    bool Logarithmic() const { return FLog; }
    // Inline: a chart of many points maps each of them.
    double ToPixel(double V) const {
        if (std::isnan(V)) return FP0;
        if (FLog) V = V > 0 ? std::log10(V) : -DBL_MAX;
        V = std::clamp(V, -DBL_MAX, DBL_MAX);
        const double T = std::clamp((V / 2 - FMinHalf) * FInvHalfSpan, -10.0, 11.0);
        return FP0 + T * FPixels;
    }

private:
    double FMinHalf = 0;
    double FInvHalfSpan = 1;
    double FP0 = 0;
    double FPixels = 1;
    bool FLog = false;
};

// Maps category indexes 0..Count-1 onto equal slots between P0 and P1.
class TCategoryMap {
public:
    TCategoryMap() = default;
    // Count below 1 is taken as one slot.
    TCategoryMap(int Count, double P0, double P1);
    int Count() const { return FCount; }
    double SlotWidth() const { return FSlot; }
    double SlotLeft(int Index) const { return FP0 + Index * FSlot; }
    double Center(int Index) const { return FP0 + (Index + 0.5) * FSlot; }

private:
    int FCount = 1;
    double FP0 = 0;
    double FSlot = 1;
};

// Every how many categories a label fits, when each label needs Extent
// pixels plus Gap along an axis of slots SlotWidth wide: 1 when every label
// fits, else the smallest step that fits, rounded up to 1-2-5 steps from 10
// on (so labels land on round indexes).
int LabelStep(double SlotWidth, double Extent, double Gap);

// The depth in pixels of a 3D chart of Width x Height with 3D percent
// Percent (clamped to 1..100) and Rows series rows: half the smaller side
// times the percentage, growing by half of that for each further row up to
// three rows; at most a third of the smaller side, at least 1 pixel.
int Depth3D(int Width, int Height, int Percent, int Rows);

}  // namespace pv
