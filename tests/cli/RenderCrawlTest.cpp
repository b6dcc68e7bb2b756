#include "CliRunner.h"
#include "render/BrowserProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

using namespace lurvik::test;

namespace {

using RenderCrawl = CliFixture;

// The report's line for the link to url, or empty.
std::string lineOf(const std::string& report, const std::string& url) {
    std::istringstream in(report);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find("\"url\": \"" + url + "\"") != std::string::npos)
            return line;
    }
    return {};
}

size_t countOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The crawl's links report marks the links only the rendered page holds and gives its requests'
// statuses; the map it saves gives the same once reopened.
TEST_F(RenderCrawl, LinksOnlyTheRenderedPageHoldsAreMarkedAndItsRequestsChecked) {
    if (lurvik::findBrowser("").empty())
        GTEST_SKIP() << "chromium-headless-shell is not installed: rendering is not tested";
    server.addPage("/index.html",
                   "<a href=plain.html>plain</a><script>"
                   "const a = document.createElement('a'); a.href = 'made.html'; a.textContent = 'made';"
                   " document.body.appendChild(a); fetch('gone.json').catch(() => {});</script>");
    server.addPage("/plain.html", "plain");
    server.addPage("/made.html", "made");
    ASSERT_EQ(server.start(), 0);

    const CliResult result = runCli({"crawl", server.url("/index.html"), "--render", "--render-tabs", "1",
                                     "--links-report", "-", "--format", "jsonl", "--save", path("site.web")});
    // The request that came back 404 is a broken link of the site.
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find("Rendered 3 pages"), std::string::npos) << result.err;
    const std::string made = lineOf(result.out, server.url("/made.html"));
    EXPECT_NE(made.find("\"rendered\": true"), std::string::npos) << result.out;
    EXPECT_NE(made.find("\"target\": \"done 200\""), std::string::npos) << made;
    const std::string plain = lineOf(result.out, server.url("/plain.html"));
    EXPECT_NE(plain.find("\"rendered\": false"), std::string::npos) << result.out;
    const std::string gone = lineOf(result.out, server.url("/gone.json"));
    EXPECT_NE(gone.find("\"target\": \"broken 404\""), std::string::npos) << result.out;
    EXPECT_NE(gone.find("\"verdict\": \"broken\""), std::string::npos) << gone;

    const CliResult reopened = runCli({"links", path("site.web")});
    ASSERT_EQ(reopened.exitCode, 0) << reopened.err;
    const std::string page = server.url("/index.html") + "\t";
    EXPECT_EQ(sortedLines(reopened.out),
              sortedLines(page + "http\t" + server.url("/plain.html") + "\tdone 200\tfalse\n" + page +
                          "http\t" + server.url("/made.html") + "\tdone 200\ttrue\n" + page + "resource\t" +
                          server.url("/gone.json") + "\tbroken 404\ttrue\n"));
}

TEST_F(RenderCrawl, WithoutTheBrowserTheCrawlSaysSoOnceAndGoesOn) {
    server.addPage("/index.html", "<a href=a.html>a</a> <a href=b.html>b</a>");
    server.addPage("/a.html", "a");
    server.addPage("/b.html", "b");
    ASSERT_EQ(server.start(), 0);
    setenv("LURVIK_BROWSER", "/nonexistent/chromium-headless-shell", 1);
    const CliResult result = runCli({"crawl", server.url("/index.html"), "--render", "--report", "-"});
    unsetenv("LURVIK_BROWSER");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(countOf(result.err, "rendering needs chromium-headless-shell"), 1u) << result.err;
    EXPECT_EQ(countOf(result.out, "\tdone\t200\t"), 3u) << result.out;
}

} // namespace
