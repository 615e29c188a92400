#pragma once
// The unit Norq_Plotvane: TNorq_DBPlotvane, a non-visual, data-aware chart
// component that renders its hidden chart to a bitmap, a GIF and a JPEG,
// answers web requests with the pictures, and keeps a preview image up to
// date while it is designed.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contracts/ChartLibrary.h"
#include "contracts/Database.h"
#include "contracts/Framework.h"
#include "contracts/Pictures.h"
#include "contracts/Streams.h"
#include "contracts/WebResponse.h"

namespace Norq_Plotvane {

// How the preview image is filled.
enum class TPreviewFormat : std::uint8_t {
    pfBMP,  // the preview receives a copy of the snapshot bitmap
};

// The requested series type. The component's series is the bar series made
// at construction; this value is held and stored, see SetSeriesStyle.
enum class TSeriesStyle : std::uint8_t {
    ssLineSeries,  // a line series
};

// How the points are coloured at each render.
enum class TSeriesColorMode : std::uint8_t {
    scSingleColor,       // leave the point colours as the last pass set them
    scColorEachPoint,    // let the chart pick a colour per point
    scPositiveNegative,  // series colour for values >= 0, SeriesColorNegative below
};

// The kind of series the chart draws (property SeriesType). Stored only
// when it is not stBar, so a form of a chart that never set it is what it
// always was.
enum class TPlotvaneSeriesType : std::uint8_t {
    stBar,       // vertical bars: the series made at construction (default)
    stHorizBar,  // horizontal bars: values along the bottom, labels on the left
    stLine,      // a line through the points
    stArea,      // a line with the area down to the zero line filled
    stPoint,     // a symbol at each point
    stPie,       // a pie of the values, without axes
};

// The series class of a type, nullptr for an ordinal outside the
// enumeration; and the type of a series.
TChartSeriesClass SeriesClassOf(TPlotvaneSeriesType Type);
TPlotvaneSeriesType SeriesTypeOf(const TChartSeries& S);
// The look the chart is drawn in (property Theme): the defaults of its
// colours, fonts and lines. Whatever the form sets otherwise wins over the
// theme. Stored only when it is not thClassic, so a form of a chart that
// never set it is what it always was.
enum class TPlotvaneTheme : std::uint8_t {
    thClassic,  // the chart's own look (default)
    thModern,   // light: colour-blind-safe palette, light grid, no legend frame, a larger title
    thDark,     // dark background, light text and grid, a palette bright enough for it
};

class TNorq_DBPlotvane;
class TNorq_DBPlotvaneSeries;

// One point's area on the picture, with the texts the templates give it
// (Norq_PlotvaneHotspots.cpp).
struct THotspotArea {
    pv::TChartHotspot Spot;
    // The hint, plain text (each writer escapes it for where it goes).
    std::string Hint;
    // The link, a relative or http(s) URL whose substituted parts are
    // percent-encoded; empty: none.
    std::string Url;
};

// The chart's reference line (property ReferenceLine of TNorq_DBPlotvane):
// a line across the plot at Value on the value axis (upright across
// horizontal bars) with Caption at its far end, such as a target. Writing
// Value or Caption shows the line; Visible = False hides it again. Color
// clDefault (the default) is the theme's colour for it (red in the classic
// look). The value axis's automatic range takes Value in. Owned by its
// chart; the chart stores it only when something in it differs from a new
// line.
class TNorq_DBPlotvaneReferenceLine : public pv::TPersistent {
public:
    // AChart: the chart told of every change; not owned, nullptr for a line
    // of no chart.
    explicit TNorq_DBPlotvaneReferenceLine(TNorq_DBPlotvane* AChart = nullptr) : FChart(AChart) {}
    TNorq_DBPlotvaneReferenceLine(const TNorq_DBPlotvaneReferenceLine&) = delete;
    TNorq_DBPlotvaneReferenceLine& operator=(const TNorq_DBPlotvaneReferenceLine&) = delete;

    std::string_view ClassName() const override { return "TNorq_DBPlotvaneReferenceLine"; }
    const pv::TClassInfo* ClassInfo() const override;
    static const pv::TClassInfo& StaticClassInfo();
    // Copies every property of another reference line.
    void Assign(const pv::TPersistent& Source) override;

