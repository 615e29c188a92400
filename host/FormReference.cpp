#include "host/FormReference.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

#include "component/Norq_Plotvane.h"
#include "host/FormClasses.h"
#include "host/internal/FormReferenceText.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/FormParser.h"
#include "platform/rtl/FormReader.h"
#include "platform/rtl/FormRegistry.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/TypInfo.h"
#include "platform/vcl/Color.h"
#include "platform/vcl/Font.h"

namespace plotvane {

namespace {

using namespace reference;

// The classes of the sub-objects that properties hold (string lists
// aside), with how a new one is made, for the defaults they are compared
// with.
struct TSubObjectClass {
    std::string_view ClassName;
    std::unique_ptr<pv::TObject> (*Make)();
};

const TSubObjectClass SubObjectClasses[] = {
    {"TFont", []() -> std::unique_ptr<pv::TObject> { return std::make_unique<pv::TFont>(); }},
    {"TNorq_DBPlotvaneReferenceLine",
     []() -> std::unique_ptr<pv::TObject> { return std::make_unique<Norq_Plotvane::TNorq_DBPlotvaneReferenceLine>(); }},
};

// ---------------------------------------------------------------------------
// Markdown.

// A table cell: a '|' in it would end the cell.
std::string Cell(std::string_view S) {
    std::string Out;
    for (char C : S) {
        if (C == '|') Out += '\\';
        Out += C;
    }
    return Out;
}

// S as inline code.
std::string Code(std::string_view S) {
    if (S.find('`') == std::string_view::npos) return "`" + std::string(S) + "`";
    return "`` " + std::string(S) + " ``";
}

// The anchor GitHub gives a heading that is one identifier.
std::string Anchor(std::string_view Name) {
    std::string A = "#";
    for (char C : Name) A += (C >= 'A' && C <= 'Z') ? char(C - 'A' + 'a') : C;
    return A;
}

std::string Link(std::string_view Name) { return "[" + std::string(Name) + "](" + Anchor(Name) + ")"; }

std::string Hex(std::uint32_t V) {
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "$%08X", static_cast<unsigned>(V));
    return Buf;
}

// ---------------------------------------------------------------------------
// The classes.

enum class TDocKind : std::uint8_t {
    dkComponent,  // a registered class
    dkBase,       // a base class of registered ones, with properties of its own
    dkSubObject,  // the class of a sub-object that properties hold
};

struct TDocClass {
    std::string Name;
    TDocKind Kind = TDocKind::dkComponent;
    const pv::TClassInfo* Info = nullptr;
    // The object the defaults are read from: a component made by the
    // registered factory, a sub-object made by SubObjectClasses, or for a
    // base class a component of the first class derived from it (Sample,
    // owned by that class's entry).
    pv::TUniqueComponent<pv::TComponent> Component;
    std::unique_ptr<pv::TObject> SubObject;
    const pv::TObject* Sample = nullptr;
    // For a sub-object class: the properties that hold one ("TNorq_DBPlotvane.TitleFont").
    std::vector<std::string> HeldBy;

