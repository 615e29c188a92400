#include "platform/rtl/PackageInfo.h"

#include <cstdio>

#include "platform/rtl/Exception.h"

namespace pv {

namespace {

std::string Hex2(std::uint8_t V) {
    char Buf[8];
    std::snprintf(Buf, sizeof Buf, "$%02X", V);
    return Buf;
}

// Reads a hash byte and a name and checks the one against the other.
std::string ReadHashedName(TByteReader& R, const std::string& What) {
    const std::size_t HashAt = R.Position();
    const std::uint8_t Hash = R.U8(What + " name hash");
    const std::size_t NameAt = R.Position();
    std::string Name = R.CString(What + " name");
    if (Name.empty()) R.FailAt(NameAt, What + " has an empty name");
    if (Hash != PackageNameHash(Name))
        R.FailAt(HashAt, What + " \"" + Name + "\" carries name hash " + Hex2(Hash) + ", its name hashes to " +
                             Hex2(PackageNameHash(Name)));
    return Name;
}

// A count, checked against the bytes left: each item takes at least
// MinItemSize bytes.
std::uint32_t ReadCount(TByteReader& R, const std::string& What, std::size_t MinItemSize) {
    const std::size_t At = R.Position();
    const std::uint32_t Count = R.U32(What);
    if (Count > R.Remaining() / MinItemSize)
        R.FailAt(At, What + " " + std::to_string(Count) + " cannot fit in the " + std::to_string(R.Remaining()) +
                         " bytes that follow");
    return Count;
}

}  // namespace

std::string TPackageInfo::KindText() const {
    if (IsRunOnly() && IsDesignOnly()) return "invalid (design-only and run-only)";
    if (IsRunOnly()) return "run-only";
    if (IsDesignOnly()) return "design-only";
    return "design and run-time";
}

std::string UnitFlagsText(std::uint8_t Flags) {
    static constexpr struct {
        std::uint8_t Bit;
        const char* Text;
    } Names[] = {{ufMainUnit, "main unit"},  {ufPackageUnit, "package unit"},    {ufWeakUnit, "weak unit"},
                 {ufOrgWeakUnit, "original weak unit"}, {ufImplicitUnit, "implicit unit"}};
    std::string Out;
    std::uint8_t Known = 0;
    for (const auto& N : Names) {
        Known |= N.Bit;
        if (Flags & N.Bit) Out += (Out.empty() ? "" : ", ") + std::string(N.Text);
    }
    if (Flags & ~Known) Out += (Out.empty() ? "" : ", ") + std::string("unknown bits ") + Hex2(Flags & ~Known);
    return Out.empty() ? "none" : Out;
}

TPackageInfo DecodePackageInfo(std::span<const std::uint8_t> Bytes, const std::string& Context) {
    TByteReader R(Bytes, Context);
    TPackageInfo Info;
    Info.Flags = R.U32("flags");
    const std::uint32_t RequireCount = ReadCount(R, "required package count", 2);
    for (std::uint32_t K = 0; K < RequireCount; ++K) {
        const std::size_t At = R.Position();
        std::string Name = ReadHashedName(R, "required package " + std::to_string(K + 1) + " of " +
                                                 std::to_string(RequireCount));
        if (Name.find('/') != std::string::npos || Name == "." || Name == "..")
            R.FailAt(At, "required package \"" + Name + "\" is not a plain file name");
        Info.Requires.push_back(std::move(Name));
    }
    const std::uint32_t UnitCount = ReadCount(R, "contained unit count", 3);
    for (std::uint32_t K = 0; K < UnitCount; ++K) {
        TPackageInfo::TUnit U;
        const std::string What = "contained unit " + std::to_string(K + 1) + " of " + std::to_string(UnitCount);
        U.Flags = R.U8(What + " flags");
        U.Name = ReadHashedName(R, What);
        Info.Contains.push_back(std::move(U));
    }
    Info.PackageName = ReadHashedName(R, "package");
    if (!R.AtEnd()) R.Fail(std::to_string(R.Remaining()) + " unexpected bytes after the package name");
    return Info;
}

}  // namespace pv
