#pragma once
// Small classes with one published property of every kind, for the form
// reader and writer tests. TWidget records every setter call (with the
// Loading and Designing flags of the moment) in a journal shared by all
// widgets, and counts live instances so a test can see that a failed load
// left nothing behind.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/rtl/BaseDirectory.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/FormRegistry.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/TypInfo.h"

namespace pv::testing {

struct TJournalEntry {
    std::string Widget;
    std::string What;  // "Count=5", "Loaded", ...
    bool Loading = false;
    bool Designing = false;
};

inline std::vector<TJournalEntry>& Journal() {
    static std::vector<TJournalEntry> J;
    return J;
}

enum class TWidgetKind : std::uint8_t { wkPlain, wkFancy, wkOther };
enum TWidgetOption : std::uint8_t { woBold = 1, woWide = 2, woTall = 4 };

// A persistent sub-object with its own table, as a font is.
class TPart : public TPersistent {
public:
    std::string_view ClassName() const override { return "TPart"; }
    const TClassInfo* ClassInfo() const override;
    int Size = 10;
    std::uint32_t Color = 0x80000008;
    std::uint8_t Style = 0;
    std::string Label = "part";
    void Assign(const TPersistent& Source) override {
        if (auto* S = dynamic_cast<const TPart*>(&Source)) {
            Size = S->Size;
            Color = S->Color;
            Style = S->Style;
            Label = S->Label;
            return;
        }
        TPersistent::Assign(Source);
    }
};

class TWidget : public TComponent, public IBaseDirectory {
public:
    explicit TWidget(TComponent* AOwner) : TComponent(AOwner) { ++Live(); }
    ~TWidget() override { --Live(); }
    static int& Live() {
        static int N = 0;
        return N;
    }

    std::string_view ClassName() const override { return "TWidget"; }
    const TClassInfo* ClassInfo() const override;
    static const TClassInfo& StaticClassInfo();

    void Note(const std::string& What) {
        Journal().push_back({GetName(), What, HasState(csLoading), HasState(csDesigning)});
    }
    void Loaded() override {
        TComponent::Loaded();
        Note("Loaded");
        if (FailInLoaded) throw EInvalidOperation(GetName() + " refuses to finish");
    }
    void SetBaseDirectory(const std::string& Directory) override {
        BaseDirectory = Directory;
        Note("BaseDirectory");
    }

    // The published properties, in declaration order.
    int Count = 0;
    std::string Caption;
    bool Enabled = true;
    TWidgetKind Kind = TWidgetKind::wkPlain;
    std::uint32_t Color = 0x00FFFFFF;
    std::uint8_t Options = 0;
    TPart Part;
    TStringList Lines;
    TComponentPtr<TWidget> Buddy;
    TNotifyEvent OnFire;
    // Not published: a read-only list, filled by assignment.
    TStringList Notes;

