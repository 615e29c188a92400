// The published-property table of TNorq_DBPlotvane: the 42 properties in
// declaration order, after Name and Tag from TComponent. The form writer and
// reader, the command line and any designer all go through this table.
// Every property is stored and has no default, except those added after the
// first 41: SeriesType is stored only when it is not stBar, Locale only when
// set, so forms written before they existed, and forms of charts that never
// set them, stay the same.

#include <array>

#include "component/Norq_Plotvane.h"

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

const std::array<TPropInfo, 42> PlotvaneProps{{
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
}};

const pv::TClassInfo PlotvaneClassInfo{"TNorq_DBPlotvane", &TComponent::StaticClassInfo(), PlotvaneProps};

}  // namespace

const pv::TClassInfo& TNorq_DBPlotvane::StaticClassInfo() { return PlotvaneClassInfo; }
const pv::TClassInfo* TNorq_DBPlotvane::ClassInfo() const { return &PlotvaneClassInfo; }

}  // namespace Norq_Plotvane
