#pragma once
// TControl and TCustomPanel: the size, colour and bevels of a control. The
// chart is a control that is never shown on a screen; it is drawn into
// bitmaps.

#include <cstdint>

#include "platform/rtl/Component.h"
#include "platform/vcl/Color.h"

namespace pv {

// Bevel kinds; ordinal 0 is no bevel.
enum class TBevelCut : std::uint8_t {
    bvNone,     // no frame
    bvLowered,  // a sunken frame
    bvRaised,   // a raised frame
    bvSpace,    // a blank frame of the bevel's width
};

class TControl : public TComponent {
public:
    // Defaults: 400 x 250 pixels, clBtnFace.
    static constexpr int DefaultWidth = 400;
    static constexpr int DefaultHeight = 250;

    explicit TControl(TComponent* AOwner) : TComponent(AOwner) {}
    std::string_view ClassName() const override { return "TControl"; }

    TColor GetColor() const { return FColor; }
    void SetColor(TColor Value);
    int GetWidth() const { return FWidth; }
    int GetHeight() const { return FHeight; }
    // Sizes are checked by CheckSize (the base accepts any non-negative
    // size); a refused size raises and the control keeps its old size.
    void SetWidth(int Value);
    void SetHeight(int Value);

    // How many changes the control and its parts have seen; lets callers and
    // tests tell whether anything was set.
    std::uint64_t GetChangeCount() const { return FChangeCount; }
    // Records a change of the control or of one of its parts.
    virtual void Changed() { ++FChangeCount; }

protected:
    virtual void CheckSize(const char* Which, int Value) const;

private:
    TColor FColor = clBtnFace;
    int FWidth = DefaultWidth;
    int FHeight = DefaultHeight;
    std::uint64_t FChangeCount = 0;
};

class TCustomPanel : public TControl {
public:
    explicit TCustomPanel(TComponent* AOwner) : TControl(AOwner) {}
    std::string_view ClassName() const override { return "TCustomPanel"; }

    // Defaults: outer bvRaised, inner bvNone, 1 pixel wide.
    TBevelCut GetBevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut Value);
    TBevelCut GetBevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut Value);
    int GetBevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int Value);

private:
    TBevelCut FBevelOuter = TBevelCut::bvRaised;
    TBevelCut FBevelInner = TBevelCut::bvNone;
    int FBevelWidth = 1;
};

}  // namespace pv
