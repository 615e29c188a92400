#pragma once
// The chart control: a panel with 3D settings (TCustomTeePanel), axes and a
// series list (TCustomAxisPanel), title, legend and gradient (TCustomChart).
// A chart is never shown on a screen; TeeCreateBitmap draws it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/chart/ChartLocale.h"
#include "platform/chart/ChartParts.h"
#include "platform/chart/Hotspots.h"
#include "platform/chart/Series.h"
#include "platform/rtl/Types.h"
#include "platform/vcl/Bitmap.h"
#include "platform/vcl/Control.h"

namespace pv {

// The vector formats a chart can be drawn in.
enum class TVectorFormat : std::uint8_t {
    vfSVG,  // an SVG document, sizes in CSS pixels, with a viewBox
    vfPDF,  // one PDF page, one pixel to a point
};

// How the bar series and the area series of a chart share a category.
enum class TSeriesStacking : std::uint8_t {
    sgNone,        // bars side by side, areas over each other
    sgStacked,     // bars in one pile, areas on top of each other; negative
                   // values pile down from zero, apart from the positive ones
    sgStacked100,  // piled as sgStacked, each category scaled to 100 % of the
                   // sum of its absolute values; the value axis is in percent
};

// The scales a chart can be drawn at: 1 (a plain picture) to 4.
constexpr double MinChartScale = 1.0;
constexpr double MaxChartScale = 4.0;

class TCustomTeePanel : public TCustomPanel {
public:
    explicit TCustomTeePanel(TComponent* AOwner) : TCustomPanel(AOwner) {}
    std::string_view ClassName() const override { return "TCustomTeePanel"; }

    // Default: a flat chart (View3D false) with a 3D depth of 15 %.
    bool GetView3D() const { return FView3D; }
    void SetView3D(bool Value);
    int GetChart3DPercent() const { return F3DPercent; }
    // The depth of the 3D view as a percentage of the plot size, clamped to
    // 1..100 when drawn.
    void Set3DPercent(int Value);
    // Draws everything in greys (default false).
    bool GetMonochrome() const { return FMonochrome; }
    void SetMonochrome(bool Value);

    // A new bitmap of exactly R's size, filled with ABackColor, with the
    // chart drawn on it; the caller owns it. A side below 1 or above
    // TBitmap::MaxSide, or more than TBitmap::MaxPixels in all, raises
    // EInvalidGraphic naming the size before anything is allocated.
    std::unique_ptr<TBitmap> TeeCreateBitmap(TColor ABackColor, const TRect& R) const;
    // The same chart at Scale (MinChartScale..MaxChartScale, fractions
    // allowed): the bitmap has round(width * Scale) x round(height * Scale)
    // pixels and everything on it (text, lines, borders, marks, 3D depth)
    // is drawn Scale times larger, so the layout is that of the plain
    // picture. A scale out of range or a scaled size out of the bitmap
    // limits raises EInvalidGraphic naming the value.
    std::unique_ptr<TBitmap> TeeCreateBitmap(TColor ABackColor, const TRect& R, double Scale) const;
    // The same drawing into a bitmap the caller has: Into is resized (its
    // storage reused when the size is unchanged) and drawn on, with
    // ABackColor wherever the chart leaves the background showing; nothing
    // of Into's old pixels remains. A size or scale out of range raises
    // EInvalidGraphic before Into is touched.
    //
    // An ABackColor of clNone is no background at all, here and in
    // TeeCreateBitmap and TeeCreateVector: the picture starts transparent
    // (the bitmap with alpha, TBitmap::SetSizeTransparent), and the chart
    // leaves out its own background (Color, gradient) too, so that what it
    // does not draw stays see-through.
    void TeeDrawBitmap(TBitmap& Into, TColor ABackColor, const TRect& R, double Scale = 1) const;
    // The chart as an SVG document or a PDF page: the same drawing as the
    // bitmap's, on a vector surface of R's size times Scale, filled with
    // ABackColor first. Raises EInvalidGraphic as TeeCreateBitmap does.
    std::string TeeCreateVector(TVectorFormat Format, TColor ABackColor, const TRect& R, double Scale = 1) const;
    // " 'Name'" for error messages, or " of 'Owner'" for an unnamed chart.
    std::string NameForMessage() const;

protected:
    // Draws the chart over the background of Bitmap, magnified by Scale.
    virtual void Draw(TBitmap& Bitmap, double Scale) const = 0;
    // Whether Draw paints every pixel of a Width x Height bitmap opaquely,
    // so that it needs no background filled first (default false).
    virtual bool DrawCoversBitmap(int Width, int Height, double Scale) const;
    // Draws the chart, Width x Height units, onto a vector surface; returns
    // the document's bytes.
    virtual std::string DrawVector(TVectorFormat Format, TColor ABackColor, int Width, int Height,
                                   double Scale) const = 0;
    // A chart's side must be 1..TBitmap::MaxSide pixels.
    void CheckSize(const char* Which, int Value) const override;

private:
    bool FView3D = false;
    int F3DPercent = 15;
    bool FMonochrome = false;
};

class TCustomAxisPanel : public TCustomTeePanel {
public:
    explicit TCustomAxisPanel(TComponent* AOwner);
    ~TCustomAxisPanel() override;
    std::string_view ClassName() const override { return "TCustomAxisPanel"; }

