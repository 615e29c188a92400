#include "platform/web/Url.h"

#include <gtest/gtest.h>

namespace pv {
namespace {

TEST(UrlTest, PathAndQueryAreDecodedInOrder) {
    TRequestTarget T;
    ASSERT_FALSE(ParseRequestTarget("/Sales%20Chart.gif?w=1&name=a+b%26c&flag&&x=", T));
    EXPECT_EQ(T.Path, "/Sales Chart.gif");
    ASSERT_EQ(T.Query.size(), 4u);
    EXPECT_EQ(T.Query[0].Name, "w");
    EXPECT_EQ(T.Query[0].Value, "1");
    EXPECT_EQ(T.Query[1].Value, "a b&c");
    EXPECT_EQ(T.Query[2].Name, "flag");
    EXPECT_EQ(T.Query[2].Value, "");
    EXPECT_EQ(T.Query[3].Name, "x");
    // "+" is a space only in the query.
    ASSERT_FALSE(ParseRequestTarget("/a+b", T));
    EXPECT_EQ(T.Path, "/a+b");
}

TEST(UrlTest, NulBytesBrokenEscapesAndTooManyFieldsAreRefused) {
    TRequestTarget T;
    EXPECT_EQ(ParseRequestTarget("/RevenueChart.gif%00.txt", T).Status, 400);
    EXPECT_EQ(ParseRequestTarget("/a?x=%00", T).Status, 400);
    EXPECT_EQ(ParseRequestTarget("/a%4", T).Status, 400);
    EXPECT_EQ(ParseRequestTarget("/a%g1", T).Status, 400);
    EXPECT_EQ(ParseRequestTarget("a.gif", T).Status, 400);
    EXPECT_EQ(ParseRequestTarget("", T).Status, 400);
    TTargetLimits Limits;
    Limits.MaxQueryFields = 2;
    EXPECT_FALSE(ParseRequestTarget("/a?x=1&y=2", T, Limits));
    TTargetFault F = ParseRequestTarget("/a?x=1&y=2&z=3", T, Limits);
    EXPECT_EQ(F.Status, 414);
    EXPECT_NE(F.Reason.find("more than 2"), std::string::npos);
}

}  // namespace
}  // namespace pv
