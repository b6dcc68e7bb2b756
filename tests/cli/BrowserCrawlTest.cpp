#include "CliRunner.h"

#include <gtest/gtest.h>

#include <map>

#include <filesystem>
#include <set>
#include <sstream>

using namespace lurvik::test;

namespace {

// The rows of a TSV report, each split at its tabs, the header line left out.
std::vector<std::vector<std::string>> rowsOf(const std::string& report) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(report);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        for (size_t from = 0;; from = line.find('\t', from) + 1) {
            fields.push_back(line.substr(from, line.find('\t', from) - from));
            if (line.find('\t', from) == std::string::npos)
                break;
        }
        rows.push_back(fields);
    }
    return rows;
}

// The row whose field `column` is `value`; empty when there is none.
std::vector<std::string> rowWith(const std::string& report, size_t column, const std::string& value) {
    for (const auto& row : rowsOf(report))
        if (row.size() > column && row[column] == value)
            return row;
    return {};
}

// Links report columns.
constexpr size_t kPage = 0, kKind = 1, kUrl = 3, kTarget = 5, kVerdict = 6, kLine = 7;
// Page report columns.
constexpr size_t kState = 1, kRedirects = 11;

using BrowserCrawl = CliFixture;

// What the browser reference (tests/data/browser/expected.txt) requests on each corpus page that
// is on the page's own host, as request targets: "/cases/a.html?q=1".
std::map<std::string, std::set<std::string>> referenceRequests() {
    const std::string host = "http://lurvik.test";
    std::map<std::string, std::set<std::string>> requests;
    std::istringstream in(readFileBytes(std::string(LURVIK_TEST_DATA) + "/browser/expected.txt"));
    std::string line;
    std::set<std::string>* page = nullptr;
    while (std::getline(in, line)) {
        if (line.rfind("== ", 0) == 0)
            page = &requests[line.substr(3)];
        else if (page && line.rfind(host + "/", 0) == 0)
            page->insert(line.substr(host.size()));
    }
    return requests;
}

} // namespace

// Each page of the browser corpus, crawled within its host with every resource checked, makes
// exactly the requests a browser engine's reading of it calls for: nothing missed, nothing extra.
TEST_F(BrowserCrawl, TheCorpusPagesAskForWhatABrowserAsksFor) {
    server.serveDirectory(std::string(LURVIK_TEST_DATA) + "/browser");
    ASSERT_EQ(server.start(), 0);
    const auto expected = referenceRequests();
    ASSERT_GE(expected.size(), 10u);
    size_t compared = 0;
    for (const auto& [file, wanted] : expected) {
        server.clearLog();
        CliResult crawl = runCli({"crawl", server.url("/cases/" + file), "--limit", "host", "--check-links"});
        EXPECT_NE(crawl.exitCode, 2) << file << ": " << crawl.err;
        std::set<std::string> made;
        for (const auto& request : server.requests())
            if (request.path != "/cases/" + file)
                made.insert(request.target);
        std::set<std::string> asked = wanted;
        asked.erase("/cases/" + file);
        EXPECT_EQ(made, asked) << file;
        compared += asked.size();
    }
    EXPECT_GT(compared, 90u);
}

// A folder asked for without its slash is redirected to it, as every server does; the links of the
// page it serves are the folder's, and the page report shows the way there.
TEST_F(BrowserCrawl, ARedirectedFolderResolvesItsLinksUnderTheFolder) {
    server.addPage("/", "<title>Home</title><a href=book>The book</a>");
    server.addRedirect("/book", 301, "/book/");
    server.addPage("/book/",
                   "<title>Book</title><a href=title-page.html>Title</a> <a href=../about.html>About</a>");
    server.addPage("/book/title-page.html", "<title>Title page</title>");
    server.addPage("/about.html", "<title>About</title>");
    ASSERT_EQ(server.start(), 0);
    CliResult crawl = runCli({"crawl", server.url("/"), "--report", path("pages.tsv")});
    EXPECT_EQ(crawl.exitCode, 0) << crawl.err;
    EXPECT_EQ(server.requestCount("/book/title-page.html"), 1u);
    EXPECT_EQ(server.requestCount("/about.html"), 1u);
    EXPECT_EQ(server.requestCount("/title-page.html"), 0u);
    const std::string pages = readFileBytes(path("pages.tsv"));
    const auto book = rowWith(pages, 0, server.url("/book"));
    ASSERT_GT(book.size(), kRedirects) << pages;
    EXPECT_EQ(book[kRedirects], "301 " + server.url("/book/"));
    EXPECT_EQ(rowWith(pages, 0, server.url("/book/title-page.html")).at(kState), "done") << pages;
}