    TChartAxis* GetLeftAxis() const { return FLeftAxis.get(); }
    TChartAxis* GetBottomAxis() const { return FBottomAxis.get(); }

    int SeriesCount() const { return static_cast<int>(FSeriesList.size()); }
    TChartSeries* GetSeries(int Index) const { return FSeriesList.at(static_cast<std::size_t>(Index)); }
    // Moves an attached series to place Index (clamped) of the list.
    void MoveSeries(TChartSeries* S, int Index);

    // Recomputes the depth of the 3D walls from the size, the number of
    // series and the 3D percent (see Depth3D); the drawing uses the same
    // depth.
    void CalcSize3DWalls();
    int GetSeriesWidth3D() const { return FSeriesWidth3D; }
    int GetSeriesHeight3D() const { return FSeriesHeight3D; }

    void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
    // Frees the series the chart owns and detaches the others.
    void BeforeDestruction() noexcept override;

private:
    friend class TChartSeries;
    void AddSeries(TChartSeries* S);
    void RemoveSeries(TChartSeries* S);

    std::unique_ptr<TChartAxis> FLeftAxis;
    std::unique_ptr<TChartAxis> FBottomAxis;
    // The attached series, in attachment order; not owned (a series is a
    // component with its own owner).
    std::vector<TChartSeries*> FSeriesList;
    int FSeriesWidth3D = 0;
    int FSeriesHeight3D = 0;
};

// A line across the plot at one value of the value axis (a target, a
// limit), with a caption at its far end. The value axis's automatic range
// takes the value in.
struct TChartReferenceLine {
    bool Visible = false;
    double Value = 0;
    std::string Caption;
    TColor Color = clRed;
};

class TCustomChart : public TCustomAxisPanel {
public:
    explicit TCustomChart(TComponent* AOwner);
    std::string_view ClassName() const override { return "TCustomChart"; }

    TChartTitle* GetTitle() const { return FTitle.get(); }
    TCustomChartLegend* GetLegend() const { return FLegend.get(); }
    TCustomTeeGradient* GetGradient() const { return FGradient.get(); }
    // The colours of the grid, axis lines, 3D walls and legend frame.
    const TChartLook& GetLook() const { return FLook; }
    void SetLook(const TChartLook& Value) { FLook = Value; }

    // The locale the chart writes its numbers in (value formats, axis
    // labels, marks, legend): a language tag such as "de-DE", or "" for "."
    // and ",". An unknown one raises EConvertError naming it, and the chart
    // keeps its locale.
    const std::string& GetLocale() const { return FLocale->Name; }
    void SetLocale(const std::string& Value);
    const TChartLocale& GetLocaleData() const { return *FLocale; }
    // The colours of series whose colour is clDefault, by their place in
    // the drawing (groups counted): the first such series after the first
    // takes Palette[0], the next Palette[1], and so on round; the first
    // series takes the automatic colour 0. Empty (the default): series K
    // takes automatic colour K.
    const std::vector<TColor>& GetPalette() const { return FPalette; }
    void SetPalette(const std::vector<TColor>& Value);
    // The colour that series number Index of the drawing (groups counted)
    // takes when its own colour is clDefault.
    TColor PaletteColor(int Index) const;
    // How bars and areas of several series share a category (default
    // sgNone). Lines and points are never piled.
    TSeriesStacking GetStacking() const { return FStacking; }
    void SetStacking(TSeriesStacking Value);
    // The reference line (default: none). A value that is not finite raises
    // ERangeError and the line stays as it was.
    const TChartReferenceLine& GetReferenceLine() const { return FReferenceLine; }
    void SetReferenceLine(const TChartReferenceLine& Value);

    // The title's lines joined by spaces, and a plain-language summary of
    // what the chart shows (kind, series, points, range of values). An SVG
    // document of the chart carries both as its title and description.
    std::string GetTitleText() const;
    std::string Describe() const;

    // Reads ASeries' points from its data source. The plain chart knows no
    // data sources and leaves the points alone; the data-aware chart reads
    // the records of a data set.
    virtual void CheckDatasource(TChartSeries& ASeries);

    // The areas of the points of the chart as TeeCreateBitmap(R, Scale)
    // draws it, from the same layout and geometry, in drawing order (an
    // area drawn later lies over the ones before it). Null points, points of
    // colour clNone and points outside the plot have none. Raises
    // EInvalidGraphic for a size or scale out of range, as TeeCreateBitmap.
    std::vector<TChartHotspot> Hotspots(const TRect& R, double Scale = 1) const;

protected:
    void Draw(TBitmap& Bitmap, double Scale) const override;
    bool DrawCoversBitmap(int Width, int Height, double Scale) const override;
    std::string DrawVector(TVectorFormat Format, TColor ABackColor, int Width, int Height,
                           double Scale) const override;

private:
    std::unique_ptr<TChartTitle> FTitle;
    std::unique_ptr<TCustomChartLegend> FLegend;
    std::unique_ptr<TCustomTeeGradient> FGradient;
    TChartLook FLook;
    std::shared_ptr<const TChartLocale> FLocale = FindChartLocale("");
    std::vector<TColor> FPalette;
    TSeriesStacking FStacking = TSeriesStacking::sgNone;
    TChartReferenceLine FReferenceLine;
};

class TChart : public TCustomChart {
public:
    explicit TChart(TComponent* AOwner) : TCustomChart(AOwner) {}
    std::string_view ClassName() const override { return "TChart"; }
};

}  // namespace pv
