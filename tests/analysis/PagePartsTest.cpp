#include "analysis/PageParts.h"

#include <gtest/gtest.h>

using namespace lurvik;

TEST(PageParts, TheHeadEndsAtTheFirstBlankLineOfEitherKind) {
    EXPECT_EQ(replyHeadEnd("HTTP/1.1 200 OK\r\nA: b\r\n\r\n<p>\n\nx"), 25u);
    EXPECT_EQ(replyHeadEnd("HTTP/1.0 200 OK\nA: b\n\n<p>\r\n\r\nx"), 22u);
    EXPECT_EQ(replyHeadEnd("HTTP/1.1 200 OK\r\nA: b\n\r\n"), std::string_view::npos)
        << "a line feed, then a bare CRLF, is no blank line";
    EXPECT_EQ(replyHeadEnd("HTTP/1.1 200 OK\r\nA: b\r\n\r"), std::string_view::npos);
    EXPECT_EQ(replyHeadEnd("\n\n"), 2u);
    EXPECT_EQ(replyHeadEnd(""), std::string_view::npos);
    EXPECT_EQ(replyHeaderLength("<html>\n\n</html>"), 0u) << "no status line: all body";
    EXPECT_EQ(replyHeaderLength("HTTP/1.1 204 No Content\r\n\r\n"), 27u);
}
