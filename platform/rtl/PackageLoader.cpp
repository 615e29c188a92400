#include "platform/rtl/PackageLoader.h"
#include "platform/rtl/Strings.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <mutex>
#include <set>

#include "platform/rtl/ElfFile.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/PackageFile.h"

namespace pv {

namespace {

namespace fs = std::filesystem;

// A library a package needs that its loading acquired: a package loaded
// through LoadPackage (released with UnloadPackage) or a plain library
// reference (released with dlclose).
struct TDependency {
    HMODULE Handle = nullptr;
    bool IsPackage = false;
};

struct TRecord {
    HMODULE Handle = nullptr;
    std::string FileName;   // as given
    std::string Canonical;  // for finding a second load of the same file
    TPackageInfo Info;
    int References = 1;
    std::vector<TDependency> Dependencies;  // in loading order
    void (*Finalize)() = nullptr;
};

// Guards the records. Recursive: loading a package loads its required
// packages through LoadPackage, and a unit's initialization may load more.
std::recursive_mutex LoaderLock;
std::vector<TRecord> Records;
// The packages being loaded, outermost first: a package that requires
// itself, directly or not, is found here instead of recursing for ever.
std::vector<std::string> LoadingStack;

std::mutex HandlerLock;
TUnitEventHandler UnitHandler;

TUnitEventHandler CurrentHandler() {
    std::lock_guard Guard(HandlerLock);
    return UnitHandler;
}

std::string ModuleName(const TLibModule* Module) {
    return Module && Module->Name ? "Module \"" + std::string(Module->Name) + "\"" : std::string("Unnamed module");
}

void CheckTable(const TPackageUnitTable* Table, const TLibModule* Module, const char* Routine) {
    if (!Module) throw EPackageError(std::string(Routine) + ": no module record given");
    if (!Table) throw EPackageError(std::string(Routine) + ": " + ModuleName(Module) + " gave no unit table");
    if (Table->UnitCount < 0 || (Table->UnitCount > 0 && !Table->UnitInfo))
        throw EPackageError(std::string(Routine) + ": " + ModuleName(Module) + " gave a unit table of " +
                            std::to_string(Table->UnitCount) + " units" + (Table->UnitInfo ? "" : " and no entries"));
}

std::string DlError() {
    const char* E = dlerror();
    return E ? E : "unknown error";
}

template <class F>
F SymbolAs(void* Symbol) {
    F Fn;
    static_assert(sizeof Fn == sizeof Symbol);
    std::memcpy(&Fn, &Symbol, sizeof Fn);
    return Fn;
}

TRecord* FindRecord(HMODULE Handle) {
    for (TRecord& R : Records)
        if (R.Handle == Handle) return &R;
    return nullptr;
}

std::string CanonicalOf(const std::string& FileName) {
    std::error_code Ec;
    fs::path P = fs::weakly_canonical(fs::absolute(FileName, Ec), Ec);
    return Ec ? fs::absolute(FileName).lexically_normal().string() : P.string();
}

// A reference to the library with this file name (soname) when the process
// has one loaded, else nullptr.
HMODULE LoadedByName(const std::string& Name) { return dlopen(Name.c_str(), RTLD_NOW | RTLD_NOLOAD); }

bool IsLoadedByName(const std::string& Name) {
    HMODULE H = LoadedByName(Name);
    FreeLibrary(H);
    return H != nullptr;
}

// Releases dependencies, last acquired first; returns the first failure's
// message, or empty.
std::string Release(std::vector<TDependency>& Dependencies) {
    std::string Failure;
    while (!Dependencies.empty()) {
        const TDependency D = Dependencies.back();
        Dependencies.pop_back();
        if (!D.IsPackage) {
            FreeLibrary(D.Handle);
            continue;
        }
        try {
            UnloadPackage(D.Handle);
        } catch (const std::exception& E) {
            if (Failure.empty()) Failure = E.what();
        }
    }
    return Failure;
}

// Acquires the required package Name for the package Owner: the loaded one
// when the process has it, else the file in Folder, after the libraries it
// needs that lie in Folder too. InProgress stops cycles.
void AcquireRequired(const fs::path& Folder, const std::string& Name, const std::string& Owner,
                     std::vector<TDependency>& Dependencies, std::set<std::string>& InProgress) {
    if (HMODULE H = LoadedByName(Name)) {
        if (TRecord* R = FindRecord(H)) {
            // A package LoadPackage loaded: its record counts the reference.
            ++R->References;
            FreeLibrary(H);
            Dependencies.push_back({H, true});
        } else {
            Dependencies.push_back({H, false});
        }
        return;
    }
    const std::string Path = (Folder / Name).string();
    if (!InProgress.insert(Path).second) return;
    if (TPackageFile::HasManifest(Path)) {
        Dependencies.push_back({LoadPackage(Path), true});
        return;
    }
    const TElfFile Elf = TElfFile::Read(Path, PackageContext(Path));
    for (const std::string& Needed : Elf.Needed()) {
        if (Needed.find('/') != std::string::npos || IsLoadedByName(Needed)) continue;
        std::error_code Ec;
        if (fs::is_regular_file(Folder / Needed, Ec)) AcquireRequired(Folder, Needed, Owner, Dependencies, InProgress);
    }
    dlerror();
    HMODULE H = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!H)
        throw EPackageError(PackageContext(Owner) + ": its required package \"" + Path +
                            "\" cannot be loaded: " + DlError());
    Dependencies.push_back({H, false});
}

}  // namespace

