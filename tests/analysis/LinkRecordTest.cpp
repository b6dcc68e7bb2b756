#include "analysis/FileTypeTable.h"
#include "analysis/LinkList.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace lurvik;

namespace {

// Points the file-type look-ups at the small database in tests/data/mime, never the system's.
class LinkRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string data = std::string(LURVIK_TEST_DATA) + "/mime";
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        setenv("XDG_DATA_DIRS", "/nonexistent", 1);
        environment = std::make_unique<LinkEnvironment>();
        theLinkEnvironment = environment.get();
        environment->typeTable.onRegisterFileIcon = [this](const Str& extension, const Str& icon, int) {
            registered.emplace_back(extension.str() + "=" + icon.str());
            return extension == ".pdf" ? 12 : 0;
        };
    }
    void TearDown() override { theLinkEnvironment = nullptr; }

    std::string typeOf(int kind, const char* url) {
        LinkRecord link(kind, URL(url), "t");
        Str name;
        link.typeName(name);
        return name.str();
    }

    std::unique_ptr<LinkEnvironment> environment;
    std::vector<std::string> registered;
};

} // namespace

TEST_F(LinkRecordTest, KindsTypeNamesAndIcons) {
    struct {
        int kind;
        const char* url;
        int stored;
        int effective;
        const char* typeName;
        int icon;
    } cases[] = {
        {LINK_FTP, "ftp://f.org/a.zip", 10, 12, "Ftp", 3},
        {LINK_HYPERLINK, "http://x/a.shtml", 10, 11, "Html (SSI) Page", 1},
        {LINK_HYPERLINK, "http://x/dir/", 10, 11, "Unknown", 1},
        {LINK_HYPERLINK, "http://x/a.txt", 10, 11, "plain text document", 1},
        {LINK_HYPERLINK, "http://x/a.pdf", 10, 11, "PDF document", 12},
        {LINK_HYPERLINK, "http://x/a.zip", 10, 11, "Zip archive & more", 1},
        {LINK_HYPERLINK, "http://x/a.nocomment", 10, 11, "Unknown", 1},
        {LINK_HYPERLINK, "http://x/a.qqq", 10, 11, "Unknown", 1},
        {LINK_HYPERLINK, "mailto:a@x", 10, 13, "Mail", 6},
        {LINK_HYPERLINK, "news:alt.test", 10, 14, "News", 5},
        {LINK_HYPERLINK, "gopher://g/", 10, 15, "Gopher", 4},
        {LINK_FILE, "file:///tmp/a.txt", 10, 16, "File", 2},
        {LINK_HYPERLINK, "javascript:void(0)", 10, 10, "Unknown", 0},
        {LINK_HYPERLINK, "", 10, 10, "Unknown", 0},
        {LINK_IMAGE, "http://x/x.gif", 20, 20, "Image", 7},
        {LINK_IMAGE, "http://x/x.png", 20, 20, "PNG image", 7},
        {LINK_IMAGEMAP, "http://x/a.html", 30, 30, "ImageMap", 8},
        {LINK_APPLET, "", 40, 40, "Java Applet", 9},
        {LINK_FRAME, "http://x/f.html", 50, 50, "Frame", 10},
        {LINK_ACTIVEX, "", 60, 60, "ActiveX", 11},
        {99, "http://x/", 99, 99, "Unknown", 0},
    };
    for (auto& c : cases) {
        LinkRecord link(c.kind, URL(c.url), "text");
        Str name;
        link.typeName(name);
        EXPECT_EQ(link.kind, c.stored) << c.url;
        EXPECT_EQ(link.effectiveKind(), c.effective) << c.url;
        EXPECT_EQ(name, c.typeName) << c.url;
        EXPECT_EQ(link.iconIndex(), c.icon) << c.url;
    }
    EXPECT_EQ(registered, (std::vector<std::string>{".txt=text-plain", ".pdf=x-office-document",
                                                    ".zip=application-zip", ".png=image-png"}))
        << "each learnt extension is registered once, with the database's icon or the type's";
}

TEST_F(LinkRecordTest, TextsAreShortenedByCharacters) {
    std::string text46(46, 'a');
    EXPECT_EQ(LinkRecord(LINK_HYPERLINK, URL(), Str(text46)).text.view(), std::string(42, 'a') + "...");
    EXPECT_EQ(LinkRecord(LINK_HYPERLINK, URL(), Str(std::string(45, 'a'))).text.len(), 45);
    std::string accented;
    for (int i = 0; i < 46; ++i)
        accented += "\xc3\xa9";
    const LinkRecord shortened(LINK_HYPERLINK, URL(), Str(accented));
    EXPECT_EQ(shortened.text.len(), 42 * 2 + 3) << "no UTF-8 sequence is cut";
    environment->maxLinkText = 3;
    EXPECT_EQ(LinkRecord(LINK_HYPERLINK, URL(), Str(text46)).text.len(), 46);
}

TEST_F(LinkRecordTest, HtmlLinksCountsAndTheTypeTable) {
    LinkList links;
    links.add(LINK_HYPERLINK, URL("http://x/a.html"), "a");
    links.add(LINK_FTP, URL("ftp://x/a.html"), "b");
    links.add(LINK_HYPERLINK, URL("mailto:a@x"), "c");
    links.add(LINK_IMAGE, URL("http://x/a.html"), "d");
    links.add(LINK_IMAGEMAP, URL("http://x/m.html"), "e");
    links.add(LINK_FRAME, URL("http://x/f.gif"), "f");
    links.add(LINK_HYPERLINK, URL("http://x/s.cgi?q"), "g");
    std::vector<bool> html;
    for (LinkRecord& link : links)
        html.push_back(link.isHtmlLink());
    EXPECT_EQ(html, (std::vector<bool>{true, false, false, false, true, false, false}));
    EXPECT_EQ(countLinksOfKind(links, LINK_HYPERLINK), 4);
    EXPECT_EQ(countLinksOfKind(links, LINK_FTP), 1);
    EXPECT_EQ(countLinksOfKind(links, LINK_HTTP), 2);
    EXPECT_EQ(countLinksOfKind(links, LINK_IMAGE), 1);
    EXPECT_EQ(countLinksOfTypeName(links, "Html Page"), 2) << "the image named .html counts too";
    EXPECT_EQ(countLinksOfTypeName(links, "CGI-bin"), 1);

    FileTypeTable& table = environment->typeTable;
    int index = -1;
    EXPECT_EQ(table.imageIndexForURL(URL("http://x/a.html"), index), 0);
    EXPECT_EQ(index, 0);
    EXPECT_NE(table.imageIndexForURL(URL("http://x/a.pdf"), index), 0) << "not learnt yet";
    EXPECT_EQ(typeOf(LINK_HYPERLINK, "http://x/b.PDF"), "PDF document");
    EXPECT_EQ(table.imageIndexForURL(URL("http://x/a.pdf"), index), 0);
    EXPECT_EQ(index, 12);
    EXPECT_EQ(table.imageIndexForTypeName("PDF document", index), 0);
    EXPECT_NE(table.imageIndexForTypeName("Nothing", index), 0);
    std::vector<Str> names{"stale"};
    table.typeNames(names);
    EXPECT_EQ(names, (std::vector<Str>{"Html Page", "Html (SSI) Page", "CGI-bin", "Server ImageMap",
                                       "PDF document"}));
    int before = table.size();
    typeOf(LINK_HYPERLINK, "http://x/c.qqq");
    typeOf(LINK_FRAME, "http://x/c.txt");
    EXPECT_EQ(table.size(), before) << "failures and links without a file type add nothing";
}
