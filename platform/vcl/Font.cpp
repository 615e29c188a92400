#include "platform/vcl/Font.h"

#include <array>

#include "platform/rtl/TypInfo.h"

namespace pv {

namespace {

constexpr std::array<std::string_view, 4> StyleNames{"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};
constexpr TEnumTypeInfo StyleType{"TFontStyle", StyleNames};
constexpr std::array<std::string_view, 3> PitchNames{"fpDefault", "fpVariable", "fpFixed"};
constexpr TEnumTypeInfo PitchType{"TFontPitch", PitchNames};

const TFont& F(const TObject& O) { return static_cast<const TFont&>(O); }
TFont& F(TObject& O) { return static_cast<TFont&>(O); }
std::int64_t I(const TPropValue& V) { return std::get<std::int64_t>(V); }

const std::array<TPropInfo, 6> FontProps{{
    {"Charset", TTypeKind::tkInteger, nullptr, {},
     [](const TObject& O) -> TPropValue { return std::int64_t{F(O).GetCharset()}; },
     [](TObject& O, const TPropValue& V) { F(O).SetCharset(static_cast<TFontCharset>(I(V))); }},
    {"Color", TTypeKind::tkColor, nullptr, {},
     [](const TObject& O) -> TPropValue { return std::int64_t{F(O).GetColor()}; },
     [](TObject& O, const TPropValue& V) { F(O).SetColor(static_cast<TColor>(I(V))); }},
    {"Name", TTypeKind::tkString, nullptr, {},
     [](const TObject& O) -> TPropValue { return F(O).GetName(); },
     [](TObject& O, const TPropValue& V) { F(O).SetName(std::get<std::string>(V)); }},
    {"Pitch", TTypeKind::tkEnumeration, &PitchType, {},
     [](const TObject& O) -> TPropValue { return std::int64_t(F(O).GetPitch()); },
     [](TObject& O, const TPropValue& V) { F(O).SetPitch(static_cast<TFontPitch>(I(V))); }},
    {"Size", TTypeKind::tkInteger, nullptr, {},
     [](const TObject& O) -> TPropValue { return std::int64_t{F(O).GetSize()}; },
     [](TObject& O, const TPropValue& V) { F(O).SetSize(static_cast<int>(I(V))); }},
    {"Style", TTypeKind::tkSet, &StyleType, {},
     [](const TObject& O) -> TPropValue { return std::int64_t{F(O).GetStyle()}; },
     [](TObject& O, const TPropValue& V) { F(O).SetStyle(static_cast<TFontStyles>(I(V))); }},
}};

const TClassInfo FontClassInfo{"TFont", nullptr, FontProps};

}  // namespace

const TClassInfo* TFont::ClassInfo() const { return &FontClassInfo; }

void TFont::Changed() {
    if (OnChange.Assigned()) OnChange(this);
}

#define PV_FONT_SETTER(Setter, Type, Field) \
    void TFont::Setter(Type V) {            \
        if (Field == V) return;             \
        Field = V;                          \
        Changed();                          \
    }
PV_FONT_SETTER(SetName, const std::string&, FName)
PV_FONT_SETTER(SetSize, int, FSize)
PV_FONT_SETTER(SetColor, TColor, FColor)
PV_FONT_SETTER(SetStyle, TFontStyles, FStyle)
PV_FONT_SETTER(SetCharset, TFontCharset, FCharset)
PV_FONT_SETTER(SetPitch, TFontPitch, FPitch)
#undef PV_FONT_SETTER

bool TFont::SameAs(const TFont& O) const {
    return FName == O.FName && FSize == O.FSize && FColor == O.FColor && FStyle == O.FStyle &&
           FCharset == O.FCharset && FPitch == O.FPitch;
}

void TFont::Assign(const TPersistent& Source) {
    if (auto* S = dynamic_cast<const TFont*>(&Source)) {
        if (S == this) return;
        FName = S->FName;
        FSize = S->FSize;
        FColor = S->FColor;
        FStyle = S->FStyle;
        FCharset = S->FCharset;
        FPitch = S->FPitch;
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}

}  // namespace pv
