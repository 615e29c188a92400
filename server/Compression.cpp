#include "server/Compression.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace plotvane {

namespace {

struct TCompressorFree {
    void operator()(libdeflate_compressor* C) const { libdeflate_free_compressor(C); }
};

libdeflate_compressor* FastCompressor() {
    thread_local const std::unique_ptr<libdeflate_compressor, TCompressorFree> Compressor(
        libdeflate_alloc_compressor(1));
    return Compressor.get();
}

// Definitions shorter than this are packed with the rest.
constexpr std::size_t MinReusedDefinitions = 4096;
// The definitions a thread keeps, the most recently used first.
constexpr std::size_t KeptDefinitions = 4;

struct TPackedDefinitions {
    std::string Text;
    // Raw DEFLATE blocks of Text, none of them final and the last ending on
    // a byte boundary (a sync flush), so that more blocks may follow; empty
    // until the definitions were seen a second time.
    std::string Packed;
};

// Raw DEFLATE blocks of Text ending in a sync flush, or empty on failure.
std::string PackToSyncFlush(std::string_view Text) {
    z_stream Z{};
    if (deflateInit2(&Z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string Out(deflateBound(&Z, static_cast<uLong>(Text.size())) + 16, '\0');
    Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Text.data()));
    Z.avail_in = static_cast<uInt>(Text.size());
    Z.next_out = reinterpret_cast<Bytef*>(Out.data());
    Z.avail_out = static_cast<uInt>(Out.size());
    const int Rc = deflate(&Z, Z_SYNC_FLUSH);
    const bool Done = Rc == Z_OK && Z.avail_in == 0 && Z.avail_out > 0;
    Out.resize(Z.total_out);
    deflateEnd(&Z);
    return Done ? Out : std::string();
}

void PutLittleEndian32(std::string& Out, std::uint32_t V) {
    for (int K = 0; K < 4; ++K) Out += static_cast<char>((V >> (8 * K)) & 0xFF);
}

}  // namespace

std::string GzipCompressed(std::string_view Data) {
    libdeflate_compressor* Compressor = FastCompressor();
    if (!Compressor) return {};
    try {
        std::string Out(libdeflate_gzip_compress_bound(Compressor, Data.size()), '\0');
        Out.resize(libdeflate_gzip_compress(Compressor, Data.data(), Data.size(), Out.data(), Out.size()));
        return Out;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::string GzipSvg(std::string_view Svg) {
    const std::size_t DefsEnd = Svg.find("</defs>");
    if (DefsEnd == std::string_view::npos || DefsEnd < MinReusedDefinitions || Svg.size() > UINT32_MAX)
        return GzipCompressed(Svg);
    const std::string_view Definitions = Svg.substr(0, DefsEnd + 7), Rest = Svg.substr(DefsEnd + 7);
    libdeflate_compressor* Compressor = FastCompressor();
    if (!Compressor) return {};
    try {
        thread_local std::vector<TPackedDefinitions> Kept;
        auto It = std::find_if(Kept.begin(), Kept.end(),
                               [&](const TPackedDefinitions& D) { return D.Text == Definitions; });
        if (It == Kept.end()) {
            // Seen for the first time: remembered, and packed with the rest.
            if (Kept.size() == KeptDefinitions) Kept.pop_back();
            Kept.insert(Kept.begin(), TPackedDefinitions{std::string(Definitions), {}});
            return GzipCompressed(Svg);
        }
        std::rotate(Kept.begin(), It, It + 1);
        TPackedDefinitions& D = Kept.front();
        if (D.Packed.empty()) D.Packed = PackToSyncFlush(Definitions);
        if (D.Packed.empty()) return GzipCompressed(Svg);

        // The gzip member: its header, the kept blocks, the rest's blocks
        // (the last of them final), the CRC-32 and the length. The rest's
        // back references reach only into its own bytes, so its blocks may
        // follow the kept ones as they stand.
        static constexpr char Header[10] = {'\x1f', '\x8b', 8, 0, 0, 0, 0, 0, 0, '\xff'};
        const std::size_t Bound = libdeflate_deflate_compress_bound(Compressor, Rest.size());
        std::string Out;
        Out.reserve(sizeof Header + D.Packed.size() + Bound + 8);
        Out.append(Header, sizeof Header);
        Out += D.Packed;
        const std::size_t At = Out.size();
        Out.resize(At + Bound);
        const std::size_t Written = libdeflate_deflate_compress(Compressor, Rest.data(), Rest.size(), Out.data() + At, Bound);
        if (Written == 0) return GzipCompressed(Svg);
        Out.resize(At + Written);
        PutLittleEndian32(Out, static_cast<std::uint32_t>(libdeflate_crc32(0, Svg.data(), Svg.size())));
        PutLittleEndian32(Out, static_cast<std::uint32_t>(Svg.size()));
        return Out;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

}  // namespace plotvane
