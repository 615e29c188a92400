#pragma once
// The form reader: builds a module of components from a form file.
//
// For each object it creates the class through the component class registry
// (FormRegistry.h), sets Loading (and, when asked, Designing) on it, hands it
// the base directory, names it, and applies its property lines in file
// order, each through the setter of the class's published-property table:
//   - "Font.Size = 12" goes into the object the Font getter returns;
//   - "Lines.Strings = ( ... )" builds a new string list and hands it to the
//     setter, which copies it (a setter compares lists by identity, so the
//     copy counts as a change); a list property without a setter gets the
//     lines assigned into the list its getter returns;
//   - events are looked up by handler name in the event handler registry;
//   - component references are resolved after the whole file is read, in
//     file order.
// A component's own property lines are applied before its nested objects
// are read. Last, Loaded() is called on every component read, owned
// components before their owner (siblings in file order), so a part is
// finished before the component that holds it; the base Loaded clears
// Loading. So outside the designer nothing reacts to the loading until its
// Loaded.
//
// A form that cannot be read raises exactly one EFormError naming the file,
// line and column and what was expected there, and leaves nothing behind:
// every component created so far is destroyed before the error reaches the
// caller. Failures of setters and of Loaded are reported the same way, at
// the line that caused them.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/rtl/Component.h"
#include "platform/rtl/FormError.h"
#include "platform/rtl/FormParser.h"

namespace pv {

struct TFormReadOptions {
    // Read the module as a form designer does: Designing is set on every
    // component (and what it owns) before its properties are applied.
    // Default: false.
    bool Designing = false;
    // The folder that relative file names in the form are relative to.
    // ReadForm: empty means the form file's folder (made absolute).
    // ReadFormFromString: empty means none; components are not told.
    std::string BaseDirectory;
    // Called for every component right after it is created (Loading set,
    // before its name and properties), with the base directory, for
    // components that take it in some other way than IBaseDirectory.
    // Default: none.
    std::function<void(TComponent& Component, const std::string& BaseDirectory)> OnCreate;
};

// Reads the form file FileName. The root object becomes the returned
// component; every other object is owned by the object it is nested in.
TUniqueComponent<TComponent> ReadForm(const std::string& FileName, const TFormReadOptions& Options = {});
// The same from text; FileName only names the text in error messages.
TUniqueComponent<TComponent> ReadFormFromString(std::string_view Text, const std::string& FileName,
                                               const TFormReadOptions& Options = {});

// Parses one value in form syntax ("800", "'EUR'", "clNavy", "[fsBold]").
// A syntax error raises EFormError with the column in Text.
TFormValue ParsePropertyValue(std::string_view Text);

// Sets one property of Component from a value in form syntax, through the
// same table, value parser and conversions as the reader: PropertyName may
// be dotted ("TitleFont.Size", "TitleText.Strings"), a component reference
// is resolved at once (FindReferencedComponent), an event by handler name.
// Any failure raises EFormError naming the component, the property and the
// value; a failure before the setter runs changes nothing.
void SetPropertyFromString(TComponent& Component, std::string_view PropertyName, std::string_view Value);

// The component a reference stored in From's properties names: looked up
// among From's own components, then From itself, then its owner's
// components and the owner, and so on up to the root (ASCII letter case
// ignored, as component names are). nullptr when there is none. The writer
// only stores references that this finds again.
TComponent* FindReferencedComponent(const TComponent& From, std::string_view Name);

}  // namespace pv