    // A value that is not finite raises ERangeError naming the chart and
    // the value; the line stays as it was.
    double GetValue() const { return FValue; }
    void SetValue(double Value);
    const std::string& GetCaption() const { return FCaption; }
    void SetCaption(const std::string& Value);
    TColor GetColor() const { return FColor; }
    void SetColor(TColor Value);
    bool GetVisible() const { return FVisible; }
    void SetVisible(bool Value);
    // Whether anything differs from a new line.
    bool IsSet() const;

private:
    void Changed();
    TNorq_DBPlotvane* FChart;
    double FValue = 0;
    std::string FCaption;
    TColor FColor = pv::clDefault;
    bool FVisible = false;
};

// The component's link to its data source. The database layer calls it when
// the link's active state changes and when a record is posted.
class TNorq_DBPlotvaneDataLink : public TDataLink {
public:
    explicit TNorq_DBPlotvaneDataLink(TNorq_DBPlotvane* AOwnerComponent);
    // Clears OwnerComponent before the base detaches the link, so no
    // callback caused by the detachment reaches the component.
    ~TNorq_DBPlotvaneDataLink() override;

    // The component that created the link; not owned. nullptr once the
    // link is being destroyed.
    TNorq_DBPlotvane* OwnerComponent = nullptr;

protected:
    // Re-binds the component's series and refreshes its preview.
    void ActiveChanged() override;
    // Refreshes the preview; nothing is written into the record.
    void UpdateData() override;
};

class TNorq_DBPlotvane : public TComponent {
public:
    // Builds the pictures, the stream, the hidden chart with its title,
    // legend and one bar series, and last the data link. Renders nothing.
    explicit TNorq_DBPlotvane(TComponent* AOwner);
    ~TNorq_DBPlotvane() override;

    std::string_view ClassName() const override { return "TNorq_DBPlotvane"; }
    const pv::TClassInfo* ClassInfo() const override;
    static const pv::TClassInfo& StaticClassInfo();

    // Refreshes once after a form load (the base clears Loading first).
    void Loaded() override;
    // Drops the data source, and the preview image, when they are removed.
    void Notification(TComponent* AComponent, TOperation Operation) override;

    // The refresh: when a preview image is held and the load gate is open,
    // renders, copies the snapshot into the preview and, outside the
    // designer, calls OnAfterDraw.
    void DrawPreviewImage();
    // The render: colours the points by the colour mode, draws the chart
    // into a new snapshot of its width x height on white, and refills the
    // GIF and JPEG pictures. Nothing while the load gate is closed.
    void DrawInternalImages();

    // Render, then return the owned picture. The bitmap is valid until the
    // next render; the GIF and JPEG pictures live as long as the component.
    TBitmap* GetBMPPicture();
    TGIFImage* GetGIFPicture();
    TJPEGImage* GetJPEGPicture();

    // Answer a web request with the chart as "image/gif" / "image/jpeg".
    void GetGifResponse(TWebResponse& Response);
    void GetJPegResponse(TWebResponse& Response);

    // Re-binds the series to the held data source's current data set.
    // Called by the data link.
    void ActiveChanged();

    // Monochrome drawing; not published, never stored.
    bool GetMonochrome() const;
    void SetMonochrome(bool Value);
    // The scale the pictures are drawn at, 1..4 (default 1): a chart of
    // Width x Height drawn with everything Scale times larger, on
    // round(Width * Scale) x round(Height * Scale) pixels, for screens of
    // that pixel density. Not published, never stored. A value out of range
    // raises ERangeError and the held value stays.
    double GetScale() const { return FScale; }
    void SetScale(double Value);
    // Colours the points by the colour mode, then draws the chart as an SVG
    // document or a PDF page at the scale, laid out as the bitmap is.
    // Nothing of the bitmap, GIF or JPEG changes. While the load gate is
    // closed, an empty string. Transparent: on no background at all, the
    // chart's Color and gradient left out (see TeeDrawBitmap).
    std::string GetVectorPicture(pv::TVectorFormat Format, bool Transparent = false);
    // The picture GetBMPPicture gives, drawn on no background: a new bitmap
    // with alpha (TBitmap::HasAlpha), the chart's Color and gradient left
    // out, for a PNG that shows what lies behind it. Nothing of the
    // snapshot, GIF or JPEG changes. While the load gate is closed, an empty
    // bitmap.
    std::unique_ptr<TBitmap> GetTransparentBitmap();

