// A host program linked against VCL_Norq_Plotvane.bpl: it uses the
// component's classes through the package's exports and renders a chart.

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "component/Norq_Plotvane.h"
#include "package/VCL_Norq_Plotvane.h"
#include "platform/db/DataSource.h"
#include "platform/db/MemDataSet.h"
#include "platform/rtl/LibModule.h"
#include "platform/rtl/PackageLoader.h"

namespace {

using Norq_Plotvane::TNorq_DBPlotvane;

const void* AddressOf(void (*Fn)(VCL_Norq_Plotvane::TEntryReason)) {
    const void* P = nullptr;
    std::memcpy(&P, &Fn, sizeof P);
    return P;
}

// The package's load address.
const void* PackageBase() { return pv::ModuleBaseOf(AddressOf(&VCL_Norq_Plotvane::LibraryEntry)); }

TEST(PackageHostTest, ThePackageRegisteredItsModuleAtStartUp) {
    const pv::TLibModule* Module = pv::FindModule(AddressOf(&VCL_Norq_Plotvane::LibraryEntry));
    ASSERT_NE(Module, nullptr);
    EXPECT_STREQ(Module->Name, "VCL_Norq_Plotvane");
    EXPECT_EQ(Module->Instance, PackageBase());
    EXPECT_NE(PackageBase(), pv::ModuleBaseOf(reinterpret_cast<const void*>(&PackageBase)))
        << "the package is a module of its own, not part of this program";
}

TEST(PackageHostTest, CreatesAChartThroughThePackageAndRendersIt) {
    auto Host = std::make_unique<pv::TComponent>(nullptr);
    auto* Data = new pv::TMemDataSet(Host.get());
    Data->AddField("month", pv::TFieldType::ftString);
    Data->AddField("revenue", pv::TFieldType::ftFloat);
    Data->AppendRecord({std::string("Jan"), 12.0});
    Data->AppendRecord({std::string("Feb"), -5.0});
    Data->AppendRecord({std::string("Mar"), 7.5});
    auto* Source = new pv::TDataSource(Host.get());
    Source->SetDataSet(Data);

    auto* Chart = new TNorq_DBPlotvane(Host.get());
    // The object's class record is the package's, not a copy in this program.
    const void* VTable = nullptr;
    std::memcpy(&VTable, static_cast<const void*>(Chart), sizeof VTable);
    EXPECT_EQ(pv::ModuleBaseOf(VTable), PackageBase());
    EXPECT_EQ(pv::ModuleBaseOf(&typeid(*Chart)), PackageBase());

    Chart->SetWidth(320);
    Chart->SetHeight(200);
    Chart->SetXLabelsSource("month");
    Chart->SetYValueSource("revenue");
    Chart->SetDataSource(Source);
    Data->Open();
    EXPECT_EQ(Chart->GetChartSeries()->Count(), 3);
    EXPECT_EQ(Source->GetLinkCount(), 1) << "the chart's TNorq_DBPlotvaneDataLink";

    const pv::TBitmap* Picture = Chart->GetBMPPicture();
    ASSERT_NE(Picture, nullptr);
    ASSERT_EQ(Picture->GetWidth(), 320);
    ASSERT_EQ(Picture->GetHeight(), 200);
    int NonWhite = 0;
    for (std::uint32_t P : Picture->PixelSpan()) NonWhite += (P & 0xFFFFFF) != 0xFFFFFF;
    EXPECT_GT(NonWhite, 320 * 200 / 50) << "the chart drew something";
    EXPECT_FALSE(Chart->GetGIFPicture()->GetEmpty());
    Host.reset();
    EXPECT_EQ(pv::TComponent::InstanceCount(), 0);
}

TEST(PackageHostTest, LoadPackageInitializesTheLinkedPackageOnce) {
    const pv::TLibModule* Module = pv::FindModule(AddressOf(&VCL_Norq_Plotvane::LibraryEntry));
    ASSERT_NE(Module, nullptr);
    EXPECT_EQ(Module->InitCount, 0) << "a linked package's units wait for the host";
    pv::HMODULE H = pv::LoadPackage(PLOTVANE_PACKAGE_FILE);
    void* Same = dlopen(PLOTVANE_PACKAGE_FILE, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(H, Same) << "the library already mapped, not a second copy";
    dlclose(Same);
    EXPECT_EQ(Module->InitCount, 3);
    EXPECT_EQ(pv::GetPackageInfo(H).Requires.size(), 8u);
    pv::UnloadPackage(H);
    EXPECT_EQ(Module->InitCount, 0);
    EXPECT_EQ(pv::FindModule(AddressOf(&VCL_Norq_Plotvane::LibraryEntry)), Module)
        << "linked, the package stays mapped and registered";
}

}  // namespace
