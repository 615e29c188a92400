#include "server/ResponseCache.h"

#include <gtest/gtest.h>

namespace plotvane {
namespace {

std::shared_ptr<const TCachedAnswer> Answer(std::size_t Size) {
    auto A = std::make_shared<TCachedAnswer>();
    A->Body.assign(Size, 'x');
    return A;
}

TEST(ResponseCacheTest, LeastRecentlyUsedGoFirstAndTheBoundHolds) {
    TResponseCache Cache(3 * (1000 + 128 + 1));
    Cache.Insert("a", 1, Answer(1000));
    Cache.Insert("b", 1, Answer(1000));
    Cache.Insert("c", 1, Answer(1000));
    EXPECT_EQ(Cache.Count(), 3u);
    ASSERT_NE(Cache.Find("a", 1), nullptr);  // a is now the most recent
    Cache.Insert("d", 1, Answer(1000));
    EXPECT_EQ(Cache.Find("b", 1), nullptr);
    EXPECT_NE(Cache.Find("a", 1), nullptr);
    EXPECT_NE(Cache.Find("d", 1), nullptr);
    EXPECT_LE(Cache.Bytes(), Cache.MaxBytes());
    // Larger than the whole cache: not kept, and nothing else is lost.
    Cache.Insert("huge", 1, Answer(100000));
    EXPECT_EQ(Cache.Find("huge", 1), nullptr);
    EXPECT_EQ(Cache.Count(), 3u);
}

TEST(ResponseCacheTest, AnotherDataStampFindsNothingAndDropsTheOldAnswer) {
    TResponseCache Cache(1 << 20);
    Cache.Insert("a", 7, Answer(10));
    EXPECT_EQ(Cache.Find("a", 8), nullptr);
    EXPECT_EQ(Cache.Count(), 0u);
    EXPECT_EQ(Cache.Bytes(), 0u);
    Cache.Insert("a", 8, Answer(10));
    Cache.Insert("a", 9, Answer(20));  // replaces
    EXPECT_EQ(Cache.Count(), 1u);
    EXPECT_EQ(Cache.Find("a", 9)->Body.size(), 20u);
    TResponseCache None(0);
    None.Insert("a", 1, Answer(1));
    EXPECT_EQ(None.Find("a", 1), nullptr);
}

}  // namespace
}  // namespace plotvane