    // Published properties, in declaration order.
    TImage* GetPreviewImage() const { return FPreviewImage.get(); }
    void SetPreviewImage(TImage* Value);
    TFont* GetTitleFont() const;
    void SetTitleFont(TFont* Value);
    TColor GetTitleColor() const;
    void SetTitleColor(TColor Value);
    TStrings* GetTitleText() const;
    void SetTitleText(TStrings* Value);
    TAlignment GetTitleAlignment() const;
    void SetTitleAlignment(TAlignment Value);
    TColor GetColor() const;
    void SetColor(TColor Value);
    int GetHeight() const;
    void SetHeight(int Value);
    int GetWidth() const;
    void SetWidth(int Value);
    std::string GetAxisLeftTitleCaption() const;
    void SetAxisLeftTitleCaption(const std::string& Value);
    TFont* GetAxisLeftTitleFont() const;
    void SetAxisLeftTitleFont(TFont* Value);
    std::string GetAxisBottomTitleCaption() const;
    void SetAxisBottomTitleCaption(const std::string& Value);
    TFont* GetAxisBottomTitleFont() const;
    void SetAxisBottomTitleFont(TFont* Value);
    const TNotifyEvent& GetOnAfterDraw() const { return FOnAfterDraw; }
    void SetOnAfterDraw(const TNotifyEvent& Value) { FOnAfterDraw = Value; }
    bool GetLegendVisible() const;
    void SetLegendVisible(bool Value);
    TLegendStyle GetLegendStyle() const;
    void SetLegendStyle(TLegendStyle Value);
    TColor GetGradientStartColor() const;
    void SetGradientStartColor(TColor Value);
    TColor GetGradientEndColor() const;
    void SetGradientEndColor(TColor Value);
    bool GetGradientVisible() const;
    void SetGradientVisible(bool Value);
    TPreviewFormat GetPreviewFormat() const { return FPreviewFormat; }
    void SetPreviewFormat(TPreviewFormat Value);
    // The JPEG quality, 1..100 (default 80). A value outside the range raises
    // ERangeError and the held value stays.
    std::int32_t GetJPEGQuality() const { return FJPEGQuality; }
    void SetJPEGQuality(std::int32_t Value);
    bool GetView3D() const;
    void SetView3D(bool Value);
    int GetView3DPercent() const;
    void SetView3DPercent(int Value);
    TSeriesStyle GetSeriesStyle() const { return FSeriesStyle; }
    void SetSeriesStyle(TSeriesStyle Value);
    TDataSource* GetDataSource() const { return FDataSource.get(); }
    void SetDataSource(TDataSource* Value);
    std::string GetXLabelsSource() const;
    void SetXLabelsSource(const std::string& Value);
    std::string GetXValueSource() const;
    void SetXValueSource(const std::string& Value);
    std::string GetYValueSource() const;
    void SetYValueSource(const std::string& Value);
    TColor GetSeriesColor() const;
    void SetSeriesColor(TColor Value);
    TColor GetSeriesColorNegative() const { return FSeriesColorNegative; }
    void SetSeriesColorNegative(TColor Value);
    TSeriesColorMode GetSeriesColorMode() const { return FSeriesColorMode; }
    void SetSeriesColorMode(TSeriesColorMode Value);
    TSeriesMarksStyle GetMarksStyle() const;
    void SetMarksStyle(TSeriesMarksStyle Value);
    bool GetMarksVisible() const;
    void SetMarksVisible(bool Value);
    TColor GetMarksBackColor() const;
    void SetMarksBackColor(TColor Value);
    TFont* GetMarksFont() const;
    void SetMarksFont(TFont* Value);
    std::string GetValueFormat() const;
    void SetValueFormat(const std::string& Value);
    // The pointer properties read fallbacks (false, false, psRectangle, 4, 4)
    // while the series has no pointer; every write refreshes.
    bool GetPointerVisible() const;
    void SetPointerVisible(bool Value);
    bool GetPointerDraw3D() const;
    void SetPointerDraw3D(bool Value);
    TSeriesPointerStyle GetPointerStyle() const;
    void SetPointerStyle(TSeriesPointerStyle Value);
    int GetPointerHorizSize() const;
    void SetPointerHorizSize(int Value);
    int GetPointerVertSize() const;
    void SetPointerVertSize(int Value);
    // The series' class, read from the series itself. Writing another value
    // replaces the series through ChangeSeriesType, keeping what was set on
    // it (colours, colour mode, marks, value format, data binding, field
    // names, points and their colours), turns the pointer's inflate-margins
    // flag on for line, area and point series, recomputes the 3D walls and
    // refreshes once. An ordinal outside the enumeration raises ERangeError.
    TPlotvaneSeriesType GetSeriesType() const;
    void SetSeriesType(TPlotvaneSeriesType Value);
    // The locale of the chart's numbers (value format, axis labels, marks,
    // legend): a language tag such as "de-DE"; "" (the default, not
    // stored) writes "." and ",". An unknown locale raises EConvertError
    // naming it, and the old one stays.
    std::string GetLocale() const;
    void SetLocale(const std::string& Value);
    // The field whose distinct values split the records into one series
    // each (empty, the default: one series). Lives in the series; a write
    // refreshes only while the data set is open, like the field names.
    // Stored only when not empty.
    std::string GetGroupSource() const;
    void SetGroupSource(const std::string& Value);
    // How bars and areas of several series share a category (default
    // sgNone: bars side by side). Lives in the chart; stored only when not
    // sgNone. An ordinal outside the enumeration raises ERangeError.
    TSeriesStacking GetStacking() const;
    void SetStacking(TSeriesStacking Value);
    // The colours of the series after the first, as a list of colours
    // separated by commas or spaces, each spelt as StringToColor reads
    // (names, #rrggbb, $00BBGGRR); read back with names where the colour
    // has one, else #rrggbb. The first series is drawn in SeriesColor.
    // Lives in the chart; default DefaultSeriesPalette, stored only when it
    // differs. A colour that cannot be read raises EConvertError naming it;
    // the palette then stays as it was.
    std::string GetSeriesPalette() const;
    void SetSeriesPalette(const std::string& Value);
    // Distinct hues that stay apart for the common kinds of colour
    // blindness, after the default blue of the first series: orange,
    // bluish green, vermilion, reddish purple, sky blue, yellow and blue.
    static constexpr const char* DefaultSeriesPalette = "#e69f00, #009e73, #d55e00, #cc79a7, #56b4e9, #f0e442, #0072b2";
    // Whether the value axis (the left one, or the bottom one for horizontal
    // bars) is logarithmic. Default false, stored only when true. A chart
    // with a value at or below 0 then fails to draw, naming the series and
    // the point.
    bool GetValueAxisLogarithmic() const;
    void SetValueAxisLogarithmic(bool Value);

