#include "platform/rtl/VersionInfo.h"

#include "platform/rtl/Exception.h"

namespace pv {

namespace {

// One node of the block, its value and its children's extent.
struct TNode {
    std::string Key;
    std::uint16_t Type = 0;
    std::uint16_t ValueLength = 0;
    std::span<const std::uint8_t> Value;
    std::size_t ChildrenStart = 0;
    std::size_t End = 0;  // one past the node's last byte
};

// Reads the node at Start, which must end at or before Limit. Alignment is
// counted from the start of the whole block, which is where the reader's
// positions count from.
TNode ReadNode(TByteReader& R, std::span<const std::uint8_t> Block, std::size_t Start, std::size_t Limit,
               const std::string& Where) {
    TByteReader N(Block.first(Limit), R.Context());
    N.Skip(Start, Where);
    const std::uint16_t Length = N.U16(Where + " length");
    if (Length < 6 || Start + Length > Limit)
        N.FailAt(Start, Where + " has length " + std::to_string(Length) + ", but " + std::to_string(Limit - Start) +
                            " bytes are available to it");
    TByteReader Inner(Block.first(Start + Length), R.Context());
    Inner.Skip(Start + 2, Where);
    TNode Node;
    Node.ValueLength = Inner.U16(Where + " value length");
    Node.Type = Inner.U16(Where + " type");
    if (Node.Type > 1) Inner.FailAt(Start + 4, Where + " has type " + std::to_string(Node.Type) + ", expected 0 or 1");
    Node.Key = Inner.Utf16z(Where + " key");
    Inner.Align(4);
    const std::size_t ValueBytes = Node.Type == 1 ? std::size_t{Node.ValueLength} * 2 : Node.ValueLength;
    Node.Value = Inner.Bytes(ValueBytes, Where + " \"" + Node.Key + "\" value");
    Inner.Align(4);
    Node.ChildrenStart = Inner.Position();
    Node.End = Start + Length;
    return Node;
}

// The children of Parent, each read with ReadNode.
std::vector<TNode> Children(TByteReader& R, std::span<const std::uint8_t> Block, const TNode& Parent) {
    std::vector<TNode> Out;
    std::size_t At = Parent.ChildrenStart;
    while (At < Parent.End) {
        Out.push_back(ReadNode(R, Block, At, Parent.End, "node \"" + Parent.Key + "\" child " + std::to_string(Out.size() + 1)));
        At = (Out.back().End + 3) & ~std::size_t{3};
    }
    return Out;
}

// Text value of a string entry: zero-terminated UTF-16 within its value
// bytes (an empty value may carry no bytes at all).
std::string TextValue(TByteReader& R, const TNode& Node) {
    if (Node.Value.empty()) return {};
    TByteReader V(Node.Value, R.Context() + ", string \"" + Node.Key + "\"");
    return V.Utf16z("value");
}

}  // namespace

std::string VersionText(std::uint32_t MS, std::uint32_t LS) {
    return std::to_string(MS >> 16) + "." + std::to_string(MS & 0xFFFF) + "." + std::to_string(LS >> 16) + "." +
           std::to_string(LS & 0xFFFF);
}

const std::string* TVersionInfo::FindString(std::string_view Key) const {
    for (const TStringTable& T : StringTables)
        for (const auto& [K, V] : T.Strings)
            if (K == Key) return &V;
    return nullptr;
}

TVersionInfo DecodeVersionInfo(std::span<const std::uint8_t> Bytes, const std::string& Context) {
    TByteReader R(Bytes, Context);
    const TNode Root = ReadNode(R, Bytes, 0, Bytes.size(), "root node");
    if (Root.Key != "VS_VERSION_INFO") R.FailAt(6, "root node is \"" + Root.Key + "\", expected \"VS_VERSION_INFO\"");
    if (Root.Value.size() != FixedFileInfoSize)
        R.FailAt(2, "fixed part has " + std::to_string(Root.Value.size()) + " bytes, expected " +
                        std::to_string(FixedFileInfoSize));
    TVersionInfo Info;
    TByteReader F(Root.Value, Context + ", fixed part");
    std::uint32_t* Fields[] = {&Info.Fixed.Signature,        &Info.Fixed.StrucVersion,   &Info.Fixed.FileVersionMS,
                               &Info.Fixed.FileVersionLS,    &Info.Fixed.ProductVersionMS, &Info.Fixed.ProductVersionLS,
                               &Info.Fixed.FileFlagsMask,    &Info.Fixed.FileFlags,      &Info.Fixed.FileOS,
                               &Info.Fixed.FileType,         &Info.Fixed.FileSubtype,    &Info.Fixed.FileDateMS,
                               &Info.Fixed.FileDateLS};
    for (std::uint32_t* Field : Fields) *Field = F.U32("field");
    if (Info.Fixed.Signature != VS_FFI_SIGNATURE) F.FailAt(0, "signature is not $FEEF04BD");

    for (const TNode& Part : Children(R, Bytes, Root)) {
        if (Part.Key == "StringFileInfo") {
            for (const TNode& Table : Children(R, Bytes, Part)) {
                TVersionInfo::TStringTable T;
                T.Key = Table.Key;
                for (const TNode& S : Children(R, Bytes, Table)) T.Strings.emplace_back(S.Key, TextValue(R, S));
                Info.StringTables.push_back(std::move(T));
            }
        } else if (Part.Key == "VarFileInfo") {
            for (const TNode& Var : Children(R, Bytes, Part)) {
                if (Var.Key != "Translation") continue;
                TByteReader V(Var.Value, Context + ", translation list");
                if (Var.Value.size() % 4 != 0) V.Fail("length " + std::to_string(Var.Value.size()) + " is no multiple of 4");
                while (!V.AtEnd()) {
                    TVersionInfo::TTranslation T;
                    T.Language = V.U16("language");
                    T.CodePage = V.U16("code page");
                    Info.Translations.push_back(T);
                }
            }
        }
    }
    return Info;
}

}  // namespace pv
