#include "TestFiles.h"
#include "analysis/FileTypeTable.h"
#include "analysis/HtmlScanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

using namespace lurvik;
using lurvik::test::readFileBytes;

namespace {

const std::string kCorpus = std::string(LURVIK_TEST_DATA) + "/browser";
const std::string kFolderURL = "http://lurvik.test/cases/";

// A browser shows a title with its runs of white space made one space; the program keeps them.
std::string collapsed(const std::string& text) {
    std::string out;
    for (char c : text) {
        const bool isSpace = c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\f';
        if (!isSpace)
            out += c;
        else if (!out.empty() && out.back() != ' ')
            out += ' ';
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

struct Reading {
    std::string title;
    std::set<std::string> links;
};

// expected.txt: "== <file>", "title <title>", then one address a line.
std::map<std::string, Reading> readExpected(const std::string& text) {
    std::map<std::string, Reading> pages;
    std::istringstream in(text);
    std::string line;
    Reading* page = nullptr;
    while (std::getline(in, line)) {
        if (line.rfind("== ", 0) == 0)
            page = &pages[line.substr(3)];
        else if (page && line.rfind("title ", 0) == 0)
            page->title = line.substr(6);
        else if (page && !line.empty())
            page->links.insert(line);
    }
    return pages;
}

// What a browser would request: http(s) addresses without their fragment, and the addresses
// that do not parse, which a report must name.
Reading readAsBrowser(const std::string& reply, const std::string& pageURL, LinkList* keep = nullptr) {
    Str title, labels;
    LinkList links;
    scanPage(Str(reply), URL(pageURL), title, links, labels, LinkReading::Browser);
    Reading reading{collapsed(title.str()), {}};
    for (const LinkRecord& link : links) {
        if (link.url.isUnparsed())
            reading.links.insert("invalid:" + std::string(link.url.view()));
        else if (link.url.isHttp())
            reading.links.insert(std::string(link.url.resourceKey()));
    }
    if (keep)
        *keep = std::move(links);
    return reading;
}

// The reply as the cache keeps it; a header value that looks like markup is not part of the page.
std::string asReply(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nX-Note: <a href=in-a-header.html>\r\n\r\n" + body;
}

} // namespace

// Each page of the corpus, written by hand to hold the markup real sites get wrong, is read as
// parse5 and the WHATWG URL parser read it (tests/data/browser/reference-links.mjs wrote
// expected.txt): the same title and the same addresses.
TEST(BrowserReading, EveryCorpusPageGivesWhatABrowserEngineFinds) {
    const auto expected = readExpected(readFileBytes(kCorpus + "/expected.txt"));
    int compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus + "/cases")) {
        const std::string name = entry.path().filename().string();
        auto wanted = expected.find(name);
        ASSERT_NE(wanted, expected.end()) << name << " has no expected reading; run reference-links.mjs";
        const Reading got = readAsBrowser(asReply(readFileBytes(entry.path().string())), kFolderURL + name);
        EXPECT_EQ(got.title, wanted->second.title) << name;
        std::vector<std::string> missing, extra;
        std::set_difference(wanted->second.links.begin(), wanted->second.links.end(), got.links.begin(),
                            got.links.end(), std::back_inserter(missing));
        std::set_difference(got.links.begin(), got.links.end(), wanted->second.links.begin(),
                            wanted->second.links.end(), std::back_inserter(extra));
        for (const std::string& link : missing)
            ADD_FAILURE() << name << ": a browser requests " << link;
        for (const std::string& link : extra)
            ADD_FAILURE() << name << ": a browser does not request " << link;
        ++compared;
    }
    EXPECT_EQ(compared, static_cast<int>(expected.size()));
}

// expected.txt is what the reference says today, not a copy of what the scanner once gave.
TEST(BrowserReading, TheExpectedReadingsAreTheReferencesOwn) {
    const std::string modules = std::string(LURVIK_SOURCE_DIR) + "/.cache/node/node_modules";
    if (!std::filesystem::exists(modules + "/parse5"))
        GTEST_SKIP() << "parse5 is not installed (scripts/install-deps.sh installs it)";
    const std::string out = (std::filesystem::temp_directory_path() / "lurvik-reference-links.txt").string();
    const std::string command = "node " + kCorpus + "/reference-links.mjs " + kCorpus + "/cases " +
                                kFolderURL + " " + modules + " > " + out;
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(readFileBytes(out), readFileBytes(kCorpus + "/expected.txt"));
    std::filesystem::remove(out);
}

