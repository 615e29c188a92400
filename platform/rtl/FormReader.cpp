#include "platform/rtl/FormReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

#include "platform/rtl/BaseDirectory.h"
#include "platform/rtl/FormRegistry.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/TypInfo.h"

namespace pv {

namespace {


// The optimal string alignment distance (edits, with swapping two
// neighbours as one edit), ignoring ASCII letter case: how far a misspelt
// name is from a real one. Three rows of B's length: callers keep both
// names short.
std::size_t EditDistance(std::string_view A, std::string_view B) {
    auto L = [](char C) { return (C >= 'A' && C <= 'Z') ? char(C - 'A' + 'a') : C; };
    std::vector<std::size_t> Before(B.size() + 1), Prev(B.size() + 1), Cur(B.size() + 1);
    for (std::size_t J = 0; J <= B.size(); ++J) Prev[J] = J;
    for (std::size_t I = 1; I <= A.size(); ++I) {
        Cur[0] = I;
        for (std::size_t J = 1; J <= B.size(); ++J) {
            std::size_t Cost = L(A[I - 1]) == L(B[J - 1]) ? 0 : 1;
            Cur[J] = std::min({Prev[J] + 1, Cur[J - 1] + 1, Prev[J - 1] + Cost});
            if (I > 1 && J > 1 && L(A[I - 1]) == L(B[J - 2]) && L(A[I - 2]) == L(B[J - 1]))
                Cur[J] = std::min(Cur[J], Before[J - 2] + 1);
        }
        std::swap(Before, Prev);
        std::swap(Prev, Cur);
    }
    return Prev[B.size()];
}

// Names longer than this get no suggestion: no property name comes close.
constexpr std::size_t MaxSuggestedLength = 64;

// A name the user wrote, for messages: as it is when short and made of
// identifier characters, otherwise quoted and cut short.
std::string ShownName(std::string_view Name) {
    bool Plain = Name.size() <= MaxSuggestedLength && !Name.empty();
    for (char C : Name)
        Plain = Plain && ((C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '_' ||
                          C == '.');
    return Plain ? std::string(Name) : QuoteForMessage(Name);
}

std::string Title(const TComponent& C) {
    return C.GetName().empty() ? std::string(C.ClassName()) : C.GetName();
}

const TComponent& RootOf(const TComponent& C) {
    const TComponent* R = &C;
    while (R->GetOwner()) R = R->GetOwner();
    return *R;
}

std::string Join(std::span<const std::string_view> Names) {
    std::string S;
    for (auto N : Names) {
        if (!S.empty()) S += ", ";
        S += N;
    }
    return S;
}

// The value as it would be written, for messages.
std::string Spelling(const TFormValue& V) {
    switch (V.Kind) {
    case TFormValue::TKind::vkString: return V.Hash.empty() ? QuoteForMessage(V.Text) : V.Hash;
    case TFormValue::TKind::vkSet: {
        std::string S = "[";
        for (std::size_t I = 0; I < V.Items.size(); ++I) S += (I ? ", " : "") + V.Items[I];
        return S + "]";
    }
    case TFormValue::TKind::vkList: return "( ... )";
    default: return V.Text;
    }
}

const TPropInfo& NameProp() {
    static const TPropInfo* P = GetPropInfo(TComponent::StaticClassInfo(), "Name");
    return *P;
}

// Applies property lines to components. Errors name the place in the form
// (or, for --set values, no place) and the object, property and value.
class TPropertyApplier {
public:
    struct TFixup {
        TComponent* From;  // whose references are looked up (FindReferencedComponent)
        TObject* Instance;  // the object whose property it is (From or one of its sub-objects)
        const TPropInfo* Prop;
        std::string Path;
        std::string Name;
        TFormPos Pos;
    };

    // Fixups: where references go to be resolved later; nullptr resolves
    // them at once.
    TPropertyApplier(const std::string& FileName, bool Placeless, std::vector<TFixup>* Fixups)
        : FFileName(FileName), FPlaceless(Placeless), FFixups(Fixups) {}

    [[noreturn]] void Fail(TFormPos At, const std::string& What) const {
        if (FPlaceless) throw EFormError(What);
        throw EFormError(FFileName, At.Line, At.Column, What);
    }

    void Apply(TComponent& C, const std::string& Name, TFormPos NamePos, const TFormValue& Value) {
        std::vector<std::string> Parts;
        std::size_t Start = 0;
        for (;;) {
            std::size_t Dot = Name.find('.', Start);
            Parts.push_back(Name.substr(Start, Dot - Start));
            if (Dot == std::string::npos) break;
            Start = Dot + 1;
        }
        TObject* Obj = &C;
        std::string Path = Title(C);
        // The object and property that hold Obj, while Obj is a sub-object.
        TObject* Holder = nullptr;
        const TPropInfo* HolderProp = nullptr;
        for (std::size_t I = 0; I < Parts.size(); ++I) {
            const std::string& Part = Parts[I];
            bool Last = I + 1 == Parts.size();
            if (auto* List = dynamic_cast<TStrings*>(Obj); List && HolderProp) {
                if (Part != "Strings" || !Last)
                    Fail(NamePos, Path + " is a string list; its lines are stored as " + Path.substr(Path.find('.') + 1) +
                                      ".Strings = ( 'line' ... )");
                ApplyList(*Holder, *HolderProp, *List, Path, Value);
                return;
            }
            const TPropInfo* P = FindProp(*Obj, Part, Path, NamePos);
            if (I == 0 && P == &NameProp())
                Fail(NamePos, Path + ": the name is given in the object header (object Name: Class), "
                                     "not as a property");
            Path += "." + Part;
            if (Last) {
                ApplyValue(C, *Obj, *P, Path, Value);
                return;
            }
            if (P->Kind != TTypeKind::tkClass)
                Fail(NamePos, Path + " is not an object and has no property " + ShownName(Parts[I + 1]));
            if (!P->Get) Fail(NamePos, Path + " cannot be read, so its properties cannot be set");
            TPropValue Sub = P->Get(*Obj);
            TObject* SubObj = std::holds_alternative<TObject*>(Sub) ? std::get<TObject*>(Sub) : nullptr;
            if (!SubObj) Fail(NamePos, Path + " is nil, so " + Path + "." + ShownName(Parts[I + 1]) + " cannot be set");
            Holder = Obj;
            HolderProp = P;
            Obj = SubObj;
        }
    }

    void Resolve(const TFixup& F) {
        TComponent* Target = FindReferencedComponent(*F.From, F.Name);
        if (!Target)
            Fail(F.Pos, F.Path + ": no component named " + F.Name + " in " + Title(RootOf(*F.From)));
        if (!F.Prop->TypeName.empty() && Target->ClassName() != F.Prop->TypeName &&
            !(Target->ClassInfo() && Target->ClassInfo()->InheritsFrom(F.Prop->TypeName)))
            Fail(F.Pos, F.Path + ": " + Title(*Target) + " is a " + std::string(Target->ClassName()) + ", not a " +
                            std::string(F.Prop->TypeName));
        CallSetter(*F.Instance, *F.Prop, static_cast<TObject*>(Target), F.Path, F.Name, F.Pos);
    }

private:
    const TPropInfo* FindProp(const TObject& Obj, const std::string& Part, const std::string& Path,
                              TFormPos NamePos) const {
        const TClassInfo* Info = Obj.ClassInfo();
        if (const TPropInfo* P = Info ? GetPropInfo(*Info, Part) : nullptr) return P;
        std::string What =
            "unknown property " + ShownName(Part) + " of " + Path + " (" + std::string(Obj.ClassName()) + ")";
        // Suggest the nearest name: one that differs in letter case only, or
        // by at most two slips of the keyboard.
        if (Info && Part.size() <= MaxSuggestedLength) {
            std::string_view Best;
            std::size_t BestDistance = 3;
            for (const TPropInfo* Q : GetPropList(*Info)) {
                std::size_t Apart = Q->Name.size() > Part.size() ? Q->Name.size() - Part.size()
                                                                  : Part.size() - Q->Name.size();
                if (Apart >= BestDistance) continue;  // at least that many edits
                std::size_t D = SameText(Q->Name, Part) ? 0 : EditDistance(Q->Name, Part);
                if (D < BestDistance && D < Q->Name.size() / 2 + 1) {
                    Best = Q->Name;
                    BestDistance = D;
                }
            }
            if (!Best.empty()) What += "; did you mean " + std::string(Best) + "?";
        }
        Fail(NamePos, What);
    }

    [[noreturn]] void WrongType(const std::string& Path, const TFormValue& V, const std::string& Expected) const {
        Fail(V.Pos, Path + ": expected " + Expected + ", found " + V.Describe());
    }

    void CallSetter(TObject& Obj, const TPropInfo& P, const TPropValue& Value, const std::string& Path,
                    const std::string& Shown, TFormPos Pos) const {
        if (!P.Set) Fail(Pos, Path + " is read-only");
        try {
            P.Set(Obj, Value);
        } catch (const EFormError&) {
            throw;
        } catch (const std::exception& E) {
            Fail(Pos, Path + " = " + Shown + ": " + E.what());
        }
    }

    void ApplyValue(TComponent& C, TObject& Obj, const TPropInfo& P, const std::string& Path, const TFormValue& V) {
        using K = TFormValue::TKind;
        const std::string Shown = Spelling(V);
        switch (P.Kind) {
        case TTypeKind::tkInteger: {
            if (V.Kind != K::vkInteger) WrongType(Path, V, "an integer");
            if (V.Int < std::numeric_limits<std::int32_t>::min() || V.Int > std::numeric_limits<std::int32_t>::max())
                Fail(V.Pos, Path + ": " + V.Text + " is out of range (-2147483648 to 2147483647)");
            CallSetter(Obj, P, V.Int, Path, Shown, V.Pos);
            return;
        }
        case TTypeKind::tkFloat: {
            if (V.Kind == K::vkIdent && (SameText(V.Text, "NaN") || SameText(V.Text, "Inf") ||
                                         SameText(V.Text, "Infinity")))
                Fail(V.Pos, Path + ": " + V.Text + " is not a finite number; write a number such as 2.5 or 1e6");
            if (V.Kind != K::vkInteger && V.Kind != K::vkFloat) WrongType(Path, V, "a number");
            std::optional<double> D = FormTextToFloat(V.Text);
            if (!D) Fail(V.Pos, Path + ": " + V.Text + " is out of range (a finite double, at most about 1.8e308)");
            CallSetter(Obj, P, *D, Path, Shown, V.Pos);
            return;
        }
        case TTypeKind::tkEnumeration: {
            if (V.Kind != K::vkIdent) WrongType(Path, V, "a value of " + EnumName(P));
            int Index = P.EnumType ? P.EnumType->IndexOf(V.Text) : -1;
            if (Index < 0)
                Fail(V.Pos, Path + ": " + V.Text + " is not a value of " + EnumName(P) + " (" +
                                (P.EnumType ? Join(P.EnumType->Names) : std::string()) + ")");
            CallSetter(Obj, P, std::int64_t{Index}, Path, Shown, V.Pos);
            return;
        }
        case TTypeKind::tkBoolean: {
            bool IsTrue = V.Kind == K::vkIdent && SameText(V.Text, "True");
            bool IsFalse = V.Kind == K::vkIdent && SameText(V.Text, "False");
            if (!IsTrue && !IsFalse) WrongType(Path, V, "True or False");
            CallSetter(Obj, P, IsTrue, Path, Shown, V.Pos);
            return;
        }
        case TTypeKind::tkColor: {
            std::uint32_t Color = 0;
            if (V.Kind == K::vkInteger) {
                // A negative decimal stands for its 32-bit pattern.
                if (V.Int < std::numeric_limits<std::int32_t>::min() ||
                    V.Int > std::numeric_limits<std::uint32_t>::max())
                    Fail(V.Pos, Path + ": " + V.Text + " is not a 32-bit colour");
                Color = static_cast<std::uint32_t>(V.Int);
            } else if (V.Kind == K::vkIdent || V.Kind == K::vkHash || V.Kind == K::vkString) {
                // A name, #ff0000, or a colour in quotes ('#ff0000'); #123456
                // is read as the lexer saw it, before it became a character.
                auto Found = IdentToColor(V.Hash.empty() ? V.Text : V.Hash);
                if (!Found) Fail(V.Pos, Path + ": " + Shown + " is not a colour; write " + ColorIdentSpellings());
                Color = *Found;
            } else {
                WrongType(Path, V, ColorIdentSpellings());
            }
            CallSetter(Obj, P, std::int64_t{Color}, Path, Shown, V.Pos);
            return;
        }
        case TTypeKind::tkString: {
            if (V.Kind == K::vkIdent || V.Kind == K::vkInteger || V.Kind == K::vkFloat || V.Kind == K::vkHash)
                Fail(V.Pos, Path + ": expected a string in single quotes, found " + V.Describe() + " (write " +
                                QuoteForMessage(V.Text) + ")");
            if (V.Kind != K::vkString) WrongType(Path, V, "a string in single quotes");
            CallSetter(Obj, P, V.Text, Path, Shown, V.Pos);
            return;
        }
        case TTypeKind::tkSet: {
            if (V.Kind != K::vkSet) WrongType(Path, V, "a set of " + EnumName(P) + " in brackets");
            std::int64_t Bits = 0;
            for (const std::string& Item : V.Items) {
                int Index = P.EnumType ? P.EnumType->IndexOf(Item) : -1;
                if (Index < 0 || Index > 62)
                    Fail(V.Pos, Path + ": " + Item + " is not a value of " + EnumName(P) + " (" +
                                    (P.EnumType ? Join(P.EnumType->Names) : std::string()) + ")");
                Bits |= std::int64_t{1} << Index;
            }
            CallSetter(Obj, P, Bits, Path, Shown, V.Pos);
            return;
        }
        case TTypeKind::tkClass: {
            TPropValue Sub = P.Get ? P.Get(Obj) : TPropValue{};
            TObject* SubObj = std::holds_alternative<TObject*>(Sub) ? std::get<TObject*>(Sub) : nullptr;
            std::string Name = Path.substr(Path.find('.') + 1);
            if (dynamic_cast<TStrings*>(SubObj))
                Fail(V.Pos, Path + " is a string list; write its lines as " + Name + ".Strings = ( 'line' ... )");
            Fail(V.Pos, Path + " is an object; set its properties one by one, as " + Name + ".<property> = value");
        }
        case TTypeKind::tkComponent: {
            if (V.Kind != K::vkIdent) WrongType(Path, V, "a component name or nil");
            if (SameText(V.Text, "nil")) {
                CallSetter(Obj, P, static_cast<TObject*>(nullptr), Path, Shown, V.Pos);
                return;
            }
            TFixup F{&C, &Obj, &P, Path, V.Text, V.Pos};
            if (FFixups)
                FFixups->push_back(std::move(F));
            else
                Resolve(F);
            return;
        }
        case TTypeKind::tkMethod: {
            if (V.Kind != K::vkIdent) WrongType(Path, V, "an event handler name or nil");
            if (SameText(V.Text, "nil")) {
                CallSetter(Obj, P, TNotifyEvent{}, Path, Shown, V.Pos);
                return;
            }
            auto Handler = FindEventHandler(V.Text);
            if (!Handler) Fail(V.Pos, Path + ": no event handler named " + V.Text + " is registered");
            CallSetter(Obj, P, *Handler, Path, Shown, V.Pos);
            return;
        }
        }
    }

    void ApplyList(TObject& Holder, const TPropInfo& HolderProp, TStrings& Current, const std::string& Path,
                   const TFormValue& V) const {
        TStringList Lines;
        if (V.Kind == TFormValue::TKind::vkList) {
            for (const std::string& Item : V.Items) Lines.Add(Item);
        } else if (V.Kind == TFormValue::TKind::vkString) {
            Lines.Add(V.Text);
        } else {
            WrongType(Path + ".Strings", V, "a list of strings in parentheses");
        }
        std::string Shown = "(" + std::to_string(Lines.GetCount()) + " lines)";
        if (HolderProp.Set) {
            // A fresh list: setters compare lists by identity, so handing
            // over a new one is a change that the setter copies and reacts to.
            CallSetter(Holder, HolderProp, static_cast<TObject*>(&Lines), Path, Shown, V.Pos);
            return;
        }
        try {
            Current.Assign(Lines);
        } catch (const std::exception& E) {
            Fail(V.Pos, Path + " = " + Shown + ": " + E.what());
        }
    }

    static std::string EnumName(const TPropInfo& P) {
        return P.EnumType ? std::string(P.EnumType->TypeName) : std::string("the enumeration");
    }

    std::string FFileName;
    bool FPlaceless;
    std::vector<TFixup>* FFixups;
};

// Turns a parsed form into components.
class TFormBuilder {
public:
    TFormBuilder(const std::string& FileName, const TFormReadOptions& Options)
        : FOptions(Options), FApplier(FileName, false, &FFixups) {}

    TUniqueComponent<TComponent> Build(const TFormObject& RootObject) {
        TUniqueComponent<TComponent> Root(Create(RootObject, nullptr));
        Fill(*Root, RootObject);
        for (const auto& F : FFixups) FApplier.Resolve(F);
        for (auto& [C, Object] : FLoadOrder) {
            try {
                C->Loaded();
            } catch (const EFormError&) {
                throw;
            } catch (const std::exception& E) {
                FApplier.Fail(Object->Pos, "cannot finish loading " + Title(*C) + " (" +
                                               std::string(C->ClassName()) + "): " + E.what());
            }
        }
        return Root;
    }

private:
    // Creates the component of one object, owned by Owner (nullptr: the
    // caller takes it at once), and marks it as loading.
    TComponent* Create(const TFormObject& Object, TComponent* Owner) {
        if (Owner && !Object.Name.empty())
            if (TComponent* Existing = Owner->FindComponent(Object.Name)) {
                std::string What = "duplicate component name " + Object.Name + " in " + Title(*Owner);
                for (auto& [C, Other] : FLoadOrder)
                    if (C == Existing) What += "; the first is at line " + std::to_string(Other->Pos.Line);
                FApplier.Fail(Object.Pos, What);
            }
        auto Factory = FindComponentClass(Object.ClassName);
        if (!Factory) {
            std::string Known;
            for (const std::string& N : RegisteredComponentClasses()) Known += (Known.empty() ? "" : ", ") + N;
            FApplier.Fail(Object.ClassPos, "unknown class " + Object.ClassName + " for object " +
                                               (Object.Name.empty() ? std::string("(unnamed)") : Object.Name) +
                                               " (registered classes: " + (Known.empty() ? "none" : Known) + ")");
        }
        TComponent* C = nullptr;
        try {
            C = (*Factory)(Owner);
        } catch (const std::exception& E) {
            FApplier.Fail(Object.ClassPos, "cannot create " + Object.ClassName + ": " + E.what());
        }
        if (!C) FApplier.Fail(Object.ClassPos, "the factory of " + Object.ClassName + " created nothing");
        if (Owner && C->GetOwner() != Owner) {
            // A factory that ignored the owner: take the component over, so
            // that it is deleted with the module whatever happens next.
            if (!C->GetOwner()) Owner->InsertComponent(C);
        }
        C->SetLoading(true);
        if (FOptions.Designing) C->SetDesigning(true);
        return C;
    }

    void Fill(TComponent& C, const TFormObject& Object) {
        try {
            if (!FOptions.BaseDirectory.empty())
                if (auto* B = dynamic_cast<IBaseDirectory*>(&C)) B->SetBaseDirectory(FOptions.BaseDirectory);
            if (FOptions.OnCreate) FOptions.OnCreate(C, FOptions.BaseDirectory);
            C.SetName(Object.Name);
        } catch (const EFormError&) {
            throw;
        } catch (const std::exception& E) {
            FApplier.Fail(Object.Pos, "cannot set up " + (Object.Name.empty() ? Object.ClassName : Object.Name) +
                                          ": " + E.what());
        }
        for (const TFormProperty& P : Object.Properties) FApplier.Apply(C, P.Name, P.Pos, P.Value);
        for (const auto& Child : Object.Children) {
            TComponent* K = Create(*Child, &C);
            Fill(*K, *Child);
        }
        FLoadOrder.emplace_back(&C, &Object);
    }

    const TFormReadOptions& FOptions;
    std::vector<TPropertyApplier::TFixup> FFixups;
    TPropertyApplier FApplier;
    // Every component read with its object, owned ones before their owner.
    std::vector<std::pair<TComponent*, const TFormObject*>> FLoadOrder;
};

}  // namespace

TComponent* FindReferencedComponent(const TComponent& From, std::string_view Name) {
    if (Name.empty()) return nullptr;
    for (const TComponent* Level = &From; Level; Level = Level->GetOwner()) {
        if (TComponent* C = Level->FindComponent(Name)) return C;
        // The reference may name a component on the way up; handing it out
        // non-const is what a caller that found it through its owner gets too.
        if (SameText(Level->GetName(), Name)) return const_cast<TComponent*>(Level);
    }
    return nullptr;
}

TUniqueComponent<TComponent> ReadFormFromString(std::string_view Text, const std::string& FileName,
                                               const TFormReadOptions& Options) {
    std::unique_ptr<TFormObject> Tree = ParseFormText(Text, FileName);
    return TFormBuilder(FileName, Options).Build(*Tree);
}

TUniqueComponent<TComponent> ReadForm(const std::string& FileName, const TFormReadOptions& Options) {
    std::ifstream In(FileName, std::ios::binary);
    if (!In) throw EFormError(FileName, 0, 0, std::string("cannot open the form file: ") + std::strerror(errno));
    // A form larger than the parser takes is refused before it is read.
    std::error_code SizeError;
    auto Size = std::filesystem::file_size(FileName, SizeError);
    if (!SizeError && Size > FormLimits::MaxFormBytes)
        throw EFormError(FileName, 0, 0, "the form file is " + std::to_string(Size) + " bytes long; at most " +
                                             std::to_string(FormLimits::MaxFormBytes) + " bytes are read");
    std::ostringstream Buffer;
    Buffer << In.rdbuf();
    if (In.bad()) throw EFormError(FileName, 0, 0, "cannot read the form file");
    TFormReadOptions WithBase = Options;
    if (WithBase.BaseDirectory.empty()) {
        std::error_code Ec;
        auto Absolute = std::filesystem::absolute(std::filesystem::path(FileName), Ec);
        if (Ec) throw EFormError(FileName, 0, 0, "cannot find the form file's folder: " + Ec.message());
        WithBase.BaseDirectory = Absolute.parent_path().string();
    }
    return ReadFormFromString(Buffer.str(), FileName, WithBase);
}

TFormValue ParsePropertyValue(std::string_view Text) { return ParseFormValue(Text); }

void SetPropertyFromString(TComponent& Component, std::string_view PropertyName, std::string_view Value) {
    std::string Name(PropertyName);
    if (Name.size() > FormLimits::MaxNameLength)
        throw EFormError(Title(Component) + ": a property name longer than " +
                         std::to_string(FormLimits::MaxNameLength) + " characters (starting " +
                         QuoteForMessage(Name, 20) + ")");
    std::string Path = Title(Component) + "." + Name;
    TFormValue V;
    try {
        V = ParseFormValue(Value);
    } catch (const EFormError& E) {
        std::string Shown = Value.size() <= 60 && Value.find_first_of("\r\n") == std::string_view::npos
                                ? std::string(Value)
                                : QuoteForMessage(Value);
        throw EFormError(Path + " = " + Shown + ": " + E.What() + " (at column " + std::to_string(E.Column()) +
                         " of the value)");
    }
    if (Name.empty() || Name.front() == '.' || Name.back() == '.' || Name.find("..") != std::string::npos ||
        Name.find(' ') != std::string::npos)
        throw EFormError(Title(Component) + ": " + QuoteForMessage(Name) + " is not a property name");
    TPropertyApplier(std::string(), true, nullptr).Apply(Component, Name, {}, V);
}

}  // namespace pv