    const pv::TObject& Instance() const {
        if (Component) return *Component;
        return SubObject ? *SubObject : *Sample;
    }
};

struct TDocEnum {
    const pv::TEnumTypeInfo* Type;
    std::vector<std::string> UsedBy;
};

// The name of the class whose own table holds P.
std::string_view DeclaringClass(const pv::TClassInfo& Info, const pv::TPropInfo& P) {
    for (const pv::TClassInfo* C = &Info; C; C = C->Parent)
        for (const pv::TPropInfo& Q : C->Props)
            if (&Q == &P) return C->ClassName;
    return Info.ClassName;
}

// The order of the reference: the chart, the data source, the data sets,
// the other components; sub-objects after them (appended later).
int Rank(const pv::TClassInfo& Info) {
    if (Info.InheritsFrom("TNorq_DBPlotvane")) return 0;
    if (Info.InheritsFrom("TDataSource")) return 1;
    if (Info.InheritsFrom("TDataSet")) return 2;
    return 3;
}

const TSubObjectClass* FindSubObjectClass(std::string_view Name) {
    for (const TSubObjectClass& S : SubObjectClasses)
        if (S.ClassName == Name) return &S;
    return nullptr;
}

const pv::TObject* SubObjectOf(const pv::TObject& Instance, const pv::TPropInfo& P) {
    if (!P.Get) return nullptr;
    pv::TPropValue V = P.Get(Instance);
    return std::holds_alternative<pv::TObject*>(V) ? std::get<pv::TObject*>(V) : nullptr;
}

bool IsStringList(const pv::TPropInfo& P) { return P.Kind == pv::TTypeKind::tkClass && P.TypeName == "TStrings"; }

class TReference {
public:
    TReference() {
        RegisterFormClasses();
        for (const std::string& Name : pv::RegisteredComponentClasses()) {
            auto Factory = pv::FindComponentClass(Name);
            if (!Factory) continue;
            TDocClass D;
            D.Name = Name;
            D.Component.reset((*Factory)(nullptr));
            if (!D.Component)
                throw pv::EInvalidOperation("the form reference: the factory of " + Name + " made nothing");
            D.Info = D.Component->ClassInfo();
            if (!D.Info) throw pv::EInvalidOperation("the form reference: " + Name + " has no property table");
            FClasses.push_back(std::move(D));
        }
        std::stable_sort(FClasses.begin(), FClasses.end(),
                         [](const TDocClass& A, const TDocClass& B) { return Rank(*A.Info) < Rank(*B.Info); });
        const std::size_t Components = FClasses.size();
        for (std::size_t I = 0; I < Components; ++I)
            for (const pv::TClassInfo* B = FClasses[I].Info->Parent; B; B = B->Parent)
                if (!B->Props.empty() && !FindClass(B->ClassName)) {
                    TDocClass D;
                    D.Name = std::string(B->ClassName);
                    D.Kind = TDocKind::dkBase;
                    D.Info = B;
                    D.Sample = FClasses[I].Component.get();
                    FClasses.push_back(std::move(D));
                }
        for (std::size_t I = 0; I < Components; ++I)
            for (const pv::TPropInfo* P : pv::GetPropList(*FClasses[I].Info)) {
                if (P->Kind != pv::TTypeKind::tkClass || IsStringList(*P)) continue;
                AddSubObjectClass(*P, FClasses[I].Name + "." + std::string(P->Name));
            }
        for (const TDocClass& C : FClasses)
            for (const pv::TPropInfo* P : pv::GetPropList(*C.Info))
                if (P->EnumType && IsListedIn(C, *P)) AddEnum(*P->EnumType, C.Name + "." + std::string(P->Name));
        CheckMeanings();
    }

