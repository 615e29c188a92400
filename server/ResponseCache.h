#pragma once
// TResponseCache: finished chart answers kept in memory, bounded in bytes,
// the least recently used going first.
//
// An answer is stored with the data stamp it was drawn under; a lookup with
// another stamp finds nothing (and drops the old answer), so a change of the
// data shows at the next request. Safe to use from several threads.

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace plotvane {

struct TCachedAnswer {
    std::string ContentType;
    std::string Body;
    std::string ETag;
    // For answers that are sent compressed to clients that accept it (SVG):
    // the gzip body and its own entity tag; empty otherwise.
    std::string GzipBody;
    std::string GzipETag;
    std::size_t Bytes() const { return Body.size() + GzipBody.size() + ETag.size() + GzipETag.size() + 128; }
};

class TResponseCache {
public:
    // MaxBytes 0: nothing is kept.
    explicit TResponseCache(std::size_t MaxBytes) : FMaxBytes(MaxBytes) {}

    // The answer kept for Key under Stamp, or nullptr.
    std::shared_ptr<const TCachedAnswer> Find(const std::string& Key, std::uint64_t Stamp);
    // Keeps Answer for Key under Stamp, replacing an older one, and drops
    // the least recently used answers until the total fits. An answer
    // larger than the whole cache is not kept.
    void Insert(const std::string& Key, std::uint64_t Stamp, std::shared_ptr<const TCachedAnswer> Answer);

    std::size_t Bytes() const;
    std::size_t Count() const;
    std::size_t MaxBytes() const { return FMaxBytes; }

private:
    struct TEntry {
        std::string Key;
        std::uint64_t Stamp;
        std::shared_ptr<const TCachedAnswer> Answer;
    };
    void Erase(std::list<TEntry>::iterator It);

    const std::size_t FMaxBytes;
    mutable std::mutex FLock;
    std::list<TEntry> FOrder;  // most recently used first
    std::unordered_map<std::string, std::list<TEntry>::iterator> FIndex;
    std::size_t FBytes = 0;
};

}  // namespace plotvane
