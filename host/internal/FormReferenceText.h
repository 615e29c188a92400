#pragma once
// The hand-written parts of the form reference: the meaning of every class,
// published property and enumeration value, and the fixed text around the
// generated tables. FormReference.cpp checks the meanings against the
// property tables of the classes.

#include <span>
#include <string_view>

namespace plotvane::reference {

struct TMeaning {
    std::string_view Key;
    std::string_view Text;
    // For a property whose setter takes less than its type allows: the
    // values it takes, instead of those of the type.
    std::string_view Allowed = {};
};

// Keyed "Class", "Class.Property" (the class whose table declares it) and
// "Enumeration.value".
std::span<const TMeaning> Meanings();

extern const std::string_view Title;
extern const std::string_view FormFiles;
extern const std::string_view Values;
extern const std::string_view RefusesIntro;
extern const std::string_view ExampleIntro;
extern const std::string_view Example;
extern const std::string_view ClassesIntro;
extern const std::string_view EnumerationsIntro;
extern const std::string_view ColoursIntro;
extern const std::string_view CssColoursIntro;

}  // namespace plotvane::reference