    std::string Text() const {
        std::string Out(Title);
        Out += '\n';
        for (const TDocClass& C : FClasses) Out += "  - " + Link(C.Name) + "\n";
        Out += "- [Enumerations](#enumerations)\n- [Colours](#colours)\n\n";
        Out += FormFiles;
        Out += "\n- Limits: objects nested at most " + std::to_string(pv::FormLimits::MaxDepth) +
               " deep, at most " + std::to_string(pv::FormLimits::MaxObjects) +
               " objects,\n  names (a dotted property name as a whole, and numbers) of at most " +
               std::to_string(pv::FormLimits::MaxNameLength) + " characters, strings of at most " +
               std::to_string(pv::FormLimits::MaxStringLength >> 20) + " MiB,\n  forms of at most " +
               std::to_string(pv::FormLimits::MaxFormBytes >> 20) + " MiB.\n\n";
        Out += Values;
        Out += '\n';
        Out += Refusals();
        Out += '\n';
        Out += ExampleIntro;
        Out += "\n```text\n";
        Out += Example;
        Out += "```\n\n";
        Out += ClassesIntro;
        Out += '\n';
        for (const TDocClass& C : FClasses) Out += "\n" + ClassSection(C);
        Out += '\n';
        Out += EnumerationsIntro;
        Out += '\n';
        for (const TDocEnum& E : FEnums) Out += "\n" + EnumSection(E);
        Out += '\n';
        Out += ColoursIntro;
        for (std::string_view Name : pv::ColorNameList()) {
            const std::uint32_t V = pv::StringToColor(Name).value_or(0);
            const std::string Drawn = V == pv::clNone      ? "nothing"
                                      : V == pv::clDefault ? "as the drawing chooses"
                                      : pv::IsSystemColor(V) ? Code(Hex(pv::ColorToRGB(V)))
                                                             : "itself";
            Out += "| " + Code(Name) + " | " + Code(Hex(V)) + " | " + Drawn + " |\n";
        }
        Out += CssColoursIntro;
        Out += '\n';
        std::string Line;
        for (std::string_view Name : pv::CssColorNameList()) {
            // Lines of about a hundred characters, as the text around them.
            const std::string Item = Code(Name) + ",";
            if (!Line.empty() && Line.size() + 1 + Item.size() > 100) {
                Out += Line + '\n';
                Line.clear();
            }
            Line += (Line.empty() ? "" : " ") + Item;
        }
        Line.back() = '.';
        Out += Line + '\n';
        return Out;
    }

private:
    const TDocClass* FindClass(std::string_view Name) const {
        for (const TDocClass& C : FClasses)
            if (C.Name == Name) return &C;
        return nullptr;
    }

    // Whether P is listed in C's table: it is unless a base class of C that
    // has a section of its own declares it.
    bool IsListedIn(const TDocClass& C, const pv::TPropInfo& P) const {
        const std::string_view Declaring = DeclaringClass(*C.Info, P);
        if (Declaring == C.Name) return true;
        const TDocClass* D = FindClass(Declaring);
        return !D || D->Kind != TDocKind::dkBase;
    }

    void AddSubObjectClass(const pv::TPropInfo& P, const std::string& HeldBy) {
        for (TDocClass& C : FClasses)
            if (C.Name == P.TypeName) {
                C.HeldBy.push_back(HeldBy);
                return;
            }
        const TSubObjectClass* S = FindSubObjectClass(P.TypeName);
        if (!S)
            throw pv::EInvalidOperation("the form reference: " + HeldBy + " holds a " + std::string(P.TypeName) +
                                        ", a class it cannot make (add it to SubObjectClasses in "
                                        "host/FormReference.cpp)");
        TDocClass D;
        D.Name = std::string(S->ClassName);
        D.Kind = TDocKind::dkSubObject;
        D.SubObject = S->Make();
        D.Info = D.SubObject->ClassInfo();
        if (!D.Info) throw pv::EInvalidOperation("the form reference: " + D.Name + " has no property table");
        D.HeldBy.push_back(HeldBy);
        FClasses.push_back(std::move(D));
    }

    void AddEnum(const pv::TEnumTypeInfo& Type, const std::string& UsedBy) {
        for (TDocEnum& E : FEnums)
            if (E.Type->TypeName == Type.TypeName) {
                E.UsedBy.push_back(UsedBy);
                return;
            }
        FEnums.push_back({&Type, {UsedBy}});
    }

