#include "tools/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>

#include "platform/db/DBError.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/FormReader.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/TypInfo.h"

namespace plotvane {

std::vector<std::string> TCommandArgs::Values(std::string_view Name) const {
    auto It = Repeated.find(Name);
    return It == Repeated.end() ? std::vector<std::string>{} : It->second;
}

std::string TCommandArgs::Option(std::string_view Name, const std::string& Default) const {
    auto It = Options.find(Name);
    return It == Options.end() ? Default : It->second;
}

namespace {

// The error for an option the command does not take, with the nearest one
// it does take when the name looks like a slip for it. Leading dashes are
// left out of the comparison: "-scale" is a slip for "--scale".
std::string UnknownOptionMessage(std::string_view Name, std::initializer_list<std::string_view> ValueOptions,
                                 std::initializer_list<std::string_view> Flags, bool AllowSet) {
    std::vector<std::string_view> Known(ValueOptions);
    Known.insert(Known.end(), Flags);
    if (AllowSet) Known.push_back("--set");
    Known.push_back("--help");
    auto Bare = [](std::string_view S) { return S.substr(std::min(S.find_first_not_of('-'), S.size())); };
    std::vector<std::string_view> BareKnown;
    for (std::string_view K : Known) BareKnown.push_back(Bare(K));
    std::string Message = "unknown option " + std::string(Name);
    if (auto Nearest = NearestName(Bare(Name), BareKnown))
        Message += "; did you mean " + std::string(Known[*Nearest]) + "?";
    return Message;
}

}  // namespace

TCommandArgs ParseCommandArgs(std::span<const std::string> Args, std::initializer_list<std::string_view> ValueOptions,
                              bool AllowSet, std::size_t MinPositional, std::size_t MaxPositional,
                              std::initializer_list<std::string_view> Flags) {
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
        if (std::find(Flags.begin(), Flags.end(), Name) != Flags.end()) {
            if (Value) throw EUsageError(Name + " takes no value");
            Result.Flags.insert(Name);
            continue;
        }
        bool IsSet = AllowSet && Name == "--set";
        bool Known = IsSet;
        for (auto O : ValueOptions) Known = Known || Name == O;
        if (!Known) throw EUsageError(UnknownOptionMessage(Name, ValueOptions, Flags, AllowSet));
        if (!Value) {
            if (I + 1 >= Args.size()) throw EUsageError(Name + " needs a value");
            Value = Args[++I];
        }
        if (IsSet)
            Result.Sets.push_back(*Value);
        else {
            Result.Options[Name] = *Value;
            Result.Repeated[Name].push_back(*Value);
        }
    }
    if (Result.Positional.size() < MinPositional)
        throw EUsageError(MinPositional == 1 ? "missing the form file" : "missing arguments");
    if (Result.Positional.size() > MaxPositional)
        throw EUsageError("unexpected argument '" + Result.Positional[MaxPositional] + "'");
    return Result;
}

