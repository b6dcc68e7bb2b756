#include "core/Str.h"
#include "core/ByteArray.h"
#include "core/HtmlEscape.h"
#include "core/MemBlock.h"
#include "core/PtrList.h"
#include "core/Utf8.h"

#include <gtest/gtest.h>

using namespace lurvik;

TEST(Str, FindHonoursStartCaseAndWholeWord) {
    Str s("Cat concatenate CAT cat_ cat.");
    EXPECT_EQ(s.find("cat"), 7);
    EXPECT_EQ(s.find("cat", 0, false), 0);
    EXPECT_EQ(s.find("cat", 1, false, true), 16);
    EXPECT_EQ(s.find("cat", 17, true, true), 25);
    EXPECT_EQ(s.find("cat", 100), -1);
    EXPECT_EQ(s.find("", 100), -1);
    EXPECT_EQ(s.find('C', 1), 16);
    EXPECT_EQ(s.find('c', 1, false), 4);
    EXPECT_EQ(s.findr("cat"), 25);
    EXPECT_EQ(s.findr("cat", 24), 20);
    EXPECT_EQ(s.findr('C'), 16);
    EXPECT_EQ(Str("ab").findr("abc"), -1);
}

TEST(Str, EditingAndComparison) {
    Str s("  Hello, World \r\n");
    s.strip();
    EXPECT_EQ(s, "Hello, World");
    Str part;
    s.extract(5, 2, part, 1);
    EXPECT_EQ(part, ", ");
    EXPECT_EQ(s, "HelloWorld");
    s.collapse(0, 5);
    EXPECT_EQ(s, "World");
    s.truncate(3);
    EXPECT_EQ(s, "Wor");
    s.substr(1, 10, part);
    EXPECT_EQ(part, "or");
    s.substr(9, part);
    EXPECT_TRUE(part.isEmpty());
    EXPECT_EQ(Str("abc").cmp("abd"), -1);
    EXPECT_EQ(Str("ABC").icmp("abc"), 0);
    EXPECT_EQ(Str("abcdef").ncmp("abcxyz", 3), 0);
    EXPECT_NE(Str("abcdef").ncmp("abcxyz", 4), 0);
    EXPECT_EQ(Str("ABcdef").nicmp("abCxyz", 3), 0);
    EXPECT_EQ(Str("ab").ncmp("abc", 3), -1);
    Str n;
    n = 42;
    EXPECT_EQ(n.toInt(), 42);
    EXPECT_EQ(Str().printf("%d pages (%d waiting)", 12, 30), "12 pages (30 waiting)");
}

TEST(Str, Lines) {
    Str s("one\r\ntwo\n\nfour");
    EXPECT_EQ(s.getnumlines(), 4);
    Str line;
    s.getline(0, line);
    EXPECT_EQ(line, "one");
    s.getline(2, line);
    EXPECT_EQ(line, "");
    s.getline(3, line);
    EXPECT_EQ(line, "four");
    s.getline(4, line);
    EXPECT_TRUE(line.isEmpty());
    EXPECT_EQ(Str("a\n").getnumlines(), 1);
}

TEST(Str, Base64RoundTripsAndRejectsGarbage) {
    const char* cases[][2] = {{"", ""},
                              {"f", "Zg=="},
                              {"fo", "Zm8="},
                              {"foo", "Zm9v"},
                              {"user:pass", "dXNlcjpwYXNz"},
                              {"\xff\x00\x01", "/wAB"}};
    for (auto& c : cases) {
        Str s(c[0], c[0][0] == '\xff' ? 3 : static_cast<int>(strlen(c[0])));
        s.encode64();
        EXPECT_EQ(s, c[1]);
        ASSERT_EQ(s.decode64(), 0);
        EXPECT_EQ(s.len(), c[0][0] == '\xff' ? 3 : static_cast<int>(strlen(c[0])));
    }
    Str bad("ab$d");
    EXPECT_NE(bad.decode64(), 0);
    EXPECT_EQ(bad, "ab$d");
}

