#pragma once
// Series: the data of a chart and how it is drawn.
//
// A series holds its points (X, Y, label, colour; a null point has no Y and
// is not drawn), its marks (a label at each point) and, for line and point
// series, a pointer (the symbol at each point). Points come from code (Add,
// AddXY, AddNull) or from a data set named as the series' data source; the
// data-aware chart reads the records (see TCustomChart::CheckDatasource).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Component.h"
#include "platform/vcl/Color.h"
#include "platform/vcl/Font.h"

namespace pv {

class TCustomChart;
class TChartSeries;

// What a mark shows at each point.
enum class TSeriesMarksStyle : std::uint8_t {
    smValue,               // the value, in the series' value format
    smPercent,             // the value's share of the total of absolute values, "12 %"
    smLabel,               // the point's label (the value when it has none)
    smLabelPercent,        // label and percentage
    smLabelValue,          // label and value
    smLegend,              // what the legend shows for the point
    smPercentTotal,        // percentage and the total, "12 % of 130"
    smLabelPercentTotal,   // label, percentage and total
    smXValue,              // the X value
};

// The symbol of a line or point series at each point.
enum class TSeriesPointerStyle : std::uint8_t {
    psRectangle,     // a filled square
    psCircle,        // a filled circle
    psTriangle,      // a triangle pointing up
    psDownTriangle,  // a triangle pointing down
    psCross,         // an upright cross (+)
    psDiagCross,     // a diagonal cross (x)
    psStar,          // both crosses
    psDiamond,       // a filled diamond
    psSmallDot,      // a 2-pixel dot
};

// What the numbers of a value list stand for: plain numbers, or dates and
// times as seconds (see platform/rtl/DateTime.h): days (at their midnight)
// and moments since 1970-01-01 00:00 UTC, times of day since midnight.
// X values of a date or time kind put the points of a chart on a time axis.
enum class TChartValueKind : std::uint8_t { vkNumber, vkDate, vkTime, vkDateTime };

// One list of values of a series (X or Y), with the name of the data set
// field that feeds it.
class TChartValueList : public TPersistent {
public:
    TChartValueList(TChartSeries* AOwner, std::string AName) : FOwner(AOwner), FName(std::move(AName)) {}
    std::string_view ClassName() const override { return "TChartValueList"; }

    const std::string& GetName() const { return FName; }
    const std::string& GetValueSource() const { return FValueSource; }
    // Names the field; a data-aware series reads again.
    void SetValueSource(const std::string& Value);
    // What the values stand for (default vkNumber). A data-aware chart sets
    // it from the type of the field it reads.
    TChartValueKind GetKind() const { return FKind; }
    void SetKind(TChartValueKind Value);
    bool IsDateTime() const { return FKind != TChartValueKind::vkNumber; }

    int Count() const { return static_cast<int>(FValues.size()); }
    double Value(int Index) const { return FValues.at(static_cast<std::size_t>(Index)); }
    const std::vector<double>& Values() const { return FValues; }

private:
    friend class TChartSeries;
    TChartSeries* FOwner;
    std::string FName;
    std::string FValueSource;
    TChartValueKind FKind = TChartValueKind::vkNumber;
    std::vector<double> FValues;
};

class TSeriesMarks : public TPersistent {
public:
    // Defaults: visible on bar series, hidden on others; smValue; back
    // colour a pale yellow ($E1FFFF); font Sans 8 pt black; grey frame.
    explicit TSeriesMarks(TChartSeries* AOwner);
    std::string_view ClassName() const override { return "TSeriesMarks"; }

    bool GetVisible() const { return FVisible; }
    void SetVisible(bool Value);
    TSeriesMarksStyle GetStyle() const { return FStyle; }
    void SetStyle(TSeriesMarksStyle Value);
    TColor GetBackColor() const { return FBackColor; }
    void SetBackColor(TColor Value);
    TFont* GetFont() const { return FFont.get(); }
    // Copies AFont's attributes (nullptr is ignored).
    void SetFont(const TFont* AFont);
    // Whether marks have a frame (default true).
    bool GetFrameVisible() const { return FFrameVisible; }
    void SetFrameVisible(bool Value);

