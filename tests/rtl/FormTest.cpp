// The form writer, and the round trip write -> read -> write.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "platform/rtl/DataModule.h"
#include "platform/rtl/FormReader.h"
#include "platform/rtl/FormRegistry.h"
#include "platform/rtl/FormWriter.h"
#include "tests/rtl/FormTestClasses.h"
#include "tests/support/ThrowMessage.h"

namespace pv::testing {

namespace {

std::string TestColorToIdent(std::uint32_t C) {
    if (C == 0x0000FF) return "clTestRed";
    if (C == 0x80000008) return "clTestText";
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "$%08X", static_cast<unsigned>(C));
    return Buf;
}

std::optional<std::uint32_t> TestIdentToColor(std::string_view S) {
    if (S == "clTestRed") return 0x0000FF;
    if (S == "clTestText") return 0x80000008;
    return std::nullopt;
}

}  // namespace

// Registers the test classes, the colour names and one handler, once for
// the whole test program.
class FormEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        RegisterComponentClass<TDataModule>("TDataModule");
        RegisterComponentClass<TWidget>("TWidget");
        RegisterComponentClass<TFragileWidget>("TFragileWidget");
        RegisterComponentClass<TNotedWidget>("TNotedWidget");
        RegisterColorIdents(&TestColorToIdent, &TestIdentToColor);
        RegisterEventHandler("Fire", TNotifyEvent([](TObject*) {}));
    }
};
const auto* const Env = ::testing::AddGlobalTestEnvironment(new FormEnvironment);

namespace {

// Alpha sets a value of every kind, with the awkward cases: a negative
// integer, quotes, control characters and UTF-8 in a string, an empty
// string, an empty and a non-empty list, a forward reference, an event.
// Gamma, nested in Beta, refers up the tree to Alpha.
std::unique_ptr<TDataModule> MakeModule() {
    auto M = std::make_unique<TDataModule>(nullptr);
    M->SetName("Module1");
    M->SetTag(7);
    auto* A = new TWidget(M.get());
    A->SetName("Alpha");
    auto* B = new TWidget(M.get());
    B->SetName("Beta");
    auto* C = new TWidget(B);
    C->SetName("Gamma");
    new TWidget(A);  // an unnamed part Alpha made for itself: not stored
    A->Count = -42;
    A->Caption = "It's\t\"x\"\r\n\xC3\xA9t\xC3\xA9";
    A->Enabled = false;
    A->Kind = TWidgetKind::wkFancy;
    A->Color = 0x0000FF;
    A->Options = woBold | woTall;
    A->Part.Size = 12;
    A->Part.Color = 0x00123456;
    A->Part.Style = woWide;
    A->Part.Label = "";
    A->Lines.Add("first");
    A->Lines.Add("it's");
    A->Lines.Add("");
    A->Buddy = B;
    A->OnFire = *FindEventHandler("Fire");
    C->Buddy = A;
    C->Count = 2147483647;
    return M;
}

const char* const ExpectedForm = R"(object Module1: TDataModule
  Tag = 7
  object Alpha: TWidget
    Tag = 0
    Count = -42
    Caption = 'It''s'#9'"x"'#13#10'été'
    Enabled = False
    Kind = wkFancy
    Color = clTestRed
    Options = [woBold, woTall]
    Part.Size = 12
    Part.Color = $00123456
    Part.Style = [woWide]
    Part.Label = ''
    Lines.Strings = (
      'first'
      'it''s'
      '')
    Buddy = Beta
    OnFire = Fire
  end
  object Beta: TWidget
    Tag = 0
    Count = 0
    Caption = ''
    Enabled = True
    Kind = wkPlain
    Color = $00FFFFFF
    Options = []
    Part.Size = 10
    Part.Color = clTestText
    Part.Style = []
    Part.Label = 'part'
    Lines.Strings = ()
    Buddy = nil
    OnFire = nil
    object Gamma: TWidget
      Tag = 0
      Count = 2147483647
      Caption = ''
      Enabled = True
      Kind = wkPlain
      Color = $00FFFFFF
      Options = []
      Part.Size = 10
      Part.Color = clTestText
      Part.Style = []
      Part.Label = 'part'
      Lines.Strings = ()
      Buddy = Alpha
      OnFire = nil
    end
  end
end
)";

TEST(FormWriter, WritesEveryPropertyKindInTableOrder) {
    auto M = MakeModule();
    EXPECT_EQ(WriteForm(*M), ExpectedForm);
}

