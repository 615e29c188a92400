#pragma once
// The version block of a module: the resource RT_VERSION #1, in the version
// resource format the host's tools read (UTF-16LE text).
//
// Every node of the block is
//   2 bytes  length of the node with its children, without padding after it
//   2 bytes  length of the value: in bytes for binary values (type 0), in
//            UTF-16 units including the terminator for text (type 1)
//   2 bytes  type: 0 binary, 1 text
//   key      zero-terminated UTF-16LE, then padding to a 4-byte boundary
//   value    then padding to a 4-byte boundary
//   children each starting on a 4-byte boundary
// counted from the start of the block. The root "VS_VERSION_INFO" holds the
// fixed part (TFixedFileInfo, 52 bytes) as its value, and two children:
// "StringFileInfo" with one string table per language and code page (key
// such as "040704E4", children key = value text), and "VarFileInfo" with
// "Translation", a binary list of (language, code page) pairs.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/rtl/ByteBuffer.h"

namespace pv {

inline constexpr std::uint32_t VS_FFI_SIGNATURE = 0xFEEF04BD;
inline constexpr std::uint32_t VS_FFI_STRUCVERSION = 0x00010000;
inline constexpr std::uint32_t VOS__WINDOWS32 = 4;  // the operating-system code of 32-bit Windows hosts
inline constexpr std::uint32_t VFT_APP = 1;
inline constexpr std::uint32_t VFT_DLL = 2;

// The fixed part of a version block, field by field as stored.
struct TFixedFileInfo {
    std::uint32_t Signature = VS_FFI_SIGNATURE;
    std::uint32_t StrucVersion = VS_FFI_STRUCVERSION;
    std::uint32_t FileVersionMS = 0;  // major << 16 | minor
    std::uint32_t FileVersionLS = 0;  // release << 16 | build
    std::uint32_t ProductVersionMS = 0;
    std::uint32_t ProductVersionLS = 0;
    std::uint32_t FileFlagsMask = 0;
    std::uint32_t FileFlags = 0;
    std::uint32_t FileOS = 0;
    std::uint32_t FileType = 0;
    std::uint32_t FileSubtype = 0;
    std::uint32_t FileDateMS = 0;
    std::uint32_t FileDateLS = 0;
};
inline constexpr std::size_t FixedFileInfoSize = 52;

// "1.0.0.0" from the two halves of a version.
std::string VersionText(std::uint32_t MS, std::uint32_t LS);

// One entry of a string table.
struct TVersionString {
    std::string_view Key;
    std::string_view Value;
};

namespace version_detail {

constexpr std::size_t BeginNode(TByteWriter& W, std::string_view Key, std::uint16_t ValueLength, std::uint16_t Type) {
    W.Align(4);
    const std::size_t Start = W.Size();
    W.U16(0);  // patched by EndNode
    W.U16(ValueLength);
    W.U16(Type);
    W.Utf16z(Key);
    W.Align(4);
    return Start;
}

constexpr void EndNode(TByteWriter& W, std::size_t Start) {
    W.Patch16(Start, static_cast<std::uint16_t>(W.Size() - Start));
}

}  // namespace version_detail

// Writes a version block with one string table (TableKey, e.g.
// "040704E4") holding Strings in their order, and one translation.
constexpr std::vector<std::uint8_t> EncodeVersionInfo(const TFixedFileInfo& Fixed, std::string_view TableKey,
                                                      std::span<const TVersionString> Strings,
                                                      std::uint16_t Language, std::uint16_t CodePage) {
    using namespace version_detail;
    TByteWriter W;
    const std::size_t Root = BeginNode(W, "VS_VERSION_INFO", FixedFileInfoSize, 0);
    for (std::uint32_t V : {Fixed.Signature, Fixed.StrucVersion, Fixed.FileVersionMS, Fixed.FileVersionLS,
                            Fixed.ProductVersionMS, Fixed.ProductVersionLS, Fixed.FileFlagsMask, Fixed.FileFlags,
                            Fixed.FileOS, Fixed.FileType, Fixed.FileSubtype, Fixed.FileDateMS, Fixed.FileDateLS})
        W.U32(V);
    const std::size_t StringInfo = BeginNode(W, "StringFileInfo", 0, 1);
    const std::size_t Table = BeginNode(W, TableKey, 0, 1);
    for (const TVersionString& S : Strings) {
        const auto Units = static_cast<std::uint16_t>(TByteWriter::Utf16Units(S.Value).size() + 1);
        const std::size_t Node = BeginNode(W, S.Key, Units, 1);
        W.Utf16z(S.Value);
        EndNode(W, Node);
    }
    EndNode(W, Table);
    EndNode(W, StringInfo);
    const std::size_t VarInfo = BeginNode(W, "VarFileInfo", 0, 1);
    const std::size_t Translation = BeginNode(W, "Translation", 4, 0);
    W.U16(Language);
    W.U16(CodePage);
    EndNode(W, Translation);
    EndNode(W, VarInfo);
    EndNode(W, Root);
    W.Align(4);
    return W.Take();
}

// A version block as read from a module.
struct TVersionInfo {
    struct TStringTable {
        std::string Key;  // language and code page in hex, e.g. "040704E4"
        std::vector<std::pair<std::string, std::string>> Strings;  // in stored order
    };
    struct TTranslation {
        std::uint16_t Language = 0;
        std::uint16_t CodePage = 0;
    };
    TFixedFileInfo Fixed;
    std::vector<TStringTable> StringTables;
    std::vector<TTranslation> Translations;

    std::string FileVersion() const { return VersionText(Fixed.FileVersionMS, Fixed.FileVersionLS); }
    std::string ProductVersion() const { return VersionText(Fixed.ProductVersionMS, Fixed.ProductVersionLS); }
    // The value of Key in the first string table that has it, or nullptr.
    const std::string* FindString(std::string_view Key) const;
};

// Reads a version block. Node lengths are checked against their parents,
// keys against their terminators and the fixed part against its signature;
// a fault raises EPackageError naming Context, the node and the position.
TVersionInfo DecodeVersionInfo(std::span<const std::uint8_t> Bytes, const std::string& Context);

}  // namespace pv
