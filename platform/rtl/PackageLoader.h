#pragma once
// The host's package loader.
//
// A package is an ELF shared library with a resource directory (see
// ResourceImage.h) whose RT_RCDATA "PACKAGEINFO" is a manifest (see
// PackageInfo.h), and with these entry points:
//
//   Initialize            void()  runs the initialization of the package's
//                                 units: PackageLoad(its unit table, its
//                                 module record)
//   Finalize              void()  runs their finalization: PackageUnload
//   @GetPackageInfoTable  const TPackageUnitTable*()  the unit table
//   @GetResourceImage     TResourceImageRef()  the resource image in memory
//
// and its library entry point (an ELF constructor and destructor) calls
// RegisterModule on process attach and UnregisterModule on detach.
//
// Export names. ELF symbol names are C identifiers in practice: the GNU
// tools read an '@' in a symbol name as the start of a symbol version. So a
// host-level export name is written in ELF by ElfExportName: letters, digits
// and '_' stay as they are, every other byte becomes '_' and two lower-case
// hex digits; "@GetPackageInfoTable" is the ELF symbol
// "_40GetPackageInfoTable". Only the entry points above go through this
// mapping; qualified names are mangled as follows.
//
// Qualified names of a unit's routines, class records and type-information
// records are mangled by the platform's C++ ABI (the Itanium C++ ABI that
// g++ follows): a unit is a namespace, a class record is a C++ class with its
// virtual table (_ZTV...), a type-information record is the class's or
// enumeration's type_info (_ZTI...) together with its published-property
// table (the class's StaticClassInfo()), and a routine is a function. So
// Norq_Plotvane.TNorq_DBPlotvane.Create(AOwner) is the constructor
// Norq_Plotvane::TNorq_DBPlotvane::TNorq_DBPlotvane(pv::TComponent*), ELF
// symbol "_ZN13Norq_Plotvane16TNorq_DBPlotvaneC1EPN2pv10TComponentE", which
// is what a host program linked against the package binds to. A unit's
// initialization and finalization routines are Unit::Initialization() and
// Unit::Finalization().
//
// Loading (LoadPackage): the file's manifest is read first, straight from
// the file; every required package must already be loaded in the process or
// lie in the package's folder, and those not yet loaded are loaded from that
// folder first, each after the libraries it needs that lie there too. Then
// the package is loaded (process attach: it registers its module record),
// and its Initialize runs. Unloading (UnloadPackage) runs Finalize, unloads
// the package (process detach: it unregisters), then releases the required
// packages in the reverse order of their loading.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/LibModule.h"
#include "platform/rtl/PackageInfo.h"
#include "platform/rtl/ResourceImage.h"

namespace pv {

// One unit's routines; either may be nullptr when the unit has none.
struct TPackageUnitEntry {
    void (*Initialization)();
    void (*Finalization)();
};

// A package's units in initialization order: every unit comes after the
// units it uses.
struct TPackageUnitTable {
    std::int32_t UnitCount;
    const TPackageUnitEntry* UnitInfo;
};

// Host-level names of the entry points.
inline constexpr std::string_view InitializeExport = "Initialize";
inline constexpr std::string_view FinalizeExport = "Finalize";
inline constexpr std::string_view PackageInfoTableExport = "@GetPackageInfoTable";
inline constexpr std::string_view ResourceImageExport = "@GetResourceImage";

// The ELF symbol name of a host-level export name (see above).
std::string ElfExportName(std::string_view HostName);

// Runs the initialization routines of Table in table order and counts them
// in Module->InitCount. When one raises, the units already initialized are
// finalized again, last first, InitCount returns to 0, and the failure is
// raised unchanged. A module whose units are initialized already, a null
// table or module, or a negative count raise EPackageError.
void PackageLoad(const TPackageUnitTable* Table, TLibModule* Module);
// Runs the finalization routines of the Module->InitCount units that
// PackageLoad initialized, in reverse table order, and sets InitCount to 0.
// Every unit is finalized even when one raises; the first failure is raised
// afterwards, unchanged.
void PackageUnload(const TPackageUnitTable* Table, TLibModule* Module);

// What PackageLoad and PackageUnload are about to run, for diagnostics.
enum class TUnitPhase : std::uint8_t {
    upInitialization,
    upFinalization,
};
struct TUnitEvent {
    const TLibModule* Module;
    int Index;  // in the unit table
    TUnitPhase Phase;
    void (*Routine)();
};
using TUnitEventHandler = std::function<void(const TUnitEvent&)>;
// Installs Handler (an empty one removes it); returns the previous one. The
// handler is called before each routine runs, on the loading thread.
TUnitEventHandler SetUnitEventHandler(TUnitEventHandler Handler);

// Loads a package as described above and returns its library handle.
// Loading a package that is loaded already returns the same handle and
// counts one more reference. Failures raise EPackageError naming the file
// and the fault: a missing file; a file that is no package (no shared
// library, no resource directory, no manifest, no entry points); a damaged
// file or manifest; a design-only package; a required package that is
// neither loaded nor in the folder (named, with the folder); a required
// package that cannot be loaded; a unit that another loaded package
// contains too; a failure of the units' initialization (its message
// included). After a failure nothing the call loaded stays loaded.
HMODULE LoadPackage(const std::string& FileName);
// Drops one reference; the last runs Finalize, unloads the package and
// releases its required packages, last loaded first. A failure of the
// finalization raises EPackageError after all of that is done. A handle
// LoadPackage did not give raises EPackageError.
void UnloadPackage(HMODULE Module);

// A package loaded by LoadPackage.
struct TLoadedPackage {
    HMODULE Handle;
    std::string FileName;  // as given to LoadPackage
    std::string PackageName;
    int References;
};
// The packages LoadPackage loaded and UnloadPackage has not unloaded, in
// loading order.
std::vector<TLoadedPackage> LoadedPackages();

// The bytes of a resource of a loaded module, or nullopt when the module has
// no resource directory or no such resource. The bytes live as long as the
// module stays loaded. A damaged directory raises EPackageError.
std::optional<std::span<const std::uint8_t>> FindResource(HMODULE Module, TResType Type, const TResName& Name,
                                                          std::uint16_t Language);
// The manifest of a loaded package, read from its resources in memory.
TPackageInfo GetPackageInfo(HMODULE Module);
// Its description (RT_RCDATA "DESCRIPTION"), or empty.
std::string GetPackageDescription(HMODULE Module);

}  // namespace pv
