#pragma once
// Resources of a module: typed, named (or numbered), per-language blocks of
// bytes, such as a package's manifest, its description, bitmaps, icons and
// its version block.
//
// ELF has no resource section, so a module keeps its resources in one
// position-independent block of bytes, the resource image, placed in its own
// section (ResourceSectionName) and handed out by the exported accessor
// "@GetResourceImage" (see ElfExportName in PackageLoader.h). The loader reads
// the section straight from the file before it runs any of the module's code,
// and the accessor gives the same bytes in a loaded module.
//
// Resource image layout, all integers little-endian, offsets counted from the
// start of the image:
//
//   0   4   magic "PVRS"
//   4   2   format version, 1
//   6   2   reserved, 0
//   8   4   number of entries N
//   12  4   size of the whole image in bytes
//   16  20N entries, each:
//             2  type (RT_*)
//             2  language (LANG_NEUTRAL, or a language id such as $0407)
//             2  number, when the resource is identified by number; else 0
//             2  reserved, 0
//             4  offset of the name, 0 when identified by number
//             4  offset of the data
//             4  size of the data
//   then the names, zero-terminated upper-case ASCII, and the data blocks,
//   each starting on a 4-byte boundary.
//
// Names compare ignoring ASCII letter case, as resource names always have.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/ByteBuffer.h"

namespace pv {

using TResType = std::uint16_t;

// Resource types; the numbers are those of the resource format the host's
// tools know.
inline constexpr TResType RT_BITMAP = 2;
inline constexpr TResType RT_ICON = 3;
inline constexpr TResType RT_RCDATA = 10;
inline constexpr TResType RT_GROUP_ICON = 14;
inline constexpr TResType RT_VERSION = 16;

// The language of resources that are the same in every language.
inline constexpr std::uint16_t LANG_NEUTRAL = 0;

// The section that holds a module's resource image.
inline constexpr std::string_view ResourceSectionName = ".pvrsrc";

// What the exported accessor "@GetResourceImage" returns: the module's
// resource image in its mapped memory.
struct TResourceImageRef {
    const std::uint8_t* Data;
    std::size_t Size;
};

// A resource's identity: a name, or a number from 1 to 65535.
class TResName {
public:
    constexpr TResName(std::string_view AName) : FName(AName) {}  // NOLINT: implicit by design
    constexpr TResName(const char* AName) : FName(AName) {}       // NOLINT: implicit by design
    constexpr TResName(int AId) : FId(static_cast<std::uint16_t>(AId)) {}  // NOLINT: implicit by design

    constexpr bool IsId() const { return FName.empty(); }
    constexpr std::uint16_t Id() const { return FId; }
    constexpr std::string_view Name() const { return FName; }
    // `"MAINICON"` or `#1`, for messages.
    std::string ToString() const;

private:
    std::string_view FName;
    std::uint16_t FId = 0;
};

// The type's usual name ("RT_BITMAP"), or the number.
std::string ResTypeName(TResType Type);

// One resource of a parsed image. Data points into the bytes the image was
// parsed from.
struct TResourceEntry {
    TResType Type = 0;
    std::uint16_t Language = 0;
    std::uint16_t Id = 0;   // when identified by number
    std::string Name;       // when identified by name (upper case)
    std::span<const std::uint8_t> Data;

    bool Matches(TResType AType, const TResName& AName) const;
    // `RT_BITMAP "TNORQ_DBPLOTVANE" language $0407`, for messages.
    std::string Label() const;
};

// A checked view of a resource image.
class TResourceImage {
public:
    TResourceImage() = default;
    // Checks the whole layout (magic, version, sizes, every offset, every
    // name's terminator, no two entries alike) and raises EPackageError
    // naming Context and the fault. The entries refer into Bytes, which must
    // outlive the image.
    static TResourceImage Parse(std::span<const std::uint8_t> Bytes, const std::string& Context);

    const std::vector<TResourceEntry>& Entries() const { return FEntries; }
    // The entry with this type, name and language, or nullptr.
    const TResourceEntry* Find(TResType Type, const TResName& Name, std::uint16_t Language) const;
    // The entry with this type and name in any language, the neutral one
    // first, or nullptr.
    const TResourceEntry* FindAnyLanguage(TResType Type, const TResName& Name) const;

private:
    std::vector<TResourceEntry> FEntries;
};

// Builds a resource image; constexpr, so a module's image is ready when the
// module is compiled.
class TResourceImageBuilder {
public:
    constexpr void Add(TResType Type, TResName Name, std::uint16_t Language, std::vector<std::uint8_t> Data) {
        FItems.push_back(Item{Type, Language, Name.Id(), Name.Name(), std::move(Data)});
    }

    constexpr std::vector<std::uint8_t> Build() const {
        constexpr std::size_t HeaderSize = 16;
        constexpr std::size_t EntrySize = 20;
        TByteWriter W;
        W.U8('P');
        W.U8('V');
        W.U8('R');
        W.U8('S');
        W.U16(1);
        W.U16(0);
        W.U32(static_cast<std::uint32_t>(FItems.size()));
        W.U32(0);  // patched with the total size at the end
        W.Zeros(EntrySize * FItems.size());
        std::vector<std::uint32_t> NameOffsets;
        for (const Item& I : FItems) {
            if (I.Name.empty()) {
                NameOffsets.push_back(0);
                continue;
            }
            NameOffsets.push_back(static_cast<std::uint32_t>(W.Size()));
            for (char C : I.Name) W.U8(static_cast<std::uint8_t>(C >= 'a' && C <= 'z' ? C - 'a' + 'A' : C));
            W.U8(0);
        }
        for (std::size_t K = 0; K < FItems.size(); ++K) {
            const Item& I = FItems[K];
            W.Align(4);
            const std::size_t DataOffset = W.Size();
            W.Bytes(I.Data);
            const std::size_t E = HeaderSize + EntrySize * K;
            W.Patch16(E, I.Type);
            W.Patch16(E + 2, I.Language);
            W.Patch16(E + 4, I.Name.empty() ? I.Id : 0);
            W.Patch16(E + 6, 0);
            W.Patch32(E + 8, NameOffsets[K]);
            W.Patch32(E + 12, static_cast<std::uint32_t>(DataOffset));
            W.Patch32(E + 16, static_cast<std::uint32_t>(I.Data.size()));
        }
        W.Align(4);
        W.Patch32(12, static_cast<std::uint32_t>(W.Size()));
        return W.Take();
    }

private:
    struct Item {
        TResType Type;
        std::uint16_t Language;
        std::uint16_t Id;
        std::string_view Name;
        std::vector<std::uint8_t> Data;
    };
    std::vector<Item> FItems;
};

}  // namespace pv
