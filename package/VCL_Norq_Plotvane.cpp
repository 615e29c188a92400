// The package unit VCL_Norq_Plotvane: unit table, entry points, library
// entry point.

#include "package/VCL_Norq_Plotvane.h"

#include "package/SysInit.h"

namespace Norq_Plotvane {
void Initialization();
void Finalization();
}  // namespace Norq_Plotvane

namespace {

// Initialization order: SysInit first (every unit uses it), then the package
// unit, whose initialization is the library entry point and has run by the
// time the host initializes units, and Norq_Plotvane last.
constexpr pv::TPackageUnitEntry UnitInfo[] = {
    {nullptr, nullptr},
    {nullptr, nullptr},
    {&Norq_Plotvane::Initialization, &Norq_Plotvane::Finalization},
};
constexpr pv::TPackageUnitTable UnitTable{3, UnitInfo};

}  // namespace

extern "C" void Initialize() { pv::PackageLoad(&UnitTable, &SysInit::LibModule); }

extern "C" void Finalize() { pv::PackageUnload(&UnitTable, &SysInit::LibModule); }

extern "C" const pv::TPackageUnitTable* PackageInfoTableEntry() { return &UnitTable; }

namespace VCL_Norq_Plotvane {

void PackageLoad() __attribute__((alias("Initialize")));
void PackageUnload() __attribute__((alias("Finalize")));
const pv::TPackageUnitTable* GetPackageInfoTable() __attribute__((alias("_40GetPackageInfoTable")));

void LibraryEntry(TEntryReason Reason) {
    switch (Reason) {
        case TEntryReason::erProcessAttach:
            SysInit::LibModule.Instance = pv::ModuleBaseOf(&SysInit::LibModule);
            pv::RegisterModule(&SysInit::LibModule);
            break;
        case TEntryReason::erProcessDetach:
            pv::UnregisterModule(&SysInit::LibModule);
            if (SysInit::LibModule.ResInstance) {
                pv::FreeLibrary(SysInit::LibModule.ResInstance);
                SysInit::LibModule.ResInstance = nullptr;
            }
            break;
    }
}

}  // namespace VCL_Norq_Plotvane

namespace {

// ELF's counterpart of the library entry point: the dynamic loader runs
// constructors when it maps the library and destructors before it unmaps it.
[[gnu::constructor]] void ProcessAttach() { VCL_Norq_Plotvane::LibraryEntry(VCL_Norq_Plotvane::TEntryReason::erProcessAttach); }
[[gnu::destructor]] void ProcessDetach() { VCL_Norq_Plotvane::LibraryEntry(VCL_Norq_Plotvane::TEntryReason::erProcessDetach); }

}  // namespace