// A page shown only in an inline frame is a page of the site, and a meta refresh leads on like a
// redirect; a link written inside a script or a template is no link.
TEST_F(BrowserCrawl, InlineFramesAndRefreshesLeadToPagesScriptsDoNot) {
    server.addPage("/", "<title>Home</title><meta http-equiv=refresh content=\"5; url=later.html\">"
                        "<iframe src=inner.html></iframe><script>x='<a href=\"in-script.html\">'</script>"
                        "<template><a href=in-template.html>t</a></template>");
    server.addPage("/inner.html", "<title>Inner</title><a href=deep.html>Deep</a>");
    server.addPage("/deep.html", "<title>Deep</title>");
    server.addPage("/later.html", "<title>Later</title>");
    ASSERT_EQ(server.start(), 0);
    CliResult crawl = runCli({"crawl", server.url("/"), "--links-report", path("links.tsv")});
    EXPECT_EQ(crawl.exitCode, 0) << crawl.err;
    for (const char* page : {"/inner.html", "/deep.html", "/later.html"})
        EXPECT_EQ(server.requestCount(page), 1u) << page;
    for (const char* page : {"/in-script.html", "/in-template.html"})
        EXPECT_EQ(server.requestCount(page), 0u) << page;
    const std::string links = readFileBytes(path("links.tsv"));
    EXPECT_EQ(rowWith(links, kUrl, server.url("/inner.html")).at(kKind), "iframe") << links;
    EXPECT_EQ(rowWith(links, kUrl, server.url("/later.html")).at(kKind), "refresh") << links;
}

// With --check-links every resource a browser would fetch is asked for once, stylesheets read for
// what they ask for in turn, and each broken one is named with the line it was written on.
TEST_F(BrowserCrawl, BrokenResourcesAreFoundAndNamed) {
    // A NUL byte early in the page hides none of what follows it.
    server.addPage("/", std::string("<title>Home</title>\0\n", 21) +
                            "<script src=missing.js></script>\n"
                            "<link rel=stylesheet href=site.css>\n"
                            "<img src=ok.png srcset=\"ok.png 1x, gone.png 2x\">\n"
                            "<a href=\"http://localhost]/\">bad address</a>\n"
                            "<div style=\"background: url(inline-gone.png)\">x</div>\n"
                            "<link rel=stylesheet href=missing.css>\n");
    Page sheet;
    sheet.contentType = "text/css";
    sheet.body = "@import \"more.css\";\nbody { background: url('bg-gone.png') }\n/* url(commented.png) */\n";
    server.addPage("/site.css", sheet);
    sheet.body = "p { background: url(ok.png) }";
    server.addPage("/more.css", sheet);
    Page image;
    image.contentType = "image/png";
    image.body = "png";
    server.addPage("/ok.png", image);
    ASSERT_EQ(server.start(), 0);
    CliResult crawl =
        runCli({"crawl", server.url("/"), "--check-links", "--links-report", path("links.tsv")});
    EXPECT_EQ(crawl.exitCode, 1) << crawl.err;
    for (const char* resource : {"/missing.js", "/site.css", "/more.css", "/ok.png", "/gone.png",
                                 "/bg-gone.png", "/inline-gone.png", "/missing.css"})
        EXPECT_EQ(server.requestCount(resource), 1u) << resource;
    EXPECT_EQ(server.requestCount("/commented.png"), 0u);

    const std::string links = readFileBytes(path("links.tsv"));
    const std::pair<const char*, const char*> broken[] = {
        {"/missing.js", "2"}, {"/gone.png", "4"}, {"/inline-gone.png", "6"}, {"/missing.css", "7"}};
    for (const auto& [resource, line] : broken) {
        const auto row = rowWith(links, kUrl, server.url(resource));
        ASSERT_GT(row.size(), kLine) << resource << "\n" << links;
        EXPECT_EQ(row[kTarget], "broken 404") << resource;
        EXPECT_EQ(row[kVerdict], "broken") << resource;
        EXPECT_EQ(row[kLine], line) << resource;
    }
    const auto fromSheet = rowWith(links, kUrl, server.url("/bg-gone.png"));
    ASSERT_GT(fromSheet.size(), kVerdict) << links;
    EXPECT_EQ(fromSheet[kPage], server.url("/site.css"));
    EXPECT_EQ(fromSheet[kVerdict], "broken");
    EXPECT_EQ(rowWith(links, kUrl, server.url("/site.css")).at(kVerdict), "ok");
    const auto invalid = rowWith(links, kUrl, "http://localhost]/");
    ASSERT_GT(invalid.size(), kVerdict) << links;
    EXPECT_EQ(invalid[kTarget], "broken: Error - Invalid address");
    EXPECT_EQ(invalid[kVerdict], "broken");
}

