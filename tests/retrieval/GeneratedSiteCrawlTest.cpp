#include "CrawlFixture.h"
#include "SiteGenerator.h"

#include <filesystem>
#include <set>

using namespace lurvik;
using lurvik::test::CrawlFixture;
using lurvik::test::SiteGenerator;
using lurvik::test::SiteOptions;

using lurvik::test::ReplyCoding;

// How the server speaks: the tree must come out the same whichever way the bytes travel.
struct Wire {
    const char* name;
    ReplyCoding coding;
    bool keepAlive;
    int closeAfter;      // replies before the server silently drops a kept connection
    int mostConnections; // what the server may see opened in all; 0: no bound
};

class GeneratedSiteCrawl : public CrawlFixture, public ::testing::WithParamInterface<Wire> {};

// The whole generated site, crawled as the program crawls: every page exactly once, every broken
// page link failed with its 404, and nothing else asked for.
//
// Pages finish out of order with several agents, so a page may first be found from a deeper page
// than its nearest one: its level is never below the shortest distance, and is always one more
// than the level of a page that links to it.
namespace {
void expectLevel(const SiteNode* n, int shortest, const std::string& target) {
    EXPECT_GE(n->level, shortest) << target;
    if (n->level == 0)
        return;
    bool fromParent = false;
    for (const SiteNode* parent : n->parents)
        fromParent = fromParent || parent->level + 1 == n->level;
    EXPECT_TRUE(fromParent) << target;
}
} // namespace

TEST_P(GeneratedSiteCrawl, FindsEveryPageOnceAndReportsEveryBrokenLink) {
    const Wire& wire = GetParam();
    SiteGenerator site(SiteOptions{20261206, 400});
    std::string root = cacheDir + "/site";
    ASSERT_EQ(site.writeTo(root), 0);
    server.serveDirectory(root);
    server.stop();
    server.setCoding(wire.coding);
    server.setKeepAlive(wire.keepAlive);
    server.setCloseAfter(wire.closeAfter);
    ASSERT_EQ(server.start(), 0);
    pool.setAgentCounts(1, 8);
    engine.limitMode = LIMIT_HOST;
    ASSERT_TRUE(crawl("/index.html", 60000));

    std::map<std::string, SiteNode*> found;
    engine.doneNodes.forEach([&](SiteNode* n) { found[std::string(n->url.getPath())] = n; });
    const auto& manifest = site.manifest();
    ASSERT_EQ(found.size(), manifest.pages.size() + manifest.brokenPages.size());
    for (const auto& page : manifest.pages) {
        SiteNode* n = found[page.target];
        ASSERT_NE(n, nullptr) << page.target;
        EXPECT_EQ(n->state, NODE_DONE) << page.target;
        EXPECT_EQ(n->title.view(), page.title) << page.target;
        expectLevel(n, page.level, page.target);
    }
    for (const auto& broken : manifest.brokenPages) {
        SiteNode* n = found[broken.target];
        ASSERT_NE(n, nullptr) << broken.target;
        EXPECT_EQ(n->state, NODE_ERROR);
        EXPECT_EQ(n->title, wire.keepAlive ? "HTTP/1.1 404 Not Found" : "HTTP/1.0 404 Not Found");
        expectLevel(n, broken.level, broken.target);
    }

    std::multiset<std::string> requested;
    for (const auto& request : server.requests())
        requested.insert(request.path.substr(0, request.path.find('#')));
    for (const auto& [path, node] : found)
        EXPECT_EQ(requested.count(path), 1u) << path;
    EXPECT_EQ(requested.size(), found.size()) << "images, downloads and other hosts are not fetched";
    for (const auto& external : manifest.external)
        EXPECT_EQ(engine.findNode(URL(external.target), true, true), nullptr) << external.target;
    // Eight agents share the kept connections: one each, and a few more where a server dropped one.
    if (wire.mostConnections > 0) {
        EXPECT_LE(server.connectionsAccepted(), wire.mostConnections);
    }
    EXPECT_GE(server.connectionsAccepted(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Wires, GeneratedSiteCrawl,
    ::testing::Values(Wire{"KeptConnections", ReplyCoding::Plain, true, 0, 8 + 4},
                      Wire{"ServerClosesEachConnection", ReplyCoding::Plain, false, 0, 0},
                      Wire{"ServerDropsKeptConnections", ReplyCoding::Plain, true, 3, 0},
                      Wire{"Chunked", ReplyCoding::Chunked, true, 0, 8 + 4},
                      Wire{"Gzip", ReplyCoding::Gzip, true, 0, 8 + 4},
                      Wire{"Deflate", ReplyCoding::Deflate, true, 0, 8 + 4},
                      Wire{"GzipChunked", ReplyCoding::GzipChunked, true, 0, 8 + 4}),
    [](const ::testing::TestParamInfo<Wire>& info) { return std::string(info.param.name); });
