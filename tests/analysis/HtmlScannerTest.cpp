#include "analysis/HtmlScanner.h"
#include "analysis/HtmlTokenizer.h"

#include <gtest/gtest.h>

using namespace lurvik;

namespace {

struct Scanned {
    Str title;
    std::vector<std::tuple<int, std::string, std::string>> links; // kind, URL text, link text
    Str labels;
};

Scanned scan(const std::string& html, const char* base = "http://site.example/dir/page.html") {
    Scanned out;
    LinkList links;
    scanPage(Str(html), URL(base), out.title, links, out.labels);
    for (LinkRecord& link : links)
        out.links.emplace_back(link.kind, link.url.isValid() ? link.url.text() : "", link.text.str());
    return out;
}

using Link = std::tuple<int, std::string, std::string>;

} // namespace

TEST(HtmlScanner, TitlesAreTrimmedDecodedAndNeedAnEnd) {
    struct {
        const char* html;
        const char* title;
    } cases[] = {
        {"no tags at all", "<No Title>"},
        {"<title>  A &amp; B </title>", "A & B"},
        {"<title>X", "<No Title>"},
        {"<title>X<body>", "X"},
        {"<TITLE>Upper</TITLE>", "Upper"},
        {"<title>First</title><title>Second</title>", "Second"},
        {"<head><title>Open head</head>", "Open head"},
        {"<title></title>", "<No Title>"},
        {"<title>   </title>", "<No Title>"},
        {"<title>caf\xe9</title>", "caf\xc3\xa9"},
        {"<title>a <b>bold</b> title</title>", "a <b>bold</b> title"},
    };
    for (auto& c : cases)
        EXPECT_EQ(scan(c.html).title, c.title) << c.html;
}

TEST(HtmlScanner, AnchorsImagesAndTheirTexts) {
    EXPECT_EQ(scan("<a href=x.html><img src=pics/y.gif></a>").links,
              (std::vector<Link>{{LINK_IMAGE, "http://site.example/dir/pics/y.gif", "y.gif"},
                                 {LINK_HYPERLINK, "http://site.example/dir/x.html", "y.gif"}}));
    EXPECT_EQ(scan("<a href=x.html><img src=pics/y.gif alt=Home></a>").links,
              (std::vector<Link>{{LINK_IMAGE, "http://site.example/dir/pics/y.gif", "Home"},
                                 {LINK_HYPERLINK, "http://site.example/dir/x.html", "Home"}}));
    EXPECT_EQ(scan("<a href=x.html></a>").links,
              (std::vector<Link>{{LINK_HYPERLINK, "http://site.example/dir/x.html", "<No Text>"}}));
    EXPECT_TRUE(scan("<a href=''>t</a>").links.empty());
    EXPECT_EQ(scan("<A HREF = 'x.html'>X</A>").links,
              (std::vector<Link>{{LINK_HYPERLINK, "http://site.example/dir/x.html", "X"}}));
    EXPECT_TRUE(scan("<a href  =  x.html>X</a>").links.empty());
    EXPECT_EQ(scan("<a href=\"/abs.html\"> <b>Bold</b> &amp; <i>more</i> </a>").links,
              (std::vector<Link>{{LINK_HYPERLINK, "http://site.example/abs.html", "Bold & more"}}));
    // A second anchor start replaces the first; an anchor without href keeps the first open with
    // an empty href, which resolves to the page itself.
    EXPECT_EQ(scan("<a href=a.html>A<a href=b.html>B</a>").links,
              (std::vector<Link>{{LINK_HYPERLINK, "http://site.example/dir/b.html", "B"}}));
    EXPECT_EQ(scan("<a href=a.html>A<a name=n>B</a>").links,
              (std::vector<Link>{{LINK_HYPERLINK, "http://site.example/dir/page.html", "AB"}}));
    EXPECT_EQ(scan("<a href=mailto:me@x.org>mail</a><a href=ftp://f.org/>f</a>").links,
              (std::vector<Link>{{LINK_HYPERLINK, "mailto:me@x.org", "mail"},
                                 {LINK_HYPERLINK, "ftp://f.org/", "f"}}));
    EXPECT_EQ(scan("<img src=\"a b.gif\"><image src=c.gif alt=\"C &amp; D\">").links,
              (std::vector<Link>{{LINK_IMAGE, "http://site.example/dir/a%20b.gif", "a b.gif"},
                                 {LINK_IMAGE, "http://site.example/dir/c.gif", "C &amp; D"}}));
    EXPECT_EQ(scan("<body background=bg.jpg><title>t</title>").links,
              (std::vector<Link>{{LINK_IMAGE, "http://site.example/dir/bg.jpg", "Background"}}));
}

