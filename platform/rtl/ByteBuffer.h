#pragma once
// Little-endian byte building and reading for the binary formats of modules:
// resource images, package manifests and version blocks.
//
// TByteWriter is constexpr, so a module's resources can be built while the
// module is compiled and placed in its image as plain bytes. TByteReader
// checks every read against the end of its bytes and raises EPackageError
// naming what it was reading, where, and what it found.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pv {

class TByteWriter {
public:
    constexpr void U8(std::uint8_t V) { FBytes.push_back(V); }
    constexpr void U16(std::uint16_t V) {
        U8(static_cast<std::uint8_t>(V));
        U8(static_cast<std::uint8_t>(V >> 8));
    }
    constexpr void U32(std::uint32_t V) {
        U16(static_cast<std::uint16_t>(V));
        U16(static_cast<std::uint16_t>(V >> 16));
    }
    constexpr void I32(std::int32_t V) { U32(static_cast<std::uint32_t>(V)); }
    constexpr void Bytes(std::span<const std::uint8_t> B) { FBytes.insert(FBytes.end(), B.begin(), B.end()); }
    // The text's bytes as they stand, then a zero byte.
    constexpr void CString(std::string_view S) {
        for (char C : S) U8(static_cast<std::uint8_t>(C));
        U8(0);
    }
    // UTF-8 text as UTF-16LE code units, then a zero unit. Bytes that are no
    // valid UTF-8 become U+FFFD.
    constexpr void Utf16z(std::string_view S) {
        for (char16_t U : Utf16Units(S)) U16(U);
        U16(0);
    }
    constexpr void Zeros(std::size_t Count) { FBytes.insert(FBytes.end(), Count, 0); }
    // Pads with zeros up to the next multiple of Alignment.
    constexpr void Align(std::size_t Alignment) {
        while (FBytes.size() % Alignment != 0) U8(0);
    }
    // Overwrites a value written earlier, for lengths known only later.
    constexpr void Patch16(std::size_t At, std::uint16_t V) {
        FBytes[At] = static_cast<std::uint8_t>(V);
        FBytes[At + 1] = static_cast<std::uint8_t>(V >> 8);
    }
    constexpr void Patch32(std::size_t At, std::uint32_t V) {
        Patch16(At, static_cast<std::uint16_t>(V));
        Patch16(At + 2, static_cast<std::uint16_t>(V >> 16));
    }

    constexpr std::size_t Size() const { return FBytes.size(); }
    constexpr const std::vector<std::uint8_t>& Data() const { return FBytes; }
    constexpr std::vector<std::uint8_t> Take() { return std::move(FBytes); }

    // UTF-16 code units of UTF-8 text (no terminator).
    static constexpr std::vector<char16_t> Utf16Units(std::string_view S) {
        std::vector<char16_t> Out;
        std::size_t I = 0;
        while (I < S.size()) {
            const auto B = static_cast<std::uint8_t>(S[I]);
            std::uint32_t Cp = 0xFFFD;
            std::size_t Len = 1;
            if (B < 0x80) {
                Cp = B;
            } else if ((B & 0xE0) == 0xC0) {
                Len = 2;
            } else if ((B & 0xF0) == 0xE0) {
                Len = 3;
            } else if ((B & 0xF8) == 0xF0) {
                Len = 4;
            }
            if (Len > 1) {
                bool Ok = I + Len <= S.size();
                std::uint32_t V = B & (0x7Fu >> Len);
                for (std::size_t K = 1; Ok && K < Len; ++K) {
                    const auto C = static_cast<std::uint8_t>(S[I + K]);
                    Ok = (C & 0xC0) == 0x80;
                    V = (V << 6) | (C & 0x3Fu);
                }
                const std::uint32_t Min = Len == 2 ? 0x80 : Len == 3 ? 0x800 : 0x10000;
                if (Ok && V >= Min && V <= 0x10FFFF && (V < 0xD800 || V > 0xDFFF)) {
                    Cp = V;
                } else {
                    Len = 1;
                }
            }
            if (Cp >= 0x10000) {
                Out.push_back(static_cast<char16_t>(0xD800 + ((Cp - 0x10000) >> 10)));
                Out.push_back(static_cast<char16_t>(0xDC00 + ((Cp - 0x10000) & 0x3FF)));
            } else {
                Out.push_back(static_cast<char16_t>(Cp));
            }
            I += Len;
        }
        return Out;
    }

private:
    std::vector<std::uint8_t> FBytes;
};

class TByteReader {
public:
    // Context names the bytes in error messages, e.g. `manifest PACKAGEINFO
    // of "x.bpl"`.
    TByteReader(std::span<const std::uint8_t> Bytes, std::string Context)
        : FBytes(Bytes), FContext(std::move(Context)) {}

    std::uint8_t U8(std::string_view What);
    std::uint16_t U16(std::string_view What);
    std::uint32_t U32(std::string_view What);
    // Count bytes at the position.
    std::span<const std::uint8_t> Bytes(std::size_t Count, std::string_view What);
    // Zero-terminated 8-bit text; the terminator is consumed.
    std::string CString(std::string_view What);
    // Zero-terminated UTF-16LE text, returned as UTF-8; the terminator is
    // consumed. Unpaired surrogates become U+FFFD.
    std::string Utf16z(std::string_view What);
    void Skip(std::size_t Count, std::string_view What) { Bytes(Count, What); }
    // Skips zero to Alignment-1 bytes so the position is a multiple of
    // Alignment (counted from the start of the bytes); stops at the end.
    void Align(std::size_t Alignment);

    std::size_t Position() const { return FPos; }
    std::size_t Size() const { return FBytes.size(); }
    std::size_t Remaining() const { return FBytes.size() - FPos; }
    bool AtEnd() const { return FPos == FBytes.size(); }
    const std::string& Context() const { return FContext; }

    // Raises EPackageError: "<context>: <Fault> (at byte <pos> of <size>)".
    [[noreturn]] void Fail(const std::string& Fault) const;
    [[noreturn]] void FailAt(std::size_t Pos, const std::string& Fault) const;

private:
    void Need(std::size_t Count, std::string_view What) const;

    std::span<const std::uint8_t> FBytes;
    std::size_t FPos = 0;
    std::string FContext;
};

// UTF-16 code units to UTF-8.
std::string Utf16ToUtf8(std::span<const char16_t> Units);

}  // namespace pv