    const TStrings* LastListGiven = nullptr;
    std::string BaseDirectory;
    bool FailInLoaded = false;
};

// A widget whose Loaded fails when its Count is 13, to test failures there.
class TFragileWidget : public TWidget {
public:
    explicit TFragileWidget(TComponent* AOwner) : TWidget(AOwner) {}
    std::string_view ClassName() const override { return "TFragileWidget"; }
    void Loaded() override {
        FailInLoaded = Count == 13;
        TWidget::Loaded();
    }
};

namespace detail {

inline TWidget& W(TObject& O) { return static_cast<TWidget&>(O); }
inline const TWidget& W(const TObject& O) { return static_cast<const TWidget&>(O); }
inline std::int64_t I(const TPropValue& V) { return std::get<std::int64_t>(V); }

constexpr std::array<std::string_view, 3> KindNames{"wkPlain", "wkFancy", "wkOther"};
constexpr TEnumTypeInfo KindType{"TWidgetKind", KindNames};
constexpr std::array<std::string_view, 3> OptionNames{"woBold", "woWide", "woTall"};
constexpr TEnumTypeInfo OptionType{"TWidgetOption", OptionNames};

inline TPart& P(TObject& O) { return static_cast<TPart&>(O); }
inline const TPart& P(const TObject& O) { return static_cast<const TPart&>(O); }

inline const std::array<TPropInfo, 4> PartProps{{
    {"Size", TTypeKind::tkInteger, nullptr, {},
     [](const TObject& O) -> TPropValue { return std::int64_t{P(O).Size}; },
     [](TObject& O, const TPropValue& V) { P(O).Size = static_cast<int>(I(V)); }},
    {"Color", TTypeKind::tkColor, nullptr, {},
     [](const TObject& O) -> TPropValue { return std::int64_t{P(O).Color}; },
     [](TObject& O, const TPropValue& V) { P(O).Color = static_cast<std::uint32_t>(I(V)); }},
    {"Style", TTypeKind::tkSet, &OptionType, {},
     [](const TObject& O) -> TPropValue { return std::int64_t{P(O).Style}; },
     [](TObject& O, const TPropValue& V) { P(O).Style = static_cast<std::uint8_t>(I(V)); }},
    {"Label", TTypeKind::tkString, nullptr, {},
     [](const TObject& O) -> TPropValue { return P(O).Label; },
     [](TObject& O, const TPropValue& V) { P(O).Label = std::get<std::string>(V); }},
}};
inline const TClassInfo PartInfo{"TPart", nullptr, PartProps};

inline const std::array<TPropInfo, 10> WidgetProps{{
    {"Count", TTypeKind::tkInteger, nullptr, {},
     [](const TObject& O) -> TPropValue { return std::int64_t{W(O).Count}; },
     [](TObject& O, const TPropValue& V) {
         if (I(V) == -999) throw ERangeError("Count -999 is not allowed");
         W(O).Count = static_cast<int>(I(V));
         W(O).Note("Count=" + std::to_string(W(O).Count));
     }},
    {"Caption", TTypeKind::tkString, nullptr, {},
     [](const TObject& O) -> TPropValue { return W(O).Caption; },
     [](TObject& O, const TPropValue& V) {
         W(O).Caption = std::get<std::string>(V);
         W(O).Note("Caption");
     }},
    {"Enabled", TTypeKind::tkBoolean, nullptr, {},
     [](const TObject& O) -> TPropValue { return W(O).Enabled; },
     [](TObject& O, const TPropValue& V) {
         W(O).Enabled = std::get<bool>(V);
         W(O).Note("Enabled");
     }},
    {"Kind", TTypeKind::tkEnumeration, &KindType, {},
     [](const TObject& O) -> TPropValue { return std::int64_t(W(O).Kind); },
     [](TObject& O, const TPropValue& V) {
         W(O).Kind = static_cast<TWidgetKind>(I(V));
         W(O).Note("Kind");
     }},
    {"Color", TTypeKind::tkColor, nullptr, {},
     [](const TObject& O) -> TPropValue { return std::int64_t{W(O).Color}; },
     [](TObject& O, const TPropValue& V) {
         W(O).Color = static_cast<std::uint32_t>(I(V));
         W(O).Note("Color");
     }},
    {"Options", TTypeKind::tkSet, &OptionType, {},
     [](const TObject& O) -> TPropValue { return std::int64_t{W(O).Options}; },
     [](TObject& O, const TPropValue& V) {
         W(O).Options = static_cast<std::uint8_t>(I(V));
         W(O).Note("Options");
     }},
    {"Part", TTypeKind::tkClass, nullptr, "TPart",
     [](const TObject& O) -> TPropValue { return static_cast<TObject*>(const_cast<TPart*>(&W(O).Part)); },
     [](TObject& O, const TPropValue& V) {
         if (auto* S = dynamic_cast<TPart*>(std::get<TObject*>(V)); S && S != &W(O).Part) W(O).Part.Assign(*S);
         W(O).Note("Part");
     }},
    // Compares by identity and copies, as the chart component's list
    // properties do.
    {"Lines", TTypeKind::tkClass, nullptr, "TStrings",
     [](const TObject& O) -> TPropValue { return static_cast<TObject*>(const_cast<TStringList*>(&W(O).Lines)); },
     [](TObject& O, const TPropValue& V) {
         auto* S = dynamic_cast<TStrings*>(std::get<TObject*>(V));
         W(O).LastListGiven = S;
         if (!S || S == &W(O).Lines) return;
         W(O).Lines.Assign(*S);
         W(O).Note("Lines");
     }},
    {"Buddy", TTypeKind::tkComponent, nullptr, "TWidget",
     [](const TObject& O) -> TPropValue { return static_cast<TObject*>(W(O).Buddy.get()); },
     [](TObject& O, const TPropValue& V) {
         W(O).Buddy = dynamic_cast<TWidget*>(std::get<TObject*>(V));
         W(O).Note(std::string("Buddy=") + (W(O).Buddy ? W(O).Buddy->GetName() : "nil"));
     }},
    {"OnFire", TTypeKind::tkMethod, nullptr, "TNotifyEvent",
     [](const TObject& O) -> TPropValue { return W(O).OnFire; },
     [](TObject& O, const TPropValue& V) {
         W(O).OnFire = std::get<TNotifyEvent>(V);
         W(O).Note("OnFire");
     }},
}};
inline const TClassInfo WidgetInfo{"TWidget", &TComponent::StaticClassInfo(), WidgetProps};

inline const std::array<TPropInfo, 1> NotesProps{{
    {"Notes", TTypeKind::tkClass, nullptr, "TStrings",
     [](const TObject& O) -> TPropValue { return static_cast<TObject*>(const_cast<TStringList*>(&W(O).Notes)); },
     nullptr},
}};

}  // namespace detail

inline const TClassInfo* TPart::ClassInfo() const { return &detail::PartInfo; }
inline const TClassInfo& TWidget::StaticClassInfo() { return detail::WidgetInfo; }
inline const TClassInfo* TWidget::ClassInfo() const { return &detail::WidgetInfo; }

// A widget with one more property: a string list that has no setter.
class TNotedWidget : public TWidget {
public:
    explicit TNotedWidget(TComponent* AOwner) : TWidget(AOwner) {}
    std::string_view ClassName() const override { return "TNotedWidget"; }
    const TClassInfo* ClassInfo() const override {
        static const TClassInfo Info{"TNotedWidget", &detail::WidgetInfo, detail::NotesProps};
        return &Info;
    }
};

}  // namespace pv::testing
