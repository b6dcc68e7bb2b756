#include "core/URL.h"

#include <gtest/gtest.h>

using namespace lurvik;

namespace {
std::string resolve(const char* base, const char* text) {
    URL url;
    url.setURL(base, text);
    return url.isValid() ? url.text() : "<invalid>";
}

// The full parse: a leading space, which every parse drops, keeps a reference off the shortcuts
// taken for paths and for addresses already in normal form.
int parseInFull(URL& url, const URL& base, const std::string& text) {
    return url.setURL(base, " " + text);
}

void expectSameParts(const URL& fast, const URL& parsed) {
    EXPECT_EQ(fast.isValid(), parsed.isValid());
    EXPECT_EQ(fast.view(), parsed.view());
    EXPECT_EQ(fast.getType(), parsed.getType());
    EXPECT_EQ(fast.getScheme(), parsed.getScheme());
    EXPECT_EQ(fast.getUserInfo(), parsed.getUserInfo());
    EXPECT_EQ(fast.getHost(), parsed.getHost());
    EXPECT_EQ(fast.getHostAndPort(), parsed.getHostAndPort());
    EXPECT_EQ(fast.beforePath(), parsed.beforePath());
    EXPECT_EQ(fast.getDir(), parsed.getDir());
    EXPECT_EQ(fast.getFilename(), parsed.getFilename());
    EXPECT_EQ(fast.getRequestTarget(), parsed.getRequestTarget());
    EXPECT_EQ(fast.getCgiArgs(), parsed.getCgiArgs());
    EXPECT_EQ(fast.getBookmark(), parsed.getBookmark());
    EXPECT_EQ(fast.resourceKey(), parsed.resourceKey());
    EXPECT_EQ(fast.getPort(), parsed.getPort());
    EXPECT_EQ(fast.isSecure(), parsed.isSecure());
}
} // namespace

TEST(URL, ResolvesReferencesLikeABrowser) {
    // One reference for each way of resolving that browsers agree on, plus the leniencies they share.
    const char* base = "http://a/b/c/d;p?q";
    const char* cases[][2] = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"/g", "http://a/g"},
        {"//g", "http://g/"},
        {"?y", "http://a/b/c/d;p?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g?y#s", "http://a/b/c/g?y#s"},
        {"../g?y=../z#./s", "http://a/b/g?y=../z#./s"},
        {"g/./.h/../i", "http://a/b/c/g/i"},
        {".h", "http://a/b/c/.h"},
        {"/g:h", "http://a/g:h"},
        {"/\\g", "http://g/"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../../g", "http://a/g"},
        {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {"..g", "http://a/b/c/..g"},
        {"http:g", "http://a/b/c/g"},
        {"  g\n/h\t", "http://a/b/c/g/h"},
        {"g\\h", "http://a/b/c/g/h"},
        {"a b.html", "http://a/b/c/a%20b.html"},
        {"HTTP://Example.COM:80/X.html", "http://example.com/X.html"},
        {"https://Example.com:443", "https://example.com/"},
        {"http://example.com:8000", "http://example.com:8000/"},
        {"http://example.com:", "http://example.com/"},
        {"http://example.com:80/a/b.html?x#y", "http://example.com/a/b.html?x#y"},
        {"http://example.com:0080/", "http://example.com/"},
        {"https://x.org:8443/", "https://x.org:8443/"},
        {"http://[::1]:8080/a", "http://[::1]:8080/a"},
        {"http://[FE80::1]/", "http://[fe80::1]/"},
        {"http://user:pw@host/x", "http://user:pw@host/x"},
        {"mailto:Someone@Example.com", "mailto:Someone@Example.com"},
        {"ftp://ftp.x.org/pub/", "ftp://ftp.x.org/pub/"},
        {"file:///C:/x.html", "file:///C:/x.html"},
        {"javascript:void(0)", "javascript:void(0)"},
        {"/p%41th/%7e", "http://a/p%41th/%7e"},
        {"http://x/\xc3\xa9", "http://x/%C3%A9"},
        {"http:///nohost", "http://nohost/"},
        {"http://", "<invalid>"},
        {"http://host:99999/", "<invalid>"},
        {"http://host:8a/", "<invalid>"},
        {"http://ho st/", "<invalid>"},
        {"http://[zz::1]/", "<invalid>"},
        {"http://[::1/", "<invalid>"},
    };
    for (auto& c : cases)
        EXPECT_EQ(resolve(base, c[0]), c[1]) << "reference: " << c[0];

    EXPECT_EQ(resolve("mailto:a@b", "x.html"), "<invalid>");
    EXPECT_EQ(resolve("", "x.html"), "<invalid>");
    EXPECT_EQ(resolve("http://a/dir/", "https:x"), "https://x/");
}

