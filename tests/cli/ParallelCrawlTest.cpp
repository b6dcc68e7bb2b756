#include "CliRunner.h"
#include "SiteGenerator.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <functional>
#include <thread>

using namespace lurvik::test;

namespace {

// Replies that take a few milliseconds each, different for each address, so that with many agents
// pages come back in an order of their own rather than the order they were asked for.
void serveShuffled(TestServer& server, const SiteGenerator& site) {
    server.serveGenerated([&site](const std::string& path, Page& page) {
        const auto found = site.files().find(path);
        if (found == site.files().end())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::hash<std::string>()(path) % 6));
        page.body = found->second;
        if (path.ends_with(".gif"))
            page.contentType = "image/gif";
        else if (!path.ends_with(".html"))
            page.contentType = "application/octet-stream";
        return true;
    });
}

// A saved map's bytes, unpacked, with the time it was saved (16 bytes after the magic and the
// header's size and flags) blanked out.
std::string mapWithoutSaveTime(const std::string& path) {
    std::string bytes;
    gzFile file = gzopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    char buffer[65536];
    for (int got; (got = gzread(file, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, static_cast<size_t>(got));
    gzclose(file);
    if (bytes.size() > 40)
        bytes.replace(24, 16, 16, '\0');
    return bytes;
}

// One agent fetches and files pages in the order they were queued; eight fetch many at once and
// their replies and scans end in any order. The site they find must be the same to the byte: the
// map, the tree with each page under the page that first led to it, and both reports, failed
// pages (missing, refused by robots.txt, a server error) and a redirect included.
TEST(ParallelCrawl, OneAgentAndEightSaveTheSameMapAndReports) {
    TemporaryDirectory dir("lurvik-parallel");
    const SiteGenerator site(SiteOptions{20261207, 300});
    TestServer server;
    serveShuffled(server, site);
    const std::string& refused = site.manifest().pages.at(40).target;
    server.addPage("/robots.txt",
                   Page{200, "", "text/plain", "User-agent: *\nDisallow: " + refused + "\n", "", {}});
    std::string index = site.files().at("/index.html");
    index += "<a href=/moved.html>moved</a><a href=/broken.html>broken</a>";
    server.addPage("/index.html", index);
    server.addRedirect("/moved.html", 301, site.manifest().pages.at(120).target);
    server.addPage("/broken.html",
                   Page{500, "", "text/html", "<title>Down</title><a href=/never.html>x</a>", "", {}});
    ASSERT_EQ(server.start(), 0);

    auto crawl = [&](const std::string& agents) {
        const std::string name = dir.path() + "/agents" + agents;
        const CliResult result =
            runCli({"crawl", server.url("/index.html"), "--limit", "host", "--robots", "--agents", agents,
                    "--save", name + ".web", "--report", name + ".pages", "--links-report", name + ".links"});
        EXPECT_EQ(result.exitCode, 1) << result.err; // the site has broken links
        const CliResult tree = runCli({"tree", name + ".web"});
        EXPECT_EQ(tree.exitCode, 0) << tree.err;
        return std::vector<std::string>{mapWithoutSaveTime(name + ".web"), tree.out,
                                        readFileBytes(name + ".pages"), readFileBytes(name + ".links")};
    };
    const std::vector<std::string> one = crawl("1");
    const std::vector<std::string> eight = crawl("8");
    ASSERT_GT(one[0].size(), 100000u);
    ASSERT_GT(one[1].size(), 10000u);
    EXPECT_NE(one[2].find("Disallowed by robots.txt"), std::string::npos);
    EXPECT_NE(one[2].find("500"), std::string::npos);
    EXPECT_TRUE(one[0] == eight[0]) << "the saved maps differ";
    EXPECT_EQ(one[1], eight[1]);
    EXPECT_EQ(one[2], eight[2]);
    EXPECT_EQ(one[3], eight[3]);
}

} // namespace