    // Every class, property and enumeration value has a meaning, and every
    // meaning names one of them.
    void CheckMeanings() const {
        std::set<std::string> Wanted;
        for (const TDocClass& C : FClasses) {
            Wanted.insert(C.Name);
            for (const pv::TPropInfo* P : pv::GetPropList(*C.Info))
                Wanted.insert(std::string(DeclaringClass(*C.Info, *P)) + "." + std::string(P->Name));
        }
        for (const TDocEnum& E : FEnums)
            for (std::string_view V : E.Type->Names)
                Wanted.insert(std::string(E.Type->TypeName) + "." + std::string(V));
        std::set<std::string> Given;
        std::string Unknown;
        for (const TMeaning& M : Meanings()) {
            const std::string Key(M.Key);
            if (!Given.insert(Key).second || !Wanted.contains(Key)) Unknown += (Unknown.empty() ? "" : ", ") + Key;
        }
        std::string Missing;
        for (const std::string& Key : Wanted)
            if (!Given.contains(Key)) Missing += (Missing.empty() ? "" : ", ") + Key;
        if (Missing.empty() && Unknown.empty()) return;
        std::string What = "the form reference in host/FormReference.cpp";
        if (!Missing.empty()) What += " has no meaning for " + Missing;
        if (!Unknown.empty())
            What += std::string(Missing.empty() ? "" : ";") + " has meanings that name nothing or come twice: " +
                    Unknown;
        throw pv::EInvalidOperation(What);
    }

    static const TMeaning* Find(std::string_view Key) {
        for (const TMeaning& M : Meanings())
            if (M.Key == Key) return &M;
        return nullptr;
    }
    static std::string_view MeaningOf(std::string_view Key) {
        const TMeaning* M = Find(Key);
        return M ? M->Text : std::string_view();
    }

    // The messages the reader gives for a few mistakes, from the reader itself.
    static std::string Refusals() {
        struct TMistake {
            std::string_view What;
            std::string_view Form;
        };
        static constexpr TMistake Mistakes[] = {
            {"A misspelt property, with the nearest name when one is close:",
             "object Module: TDataModule\n  object RevenueChart: TNorq_DBPlotvane\n    Widht = 800\n  end\nend\n"},
            {"A class that is not registered, with those that are:",
             "object Module: TDataModule\n  object RevenueChart: TNorq_DBPlotvan\n  end\nend\n"},
            {"A value the property's setter refuses:",
             "object Module: TDataModule\n  object RevenueChart: TNorq_DBPlotvane\n    JPEGQuality = 0\n  end\nend\n"},
            {"A value of another kind:",
             "object Module: TDataModule\n  object RevenueChart: TNorq_DBPlotvane\n    Width = '800'\n  end\nend\n"},
            {"A colour in none of the spellings:",
             "object Module: TDataModule\n  object RevenueChart: TNorq_DBPlotvane\n    Color = #12345\n  end\nend\n"},
            {"A reference to no component:",
             "object Module: TDataModule\n  object RevenueChart: TNorq_DBPlotvane\n    DataSource = SalesSource\n"
             "  end\nend\n"},
        };
        std::string Out(RefusesIntro);
        for (const TMistake& M : Mistakes) {
            std::string Message;
            try {
                pv::ReadFormFromString(M.Form, "chart.form", HostReadOptions());
            } catch (const pv::EFormError& E) {
                Message = E.what();
            }
            if (Message.empty())
                throw pv::EInvalidOperation("the form reference: the reader accepts its example of a mistake: " +
                                            std::string(M.What));
            Out += "\n- " + std::string(M.What) + "\n  " + Code(Message) + "\n";
        }
        return Out;
    }

