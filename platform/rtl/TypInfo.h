#pragma once
// Published-property tables. Each class that publishes properties has one
// static table in declaration order; a derived class's table follows its
// base's. The form writer and reader, the command line's --set and any
// designer all go through these tables, so there is one description of a
// class's stored state.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/rtl/Event.h"

namespace pv {

class TObject;

enum class TTypeKind : std::uint8_t {
    tkInteger,      // 32-bit signed integer
    tkFloat,        // a finite double, written as the shortest text that reads back to it
    tkEnumeration,  // ordinal of an enumeration; EnumType names the values
    tkBoolean,      // True / False
    tkColor,        // TColor, written by name where one exists
    tkString,       // UTF-8 text
    tkSet,          // bit set over an enumeration; bit n is ordinal n
    tkClass,        // a persistent sub-object owned by the object (a font, a string list)
    tkComponent,    // a reference to another component, stored by name
    tkMethod,       // an event handler, stored by its registered name
};

// The value names of an enumeration, by ordinal.
struct TEnumTypeInfo {
    std::string_view TypeName;
    std::span<const std::string_view> Names;

    // The ordinal of Name, or -1. Exact match.
    int IndexOf(std::string_view Name) const;
};

// A property value in transit between a table's accessors and a reader or
// writer. Integers, enumerations, colours and sets travel as int64; floats as
// double; class and component values as the object pointer.
using TPropValue = std::variant<std::monostate, std::int64_t, bool, std::string, TObject*, TNotifyEvent, double>;

struct TPropInfo {
    std::string_view Name;
    TTypeKind Kind;
    // For tkEnumeration and tkSet: the value names.
    const TEnumTypeInfo* EnumType = nullptr;
    // For tkClass and tkComponent: the class name the value must have.
    std::string_view TypeName = {};
    TPropValue (*Get)(const TObject& Instance) = nullptr;
    void (*Set)(TObject& Instance, const TPropValue& Value) = nullptr;
    // Whether the form writer stores the value (nullptr: always). A property
    // added to a class that already has stored forms is stored only when it
    // differs from its default, so those forms stay byte for byte the same.
    bool (*Stored)(const TObject& Instance) = nullptr;

    // For tkInteger: the values the setter accepts, MinValue..MaxValue, for
    // editors that show the range; both 0 when the table names none.
    std::int64_t MinValue = 0;
    std::int64_t MaxValue = 0;

    bool IsStored(const TObject& Instance) const { return !Stored || Stored(Instance); }
    bool HasRange() const { return MinValue != 0 || MaxValue != 0; }
};

struct TClassInfo {
    std::string_view ClassName;
    const TClassInfo* Parent = nullptr;
    std::span<const TPropInfo> Props;

    // Whether this class is ClassName or derives from it.
    bool InheritsFrom(std::string_view Name) const;
};

// A finite double as form text: the shortest decimal that reads back to the
// same double ("2.5", "-0.1", "1e+300"), an integral value without a
// fraction ("100"), and one too large for a 64-bit integer in exponent form,
// so the reader's number syntax takes it back. NaN and the infinities have
// no spelling and raise EConvertError.
std::string FloatToFormText(double Value);
// The double a form text of a number stands for ("100", "-2.5", "1e-3",
// "$FF"), or nothing when it is no number, or not a finite one.
std::optional<double> FormTextToFloat(std::string_view Text);

// Every published property of the class, base class first, each in its
// declaration order.
std::vector<const TPropInfo*> GetPropList(const TClassInfo& Info);
// The property named Name (exact match), or nullptr.
const TPropInfo* GetPropInfo(const TClassInfo& Info, std::string_view Name);

}  // namespace pv
