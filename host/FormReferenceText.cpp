#include "host/internal/FormReferenceText.h"

namespace plotvane::reference {

namespace {

// ---------------------------------------------------------------------------
// What the property tables do not say: one line per class, per published
// property (keyed by the class whose table declares it) and per value of
// an enumeration. FormReference checks that this table and the tables of
// the classes name the same things.

constexpr TMeaning MeaningTable[] = {
    // Classes, in the order of the reference.
    {"TNorq_DBPlotvane",
     "The chart: one series whose points come from the records of a data set, drawn on a picture of "
     "Width by Height pixels with a title, axes with titles, a legend and marks. The tools render it as "
     "GIF, JPEG, PNG, BMP, SVG and PDF pictures and serve it as `/<Name>.gif` and so on."},
    {"TNorq_DBPlotvaneSeries",
     "A further series of a chart, from a data source of its own (\"this year\" and \"last year\" from "
     "two queries): drawn after the chart's own series, in its own type, colours and marks, and listed in "
     "the legend by its Title. Opening, closing and posting its data set, and removing its data source, "
     "draw the chart again, as for the chart's own series. Kinds are drawn in a fixed order whatever the "
     "order of the series: areas, bars, lines, points."},
    {"TDataSource",
     "Hands the records of one data set to the charts that name it; a chart's DataSource names a data "
     "source, never a data set."},
    {"TMemDataSet",
     "A table written into the form itself: its fields and records are string lists. For data that is "
     "not in a database, and for trying a chart out."},
    {"TPgQuery",
     "The rows of one SQL statement on a PostgreSQL server. Its session only reads. A web request may set "
     "the parameters its Params declare."},
    {"TMariaDBQuery",
     "The rows of one SQL statement on a MariaDB or MySQL server, run as a prepared statement. Its session "
     "only reads. A web request may set the parameters its Params declare."},
    {"TSQLiteQuery",
     "The rows of one SQL statement on a SQLite database file, opened read-only. A web request may set "
     "the parameters its Params declare."},
    {"TSQLiteTable", "Every row of one table of a SQLite database file."},
    {"TDataModule",
     "A plain container of components, the usual root object of a form: it holds the data sets, data "
     "sources and charts, and reading it creates them all."},
    {"TImage",
     "An image holding a picture. A chart whose PreviewImage names it copies every new rendering into it "
     "(the live preview of a designer)."},
    {"TComponent", "The base of every component."},
    {"TFont", "A text face: the font of a chart's title, axis titles or marks."},
    {"TNorq_DBPlotvaneReferenceLine",
     "A line across a chart's plot at one value of the value axis, such as a target, with a caption at its "
     "right end (upright across horizontal bars, its caption at the top)."},
    {"TNorq_DBPlotvaneReferenceLine.Value",
     "The value the line is drawn at; the automatic value axis takes it in. Setting it shows the line."},
    {"TNorq_DBPlotvaneReferenceLine.Caption", "The text at the line's end. Setting it shows the line."},
    {"TNorq_DBPlotvaneReferenceLine.Color",
     "The colour of the line and its caption; `clDefault`, the default, is the theme's (red in the classic look)."},
    {"TNorq_DBPlotvaneReferenceLine.Visible", "Whether the line is drawn; `False` hides a line that is set."},

    // TComponent, the base of every component.
    {"TComponent.Name",
     "The component's name, written only in the object header (`object Name: TClass`), never as a "
     "property line. References and the tools' COMPONENT argument name a component by it, letter case "
     "ignored; it must be unique among the components of its owner.",
     "an identifier: letters, digits and `_`, not starting with a digit"},
    {"TComponent.Tag", "A number kept for the program's own use; nothing in Plotvane reads it."},

    // TNorq_DBPlotvane, in table order.
    {"TNorq_DBPlotvane.PreviewImage",
     "An image that receives a copy of the chart whenever a property changes (the live preview); `nil` "
     "for none, and then nothing renders until a picture is asked for."},
    {"TNorq_DBPlotvane.TitleFont",
     "The font of the title lines; its Color is the colour of the title text."},
    {"TNorq_DBPlotvane.TitleColor",
     "The fill of the box behind the title; `clDefault` and `clNone` fill nothing."},
    {"TNorq_DBPlotvane.TitleText",
     "The title, one line each, above the plot; without lines (or with empty ones only) there is no title "
     "and no room is taken."},
    {"TNorq_DBPlotvane.TitleAlignment", "Where the title lines stand across the chart's width."},
    {"TNorq_DBPlotvane.Color",
     "The background of the whole picture (unless GradientVisible); `clNone` and `clDefault` leave it "
     "white."},
    {"TNorq_DBPlotvane.Height", "The picture's height in pixels (times the scale of a larger rendering)."},
    {"TNorq_DBPlotvane.Width", "The picture's width in pixels (times the scale of a larger rendering)."},
    {"TNorq_DBPlotvane.AxisLeftTitleCaption",
     "The title written upwards beside the left axis; empty for none."},
    {"TNorq_DBPlotvane.AxisLeftTitleFont", "The font of the left axis title."},
    {"TNorq_DBPlotvane.AxisBottomTitleCaption", "The title written under the bottom axis; empty for none."},
    {"TNorq_DBPlotvane.AxisBottomTitleFont", "The font of the bottom axis title."},
    {"TNorq_DBPlotvane.OnAfterDraw",
     "The handler called after each preview refresh and before each web answer of the component is "
     "filled; never while the form is being designed."},
    {"TNorq_DBPlotvane.LegendVisible", "Whether the legend is drawn, in a box right of the plot."},
    {"TNorq_DBPlotvane.LegendStyle", "What the legend lists: the points or the series."},
    {"TNorq_DBPlotvane.GradientStartColor", "The colour at the top of the background gradient."},
    {"TNorq_DBPlotvane.GradientEndColor", "The colour at the bottom of the background gradient."},
    {"TNorq_DBPlotvane.GradientVisible",
     "Whether the background is a gradient from GradientStartColor at the top to GradientEndColor at the "
     "bottom, instead of Color."},
    {"TNorq_DBPlotvane.PreviewFormat", "How the preview image is filled."},
    {"TNorq_DBPlotvane.JPEGQuality",
     "The quality of the JPEG pictures, 1 (smallest file) to 100 (best picture)."},
    {"TNorq_DBPlotvane.View3D",
     "Whether the chart is drawn in 3D: bars, lines and walls get depth, a pie is tilted and given a rim."},
    {"TNorq_DBPlotvane.View3DPercent",
     "The depth of the 3D view as a percentage of the plot's size; a value outside 1 to 100 is drawn as the "
     "nearer end."},
    {"TNorq_DBPlotvane.SeriesStyle",
     "Kept and stored, and changes nothing: its only value is `ssLineSeries`. The kind of series is "
     "SeriesType."},
    {"TNorq_DBPlotvane.DataSource",
     "The data source whose data set gives the points, one per record, read again whenever the data set "
     "opens, closes or changes; `nil` for no points."},
    {"TNorq_DBPlotvane.XLabelsSource",
     "The field whose values label the points (on the axis, in the legend and in marks); empty for none.",
     "a field name of the data set, or empty"},
    {"TNorq_DBPlotvane.XValueSource",
     "The field of each point's X value; empty places the points by record number.",
     "a field name of the data set, or empty"},
    {"TNorq_DBPlotvane.YValueSource",
     "The field of each point's value; empty gives no points. A null value leaves a gap.",
     "a field name of the data set, or empty"},
    {"TNorq_DBPlotvane.SeriesColor",
     "The series' colour: of every point with `scSingleColor`, of the points of 0 and more with "
     "`scPositiveNegative`, and of the series' legend row."},
    {"TNorq_DBPlotvane.SeriesColorNegative",
     "With `scPositiveNegative`, the colour of the points below 0."},
    {"TNorq_DBPlotvane.SeriesColorMode", "How the points are coloured at each rendering."},
    {"TNorq_DBPlotvane.MarksStyle", "What the mark at each point says."},
    {"TNorq_DBPlotvane.MarksVisible", "Whether a mark, a small framed label, is drawn at each point."},
    {"TNorq_DBPlotvane.MarksBackColor", "The fill of the marks."},
    {"TNorq_DBPlotvane.MarksFont", "The font of the marks."},
    {"TNorq_DBPlotvane.ValueFormat",
     "The picture values are written by, in marks, the legend and (when it tells the steps apart) the "
     "value axis: `0` a digit, `#` a digit when significant, `,` thousands grouping, `.` the decimal "
     "point, `'text'` literal text, `;` between the positive, negative and zero sections; empty writes "
     "up to 15 significant digits."},
    {"TNorq_DBPlotvane.PointerVisible",
     "Whether line, area and point series draw a symbol at each point. A series without symbols (bars, "
     "pie) reads False here and the other pointer properties read their defaults."},
    {"TNorq_DBPlotvane.PointerDraw3D", "Whether the point symbols get depth in a 3D chart."},
    {"TNorq_DBPlotvane.PointerStyle", "The symbol drawn at each point."},
    {"TNorq_DBPlotvane.PointerHorizSize",
     "Half the width of the point symbol in pixels: it is 2 × size + 1 pixels wide; drawn as 0 to 100."},
    {"TNorq_DBPlotvane.PointerVertSize",
     "Half the height of the point symbol in pixels: it is 2 × size + 1 pixels high; drawn as 0 to 100."},
    {"TNorq_DBPlotvane.SeriesType",
     "The kind of series. Changing it keeps the colours, marks, value format, data binding and points."},
    {"TNorq_DBPlotvane.Locale",
     "The locale the chart writes its numbers in: a language tag such as `'de-DE'`, `'fr'` or `'en-US'`. "
     "The `.` and `,` of `ValueFormat` and of the axis labels become the locale's decimal and thousands "
     "separators (`1.234,5` in German). Empty (the default, not stored) writes `.` and `,`. A locale "
     "without data is an error naming it. A request's `locale=` parameter overrides it."},
    {"TNorq_DBPlotvane.GroupSource",
     "The field whose distinct values split the records into one series each (`SELECT month, region, "
     "SUM(revenue) ... GROUP BY month, region` with `region` draws a series per region), titled by the "
     "values in the order first met and coloured by SeriesPalette, the first in SeriesColor. The labels "
     "are those of all groups in the order first met; a group without a record for a label has a gap "
     "there. More than 64 groups, two records of one group for one label, or a field the data set lacks "
     "is an error; empty draws one series of every record.",
     "a field name of the data set, or empty"},
    {"TNorq_DBPlotvane.Stacking",
     "How the bars (either way) and the areas of several series share a label; lines and points are "
     "drawn over each other whatever it says."},
    {"TNorq_DBPlotvane.ValueAxisLogarithmic",
     "Whether the value axis is logarithmic: ticks at the powers of ten (with 2 and 5 times them when "
     "the axis has room), bars and areas from the axis's low end. Every value must then be above 0: a "
     "value at or below 0 is an error naming the series and the point. Default False, stored only when "
     "True."},
    {"TNorq_DBPlotvane.SeriesPalette",
     "The colours of the series after the first, in order, starting again from the first when there are "
     "more series; the first series is drawn in SeriesColor. The default hues stay apart for the common "
     "kinds of colour blindness. Empty: automatic colours.",
     "colours separated by commas or spaces, each a colour name, #rrggbb, #rgb or $00BBGGRR"},

    // Further series.
    {"TNorq_DBPlotvaneSeries.Chart", "The chart the series is drawn on; `nil` for none."},
    {"TNorq_DBPlotvaneSeries.DataSource",
     "The data source whose data set gives the series' points, one per record; `nil` for no points."},
    {"TNorq_DBPlotvaneSeries.XLabelsSource", "The field whose values label the points; empty for none.",
     "a field name of the data set, or empty"},
    {"TNorq_DBPlotvaneSeries.XValueSource",
     "The field of each point's X value; empty places the points by record number.",
     "a field name of the data set, or empty"},
    {"TNorq_DBPlotvaneSeries.YValueSource",
     "The field of each point's value; empty gives no points. A null value leaves a gap.",
     "a field name of the data set, or empty"},
    {"TNorq_DBPlotvaneSeries.SeriesType",
     "The kind of series, any but `stPie`: a pie is drawn alone, as the chart's own series (a chart whose "
     "own series is a pie draws that pie alone)."},
    {"TNorq_DBPlotvaneSeries.Title", "The series' name in the legend; empty: \"Series\" and its place among the chart's series, counted from 1 (the chart's own series is Series1)."},
    {"TNorq_DBPlotvaneSeries.SeriesColor",
     "The series' colour; `clDefault` takes the chart's SeriesPalette colour for its place."},
    {"TNorq_DBPlotvaneSeries.SeriesColorNegative",
     "With `scPositiveNegative`, the colour of the points below 0."},
    {"TNorq_DBPlotvaneSeries.SeriesColorMode",
     "How the points are coloured at each rendering; beside other series `scColorEachPoint` draws the "
     "series in its own colour."},
    {"TNorq_DBPlotvaneSeries.MarksVisible", "Whether a mark is drawn at each point."},
    {"TNorq_DBPlotvaneSeries.MarksStyle", "What the mark at each point says."},
    {"TNorq_DBPlotvaneSeries.ValueFormat",
     "The picture the series' values are written by in marks and the legend, as the chart's ValueFormat."},
    {"TNorq_DBPlotvane.Theme",
     "The look the chart is drawn in: the colours and fonts of every look property still at its starting "
     "value (or a colour drawn the same, such as `clWhite` for `Color`), and of the axis labels, legend, grid, "
     "axis lines and 3D walls. A property set to anything else keeps its value. Stored only when not "
     "`thClassic`; a request may choose another with `theme=`."},
    {"TNorq_DBPlotvane.HintTemplate",
     "The hint of each point's area on a web page (the image map's `title`, the SVG point's `<title>`): "
     "text with fields `{label}`, `{value}` (in ValueFormat), `{series}`, `{index}` (from 0), "
     "`{field:NAME}` (field NAME of the point's record) and `{param:NAME}` (the query's parameter as the "
     "request gave it); `{{` and `}}` are braces. Empty (the default, not stored): `label: value`, after "
     "the series' title when there are several. An unknown field is an error naming it; a field the data "
     "set lacks is an error when the data is read. The hint is plain text, escaped where it is written.",
     "text with fields in braces, or empty"},
    {"TNorq_DBPlotvane.LinkTemplate",
     "The link of each point's area, with the fields of HintTemplate, each percent-encoded: "
     "`/orders?month={label}&region={param:region}`. A link that is not relative or http(s) once filled "
     "in (`javascript:`, `data:`) is left out, with a warning in the log. Empty (the default, not "
     "stored): no links.",
     "a relative or http(s) URL with fields in braces, or empty"},
    {"TNorq_DBPlotvane.ReferenceLine",
     "A line across the plot at a value, with a caption (a target). Stored only when something in it is set."},

    // Data sources and data sets.
    {"TDataSource.DataSet",
     "The data set whose records the data source hands on; `nil` for none."},
    {"TDataSource.Enabled",
     "Whether the data source hands its data set on; a disabled one gives its charts no points."},
    {"TMemDataSet.FieldDefs",
     "The fields, one `name=type` line each, the type `ftString`, `ftInteger`, `ftFloat`, `ftDate`, `ftTime` "
     "or `ftDateTime`. Setting them empties the records, so they come before Records."},
    {"TMemDataSet.Records",
     "The records, one line each: the values in field order separated by commas, text in double quotes "
     "(`\"O\"\"Neil\"`), numbers as in C, dates and times as ISO text (`\"2026-03-05\"`, "
     "`\"14:30:00\"`, `\"2026-03-05 14:30:00\"`), nothing for null: `'\"Jan\",120.5'`."},
    {"TMemDataSet.Active",
     "Whether the data set is open, so that its records reach the charts; opened once the whole form is "
     "read."},
    {"TPgQuery.ConnectionString",
     "libpq's connection string: `host=db port=5432 dbname=sales user=charts`, a `postgresql://` URI or a "
     "database name; empty takes libpq's defaults from the environment. Keep a password out of it "
     "(`~/.pgpass`); when it is there, no message or listing shows it."},
    {"TPgQuery.SQL", "The statement, exactly one, on one or more lines; `:name` stands for a parameter."},
    {"TPgQuery.Params",
     "One line per parameter of the SQL: `name=value`, or `name:text(16)=ALL`, "
     "`name:integer(2000..2100)=2026`, `name:real(0..10)=1.5` for one a web request may set, the value "
     "after `=` used when the request does not. Values are bound, never pasted into the SQL."},
    {"TPgQuery.ConnectTimeout",
     "The seconds connecting (reaching the server and logging in), and again setting the session up, may "
     "take; 0 waits up to 120.",
     "0 to 2147483647"},
    {"TPgQuery.StatementTimeout",
     "The milliseconds the server may run the statement before it cancels it; 0 allows 300000.",
     "0 to 2147483647"},
    {"TPgQuery.Active",
     "Whether the query runs, so that its rows reach the charts; it runs once the whole form is read."},
    {"TMariaDBQuery.ConnectionString",
     "`key=value` pairs: `host=db port=3306 database=sales user=charts` (also `password`, `socket`, "
     "`optionfile`), or a database name. `host=localhost`, or none, is the server's Unix socket. Keep a "
     "password out of it, in the `[client]` group of an `optionfile`; when it is there, no message or "
     "listing shows it."},
    {"TMariaDBQuery.SQL",
     "The statement, exactly one, on one or more lines; `:name` stands for a parameter (a `?` of its own "
     "is refused)."},
    {"TMariaDBQuery.Params",
     "One line per parameter of the SQL: `name=value`, or `name:text(16)=ALL`, "
     "`name:integer(2000..2100)=2026`, `name:real(0..10)=1.5` for one a web request may set, the value "
     "after `=` used when the request does not. Values are bound to the prepared statement, never pasted "
     "into the SQL."},
    {"TMariaDBQuery.ConnectTimeout",
     "The seconds connecting (reaching the server, its greeting and logging in) may take; 0 waits up to "
     "120.",
     "0 to 2147483647"},
    {"TMariaDBQuery.StatementTimeout",
     "The milliseconds the server may run the statement before it stops it; the client waits 2000 more, "
     "in whole seconds, for any answer. 0 allows 300000.",
     "0 to 2147483647"},
    {"TMariaDBQuery.Active",
     "Whether the query runs, so that its rows reach the charts; it runs once the whole form is read."},
    {"TSQLiteQuery.DatabaseName",
     "The SQLite database file; a relative name is taken from the form file's folder. A missing file is "
     "an error: it is never created.",
     "a file name"},
    {"TSQLiteQuery.SQL",
     "The statement, exactly one, on one or more lines; `:name`, `@name` or `$name` stands for a "
     "parameter. A statement that writes fails."},
    {"TSQLiteQuery.Params",
     "One line per parameter of the SQL: `name=value`, or `name:text(16)=ALL`, "
     "`name:integer(2000..2100)=2026`, `name:real(0..10)=1.5` for one a web request may set, the value "
     "after `=` used when the request does not. Values are bound, never pasted into the SQL."},
    {"TSQLiteQuery.Active",
     "Whether the query runs, so that its rows reach the charts; it runs once the whole form is read."},
    {"TSQLiteTable.DatabaseName",
     "The SQLite database file; a relative name is taken from the form file's folder. A missing file is "
     "an error: it is never created.",
     "a file name"},
    {"TSQLiteTable.TableName", "The table, as SQLite spells its name; every column is read.", "a table name"},
    {"TSQLiteTable.Active",
     "Whether the table is read, so that its rows reach the charts; it is read once the whole form is "
     "read."},

    // TFont.
    {"TFont.Charset", "A character set number, kept and stored; drawing ignores it (all text is UTF-8).",
     "0 to 255"},
    {"TFont.Color", "The colour of the text."},
    {"TFont.Name",
     "The font family, found through fontconfig: any installed family, or `Sans`, `Serif`, `Monospace`; "
     "empty is `Sans`."},
    {"TFont.Pitch", "A pitch, kept and stored; drawing ignores it."},
    {"TFont.Size",
     "The size in points, a point being 4/3 pixels (96 dpi); 0 is 10, a negative size counts as positive, "
     "and sizes are drawn as 1 to 400."},
    {"TFont.Style", "Bold, italic, underlined and struck-out text, in any combination."},

    // Enumeration values.
    {"TAlignment.taLeftJustify", "flush left"},
    {"TAlignment.taRightJustify", "flush right"},
    {"TAlignment.taCenter", "centred"},
    {"TLegendStyle.lsAuto", "the points when the chart has one series, else the series"},
    {"TLegendStyle.lsSeries", "one row per series: its colour and title"},
    {"TLegendStyle.lsValues", "one row per point: its colour, label and value"},
    {"TLegendStyle.lsLastValues", "one row per series: its colour, title and last value"},
    {"TPreviewFormat.pfBMP", "the preview receives a copy of the rendered bitmap"},
    {"TSeriesStyle.ssLineSeries", "a line series (the value is kept; the series stays as SeriesType makes it)"},
    {"TSeriesColorMode.scSingleColor",
     "every point in SeriesColor; colours an earlier rendering gave the points stay"},
    {"TSeriesColorMode.scColorEachPoint", "each point in a colour of its own, picked by the chart"},
    {"TSeriesColorMode.scPositiveNegative", "SeriesColor for values of 0 and more, SeriesColorNegative below"},
    {"TSeriesMarksStyle.smValue", "the value, written by ValueFormat"},
    {"TSeriesMarksStyle.smPercent", "the value's share of the total of absolute values: `12 %`"},
    {"TSeriesMarksStyle.smLabel", "the point's label (its value when it has none)"},
    {"TSeriesMarksStyle.smLabelPercent", "label and share"},
    {"TSeriesMarksStyle.smLabelValue", "label and value"},
    {"TSeriesMarksStyle.smLegend", "what the legend shows for the point"},
    {"TSeriesMarksStyle.smPercentTotal", "share and total: `12 % of 130`"},
    {"TSeriesMarksStyle.smLabelPercentTotal", "label, share and total"},
    {"TSeriesMarksStyle.smXValue", "the X value"},
    {"TSeriesPointerStyle.psRectangle", "a filled square"},
    {"TSeriesPointerStyle.psCircle", "a filled circle"},
    {"TSeriesPointerStyle.psTriangle", "a triangle pointing up"},
    {"TSeriesPointerStyle.psDownTriangle", "a triangle pointing down"},
    {"TSeriesPointerStyle.psCross", "an upright cross (+)"},
    {"TSeriesPointerStyle.psDiagCross", "a diagonal cross (×)"},
    {"TSeriesPointerStyle.psStar", "both crosses"},
    {"TSeriesPointerStyle.psDiamond", "a filled diamond"},
    {"TSeriesPointerStyle.psSmallDot", "a dot of 2 pixels"},
    {"TPlotvaneSeriesType.stBar", "vertical bars, one per point"},
    {"TPlotvaneSeriesType.stHorizBar", "horizontal bars: the values along the bottom, the labels down the left"},
    {"TPlotvaneSeriesType.stLine", "a line through the points"},
    {"TPlotvaneSeriesType.stArea", "a line with the area down to the zero line filled"},
    {"TPlotvaneSeriesType.stPoint", "a symbol at each point"},
    {"TPlotvaneSeriesType.stPie", "a pie of the values, without axes"},
    {"TSeriesStacking.sgNone", "bars side by side, areas over each other"},
    {"TSeriesStacking.sgStacked",
     "bars in one pile, areas on top of each other; values below 0 pile down from 0, apart from the "
     "others"},
    {"TSeriesStacking.sgStacked100",
     "piled as `sgStacked`, each label's pile scaled to 100 % of the sum of its absolute values; the value "
     "axis is in percent"},
    {"TPlotvaneTheme.thClassic", "the chart's own look, as it always was"},
    {"TPlotvaneTheme.thModern",
     "light: a colour-blind-safe palette, light grid, no frame around the legend, a larger title"},
    {"TPlotvaneTheme.thDark", "a dark background with light text and grid, and a palette bright enough for it"},
    {"TFontPitch.fpDefault", "the font's own pitch"},
    {"TFontPitch.fpVariable", "proportional"},
    {"TFontPitch.fpFixed", "fixed width"},
    {"TFontStyle.fsBold", "bold"},
    {"TFontStyle.fsItalic", "italic"},
    {"TFontStyle.fsUnderline", "underlined"},
    {"TFontStyle.fsStrikeOut", "struck out"},
};

}  // namespace

std::span<const TMeaning> Meanings() { return MeaningTable; }

// ---------------------------------------------------------------------------
// The fixed text.

extern const std::string_view Title = R"(# Form reference

This file is written by `plotvane reference` from the property tables of the classes, so it
describes exactly what the form reader of this build accepts. Do not edit it: change the code and
regenerate it with

```sh
plotvane reference > docs/forms.md
```

- [Form files](#form-files)
- [Values](#values)
- [What the reader refuses](#what-the-reader-refuses)
- [An example](#an-example)
- [Classes](#classes):)";

extern const std::string_view FormFiles = R"(## Form files

A form file describes a tree of components as text: the data sets that read records, the data
sources that hand them on and the charts that draw them. `plotvane render`, `bench`, `serve`,
`props`, `write-form` and `design` read forms; `write-form` and the designer write them.

```text
object SalesModule: TDataModule
  object SalesQuery: TSQLiteQuery
    DatabaseName = 'sales.db'
  end
  object SalesSource: TDataSource
    DataSet = SalesQuery
  end
end
```

- A form is one root object, usually a [TDataModule](#tdatamodule). An object is `object Name: TClass`,
  its property lines and the objects nested in it, and `end`. A nested object is a component owned
  by the object around it.
- The class is one of the [classes](#classes) below. The name is an identifier (letters, digits and
  `_`, not starting with a digit), unique among the components of the same owner with letter case
  ignored. References name a component by it, the tools pick a chart by it
  (`plotvane render FORM RevenueChart`) and `serve` answers `/RevenueChart.gif`. The name is written
  only in the header, never as a `Name =` line. An object may be unnamed (`object TClass`): nothing
  can refer to it, and a form written again leaves it out.
- A property line is `Property = value`. An object's lines are applied in file order, through the
  same setters a program calls, before its nested objects are read; lines and nested objects may
  come in any order. A property without a line keeps its default (in the tables below), so a form
  need only write what differs; `plotvane write-form` writes every property, in table order, and
  reading that back gives the same bytes.
- `object` and `end` may be written in any letter case. Class, property and value names are written
  as the tables spell them, letter case included, except `True`, `False` and `nil`, colour names,
  and component names, whose letter case is ignored. `inherited` and `inline` objects are refused.
- Spaces, tabs and line breaks only separate the parts of a line; indentation is free. A form has
  no comments. It is UTF-8 text; a byte order mark at its start is skipped.
- Once the whole form is read, the component references are resolved and each component is told
  that loading is over, the owned ones before their owner. Only then do data sets open
  (`Active = True`), with every property in place.)";

extern const std::string_view Values = R"(## Values

| Kind | Written as | Examples |
|---|---|---|
| integer | decimal, or `$` and hexadecimal digits, with an optional sign; 32 bits (`-2147483648` to `2147483647`) unless the property's range is narrower | `800`, `-5`, `$FF` |
| string | in single quotes, a quote inside doubled; `#` and a decimal code (or `#$` and a hexadecimal one) for a character by its Unicode number, written next to the quoted pieces without spaces; pieces joined by `+`, also across lines. A quoted piece ends on its line. | `'EUR'`, `'O''Neil'`, `'a'#13#10'b'`, `'Monthly' + ' revenue'` |
| boolean | `True` or `False` | `True` |
| enumeration | one of the value names of the property's type | `taCenter` |
| set | value names of the type in brackets, separated by commas; `[]` for none | `[fsBold, fsItalic]` |
| colour | a [colour name](#colours), a platform one (`clNavy`) or a CSS one (`dodgerblue`), in any letter case; `#rrggbb` or `#rgb` as the web writes them, red first (`#ff0000` and `#F00` are red; `#123456` is hexadecimal here, not a character code); `$` and hexadecimal digits, `$00BBGGRR` (blue first: `$000000FF` is red); or a decimal number, a negative one standing for its 32-bit pattern. Any of these may also stand in quotes. A form is written with the platform name, or `$00BBGGRR` where there is none | `clNavy`, `#1e90ff`, `dodgerblue`, `$00F0E6DC` |
| sub-object | its properties, one dotted line each; a sub-object takes no value as a whole, and a nested `object` is always a component | `TitleFont.Size = 12` |
| string list | `Property.Strings =` and the lines in parentheses, each a string; `()` for none. A string without parentheses is one line. | `SQL.Strings = ( 'SELECT 1' )` |
| component reference | the name of a component of the form, or `nil`. References are resolved after the whole form is read, so one may name a component further down. The name is looked up among the referring component's own components, then the component itself, then its owner's components and the owner, and so on up to the root; the component must be of the class the property names. | `DataSet = SalesQuery` |
| event | the name of a handler that the program reading the form registered, or `nil`. The `plotvane` tools register none. | `OnAfterDraw = nil` |
)";

extern const std::string_view RefusesIntro = R"(## What the reader refuses

A form that cannot be read is refused as a whole, with one message naming the file, the line and
the column, and what was expected there; no component of it is left behind. That includes a syntax
error, a class that is not registered, a property the class does not have, a value of another kind
than the property's, a name that is not a value of its enumeration, a value the property's setter
refuses, a reference to no component or to one of another class, and two components of one owner
with the same name. The tools print the message and exit with status 1. This build's messages for a
few mistakes in `chart.form`:
)";

extern const std::string_view ExampleIntro = R"(## An example

A part of `examples/sales.form`: a query on the sample SQLite database (`sales.db`, next to the form),
a data source and a chart. The chart's other properties keep their defaults.
)";

extern const std::string_view Example = R"(object SalesModule: TDataModule
  object SalesQuery: TSQLiteQuery
    DatabaseName = 'sales.db'
    SQL.Strings = (
      'SELECT month, SUM(revenue) AS revenue FROM sales'
      'WHERE :region IN (''ALL'', region)'
      'GROUP BY month_no, month ORDER BY month_no')
    Params.Strings = (
      'region:text(16)=ALL')
    Active = True
  end
  object SalesSource: TDataSource
    DataSet = SalesQuery
  end
  object RevenueChart: TNorq_DBPlotvane
    TitleText.Strings = (
      'Monthly revenue')
    Color = clWhite
    AxisLeftTitleCaption = 'EUR'
    AxisBottomTitleCaption = 'Month'
    DataSource = SalesSource
    XLabelsSource = 'month'
    YValueSource = 'revenue'
    SeriesColorMode = scPositiveNegative
  end
end
)";

extern const std::string_view ClassesIntro = R"(## Classes

Each class's table lists its published properties in the order a form stores them. Those a base
class declares come first in the form and are listed once, under the base class. The default is
what a new component has, in form syntax; a property whose default says "stored only when it
differs" is left out of a stored form while it has its default, every other property is always
stored.)";

extern const std::string_view EnumerationsIntro = R"(## Enumerations

The values of the enumeration and set properties, by name.)";

extern const std::string_view ColoursIntro = R"(## Colours

A colour is written as one of these names, as a CSS name (below), as `#rrggbb` or `#rgb`, or as
`$00BBGGRR`; names in any letter case. The system colours (`$80000000` and up)
are drawn in a fixed light theme, as the last column shows; `clDefault` leaves the choice to the
drawing (a title or legend box in it is not filled) and `clNone` draws nothing.

| Name | Value | Drawn as |
|---|---|---|
)";

extern const std::string_view CssColoursIntro = R"(
The named colours of CSS (the 148 of the CSS Color Module Level 4), each the colour CSS gives it, are
read too; a form stores them by the name above of the same colour (`red` as `clRed`) or else as
`$00BBGGRR` (`dodgerblue` as `$00FF901E`):
)";

}  // namespace plotvane::reference