TEST(HtmlScanner, MapsAppletsFramesObjectsAndOnlyTheTableTags) {
    EXPECT_TRUE(scan("<area href=a.html>").links.empty());
    EXPECT_EQ(scan("<map name=nav><area href=a.html><area nohref></map><area href=b.html>").links,
              (std::vector<Link>{{LINK_IMAGEMAP, "http://site.example/dir/a.html", "nav"}}));
    EXPECT_EQ(scan("<applet code=A.class>").links, (std::vector<Link>{{LINK_APPLET, "", "A.class"}}));
    EXPECT_EQ(scan("<applet code=A.class codebase=/java/ alt=Game>").links,
              (std::vector<Link>{{LINK_APPLET, "http://site.example/java/", "Game"}}));
    EXPECT_EQ(scan("<object codebase='x.cab#Version=1,0'>").links,
              (std::vector<Link>{{LINK_ACTIVEX, "", "x.cab"}}));
    EXPECT_EQ(scan("<frame src=left.html name=nav><frame src=sub/right.html>").links,
              (std::vector<Link>{{LINK_FRAME, "http://site.example/dir/left.html", "nav"},
                                 {LINK_FRAME, "http://site.example/dir/sub/right.html", "right.html"}}));
    // The tag table is the whole truth: scripts, forms, base and refresh change nothing.
    auto links =
        scan("<base href=http://other.example/><script>document.write('<a href=s.html>s</a>')</script>"
             "<form action=f.cgi><input type=image src=i.gif></form>"
             "<meta http-equiv=refresh content='0;url=r.html'><link href=style.css rel=stylesheet>"
             "<iframe src=if.html></iframe><frameset><frame src=fr.html></frameset>")
            .links;
    EXPECT_EQ(links, (std::vector<Link>{{LINK_HYPERLINK, "http://site.example/dir/s.html", "s"},
                                        {LINK_FRAME, "http://site.example/dir/fr.html", "fr.html"}}));
    EXPECT_TRUE(scan("<!-- <a href=x>hidden</a> -->").links.empty());
    EXPECT_EQ(scan("<!-- unclosed > <a href=x.html>y</a>").links,
              (std::vector<Link>{{LINK_HYPERLINK, "http://site.example/dir/x.html", "y"}}));
}

TEST(HtmlScanner, PicsLabelsFromMetaTags) {
    Scanned one =
        scan("<meta http-equiv=\"PICS-Label\" content='(PICS-1.0 \"http://r.org\" l r (v 0 s 1))'>"
             "<meta name=x content='(not a label)'>"
             "<META http-equiv=\"PICS-Label\" content='(PICS-1.0 \"http://r.org\" l r (n 2 l 0))'>");
    EXPECT_EQ(one.labels, "(v 0 s 1)\t(n 2 l 0)");
    LinkList links;
    Str title;
    Str labels("(x 1)");
    scanPage("<meta http-equiv=PICS-Label content='(a 1)'>", URL("http://x/"), title, links, labels);
    EXPECT_EQ(labels, "(x 1)\t(a 1)") << "labels are appended to, not replaced";
    EXPECT_EQ(scan("<meta http-equiv=pics-label content='(v 1)'>").labels, "") << "the name matches case";
}

