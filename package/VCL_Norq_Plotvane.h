#pragma once
// The package unit VCL_Norq_Plotvane: the entry points of the package
// "VCL_Norq_Plotvane.bpl", which contains the unit Norq_Plotvane
// (component/Norq_Plotvane.h: TNorq_DBPlotvane, TNorq_DBPlotvaneDataLink and
// the three enumerations). docs/library.md describes the package and its
// entry points.

#include <cstdint>

#include "platform/rtl/PackageLoader.h"
#include "platform/rtl/ResourceImage.h"

// The entry points the host's package loader looks up, under their ELF
// names ("@GetPackageInfoTable" is "_40GetPackageInfoTable").
extern "C" {
// Runs the initialization of the package's units (PackageLoad).
void Initialize();
// Runs their finalization, last unit first (PackageUnload).
void Finalize();
// The unit table: SysInit, VCL_Norq_Plotvane, Norq_Plotvane.
const pv::TPackageUnitTable* PackageInfoTableEntry() __asm__("_40GetPackageInfoTable");
// The package's resource image in memory.
pv::TResourceImageRef ResourceImageEntry() __asm__("_40GetResourceImage");
}

namespace VCL_Norq_Plotvane {

// Initialize, Finalize and @GetPackageInfoTable under the package unit's
// own names: the same routines at the same addresses.
void PackageLoad();
void PackageUnload();
const pv::TPackageUnitTable* GetPackageInfoTable();

// Why the library entry point is called.
enum class TEntryReason : std::uint8_t {
    erProcessAttach,  // the library was mapped into the process
    erProcessDetach,  // the library is about to be unmapped
};

// The package unit's initialization routine, which is the library entry
// point: on attach it registers the package's module record with the host
// (RegisterModule); on detach it unregisters it and frees a separate
// resource module if the host loaded one.
void LibraryEntry(TEntryReason Reason);

}  // namespace VCL_Norq_Plotvane
