// The published-property table of TNorq_DBPlotvane: the 50 properties in
// declaration order, after Name and Tag from TComponent. The form writer and
// reader, the command line and any designer all go through this table.
// Every property is stored and has no default, except those added after the
// first 40 (SeriesType, Locale, GroupSource, Stacking, SeriesPalette,
// ValueAxisLogarithmic, Theme, HintTemplate, LinkTemplate, ReferenceLine): each is stored only when it differs from its
// default, so forms written before it existed, and forms of charts that
// never set it, stay the same.

#include <array>

#include "component/Norq_Plotvane.h"
#include "component/Norq_PlotvaneSeries.h"

namespace Norq_Plotvane {

namespace {

using pv::TEnumTypeInfo;
using pv::TPropInfo;
using pv::TPropValue;
using pv::TTypeKind;

constexpr std::array<std::string_view, 3> AlignmentNames{"taLeftJustify", "taRightJustify", "taCenter"};
constexpr TEnumTypeInfo AlignmentType{"TAlignment", AlignmentNames};
constexpr std::array<std::string_view, 4> LegendStyleNames{"lsAuto", "lsSeries", "lsValues", "lsLastValues"};
constexpr TEnumTypeInfo LegendStyleType{"TLegendStyle", LegendStyleNames};
constexpr std::array<std::string_view, 1> PreviewFormatNames{"pfBMP"};
constexpr TEnumTypeInfo PreviewFormatType{"TPreviewFormat", PreviewFormatNames};
constexpr std::array<std::string_view, 1> SeriesStyleNames{"ssLineSeries"};
constexpr TEnumTypeInfo SeriesStyleType{"TSeriesStyle", SeriesStyleNames};
constexpr std::array<std::string_view, 3> ColorModeNames{"scSingleColor", "scColorEachPoint", "scPositiveNegative"};
constexpr TEnumTypeInfo ColorModeType{"TSeriesColorMode", ColorModeNames};
constexpr std::array<std::string_view, 9> MarksStyleNames{
    "smValue",        "smPercent",      "smLabel",   "smLabelPercent", "smLabelValue",
    "smLegend",       "smPercentTotal", "smLabelPercentTotal", "smXValue"};
constexpr TEnumTypeInfo MarksStyleType{"TSeriesMarksStyle", MarksStyleNames};
constexpr std::array<std::string_view, 9> PointerStyleNames{"psRectangle", "psCircle",   "psTriangle",
                                                            "psDownTriangle", "psCross", "psDiagCross",
                                                            "psStar",      "psDiamond", "psSmallDot"};
constexpr TEnumTypeInfo PointerStyleType{"TSeriesPointerStyle", PointerStyleNames};
constexpr std::array<std::string_view, 6> SeriesTypeNames{"stBar",   "stHorizBar", "stLine",
                                                          "stArea",  "stPoint",    "stPie"};
constexpr TEnumTypeInfo SeriesTypeType{"TPlotvaneSeriesType", SeriesTypeNames};
constexpr std::array<std::string_view, 3> StackingNames{"sgNone", "sgStacked", "sgStacked100"};
constexpr TEnumTypeInfo StackingType{"TSeriesStacking", StackingNames};
constexpr std::array<std::string_view, 3> ThemeNames{"thClassic", "thModern", "thDark"};
constexpr TEnumTypeInfo ThemeType{"TPlotvaneTheme", ThemeNames};

const TNorq_DBPlotvane& C(const pv::TObject& O) { return static_cast<const TNorq_DBPlotvane&>(O); }
TNorq_DBPlotvane& C(pv::TObject& O) { return static_cast<TNorq_DBPlotvane&>(O); }
std::int64_t Int(const TPropValue& V) { return std::get<std::int64_t>(V); }
bool Bool(const TPropValue& V) { return std::get<bool>(V); }
const std::string& Str(const TPropValue& V) { return std::get<std::string>(V); }
pv::TObject* Obj(const TPropValue& V) { return std::holds_alternative<pv::TObject*>(V) ? std::get<pv::TObject*>(V) : nullptr; }

#define PV_INT(Prop)                                                                                      \
    TPropInfo {                                                                                           \
        #Prop, TTypeKind::tkInteger, nullptr, {},                                                         \
            [](const pv::TObject& O) -> TPropValue { return std::int64_t{C(O).Get##Prop()}; },            \
            [](pv::TObject& O, const TPropValue& V) { C(O).Set##Prop(static_cast<std::int32_t>(Int(V))); } \
    }
// An integer whose setter accepts Min..Max and refuses the rest.
#define PV_INT_RANGE(Prop, Min, Max)                                                                      \
    TPropInfo {                                                                                           \
        #Prop, TTypeKind::tkInteger, nullptr, {},                                                         \
            [](const pv::TObject& O) -> TPropValue { return std::int64_t{C(O).Get##Prop()}; },            \
            [](pv::TObject& O, const TPropValue& V) { C(O).Set##Prop(static_cast<std::int32_t>(Int(V))); }, \
            nullptr, Min, Max                                                                             \
    }
#define PV_COLOR(Prop)                                                                                   \
    TPropInfo {                                                                                          \
        #Prop, TTypeKind::tkColor, nullptr, {},                                                          \
            [](const pv::TObject& O) -> TPropValue { return std::int64_t{C(O).Get##Prop()}; },           \
            [](pv::TObject& O, const TPropValue& V) { C(O).Set##Prop(static_cast<pv::TColor>(Int(V))); } \
    }
#define PV_BOOL(Prop)                                                                   \
    TPropInfo {                                                                         \
        #Prop, TTypeKind::tkBoolean, nullptr, {},                                       \
            [](const pv::TObject& O) -> TPropValue { return C(O).Get##Prop(); },        \
            [](pv::TObject& O, const TPropValue& V) { C(O).Set##Prop(Bool(V)); }        \
    }
#define PV_STRING(Prop)                                                                 \
    TPropInfo {                                                                         \
        #Prop, TTypeKind::tkString, nullptr, {},                                        \
            [](const pv::TObject& O) -> TPropValue { return C(O).Get##Prop(); },        \
            [](pv::TObject& O, const TPropValue& V) { C(O).Set##Prop(Str(V)); }         \
    }
#define PV_ENUM(Prop, EnumInfo, Type)                                                                \
    TPropInfo {                                                                                      \
        #Prop, TTypeKind::tkEnumeration, &EnumInfo, {},                                              \
            [](const pv::TObject& O) -> TPropValue { return std::int64_t(C(O).Get##Prop()); },       \
            [](pv::TObject& O, const TPropValue& V) { C(O).Set##Prop(static_cast<Type>(Int(V))); }   \
    }
#define PV_OBJECT(Prop, Kind, TypeName, Type)                                                               \
    TPropInfo {                                                                                             \
        #Prop, TTypeKind::Kind, nullptr, TypeName,                                                          \
            [](const pv::TObject& O) -> TPropValue { return static_cast<pv::TObject*>(C(O).Get##Prop()); }, \
            [](pv::TObject& O, const TPropValue& V) { C(O).Set##Prop(dynamic_cast<Type*>(Obj(V))); }        \
    }

const std::array<TPropInfo, 50> PlotvaneProps{{
    PV_OBJECT(PreviewImage, tkComponent, "TImage", TImage),
    PV_OBJECT(TitleFont, tkClass, "TFont", TFont),
    PV_COLOR(TitleColor),
    PV_OBJECT(TitleText, tkClass, "TStrings", TStrings),
    PV_ENUM(TitleAlignment, AlignmentType, TAlignment),
    PV_COLOR(Color),
    PV_INT_RANGE(Height, 1, pv::TBitmap::MaxSide),
    PV_INT_RANGE(Width, 1, pv::TBitmap::MaxSide),
    PV_STRING(AxisLeftTitleCaption),
    PV_OBJECT(AxisLeftTitleFont, tkClass, "TFont", TFont),
    PV_STRING(AxisBottomTitleCaption),
    PV_OBJECT(AxisBottomTitleFont, tkClass, "TFont", TFont),
    TPropInfo{"OnAfterDraw", TTypeKind::tkMethod, nullptr, "TNotifyEvent",
              [](const pv::TObject& O) -> TPropValue { return C(O).GetOnAfterDraw(); },
              [](pv::TObject& O, const TPropValue& V) {
                  C(O).SetOnAfterDraw(std::holds_alternative<TNotifyEvent>(V) ? std::get<TNotifyEvent>(V)
                                                                              : TNotifyEvent{});
              }},
    PV_BOOL(LegendVisible),
    PV_ENUM(LegendStyle, LegendStyleType, TLegendStyle),
    PV_COLOR(GradientStartColor),
    PV_COLOR(GradientEndColor),
    PV_BOOL(GradientVisible),
    PV_ENUM(PreviewFormat, PreviewFormatType, TPreviewFormat),
    PV_INT_RANGE(JPEGQuality, 1, 100),
    PV_BOOL(View3D),
    PV_INT(View3DPercent),
    PV_ENUM(SeriesStyle, SeriesStyleType, TSeriesStyle),
    PV_OBJECT(DataSource, tkComponent, "TDataSource", TDataSource),
    PV_STRING(XLabelsSource),
    PV_STRING(XValueSource),
    PV_STRING(YValueSource),
    PV_COLOR(SeriesColor),
    PV_COLOR(SeriesColorNegative),
    PV_ENUM(SeriesColorMode, ColorModeType, TSeriesColorMode),
    PV_ENUM(MarksStyle, MarksStyleType, TSeriesMarksStyle),
    PV_BOOL(MarksVisible),
    PV_COLOR(MarksBackColor),
    PV_OBJECT(MarksFont, tkClass, "TFont", TFont),
    PV_STRING(ValueFormat),
    PV_BOOL(PointerVisible),
    PV_BOOL(PointerDraw3D),
    PV_ENUM(PointerStyle, PointerStyleType, TSeriesPointerStyle),
    PV_INT(PointerHorizSize),
    PV_INT(PointerVertSize),
    TPropInfo{"SeriesType", TTypeKind::tkEnumeration, &SeriesTypeType, {},
              [](const pv::TObject& O) -> TPropValue { return std::int64_t(C(O).GetSeriesType()); },
              [](pv::TObject& O, const TPropValue& V) { C(O).SetSeriesType(static_cast<TPlotvaneSeriesType>(Int(V))); },
              [](const pv::TObject& O) { return C(O).GetSeriesType() != TPlotvaneSeriesType::stBar; }},
    TPropInfo{"Locale", TTypeKind::tkString, nullptr, {},
              [](const pv::TObject& O) -> TPropValue { return C(O).GetLocale(); },
              [](pv::TObject& O, const TPropValue& V) { C(O).SetLocale(Str(V)); },
              [](const pv::TObject& O) { return !C(O).GetLocale().empty(); }},
    TPropInfo{"GroupSource", TTypeKind::tkString, nullptr, {},
              [](const pv::TObject& O) -> TPropValue { return C(O).GetGroupSource(); },
              [](pv::TObject& O, const TPropValue& V) { C(O).SetGroupSource(Str(V)); },
              [](const pv::TObject& O) { return !C(O).GetGroupSource().empty(); }},
    TPropInfo{"Stacking", TTypeKind::tkEnumeration, &StackingType, {},
              [](const pv::TObject& O) -> TPropValue { return std::int64_t(C(O).GetStacking()); },
              [](pv::TObject& O, const TPropValue& V) { C(O).SetStacking(static_cast<pv::TSeriesStacking>(Int(V))); },
              [](const pv::TObject& O) { return C(O).GetStacking() != pv::TSeriesStacking::sgNone; }},
    TPropInfo{"SeriesPalette", TTypeKind::tkString, nullptr, {},
              [](const pv::TObject& O) -> TPropValue { return C(O).GetSeriesPalette(); },
              [](pv::TObject& O, const TPropValue& V) { C(O).SetSeriesPalette(Str(V)); },
              [](const pv::TObject& O) { return C(O).GetSeriesPalette() != TNorq_DBPlotvane::DefaultSeriesPalette; }},
    TPropInfo{"ValueAxisLogarithmic", TTypeKind::tkBoolean, nullptr, {},
              [](const pv::TObject& O) -> TPropValue { return C(O).GetValueAxisLogarithmic(); },
              [](pv::TObject& O, const TPropValue& V) { C(O).SetValueAxisLogarithmic(Bool(V)); },
              [](const pv::TObject& O) { return C(O).GetValueAxisLogarithmic(); }},
    TPropInfo{"Theme", TTypeKind::tkEnumeration, &ThemeType, {},
              [](const pv::TObject& O) -> TPropValue { return std::int64_t(C(O).GetTheme()); },
              [](pv::TObject& O, const TPropValue& V) { C(O).SetTheme(static_cast<TPlotvaneTheme>(Int(V))); },
              [](const pv::TObject& O) { return C(O).GetTheme() != TPlotvaneTheme::thClassic; }},
    TPropInfo{"HintTemplate", TTypeKind::tkString, nullptr, {},
              [](const pv::TObject& O) -> TPropValue { return C(O).GetHintTemplate(); },
              [](pv::TObject& O, const TPropValue& V) { C(O).SetHintTemplate(Str(V)); },
              [](const pv::TObject& O) { return !C(O).GetHintTemplate().empty(); }},
    TPropInfo{"LinkTemplate", TTypeKind::tkString, nullptr, {},
              [](const pv::TObject& O) -> TPropValue { return C(O).GetLinkTemplate(); },
              [](pv::TObject& O, const TPropValue& V) { C(O).SetLinkTemplate(Str(V)); },
              [](const pv::TObject& O) { return !C(O).GetLinkTemplate().empty(); }},
    TPropInfo{"ReferenceLine", TTypeKind::tkClass, nullptr, "TNorq_DBPlotvaneReferenceLine",
              [](const pv::TObject& O) -> TPropValue { return static_cast<pv::TObject*>(C(O).GetReferenceLine()); },
              [](pv::TObject& O, const TPropValue& V) {
                  C(O).SetReferenceLine(dynamic_cast<TNorq_DBPlotvaneReferenceLine*>(Obj(V)));
              },
              [](const pv::TObject& O) { return C(O).GetReferenceLine()->IsSet(); }},
}};

const pv::TClassInfo PlotvaneClassInfo{"TNorq_DBPlotvane", &TComponent::StaticClassInfo(), PlotvaneProps};

// The reference line: stored as a whole when anything in it is set.
const TNorq_DBPlotvaneReferenceLine& R(const pv::TObject& O) {
    return static_cast<const TNorq_DBPlotvaneReferenceLine&>(O);
}
TNorq_DBPlotvaneReferenceLine& R(pv::TObject& O) { return static_cast<TNorq_DBPlotvaneReferenceLine&>(O); }

const std::array<TPropInfo, 4> ReferenceLineProps{{
    TPropInfo{"Value", TTypeKind::tkFloat, nullptr, {},
              [](const pv::TObject& O) -> TPropValue { return R(O).GetValue(); },
              [](pv::TObject& O, const TPropValue& V) { R(O).SetValue(std::get<double>(V)); }},
    TPropInfo{"Caption", TTypeKind::tkString, nullptr, {},
              [](const pv::TObject& O) -> TPropValue { return R(O).GetCaption(); },
              [](pv::TObject& O, const TPropValue& V) { R(O).SetCaption(Str(V)); }},
    TPropInfo{"Color", TTypeKind::tkColor, nullptr, {},
              [](const pv::TObject& O) -> TPropValue { return std::int64_t{R(O).GetColor()}; },
              [](pv::TObject& O, const TPropValue& V) { R(O).SetColor(static_cast<pv::TColor>(Int(V))); }},
    TPropInfo{"Visible", TTypeKind::tkBoolean, nullptr, {},
              [](const pv::TObject& O) -> TPropValue { return R(O).GetVisible(); },
              [](pv::TObject& O, const TPropValue& V) { R(O).SetVisible(Bool(V)); }},
}};

const pv::TClassInfo ReferenceLineClassInfo{"TNorq_DBPlotvaneReferenceLine", nullptr, ReferenceLineProps};

// The further series: a new class, so every property is stored.
const TNorq_DBPlotvaneSeries& S(const pv::TObject& O) { return static_cast<const TNorq_DBPlotvaneSeries&>(O); }
TNorq_DBPlotvaneSeries& S(pv::TObject& O) { return static_cast<TNorq_DBPlotvaneSeries&>(O); }

#define PVS_PROP(Prop, Kind, EnumInfo, TypeName, Out, In)                                   \
    TPropInfo {                                                                             \
        #Prop, TTypeKind::Kind, EnumInfo, TypeName,                                         \
            [](const pv::TObject& O) -> TPropValue { return Out(S(O).Get##Prop()); },       \
            [](pv::TObject& O, const TPropValue& V) { S(O).Set##Prop(In(V)); }              \
    }
template <class T>
pv::TObject* AsObject(T* P) { return P; }
std::int64_t AsInt(std::int64_t V) { return V; }
template <class E>
std::int64_t AsOrdinal(E V) { return static_cast<std::int64_t>(V); }
const std::string& AsString(const std::string& V) { return V; }
bool AsBool(bool V) { return V; }
TNorq_DBPlotvane* ToChart(const TPropValue& V) { return dynamic_cast<TNorq_DBPlotvane*>(Obj(V)); }
TDataSource* ToSource(const TPropValue& V) { return dynamic_cast<TDataSource*>(Obj(V)); }
pv::TColor ToColor(const TPropValue& V) { return static_cast<pv::TColor>(Int(V)); }
TPlotvaneSeriesType ToType(const TPropValue& V) { return static_cast<TPlotvaneSeriesType>(Int(V)); }
TSeriesColorMode ToMode(const TPropValue& V) { return static_cast<TSeriesColorMode>(Int(V)); }
TSeriesMarksStyle ToMarks(const TPropValue& V) { return static_cast<TSeriesMarksStyle>(Int(V)); }

const std::array<TPropInfo, 13> SeriesProps{{
    PVS_PROP(Chart, tkComponent, nullptr, "TNorq_DBPlotvane", AsObject, ToChart),
    PVS_PROP(DataSource, tkComponent, nullptr, "TDataSource", AsObject, ToSource),
    PVS_PROP(XLabelsSource, tkString, nullptr, {}, AsString, Str),
    PVS_PROP(XValueSource, tkString, nullptr, {}, AsString, Str),
    PVS_PROP(YValueSource, tkString, nullptr, {}, AsString, Str),
    PVS_PROP(SeriesType, tkEnumeration, &SeriesTypeType, {}, AsOrdinal, ToType),
    PVS_PROP(Title, tkString, nullptr, {}, AsString, Str),
    PVS_PROP(SeriesColor, tkColor, nullptr, {}, AsInt, ToColor),
    PVS_PROP(SeriesColorNegative, tkColor, nullptr, {}, AsInt, ToColor),
    PVS_PROP(SeriesColorMode, tkEnumeration, &ColorModeType, {}, AsOrdinal, ToMode),
    PVS_PROP(MarksVisible, tkBoolean, nullptr, {}, AsBool, Bool),
    PVS_PROP(MarksStyle, tkEnumeration, &MarksStyleType, {}, AsOrdinal, ToMarks),
    PVS_PROP(ValueFormat, tkString, nullptr, {}, AsString, Str),
}};
#undef PVS_PROP

const pv::TClassInfo SeriesClassInfo{"TNorq_DBPlotvaneSeries", &TComponent::StaticClassInfo(), SeriesProps};

}  // namespace

const pv::TClassInfo& TNorq_DBPlotvane::StaticClassInfo() { return PlotvaneClassInfo; }
const pv::TClassInfo* TNorq_DBPlotvane::ClassInfo() const { return &PlotvaneClassInfo; }
const pv::TClassInfo& TNorq_DBPlotvaneReferenceLine::StaticClassInfo() { return ReferenceLineClassInfo; }
const pv::TClassInfo* TNorq_DBPlotvaneReferenceLine::ClassInfo() const { return &ReferenceLineClassInfo; }
const pv::TClassInfo& TNorq_DBPlotvaneSeries::StaticClassInfo() { return SeriesClassInfo; }
const pv::TClassInfo* TNorq_DBPlotvaneSeries::ClassInfo() const { return &SeriesClassInfo; }

}  // namespace Norq_Plotvane