    void Assign(const TPersistent& Source) override;

private:
    void Changed();
    TChartSeries* FOwner;
    bool FVisible = false;
    TSeriesMarksStyle FStyle = TSeriesMarksStyle::smValue;
    TColor FBackColor = 0xE1FFFF;
    std::unique_ptr<TFont> FFont;
    bool FFrameVisible = true;
};

class TSeriesPointer : public TPersistent {
public:
    // Defaults: visible, drawn in 3D in 3D charts, psRectangle, 4 x 4
    // pixels (half sizes: the symbol is 2 * size + 1 wide), margins not
    // inflated.
    explicit TSeriesPointer(TChartSeries* AOwner) : FOwner(AOwner) {}
    std::string_view ClassName() const override { return "TSeriesPointer"; }

    bool GetVisible() const { return FVisible; }
    void SetVisible(bool Value);
    bool GetDraw3D() const { return FDraw3D; }
    void SetDraw3D(bool Value);
    TSeriesPointerStyle GetStyle() const { return FStyle; }
    void SetStyle(TSeriesPointerStyle Value);
    int GetHorizSize() const { return FHorizSize; }
    void SetHorizSize(int Value);
    int GetVertSize() const { return FVertSize; }
    void SetVertSize(int Value);
    // Whether the axes leave room for the symbols at the ends.
    bool GetInflateMargins() const { return FInflateMargins; }
    void SetInflateMargins(bool Value);

    void Assign(const TPersistent& Source) override;

private:
    void Changed();
    TChartSeries* FOwner;
    bool FVisible = true;
    bool FDraw3D = true;
    TSeriesPointerStyle FStyle = TSeriesPointerStyle::psRectangle;
    int FHorizSize = 4;
    int FVertSize = 4;
    bool FInflateMargins = false;
};

// Creates a series of one class with the given owner (see ChangeSeriesType).
using TChartSeriesClass = TChartSeries* (*)(TComponent* AOwner);

class TChartSeries : public TComponent {
public:
    // The default value format: thousands grouped, up to three decimals.
    static constexpr const char* DefaultValueFormat = "#,##0.###";

    explicit TChartSeries(TComponent* AOwner);
    ~TChartSeries() override;
    std::string_view ClassName() const override { return "TChartSeries"; }

    // The chart the series belongs to (nullptr: none). Attaching adds the
    // series to the chart's list; nullptr detaches it.
    TCustomChart* GetParentChart() const { return FParentChart; }
    void SetParentChart(TCustomChart* Value);

    // The series colour (default clRed for a new series).
    TColor GetSeriesColor() const { return FSeriesColor; }
    void SetSeriesColor(TColor Value);
    // With the flag on each point is drawn in its own colour; a point
    // colour of clDefault then takes an automatic colour per point.
    bool GetColorEachPoint() const { return FColorEachPoint; }
    void SetColorEachPoint(bool Value);
    const std::string& GetTitle() const { return FTitle; }
    void SetTitle(const std::string& Value);

    // Points.
    int Count() const { return FYValues->Count(); }
    // The number plotted for point Index (NaN for a null point).
    double GetYValue(int Index) const { return FYValues->Value(Index); }
    double GetXValue(int Index) const { return FXValues->Value(Index); }
    bool IsNull(int Index) const;
    const std::string& GetLabel(int Index) const;
    bool HasLabels() const;
    TColor GetValueColor(int Index) const;
    void SetValueColor(int Index, TColor Color);
    // Adds a point with X = its index; NaN or an infinite Y is a null point.
    int Add(double Y, const std::string& Label = {}, TColor Color = clDefault);
    int AddXY(double X, double Y, const std::string& Label = {}, TColor Color = clDefault);
    int AddNull(const std::string& Label = {});
    // Replaces every point (and the further groups) by the points (Xs[I],
    // Ys[I], Labels[I]), each as AddXY would add it; Labels may be empty for
    // none, otherwise all three are of one length. One change notice.
    void SetPoints(std::vector<double>&& Xs, std::vector<double>&& Ys, std::vector<std::string>&& Labels = {});
    void Delete(int Index);
    // Removes every point, and the further groups with theirs.
    void Clear();