    // The value of P on Instance in form syntax.
    static std::string FormValue(const pv::TObject& Instance, const pv::TPropInfo& P) {
        if (!P.Get) return {};
        const pv::TPropValue V = P.Get(Instance);
        switch (P.Kind) {
            case pv::TTypeKind::tkInteger: return std::to_string(std::get<std::int64_t>(V));
            case pv::TTypeKind::tkFloat: return pv::FloatToFormText(std::get<double>(V));
            case pv::TTypeKind::tkEnumeration: {
                const std::int64_t Ord = std::get<std::int64_t>(V);
                if (P.EnumType && Ord >= 0 && Ord < static_cast<std::int64_t>(P.EnumType->Names.size()))
                    return std::string(P.EnumType->Names[static_cast<std::size_t>(Ord)]);
                return std::to_string(Ord);
            }
            case pv::TTypeKind::tkBoolean: return std::get<bool>(V) ? "True" : "False";
            case pv::TTypeKind::tkColor:
                return pv::ColorToIdent(static_cast<std::uint32_t>(std::get<std::int64_t>(V)));
            case pv::TTypeKind::tkString: return pv::QuoteFormString(std::get<std::string>(V));
            case pv::TTypeKind::tkSet: {
                std::uint64_t Bits = static_cast<std::uint64_t>(std::get<std::int64_t>(V));
                std::string S;
                for (std::size_t I = 0; P.EnumType && I < P.EnumType->Names.size(); ++I)
                    if (Bits & (std::uint64_t{1} << I))
                        S += (S.empty() ? "" : ", ") + std::string(P.EnumType->Names[I]);
                return "[" + S + "]";
            }
            case pv::TTypeKind::tkClass: {
                const pv::TObject* Sub = std::holds_alternative<pv::TObject*>(V) ? std::get<pv::TObject*>(V) : nullptr;
                const auto* List = dynamic_cast<const pv::TStrings*>(Sub);
                if (!List) return {};
                std::string S;
                for (int I = 0; I < List->GetCount(); ++I) S += (I ? " " : "") + pv::QuoteFormString(List->Get(I));
                return "(" + S + ")";
            }
            case pv::TTypeKind::tkComponent: {
                const auto* C = std::holds_alternative<pv::TObject*>(V)
                                    ? dynamic_cast<const pv::TComponent*>(std::get<pv::TObject*>(V))
                                    : nullptr;
                return C ? C->GetName() : "nil";
            }
            case pv::TTypeKind::tkMethod: {
                const pv::TNotifyEvent* E = std::get_if<pv::TNotifyEvent>(&V);
                return E && E->Assigned() ? E->Name : "nil";
            }
        }
        return {};
    }

    // The default of a sub-object property: the values that differ from a
    // new object of its class.
    std::string SubObjectDefault(const pv::TObject& Sub) const {
        const TSubObjectClass* S = FindSubObjectClass(Sub.ClassName());
        const pv::TClassInfo* Info = Sub.ClassInfo();
        if (!S || !Info) return {};
        const std::unique_ptr<pv::TObject> Fresh = S->Make();
        std::string Differs;
        for (const pv::TPropInfo* P : pv::GetPropList(*Info)) {
            const std::string Value = FormValue(Sub, *P);
            if (Value != FormValue(*Fresh, *P))
                Differs += (Differs.empty() ? "" : ", ") + Code(std::string(P->Name) + " = " + Value);
        }
        const std::string New = "a new " + Link(S->ClassName);
        return Differs.empty() ? "as " + New : Differs + "; the rest as " + New;
    }

    std::string TypeText(const pv::TPropInfo& P) const {
        switch (P.Kind) {
            case pv::TTypeKind::tkInteger: return "integer";
            case pv::TTypeKind::tkFloat: return "number";
            case pv::TTypeKind::tkEnumeration: return P.EnumType ? Link(P.EnumType->TypeName) : "enumeration";
            case pv::TTypeKind::tkBoolean: return "boolean";
            case pv::TTypeKind::tkColor: return "[colour](#colours)";
            case pv::TTypeKind::tkString: return "string";
            case pv::TTypeKind::tkSet: return P.EnumType ? "set of " + Link(P.EnumType->TypeName) : "set";
            case pv::TTypeKind::tkClass: return IsStringList(P) ? "string list" : Link(P.TypeName);
            case pv::TTypeKind::tkComponent: return "reference to " + ClassLink(P.TypeName);
            case pv::TTypeKind::tkMethod: return "event";
        }
        return {};
    }

    // A class name, linked when the reference has a section for it.
    std::string ClassLink(std::string_view Name) const { return FindClass(Name) ? Link(Name) : std::string(Name); }

