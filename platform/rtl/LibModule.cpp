#include "platform/rtl/LibModule.h"

#include <dlfcn.h>

#include <mutex>

namespace pv {

namespace {

// Constant-initialized, so modules attached before main (linked at build
// time) can register whatever order the start-up code runs in.
std::mutex ModuleListLock;
TLibModule* ModuleList = nullptr;

}  // namespace

void RegisterModule(TLibModule* Module) noexcept {
    if (!Module) return;
    std::lock_guard Guard(ModuleListLock);
    for (TLibModule* M = ModuleList; M; M = M->Next)
        if (M == Module) return;
    Module->Next = ModuleList;
    ModuleList = Module;
}

void UnregisterModule(TLibModule* Module) noexcept {
    std::lock_guard Guard(ModuleListLock);
    for (TLibModule** Link = &ModuleList; *Link; Link = &(*Link)->Next) {
        if (*Link == Module) {
            *Link = Module->Next;
            Module->Next = nullptr;
            return;
        }
    }
}

TLibModule* FindModule(const void* Address) {
    const void* Base = ModuleBaseOf(Address);
    if (!Base) return nullptr;
    std::lock_guard Guard(ModuleListLock);
    for (TLibModule* M = ModuleList; M; M = M->Next)
        if (M->Instance == Base) return M;
    return nullptr;
}

std::vector<TLibModule*> RegisteredModules() {
    std::lock_guard Guard(ModuleListLock);
    std::vector<TLibModule*> Out;
    for (TLibModule* M = ModuleList; M; M = M->Next) Out.push_back(M);
    return Out;
}

const void* ModuleBaseOf(const void* Address) {
    Dl_info Info{};
    if (!Address || dladdr(Address, &Info) == 0) return nullptr;
    return Info.dli_fbase;
}

void FreeLibrary(HMODULE Module) noexcept {
    if (Module) dlclose(Module);
}

}  // namespace pv
