#include "tools/CommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "platform/rtl/Exception.h"
#include "platform/rtl/FormReader.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/TypInfo.h"

namespace plotvane {

std::string TCommandArgs::Option(std::string_view Name, const std::string& Default) const {
    auto It = Options.find(Name);
    return It == Options.end() ? Default : It->second;
}

TCommandArgs ParseCommandArgs(std::span<const std::string> Args, std::initializer_list<std::string_view> ValueOptions,
                              bool AllowSet, std::size_t MinPositional, std::size_t MaxPositional) {
    TCommandArgs Result;
    bool OptionsEnded = false;
    for (std::size_t I = 0; I < Args.size(); ++I) {
        const std::string& A = Args[I];
        if (OptionsEnded || A.empty() || A[0] != '-' || A == "-") {
            Result.Positional.push_back(A);
            continue;
        }
        if (A == "--") {
            OptionsEnded = true;
            continue;
        }
        std::string Name = A;
        std::optional<std::string> Value;
        if (auto Eq = A.find('='); Eq != std::string::npos) {
            Name = A.substr(0, Eq);
            Value = A.substr(Eq + 1);
        }
        bool IsSet = AllowSet && Name == "--set";
        bool Known = IsSet;
        for (auto O : ValueOptions) Known = Known || Name == O;
        if (!Known) throw EUsageError("unknown option " + Name);
        if (!Value) {
            if (I + 1 >= Args.size()) throw EUsageError(Name + " needs a value");
            Value = Args[++I];
        }
        if (IsSet)
            Result.Sets.push_back(*Value);
        else
            Result.Options[Name] = *Value;
    }
    if (Result.Positional.size() < MinPositional)
        throw EUsageError(MinPositional == 1 ? "missing the form file" : "missing arguments");
    if (Result.Positional.size() > MaxPositional)
        throw EUsageError("unexpected argument '" + Result.Positional[MaxPositional] + "'");
    return Result;
}

int RunCommand(std::string_view Name, std::string_view Help, std::span<const std::string> Args,
               const std::function<int()>& Body) {
    for (const std::string& A : Args) {
        if (A == "--") break;
        if (A == "--help" || A == "-h") {
            std::cout << Help;
            return 0;
        }
    }
    try {
        return Body();
    } catch (const EUsageError& E) {
        std::cerr << "plotvane " << Name << ": " << E.what() << "\nRun 'plotvane " << Name
                  << " --help' for its usage.\n";
        return 2;
    } catch (const std::exception& E) {
        std::cerr << "plotvane " << Name << ": " << E.what() << "\n";
        return 1;
    }
}

pv::TComponent* FindComponentDeep(pv::TComponent& Module, std::string_view Name) {
    for (int I = 0; I < Module.GetComponentCount(); ++I) {
        pv::TComponent* C = Module.GetComponent(I);
        if (pv::SameText(C->GetName(), Name) && !Name.empty()) return C;
        if (pv::TComponent* Deeper = FindComponentDeep(*C, Name)) return Deeper;
    }
    return nullptr;
}

namespace {

Norq_Plotvane::TNorq_DBPlotvane* FirstChart(pv::TComponent& Module) {
    for (int I = 0; I < Module.GetComponentCount(); ++I) {
        pv::TComponent* C = Module.GetComponent(I);
        if (auto* Chart = dynamic_cast<Norq_Plotvane::TNorq_DBPlotvane*>(C)) return Chart;
        if (auto* Deeper = FirstChart(*C)) return Deeper;
    }
    return nullptr;
}

}  // namespace

pv::TComponent& FindTarget(pv::TComponent& Module, const std::string& Name, const std::string& FormName) {
    if (Name.empty()) {
        if (auto* Chart = dynamic_cast<Norq_Plotvane::TNorq_DBPlotvane*>(&Module)) return *Chart;
        if (auto* Chart = FirstChart(Module)) return *Chart;
        throw pv::EComponentError(FormName + ": the form holds no TNorq_DBPlotvane");
    }
    if (pv::SameText(Module.GetName(), Name)) return Module;
    if (pv::TComponent* C = FindComponentDeep(Module, Name)) return *C;
    throw pv::EComponentError(FormName + ": no component named " + Name);
}

Norq_Plotvane::TNorq_DBPlotvane& FindChart(pv::TComponent& Module, const std::string& Name,
                                           const std::string& FormName) {
    pv::TComponent& C = FindTarget(Module, Name, FormName);
    auto* Chart = dynamic_cast<Norq_Plotvane::TNorq_DBPlotvane*>(&C);
    if (!Chart)
        throw pv::EComponentError(FormName + ": " + Name + " is a " + std::string(C.ClassName()) +
                                  ", not a TNorq_DBPlotvane");
    return *Chart;
}

void ApplySets(pv::TComponent& Module, pv::TComponent& Target, const std::vector<std::string>& Sets) {
    for (const std::string& S : Sets) {
        auto Eq = S.find('=');
        if (Eq == std::string::npos) throw EUsageError("--set " + S + ": expected Prop=Value");
        std::string Name = S.substr(0, Eq);
        std::string Value = S.substr(Eq + 1);
        while (!Name.empty() && Name.back() == ' ') Name.pop_back();
        while (!Name.empty() && Name.front() == ' ') Name.erase(Name.begin());
        pv::TComponent* Owner = &Target;
        auto Dot = Name.find('.');
        std::string First = Name.substr(0, Dot);
        const pv::TClassInfo* Info = Target.ClassInfo();
        if (Dot != std::string::npos && !(Info && pv::GetPropInfo(*Info, First))) {
            pv::TComponent* Other = pv::SameText(Module.GetName(), First) ? &Module : FindComponentDeep(Module, First);
            if (Other) {
                Owner = Other;
                Name = Name.substr(Dot + 1);
            }
        }
        pv::SetPropertyFromString(*Owner, Name, Value);
    }
}

}  // namespace plotvane
