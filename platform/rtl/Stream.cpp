#include "platform/rtl/Stream.h"

#include <algorithm>
#include <cstring>

#include "platform/rtl/Exception.h"

namespace pv {

std::int64_t TStream::GetSize() {
    std::int64_t Pos = GetPosition();
    std::int64_t Size = Seek(0, TSeekOrigin::soEnd);
    SetPosition(Pos);
    return Size;
}

void TStream::ReadBuffer(void* Buffer, std::size_t Count) {
    if (Read(Buffer, Count) != Count) throw EStreamError("Stream read error: fewer than " + std::to_string(Count) + " bytes left");
}

void TStream::WriteBuffer(const void* Buffer, std::size_t Count) {
    if (Write(Buffer, Count) != Count) throw EStreamError("Stream write error: " + std::to_string(Count) + " bytes");
}

std::int64_t TStream::CopyFrom(TStream& Source, std::int64_t Count) {
    if (Count <= 0) Count = Source.GetSize() - Source.GetPosition();
    std::int64_t Done = 0;
    std::uint8_t Buf[65536];
    while (Done < Count) {
        std::size_t N = static_cast<std::size_t>(std::min<std::int64_t>(Count - Done, sizeof Buf));
        Source.ReadBuffer(Buf, N);
        WriteBuffer(Buf, N);
        Done += static_cast<std::int64_t>(N);
    }
    return Done;
}

std::size_t TMemoryStream::Read(void* Buffer, std::size_t Count) {
    if (FPosition >= FData.size()) return 0;
    std::size_t N = std::min(Count, FData.size() - FPosition);
    if (N) std::memcpy(Buffer, FData.data() + FPosition, N);
    FPosition += N;
    return N;
}

std::size_t TMemoryStream::Write(const void* Buffer, std::size_t Count) {
    if (Count == 0) return 0;
    if (FPosition + Count > FData.size()) FData.resize(FPosition + Count);
    std::memcpy(FData.data() + FPosition, Buffer, Count);
    FPosition += Count;
    return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    std::int64_t Base = 0;
    switch (Origin) {
        case TSeekOrigin::soBeginning: Base = 0; break;
        case TSeekOrigin::soCurrent: Base = static_cast<std::int64_t>(FPosition); break;
        case TSeekOrigin::soEnd: Base = static_cast<std::int64_t>(FData.size()); break;
    }
    std::int64_t NewPos = Base + Offset;
    if (NewPos < 0) throw EStreamError("Stream seek error: position " + std::to_string(NewPos) + " is before the start");
    FPosition = static_cast<std::size_t>(NewPos);
    return NewPos;
}

void TMemoryStream::Clear() {
    FData.clear();
    FPosition = 0;
}

void TMemoryStream::SetSize(std::int64_t NewSize) {
    if (NewSize < 0) throw EStreamError("Stream size " + std::to_string(NewSize) + " is negative");
    FData.resize(static_cast<std::size_t>(NewSize));
    FPosition = std::min(FPosition, FData.size());
}

}  // namespace pv