    std::string Allowed(const pv::TPropInfo& P) const {
        auto Names = [&](std::string_view Separator) {
            std::string S;
            for (std::size_t I = 0; P.EnumType && I < P.EnumType->Names.size(); ++I)
                S += (I ? std::string(Separator) : "") + Code(P.EnumType->Names[I]);
            return S;
        };
        switch (P.Kind) {
            case pv::TTypeKind::tkInteger:
                return P.HasRange() ? std::to_string(P.MinValue) + " to " + std::to_string(P.MaxValue)
                                    : "-2147483648 to 2147483647";
            case pv::TTypeKind::tkFloat: return "a finite number: `100`, `-2.5`, `1.5e6`";
            case pv::TTypeKind::tkEnumeration: return Names(", ");
            case pv::TTypeKind::tkBoolean: return "`True`, `False`";
            case pv::TTypeKind::tkColor: return "a [colour name](#colours), `#rrggbb`, `#rgb`, `$00BBGGRR` or a number";
            case pv::TTypeKind::tkString: return "any text";
            case pv::TTypeKind::tkSet: return "any of " + Names(", ") + " in `[ ]`";
            case pv::TTypeKind::tkClass:
                if (IsStringList(P)) return "quoted lines: " + Code(std::string(P.Name) + ".Strings = ( 'line' ... )");
                return "its properties, one line each: " + Code(std::string(P.Name) + ".<property> = value");
            case pv::TTypeKind::tkComponent: {
                std::string S;
                for (const TDocClass& C : FClasses)
                    if (C.Kind == TDocKind::dkComponent && C.Info->InheritsFrom(P.TypeName))
                        S += (S.empty() ? "" : ", ") + Link(C.Name);
                return "the name of a " + (S.empty() ? std::string(P.TypeName) : S) + " of the form, or `nil`";
            }
            case pv::TTypeKind::tkMethod: return "a registered handler's name, or `nil`";
        }
        return {};
    }

    std::string Default(const TDocClass& C, const pv::TPropInfo& P) const {
        std::string S;
        if (P.Kind == pv::TTypeKind::tkClass && !IsStringList(P)) {
            const pv::TObject* Sub = SubObjectOf(C.Instance(), P);
            S = Sub ? SubObjectDefault(*Sub) : "none";
        } else {
            S = Code(FormValue(C.Instance(), P));
        }
        if (P.Stored) S += "; stored only when it differs";
        return S;
    }

    std::string ClassSection(const TDocClass& C) const {
        std::string Out = "### " + C.Name + "\n\n" + std::string(MeaningOf(C.Name)) + "\n\n";
        std::string Rows;
        for (const pv::TPropInfo* P : pv::GetPropList(*C.Info)) {
            if (!IsListedIn(C, *P)) continue;
            const std::string Key = std::string(DeclaringClass(*C.Info, *P)) + "." + std::string(P->Name);
            const TMeaning* M = Find(Key);
            const std::string Values = M && !M->Allowed.empty() ? std::string(M->Allowed) : Allowed(*P);
            Rows += "| " + Cell(P->Name) + " | " + Cell(TypeText(*P)) + " | " + Cell(Default(C, *P)) + " | " +
                    Cell(Values) + " | " + Cell(M ? M->Text : std::string_view()) + " |\n";
        }
        std::string Bases, Before;
        for (const pv::TClassInfo* B = C.Info->Parent; B; B = B->Parent) {
            Bases += (Bases.empty() ? "" : ", ") + std::string(B->ClassName);
            const TDocClass* D = FindClass(B->ClassName);
            if (!D || D->Kind != TDocKind::dkBase) continue;
            std::string Names;
            for (const pv::TPropInfo& P : B->Props) Names += (Names.empty() ? "" : ", ") + std::string(P.Name);
            Before += (Rows.empty() ? " It has only the properties of " : " Before its own properties come those of ") +
                      Link(B->ClassName) + ": " + Names + ".";
        }
        switch (C.Kind) {
            case TDocKind::dkComponent:
                Out += "In a form: `object Name: " + C.Name + "`";
                if (!Bases.empty()) Out += "; derives from " + Bases;
                Out += "." + Before + "\n\n";
                break;
            case TDocKind::dkBase: {
                std::string Derived;
                for (const TDocClass& D : FClasses)
                    if (D.Kind == TDocKind::dkComponent && D.Info->InheritsFrom(C.Name))
                        Derived += (Derived.empty() ? "" : ", ") + Link(D.Name);
                Out += "No form holds a " + C.Name + " itself; these properties come first in " + Derived + ".\n\n";
                break;
            }
            case TDocKind::dkSubObject: {
                std::string Holders;
                for (const std::string& H : C.HeldBy) Holders += (Holders.empty() ? "" : ", ") + H;
                Out += "A sub-object: a form writes its properties as dotted lines of the property that holds it (" +
                       Code(C.HeldBy.front().substr(C.HeldBy.front().find('.') + 1) + ".<property> = value") +
                       "). Held by " + Holders + ".\n\n";
                break;
            }
        }
        if (Rows.empty())
            Out.pop_back();
        else
            Out += "| Property | Type | Default | Allowed values | Meaning |\n|---|---|---|---|---|\n" + Rows;
        return Out;
    }

