#pragma once
// The resources of the package VCL_Norq_Plotvane, built while the package
// is compiled (docs/library.md tells what each is for):
//
//   RT_RCDATA     "DESCRIPTION"       neutral  the description, UTF-16LE
//   RT_RCDATA     "PACKAGEINFO"       neutral  the manifest
//   RT_RCDATA     "PACKAGEOPTIONS"    neutral  the build settings
//   RT_BITMAP     "TNORQ_DBPLOTVANE"  $0407    the palette glyph
//   RT_GROUP_ICON "MAINICON"          $0407    one icon: #1
//   RT_ICON       #1                  $0407    32 x 32, 16 colours, masked
//   RT_VERSION    #1                  $0407    the project version, as 1.0.0.0

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "PlotvaneVersion.h"
#include "package/PackageGlyph.h"
#include "platform/rtl/PackageInfo.h"
#include "platform/rtl/ResourceImage.h"
#include "platform/rtl/VersionInfo.h"

namespace VCL_Norq_Plotvane {

inline constexpr std::string_view PackageName = "VCL_Norq_Plotvane";
inline constexpr std::string_view Description = "Norq Plotvane Runtime Library";
// German (Germany); the version block's string table is in code page 1252.
inline constexpr std::uint16_t ResourceLanguage = 0x0407;
inline constexpr std::uint16_t VersionCodePage = 0x04E4;

// Run-only, never built implicitly, made by this platform, a package.
inline constexpr std::uint32_t PackageFlags =
    pv::pfNeverBuild | pv::pfRunOnly | (pv::pfProducerPlatform << pv::pfProducerShift) | pv::pfPackageModule;

// The packages the package links against, in the order its build names them.
inline constexpr std::array<std::string_view, 8> RequiredPackages{
    "GifImage60.bpl", "tee60.bpl", "teedb60.bpl", "inet60.bpl",
    "dbrtl60.bpl",    "vcljpg60.bpl", "vcl60.bpl", "rtl60.bpl",
};

inline constexpr std::array<pv::TPackageUnitDesc, 3> ContainedUnits{{
    {"VCL_Norq_Plotvane", pv::ufMainUnit | pv::ufPackageUnit},
    {"Norq_Plotvane", 0},
    {"SysInit", 0},
}};

constexpr std::vector<std::uint8_t> BuildDescription() {
    pv::TByteWriter W;
    W.Utf16z(Description);
    return W.Take();
}

constexpr std::vector<std::uint8_t> BuildPackageInfo() {
    return pv::EncodePackageInfo(PackageFlags, RequiredPackages, ContainedUnits, PackageName);
}

// Option bytes (count, then: format 1, run-only, design-only, implicit
// build), the unit-alias list (none), and the description.
constexpr std::vector<std::uint8_t> BuildPackageOptions() {
    pv::TByteWriter W;
    const std::array<std::uint8_t, 4> Options{1, 1, 0, 0};
    W.U8(Options.size());
    W.Bytes(Options);
    constexpr std::string_view UnitAliases = "";
    W.U16(static_cast<std::uint16_t>(UnitAliases.size()));
    for (char C : UnitAliases) W.U8(static_cast<std::uint8_t>(C));
    W.U8(static_cast<std::uint8_t>(Description.size()));
    for (char C : Description) W.U8(static_cast<std::uint8_t>(C));
    return W.Take();
}

constexpr std::vector<std::uint8_t> BuildGlyph() { return EncodeDib4(DrawPaletteGlyph(), false); }

constexpr std::vector<std::uint8_t> BuildIcon() { return EncodeDib4(DrawPackageIcon(), true); }

// The icon directory: one 32 x 32 icon of 16 colours, resource #1.
constexpr std::vector<std::uint8_t> BuildIconGroup() {
    pv::TByteWriter W;
    W.U16(0);  // reserved
    W.U16(1);  // icons, not cursors
    W.U16(1);  // one entry
    W.U8(32);
    W.U8(32);
    W.U8(16);  // colours
    W.U8(0);
    W.U16(1);  // planes
    W.U16(4);  // bits a pixel
    W.U32(static_cast<std::uint32_t>(BuildIcon().size()));
    W.U16(1);  // the RT_ICON resource's number
    return W.Take();
}

constexpr std::vector<std::uint8_t> BuildVersion() {
    pv::TFixedFileInfo Fixed;
    // The project's version as major.minor.patch.0.
    Fixed.FileVersionMS = (PLOTVANE_VERSION_MAJOR << 16) | PLOTVANE_VERSION_MINOR;
    Fixed.FileVersionLS = PLOTVANE_VERSION_PATCH << 16;
    Fixed.ProductVersionMS = Fixed.FileVersionMS;
    Fixed.ProductVersionLS = Fixed.FileVersionLS;
    Fixed.FileFlagsMask = 0x3F;
    Fixed.FileFlags = 0;
    Fixed.FileOS = pv::VOS__WINDOWS32;
    // Marked an application, as the host's package builds mark packages.
    Fixed.FileType = pv::VFT_APP;
    Fixed.FileSubtype = 0;
    const std::array<pv::TVersionString, 10> Strings{{
        {"CompanyName", ""},
        {"FileDescription", ""},
        {"FileVersion", PLOTVANE_VERSION_STRING ".0"},
        {"InternalName", ""},
        {"LegalCopyright", ""},
        {"LegalTrademarks", ""},
        {"OriginalFilename", ""},
        {"ProductName", ""},
        {"ProductVersion", PLOTVANE_VERSION_STRING ".0"},
        {"Comments", ""},
    }};
    return pv::EncodeVersionInfo(Fixed, "040704E4", Strings, ResourceLanguage, VersionCodePage);
}

constexpr std::vector<std::uint8_t> BuildResourceImage() {
    pv::TResourceImageBuilder B;
    B.Add(pv::RT_RCDATA, "DESCRIPTION", pv::LANG_NEUTRAL, BuildDescription());
    B.Add(pv::RT_RCDATA, "PACKAGEINFO", pv::LANG_NEUTRAL, BuildPackageInfo());
    B.Add(pv::RT_RCDATA, "PACKAGEOPTIONS", pv::LANG_NEUTRAL, BuildPackageOptions());
    B.Add(pv::RT_BITMAP, "TNORQ_DBPLOTVANE", ResourceLanguage, BuildGlyph());
    B.Add(pv::RT_GROUP_ICON, "MAINICON", ResourceLanguage, BuildIconGroup());
    B.Add(pv::RT_ICON, 1, ResourceLanguage, BuildIcon());
    B.Add(pv::RT_VERSION, 1, ResourceLanguage, BuildVersion());
    return B.Build();
}

}  // namespace VCL_Norq_Plotvane
