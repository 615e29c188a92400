#pragma once
// Internal to the data sets: what their published-property tables and SQL
// checks share.

#include <string_view>
#include <variant>

#include "platform/rtl/Strings.h"
#include "platform/rtl/TypInfo.h"

namespace pv::dbprops {

// The string list a form or caller wrote to a TStrings property, or nullptr
// for nil or an object that is no string list.
inline const TStrings* StringsOf(const TPropValue& V) {
    return std::holds_alternative<TObject*>(V) ? dynamic_cast<const TStrings*>(std::get<TObject*>(V)) : nullptr;
}

// Whether S holds nothing but white space.
inline bool Blank(std::string_view S) { return S.find_first_not_of(" \t\r\n") == std::string_view::npos; }

}  // namespace pv::dbprops