std::string ElfExportName(std::string_view HostName) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string Out;
    for (char C : HostName) {
        const auto B = static_cast<unsigned char>(C);
        if ((B >= 'a' && B <= 'z') || (B >= 'A' && B <= 'Z') || (B >= '0' && B <= '9') || B == '_') {
            Out += C;
        } else {
            Out += '_';
            Out += Hex[B >> 4];
            Out += Hex[B & 15];
        }
    }
    return Out;
}

TUnitEventHandler SetUnitEventHandler(TUnitEventHandler Handler) {
    std::lock_guard Guard(HandlerLock);
    std::swap(UnitHandler, Handler);
    return Handler;
}

void PackageLoad(const TPackageUnitTable* Table, TLibModule* Module) {
    CheckTable(Table, Module, "PackageLoad");
    if (Module->InitCount != 0)
        throw EPackageError("PackageLoad: " + ModuleName(Module) + " has its units initialized already (" +
                            std::to_string(Module->InitCount) + " of " + std::to_string(Table->UnitCount) + ")");
    const TUnitEventHandler Handler = CurrentHandler();
    try {
        for (int I = 0; I < Table->UnitCount; ++I) {
            if (void (*Init)() = Table->UnitInfo[I].Initialization) {
                if (Handler) Handler({Module, I, TUnitPhase::upInitialization, Init});
                Init();
            }
            Module->InitCount = I + 1;
        }
    } catch (...) {
        // Undo what was done, so the module can be unloaded cleanly; the
        // failure that stopped the initialization is the one reported.
        for (int K = Module->InitCount - 1; K >= 0; --K) {
            if (void (*Fin)() = Table->UnitInfo[K].Finalization) {
                try {
                    if (Handler) Handler({Module, K, TUnitPhase::upFinalization, Fin});
                    Fin();
                } catch (...) {
                }
            }
        }
        Module->InitCount = 0;
        throw;
    }
}

void PackageUnload(const TPackageUnitTable* Table, TLibModule* Module) {
    CheckTable(Table, Module, "PackageUnload");
    const TUnitEventHandler Handler = CurrentHandler();
    std::exception_ptr First;
    for (int K = std::min(Module->InitCount, Table->UnitCount) - 1; K >= 0; --K) {
        if (void (*Fin)() = Table->UnitInfo[K].Finalization) {
            try {
                if (Handler) Handler({Module, K, TUnitPhase::upFinalization, Fin});
                Fin();
            } catch (...) {
                if (!First) First = std::current_exception();
            }
        }
    }
    Module->InitCount = 0;
    if (First) std::rethrow_exception(First);
}

