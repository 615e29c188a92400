#pragma once
// TRateLimiter: a token bucket per client address. Each address may make
// Burst requests at once and Rate requests a second after that; a request
// beyond it is told how long to wait. Safe to use from several threads.
//
// Memory stays bounded under a flood from many addresses: a bucket that has
// filled up again says nothing a new bucket would not, so full buckets are
// dropped whenever the table has grown past its last size by half.

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace plotvane {

class TRateLimiter {
public:
    using TClock = std::chrono::steady_clock;

    // Rate: requests a second, more than 0; Burst: at least 1.
    TRateLimiter(double Rate, double Burst);

    // Takes one token of Client's bucket at Now. Returns 0 when there was
    // one, else the whole seconds (at least 1) until there will be.
    int Take(std::string_view Client, TClock::time_point Now = TClock::now());

    // The addresses with a bucket that is not full, or not yet dropped.
    std::size_t Tracked() const;

private:
    struct TBucket {
        double Tokens = 0;
        TClock::time_point Last;
    };
    double Refilled(const TBucket& B, TClock::time_point Now) const;

    const double FRate;
    const double FBurst;
    mutable std::mutex FLock;
    std::unordered_map<std::string, TBucket> FBuckets;
    std::size_t FPruneAt = 1024;
};

}  // namespace plotvane
