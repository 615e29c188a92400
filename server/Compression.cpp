#include "server/Compression.h"

#include <libdeflate.h>

#include <memory>
#include <new>

namespace plotvane {

std::string GzipCompressed(std::string_view Data) {
    struct TFree {
        void operator()(libdeflate_compressor* C) const { libdeflate_free_compressor(C); }
    };
    thread_local const std::unique_ptr<libdeflate_compressor, TFree> Compressor(libdeflate_alloc_compressor(1));
    if (!Compressor) return {};
    try {
        std::string Out(libdeflate_gzip_compress_bound(Compressor.get(), Data.size()), '\0');
        Out.resize(libdeflate_gzip_compress(Compressor.get(), Data.data(), Data.size(), Out.data(), Out.size()));
        return Out;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

}  // namespace plotvane
