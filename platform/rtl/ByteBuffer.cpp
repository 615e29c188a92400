#include "platform/rtl/ByteBuffer.h"

#include "platform/rtl/Exception.h"

namespace pv {

void TByteReader::FailAt(std::size_t Pos, const std::string& Fault) const {
    throw EPackageError(FContext + ": " + Fault + " (at byte " + std::to_string(Pos) + " of " +
                        std::to_string(FBytes.size()) + ")");
}

void TByteReader::Fail(const std::string& Fault) const { FailAt(FPos, Fault); }

void TByteReader::Need(std::size_t Count, std::string_view What) const {
    if (Count > Remaining())
        Fail(std::string(What) + " runs past the end: " + std::to_string(Count) + " bytes needed, " +
             std::to_string(Remaining()) + " left");
}

std::uint8_t TByteReader::U8(std::string_view What) {
    Need(1, What);
    return FBytes[FPos++];
}

std::uint16_t TByteReader::U16(std::string_view What) {
    Need(2, What);
    const auto V = static_cast<std::uint16_t>(FBytes[FPos] | (FBytes[FPos + 1] << 8));
    FPos += 2;
    return V;
}

std::uint32_t TByteReader::U32(std::string_view What) {
    Need(4, What);
    std::uint32_t V = 0;
    for (int I = 3; I >= 0; --I) V = (V << 8) | FBytes[FPos + static_cast<std::size_t>(I)];
    FPos += 4;
    return V;
}

std::span<const std::uint8_t> TByteReader::Bytes(std::size_t Count, std::string_view What) {
    Need(Count, What);
    auto B = FBytes.subspan(FPos, Count);
    FPos += Count;
    return B;
}

std::string TByteReader::CString(std::string_view What) {
    const std::size_t Start = FPos;
    std::size_t End = Start;
    while (End < FBytes.size() && FBytes[End] != 0) ++End;
    if (End == FBytes.size()) Fail(std::string(What) + " has no terminating zero byte before the end");
    FPos = End + 1;
    return std::string(reinterpret_cast<const char*>(FBytes.data() + Start), End - Start);
}

std::string TByteReader::Utf16z(std::string_view What) {
    std::vector<char16_t> Units;
    const std::size_t Start = FPos;
    for (;;) {
        if (Remaining() < 2) FailAt(Start, std::string(What) + " has no terminating zero character before the end");
        const std::uint16_t U = U16(What);
        if (U == 0) break;
        Units.push_back(static_cast<char16_t>(U));
    }
    return Utf16ToUtf8(Units);
}

void TByteReader::Align(std::size_t Alignment) {
    while (FPos % Alignment != 0 && FPos < FBytes.size()) ++FPos;
}

std::string Utf16ToUtf8(std::span<const char16_t> Units) {
    std::string Out;
    auto Put = [&](std::uint32_t Cp) {
        if (Cp < 0x80) {
            Out += static_cast<char>(Cp);
        } else if (Cp < 0x800) {
            Out += static_cast<char>(0xC0 | (Cp >> 6));
            Out += static_cast<char>(0x80 | (Cp & 0x3F));
        } else if (Cp < 0x10000) {
            Out += static_cast<char>(0xE0 | (Cp >> 12));
            Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
            Out += static_cast<char>(0x80 | (Cp & 0x3F));
        } else {
            Out += static_cast<char>(0xF0 | (Cp >> 18));
            Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
            Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
            Out += static_cast<char>(0x80 | (Cp & 0x3F));
        }
    };
    for (std::size_t I = 0; I < Units.size(); ++I) {
        const std::uint32_t U = Units[I];
        if (U >= 0xD800 && U <= 0xDBFF && I + 1 < Units.size() && Units[I + 1] >= 0xDC00 && Units[I + 1] <= 0xDFFF) {
            Put(0x10000 + ((U - 0xD800) << 10) + (Units[I + 1] - 0xDC00u));
            ++I;
        } else if (U >= 0xD800 && U <= 0xDFFF) {
            Put(0xFFFD);
        } else {
            Put(U);
        }
    }
    return Out;
}

}  // namespace pv