TEST(URL, PartsPortsAndTypes) {
    URL url("http://www.Example.com:8000/dir/sub/page.HTML?x=1&y=2#top");
    ASSERT_TRUE(url.isValid());
    EXPECT_EQ(url.getType(), URL::Http);
    EXPECT_EQ(url.getHost(), "www.example.com");
    EXPECT_EQ(url.getHostAndPort(), "www.example.com:8000");
    EXPECT_EQ(url.getPort(), 8000);
    EXPECT_EQ(url.getDir(), "/dir/sub/");
    EXPECT_EQ(url.getFilename(), "page.HTML");
    EXPECT_EQ(url.getCgiArgs(), "x=1&y=2");
    EXPECT_EQ(url.getBookmark(), "top");
    EXPECT_EQ(url.getRequestTarget(), "/dir/sub/page.HTML?x=1&y=2");
    EXPECT_TRUE(url.isCgiBin());
    Str ext;
    url.getFileExt(ext);
    EXPECT_EQ(ext, ".html");
    Str text;
    EXPECT_EQ(url.getURLString(text, 0), 0);
    EXPECT_EQ(text, "http://www.example.com:8000/dir/sub/page.HTML?x=1&y=2");
    url.getURLString(text, 1);
    EXPECT_EQ(text, "http://www.example.com:8000/dir/sub/page.HTML?x=1&y=2#top");

    // Addresses already in the form a parse leaves have the same parts as any other.
    for (const char* text :
         {"https://a.example:8443/d/f.html?q=1#b", "https://a.example:443/d/f.html?q=1#b"}) {
        URL simple(text);
        const bool defaultPort = simple.getPort() == 443;
        EXPECT_EQ(simple.getHost(), "a.example");
        EXPECT_EQ(simple.getHostAndPort(), defaultPort ? "a.example" : "a.example:8443");
        EXPECT_EQ(simple.beforePath(), defaultPort ? "https://a.example" : "https://a.example:8443");
        EXPECT_EQ(simple.getDir(), "/d/");
        EXPECT_EQ(simple.getFilename(), "f.html");
        EXPECT_EQ(simple.getCgiArgs(), "q=1");
        EXPECT_EQ(simple.getBookmark(), "b");
        EXPECT_TRUE(simple.isSecure());
        EXPECT_EQ(simple.getScheme(), "https");
        EXPECT_EQ(simple.getUserInfo(), "");
    }

    struct {
        const char* text;
        int type;
        int port;
    } types[] = {{"https://x/", URL::Http, 443},    {"file:///tmp/a", URL::File, 0},
                 {"ftp://x/", URL::Ftp, 21},        {"gopher://x/", URL::Gopher, 70},
                 {"news:alt.test", URL::News, 119}, {"mailto:a@b", URL::Mail, 0},
                 {"irc://x/", URL::Other, 0},       {"not a url", URL::Invalid, 0}};
    for (auto& t : types) {
        URL u(t.text);
        EXPECT_EQ(u.getType(), t.type) << t.text;
        if (u.isValid()) {
            EXPECT_EQ(u.getPort(), t.port) << t.text;
        }
    }
    EXPECT_TRUE(URL("https://x/").isSecure());
    EXPECT_EQ(URL("not a url").getURLString(text), 1);
}

TEST(URL, CopiesShareOneTextThatNoneOfThemChanges) {
    const URL page("http://x.test/a.html#part");
    URL copy = page;
    EXPECT_TRUE(copy.sharesText(page));
    copy.clearBookmark();
    EXPECT_EQ(copy.text(), "http://x.test/a.html");
    EXPECT_EQ(page.text(), "http://x.test/a.html#part");
    EXPECT_EQ(page.getBookmark(), "part");

    URL same("http://x.test/a.html");
    same.shareTextOf(copy);
    EXPECT_TRUE(same.sharesText(copy));
    URL other("http://x.test/a.html#part");
    other.shareTextOf(copy);
    EXPECT_FALSE(other.sharesText(copy)) << "a bookmark is part of the text";

    URL moved = std::move(same);
    EXPECT_TRUE(moved.sharesText(copy));
    EXPECT_EQ(copy.setURL("::"), 1);
    EXPECT_FALSE(copy.isValid());
    EXPECT_EQ(moved.text(), "http://x.test/a.html") << "a failed parse leaves the other copies alone";
    copy = moved;
    moved.clear();
    EXPECT_EQ(copy.getPath(), "/a.html");
}

