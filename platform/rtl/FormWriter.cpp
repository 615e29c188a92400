#include "platform/rtl/FormWriter.h"

#include <cmath>

#include "platform/rtl/FormParser.h"
#include "platform/rtl/FormReader.h"
#include "platform/rtl/FormRegistry.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/TypInfo.h"

namespace pv {

namespace {

std::string Title(const TComponent& C) {
    return C.GetName().empty() ? std::string(C.ClassName()) : C.GetName();
}

class TFormWriter {
public:
    std::string Text;

    void WriteObject(const TComponent& C, int Indent) {
        Line(Indent, "object " + (C.GetName().empty() ? std::string(C.ClassName())
                                                      : C.GetName() + ": " + std::string(C.ClassName())));
        WriteProperties(C, Indent + 2, false, TPropertySelection::psStored);
        for (int I = 0; I < C.GetComponentCount(); ++I) {
            const TComponent* Child = C.GetComponent(I);
            if (!Child->GetName().empty()) WriteObject(*Child, Indent + 2);
        }
        Line(Indent, "end");
    }

    void WriteProperties(const TComponent& C, int Indent, bool WithName, TPropertySelection Which) {
        const TClassInfo* Info = C.ClassInfo();
        if (!Info) return;
        const TPropInfo* NameProp = GetPropInfo(TComponent::StaticClassInfo(), "Name");
        for (const TPropInfo* P : GetPropList(*Info)) {
            if (P == NameProp && !WithName) continue;
            if (Which == TPropertySelection::psStored && !P->IsStored(C)) continue;
            WriteProperty(C, C, *P, Title(C) + ".", "", Indent);
        }
    }

private:
    void Line(int Indent, const std::string& S) {
        Text.append(static_cast<std::size_t>(Indent), ' ');
        Text += S;
        Text += '\n';
    }

    // Owner: the component whose references are looked up; Obj: the object
    // (Owner or one of its sub-objects) the property belongs to; Prefix: the
    // dotted path written before the property's name.
    void WriteProperty(const TComponent& Owner, const TObject& Obj, const TPropInfo& P, const std::string& Where,
                       const std::string& Prefix, int Indent) {
        const std::string Name = Prefix + std::string(P.Name);
        const std::string Path = Where + Name;
        if (!P.Get) throw EFormError("Cannot store " + Path + ": the property cannot be read");
        TPropValue V = P.Get(Obj);
        switch (P.Kind) {
        case TTypeKind::tkInteger:
            Line(Indent, Name + " = " + std::to_string(std::get<std::int64_t>(V)));
            return;
        case TTypeKind::tkFloat: {
            double D = std::get<double>(V);
            if (!std::isfinite(D))
                throw EFormError("Cannot store " + Path + ": its value " + (std::isnan(D) ? "NaN" : D > 0 ? "+inf" : "-inf") +
                                 " is not a finite number");
            Line(Indent, Name + " = " + FloatToFormText(D));
            return;
        }
        case TTypeKind::tkEnumeration: {
            std::int64_t Ord = std::get<std::int64_t>(V);
            if (!P.EnumType || Ord < 0 || Ord >= static_cast<std::int64_t>(P.EnumType->Names.size()))
                throw EFormError("Cannot store " + Path + ": its value " + std::to_string(Ord) + " has no name in " +
                                 (P.EnumType ? std::string(P.EnumType->TypeName) : std::string("its enumeration")));
            Line(Indent, Name + " = " + std::string(P.EnumType->Names[static_cast<std::size_t>(Ord)]));
            return;
        }
        case TTypeKind::tkBoolean: Line(Indent, Name + " = " + (std::get<bool>(V) ? "True" : "False")); return;
        case TTypeKind::tkColor:
            Line(Indent, Name + " = " + ColorToIdent(static_cast<std::uint32_t>(std::get<std::int64_t>(V))));
            return;
        case TTypeKind::tkString: Line(Indent, Name + " = " + QuoteFormString(std::get<std::string>(V))); return;
        case TTypeKind::tkSet: {
            std::uint64_t Bits = static_cast<std::uint64_t>(std::get<std::int64_t>(V));
            std::string S;
            std::size_t Count = P.EnumType ? P.EnumType->Names.size() : 0;
            for (std::size_t I = 0; I < 64 && Bits; ++I, Bits >>= 1) {
                if (!(Bits & 1)) continue;
                if (I >= Count)
                    throw EFormError("Cannot store " + Path + ": bit " + std::to_string(I) + " has no name in " +
                                     (P.EnumType ? std::string(P.EnumType->TypeName) : std::string("its set")));
                if (!S.empty()) S += ", ";
                S += P.EnumType->Names[I];
            }
            Line(Indent, Name + " = [" + S + "]");
            return;
        }
        case TTypeKind::tkClass: {
            const TObject* Sub = std::holds_alternative<TObject*>(V) ? std::get<TObject*>(V) : nullptr;
            // A sub-object that is not there has nothing to store; the
            // reader leaves such a property alone as well.
            if (!Sub) return;
            if (auto* List = dynamic_cast<const TStrings*>(Sub)) {
                if (List->GetCount() == 0) {
                    Line(Indent, Name + ".Strings = ()");
                    return;
                }
                Line(Indent, Name + ".Strings = (");
                for (int I = 0; I < List->GetCount(); ++I)
                    Line(Indent + 2, QuoteFormString(List->Get(I)) + (I + 1 == List->GetCount() ? ")" : ""));
                return;
            }
            const TClassInfo* Info = Sub->ClassInfo();
            if (!Info)
                throw EFormError("Cannot store " + Path + ": a " + std::string(Sub->ClassName()) +
                                 " publishes no properties");
            for (const TPropInfo* SubProp : GetPropList(*Info))
                WriteProperty(Owner, *Sub, *SubProp, Where, Name + ".", Indent);
            return;
        }
        case TTypeKind::tkComponent: {
            const TObject* Target = std::holds_alternative<TObject*>(V) ? std::get<TObject*>(V) : nullptr;
            if (!Target) {
                Line(Indent, Name + " = nil");
                return;
            }
            auto* C = dynamic_cast<const TComponent*>(Target);
            if (!C) throw EFormError("Cannot store " + Path + ": it refers to a " + std::string(Target->ClassName()) +
                                     ", which is not a component");
            if (C->GetName().empty())
                throw EFormError("Cannot store " + Path + ": the " + std::string(C->ClassName()) +
                                 " it refers to has no name");
            if (FindReferencedComponent(Owner, C->GetName()) != C)
                throw EFormError("Cannot store " + Path + " = " + C->GetName() + ": a form read back would find " +
                                 "no component, or another one, under that name from " + Title(Owner));
            Line(Indent, Name + " = " + C->GetName());
            return;
        }
        case TTypeKind::tkMethod: {
            const TNotifyEvent* E = std::get_if<TNotifyEvent>(&V);
            if (!E || !E->Assigned()) {
                Line(Indent, Name + " = nil");
                return;
            }
            if (E->Name.empty())
                throw EFormError("Cannot store " + Path + ": its handler has no name (register handlers that forms " +
                                 "store with RegisterEventHandler)");
            Line(Indent, Name + " = " + E->Name);
            return;
        }
        }
    }
};

}  // namespace

std::string WriteForm(const TComponent& Root) {
    TFormWriter W;
    W.WriteObject(Root, 0);
    return std::move(W.Text);
}

std::string WriteComponentProperties(const TComponent& Component, TPropertySelection Which) {
    TFormWriter W;
    W.WriteProperties(Component, 0, true, Which);
    return std::move(W.Text);
}

}  // namespace pv
