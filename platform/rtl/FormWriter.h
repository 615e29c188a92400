#pragma once
// The form writer: the text of a component tree in form syntax.
//
//   object Name: TClass          (object TClass when the name is empty)
//     Tag = 0                    every published property, in table order,
//     ...                        base class first; Name is the header
//     object Child: TClass       then each named owned component, nested
//     end                        and indented by two spaces
//   end
//
// Every property is written unless its table entry says it is not stored
// (TPropInfo::Stored; a property added later, at its default). Integers are
// decimal; strings are quoted (QuoteFormString); booleans True/False;
// enumerations by identifier; sets as [fsBold, fsItalic]; colours by name
// where the registered colour identifiers have one, else $XXXXXXXX;
// sub-objects as dotted lines (TitleFont.Size = 10) and string lists as
// "Lines.Strings = (" with one quoted line each; component references and
// events by name, nil when unassigned.
//
// Unnamed owned components are parts their owner made for itself (a chart
// inside a chart component) and are not written. What the reader could not
// read back raises EFormError naming the object and the property: a
// reference to a component the reader would not find by that name
// (FindReferencedComponent), an event handler with no registered name, an
// enumeration or set value with no name. Reading the text and writing again
// gives the same bytes.

#include <cstdint>
#include <string>

#include "platform/rtl/Component.h"
#include "platform/rtl/FormError.h"

namespace pv {

// The whole tree below and including Root.
std::string WriteForm(const TComponent& Root);

// Which properties WriteComponentProperties lists.
enum class TPropertySelection : std::uint8_t {
    psStored,  // those a form stores (default)
    psAll,     // every published property, stored or not
};

// The property lines of one component, in the same syntax and order, with
// Name first (as "Name = 'Chart1'"), without indentation, header or nested
// objects.
std::string WriteComponentProperties(const TComponent& Component,
                                     TPropertySelection Which = TPropertySelection::psStored);

}  // namespace pv