    static std::string EnumSection(const TDocEnum& E) {
        std::string Users;
        for (const std::string& U : E.UsedBy) Users += (Users.empty() ? "" : ", ") + U;
        std::string Out = "### " + std::string(E.Type->TypeName) + "\n\nUsed by " + Users + ".\n\n";
        Out += "| Value | Meaning |\n|---|---|\n";
        for (std::string_view V : E.Type->Names)
            Out += "| " + Code(V) + " | " +
                   Cell(MeaningOf(std::string(E.Type->TypeName) + "." + std::string(V))) + " |\n";
        return Out;
    }

    std::vector<TDocClass> FClasses;
    std::vector<TDocEnum> FEnums;
};

std::vector<std::string_view> SplitLines(std::string_view Text) {
    std::vector<std::string_view> Lines;
    std::size_t Start = 0;
    for (;;) {
        const std::size_t End = Text.find('\n', Start);
        Lines.push_back(Text.substr(Start, End == std::string_view::npos ? std::string_view::npos : End - Start));
        if (End == std::string_view::npos) return Lines;
        Start = End + 1;
    }
}

std::string FirstDifference(std::string_view Reference, std::string_view Text) {
    if (Reference == Text) return {};
    std::vector<std::string_view> A = SplitLines(Reference), B = SplitLines(Text);
    // A line break ends a line: it does not start one.
    if (A.back().empty()) A.pop_back();
    if (B.back().empty()) B.pop_back();
    std::size_t I = 0;
    while (I < A.size() && I < B.size() && A[I] == B[I]) ++I;
    if (I == A.size() && I == B.size()) return "only the line break at the end differs";
    const std::string Line = "line " + std::to_string(I + 1);
    if (I == B.size()) return "it stops before " + Line + ", which the reference has: " + pv::QuoteForMessage(A[I], 60);
    if (I == A.size())
        return "it has more lines than the reference, from " + Line + ": " + pv::QuoteForMessage(B[I], 60);
    return Line + " differs: the reference has " + pv::QuoteForMessage(A[I], 60) + ", it has " +
           pv::QuoteForMessage(B[I], 60);
}

}  // namespace

std::string FormReference() { return TReference().Text(); }

std::string_view FormReferenceExample() { return Example; }

std::string FormReferenceDifference(const std::string& FileName) {
    std::ifstream In(FileName, std::ios::binary);
    if (!In) throw pv::EStreamError("cannot open " + FileName + ": " + std::strerror(errno));
    std::ostringstream Buffer;
    Buffer << In.rdbuf();
    if (In.bad()) throw pv::EStreamError("cannot read " + FileName);
    return FirstDifference(FormReference(), Buffer.str());
}

}  // namespace plotvane
