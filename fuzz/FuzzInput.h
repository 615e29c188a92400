#pragma once
// Turns a fuzzer's bytes into the values a target needs: whole numbers in a
// range, doubles (the special ones often), strings. Reads from the front;
// once the bytes run out every value is its smallest, so every input is
// valid and short inputs stay cheap.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace pv::fuzz {

class TFuzzInput {
public:
    TFuzzInput(const std::uint8_t* Data, std::size_t Size) : FData(Data), FSize(Size) {}

    std::size_t Remaining() const { return FSize - FPos; }
    bool Empty() const { return FPos >= FSize; }

    std::uint8_t Byte() { return Empty() ? 0 : FData[FPos++]; }
    bool Bool() { return (Byte() & 1) != 0; }
    std::uint32_t U32() {
        std::uint32_t V = 0;
        for (int I = 0; I < 4; ++I) V = (V << 8) | Byte();
        return V;
    }
    std::uint64_t U64() { return (std::uint64_t{U32()} << 32) | U32(); }
    // A whole number from Low to High, both included.
    std::int64_t Range(std::int64_t Low, std::int64_t High) {
        if (High <= Low) return Low;
        const auto Span = static_cast<std::uint64_t>(High - Low);
        std::uint64_t V = Span < 256 ? Byte() : Span < 65536 ? (std::uint64_t{Byte()} << 8 | Byte()) : U64();
        return Low + static_cast<std::int64_t>(Span == std::numeric_limits<std::uint64_t>::max() ? V : V % (Span + 1));
    }
    // A double: half the time one of the values that break arithmetic.
    double Double() {
        static constexpr double Special[] = {
            0.0, -0.0, 1.0, -1.0, 1e308, -1e308, std::numeric_limits<double>::infinity(),
            -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
            std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::max(),
            std::numeric_limits<double>::lowest(), 1e-308, 0.5, 2147483648.0, 9.2233720368547758e18};
        std::uint8_t Pick = Byte();
        if (Pick < 128) return Special[Pick % std::size(Special)];
        if (Pick < 192) return static_cast<double>(static_cast<std::int32_t>(U32())) / 100.0;
        std::uint64_t Bits = U64();
        double D = 0;
        std::memcpy(&D, &Bits, sizeof D);
        return D;
    }
    // A string of up to MaxLength bytes taken from the input; now and then
    // an empty one or a long repetition (up to Huge bytes) of one byte.
    std::string String(std::size_t MaxLength = 64, std::size_t Huge = 100000) {
        std::uint8_t Kind = Byte();
        if (Kind == 0) return {};
        if (Kind == 1) return std::string(static_cast<std::size_t>(Range(0, static_cast<std::int64_t>(Huge))), char(Byte()));
        std::size_t N = static_cast<std::size_t>(Range(0, static_cast<std::int64_t>(MaxLength)));
        N = std::min(N, Remaining());
        std::string S(reinterpret_cast<const char*>(FData + FPos), N);
        FPos += N;
        return S;
    }
    // Everything not read yet.
    std::string_view Rest() {
        std::string_view R(reinterpret_cast<const char*>(FData + FPos), Remaining());
        FPos = FSize;
        return R;
    }

private:
    const std::uint8_t* FData;
    std::size_t FSize;
    std::size_t FPos = 0;
};

}  // namespace pv::fuzz