// Beyond the addresses: each resource has its kind, each link the line it was written on, and a
// link in a header value or inside a script is no link.
TEST(BrowserReading, ResourcesHaveTheirKindsAndLinksTheirLines) {
    LinkList links;
    readAsBrowser(asReply(readFileBytes(kCorpus + "/cases/resources.html")), kFolderURL + "resources.html",
                  &links);
    std::map<std::string, const LinkRecord*> byFile;
    for (const LinkRecord& link : links) {
        std::string file(link.url.getFilename());
        byFile.emplace(file.empty() ? link.text.str() : file, &link);
    }
    const std::pair<const char*, int> kinds[] = {
        {"app.js", LINK_SCRIPT},           {"site.css", LINK_STYLESHEET}, {"favicon.ico", LINK_ICON},
        {"touch.png", LINK_ICON},          {"font.woff2", LINK_RESOURCE}, {"site.webmanifest", LINK_RESOURCE},
        {"imported.css", LINK_STYLESHEET}, {"bg.png", LINK_RESOURCE},     {"frame-page.html", LINK_IFRAME},
        {"a-2x.png", LINK_IMAGE},          {"pic.webp", LINK_IMAGE},      {"movie.webm", LINK_MEDIA},
        {"subs.vtt", LINK_MEDIA},          {"poster.jpg", LINK_IMAGE},    {"doc.pdf", LINK_EMBED},
        {"flash.swf", LINK_EMBED},         {"button.png", LINK_IMAGE},    {"inline-style.png", LINK_RESOURCE},
        {"body-bg.gif", LINK_IMAGE},       {"old.cab", LINK_ACTIVEX}};
    for (const auto& [file, kind] : kinds) {
        auto found = byFile.find(file);
        ASSERT_NE(found, byFile.end()) << file;
        EXPECT_EQ(found->second->kind, kind) << file;
    }
    EXPECT_EQ(byFile.count("canonical.html"), 0u);
    EXPECT_EQ(byFile.count("written-by-script.html"), 0u);
    EXPECT_EQ(byFile.count("in-a-header.html"), 0u);
    EXPECT_EQ(byFile["app.js"]->line, 5);
    EXPECT_EQ(byFile["imported.css"]->line, 19);
    EXPECT_EQ(byFile["bg.png"]->line, 21);
    EXPECT_EQ(byFile["movie.webm"]->line, 32);
    EXPECT_EQ(byFile["inline-style.png"]->line, 39);
    EXPECT_TRUE(byFile["frame-page.html"]->isHtmlLink());
    EXPECT_FALSE(byFile["app.js"]->isHtmlLink());
}

// A hostile page is read to its end without the scanner's memory following the page: links past
// the page's allowance are dropped and said to be, and a NUL byte ends nothing.
TEST(BrowserReading, ManyLinksAndNulBytesNeitherStopNorSwampTheReading) {
    std::string page = "<title>Many</title>";
    for (int i = 0; i < 3000; ++i)
        page += "<a href=p" + std::to_string(i) + ".html>x</a>" + (i == 10 ? std::string(1, '\0') : "");
    Str title, labels;
    LinkList links;
    ScanControl control;
    scanPage(Str(page), URL(kFolderURL), title, links, labels, LinkReading::Browser, &control);
    EXPECT_EQ(links.len(), 3000);
    EXPECT_FALSE(control.linksCut);
    EXPECT_EQ(links.get(2999)->url.text(), kFolderURL + "p2999.html");

    LinkEnvironment environment;
    environment.maxPageLinks = 100;
    theLinkEnvironment = &environment;
    scanPage(Str(page), URL(kFolderURL), title, links, labels, LinkReading::Browser, &control);
    theLinkEnvironment = nullptr;
    EXPECT_EQ(links.len(), 100);
    EXPECT_TRUE(control.linksCut);
}
