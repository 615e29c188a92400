#pragma once
// The form file's syntax: a parser from text to a tree of objects, their
// property lines and values. It knows nothing of classes or property
// tables; the form reader gives the tree its meaning.
//
//   form     := object
//   object   := "object" [Name ":"] Class { property | object } "end"
//   property := Ident { "." Ident } "=" value
//   value    := string { "+" string }       'text', #13, 'a'#10'b'
//             | ["-" | "+"] number          800, -5, $FF
//             | Ident                       True, clWhite, SalesSource, nil
//             | "#" letters and digits      #ff0000 (a letter among them)
//             | "[" [Ident {"," Ident}] "]" [fsBold, fsItalic]
//             | "(" { string } ")"          ( 'line 1' 'line 2' )
//
// Keywords (object, end) are matched ignoring ASCII letter case; everything
// else is left as written. Line breaks and spaces separate tokens only.
//
// A form is bounded (FormLimits below), so that a damaged or hostile file is
// refused with an error naming the limit and the place instead of running
// out of stack, memory or time.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pv {

// What a form may hold.
namespace FormLimits {
// Objects nested inside one another, the root object being level 1.
inline constexpr int MaxDepth = 64;
// Objects in the whole form, the root included.
inline constexpr std::size_t MaxObjects = 500000;
// Characters of an identifier (a name, a class, a property, a value name),
// of a dotted property name as a whole, and of a number.
inline constexpr std::size_t MaxNameLength = 255;
// Bytes of one string value, after its pieces are joined.
inline constexpr std::size_t MaxStringLength = std::size_t{1} << 20;
// Bytes of the whole form text.
inline constexpr std::size_t MaxFormBytes = std::size_t{64} << 20;
}  // namespace FormLimits

// A place in a form's text. Both count from 1; Column counts characters,
// so a UTF-8 letter is one column.
struct TFormPos {
    int Line = 1;
    int Column = 1;
};

// One value as written in a form.
struct TFormValue {
    enum class TKind : std::uint8_t {
        vkInteger,  // Int; decimal or $hex, with an optional sign
        vkFloat,    // a number with a fraction or exponent; Text holds it as written
        vkString,   // Text holds the bytes (quotes and #nnn resolved, pieces joined)
        vkIdent,    // Text holds the identifier
        vkHash,     // '#', letters and digits with a letter among them (#ff0000); Text holds them with the '#'
        vkSet,      // Items hold the identifiers between [ and ]
        vkList,     // Items hold the strings between ( and )
    };
    TKind Kind = TKind::vkInteger;
    TFormPos Pos;
    std::int64_t Int = 0;
    std::string Text;
    std::vector<std::string> Items;
    // A vkString written as nothing but one decimal #nnn code (#123456):
    // that spelling, which a colour property reads as #rrggbb and a text
    // property as the character it codes.
    std::string Hash;

    // How an error message names the value: "the integer 800", "the string
    // 'EUR'", "the identifier clWhite", "the colour #ff0000", "a set", "a
    // string list".
    std::string Describe() const;
};

// "Name = value": Name may be dotted (TitleFont.Size).
struct TFormProperty {
    std::string Name;
    TFormPos Pos;
    TFormValue Value;
};

// "object Name: Class ... end".
struct TFormObject {
    std::string Name;  // empty when the header gives only the class
    std::string ClassName;
    TFormPos Pos;       // of the "object" keyword
    TFormPos ClassPos;  // of the class name
    // In file order. Properties and nested objects may interleave in the
    // text; each list keeps its own order.
    std::vector<TFormProperty> Properties;
    std::vector<std::unique_ptr<TFormObject>> Children;
};

// Parses a whole form. Any syntax error raises EFormError naming FileName
// and the line and column where it was found.
std::unique_ptr<TFormObject> ParseFormText(std::string_view Text, const std::string& FileName);

// Parses a single value (the right side of "Name = value"), which must be
// all of Text. Errors raise EFormError with line 1 and the column in Text,
// under SourceName (empty: no file name in the message).
TFormValue ParseFormValue(std::string_view Text, const std::string& SourceName = {});

// A string in form syntax: single quotes, '' for a quote, #nnn for control
// characters (below 32 and 127); other bytes, UTF-8 included, as they are.
std::string QuoteFormString(std::string_view S);

// What an error message shows of a text the user wrote: at most MaxChars
// characters of it, quoted as QuoteFormString does, with "..." after the
// quote when it was cut; a byte that is not part of valid UTF-8 shows as
// U+FFFD. A message never echoes a whole megabyte of input.
std::string QuoteForMessage(std::string_view S, std::size_t MaxChars = 40);

}  // namespace pv
