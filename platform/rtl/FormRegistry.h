#pragma once
// The names a form file uses that are not in any property table: component
// classes (to create the objects a form lists), event handlers (a form
// stores a handler by the name the host registered it under) and colour
// identifiers (clWindow, clRed, ... belong to the graphics layer above this
// one, which hands its conversions over here).
//
// The registries are process-wide. Registering is meant for start-up;
// looking up is safe from any number of threads at once (a server loads one
// form per worker thread), and registering while others look up is safe too.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/Component.h"
#include "platform/rtl/Event.h"

namespace pv {

// Creates a component of one class with the given owner (nullptr: the
// caller owns the result).
using TComponentFactory = std::function<TComponent*(TComponent* AOwner)>;

// Registers (or replaces) the factory for the class named ClassName, the
// name a form file writes after "object Name:".
void RegisterComponentClass(std::string_view ClassName, TComponentFactory Factory);
// Registers class T, created as new T(AOwner), under ClassName.
template <class T>
void RegisterComponentClass(std::string_view ClassName) {
    RegisterComponentClass(ClassName, [](TComponent* AOwner) -> TComponent* { return new T(AOwner); });
}
// The factory for ClassName (exact match), or nothing.
std::optional<TComponentFactory> FindComponentClass(std::string_view ClassName);
// Every registered class name, sorted, for help texts and error messages.
std::vector<std::string> RegisteredComponentClasses();

// Registers (or replaces) an event handler under Name; the stored copy
// carries Name, so a form writer can store the handler again. Name must be
// an identifier (letters, digits, '_', not starting with a digit) and the
// handler must be assigned, otherwise EInvalidOperation.
void RegisterEventHandler(std::string_view Name, TNotifyEvent Handler);
// Forgets the handler registered under Name (nothing if there is none).
void UnregisterEventHandler(std::string_view Name);
// The handler registered under Name (exact match), or nothing.
std::optional<TNotifyEvent> FindEventHandler(std::string_view Name);

// Colour identifiers. ToString gives the text a form stores for a colour
// (its name where it has one, else "$XXXXXXXX"); FromString reads a colour
// as a form may write it (a name, "#rrggbb", "$hex", a decimal number), or
// gives nothing. Spellings says what FromString accepts, for the reader's
// messages; it must outlive the registration (a literal). Until a pair is
// registered the form writer stores every colour as "$XXXXXXXX" and the
// reader accepts only numbers.
using TColorToIdent = std::string (*)(std::uint32_t Color);
using TIdentToColor = std::optional<std::uint32_t> (*)(std::string_view Text);
void RegisterColorIdents(TColorToIdent ToString, TIdentToColor FromString, std::string_view Spellings = {});
// The text a form stores for Color, through the registered conversion.
std::string ColorToIdent(std::uint32_t Color);
// The colour named Ident through the registered conversion, or nothing.
std::optional<std::uint32_t> IdentToColor(std::string_view Ident);
// How a colour may be written: the registered Spellings, or "$00BBGGRR"
// when none were given.
std::string ColorIdentSpellings();

}  // namespace pv