TEST(HtmlTokenizer, TagsAndAttributesFollowTheRules) {
    EXPECT_EQ(lookupTag("IMG"), 28);
    EXPECT_EQ(lookupTag("image"), 28);
    EXPECT_EQ(lookupTag("xmp"), 15);
    EXPECT_EQ(lookupTag("a"), 12);
    EXPECT_EQ(lookupTag("abbr"), -1);
    EXPECT_EQ(lookupTag(""), -1);

    int tagStart, tagEnd, isEnd, code, hasAttributes = 7, attrStart = 7, attrEnd = 7;
    Str text("x<!-->y-->z< a><IMG src=a.gif></Img><p");
    EXPECT_EQ(nextTag(text, 0, tagStart, tagEnd, isEnd, code, hasAttributes, attrStart, attrEnd), 1);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(tagEnd, 9);
    EXPECT_EQ(nextTag(text, tagEnd + 1, tagStart, tagEnd, isEnd, code, hasAttributes, attrStart, attrEnd),
              11);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(attrStart, 7) << "an unnamed tag leaves the attribute bounds alone";
    EXPECT_EQ(nextTag(text, tagEnd + 1, tagStart, tagEnd, isEnd, code, hasAttributes, attrStart, attrEnd),
              15);
    EXPECT_EQ(code, 28);
    EXPECT_EQ(hasAttributes, 1);
    EXPECT_EQ(text.view().substr(attrStart, attrEnd - attrStart + 1), " src=a.gif");
    EXPECT_EQ(nextTag(text, tagEnd + 1, tagStart, tagEnd, isEnd, code, hasAttributes, attrStart, attrEnd),
              30);
    EXPECT_EQ(isEnd, 1);
    EXPECT_EQ(nextTag(text, tagEnd + 1, tagStart, tagEnd, isEnd, code, hasAttributes, attrStart, attrEnd),
              36);
    EXPECT_EQ(tagEnd, text.len()) << "an unterminated tag runs to the end";
    EXPECT_EQ(nextTag(Str("a<"), 0, tagStart, tagEnd, isEnd, code, hasAttributes, attrStart, attrEnd), -1);

    struct {
        const char* attributes;
        std::vector<std::pair<std::string, std::string>> expected;
    } cases[] = {
        {" a=1 B='two' c=\"3 4\" d", {{"a", "1"}, {"B", "two"}, {"c", "3 4"}, {"d", ""}}},
        {" href = x.html", {{"href", "x.html"}}},
        {" href= x.html", {{"href", ""}, {"x.html", ""}}},
        {" href =x.html", {{"href", "x.html"}}},
        {" alt='unterminated src=x", {}},
        {" a=1 b='open", {{"a", "1"}}},
        {" v=a&amp;b", {{"v", "a&amp;b"}}},
        {" x='>'", {{"x", ">"}}},
    };
    for (auto& c : cases) {
        Str attributes(std::string("<t") + c.attributes + ">");
        std::vector<Str> names, values;
        parseAttributes(attributes, 2, attributes.len() - 2, names, values);
        std::vector<std::pair<std::string, std::string>> got;
        for (size_t i = 0; i < names.size(); ++i)
            got.emplace_back(names[i].str(), values[i].str());
        EXPECT_EQ(got, c.expected) << c.attributes;
    }
    std::vector<Str> names{"ALT", "src"}, values{"", "y.gif"};
    Str out("stale");
    EXPECT_EQ(getAttribute(names, values, "alt", out), 0);
    EXPECT_EQ(getAttribute(names, values, "SRC", out), 1);
    EXPECT_EQ(out, "y.gif");
    EXPECT_EQ(getAttribute(names, values, "href", out), 0);
    EXPECT_TRUE(out.isEmpty());
}
