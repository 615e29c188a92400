#pragma once
// The form reference: the Markdown text of docs/forms.md, made from the
// property tables of the classes a form may hold, so that it describes
// exactly what the form reader accepts.
//
// It opens with the form syntax (a fixed text), then has one section per
// class registered with the form reader (after RegisterFormClasses) and
// per sub-object class their properties hold (fonts), each with a table of
// every published property, base classes' included: its type, its default
// (read from a new instance made by the registered factory), the values it
// takes and what it does. Then the enumerations, with what each value
// means, and the colour names.
//
// What a property does is not in the tables: the reference keeps those
// lines in one table of its own, keyed "TClass.Property" by the class that
// declares the property (and "TClass" for a class, "TEnum.value" for an
// enumeration value). Generating raises EInvalidOperation naming every key
// that is missing or names nothing, so a property added later cannot stay
// undocumented.

#include <string>
#include <string_view>

namespace plotvane {

// The whole text of docs/forms.md.
std::string FormReference();

// The example form the reference shows, a part of examples/sales.form.
std::string_view FormReferenceExample();

// Where the file FileName first differs from FormReference(), for
// messages: "line 12 differs: the reference has '...', it has '...'", or
// which of them ends first. Empty when the file is the reference. A file
// that cannot be read raises pv::EStreamError naming it.
std::string FormReferenceDifference(const std::string& FileName);

}  // namespace plotvane
