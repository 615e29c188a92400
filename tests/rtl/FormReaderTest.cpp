// The form reader: the order it applies things in, the flags it sets, the
// value syntax, one clear error per bad form, and --set.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/rtl/DataModule.h"
#include "platform/rtl/FormReader.h"
#include "platform/rtl/FormRegistry.h"
#include "platform/rtl/FormWriter.h"
#include "tests/rtl/FormTestClasses.h"
#include "tests/support/ThrowMessage.h"

namespace pv::testing {

namespace {

std::vector<std::string> Entries(bool WithFlags = false) {
    std::vector<std::string> S;
    for (auto& E : Journal())
        S.push_back(E.Widget + ":" + E.What + (WithFlags ? std::string(E.Loading ? " L" : "") + (E.Designing ? " D" : "") : ""));
    return S;
}

class FormReaderTest : public ::testing::Test {
protected:
    void SetUp() override { Journal().clear(); }
    void TearDown() override { EXPECT_EQ(TWidget::Live(), 0) << "a widget outlived its module"; }
};

const char* const OrderForm = R"(object Module1: TDataModule
  object Alpha: TWidget
    Caption = 'a'
    Buddy = Beta
    Count = 1
    object Inner: TWidget
      Count = 3
    end
  end
  object Beta: TWidget
    Count = 2
  end
end
)";

TEST_F(FormReaderTest, AppliesPropertiesInFileOrderWhileLoadingThenFixesReferencesThenLoads) {
    auto M = ReadFormFromString(OrderForm, "order.form");
    // Properties in file order, while Loading; a component's own lines
    // before its nested objects; the reference once the whole file is read
    // (Beta exists by then); Loaded on owned components before their owner.
    EXPECT_EQ(Entries(true), (std::vector<std::string>{
                                 "Alpha:Caption L", "Alpha:Count=1 L", "Inner:Count=3 L", "Beta:Count=2 L",
                                 "Alpha:Buddy=Beta L", "Inner:Loaded", "Alpha:Loaded", "Beta:Loaded"}));
    EXPECT_FALSE(M->HasState(csLoading));
    for (int I = 0; I < M->GetComponentCount(); ++I) EXPECT_FALSE(M->GetComponent(I)->HasState(csLoading));
    auto* Alpha = static_cast<TWidget*>(M->FindComponent("Alpha"));
    EXPECT_EQ(Alpha->Buddy.get(), M->FindComponent("Beta"));
    EXPECT_EQ(Alpha->FindComponent("Inner")->GetOwner(), Alpha);
}

TEST_F(FormReaderTest, DesigningIsSetBeforeAnyProperty) {
    TFormReadOptions Options;
    Options.Designing = true;
    auto M = ReadFormFromString(OrderForm, "order.form", Options);
    ASSERT_FALSE(Journal().empty());
    for (auto& E : Journal()) EXPECT_TRUE(E.Designing) << E.Widget << ":" << E.What;
    EXPECT_TRUE(M->HasState(csDesigning));
}

TEST_F(FormReaderTest, StringListsAreHandedToTheSetterAsANewList) {
    auto M = ReadFormFromString(R"(object Alpha: TNotedWidget
  Lines.Strings = (
    'one'
    'two')
  Notes.Strings = (
    'kept')
end
)",
                                "lists.form");
    auto& A = static_cast<TNotedWidget&>(*M);
    EXPECT_EQ(A.Lines.ToVector(), (std::vector<std::string>{"one", "two"}));
    // A list other than the widget's own, so the identity rule sees a change.
    EXPECT_NE(A.LastListGiven, nullptr);
    EXPECT_NE(A.LastListGiven, &A.Lines);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"Alpha:Lines", "Alpha:Loaded"}));
    // No setter: the lines go into the list the getter returns.
    EXPECT_EQ(A.Notes.ToVector(), (std::vector<std::string>{"kept"}));
}

TEST_F(FormReaderTest, SubPropertiesGoIntoTheObjectTheGetterReturns) {
    auto M = ReadFormFromString("object W: TWidget\n  Part.Size = 99\n  Part.Style = [woBold, woWide]\nend\n", "p");
    auto& W = static_cast<TWidget&>(*M);
    EXPECT_EQ(W.Part.Size, 99);
    EXPECT_EQ(W.Part.Style, woBold | woWide);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"W:Loaded"}));  // the Part setter was never called
}