    // The further series drawn after the chart's own (see
    // TNorq_DBPlotvaneSeries, which adds itself when it is given this
    // chart and leaves when it goes); not owned.
    void AddExtraSeries(TNorq_DBPlotvaneSeries* ASeries);
    void RemoveExtraSeries(TNorq_DBPlotvaneSeries* ASeries);
    int ExtraSeriesCount() const;
    // The look the pictures are drawn in. A theme supplies the colours,
    // fonts and lines of every look property that holds its default value
    // (a property set to anything else keeps it), and of the parts no
    // property names (axis labels, legend text and box, grid, axis lines,
    // 3D walls); nothing it supplies is written into the properties, so
    // the getters and a stored form show only what was set. An ordinal
    // outside the enumeration raises ERangeError.
    TPlotvaneTheme GetTheme() const { return FTheme; }
    void SetTheme(TPlotvaneTheme Value);
    // The hint and the link of each point's area on a web page: text with
    // fields in braces, {label}, {value} (in the value format), {series},
    // {index} (from 0), {field:NAME} (field NAME of the point's record, read
    // and kept with the points) and {param:NAME} (the query's parameter
    // NAME as the request gave it, else the form's); "{{" and "}}" are
    // braces. An empty hint template (the default) gives "label: value",
    // after the series' title when the chart draws several; an empty link
    // template gives no links. A template with an unknown field or an
    // unclosed brace raises EConvertError naming the property and the field,
    // and the old template stays. Stored only when not empty.
    const std::string& GetHintTemplate() const { return FHintTemplate; }
    void SetHintTemplate(const std::string& Value);
    const std::string& GetLinkTemplate() const { return FLinkTemplate; }
    void SetLinkTemplate(const std::string& Value);
    // The areas of the points on the picture the pictures' render gives
    // (the same width, height, scale, theme and locale), with their hints
    // and links; in drawing order, later areas over earlier ones. A link
    // that is not relative or http(s) after substitution is dropped, and a
    // warning naming the chart and the link is added to Warnings (once per
    // call) when given. While the load gate is closed, none.
    std::vector<THotspotArea> GetHotspots(std::vector<std::string>* Warnings = nullptr);
    // The reference line, owned (see TNorq_DBPlotvaneReferenceLine). The
    // setter copies Value's properties; nullptr changes nothing.
    TNorq_DBPlotvaneReferenceLine* GetReferenceLine() const { return FReferenceLine.get(); }
    void SetReferenceLine(TNorq_DBPlotvaneReferenceLine* Value);
    // Hands the reference line to the chart and refreshes; called by the
    // line when it changes.
    void ReferenceLineChanged();

