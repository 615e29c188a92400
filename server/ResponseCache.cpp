#include "server/ResponseCache.h"

namespace plotvane {

std::shared_ptr<const TCachedAnswer> TResponseCache::Find(const std::string& Key, std::uint64_t Stamp) {
    std::lock_guard<std::mutex> Lock(FLock);
    auto It = FIndex.find(Key);
    if (It == FIndex.end()) return nullptr;
    if (It->second->Stamp != Stamp) {
        Erase(It->second);
        return nullptr;
    }
    FOrder.splice(FOrder.begin(), FOrder, It->second);
    return It->second->Answer;
}

void TResponseCache::Insert(const std::string& Key, std::uint64_t Stamp, std::shared_ptr<const TCachedAnswer> Answer) {
    if (!Answer) return;
    const std::size_t Size = Answer->Bytes() + Key.size();
    std::lock_guard<std::mutex> Lock(FLock);
    if (auto It = FIndex.find(Key); It != FIndex.end()) Erase(It->second);
    if (Size > FMaxBytes) return;
    while (FBytes + Size > FMaxBytes && !FOrder.empty()) Erase(std::prev(FOrder.end()));
    FOrder.push_front({Key, Stamp, std::move(Answer)});
    FIndex.emplace(Key, FOrder.begin());
    FBytes += Size;
}

void TResponseCache::Erase(std::list<TEntry>::iterator It) {
    FBytes -= It->Answer->Bytes() + It->Key.size();
    FIndex.erase(It->Key);
    FOrder.erase(It);
}

std::size_t TResponseCache::Bytes() const {
    std::lock_guard<std::mutex> Lock(FLock);
    return FBytes;
}

std::size_t TResponseCache::Count() const {
    std::lock_guard<std::mutex> Lock(FLock);
    return FOrder.size();
}

}  // namespace plotvane
