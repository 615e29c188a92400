#pragma once
// The parts of a chart: title, axes and their titles, legend, gradient.
// Each part tells its chart of every change through the chart's Changed().

#include <cstdint>
#include <memory>
#include <string>

#include "platform/rtl/Object.h"
#include "platform/rtl/Strings.h"
#include "platform/vcl/Color.h"
#include "platform/vcl/Font.h"

namespace pv {

class TControl;

// Text alignment of the host framework.
enum class TAlignment : std::uint8_t {
    taLeftJustify,   // flush left
    taRightJustify,  // flush right
    taCenter,        // centred
};

// What the legend lists.
enum class TLegendStyle : std::uint8_t {
    lsAuto,        // the series' points when the chart has one series, else the series
    lsSeries,      // one row per series: its colour and title
    lsValues,      // one row per point of the first series: colour, label and value
    lsLastValues,  // one row per series: its colour, title and last value
};

// A chart part with a font. SetFont copies the given font's attributes into
// the part's own font object; the caller keeps its object.
class TChartFontObject : public TPersistent {
public:
    explicit TChartFontObject(TControl* AParent);
    std::string_view ClassName() const override { return "TChartFontObject"; }
    TFont* GetFont() const { return FFont.get(); }
    // Copies AFont's attributes (nullptr is ignored).
    void SetFont(const TFont* AFont);

protected:
    void Changed();
    TControl* FParent;

private:
    std::unique_ptr<TFont> FFont;
};

class TChartTitle : public TChartFontObject {
public:
    // Defaults: visible, clDefault (no box filled), centred, one empty list,
    // font Sans 12 pt bold navy.
    explicit TChartTitle(TControl* AParent);
    std::string_view ClassName() const override { return "TChartTitle"; }

    TColor GetColor() const { return FColor; }
    void SetColor(TColor Value);
    TAlignment GetAlignment() const { return FAlignment; }
    void SetAlignment(TAlignment Value);
    bool GetVisible() const { return FVisible; }
    void SetVisible(bool Value);
    // The title's own lines.
    TStringList* GetText() const { return FText.get(); }

private:
    TColor FColor = clDefault;
    TAlignment FAlignment = TAlignment::taCenter;
    bool FVisible = true;
    std::unique_ptr<TStringList> FText;
};

class TChartAxisTitle : public TChartFontObject {
public:
    // Defaults: empty caption, font Sans 9 pt black.
    explicit TChartAxisTitle(TControl* AParent);
    std::string_view ClassName() const override { return "TChartAxisTitle"; }
    const std::string& GetCaption() const { return FCaption; }
    void SetCaption(const std::string& Value);

private:
    std::string FCaption;
};

class TChartAxis : public TPersistent {
public:
    // Defaults: visible, automatic range, grid on, labels in Sans 8 pt.
    explicit TChartAxis(TControl* AParent);
    std::string_view ClassName() const override { return "TChartAxis"; }

    TChartAxisTitle* GetTitle() const { return FTitle.get(); }
    TFont* GetLabelsFont() const { return FLabelsFont.get(); }
    bool GetVisible() const { return FVisible; }
    void SetVisible(bool Value);
    bool GetAutomatic() const { return FAutomatic; }
    void SetAutomatic(bool Value);
    double GetMinimum() const { return FMinimum; }
    double GetMaximum() const { return FMaximum; }
    // A fixed range (turns Automatic off).
    void SetMinMax(double AMin, double AMax);
    bool GetGridVisible() const { return FGridVisible; }
    void SetGridVisible(bool Value);
    // Whether the axis, when it carries the values, is logarithmic (default
    // false): ticks at powers of ten (and 2 and 5 times them), bars from
    // the axis's low end. Every value drawn on it must be above 0, and so
    // must a fixed range.
    bool GetLogarithmic() const { return FLogarithmic; }
    void SetLogarithmic(bool Value);

private:
    TControl* FParent;
    std::unique_ptr<TChartAxisTitle> FTitle;
    std::unique_ptr<TFont> FLabelsFont;
    bool FVisible = true;
    bool FAutomatic = true;
    double FMinimum = 0;
    double FMaximum = 0;
    bool FGridVisible = true;
    bool FLogarithmic = false;
};

class TCustomChartLegend : public TChartFontObject {
public:
    // Defaults: visible, lsAuto, font Sans 8 pt black, white box with a grey frame.
    explicit TCustomChartLegend(TControl* AParent);
    std::string_view ClassName() const override { return "TCustomChartLegend"; }
    bool GetVisible() const { return FVisible; }
    void SetVisible(bool Value);
    TLegendStyle GetLegendStyle() const { return FLegendStyle; }
    void SetLegendStyle(TLegendStyle Value);
    TColor GetColor() const { return FColor; }
    void SetColor(TColor Value);

private:
    bool FVisible = true;
    TLegendStyle FLegendStyle = TLegendStyle::lsAuto;
    TColor FColor = clWhite;
};

// The colours of the chart's own lines and walls, which belong to no part:
// grid, axis lines, the walls of the 3D view and the legend's frame. The
// defaults are the chart's classic greys: light grid lines that stay behind
// the data, axis lines dark enough to frame it, walls lit from the upper
// left.
struct TChartLook {
    TColor Grid = RGB(0xE0, 0xE0, 0xE0);
    TColor Grid3D = RGB(0xD2, 0xD2, 0xD2);
    TColor Axis = RGB(0x6E, 0x6E, 0x6E);
    TColor BackWall = RGB(0xFA, 0xFA, 0xFA);
    TColor SideWall = RGB(0xEC, 0xEC, 0xEC);
    TColor Floor = RGB(0xE0, 0xE0, 0xE0);
    TColor WallEdge = RGB(0xB4, 0xB4, 0xB4);
    // clNone: the legend has no frame.
    TColor LegendFrame = RGB(0xB4, 0xB4, 0xB4);
};

class TCustomTeeGradient : public TPersistent {
public:
    // Defaults: hidden, from clWhite at the top to a pale blue ($F0E6DC) at the bottom.
    explicit TCustomTeeGradient(TControl* AParent) : FParent(AParent) {}
    std::string_view ClassName() const override { return "TCustomTeeGradient"; }
    bool GetVisible() const { return FVisible; }
    void SetVisible(bool Value);
    TColor GetStartColor() const { return FStartColor; }
    void SetStartColor(TColor Value);
    TColor GetEndColor() const { return FEndColor; }
    void SetEndColor(TColor Value);

private:
    TControl* FParent;
    bool FVisible = false;
    TColor FStartColor = clWhite;
    TColor FEndColor = 0xF0E6DC;
};

}  // namespace pv