HMODULE LoadPackage(const std::string& FileName) {
    std::lock_guard Guard(LoaderLock);
    const std::string Context = PackageContext(FileName);
    const std::string Canonical = CanonicalOf(FileName);
    for (TRecord& R : Records) {
        if (R.Canonical == Canonical) {
            ++R.References;
            return R.Handle;
        }
    }

    if (std::find(LoadingStack.begin(), LoadingStack.end(), Canonical) != LoadingStack.end())
        throw EPackageError(Context + " requires itself through the packages it requires");
    LoadingStack.push_back(Canonical);
    struct TPop {
        ~TPop() { LoadingStack.pop_back(); }
    } Pop;

    TPackageFile File = TPackageFile::Read(FileName);
    const TPackageInfo& Info = File.Info();
    if (Info.IsDesignOnly()) throw EPackageError(Context + " is a design-only package; programs cannot load it");
    for (const TPackageInfo::TUnit& U : Info.Contains) {
        // Every module has its own start-up unit; weak units may repeat.
        if (SameText(U.Name, "SysInit") || (U.Flags & ufWeakUnit)) continue;
        for (const TRecord& R : Records)
            for (const TPackageInfo::TUnit& Other : R.Info.Contains)
                if (SameText(U.Name, Other.Name))
                    throw EPackageError(Context + " contains the unit \"" + U.Name +
                                        "\", which the loaded package \"" + R.FileName + "\" contains too");
    }

    // Every requirement is checked before anything is loaded, so a missing
    // one leaves the process as it was.
    const fs::path Folder = fs::absolute(FileName).parent_path();
    for (const std::string& Name : Info.Requires) {
        std::error_code Ec;
        if (!IsLoadedByName(Name) && !fs::is_regular_file(Folder / Name, Ec))
            throw EPackageError(Context + " requires the package \"" + Name + "\", which is neither loaded nor in \"" +
                                Folder.string() + "\"");
    }
    std::vector<TDependency> Dependencies;
    try {
        std::set<std::string> InProgress{Canonical};
        for (const std::string& Name : Info.Requires) {
            try {
                AcquireRequired(Folder, Name, FileName, Dependencies, InProgress);
            } catch (const EPackageError& E) {
                // Faults of a required package's own file say which package
                // needed it.
                const std::string Message = E.what();
                if (Message.rfind(Context, 0) == 0) throw;
                throw EPackageError(Context + " requires the package \"" + Name + "\", which cannot be used: " + Message);
            }
        }
    } catch (...) {
        Release(Dependencies);
        throw;
    }

    dlerror();
    const std::string Path = fs::absolute(FileName).string();
    HMODULE Handle = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!Handle) {
        const std::string Error = DlError();
        Release(Dependencies);
        throw EPackageError(Context + " cannot be loaded: " + Error);
    }
    auto Fail = [&](const std::string& Message) {
        FreeLibrary(Handle);
        Release(Dependencies);
        throw EPackageError(Message);
    };
    void* Symbols[3] = {};
    const std::string_view Names[3] = {InitializeExport, FinalizeExport, PackageInfoTableExport};
    for (int I = 0; I < 3; ++I) {
        Symbols[I] = dlsym(Handle, ElfExportName(Names[I]).c_str());
        if (!Symbols[I])
            Fail(Context + " is not a package: it exports no \"" + std::string(Names[I]) + "\" (ELF symbol \"" +
                 ElfExportName(Names[I]) + "\")");
    }
    if (TRecord* Same = FindRecord(Handle)) {
        // The same file under another name: one package, one more reference.
        ++Same->References;
        FreeLibrary(Handle);
        Release(Dependencies);
        return Handle;
    }
    if (!FindModule(Symbols[2])) Fail(Context + " registered no module record when it was attached");

    try {
        SymbolAs<void (*)()>(Symbols[0])();
    } catch (const std::exception& E) {
        Fail(Context + ": the initialization of its units failed: " + E.what());
    } catch (...) {
        Fail(Context + ": the initialization of its units failed with an unknown exception");
    }
    TRecord R;
    R.Handle = Handle;
    R.FileName = FileName;
    R.Canonical = Canonical;
    R.Info = Info;
    R.Dependencies = std::move(Dependencies);
    R.Finalize = SymbolAs<void (*)()>(Symbols[1]);
    Records.push_back(std::move(R));
    return Handle;
}

