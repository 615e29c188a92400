#pragma once
// TStream and TMemoryStream: byte streams with a position.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/Object.h"

namespace pv {

enum class TSeekOrigin : std::uint8_t { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
public:
    std::string_view ClassName() const override { return "TStream"; }

    // Reads up to Count bytes at the position; returns how many were read.
    virtual std::size_t Read(void* Buffer, std::size_t Count) = 0;
    // Writes Count bytes at the position; returns how many were written.
    virtual std::size_t Write(const void* Buffer, std::size_t Count) = 0;
    // Moves the position; returns the new position. A position before the
    // start raises EStreamError.
    virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;

    std::int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t Pos) { Seek(Pos, TSeekOrigin::soBeginning); }
    virtual std::int64_t GetSize();

    // Read or write exactly Count bytes, or raise EStreamError.
    void ReadBuffer(void* Buffer, std::size_t Count);
    void WriteBuffer(const void* Buffer, std::size_t Count);
    void WriteBytes(std::span<const std::uint8_t> Bytes) { WriteBuffer(Bytes.data(), Bytes.size()); }
    void WriteString(std::string_view S) { WriteBuffer(S.data(), S.size()); }
    // Copies Count bytes (0: everything from the position to the end) from
    // Source at its position; returns the number copied.
    std::int64_t CopyFrom(TStream& Source, std::int64_t Count = 0);
};

class TMemoryStream : public TStream {
public:
    std::string_view ClassName() const override { return "TMemoryStream"; }

    std::size_t Read(void* Buffer, std::size_t Count) override;
    std::size_t Write(const void* Buffer, std::size_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
    std::int64_t GetSize() override { return static_cast<std::int64_t>(FData.size()); }

    // Empties the stream: size 0, position 0.
    void Clear();
    // Sets the size; the position is clamped to it.
    void SetSize(std::int64_t NewSize);

    const std::uint8_t* Memory() const { return FData.data(); }
    std::span<const std::uint8_t> Bytes() const { return FData; }
    std::string ToString() const { return std::string(FData.begin(), FData.end()); }

private:
    std::vector<std::uint8_t> FData;
    std::size_t FPosition = 0;
};

}  // namespace pv