int RunCommand(std::string_view Name, std::string_view Help, std::string_view DocPage,
               std::span<const std::string> Args, const std::function<int()>& Body) {
    for (const std::string& A : Args) {
        if (A == "--") break;
        if (A == "--help" || A == "-h") {
            std::cout << Help << "\n" << DocumentationLine(DocPage);
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

// The build passes where an install puts the documentation, and the way
// there from the program's folder; other programs built from these sources
// (tests) see the usual layout.
#ifndef PLOTVANE_DOCDIR
#define PLOTVANE_DOCDIR "share/doc/plotvane"
#endif
#ifndef PLOTVANE_BINDIR_TO_DOCDIR
#define PLOTVANE_BINDIR_TO_DOCDIR "../share/doc/plotvane"
#endif

std::filesystem::path InstalledDocDir() {
    std::error_code Ec;
    const std::filesystem::path Exe = std::filesystem::read_symlink("/proc/self/exe", Ec);
    if (Ec) return {};
    std::filesystem::path Dir = std::filesystem::canonical(Exe.parent_path() / PLOTVANE_BINDIR_TO_DOCDIR, Ec);
    if (Ec || !std::filesystem::is_directory(Dir, Ec)) return {};
    return Dir;
}

std::string DocumentationLine(std::string_view Page) {
    const std::filesystem::path Installed = InstalledDocDir();
    if (!Installed.empty()) return "Documentation: " + (Installed / "docs" / Page).string() + "\n";
    if (Page.empty()) return "Documentation: docs/ in the source tree, " PLOTVANE_DOCDIR "/docs/ when installed\n";
    return "Documentation: docs/" + std::string(Page) + " (" PLOTVANE_DOCDIR "/docs/" + std::string(Page) +
           " when installed)\n";
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

std::size_t EditDistance(std::string_view A, std::string_view B) {
    auto Lower = [](char C) { return C >= 'A' && C <= 'Z' ? char(C - 'A' + 'a') : C; };
    std::vector<std::size_t> Row(B.size() + 1);
    for (std::size_t J = 0; J <= B.size(); ++J) Row[J] = J;
    for (std::size_t I = 1; I <= A.size(); ++I) {
        std::size_t Diagonal = Row[0];
        Row[0] = I;
        for (std::size_t J = 1; J <= B.size(); ++J) {
            std::size_t Above = Row[J];
            std::size_t Cost = Lower(A[I - 1]) == Lower(B[J - 1]) ? 0 : 1;
            Row[J] = std::min({Row[J] + 1, Row[J - 1] + 1, Diagonal + Cost});
            Diagonal = Above;
        }
    }
    return Row[B.size()];
}

std::size_t SlipLimit(std::string_view Name) { return std::max<std::size_t>(1, Name.size() / 3); }

std::optional<std::size_t> NearestName(std::string_view Name, std::span<const std::string_view> Candidates) {
    const std::size_t Limit = SlipLimit(Name);
    std::optional<std::size_t> Best;
    std::size_t BestDistance = Limit + 1;
    for (std::size_t I = 0; I < Candidates.size(); ++I) {
        const std::string_view C = Candidates[I];
        // The distance is at least the difference in length.
        const std::size_t Gap = C.size() > Name.size() ? C.size() - Name.size() : Name.size() - C.size();
        if (Gap >= BestDistance) continue;
        const std::size_t D = EditDistance(Name, C);
        if (D < BestDistance && D < std::min(Name.size(), C.size())) {
            Best = I;
            BestDistance = D;
        }
    }
    return Best;
}

namespace {

// What follows "no component named <Name>" in a message: "; did you mean
// X?" when a name is a slip away, then the form's components, or the
// nearest few of a big form (see UnknownComponentMessage).
std::string NearComponentsText(pv::TComponent& Module, std::string_view Name) {
    std::vector<pv::TComponent*> All = ModuleComponents(Module);
    std::erase_if(All, [](const pv::TComponent* C) { return C->GetName().empty(); });
    std::string Message;
    // A name is near when at most a third of the name's letters (and at
    // least one) differ, or when it starts with the name's first three
    // letters (all of a shorter name).
    const std::size_t Slip = SlipLimit(Name);
    const std::size_t PrefixLength = std::min<std::size_t>(3, Name.size());
    auto SamePrefix = [&](std::string_view Other) {
        return Other.size() >= PrefixLength && pv::SameText(Other.substr(0, PrefixLength), Name.substr(0, PrefixLength));
    };
    struct TNear {
        std::size_t Distance;
        std::size_t Order;
        const pv::TComponent* Component;
    };
    std::vector<TNear> Near;
    for (std::size_t I = 0; I < All.size(); ++I) {
        const std::string& N = All[I]->GetName();
        const std::size_t LengthGap = N.size() > Name.size() ? N.size() - Name.size() : Name.size() - N.size();
        // The distance is at least the difference in length: a name too
        // long or short to be a slip is measured only when its start matches.
        const bool Prefix = SamePrefix(N);
        if (LengthGap > Slip && !Prefix) continue;
        const std::size_t D = EditDistance(Name, N);
        if (D <= Slip || Prefix) Near.push_back({D, I, All[I]});
    }
    auto Closer = [](const TNear& A, const TNear& B) {
        return A.Distance != B.Distance ? A.Distance < B.Distance : A.Order < B.Order;
    };
    const auto Nearest = std::min_element(Near.begin(), Near.end(), Closer);
    if (Nearest != Near.end() && Nearest->Distance <= Slip)
        Message += "; did you mean " + Nearest->Component->GetName() + "?";
    auto Line = [](const pv::TComponent* C) { return "\n  " + C->GetName() + ": " + std::string(C->ClassName()); };
    constexpr std::size_t MaxListed = 5;
    if (All.size() <= MaxListed) {
        Message += "\nThe form's components:";
        for (const pv::TComponent* C : All) Message += Line(C);
        return Message;
    }
    // A big form is not listed whole: the nearest few names, else its first few.
    Message += "\nThe form has " + std::to_string(All.size()) + " components; ";
    if (Near.empty()) {
        Message += "the first " + std::to_string(MaxListed) + ":";
        for (std::size_t I = 0; I < MaxListed; ++I) Message += Line(All[I]);
        return Message;
    }
    const std::size_t Shown = std::min(MaxListed, Near.size());
    std::partial_sort(Near.begin(), Near.begin() + static_cast<std::ptrdiff_t>(Shown), Near.end(), Closer);
    Message += Shown == 1 ? std::string("the nearest name:") : "the " + std::to_string(Shown) + " nearest names:";
    for (std::size_t I = 0; I < Shown; ++I) Message += Line(Near[I].Component);
    return Message;
}

}  // namespace

std::string UnknownComponentMessage(pv::TComponent& Module, std::string_view Name, const std::string& FormName) {
    return FormName + ": no component named " + std::string(Name) + NearComponentsText(Module, Name);
}

pv::TComponent& FindTarget(pv::TComponent& Module, const std::string& Name, const std::string& FormName) {
    if (Name.empty()) {
        if (auto* Chart = dynamic_cast<Norq_Plotvane::TNorq_DBPlotvane*>(&Module)) return *Chart;
        if (auto* Chart = FirstChart(Module)) return *Chart;
        throw pv::EComponentError(FormName + ": the form holds no TNorq_DBPlotvane");
    }
    if (pv::SameText(Module.GetName(), Name)) return Module;
    if (pv::TComponent* C = FindComponentDeep(Module, Name)) return *C;
    throw pv::EComponentError(UnknownComponentMessage(Module, Name, FormName));
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

namespace {

// Whether First, the part before the first dot of a --set name that names
// no component, looks like a slip for a property of Target, so the form
// reader's "unknown property" message, which suggests that property, fits
// better than one about a missing component.
bool IsPropertySlip(const pv::TClassInfo* Info, std::string_view First) {
    if (!Info) return false;
    std::vector<std::string_view> Names;
    for (const pv::TPropInfo* P : pv::GetPropList(*Info)) Names.push_back(P->Name);
    return NearestName(First, Names).has_value();
}

}  // namespace

void ApplySets(pv::TComponent& Module, pv::TComponent& Target, const std::vector<std::string>& Sets) {
    const std::vector<pv::TComponentPtr<pv::TDataSet>> WereOpen = OpenDataSets(Module);
    // Each set with the component it changed, for the message when a data
    // set cannot open again; and the components whose Active a set chose,
    // which stay as they were set.
    std::vector<std::pair<pv::TComponentPtr<pv::TComponent>, const std::string*>> Changed;
    std::vector<pv::TComponentPtr<pv::TComponent>> ActiveChosen;
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
            } else if (!IsPropertySlip(Info, First)) {
                throw pv::EComponentError("--set " + S + ": " + ShownComponentName(Target) + " has no property " +
                                          First + " and the form no component named " + First +
                                          NearComponentsText(Module, First));
            }
        }
        pv::SetPropertyFromString(*Owner, Name, Value);
        Changed.emplace_back(Owner, &S);
        if (pv::SameText(Name, "Active")) ActiveChosen.emplace_back(Owner);
    }
    std::vector<pv::TComponentPtr<pv::TDataSet>> Reopen;
    for (const auto& D : WereOpen)
        if (std::none_of(ActiveChosen.begin(), ActiveChosen.end(),
                         [&](const auto& C) { return C.get() == D.get(); }))
            Reopen.push_back(D);
    ReopenDataSets(Reopen, [&](const pv::TDataSet& D) {
        // The sets on the data set itself; when none (another component's
        // change closed it), every set.
        std::string On, All;
        for (const auto& [C, Text] : Changed) {
            All += (All.empty() ? "--set " : " --set ") + *Text;
            if (C.get() == &D) On += (On.empty() ? "--set " : " --set ") + *Text;
        }
        return On.empty() ? All : On;
    });
}

void CheckChartData(std::string_view Command, const Norq_Plotvane::TNorq_DBPlotvane& Chart, bool Strict) {
    const std::string Problem = ChartDataProblem(Chart);
    if (Problem.empty()) return;
    if (Strict) throw pv::EDatabaseError(Problem);
    std::cerr << "plotvane " << Command << ": warning: " << Problem << "\n";
}

}  // namespace plotvane
