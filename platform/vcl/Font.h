#pragma once
// TFont: a text face description. Drawing resolves Name through fontconfig,
// so any installed family or generic alias ("Sans", "Serif", "Monospace")
// works.

#include <cstdint>
#include <string>

#include "platform/rtl/Event.h"
#include "platform/rtl/Object.h"
#include "platform/vcl/Color.h"

namespace pv {

enum TFontStyle : std::uint8_t { fsBold = 1 << 0, fsItalic = 1 << 1, fsUnderline = 1 << 2, fsStrikeOut = 1 << 3 };
// A set of TFontStyle bits.
using TFontStyles = std::uint8_t;

enum class TFontPitch : std::uint8_t { fpDefault, fpVariable, fpFixed };
using TFontCharset = std::uint8_t;

class TFont : public TPersistent {
public:
    // Defaults: "Sans" (fontconfig's sans-serif alias, present on every
    // machine with any font), 10 points, clWindowText, no style, charset 1
    // (DEFAULT_CHARSET), fpDefault.
    static constexpr const char* DefaultName = "Sans";
    static constexpr int DefaultSize = 10;

    TFont() = default;
    std::string_view ClassName() const override { return "TFont"; }
    const TClassInfo* ClassInfo() const override;

    const std::string& GetName() const { return FName; }
    void SetName(const std::string& V);
    // Size in points; drawing uses 96 dpi, so a point is 4/3 pixels.
    int GetSize() const { return FSize; }
    void SetSize(int V);
    TColor GetColor() const { return FColor; }
    void SetColor(TColor V);
    TFontStyles GetStyle() const { return FStyle; }
    void SetStyle(TFontStyles V);
    TFontCharset GetCharset() const { return FCharset; }
    void SetCharset(TFontCharset V);
    TFontPitch GetPitch() const { return FPitch; }
    void SetPitch(TFontPitch V);

    // Copies every attribute of another TFont (one change notice).
    void Assign(const TPersistent& Source) override;
    bool SameAs(const TFont& Other) const;

    // Called after any attribute changed.
    TNotifyEvent OnChange;

private:
    void Changed();
    std::string FName = DefaultName;
    int FSize = DefaultSize;
    TColor FColor = clWindowText;
    TFontStyles FStyle = 0;
    TFontCharset FCharset = 1;
    TFontPitch FPitch = TFontPitch::fpDefault;
};

}  // namespace pv