TEST(URL, SameResourceAndSameDomain) {
    EXPECT_TRUE(URL("HTTP://A.com:80/x.html#one").sameURL(URL("http://a.com/x.html#two")));
    EXPECT_FALSE(URL("http://a.com/x.html").sameURL(URL("https://a.com/x.html")));
    EXPECT_FALSE(URL("http://a.com/x.html").sameURL(URL("http://a.com/x.html?")));
    EXPECT_FALSE(URL("http://a.com/X.html").sameURL(URL("http://a.com/x.html")));
    EXPECT_FALSE(URL().sameURL(URL()));

    auto sameDomain = [](const char* a, const char* b) { return URL(a).sameDomain(URL(b)) != 0; };
    EXPECT_TRUE(sameDomain("http://www.x.com/", "http://shop.x.com/a"));
    EXPECT_TRUE(sameDomain("http://x.com/", "https://www.x.com/"));
    EXPECT_FALSE(sameDomain("http://www.x.com/", "http://www.y.com/"));
    EXPECT_TRUE(sameDomain("http://www.bbc.co.uk/", "http://news.bbc.co.uk/"));
    EXPECT_FALSE(sameDomain("http://www.bbc.co.uk/", "http://www.itv.co.uk/"));
    EXPECT_TRUE(sameDomain("http://127.0.0.1:8000/", "http://127.0.0.1:9000/"));
    EXPECT_FALSE(sameDomain("http://127.0.0.1/", "http://127.0.0.2/"));
    EXPECT_TRUE(sameDomain("http://localhost/", "http://localhost:81/"));
    EXPECT_FALSE(sameDomain("mailto:a@x.com", "http://x.com/"));
}

TEST(URL, HtmlPagesAreHttpDocumentsNotPrograms) {
    const char* pages[] = {"http://x/",      "http://x/dir/",       "http://x/a.html",
                           "http://x/a.HTM", "https://x/a.shtml",   "http://x/index.php?id=3",
                           "http://x/noext", "http://x/a.html#frag"};
    const char* others[] = {"http://x/a.gif", "http://x/cgi-bin/q.cgi", "http://x/a.pl?x",
                            "http://x/a.exe", "http://x/a.pdf",         "ftp://x/a.html",
                            "mailto:a@x",     "file:///a.html",         "not a url"};
    for (const char* p : pages)
        EXPECT_TRUE(URL(p).isHtml()) << p;
    for (const char* p : others)
        EXPECT_FALSE(URL(p).isHtml()) << p;
    Str ext;
    URL("http://x/archive.tar.GZ").getFileExt(ext);
    EXPECT_EQ(ext, ".gz");
    URL("http://x/dir.d/").getFileExt(ext);
    EXPECT_TRUE(ext.isEmpty());
    URL("http://x/a.").getFileExt(ext);
    EXPECT_TRUE(ext.isEmpty());
}

TEST(URL, MemBlockRoundTripIsRelativeToBase) {
    URL base("http://site.example/dir/index.html");
    const char* texts[] = {"http://site.example/dir/a.html#x", "http://site.example/",
                           "http://other.example/b.html",      "https://site.example/dir/a.html",
                           "mailto:me@site.example",           "http://site.example:81/a"};
    MemBlock block;
    for (const char* t : texts)
        URL(t).ConvertToMemBlock(block, base);
    URL().ConvertToMemBlock(block, base);
    block.getstart();
    for (const char* t : texts) {
        URL back;
        ASSERT_EQ(back.ConvertFromMemBlock(block, base), 0) << t;
        EXPECT_EQ(back.text(), URL(t).text());
    }
    URL invalid("http://x/");
    ASSERT_EQ(invalid.ConvertFromMemBlock(block, base), 0);
    EXPECT_FALSE(invalid.isValid());
    URL past;
    EXPECT_NE(past.ConvertFromMemBlock(block, base), 0);

    MemBlock compact;
    URL("http://site.example/dir/a.html").ConvertToMemBlock(compact, base);
    EXPECT_LT(compact.len(), 4 + 12);
}