    TChartValueList* GetXValues() const { return FXValues.get(); }
    TChartValueList* GetYValues() const { return FYValues.get(); }
    TSeriesMarks* GetMarks() const { return FMarks.get(); }

    const std::string& GetValueFormat() const { return FValueFormat; }
    void SetValueFormat(const std::string& Value);
    // The field whose values label the points.
    const std::string& GetLabelsSource() const { return FLabelsSource; }
    void SetLabelsSource(const std::string& Value);

    // The data source: a component the chart can read points from (a data
    // set). Setting it adds it to the list of data sources and makes the
    // chart read the points; nullptr empties the list and the points.
    TComponent* GetDataSource() const;
    void SetDataSource(TComponent* Value);
    // Empties the list of data sources (the points stay until the next read).
    void ClearDataSources();
    int DataSourceCount() const { return static_cast<int>(FDataSources.size()); }
    // Asks the chart to read the points from the data source again.
    void CheckDataSource();

    // Whether the series draws a pointer, and that pointer (nullptr: none).
    virtual TSeriesPointer* GetPointer() const { return nullptr; }

    // Groups: the field whose distinct values split the records into one
    // series each (empty: no split). The series itself holds the first
    // group's points; each further group is a plain series held here, with
    // its points in the same categories (a null point where the group has no
    // record), drawn after it in the kind, marks, value format and pointer
    // of this series, titled by its value and coloured by the chart's
    // palette. Setting the field makes a data-aware chart read again.
    const std::string& GetGroupSource() const { return FGroupSource; }
    void SetGroupSource(const std::string& Value);
    // The further groups, in the order their values were first met.
    int GroupCount() const { return static_cast<int>(FGroups.size()); }
    TChartSeries* GetGroup(int Index) const { return FGroups.at(static_cast<std::size_t>(Index)).get(); }
    // Appends an empty group series of colour clDefault titled ATitle.
    TChartSeries& AddGroup(const std::string& ATitle);
    // The title of the first group when the series is split (empty: not
    // split); the legend shows it instead of the series' own title.
    const std::string& GetGroupTitle() const { return FGroupTitle; }
    void SetGroupTitle(const std::string& Value);

    // Further fields of the points' records, kept as text beside the
    // points for hints and links: Names, and for each name a column of one
    // text per point. Set by whoever reads the points (the data-aware
    // chart); Clear drops them. PointField is nullptr for a name not kept
    // or a point without a text.
    void SetPointFields(std::vector<std::string> Names, std::vector<std::vector<std::string>> Columns);
    const std::vector<std::string>& GetPointFieldNames() const { return FPointFieldNames; }
    const std::string* PointField(int Index, std::string_view Name) const;

    // Copies everything but the points' origin: colours, marks, formats,
    // sources, data sources, points and groups (copied, not shared).
    void Assign(const TPersistent& Source) override;

