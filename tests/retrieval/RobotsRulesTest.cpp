#include "retrieval/RobotsRules.h"

#include <gtest/gtest.h>

using namespace lurvik;

TEST(RobotsRules, GroupsLongestMatchAndWildcards) {
    RobotsRules rules;
    rules.parse(
        "# comment\nUser-agent: *\nDisallow: /private/\nAllow: /private/open.html\nDisallow: /*.pdf$\n"
        "Disallow:\n\nUser-agent: Lurvik\nUser-agent: Other\nDisallow: /lurvik-only/\n",
        "Lurvik");
    EXPECT_TRUE(rules.allows("/private/")) << "the named group replaces the * group";
    EXPECT_FALSE(rules.allows("/lurvik-only/x.html"));

    rules.parse("User-agent: *\r\nDisallow: /private/\r\nAllow: /private/open.html\r\nDisallow: /*.pdf$\r\n"
                "Disallow: /tmp\r\n",
                "Lurvik");
    struct {
        const char* path;
        bool allowed;
    } cases[] = {
        {"/", true},
        {"/private/", false},
        {"/private/secret.html", false},
        {"/private/open.html", true},
        {"/docs/a.pdf", false},
        {"/docs/a.pdf?x=1", true},
        {"/tmp", false},
        {"/tmpfile.html", false},
        {"/public/tmp", true},
    };
    for (auto& c : cases)
        EXPECT_EQ(rules.allows(c.path), c.allowed) << c.path;

    rules.parse("", "Lurvik");
    EXPECT_TRUE(rules.allows("/anything"));
    rules.parse("garbage without colons\n\0\xff", "Lurvik");
    EXPECT_TRUE(rules.allows("/anything"));
    rules.parse("User-agent: *\nDisallow: /\n", "Lurvik");
    EXPECT_FALSE(rules.allows("/index.html"));

    // A byte-order mark from a Windows editor, and every kind of line end, in one file.
    rules.parse("\xEF\xBB\xBFUser-agent: *\rDisallow: /a\r\nDisallow: /b\nDisallow: /c\r", "Lurvik");
    for (const char* path : {"/a", "/b", "/c"})
        EXPECT_FALSE(rules.allows(path)) << path;
    EXPECT_TRUE(rules.allows("/d"));
}
