// Loading and unloading VCL_Norq_Plotvane.bpl at run time: the module record,
// the units' order, the exports, what is left behind, and every way a
// package file can be missing, foreign or damaged.

#include <dlfcn.h>
#include <link.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "platform/db/DataSource.h"
#include "platform/db/MemDataSet.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/FormRegistry.h"
#include "platform/rtl/LibModule.h"
#include "platform/rtl/PackageLoader.h"
#include "tests/package/PackageTestSupport.h"
#include "tests/support/ThrowMessage.h"

namespace {

using pvtest::PackageFile;
using pvtest::TTempDir;

void* Symbol(pv::HMODULE H, const char* Name) { return dlsym(H, Name); }

// The file a loaded library was mapped from, or empty.
std::string MappedFrom(const std::string& Name) {
    void* H = dlopen(Name.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!H) return {};
    link_map* Map = nullptr;
    dlinfo(H, RTLD_DI_LINKMAP, &Map);
    std::string Path = Map ? Map->l_name : "";
    dlclose(H);
    return Path;
}

bool IsMapped(const std::string& Path) {
    void* H = dlopen(Path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (H) dlclose(H);
    return H != nullptr;
}

TEST(PackageLoadTest, LoadingAndUnloadingLeavesNothingBehind) {
    // The host's own objects: an open data set behind a data source.
    pv::TComponent Host(nullptr);
    auto* Data = new pv::TMemDataSet(&Host);
    Data->AddField("month", pv::TFieldType::ftString);
    Data->AddField("revenue", pv::TFieldType::ftFloat);
    Data->AppendRecord({std::string("Jan"), 12.0});
    Data->Open();
    auto* Source = new pv::TDataSource(&Host);
    Source->SetDataSet(Data);

    const auto ModulesBefore = pv::RegisteredModules();
    const auto ClassesBefore = pv::RegisteredComponentClasses();
    const int ComponentsBefore = pv::TComponent::InstanceCount();
    std::vector<pv::TUnitEvent> Events;
    pv::SetUnitEventHandler([&](const pv::TUnitEvent& E) { Events.push_back(E); });

    pv::HMODULE H = pv::LoadPackage(PackageFile.string());
    ASSERT_NE(H, nullptr);
    void* Init = Symbol(H, "_ZN13Norq_Plotvane14InitializationEv");
    void* Fin = Symbol(H, "_ZN13Norq_Plotvane12FinalizationEv");
    ASSERT_NE(Init, nullptr);
    ASSERT_NE(Fin, nullptr);

    // Process attach registered the module; Initialize ran every unit.
    const pv::TLibModule* Module = pv::FindModule(Symbol(H, "_40GetPackageInfoTable"));
    ASSERT_NE(Module, nullptr);
    EXPECT_STREQ(Module->Name, "VCL_Norq_Plotvane");
    EXPECT_EQ(Module->InitCount, 3);
    EXPECT_EQ(pv::RegisteredModules().size(), ModulesBefore.size() + 1);
    ASSERT_EQ(pv::LoadedPackages().size(), 1u);
    EXPECT_EQ(pv::LoadedPackages()[0].PackageName, "VCL_Norq_Plotvane");
    ASSERT_EQ(Events.size(), 1u) << "only Norq_Plotvane has routines";
    EXPECT_EQ(Events[0].Phase, pv::TUnitPhase::upInitialization);
    EXPECT_EQ(Events[0].Index, 2) << "Norq_Plotvane is the last unit";
    EXPECT_EQ(reinterpret_cast<void*>(Events[0].Routine), Init);

    pv::UnloadPackage(H);
    pv::SetUnitEventHandler({});
    ASSERT_EQ(Events.size(), 2u);
    EXPECT_EQ(Events[1].Phase, pv::TUnitPhase::upFinalization);
    EXPECT_EQ(Events[1].Index, 2);
    EXPECT_EQ(reinterpret_cast<void*>(Events[1].Routine), Fin);

    // The package is unmapped (its process detach unregistered it), and
    // nothing of the host's was touched or added to.
    EXPECT_FALSE(IsMapped(PackageFile.string()));
    EXPECT_EQ(pv::RegisteredModules(), ModulesBefore);
    EXPECT_TRUE(pv::LoadedPackages().empty());
    EXPECT_EQ(pv::TComponent::InstanceCount(), ComponentsBefore) << "no component was created";
    EXPECT_EQ(pv::RegisteredComponentClasses(), ClassesBefore) << "no class was registered";
    EXPECT_EQ(Source->GetLinkCount(), 0);
    EXPECT_EQ(Source->GetDataSet(), Data);
    EXPECT_EQ(Data->GetState(), pv::TDataSetState::dsBrowse);
}

TEST(PackageLoadTest, ExportsEntryPointsUnderTheirDocumentedNames) {
    pv::HMODULE H = pv::LoadPackage(PackageFile.string());
    EXPECT_EQ(pv::ElfExportName("@GetPackageInfoTable"), "_40GetPackageInfoTable");
    void* Initialize = Symbol(H, "Initialize");
    void* Finalize = Symbol(H, "Finalize");
    void* Table = Symbol(H, "_40GetPackageInfoTable");
    ASSERT_NE(Initialize, nullptr);
    ASSERT_NE(Finalize, nullptr);
    ASSERT_NE(Table, nullptr);
    EXPECT_NE(Symbol(H, "_40GetResourceImage"), nullptr);
    // The package unit's names for the same routines.
    EXPECT_EQ(Symbol(H, "_ZN17VCL_Norq_Plotvane11PackageLoadEv"), Initialize);
    EXPECT_EQ(Symbol(H, "_ZN17VCL_Norq_Plotvane13PackageUnloadEv"), Finalize);
    EXPECT_EQ(Symbol(H, "_ZN17VCL_Norq_Plotvane19GetPackageInfoTableEv"), Table);
    EXPECT_NE(Symbol(H, "_ZN17VCL_Norq_Plotvane12LibraryEntryENS_12TEntryReasonE"), nullptr);

    // The unit table: three units, Norq_Plotvane last with its routines.
    auto* GetTable = reinterpret_cast<const pv::TPackageUnitTable* (*)()>(Table);
    const pv::TPackageUnitTable* T = GetTable();
    ASSERT_EQ(T->UnitCount, 3);
    EXPECT_EQ(reinterpret_cast<void*>(T->UnitInfo[2].Initialization),
              Symbol(H, "_ZN13Norq_Plotvane14InitializationEv"));
    EXPECT_EQ(reinterpret_cast<void*>(T->UnitInfo[2].Finalization), Symbol(H, "_ZN13Norq_Plotvane12FinalizationEv"));

    // Class records, type-information records and routines of Norq_Plotvane.
    for (const char* Name : {"_ZTVN13Norq_Plotvane16TNorq_DBPlotvaneE", "_ZTIN13Norq_Plotvane16TNorq_DBPlotvaneE",
                             "_ZTVN13Norq_Plotvane24TNorq_DBPlotvaneDataLinkE",
                             "_ZTIN13Norq_Plotvane24TNorq_DBPlotvaneDataLinkE",
                             "_ZTIN13Norq_Plotvane14TPreviewFormatE", "_ZTIN13Norq_Plotvane12TSeriesStyleE",
                             "_ZTIN13Norq_Plotvane16TSeriesColorModeE",
                             "_ZTIN13Norq_Plotvane19TPlotvaneSeriesTypeE",
                             "_ZNK13Norq_Plotvane16TNorq_DBPlotvane13GetSeriesTypeEv",
                             "_ZN13Norq_Plotvane16TNorq_DBPlotvane13SetSeriesTypeENS_19TPlotvaneSeriesTypeE",
                             "_ZN13Norq_Plotvane16TNorq_DBPlotvaneC1EPN2pv10TComponentE",
                             "_ZN13Norq_Plotvane16TNorq_DBPlotvane15StaticClassInfoEv",
                             "_ZN13Norq_Plotvane16TNorq_DBPlotvane14GetGifResponseERN2pv12TWebResponseE",
                             "_ZN13Norq_Plotvane24TNorq_DBPlotvaneDataLinkC1EPNS_16TNorq_DBPlotvaneE"})
        EXPECT_NE(Symbol(H, Name), nullptr) << Name;
    pv::UnloadPackage(H);

    // No registration routine for a designer, and the start-up unit's
    // per-module record stays private.
    const pvtest::TTestElf Elf(pvtest::ReadBytes(PackageFile));
    for (const std::string& S : Elf.DefinedDynamicSymbols()) {
        EXPECT_EQ(S.find("Register"), std::string::npos) << S;
        EXPECT_EQ(S.find("SysInit"), std::string::npos) << S;
    }
}

TEST(PackageLoadTest, LinksExactlyTheRequiredPackagesInManifestOrder) {
    const pvtest::TTestElf Elf(pvtest::ReadBytes(PackageFile));
    std::vector<std::string> Packages;
    for (const std::string& N : Elf.Needed())
        if (N.size() > 4 && N.ends_with(".bpl")) Packages.push_back(N);
    EXPECT_EQ(Packages, pvtest::PlatformPackages);
}

TEST(PackageLoadTest, LoadingTwiceSharesOnePackage) {
    pv::HMODULE A = pv::LoadPackage(PackageFile.string());
    pv::HMODULE B = pv::LoadPackage((PackageFile.parent_path() / "." / PackageFile.filename()).string());
    EXPECT_EQ(A, B);
    ASSERT_EQ(pv::LoadedPackages().size(), 1u);
    EXPECT_EQ(pv::LoadedPackages()[0].References, 2);
    const pv::TLibModule* Module = pv::FindModule(Symbol(A, "Initialize"));
    ASSERT_NE(Module, nullptr);
    pv::UnloadPackage(B);
    EXPECT_EQ(Module->InitCount, 3) << "one reference is left, the units stay initialized";
    pv::UnloadPackage(A);
    EXPECT_TRUE(pv::LoadedPackages().empty());
    EXPECT_THROW_MSG_HAS(pv::UnloadPackage(A), pv::EPackageError, "UnloadPackage",
                         "is no package that LoadPackage loaded");
}

TEST(PackageLoadTest, RequiredPackagesComeFromThePackagesFolder) {
    TTempDir Dir;
    const auto Copy = pvtest::CopyPackage(Dir.Path(), pvtest::PlatformPackages);
    // This program links the data layer, so dbrtl60, vcl60 and rtl60 are
    // shared. (A platform library, once loaded, stays mapped in a process,
    // so one that an earlier test loaded is shared too.)
    std::vector<std::string> NotLoaded;
    for (const std::string& Name : pvtest::PlatformPackages)
        if (MappedFrom(Name).empty()) NotLoaded.push_back(Name);
    pv::HMODULE H = pv::LoadPackage(Copy.string());
    for (const std::string& Name : NotLoaded)
        EXPECT_EQ(pvtest::fs::path(MappedFrom(Name)).parent_path(), Dir.Path()) << Name;
    EXPECT_EQ(pvtest::fs::path(MappedFrom("rtl60.bpl")).parent_path(), pvtest::BuildFolder);
    EXPECT_EQ(pv::GetPackageDescription(H), "Norq Plotvane Runtime Library");
    pv::UnloadPackage(H);
    EXPECT_FALSE(IsMapped(Copy.string()));
}

TEST(PackageLoadTest, MissingFileIsNamed) {
    EXPECT_THROW_MSG_HAS(pv::LoadPackage("/nonexistent/VCL_Norq_Plotvane.bpl"), pv::EPackageError,
                         "Package \"/nonexistent/VCL_Norq_Plotvane.bpl\" not found");
    TTempDir Dir;
    EXPECT_THROW_MSG_HAS(pv::LoadPackage(Dir.Path().string()), pv::EPackageError,
                         "is not a package: it is not a regular file");
}

TEST(PackageLoadTest, FilesThatAreNoPackagesAreRefused) {
    TTempDir Dir;
    pvtest::WriteBytes(Dir / "notes.bpl", {'h', 'e', 'l', 'l', 'o', '\n'});
    EXPECT_THROW_MSG_HAS(pv::LoadPackage((Dir / "notes.bpl").string()), pv::EPackageError,
                         "notes.bpl\" is not a package: it is not an ELF file");
    pvtest::WriteBytes(Dir / "empty.bpl", {});
    EXPECT_THROW_MSG_HAS(pv::LoadPackage((Dir / "empty.bpl").string()), pv::EPackageError,
                         "empty.bpl\" is not a package");
    // A platform library is a shared library, but has no resources.
    EXPECT_THROW_MSG_HAS(pv::LoadPackage((pvtest::BuildFolder / "tee60.bpl").string()), pv::EPackageError,
                         "tee60.bpl\" is not a package: it has no resource directory (section \".pvrsrc\")");
    EXPECT_FALSE(IsMapped((pvtest::BuildFolder / "tee60.bpl").string())) << "refused before it was loaded";
}

TEST(PackageLoadTest, TruncatedCopiesAreReportedDamaged) {
    TTempDir Dir;
    const auto Copy = pvtest::CopyPackage(Dir.Path(), pvtest::PlatformPackages);
    const auto Whole = pvtest::ReadBytes(Copy);
    for (std::size_t Keep : {Whole.size() / 2, Whole.size() - 1, std::size_t{40}}) {
        pvtest::WriteBytes(Copy, {Whole.begin(), Whole.begin() + static_cast<long>(Keep)});
        EXPECT_THROW_MSG_HAS(pv::LoadPackage(Copy.string()), pv::EPackageError, Copy.string(),
                             "is damaged: the file is truncated");
    }
    EXPECT_TRUE(pv::LoadedPackages().empty());
}

// A copy of the package in Dir, with all its required packages, whose
// manifest bytes Patch may change.
template <class F>
pvtest::fs::path PatchedCopy(const TTempDir& Dir, F&& Patch) {
    const auto Copy = pvtest::CopyPackage(Dir.Path(), pvtest::PlatformPackages);
    auto Bytes = pvtest::ReadBytes(Copy);
    const auto Directory = pvtest::ResourceDirectory(pvtest::TTestElf(Bytes));
    const pvtest::TTestResource& Manifest = pvtest::FindTestResource(Directory, pv::RT_RCDATA, "PACKAGEINFO");
    Patch(Bytes, Manifest);
    pvtest::WriteBytes(Copy, Bytes);
    return Copy;
}

TEST(PackageLoadTest, DamagedManifestsAreReportedWithTheFault) {
    {
        TTempDir Dir;
        const auto Copy = PatchedCopy(Dir, [](auto& B, const auto& M) { pvtest::PutU32(B, M.DataAt + 4, 0xFFFFFFFF); });
        EXPECT_THROW_MSG_HAS(pv::LoadPackage(Copy.string()), pv::EPackageError, Copy.string(),
                             "has a damaged manifest PACKAGEINFO: required package count 4294967295 "
                             "cannot fit in the");
    }
    {
        // The manifest cut short: its directory entry says 30 bytes.
        TTempDir Dir;
        const auto Copy = PatchedCopy(Dir, [](auto& B, const auto& M) { pvtest::PutU32(B, M.EntryAt + 16, 30); });
        EXPECT_THROW_MSG_HAS(
            pv::LoadPackage(Copy.string()), pv::EPackageError,
            "has a damaged manifest PACKAGEINFO: required package 2 of 8 name has no terminating zero byte", "of 30)");
    }
    {
        // The first required package's hash no longer fits its name.
        TTempDir Dir;
        const auto Copy = PatchedCopy(Dir, [](auto& B, const auto& M) { B[M.DataAt + 8] ^= 0x5A; });
        EXPECT_THROW_MSG_HAS(pv::LoadPackage(Copy.string()), pv::EPackageError,
                             "required package 1 of 8 \"GifImage60.bpl\" carries name hash");
    }
    {
        // A unit count beyond the bytes.
        TTempDir Dir;
        const auto Copy = PatchedCopy(Dir, [](auto& B, const auto& M) {
            std::size_t At = M.DataAt + 8;
            for (int I = 0; I < 8; ++I) {
                ++At;                    // hash
                while (B[At] != 0) ++At;  // name
                ++At;
            }
            pvtest::PutU32(B, At, 1000);
        });
        EXPECT_THROW_MSG_HAS(pv::LoadPackage(Copy.string()), pv::EPackageError, "contained unit count 1000 cannot fit");
    }
    {
        // Design-only packages are for a development environment.
        TTempDir Dir;
        const auto Copy = PatchedCopy(Dir, [](auto& B, const auto& M) { pvtest::PutU32(B, M.DataAt, 0x4C000003); });
        EXPECT_THROW_MSG_HAS(pv::LoadPackage(Copy.string()), pv::EPackageError, "is a design-only package");
    }
    {
        // No manifest at all: its name in the directory changed.
        TTempDir Dir;
        const auto Copy = PatchedCopy(Dir, [](auto& B, const auto& M) {
            const std::string Name = "PACKAGEINFO";
            auto It = std::search(B.begin(), B.end(), Name.begin(), Name.end());
            ASSERT_NE(It, B.end());
            It[10] = 'X';
            (void)M;
        });
        EXPECT_THROW_MSG_HAS(pv::LoadPackage(Copy.string()), pv::EPackageError,
                             "is not a package: its resource directory has no manifest");
    }
    EXPECT_TRUE(pv::LoadedPackages().empty());
}

TEST(PackageLoadTest, MissingRequiredPackagesAreNamed) {
    // A platform library, once loaded, stays mapped in a process; the first
    // required package this process does not have is the one reported.
    std::vector<std::string> NotLoaded;
    for (const std::string& Name : pvtest::PlatformPackages)
        if (MappedFrom(Name).empty()) NotLoaded.push_back(Name);
    if (NotLoaded.size() < 2) GTEST_SKIP() << "the required packages are loaded already; run this test on its own";
    const auto ModulesBefore = pv::RegisteredModules();
    {
        TTempDir Dir;
        const auto Copy = pvtest::CopyPackage(Dir.Path());
        EXPECT_THROW_MSG_HAS(pv::LoadPackage(Copy.string()), pv::EPackageError, Copy.string(),
                             "requires the package \"" + NotLoaded[0] + "\", which is neither loaded nor in \"" +
                                 Dir.Path().string() + "\"");
        EXPECT_FALSE(IsMapped(Copy.string()));
    }
    {
        // All but the last missing one: the check comes before anything is
        // loaded.
        TTempDir Dir;
        std::vector<std::string> AllButOne = pvtest::PlatformPackages;
        std::erase(AllButOne, NotLoaded.back());
        const auto Copy = pvtest::CopyPackage(Dir.Path(), AllButOne);
        EXPECT_THROW_MSG_HAS(pv::LoadPackage(Copy.string()), pv::EPackageError,
                             "requires the package \"" + NotLoaded.back() + "\"");
        EXPECT_TRUE(MappedFrom(NotLoaded[0]).empty()) << "nothing was loaded";
    }
    {
        // Present, but no library: the message names both files.
        TTempDir Dir;
        const auto Copy = pvtest::CopyPackage(Dir.Path(), pvtest::PlatformPackages);
        pvtest::fs::remove(Dir / NotLoaded[0]);
        pvtest::WriteBytes(Dir / NotLoaded[0], {'#', '!'});
        EXPECT_THROW_MSG_HAS(pv::LoadPackage(Copy.string()), pv::EPackageError,
                             Copy.string() + "\" requires the package \"" + NotLoaded[0] + "\", which cannot be used: ",
                             (Dir / NotLoaded[0]).string() + "\" is not a package: it is not an ELF file");
    }
    EXPECT_EQ(pv::RegisteredModules(), ModulesBefore);
    EXPECT_TRUE(pv::LoadedPackages().empty());
}

}  // namespace
