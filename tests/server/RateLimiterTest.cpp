#include "server/RateLimiter.h"

#include <gtest/gtest.h>

#include <string>

namespace plotvane {
namespace {

using namespace std::chrono_literals;

TEST(RateLimiter, BurstThenRateAndBoundedMemoryUnderAFloodOfAddresses) {
    TRateLimiter L(2, 3);
    const auto T0 = TRateLimiter::TClock::time_point{} + 1h;
    for (int I = 0; I < 3; ++I) EXPECT_EQ(L.Take("a", T0), 0);
    EXPECT_EQ(L.Take("a", T0), 1);            // half a second to the next token, said as 1 s
    EXPECT_EQ(L.Take("b", T0), 0);            // another address, its own bucket
    EXPECT_EQ(L.Take("a", T0 + 499ms), 1);
    EXPECT_EQ(L.Take("a", T0 + 500ms), 0);    // one token back
    EXPECT_EQ(L.Take("a", T0 + 500ms), 1);
    TRateLimiter Slow(0.1, 1);
    EXPECT_EQ(Slow.Take("a", T0), 0);
    EXPECT_EQ(Slow.Take("a", T0), 10);

    // A flood from ever new addresses: buckets that filled up again go, so
    // the table stays near the number of addresses seen in the last seconds.
    for (int I = 0; I < 100000; ++I) L.Take("10.0." + std::to_string(I), T0 + std::chrono::milliseconds(I * 10));
    EXPECT_LT(L.Tracked(), 2000u);
}

}  // namespace
}  // namespace plotvane