void UnloadPackage(HMODULE Module) {
    std::lock_guard Guard(LoaderLock);
    auto It = std::find_if(Records.begin(), Records.end(), [&](const TRecord& R) { return R.Handle == Module; });
    if (It == Records.end()) {
        char Buf[32];
        std::snprintf(Buf, sizeof Buf, "%p", Module);
        throw EPackageError(std::string("UnloadPackage: the handle ") + Buf + " is no package that LoadPackage loaded");
    }
    if (--It->References > 0) return;
    TRecord R = std::move(*It);
    Records.erase(It);
    std::string Failure;
    try {
        R.Finalize();
    } catch (const std::exception& E) {
        Failure = PackageContext(R.FileName) + ": the finalization of its units failed: " + E.what();
    } catch (...) {
        Failure = PackageContext(R.FileName) + ": the finalization of its units failed with an unknown exception";
    }
    FreeLibrary(R.Handle);
    const std::string DependencyFailure = Release(R.Dependencies);
    if (Failure.empty()) Failure = DependencyFailure;
    if (!Failure.empty()) throw EPackageError(Failure);
}

std::vector<TLoadedPackage> LoadedPackages() {
    std::lock_guard Guard(LoaderLock);
    std::vector<TLoadedPackage> Out;
    for (const TRecord& R : Records) Out.push_back({R.Handle, R.FileName, R.Info.PackageName, R.References});
    return Out;
}

std::optional<std::span<const std::uint8_t>> FindResource(HMODULE Module, TResType Type, const TResName& Name,
                                                          std::uint16_t Language) {
    if (!Module) return std::nullopt;
    void* Symbol = dlsym(Module, ElfExportName(ResourceImageExport).c_str());
    if (!Symbol) return std::nullopt;
    const TResourceImageRef Ref = SymbolAs<TResourceImageRef (*)()>(Symbol)();
    Dl_info Where{};
    dladdr(Symbol, &Where);
    const TResourceImage Image = TResourceImage::Parse(
        {Ref.Data, Ref.Size},
        "Module \"" + std::string(Where.dli_fname ? Where.dli_fname : "?") + "\" has a damaged resource directory");
    const TResourceEntry* E = Image.Find(Type, Name, Language);
    if (!E) return std::nullopt;
    return E->Data;
}

TPackageInfo GetPackageInfo(HMODULE Module) {
    const auto Bytes = FindResource(Module, RT_RCDATA, "PACKAGEINFO", LANG_NEUTRAL);
    if (!Bytes) throw EPackageError("GetPackageInfo: the module has no manifest (RT_RCDATA \"PACKAGEINFO\")");
    return DecodePackageInfo(*Bytes, "GetPackageInfo: the module's manifest PACKAGEINFO is damaged");
}

std::string GetPackageDescription(HMODULE Module) {
    const auto Bytes = FindResource(Module, RT_RCDATA, "DESCRIPTION", LANG_NEUTRAL);
    return Bytes ? DecodeDescription(*Bytes, "GetPackageDescription: the module's DESCRIPTION is damaged")
                 : std::string();
}

}  // namespace pv
