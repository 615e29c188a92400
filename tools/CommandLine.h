#pragma once
// What the subcommands share: argument parsing, error reporting, finding
// the component to work on, --set (keeping open the data sets it closes,
// through host/DataSets.h), the check that a chart to render has its data.
// Result files are written with pv::WriteFileAtomically
// (platform/rtl/AtomicFile.h).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "component/Norq_Plotvane.h"
#include "host/DataSets.h"
#include "platform/db/DataSet.h"
#include "platform/rtl/AtomicFile.h"
#include "platform/rtl/Component.h"

namespace plotvane {

// A mistake in how a command was called (exit status 2).
class EUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TCommandArgs {
    // The arguments that are not options, in order.
    std::vector<std::string> Positional;
    // Options with a value, by their spelling in ValueOptions ("-o",
    // "--format"); the last one given counts.
    std::map<std::string, std::string, std::less<>> Options;
    // Every value of each option, in the order given, for options that may
    // be repeated ("--cors-origin A --cors-origin B").
    std::map<std::string, std::vector<std::string>, std::less<>> Repeated;
    // Every --set value ("Prop=Value"), in order.
    std::vector<std::string> Sets;
    // The flags given (options without a value), by their spelling in Flags.
    std::set<std::string, std::less<>> Flags;

    // The value of an option, or Default.
    std::string Option(std::string_view Name, const std::string& Default = {}) const;
    // Every value given to an option, in order; empty when it was not given.
    std::vector<std::string> Values(std::string_view Name) const;
    // Whether the flag Name was given.
    bool Flag(std::string_view Name) const { return Flags.contains(Name); }
};

// Parses a command's arguments. ValueOptions are the options it takes, each
// followed by a value ("-o out.gif", also "-o=out.gif"); Flags the options
// it takes without a value ("--strict"); "--set" is always allowed and
// repeatable when AllowSet. "--" ends the options. An unknown option (with
// the nearest known one when it looks like a slip: "unknown option --scal;
// did you mean --scale?"), a missing value, a value given to a flag or a
// number of positional arguments outside [MinPositional, MaxPositional]
// raises EUsageError.
TCommandArgs ParseCommandArgs(std::span<const std::string> Args, std::initializer_list<std::string_view> ValueOptions,
                              bool AllowSet, std::size_t MinPositional, std::size_t MaxPositional,
                              std::initializer_list<std::string_view> Flags = {});

// Runs a command: prints Help and the line naming its documentation page
// DocPage (DocumentationLine) and returns 0 when "--help" or "-h" is among
// Args; otherwise runs Body and turns what it throws into a message on
// stderr, "plotvane <Name>: <message>", with exit status 2 for usage errors
// (and a pointer to --help) and 1 for everything else.
int RunCommand(std::string_view Name, std::string_view Help, std::string_view DocPage,
               std::span<const std::string> Args, const std::function<int()>& Body);

// The folder of the installed documentation (share/doc/plotvane below the
// prefix), found from where the program itself is, so a moved install still
// finds it; empty when the program does not run from an installed tree (a
// build folder).
std::filesystem::path InstalledDocDir();
// "Documentation: " and where Page ("server.md") is: in the installed
// documentation, else in docs/ of the source tree; an empty Page names the
// folder. Ends in a line break.
std::string DocumentationLine(std::string_view Page = {});

// The component named Name anywhere below Module, depth-first in creation
// order (ASCII letter case ignored), or nullptr.
pv::TComponent* FindComponentDeep(pv::TComponent& Module, std::string_view Name);

// The number of single-letter insertions, deletions and substitutions that
// turn A into B, ASCII letter case ignored.
std::size_t EditDistance(std::string_view A, std::string_view B);

// How many letters a name typed for another may get wrong and still count
// as a slip for it: a third of Name's letters, at least one.
std::size_t SlipLimit(std::string_view Name);

// The index of the candidate Name is most likely a slip for: the nearest by
// EditDistance (the first of equally near ones) when it is at most
// SlipLimit(Name) away and fewer edits than the shorter of the two has
// letters (so "p" is no slip for "o"); nullopt when none is.
std::optional<std::size_t> NearestName(std::string_view Name, std::span<const std::string_view> Candidates);

// The error for a component name that is not in the form: it suggests the
// nearest name when one is close, and lists the named components of the
// form (Module first) with their classes: all of them when there are at
// most five, else how many there are and the five nearest names (a slip
// away or with the same first three letters), else the first five.
std::string UnknownComponentMessage(pv::TComponent& Module, std::string_view Name, const std::string& FormName);

// The component a command works on: the one named Name, or when Name is
// empty the first TNorq_DBPlotvane of the module. Raises pv::EComponentError
// naming the form when there is none (UnknownComponentMessage for a name
// that is not there).
pv::TComponent& FindTarget(pv::TComponent& Module, const std::string& Name, const std::string& FormName);
// The same, but it must be a TNorq_DBPlotvane.
Norq_Plotvane::TNorq_DBPlotvane& FindChart(pv::TComponent& Module, const std::string& Name,
                                           const std::string& FormName);

// Applies every "Prop=Value" through the form reader's SetPropertyFromString
// (form syntax: 'text' in quotes, clRed, True, TitleFont.Size, ...). The
// property belongs to Target unless its first dotted part is no property of
// Target but names a component of Module: "--set SalesQuery.SQL.Strings=(...)".
// A first part that is neither (nor a slip for a property of Target) raises
// pv::EComponentError saying the form has no such component, with the
// nearest names as UnknownComponentMessage gives them.
//
// Changing a query's database, SQL or parameters closes it. After the last
// set, every data set that was open before the first one and whose Active
// no set chose is opened again (ReopenDataSets), so a chart bound to it
// keeps its points; one that cannot open fails the sets with
// pv::EDatabaseError naming the --set values on it, the data set and why:
//   --set SalesQuery.DatabaseName='other.db': SalesQuery was open and cannot
//   open again: cannot open database ".../other.db": unable to open database file
void ApplySets(pv::TComponent& Module, pv::TComponent& Target, const std::vector<std::string>& Sets);

// What a command that renders Chart does about ChartDataProblem
// (host/DataSets.h): prints "plotvane <Command>: warning: <problem>" on
// stderr, or with Strict raises pv::EDatabaseError with the problem, so the
// command fails before it writes anything.
void CheckChartData(std::string_view Command, const Norq_Plotvane::TNorq_DBPlotvane& Chart, bool Strict);

// Writing result files: pv::WriteFileAtomically.
using pv::WriteFileAtomically;

}  // namespace plotvane