// A path made into an address without parsing is the parse's very result, part for part; what
// a parse would change, or a base it does not fit, is left to the parse.
TEST(URL, ANormalisedPathGivesWhatItsParseGives) {
    const std::vector<std::string> bases = {"http://example.com/",
                                            "https://User:pw@Example.com:8443/a/b.html?q#f",
                                            "http://127.0.0.1:42369/p1.html", "http://[::1]/dir/"};
    const std::vector<std::string> taken = {"/",
                                            "/p12345.html",
                                            "/docs/guide/",
                                            "/a/b/c.php?x=1&y=two;z=:@!$'()*+,",
                                            "/search?q=a?b#top",
                                            "/page#frag?ment/with/slashes",
                                            "/~user/file.tar.gz",
                                            "/a?#",
                                            "/x..y/z."};
    const std::vector<std::string> leftToTheParse = {
        "",        "p.html",      "//other.example/x", "/a/../b",
        "/a/./b",  "/a/%2e%2E/b", "/sp ace",           "/back\\slash",
        "/q?a b",  "/f#a b",      "/tab\there",        "/\xc3\xa9t\xc3\xa9",
        "/a/b/..", "/a/.",        "/dir/.hidden",      "/%41",
        "/a\"b",   "/<x>",        "/q?x=\"y\""};
    for (const std::string& baseText : bases) {
        const URL base(baseText);
        ASSERT_TRUE(base.isValid()) << baseText;
        for (const std::string& path : taken) {
            SCOPED_TRACE(baseText + " + " + path);
            URL fast;
            ASSERT_EQ(fast.setNormalisedPath(base, path), 0);
            URL parsed;
            ASSERT_EQ(parseInFull(parsed, base, path), 0);
            expectSameParts(fast, parsed);
        }
        for (const std::string& path : leftToTheParse) {
            URL untouched("http://kept.example/");
            EXPECT_EQ(untouched.setNormalisedPath(base, path), 1) << baseText << " + " << path;
            EXPECT_EQ(untouched.view(), "http://kept.example/");
        }
    }
    // Whole addresses: those of like's site without a parse, any other parsed.
    const URL like("http://example.com/a.html");
    for (const char* text : {"http://example.com/b/c.html?q#f", "http://example.com:8080/x",
                             "http://example.com.evil/x", "http://example.com", "https://example.com/x",
                             "http://example.com/a/../b", "HTTP://Example.COM/x", "mailto:me@example.com"}) {
        URL made;
        URL parsed;
        EXPECT_EQ(made.setNormalisedURL(text, like), parseInFull(parsed, URL(), text)) << text;
        EXPECT_EQ(made.view(), parsed.view()) << text;
        EXPECT_EQ(made.getHostAndPort(), parsed.getHostAndPort()) << text;
        EXPECT_EQ(made.getFilename(), parsed.getFilename()) << text;
    }
    URL mail;
    EXPECT_EQ(mail.setNormalisedPath(URL("mailto:me@example.com"), "/x"), 1);
    EXPECT_EQ(mail.setNormalisedPath(URL("file:///tmp/a.html"), "/x"), 1);
    EXPECT_EQ(mail.setNormalisedPath(URL(), "/x"), 1);
}

// What a page's links mostly are, paths and whole addresses already in normal form, are resolved
// without the full parse; whatever the shortcut takes must come out as the parse makes it, part
// for part, and whatever it cannot be sure of it leaves to the parse. References are made of
// pieces that each test one of its checks, against bases of every shape.
TEST(URL, ShortcutsForLinksGiveWhatTheParseGives) {
    const std::vector<std::string> bases = {"http://a.example/b/c/d.html?q=1#f", "https://x.org:8443/dir/",
                                            "http://h/", "http://u:p@h.example/a/b",
                                            "http://[::1]:8080/v/w?x"};
    const std::vector<std::string> pieces = {
        "",     "/",        "..",      ".",        "a",       "B.html",    "%2e",       "%41",
        "?",    "#",        "q=1",     ":",        "@",       "\\",        " ",         "\t",
        "~x",   "\xc3\xa9", "http://", "https://", "HTTP://", "h.example", "H.example", ":80",
        ":443", ":8443",    ":0",      ":99999",   "[::1]",   "{",         "\"",        "..."};
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    int shortcutTaken = 0;
    for (const std::string& baseText : bases) {
        const URL base(baseText);
        ASSERT_TRUE(base.isValid()) << baseText;
        for (int i = 0; i < 3000; ++i) {
            std::string reference;
            for (uint32_t n = 1 + next() % 6; n > 0; --n)
                reference += pieces[(next() >> 8) % pieces.size()];
            SCOPED_TRACE(baseText + " + [" + reference + "]");
            URL fast;
            URL parsed;
            EXPECT_EQ(fast.setURL(base, reference), parseInFull(parsed, base, reference));
            expectSameParts(fast, parsed);
            shortcutTaken += fast.isValid() && reference.find_first_of(" \t") == std::string::npos &&
                             !reference.empty() && reference.front() != 'H';
        }
    }
    EXPECT_GT(shortcutTaken, 1000) << "the pieces must make references the shortcuts take";
}