// Links that leave the site are asked about once, HEAD first, and never followed further; the
// crawl's exit status counts the broken ones only when they were checked.
TEST_F(BrowserCrawl, OutboundLinksAreCheckedOnceWithoutCrawlingThem) {
    TestServer elsewhere;
    elsewhere.addPage("/page.html", "<title>Elsewhere</title><a href=deeper.html>deeper</a>");
    ASSERT_EQ(elsewhere.start(), 0);
    const std::string other = "http://localhost:" + std::to_string(elsewhere.port());
    server.addPage("/", "<title>Home</title><a href=\"" + other + "/page.html\">a page</a><a href=\"" +
                            other + "/gone.html\">gone</a><img src=\"" + other + "/gone.png\">");
    ASSERT_EQ(server.start(), 0);

    CliResult unchecked = runCli({"crawl", server.url("/"), "--limit", "host"});
    EXPECT_EQ(unchecked.exitCode, 0) << unchecked.err;
    EXPECT_TRUE(elsewhere.requests().empty());

    CliResult checked = runCli({"crawl", server.url("/"), "--limit", "host", "--check-external",
                                "--links-report", path("links.tsv")});
    EXPECT_EQ(checked.exitCode, 1) << checked.err;
    for (const char* target : {"/page.html", "/gone.html", "/gone.png"})
        EXPECT_EQ(elsewhere.requestCount(target), 1u) << target;
    EXPECT_EQ(elsewhere.requestCount("/deeper.html"), 0u);
    for (const auto& request : elsewhere.requests())
        EXPECT_EQ(request.method, "HEAD") << request.path;
    const std::string links = readFileBytes(path("links.tsv"));
    EXPECT_EQ(rowWith(links, kUrl, other + "/gone.html").at(kTarget), "broken 404") << links;
    EXPECT_EQ(rowWith(links, kUrl, other + "/page.html").at(kTarget), "checked 200") << links;

    // A server that refuses HEAD is asked again with GET.
    elsewhere.clearLog();
    elsewhere.setRefuseHead(true);
    CliResult again = runCli({"crawl", server.url("/"), "--limit", "host", "--check-external"});
    EXPECT_EQ(again.exitCode, 1) << again.err;
    EXPECT_EQ(elsewhere.requestCount("/page.html"), 2u);
    EXPECT_EQ(elsewhere.requestCount("/deeper.html"), 0u);
}

// The date in a sitemap comes from the reply's own header: a page whose server sent none, but whose
// text mentions one, has no date; a header value that looks like a link is not crawled.
TEST_F(BrowserCrawl, HeadersAreReadFromTheHeadOnly) {
    Page home;
    home.body = "<title>Home</title><pre>\nLast-Modified: Tue, 01 Jan 1980 00:00:00 GMT\n</pre><a "
                "href=dated.html>d</a>";
    home.headers.push_back({"X-Note", "<a href=from-a-header.html>"});
    server.addPage("/", home);
    Page dated;
    dated.body = "<title>Dated</title>";
    dated.lastModified = "Wed, 02 Dec 2026 10:00:00 GMT";
    server.addPage("/dated.html", dated);
    ASSERT_EQ(server.start(), 0);
    ASSERT_EQ(runCli({"crawl", server.url("/"), "--save", path("site.web")}).exitCode, 0);
    EXPECT_EQ(server.requestCount("/from-a-header.html"), 0u);
    CliResult sitemap = runCli({"export", path("site.web"), "--sitemap-xml", path("sitemap.xml")});
    ASSERT_EQ(sitemap.exitCode, 0) << sitemap.err;
    const std::string xml = readFileBytes(path("sitemap.xml"));
    EXPECT_EQ(xml.find("1980"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<lastmod>2026-12-02</lastmod>"), std::string::npos) << xml;
}

// A checked resource that redirects is followed only where a page would be: a hop outside the
// limits is not asked for unless links outside them are checked.
TEST_F(BrowserCrawl, CheckedResourcesRedirectOnlyWithinTheLimits) {
    TestServer elsewhere;
    elsewhere.addPage("/landing.html", "<title>Elsewhere</title>");
    ASSERT_EQ(elsewhere.start(), 0);
    const std::string away = "http://localhost:" + std::to_string(elsewhere.port()) + "/landing.html";
    server.addPage("/", "<title>Home</title><img src=jump.png><embed src=stay.swf>");
    server.addRedirect("/jump.png", 302, away);
    server.addRedirect("/stay.swf", 301, "/here.html");
    server.addPage("/here.html", "<title>Here</title>");
    ASSERT_EQ(server.start(), 0);

    CliResult within = runCli(
        {"crawl", server.url("/"), "--limit", "host", "--check-links", "--links-report", path("links.tsv")});
    EXPECT_EQ(within.exitCode, 1) << within.err;
    EXPECT_TRUE(elsewhere.requests().empty());
    EXPECT_EQ(server.requestCount("/here.html"), 1u);
    const std::string links = readFileBytes(path("links.tsv"));
    EXPECT_EQ(rowWith(links, kUrl, server.url("/jump.png")).at(kTarget),
              "broken: Error - Redirected outside the limits to " + away)
        << links;
    EXPECT_EQ(rowWith(links, kUrl, server.url("/stay.swf")).at(kVerdict), "ok") << links;

    CliResult outside =
        runCli({"crawl", server.url("/"), "--limit", "host", "--check-links", "--check-external"});
    EXPECT_EQ(outside.exitCode, 0) << outside.err;
    EXPECT_EQ(elsewhere.requestCount("/landing.html"), 1u);
}
