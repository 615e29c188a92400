#pragma once
// Internal to the database layer: calling every observer in a list whose
// handlers may change the list or destroy its owner.

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

namespace pv::detail {

// What to do with an exception from a handler.
enum class TNotifyErrors : bool {
    neRethrowFirst,  // call the others, then raise the first one
    neDrop,          // call the others and forget it (destructors)
};

// Calls Fn(*Item) for each item of List as it stood at the start, skipping
// items that left List meanwhile (a handler destroyed them) and stopping
// when Owner (the holder of List) is gone. Every item is told even when one
// handler raises, so no observer misses a change of state because another
// one failed.
template <class T, class F>
void NotifyEach(const std::vector<T*>& List, const std::weak_ptr<const void>& Owner, TNotifyErrors Errors, F&& Fn) {
    const std::vector<T*> Snapshot = List;
    std::exception_ptr First;
    for (T* Item : Snapshot) {
        if (Owner.expired()) break;
        if (std::find(List.begin(), List.end(), Item) == List.end()) continue;
        try {
            Fn(*Item);
        } catch (...) {
            if (!First) First = std::current_exception();
        }
    }
    if (First && Errors == TNotifyErrors::neRethrowFirst) std::rethrow_exception(First);
}

}  // namespace pv::detail
