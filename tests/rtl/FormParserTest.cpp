// The form parser's limits: a hostile form is refused with one error that
// names the limit and the place, before it can exhaust the stack, memory or
// time; and what messages show of the text the user wrote.

#include <gtest/gtest.h>

#include <string>

#include "platform/rtl/FormError.h"
#include "platform/rtl/FormParser.h"
#include "tests/support/ThrowMessage.h"

namespace pv {

namespace {

std::string Nested(int Levels) {
    std::string S;
    for (int I = 0; I < Levels; ++I) S += "object T\n";
    for (int I = 0; I < Levels; ++I) S += "end\n";
    return S;
}

}  // namespace

TEST(FormParserLimits, NestingStopsAtTheDepthLimitWithoutRecursingFurther) {
    auto Deepest = ParseFormText(Nested(FormLimits::MaxDepth), "deep.form");
    int Depth = 1;
    for (const TFormObject* O = Deepest.get(); !O->Children.empty(); O = O->Children[0].get()) ++Depth;
    EXPECT_EQ(Depth, FormLimits::MaxDepth);

    EXPECT_THROW_MSG(ParseFormText(Nested(FormLimits::MaxDepth + 1), "hostile.form"), EFormError,
                     "hostile.form:65:1: objects nested more than 64 levels deep");
    // Deep enough to overflow the stack of a reader that recursed without
    // a limit (about 0.5 MB of text).
    EXPECT_THROW_MSG(ParseFormText(Nested(30000), "hostile.form"), EFormError,
                     "hostile.form:65:1: objects nested more than 64 levels deep");
}

TEST(FormParserLimits, NamesNumbersAndStringsHaveLengthLimits) {
    const std::string Long(1 << 20, 'a');
    EXPECT_THROW_MSG(ParseFormText("object " + Long + ": T\nend\n", "hostile.form"), EFormError,
                     "hostile.form:1:8: a name longer than 255 characters (starting 'aaaaaaaaaaaaaaaaaaaa'...)");
    EXPECT_THROW_MSG(ParseFormText("object T\n  P = " + std::string(300, '7') + "\nend\n", "hostile.form"), EFormError,
                     "hostile.form:2:7: a number longer than 255 characters (starting '77777777777777777777'...)");
    EXPECT_THROW_MSG(ParseFormText("object T\n  P = $" + std::string(300, 'F') + "\nend\n", "hostile.form"), EFormError,
                     "hostile.form:2:7: a number longer than 255 characters (starting '$FFFFFFFFFFFFFFFFFFF'...)");
    EXPECT_THROW_MSG(ParseFormText("object T\n  P = #" + std::string(300, 'f') + "\nend\n", "hostile.form"), EFormError,
                     "hostile.form:2:7: a colour longer than 255 characters (starting '#fffffffffffffffffff'...)");
    std::string Dotted = "A";
    while (Dotted.size() < 300) Dotted += ".Abcdefgh";
    EXPECT_THROW_MSG(
        ParseFormText("object T\n  " + Dotted + " = 1\nend\n", "hostile.form"), EFormError,
        "hostile.form:2:3: a property name longer than 255 characters (starting 'A.Abcdefgh.Abcdefgh.'...)");

    const std::string Big(FormLimits::MaxStringLength + 1, 'x');
    EXPECT_THROW_MSG(ParseFormText("object T\n  S = '" + Big + "'\nend\n", "hostile.form"), EFormError,
                     "hostile.form:2:7: a string longer than 1048576 bytes");
    const std::string Half(FormLimits::MaxStringLength / 2 + 1, 'x');
    EXPECT_THROW_MSG(ParseFormText("object T\n  S = '" + Half + "' +\n '" + Half + "'\nend\n", "hostile.form"),
                     EFormError, "hostile.form:3:2: a string longer than 1048576 bytes, joined with '+'");
    // Exactly at the limits is fine.
    const std::string AtLimit(FormLimits::MaxStringLength, 'x');
    auto Root = ParseFormText("object " + std::string(255, 'N') + ": T\n  S = '" + AtLimit + "'\nend\n", "ok.form");
    EXPECT_EQ(Root->Properties.at(0).Value.Text.size(), FormLimits::MaxStringLength);
}

// '#' with letters after it is a colour; a lone decimal #nnn stays a
// character, and keeps its spelling for a colour to read as hex.
TEST(FormParserValues, HashSpellingsOfColoursAndCharacterCodes) {
    const TFormValue Hex = ParseFormValue("#Ff00zz");
    EXPECT_EQ(Hex.Kind, TFormValue::TKind::vkHash);
    EXPECT_EQ(Hex.Text, "#Ff00zz");
    const TFormValue Code = ParseFormValue("#123456");
    EXPECT_EQ(Code.Kind, TFormValue::TKind::vkString);
    EXPECT_EQ(Code.Text, "\xF0\x9E\x89\x80");  // U+1E240
    EXPECT_EQ(Code.Hash, "#123456");
    for (const char* Joined : {"#65'x'", "'x'#65", "#65 + 'x'", "#65#66", "#$41", "'#123'"})
        EXPECT_EQ(ParseFormValue(Joined).Hash, "") << Joined;
    EXPECT_EQ(ParseFormValue("#65'x'").Text, "Ax");
}

TEST(FormParserLimits, ObjectCountAndFormSizeAreBounded) {
    std::string Many = "object Root: T\n";
    Many.reserve(FormLimits::MaxObjects * 13);
    for (std::size_t I = 0; I < FormLimits::MaxObjects; ++I) Many += " object T end\n";
    Many += "end\n";
    EXPECT_THROW_MSG(ParseFormText(Many, "hostile.form"), EFormError,
                     "hostile.form:500001:2: more than 500000 objects in the form");

    std::string Huge(FormLimits::MaxFormBytes + 1, ' ');
    EXPECT_THROW_MSG(ParseFormText(Huge, "hostile.form"), EFormError,
                     "hostile.form:1:1: the form is 67108865 bytes long; at most 67108864 bytes are read");
}

TEST(FormParserLimits, MessagesQuoteAShortEscapedPrefix) {
    EXPECT_EQ(QuoteForMessage("EUR"), "'EUR'");
    EXPECT_EQ(QuoteForMessage(std::string(100, 'x'), 5), "'xxxxx'...");
    // Control characters are escaped, a cut never splits a UTF-8 letter and
    // bytes that are no UTF-8 show as U+FFFD.
    EXPECT_EQ(QuoteForMessage("a\nb"), "'a'#10'b'");
    EXPECT_EQ(QuoteForMessage("\xC3\xA9\xC3\xA9\xC3\xA9", 2), "'\xC3\xA9\xC3\xA9'...");
    EXPECT_EQ(QuoteForMessage(std::string("\x00\xFF", 2)), "#0'\xEF\xBF\xBD'");
    // A long string in a value error is cut, not echoed.
    std::string Form = "object T\n  P = [ '" + std::string(5000, 'q') + "' ]\nend\n";
    EXPECT_THROW_MSG(ParseFormText(Form, "hostile.form"), EFormError,
                     "hostile.form:2:9: expected a value name in the set, found the string '" + std::string(40, 'q') +
                         "'...");
}

}  // namespace pv
