#include "platform/web/WebRequest.h"

#include <gtest/gtest.h>

namespace pv {
namespace {

TWebRequest MakeRequest() {
    return TWebRequest("GET", "/Revenue Chart.gif", {{"w", "640"}, {"w", "800"}, {"flag", ""}},
                       {{"If-None-Match", "\"abc\""}, {"X-Trace", "1"}, {"x-trace", "2"}}, "127.0.0.1");
}

TEST(WebRequestTest, HeadersAreFoundIgnoringCaseFirstOneWins) {
    TWebRequest R = MakeRequest();
    EXPECT_EQ(R.GetHeader("if-none-match"), "\"abc\"");
    EXPECT_EQ(R.GetHeader("IF-NONE-MATCH"), "\"abc\"");
    EXPECT_EQ(R.GetHeader("X-TRACE"), "1");
    EXPECT_FALSE(R.FindHeader("If-None-Matc").has_value());
    EXPECT_EQ(R.GetHeader("Accept"), "");
}

TEST(WebRequestTest, QueryFieldsAreCaseSensitiveAndKeepEmptyValues) {
    TWebRequest R = MakeRequest();
    EXPECT_EQ(R.GetQueryField("w"), "640");
    EXPECT_FALSE(R.FindQueryField("W").has_value());
    ASSERT_TRUE(R.FindQueryField("flag").has_value());
    EXPECT_EQ(*R.FindQueryField("flag"), "");
    EXPECT_EQ(R.GetQueryFields().size(), 3u);
}

TEST(WebRequestTest, SameFieldNameComparesAsciiCaseOnly) {
    EXPECT_TRUE(SameFieldName("Content-Type", "content-TYPE"));
    EXPECT_FALSE(SameFieldName("Content-Type", "Content-Typ"));
    // Bytes outside ASCII letters are compared exactly ('[' is 'Z' + 1).
    EXPECT_FALSE(SameFieldName("[", "{"));
}

}  // namespace
}  // namespace pv
