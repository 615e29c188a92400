#include "platform/rtl/ResourceImage.h"
#include "platform/rtl/Strings.h"

#include <cstdio>

#include "platform/rtl/Exception.h"

namespace pv {

namespace {

std::string Hex4(std::uint16_t V) {
    char Buf[8];
    std::snprintf(Buf, sizeof Buf, "$%04X", V);
    return Buf;
}

}  // namespace

std::string TResName::ToString() const { return IsId() ? "#" + std::to_string(FId) : "\"" + std::string(FName) + "\""; }

std::string ResTypeName(TResType Type) {
    switch (Type) {
        case RT_BITMAP: return "RT_BITMAP";
        case RT_ICON: return "RT_ICON";
        case RT_RCDATA: return "RT_RCDATA";
        case RT_GROUP_ICON: return "RT_GROUP_ICON";
        case RT_VERSION: return "RT_VERSION";
        default: return "type " + std::to_string(Type);
    }
}

bool TResourceEntry::Matches(TResType AType, const TResName& AName) const {
    if (Type != AType) return false;
    if (AName.IsId()) return Name.empty() && Id == AName.Id();
    return !Name.empty() && SameText(Name, AName.Name());
}

std::string TResourceEntry::Label() const {
    return ResTypeName(Type) + " " + (Name.empty() ? "#" + std::to_string(Id) : "\"" + Name + "\"") +
           " language " + Hex4(Language);
}

TResourceImage TResourceImage::Parse(std::span<const std::uint8_t> Bytes, const std::string& Context) {
    TByteReader R(Bytes, Context);
    const auto Magic = R.Bytes(4, "magic");
    if (Magic[0] != 'P' || Magic[1] != 'V' || Magic[2] != 'R' || Magic[3] != 'S')
        R.FailAt(0, "no resource image magic \"PVRS\"");
    const std::uint16_t Version = R.U16("format version");
    if (Version != 1) R.FailAt(4, "unknown format version " + std::to_string(Version));
    R.U16("reserved field");
    const std::uint32_t Count = R.U32("entry count");
    const std::uint32_t Total = R.U32("image size");
    if (Total > Bytes.size())
        R.FailAt(12, "image size " + std::to_string(Total) + " exceeds the " + std::to_string(Bytes.size()) +
                         " bytes present");
    if (Count > (Total - std::min<std::size_t>(Total, 16)) / 20)
        R.FailAt(8, "entry count " + std::to_string(Count) + " does not fit in an image of " + std::to_string(Total) +
                        " bytes");
    TByteReader Image(Bytes.first(Total), Context);
    Image.Skip(16, "header");

    TResourceImage Result;
    for (std::uint32_t K = 0; K < Count; ++K) {
        const std::string Which = "entry " + std::to_string(K + 1) + " of " + std::to_string(Count);
        TResourceEntry E;
        E.Type = Image.U16(Which);
        E.Language = Image.U16(Which);
        E.Id = Image.U16(Which);
        Image.U16(Which);
        const std::uint32_t NameOffset = Image.U32(Which);
        const std::uint32_t DataOffset = Image.U32(Which);
        const std::uint32_t DataSize = Image.U32(Which);
        if (NameOffset != 0) {
            if (NameOffset >= Total) Image.Fail(Which + ": name offset " + std::to_string(NameOffset) + " is outside the image");
            TByteReader NameReader(Bytes.first(Total), Context);
            NameReader.Skip(NameOffset, Which);
            E.Name = NameReader.CString(Which + " name");
            if (E.Name.empty()) Image.Fail(Which + ": empty name");
        } else if (E.Id == 0) {
            Image.Fail(Which + ": neither a name nor a number");
        }
        if (DataOffset > Total || DataSize > Total - DataOffset)
            Image.Fail(Which + " (" + E.Label() + "): data of " + std::to_string(DataSize) + " bytes at offset " +
                       std::to_string(DataOffset) + " runs past the end of the image");
        E.Data = Bytes.subspan(DataOffset, DataSize);
        for (const TResourceEntry& Other : Result.FEntries)
            if (Other.Language == E.Language && Other.Matches(E.Type, E.Name.empty() ? TResName(E.Id) : TResName(E.Name)))
                Image.Fail(Which + ": " + E.Label() + " occurs twice");
        Result.FEntries.push_back(std::move(E));
    }
    return Result;
}

const TResourceEntry* TResourceImage::Find(TResType Type, const TResName& Name, std::uint16_t Language) const {
    for (const TResourceEntry& E : FEntries)
        if (E.Language == Language && E.Matches(Type, Name)) return &E;
    return nullptr;
}

const TResourceEntry* TResourceImage::FindAnyLanguage(TResType Type, const TResName& Name) const {
    if (const TResourceEntry* E = Find(Type, Name, LANG_NEUTRAL)) return E;
    for (const TResourceEntry& E : FEntries)
        if (E.Matches(Type, Name)) return &E;
    return nullptr;
}

}  // namespace pv