TEST(FormWriter, RoundTripGivesTheSameBytesAndTheSameValues) {
    auto M = MakeModule();
    std::string First = WriteForm(*M);
    auto Read = ReadFormFromString(First, "module.form");
    EXPECT_EQ(WriteForm(*Read), First);

    auto* A = dynamic_cast<TWidget*>(Read->FindComponent("Alpha"));
    auto* B = dynamic_cast<TWidget*>(Read->FindComponent("Beta"));
    ASSERT_TRUE(A && B);
    EXPECT_EQ(A->Caption, "It's\t\"x\"\r\n\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(A->Lines.ToVector(), (std::vector<std::string>{"first", "it's", ""}));
    EXPECT_EQ(A->Buddy.get(), B);
    EXPECT_TRUE(A->OnFire.Assigned());
    EXPECT_EQ(A->OnFire.Name, "Fire");
    auto* C = dynamic_cast<TWidget*>(B->FindComponent("Gamma"));
    ASSERT_TRUE(C);
    EXPECT_EQ(C->Buddy.get(), A);
    // The unnamed part was not stored, so it is not read back either.
    EXPECT_EQ(A->GetComponentCount(), 0);
}

TEST(FormWriter, ComponentPropertiesStartWithTheName) {
    auto M = MakeModule();
    std::string Lines = WriteComponentProperties(*M->FindComponent("Beta"));
    EXPECT_EQ(Lines.substr(0, Lines.find("Enabled")), "Name = 'Beta'\nTag = 0\nCount = 0\nCaption = ''\n");
    EXPECT_EQ(WriteComponentProperties(*M), "Name = 'Module1'\nTag = 7\n");
}

TEST(FormWriter, RefusesWhatCouldNotBeReadBack) {
    auto M = MakeModule();
    auto* A = static_cast<TWidget*>(M->FindComponent("Alpha"));

    auto* Unnamed = new TWidget(M.get());
    A->Buddy = Unnamed;
    EXPECT_THROW_MSG(WriteForm(*M), EFormError, "Cannot store Alpha.Buddy: the TWidget it refers to has no name");

    TDataModule Other(nullptr);
    Other.SetName("Other");
    auto* Elsewhere = new TWidget(&Other);
    Elsewhere->SetName("Elsewhere");
    A->Buddy = Elsewhere;
    EXPECT_THROW_MSG(WriteForm(*M), EFormError,
                     "Cannot store Alpha.Buddy = Elsewhere: a form read back would find no component, or another "
                     "one, under that name from Alpha");

    A->Buddy = nullptr;
    A->OnFire = TNotifyEvent([](TObject*) {});
    EXPECT_THROW_MSG(WriteForm(*M), EFormError,
                     "Cannot store Alpha.OnFire: its handler has no name (register handlers that forms store "
                     "with RegisterEventHandler)");

    A->OnFire = {};
    A->Kind = static_cast<TWidgetKind>(9);
    EXPECT_THROW_MSG(WriteForm(*M), EFormError, "Cannot store Alpha.Kind: its value 9 has no name in TWidgetKind");
}

TEST(FormWriter, ColoursAreNumbersUntilNamesAreRegistered) {
    RegisterColorIdents(nullptr, nullptr);
    TWidget W(nullptr);
    W.Color = 0x0000FF;
    std::string Lines = WriteComponentProperties(W);
    EXPECT_NE(Lines.find("Color = $000000FF\n"), std::string::npos);
    EXPECT_THROW(SetPropertyFromString(W, "Color", "clTestRed"), EFormError);
    RegisterColorIdents(&TestColorToIdent, &TestIdentToColor);
    EXPECT_NE(WriteComponentProperties(W).find("Color = clTestRed\n"), std::string::npos);
}

TEST(FormWriter, DataModulePublishesNameAndTagOnly) {
    TDataModule M(nullptr);
    EXPECT_EQ(M.ClassName(), "TDataModule");
    ASSERT_NE(M.ClassInfo(), nullptr);
    EXPECT_TRUE(M.ClassInfo()->InheritsFrom("TComponent"));
    auto Props = GetPropList(*M.ClassInfo());
    ASSERT_EQ(Props.size(), 2u);
    EXPECT_EQ(Props[0]->Name, "Name");
    EXPECT_EQ(Props[1]->Name, "Tag");
}

TEST(FormWriter, QuotesStringsTheWayTheReaderReadsThem) {
    EXPECT_EQ(QuoteFormString(""), "''");
    EXPECT_EQ(QuoteFormString("'"), "''''");
    EXPECT_EQ(QuoteFormString("\n"), "#10");
    EXPECT_EQ(QuoteFormString("a\x7F"), "'a'#127");
    std::string All;
    for (int C = 0; C < 256; ++C) All += static_cast<char>(C);
    EXPECT_EQ(ParsePropertyValue(QuoteFormString(All)).Text, All);
}

}  // namespace

}  // namespace pv::testing