    // Records a change with the parent chart.
    void Changed();

protected:
    // Leaves the chart while the series is whole.
    void BeforeDestruction() noexcept override;

private:
    TCustomChart* FParentChart = nullptr;
    TColor FSeriesColor = clRed;
    bool FColorEachPoint = false;
    std::string FTitle;
    std::unique_ptr<TChartValueList> FXValues;
    std::unique_ptr<TChartValueList> FYValues;
    // One label and one colour per point, each list empty while every
    // point has the empty label or clDefault, so that a big series of bare
    // numbers costs only its X and Y values.
    std::vector<std::string> FLabels;
    // How many of FLabels are not empty.
    std::size_t FLabelCount = 0;
    std::vector<TColor> FColors;
    std::vector<std::string> FPointFieldNames;
    std::vector<std::vector<std::string>> FPointFields;
    void CheckIndex(int Index) const;
    std::unique_ptr<TSeriesMarks> FMarks;
    std::string FValueFormat = DefaultValueFormat;
    std::string FLabelsSource;
    std::vector<TComponentPtr<TComponent>> FDataSources;
    std::string FGroupSource;
    std::string FGroupTitle;
    // Owned; plain series never attached to a chart.
    std::vector<TUniqueComponent<TChartSeries>> FGroups;
};

class TBarSeries : public TChartSeries {
public:
    // Marks are visible on a new bar series; bars fill 70 % of their slot.
    explicit TBarSeries(TComponent* AOwner);
    std::string_view ClassName() const override { return "TBarSeries"; }
    static TChartSeries* NewInstance(TComponent* AOwner) { return new TBarSeries(AOwner); }

    int GetBarWidthPercent() const { return FBarWidthPercent; }
    void SetBarWidthPercent(int Value);

private:
    int FBarWidthPercent = 70;
};

// Bars lying along the value axis, which runs along the bottom; the
// categories go down the left side, the first at the top. A chart whose
// first series is a horizontal bar series turns all its series that way.
class THorizBarSeries : public TBarSeries {
public:
    explicit THorizBarSeries(TComponent* AOwner) : TBarSeries(AOwner) {}
    std::string_view ClassName() const override { return "THorizBarSeries"; }
    static TChartSeries* NewInstance(TComponent* AOwner) { return new THorizBarSeries(AOwner); }
};

// Points joined by a polyline; the pointer is hidden on a new line series.
class TLineSeries : public TChartSeries {
public:
    explicit TLineSeries(TComponent* AOwner);
    std::string_view ClassName() const override { return "TLineSeries"; }
    static TChartSeries* NewInstance(TComponent* AOwner) { return new TLineSeries(AOwner); }
    TSeriesPointer* GetPointer() const override { return FPointer.get(); }

private:
    std::unique_ptr<TSeriesPointer> FPointer;
};

// A line series with the area between the line and the zero line (or the
// nearer end of the value axis when zero is outside it) filled: positive
// parts above it, negative parts below. The pointer is hidden on a new area
// series, as on a line series.
class TAreaSeries : public TLineSeries {
public:
    explicit TAreaSeries(TComponent* AOwner) : TLineSeries(AOwner) {}
    std::string_view ClassName() const override { return "TAreaSeries"; }
    static TChartSeries* NewInstance(TComponent* AOwner) { return new TAreaSeries(AOwner); }
};

// Points drawn as symbols; the pointer is visible.
class TPointSeries : public TChartSeries {
public:
    explicit TPointSeries(TComponent* AOwner);
    std::string_view ClassName() const override { return "TPointSeries"; }
    static TChartSeries* NewInstance(TComponent* AOwner) { return new TPointSeries(AOwner); }
    TSeriesPointer* GetPointer() const override { return FPointer.get(); }

private:
    std::unique_ptr<TSeriesPointer> FPointer;
};

// A circle cut into one slice per point, each as large as the point's
// share of the total of absolute values; zero and null points get no slice.
// A negative point is drawn by its absolute value, striped, and its legend
// row says so. In 3D the pie is tilted and given a rim. A chart whose first
// series is a pie draws only that pie, without axes. Marks are visible on a
// new pie series and sit outside the circle, joined to their slice.
class TPieSeries : public TChartSeries {
public:
    explicit TPieSeries(TComponent* AOwner);
    std::string_view ClassName() const override { return "TPieSeries"; }
    static TChartSeries* NewInstance(TComponent* AOwner) { return new TPieSeries(AOwner); }
};

// Replaces ASeries by a new series made by NewClass, with the same owner,
// chart, place in the chart's list and contents (Assign), and deletes the
// old one; ASeries then refers to the new series.
void ChangeSeriesType(TChartSeries*& ASeries, TChartSeriesClass NewClass);

}  // namespace pv
