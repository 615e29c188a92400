// The host's unit initialization and module list, with unit tables built
// here: order, rollback on a failing unit, finalization that goes on past a
// failure, and the module records.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/rtl/Exception.h"
#include "platform/rtl/LibModule.h"
#include "platform/rtl/PackageLoader.h"
#include "tests/support/ThrowMessage.h"

namespace {

std::vector<std::string> Trace;
int FailInit = -1;  // the unit whose initialization raises, or -1
int FailFin = -1;   // the unit whose finalization raises, or -1

template <int N>
void Init() {
    if (N == FailInit) throw pv::EConvertError("unit " + std::to_string(N) + " cannot start");
    Trace.push_back("init " + std::to_string(N));
}
template <int N>
void Fin() {
    Trace.push_back("fin " + std::to_string(N));
    if (N == FailFin) throw pv::EConvertError("unit " + std::to_string(N) + " cannot stop");
}

// Four units; the second has no routines, as a unit without
// initialization and finalization sections.
constexpr pv::TPackageUnitEntry Units[] = {
    {&Init<0>, &Fin<0>}, {nullptr, nullptr}, {&Init<2>, &Fin<2>}, {&Init<3>, &Fin<3>}};
constexpr pv::TPackageUnitTable Table{4, Units};

class PackageLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        Trace.clear();
        FailInit = FailFin = -1;
        Module.Name = "TestModule";
    }
    pv::TLibModule Module;
};

TEST_F(PackageLoaderTest, InitializesInTableOrderAndFinalizesInReverse) {
    pv::PackageLoad(&Table, &Module);
    EXPECT_EQ(Trace, (std::vector<std::string>{"init 0", "init 2", "init 3"}));
    EXPECT_EQ(Module.InitCount, 4);
    pv::PackageUnload(&Table, &Module);
    EXPECT_EQ(Trace, (std::vector<std::string>{"init 0", "init 2", "init 3", "fin 3", "fin 2", "fin 0"}));
    EXPECT_EQ(Module.InitCount, 0);
    // Unloading again finalizes nothing twice.
    pv::PackageUnload(&Table, &Module);
    EXPECT_EQ(Trace.size(), 6u);
}

TEST_F(PackageLoaderTest, AFailingUnitUndoesTheOnesBeforeIt) {
    FailInit = 3;
    EXPECT_THROW_MSG(pv::PackageLoad(&Table, &Module), pv::EConvertError, "unit 3 cannot start")
        << "the failure passes unchanged";
    EXPECT_EQ(Trace, (std::vector<std::string>{"init 0", "init 2", "fin 2", "fin 0"}));
    EXPECT_EQ(Module.InitCount, 0);
    // The module can be initialized again once the fault is gone.
    FailInit = -1;
    Trace.clear();
    pv::PackageLoad(&Table, &Module);
    EXPECT_EQ(Module.InitCount, 4);
}

TEST_F(PackageLoaderTest, FinalizationGoesOnPastAFailureAndRaisesItAfterwards) {
    pv::PackageLoad(&Table, &Module);
    Trace.clear();
    FailFin = 2;
    EXPECT_THROW_MSG(pv::PackageUnload(&Table, &Module), pv::EConvertError, "unit 2 cannot stop");
    EXPECT_EQ(Trace, (std::vector<std::string>{"fin 3", "fin 2", "fin 0"}));
    EXPECT_EQ(Module.InitCount, 0);
}

TEST_F(PackageLoaderTest, RefusesBadTablesAndASecondInitialization) {
    pv::PackageLoad(&Table, &Module);
    EXPECT_THROW_MSG(pv::PackageLoad(&Table, &Module), pv::EPackageError,
                     "PackageLoad: Module \"TestModule\" has its units initialized already (4 of 4)");
    pv::PackageUnload(&Table, &Module);
    const pv::TPackageUnitTable Negative{-1, Units};
    const pv::TPackageUnitTable NoEntries{2, nullptr};
    EXPECT_THROW(pv::PackageLoad(&Negative, &Module), pv::EPackageError);
    EXPECT_THROW(pv::PackageLoad(&NoEntries, &Module), pv::EPackageError);
    EXPECT_THROW(pv::PackageLoad(nullptr, &Module), pv::EPackageError);
    EXPECT_THROW(pv::PackageLoad(&Table, nullptr), pv::EPackageError);
    EXPECT_TRUE(Trace.size() == 6u);
}

TEST_F(PackageLoaderTest, UnitEventsNameEveryRoutineBeforeItRuns) {
    std::vector<std::pair<int, pv::TUnitPhase>> Seen;
    std::vector<std::size_t> TraceLengths;
    auto Previous = pv::SetUnitEventHandler([&](const pv::TUnitEvent& E) {
        EXPECT_EQ(E.Module, &Module);
        EXPECT_NE(E.Routine, nullptr);
        Seen.emplace_back(E.Index, E.Phase);
        TraceLengths.push_back(Trace.size());
    });
    EXPECT_FALSE(Previous);
    pv::PackageLoad(&Table, &Module);
    pv::PackageUnload(&Table, &Module);
    pv::SetUnitEventHandler({});
    using P = pv::TUnitPhase;
    EXPECT_EQ(Seen, (std::vector<std::pair<int, P>>{{0, P::upInitialization},
                                                     {2, P::upInitialization},
                                                     {3, P::upInitialization},
                                                     {3, P::upFinalization},
                                                     {2, P::upFinalization},
                                                     {0, P::upFinalization}}));
    // Each event came before its routine added to the trace.
    EXPECT_EQ(TraceLengths, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
}

TEST_F(PackageLoaderTest, ModuleRecordsAreFoundByAnyAddressInTheirModule) {
    // This test program is a module of its own: its record is found from
    // any of its functions.
    Module.Instance = pv::ModuleBaseOf(reinterpret_cast<const void*>(&Init<0>));
    ASSERT_NE(Module.Instance, nullptr);
    const auto Before = pv::RegisteredModules();
    pv::RegisterModule(&Module);
    pv::RegisterModule(&Module);
    EXPECT_EQ(pv::RegisteredModules().size(), Before.size() + 1) << "registered once";
    EXPECT_EQ(pv::RegisteredModules().front(), &Module);
    EXPECT_EQ(pv::FindModule(reinterpret_cast<const void*>(&Fin<3>)), &Module);
    EXPECT_EQ(pv::FindModule(&Trace), &Module);
    EXPECT_EQ(pv::FindModule(nullptr), nullptr);
    pv::UnregisterModule(&Module);
    pv::UnregisterModule(&Module);
    EXPECT_EQ(pv::RegisteredModules(), Before);
    EXPECT_EQ(pv::FindModule(reinterpret_cast<const void*>(&Init<0>)), nullptr);
}

TEST(PackageExportNameTest, MapsEveryByteOutsideIdentifiersToHex) {
    EXPECT_EQ(pv::ElfExportName("Initialize"), "Initialize");
    EXPECT_EQ(pv::ElfExportName("@GetPackageInfoTable"), "_40GetPackageInfoTable");
    EXPECT_EQ(pv::ElfExportName("@GetResourceImage"), "_40GetResourceImage");
    EXPECT_EQ(pv::ElfExportName("a.b$c_d"), "a_2eb_24c_d");
    EXPECT_EQ(pv::ElfExportName("\xC3\xA4"), "_c3_a4");
}

}  // namespace
