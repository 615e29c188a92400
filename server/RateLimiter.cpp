#include "server/RateLimiter.h"

#include <algorithm>
#include <cmath>

namespace plotvane {

TRateLimiter::TRateLimiter(double Rate, double Burst) : FRate(Rate), FBurst(std::max(1.0, Burst)) {}

double TRateLimiter::Refilled(const TBucket& B, TClock::time_point Now) const {
    const double Seconds = std::chrono::duration<double>(Now - B.Last).count();
    return std::min(FBurst, B.Tokens + std::max(0.0, Seconds) * FRate);
}

int TRateLimiter::Take(std::string_view Client, TClock::time_point Now) {
    std::lock_guard<std::mutex> Lock(FLock);
    auto [It, New] = FBuckets.try_emplace(std::string(Client));
    TBucket& B = It->second;
    B.Tokens = New ? FBurst : Refilled(B, Now);
    B.Last = Now;
    int Wait = 0;
    if (B.Tokens >= 1) {
        B.Tokens -= 1;
    } else {
        Wait = std::max(1, static_cast<int>(std::ceil((1 - B.Tokens) / FRate)));
    }
    if (FBuckets.size() >= FPruneAt) {
        for (auto I = FBuckets.begin(); I != FBuckets.end();) {
            if (Refilled(I->second, Now) >= FBurst)
                I = FBuckets.erase(I);
            else
                ++I;
        }
        FPruneAt = std::max<std::size_t>(1024, FBuckets.size() + FBuckets.size() / 2);
    }
    return Wait;
}

std::size_t TRateLimiter::Tracked() const {
    std::lock_guard<std::mutex> Lock(FLock);
    return FBuckets.size();
}

}  // namespace plotvane