    // The owned objects, for hosts and tests that look inside.
    TDBChart* GetInternalChart() const { return InternalChart.get(); }
    TChartSeries* GetChartSeries() const { return ChartSeries.get(); }
    TNorq_DBPlotvaneDataLink* GetChartDataLink() const { return ChartDataLink.get(); }
    TMemoryStream* GetResponseStream() const { return ResponseStream.get(); }

protected:
    // Releases the stream, the snapshot, the pictures, the series (through
    // the chart, which owns it), the chart and the data link, in that order;
    // the base then sends the removal notices. The preview image, the data
    // source and the OnAfterDraw handler are only referenced and left alone.
    void BeforeDestruction() noexcept override;

private:
    // Closed while Loading is set and Designing is not; nothing renders then.
    bool LoadGateClosed() const;
    // Also run when construction fails part-way; members never created are
    // skipped.
    void ReleaseMembers() noexcept;
    void AfterDraw();
    template <class Picture>
    void SendPicture(TWebResponse& Response, const Picture& APicture, const char* ContentType);
    // The series' pointer when it is a point or a line series, else nullptr.
    TSeriesPointer* SeriesPointer() const;
    // Hands the pointer values a form wrote while loading to the pointer of
    // a series that has one now, and forgets them.
    void ApplyLoadedPointer();

    // Pointer values a stored form wrote while the series had no pointer.
    // SeriesType comes after the pointer properties in the property order,
    // so the line or point series it then makes takes these values instead
    // of losing them; outside loading nothing is kept.
    struct TLoadedPointer {
        std::optional<bool> Visible;
        std::optional<bool> Draw3D;
        std::optional<TSeriesPointerStyle> Style;
        std::optional<int> HorizSize;
        std::optional<int> VertSize;
    };
    TLoadedPointer FLoadedPointer;

    // Sets the point colours the colour mode asks for, then those of the
    // further series by their own modes.
    void ColorPoints();
    // The further series; guarded, so one that is gone is passed over.
    std::vector<pv::TComponentPtr<TComponent>> FExtraSeries;
    // Colours the points and runs Draw with the theme's look on the chart,
    // the chart's own values back afterwards, also when Draw fails
    // (Norq_PlotvaneTheme.cpp).
    void DrawThemed(const std::function<void()>& Draw);
    class TThemeScope;

    std::unique_ptr<TNorq_DBPlotvaneDataLink> ChartDataLink;
    // Owned by this component as its owner (in its list of components), and
    // freed by ReleaseMembers in the release order, which clears the guard
    // first; were the chart freed otherwise, the guard would turn null when
    // the base part of its teardown step began.
    pv::TComponentPtr<TDBChart> InternalChart;
    // Owned by InternalChart, which frees it; replaced only through
    // ChangeSeriesType.
    pv::TComponentPtr<TChartSeries> ChartSeries;
    pv::TComponentPtr<TImage> FPreviewImage;
    std::unique_ptr<TGIFImage> GifPicture;
    std::unique_ptr<TJPEGImage> JpegPicture;
    std::int32_t FJPEGQuality = 80;
    std::unique_ptr<TBitmap> SnapshotBitmap;
    std::unique_ptr<TMemoryStream> ResponseStream;
    TNotifyEvent FOnAfterDraw;
    TPreviewFormat FPreviewFormat = TPreviewFormat::pfBMP;
    TSeriesStyle FSeriesStyle = TSeriesStyle::ssLineSeries;
    // Not owned; registered for its free notice, dropped in Notification.
    pv::TComponentPtr<TDataSource> FDataSource;
    TColor FSeriesColorNegative = 0x0000FF;
    TSeriesColorMode FSeriesColorMode = TSeriesColorMode::scColorEachPoint;
    double FScale = 1;
    std::string FHintTemplate, FLinkTemplate;
    // The fields of the records the templates name, kept by the chart.
    void KeepTemplateFields();
    TPlotvaneTheme FTheme = TPlotvaneTheme::thClassic;
    std::unique_ptr<TNorq_DBPlotvaneReferenceLine> FReferenceLine;
};

}  // namespace Norq_Plotvane
