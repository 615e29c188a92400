#pragma once
// The package manifest: the resource RT_RCDATA "PACKAGEINFO" of a package,
// which tells a host what kind of package it is, which packages it needs
// and which units it contains, before any of its code runs.
//
// Layout, integers little-endian:
//
//   4 bytes   flags (pf* below)
//   4 bytes   number of required packages R
//   R times   name hash (1 byte), file name as zero-terminated 8-bit text
//   4 bytes   number of contained units U
//   U times   unit flags (1 byte, uf* below), name hash (1 byte),
//             unit name as zero-terminated 8-bit text
//   1 byte    name hash of the package's own name
//   ...       the package's own name, zero-terminated 8-bit text
//
// Nothing follows the package's own name. Required packages are listed in
// the order the package's build named them; units in the order the package
// contains them.
//
// The name hash is this platform's one-byte check of a name: FNV-1a (32
// bits) over the name's bytes with ASCII letters taken in upper case, folded
// to one byte by XOR of its four bytes. Names compare ignoring ASCII letter
// case, so the hash does too; the same name always carries the same hash,
// whether it is a unit, a package or a file name.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/ByteBuffer.h"

namespace pv {

// Package flags.
inline constexpr std::uint32_t pfNeverBuild = 0x00000001;   // never rebuilt implicitly
inline constexpr std::uint32_t pfDesignOnly = 0x00000002;   // for a development environment only
inline constexpr std::uint32_t pfRunOnly = 0x00000004;      // for programs only, not a designer
inline constexpr std::uint32_t pfIgnoreDupUnits = 0x00000008;
// Bits 26 and 27: the producer code; 3 marks a package built by this
// platform's build.
inline constexpr std::uint32_t pfProducerMask = 0x0C000000;
inline constexpr int pfProducerShift = 26;
inline constexpr std::uint32_t pfProducerPlatform = 3;
// Bits 30 and 31: the module kind.
inline constexpr std::uint32_t pfModuleKindMask = 0xC0000000;
inline constexpr std::uint32_t pfProgramModule = 0x00000000;
inline constexpr std::uint32_t pfPackageModule = 0x40000000;
inline constexpr std::uint32_t pfLibraryModule = 0x80000000;

// Unit flags.
inline constexpr std::uint8_t ufMainUnit = 0x01;     // the unit the package is built from
inline constexpr std::uint8_t ufPackageUnit = 0x02;  // the package unit itself
inline constexpr std::uint8_t ufWeakUnit = 0x04;
inline constexpr std::uint8_t ufOrgWeakUnit = 0x08;
inline constexpr std::uint8_t ufImplicitUnit = 0x10;  // pulled in without being named

// The one-byte name hash described above.
constexpr std::uint8_t PackageNameHash(std::string_view Name) {
    std::uint32_t H = 2166136261u;
    for (char C : Name) {
        const auto B = static_cast<std::uint8_t>(C >= 'a' && C <= 'z' ? C - 'a' + 'A' : C);
        H = (H ^ B) * 16777619u;
    }
    return static_cast<std::uint8_t>(H ^ (H >> 8) ^ (H >> 16) ^ (H >> 24));
}

// A contained unit as the package's build names it.
struct TPackageUnitDesc {
    std::string_view Name;
    std::uint8_t Flags;
};

// Writes a manifest in the layout above.
constexpr std::vector<std::uint8_t> EncodePackageInfo(std::uint32_t Flags, std::span<const std::string_view> Requires,
                                                      std::span<const TPackageUnitDesc> Contains,
                                                      std::string_view PackageName) {
    TByteWriter W;
    W.U32(Flags);
    W.U32(static_cast<std::uint32_t>(Requires.size()));
    for (std::string_view R : Requires) {
        W.U8(PackageNameHash(R));
        W.CString(R);
    }
    W.U32(static_cast<std::uint32_t>(Contains.size()));
    for (const TPackageUnitDesc& U : Contains) {
        W.U8(U.Flags);
        W.U8(PackageNameHash(U.Name));
        W.CString(U.Name);
    }
    W.U8(PackageNameHash(PackageName));
    W.CString(PackageName);
    return W.Take();
}

// A manifest as read from a package.
struct TPackageInfo {
    struct TUnit {
        std::string Name;
        std::uint8_t Flags = 0;
    };
    std::uint32_t Flags = 0;
    std::vector<std::string> Requires;
    std::vector<TUnit> Contains;
    std::string PackageName;

    bool IsRunOnly() const { return (Flags & pfRunOnly) != 0; }
    bool IsDesignOnly() const { return (Flags & pfDesignOnly) != 0; }
    std::uint32_t ModuleKind() const { return Flags & pfModuleKindMask; }
    std::uint32_t Producer() const { return (Flags & pfProducerMask) >> pfProducerShift; }
    // "run-only", "design-only", "design and run-time" (neither flag) or
    // "invalid (design-only and run-only)".
    std::string KindText() const;
};

// The unit flags as words: "main unit, package unit", or "none".
std::string UnitFlagsText(std::uint8_t Flags);

// Reads a manifest. Every count is checked against the bytes left, every
// name against its terminator and its hash, and nothing may follow the
// package's own name; a fault raises EPackageError naming Context, the
// field and the byte position.
TPackageInfo DecodePackageInfo(std::span<const std::uint8_t> Bytes, const std::string& Context);

}  // namespace pv
