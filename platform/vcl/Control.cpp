#include "platform/vcl/Control.h"

#include <string>

#include "platform/rtl/Exception.h"

namespace pv {

void TControl::CheckSize(const char* Which, int Value) const {
    if (Value < 0)
        throw EInvalidOperation(std::string(Which) + " " + std::to_string(Value) + " of '" + GetName() +
                                "' is negative");
}

void TControl::SetColor(TColor Value) {
    FColor = Value;
    Changed();
}

void TControl::SetWidth(int Value) {
    CheckSize("Width", Value);
    FWidth = Value;
    Changed();
}

void TControl::SetHeight(int Value) {
    CheckSize("Height", Value);
    FHeight = Value;
    Changed();
}

void TCustomPanel::SetBevelOuter(TBevelCut Value) {
    FBevelOuter = Value;
    Changed();
}

void TCustomPanel::SetBevelInner(TBevelCut Value) {
    FBevelInner = Value;
    Changed();
}

void TCustomPanel::SetBevelWidth(int Value) {
    FBevelWidth = Value < 0 ? 0 : Value;
    Changed();
}

}  // namespace pv