TEST(Str, DecodeIsoGivesUtf8) {
    const char* cases[][2] = {
        {"caf&eacute; &amp; cr&egrave;me", "caf\xc3\xa9 & cr\xc3\xa8me"},
        {"&lt;b&gt; &quot;x&quot; &#65;&#x42;", "<b> \"x\" AB"},
        {"&copy 1996", "\xc2\xa9 1996"},
        {"&#150; dash", "\xe2\x80\x93 dash"},
        {"&#x1F600;", "\xf0\x9f\x98\x80"},
        {"AT&T &bogus; &#; &", "AT&T &bogus; &#; &"},
        {"&#0;&#xD800;", "\xef\xbf\xbd\xef\xbf\xbd"},
        {"&nbsp;", "\xc2\xa0"},
    };
    for (auto& c : cases) {
        Str s(c[0]);
        s.decodeISO();
        EXPECT_EQ(s, c[1]) << c[0];
    }
}

// Text escaped for HTML is valid UTF-8 whatever came in: a malformed byte, an overlong form, a
// surrogate and a cut sequence each become one U+FFFD, valid stretches around them and the
// markup characters between them come through.
TEST(Str, HtmlEscapingKeepsValidTextAndReplacesMalformedBytes) {
    auto escaped = [](std::string_view text) {
        std::string out = "[";
        appendEscapedHtml(text, out);
        return out;
    };
    EXPECT_EQ(escaped("Plain title 42"), "[Plain title 42");
    EXPECT_EQ(escaped("a<b>&\"c\"'"), "[a&lt;b&gt;&amp;&quot;c&quot;'");
    EXPECT_EQ(escaped("caf\xc3\xa9 & \xe2\x82\xac"), "[caf\xc3\xa9 &amp; \xe2\x82\xac");
    const std::string bad = "\xef\xbf\xbd";
    EXPECT_EQ(escaped("a\xff"
                      "b"),
              "[a" + bad + "b");
    EXPECT_EQ(escaped("\xc0\xaf<"), "[" + bad + bad + "&lt;");
    EXPECT_EQ(escaped("\xed\xa0\x80x"), "[" + bad + bad + bad + "x");
    EXPECT_EQ(escaped("end\xe2\x82"), "[end" + bad + bad);
    std::string valid = "<";
    appendValidUtf8("ok\xf0\x9f\x98\x80\x80ok", valid);
    EXPECT_EQ(valid, "<ok\xf0\x9f\x98\x80" + bad + "ok");
}

TEST(PtrList, BoundsCheckedAccess) {
    int a = 1, b = 2, c = 3;
    PtrList<int> list;
    list.add(&a);
    list.add(&c);
    list.ins(&b, 1);
    EXPECT_EQ(list.get(-1), nullptr);
    EXPECT_EQ(list.get(3), nullptr);
    EXPECT_EQ(*list.get(1), 2);
    EXPECT_EQ(list.del(0), &a);
    EXPECT_EQ(list.del(5), nullptr);
    EXPECT_EQ(list.len(), 2);
    EXPECT_EQ(list.find(&c), 1);
}

TEST(TypedArray, ElementsNotBytes) {
    UIntArray items;
    items.add(7);
    items.add(9);
    items.add(11);
    EXPECT_EQ(items.len(), 3);
    EXPECT_EQ(items.find(11), 2);
    items.del(0);
    EXPECT_EQ(items.get(0), 9u);
    EXPECT_EQ(items.find(7), -1);
    EXPECT_EQ(items.get(5), 0u);
}

TEST(MemBlock, ReadsBackWhatWasWrittenThenFails) {
    MemBlock block;
    block.cat(Str("title"));
    block.cat(255, 1);
    block.cat(65535, 2);
    block.cat(-5, 4);
    block.cat(Str(""));
    block.cat("\0\1", 2);
    block.getstart();
    Str s;
    int v = 0;
    ASSERT_EQ(block.get(s), 0);
    EXPECT_EQ(s, "title");
    ASSERT_EQ(block.get(v, 1), 0);
    EXPECT_EQ(v, 255);
    ASSERT_EQ(block.get(v, 2), 0);
    EXPECT_EQ(v, 65535);
    ASSERT_EQ(block.get(v, 4), 0);
    EXPECT_EQ(v, -5);
    ASSERT_EQ(block.get(s), 0);
    EXPECT_TRUE(s.isEmpty());
    char raw[2];
    ASSERT_EQ(block.get(raw, 2), 0);
    EXPECT_EQ(raw[1], 1);
    EXPECT_NE(block.get(v, 1), 0);
    EXPECT_NE(block.get(s), 0);

    // A length that claims more than the block holds fails without moving the cursor.
    MemBlock bad;
    bad.cat(1000, 4);
    bad.cat("abc", 3);
    bad.getstart();
    EXPECT_NE(bad.get(s), 0);
    EXPECT_EQ(bad.cursor(), 0);
}
