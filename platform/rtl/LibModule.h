#pragma once
// Module records: every package (and any other module that takes part in
// package loading) keeps one TLibModule and registers it with the host when
// the operating system attaches the module to the process, and unregisters
// it on detach. The host's list of records is how it knows which modules
// are present, which of their units are initialized, and where their
// resources are.

#include <cstdint>
#include <vector>

namespace pv {

// A library handle as the dynamic loader gives it (dlopen).
using HMODULE = void*;

struct TLibModule {
    // The next record in the host's list; maintained by RegisterModule.
    TLibModule* Next = nullptr;
    // The module's load address: what dladdr reports as the base of any
    // address inside the module. Identifies the module in the list.
    const void* Instance = nullptr;
    // A separate resource module loaded for this module, or nullptr when the
    // module's resources are its own. Freed when the module detaches.
    HMODULE ResInstance = nullptr;
    // The module's name as its manifest spells it ("VCL_Norq_Plotvane").
    const char* Name = nullptr;
    // How many entries of the module's unit table PackageLoad has run;
    // PackageUnload finalizes exactly these, last first.
    std::int32_t InitCount = 0;
};

// Adds Module to the host's list (at the front). A record already in the
// list stays where it is. Called from a module's entry point, so it never
// raises.
void RegisterModule(TLibModule* Module) noexcept;
// Takes Module out of the list; a record not in it is ignored.
void UnregisterModule(TLibModule* Module) noexcept;
// The registered record of the module that contains Address, or nullptr.
TLibModule* FindModule(const void* Address);
// The registered records, most recently registered first.
std::vector<TLibModule*> RegisteredModules();

// The load address of the module that contains Address (dladdr), or nullptr.
const void* ModuleBaseOf(const void* Address);
// Releases one reference to a library (dlclose); nullptr is ignored.
void FreeLibrary(HMODULE Module) noexcept;

}  // namespace pv