TEST_F(FormReaderTest, ReadsEveryValueSpelling) {
    auto M = ReadFormFromString("\xEF\xBB\xBF"
                                "object W: TWidget\n"
                                "  Count = $7FffFFFF\n"
                                "  Caption = 'a'#13#10'b' +\n    'c''d'#$E9#233 + #0\n"
                                "  Color = -1\n"
                                "  Part.Color = +255\n"
                                "  Part.Size = -2147483648\n"
                                "  Enabled = false\n"
                                "  OnFire = Fire\n"
                                "  OnFire = NIL\n"
                                "END\n",
                                "values.form");
    auto& W = static_cast<TWidget&>(*M);
    EXPECT_EQ(W.Count, 2147483647);
    EXPECT_EQ(W.Caption, std::string("a\r\nbc'd\xC3\xA9\xC3\xA9") + '\0');
    EXPECT_EQ(W.Color, 0xFFFFFFFFu);
    EXPECT_EQ(W.Part.Color, 0xFFu);
    EXPECT_EQ(W.Part.Size, -2147483647 - 1);
    EXPECT_FALSE(W.Enabled);
    EXPECT_FALSE(W.OnFire.Assigned());
}

TEST_F(FormReaderTest, ComponentsTakeTheFormFilesFolderBeforeTheirProperties) {
    auto Dir = std::filesystem::temp_directory_path() / ("forms-basedir-" + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
    auto File = Dir / "w.form";
    std::ofstream(File) << "object W: TWidget\n  Count = 1\nend\n";
    std::vector<std::string> Hooked;
    TFormReadOptions Options;
    Options.OnCreate = [&](TComponent& C, const std::string& Base) { Hooked.push_back(C.GetName() + "@" + Base); };
    auto M = ReadForm(File.string(), Options);
    auto& W = static_cast<TWidget&>(*M);
    EXPECT_EQ(W.BaseDirectory, std::filesystem::absolute(Dir).string());
    EXPECT_EQ(Entries(), (std::vector<std::string>{":BaseDirectory", "W:Count=1", "W:Loaded"}));
    // The hook runs before the name is set.
    EXPECT_EQ(Hooked, (std::vector<std::string>{"@" + std::filesystem::absolute(Dir).string()}));
    std::filesystem::remove_all(Dir);

    // Text that is not a file gives no folder unless asked to.
    Journal().clear();
    auto N = ReadFormFromString("object W: TWidget\nend\n", "text");
    EXPECT_EQ(static_cast<TWidget&>(*N).BaseDirectory, "");
}

struct TBadForm {
    const char* Name;
    const char* Text;
    const char* Message;
};

const TBadForm BadForms[] = {
    {"UnknownClass", "object M: TDataModule\n  object A: TGadget\n  end\nend\n",
     "bad.form:2:13: unknown class TGadget for object A (registered classes: TDataModule, TFragileWidget, "
     "TNotedWidget, TWidget)"},
    {"UnknownProperty", "object M: TDataModule\n  object A: TWidget\n    count = 5\n  end\nend\n",
     "bad.form:3:5: unknown property count of A (TWidget); did you mean Count?"},
    {"UnknownSubProperty", "object A: TWidget\n  Part.Width = 5\nend\n",
     "bad.form:2:3: unknown property Width of A.Part (TPart)"},
    {"NotAnObject", "object A: TWidget\n  Count.Size = 5\nend\n",
     "bad.form:2:3: A.Count is not an object and has no property Size"},
    {"WrongType", "object A: TWidget\n  Count = 'five'\nend\n",
     "bad.form:2:11: A.Count: expected an integer, found the string 'five'"},
    {"FloatForInteger", "object A: TWidget\n  Count = 1.5\nend\n",
     "bad.form:2:11: A.Count: expected an integer, found the number 1.5"},
    {"IntegerOutOfRange", "object A: TWidget\n  Count = 2147483648\nend\n",
     "bad.form:2:11: A.Count: 2147483648 is out of range (-2147483648 to 2147483647)"},
    {"WrongBoolean", "object A: TWidget\n  Enabled = Yes\nend\n",
     "bad.form:2:13: A.Enabled: expected True or False, found the identifier Yes"},
    {"UnknownEnumValue", "object A: TWidget\n  Kind = wkWeird\nend\n",
     "bad.form:2:10: A.Kind: wkWeird is not a value of TWidgetKind (wkPlain, wkFancy, wkOther)"},
    {"UnknownSetValue", "object A: TWidget\n  Options = [woBold, woHuge]\nend\n",
     "bad.form:2:13: A.Options: woHuge is not a value of TWidgetOption (woBold, woWide, woTall)"},
    {"UnknownColour", "object A: TWidget\n  Color = clPuce\nend\n",
     "bad.form:2:11: A.Color: clPuce is not a colour; write $00BBGGRR"},
    {"ObjectWithoutSubProperty", "object A: TWidget\n  Part = 5\nend\n",
     "bad.form:2:10: A.Part is an object; set its properties one by one, as Part.<property> = value"},
    {"ListWithoutStrings", "object A: TWidget\n  Lines = ('a')\nend\n",
     "bad.form:2:11: A.Lines is a string list; write its lines as Lines.Strings = ( 'line' ... )"},
    {"ListBadItem", "object A: TWidget\n  Lines.Strings = (\n    'a'\n    5)\nend\n",
     "bad.form:4:5: expected a string or ')' in the list, found the number 5"},
    {"UnterminatedString", "object A: TWidget\n  Caption = 'abc\nend\n",
     "bad.form:2:13: unterminated string: expected ' before the end of the line"},
    {"UnterminatedStringAtEnd", "object A: TWidget\n  Caption = 'abc", "bad.form:2:13: unterminated string: expected ' before the end of the file"},
    {"UnterminatedObject", "object M: TDataModule\n  object A: TWidget\n    Count = 1\nend\n",
     "bad.form:5:1: object M: TDataModule (line 1) is not closed: expected 'end' before the end of the file"},
    {"MissingEquals", "object A: TWidget\n  Count 5\nend\n",
     "bad.form:2:9: expected '=' after the property name Count, found the number 5"},
    {"MissingValue", "object A: TWidget\n  Count =\nend\n", "bad.form:3:1: expected a value, found 'end'"},
    {"UnexpectedCharacter", "object A: TWidget\n  Count = 5;\nend\n", "bad.form:2:12: unexpected character ';'"},
    {"TextAfterRoot", "object A: TWidget\nend\nobject B: TWidget\nend\n",
     "bad.form:3:1: expected the end of the file after the root object's 'end', found 'object'"},
    {"NoObject", "Count = 5\n", "bad.form:1:1: expected 'object' at the start of the form, found 'Count'"},
    {"MissingReference", "object M: TDataModule\n  object A: TWidget\n    Buddy = Bta\n  end\n  object Beta: TWidget\n  end\nend\n",
     "bad.form:3:13: A.Buddy: no component named Bta in M"},
    {"ReferenceOfWrongClass", "object M: TDataModule\n  object A: TWidget\n    Buddy = M\n  end\nend\n",
     "bad.form:3:13: A.Buddy: M is a TDataModule, not a TWidget"},
    {"DuplicateName", "object M: TDataModule\n  object A: TWidget\n  end\n  object a: TWidget\n  end\nend\n",
     "bad.form:4:3: duplicate component name a in M; the first is at line 2"},
    {"UnknownHandler", "object A: TWidget\n  OnFire = Explode\nend\n",
     "bad.form:2:12: A.OnFire: no event handler named Explode is registered"},
    {"NameAsProperty", "object A: TWidget\n  Name = 'B'\nend\n",
     "bad.form:2:3: A: the name is given in the object header (object Name: Class), not as a property"},
    {"SetterFails", "object A: TWidget\n  Count = -999\nend\n", "bad.form:2:11: A.Count = -999: Count -999 is not allowed"},
    {"LoadedFails", "object M: TDataModule\n  object A: TFragileWidget\n    Count = 13\n  end\nend\n",
     "bad.form:2:3: cannot finish loading A (TFragileWidget): A refuses to finish"},
    {"BadCharacterCode", "object A: TWidget\n  Caption = #55296\nend\n",
     "bad.form:2:13: expected a character code (0 to 1114111) after '#'"},
};

class BadFormTest : public FormReaderTest, public ::testing::WithParamInterface<TBadForm> {};

TEST_P(BadFormTest, GivesOneErrorWithItsPlaceAndLeavesNothing) {
    const TBadForm& Bad = GetParam();
    const int Before = TComponent::InstanceCount();
    EXPECT_THROW_CHECK(ReadFormFromString(Bad.Text, "bad.form"), EFormError, [&](const EFormError& E) {
        EXPECT_STREQ(E.what(), Bad.Message);
        EXPECT_EQ(E.FileName(), "bad.form");
        EXPECT_GT(E.Line(), 0);
    });
    EXPECT_EQ(TComponent::InstanceCount(), Before);
}

INSTANTIATE_TEST_SUITE_P(Forms, BadFormTest, ::testing::ValuesIn(BadForms),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(FormReaderTest, ColumnsCountCharactersNotBytes) {
    EXPECT_THROW_CHECK(ReadFormFromString("object A: TWidget\n  Caption = '\xC3\xA9\xC3\xA9' ;\nend\n", "u.form"),
                       EFormError, [](const EFormError& E) {
                           EXPECT_EQ(E.Line(), 2);
                           EXPECT_EQ(E.Column(), 18);  // 20 in bytes
                       });
}

TEST_F(FormReaderTest, AMissingFileIsAFormError) {
    EXPECT_THROW_MSG(ReadForm("/nonexistent/dir/x.form"), EFormError,
                     "/nonexistent/dir/x.form: cannot open the form file: No such file or directory");
}

TEST_F(FormReaderTest, SetPropertyFromStringUsesTheSameTableAndParser) {
    TDataModule M(nullptr);
    M.SetName("M");
    auto* A = new TWidget(&M);
    A->SetName("A");
    auto* B = new TWidget(&M);
    B->SetName("B");

    SetPropertyFromString(*A, "Count", "800");
    SetPropertyFromString(*A, "Part.Size", "$10");
    SetPropertyFromString(*A, "Part.Color", "clTestRed");
    SetPropertyFromString(*A, "Lines.Strings", "('x' 'y')");
    SetPropertyFromString(*A, "Caption", "'EUR'");
    SetPropertyFromString(*A, "Buddy", "B");  // resolved at once
    SetPropertyFromString(*A, "OnFire", "Fire");
    SetPropertyFromString(*A, "Options", "[woWide]");
    EXPECT_EQ(A->Count, 800);
    EXPECT_EQ(A->Part.Size, 16);
    EXPECT_EQ(A->Part.Color, 0x0000FFu);
    EXPECT_EQ(A->Lines.ToVector(), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(A->Caption, "EUR");
    EXPECT_EQ(A->Buddy.get(), B);
    EXPECT_TRUE(A->OnFire.Assigned());
    EXPECT_EQ(A->Options, woWide);

    EXPECT_THROW_MSG(SetPropertyFromString(*A, "Count", "abc"), EFormError,
                     "A.Count: expected an integer, found the identifier abc");
    EXPECT_THROW_MSG(SetPropertyFromString(*A, "Caption", "EUR"), EFormError,
                     "A.Caption: expected a string in single quotes, found the identifier EUR (write 'EUR')");
    EXPECT_THROW_MSG(
        SetPropertyFromString(*A, "Caption", "'EUR"), EFormError,
        "A.Caption = 'EUR: unterminated string: expected ' before the end of the file (at column 1 of the value)");
    EXPECT_THROW_MSG(SetPropertyFromString(*A, "Count", "5 6"), EFormError,
                     "A.Count = 5 6: expected the end of the value, found the number 6 (at column 3 of the value)");
    EXPECT_THROW_MSG(SetPropertyFromString(*A, "Widht", "5"), EFormError, "unknown property Widht of A (TWidget)");
    EXPECT_THROW_MSG(SetPropertyFromString(*A, "Buddy", "Nobody"), EFormError,
                     "A.Buddy: no component named Nobody in M");
    EXPECT_THROW_MSG(SetPropertyFromString(*A, "Part..Size", "1"), EFormError,
                     "A: 'Part..Size' is not a property name");
    EXPECT_THROW_MSG(SetPropertyFromString(*A, "Kind", "wkNone"), EFormError,
                     "A.Kind: wkNone is not a value of TWidgetKind (wkPlain, wkFancy, wkOther)");
    // Nothing changed by the failed attempts.
    EXPECT_EQ(A->Count, 800);
    EXPECT_EQ(A->Caption, "EUR");
    EXPECT_EQ(A->Buddy.get(), B);
}

TEST(FormRegistry, RejectsNamesAFormCannotHold) {
    EXPECT_THROW(RegisterEventHandler("not a name", TNotifyEvent([](TObject*) {})), EInvalidOperation);
    EXPECT_THROW(RegisterEventHandler("Empty", TNotifyEvent()), EInvalidOperation);
    EXPECT_THROW(RegisterComponentClass("9Lives", [](TComponent* O) -> TComponent* { return new TWidget(O); }),
                 EInvalidOperation);
    RegisterEventHandler("Temporary", TNotifyEvent([](TObject*) {}));
    ASSERT_TRUE(FindEventHandler("Temporary"));
    EXPECT_EQ(FindEventHandler("Temporary")->Name, "Temporary");
    UnregisterEventHandler("Temporary");
    EXPECT_FALSE(FindEventHandler("Temporary"));
    EXPECT_FALSE(FindComponentClass("TGadget"));
}

}  // namespace

}  // namespace pv::testing

namespace pv::testing {

// Hostile forms: each refused with one short error at its place, quickly,
// with nothing left behind.
TEST_F(FormReaderTest, AHugeUnknownNameGetsAShortMessageWithoutSuggestions) {
    const std::string Huge(1 << 20, 'W');
    const std::string Form = "object M: TDataModule\n  object A: TWidget\n    Count = 1\n  end\nend\n";
    // Through --set, where no parser limits the name's length.
    auto M = ReadFormFromString(Form, "m.form");
    auto* A = M->FindComponent("A");
    EXPECT_THROW_MSG(SetPropertyFromString(*A, Huge, "1"), EFormError,
                     "A: a property name longer than 255 characters (starting 'WWWWWWWWWWWWWWWWWWWW'...)");
    // A long name below the limit: no suggestion is searched for, and the
    // message shows a short prefix.
    const std::string Long(200, 'w');
    EXPECT_THROW_MSG(SetPropertyFromString(*A, Long, "1"), EFormError,
                     "unknown property '" + std::string(40, 'w') + "'... of A (TWidget)");
    // Short slips still get their suggestion.
    EXPECT_THROW_MSG(SetPropertyFromString(*A, "Cuont", "1"), EFormError,
                     "unknown property Cuont of A (TWidget); did you mean Count?");
    // A value that does not parse is echoed only as a prefix.
    EXPECT_THROW_MSG(
        SetPropertyFromString(*A, "Count", std::string(100000, '1') + "x"), EFormError,
        "A.Count = '" + std::string(40, '1') +
            "'...: a number longer than 255 characters (starting '11111111111111111111'...) (at column 1 of "
            "the value)");
}

TEST_F(FormReaderTest, DeepNestingIsAnErrorAtItsPlaceAndLeavesNothingBehind) {
    std::string Form = "object M: TDataModule\n";
    for (int I = 0; I < 20000; ++I) Form += "object W" + std::to_string(I) + ": TWidget\n";
    for (int I = 0; I < 20000; ++I) Form += "end\n";
    Form += "end\n";
    EXPECT_THROW_MSG(ReadFormFromString(Form, "deep.form"), EFormError,
                     "deep.form:65:1: objects nested more than 64 levels deep");
    // TearDown checks that no widget is left.
}

TEST_F(FormReaderTest, ManySiblingsReadAndADuplicateNameIsFoundAmongThem) {
    constexpr int N = 3000;
    std::string Form = "object M: TDataModule\n";
    for (int I = 0; I < N; ++I) Form += "  object W" + std::to_string(I) + ": TWidget\n  end\n";
    Form += "  object W77: TWidget\n  end\nend\n";
    EXPECT_THROW_MSG(ReadFormFromString(Form, "wide.form"), EFormError,
                     "wide.form:6002:3: duplicate component name W77 in M; the first is at line 156");
    Form.resize(Form.size() - std::string("  object W77: TWidget\n  end\nend\n").size());
    Form += "end\n";
    Journal().clear();
    auto M = ReadFormFromString(Form, "wide.form");
    ASSERT_EQ(M->GetComponentCount(), N);
    EXPECT_EQ(M->FindComponent("w2999"), M->GetComponent(N - 1));
    Journal().clear();
}

}  // namespace pv::testing
