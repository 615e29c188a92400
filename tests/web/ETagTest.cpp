#include "platform/web/ETag.h"

#include <gtest/gtest.h>

#include <string>

namespace pv {
namespace {

TEST(ETagTest, IsTheQuotedFnv1a64OfTheBody) {
    // Published FNV-1a 64-bit test values.
    EXPECT_EQ(StrongETag(""), "\"cbf29ce484222325\"");
    EXPECT_EQ(StrongETag("a"), "\"af63dc4c8601ec8c\"");
    EXPECT_EQ(StrongETag("foobar"), "\"85944171f73967e8\"");
}

TEST(ETagTest, EqualBodiesShareATagAndOneChangedByteChangesIt) {
    std::string Body(100000, '\0');
    for (std::size_t I = 0; I < Body.size(); ++I) Body[I] = static_cast<char>(I * 7);
    std::string Copy = Body;
    EXPECT_EQ(StrongETag(Body), StrongETag(Copy));
    Copy[50000] ^= 1;
    EXPECT_NE(StrongETag(Body), StrongETag(Copy));
}

TEST(ETagTest, IfNoneMatchUsesWeakComparisonOverAList) {
    const std::string Tag = "\"0123456789abcdef\"";
    EXPECT_TRUE(IfNoneMatchMatches(Tag, Tag));
    EXPECT_TRUE(IfNoneMatchMatches("W/" + Tag, Tag));
    EXPECT_TRUE(IfNoneMatchMatches("\"x\" , " + Tag + ",\"y\"", Tag));
    EXPECT_TRUE(IfNoneMatchMatches(" * ", Tag));
    EXPECT_FALSE(IfNoneMatchMatches("\"0123456789abcdee\"", Tag));
    EXPECT_FALSE(IfNoneMatchMatches("0123456789abcdef", Tag));  // unquoted is another tag
    EXPECT_FALSE(IfNoneMatchMatches("", Tag));
    EXPECT_FALSE(IfNoneMatchMatches(" , ", Tag));
}

}  // namespace
}  // namespace pv
