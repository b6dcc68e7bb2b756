#include "../retrieval/CrawlFixture.h"
#include "SiteGenerator.h"
#include "TimeScale.h"
#include "find/FindEngine.h"
#include "find/ObjectTypes.h"
#include "platform/Clock.h"

#include <mutex>

using namespace lurvik;
using namespace lurvik::test;

namespace {

// What a search posted, as the test thread sees it.
struct Posts {
    FindEngine::Post callback() {
        return [this](int message, int wParam) {
            std::lock_guard guard(mutex);
            posted.emplace_back(message, wParam);
        };
    }
    std::vector<std::pair<int, int>> all() {
        std::lock_guard guard(mutex);
        return posted;
    }

    std::mutex mutex;
    std::vector<std::pair<int, int>> posted;
};

FindCriteria bodySearch(const char* text) {
    FindCriteria c;
    c.setTextCriteria(text, 0, 0, 1, 0, 0, 0, 0);
    for (auto set : {&FindCriteria::setSizeCriterion, &FindCriteria::setLinksCriterion,
                     &FindCriteria::setChildrenCriterion, &FindCriteria::setParentsCriterion,
                     &FindCriteria::setExternalCriterion})
        (c.*set)(-1, 0);
    return c;
}

class FindFetch : public CrawlFixture {
protected:
    SiteNode* donePage(const std::string& url, const char* title, int state = NODE_DONE) {
        auto node = std::make_unique<SiteNode>(URL(url));
        node->title = title;
        node->state = state;
        return engine.adoptDoneNode(std::move(node));
    }
    std::vector<std::string> titles(const FindEngine& find) {
        std::vector<std::string> out;
        for (int i = 0; i < find.resultCount(); ++i)
            out.push_back(find.result(i)->text.str());
        return out;
    }
};

} // namespace

TEST_F(FindFetch, BodiesMissingFromTheCacheAreFetchedThroughAPrivateAgent) {
    server.addPage("/a.html", "<html><body>the quick brown fox</body></html>");
    server.addPage("/b.html", "<html><body>a lazy dog</body></html>");
    donePage(server.url("/a.html"), "A");
    donePage(server.url("/b.html"), "B");
    donePage(server.url("/c.html"), "C");
    CacheSavePage(server.url("/c.html"), "", "HTTP/1.0 200 OK\r\n\r\n<p>a cached brown bear</p>");
    donePage(server.url("/failed.html"), "Error - Could not connect to host", NODE_ERROR);
    donePage("ftp://ftp.site.test/x.html", "not HTTP");

    FindEngine find(&engine, pool);
    find.criteria = bodySearch("brown");
    find.searchNow();
    EXPECT_EQ(titles(find), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(server.requestCount("/a.html"), 1u);
    EXPECT_EQ(server.requestCount("/b.html"), 1u);
    EXPECT_EQ(server.requestCount("/c.html"), 0u) << "the cache's copy serves";
    EXPECT_EQ(server.requestCount("/failed.html"), 0u) << "a failed page has no body to search";

    // Only pages that can be results are fetched.
    server.clearLog();
    find.criteria.setObjectTypeIndex(OBJECT_IMAGES);
    find.searchNow();
    EXPECT_EQ(server.requests().size(), 0u);
}

TEST_F(FindFetch, StopReturnsPromptlyOnAFiftyThousandPageSite) {
    server.addStalled("/p0.html");
    for (int i = 0; i < 50000; ++i)
        donePage(server.url("/p" + std::to_string(i) + ".html"), "Page");
    pool.receiveTimeoutMs = 60000;
    pool.connectTimeoutMs = 60000;

    // Stalled in a fetch that will never be answered.
    Posts posts;
    FindEngine find(&engine, pool);
    find.post = posts.callback();
    find.criteria = bodySearch("anything");
    ASSERT_EQ(find.startSearch(), 0);
    sleepMs(300);
    int64_t start = tickCount();
    find.stopSearch();
    int64_t stopMs = tickCount() - start;
    EXPECT_LT(stopMs, 800 * lurvik::test::kTimeScale) << "stopping a stalled fetch";
    EXPECT_FALSE(find.isSearching());

    // Walking pages whose owner takes its time over every count.
    find.criteria = bodySearch("");
    find.criteria.lookInBody = 0;
    find.pacing.reportIntervalMs = 0;
    find.post = [](int, int) { sleepMs(1); };
    ASSERT_EQ(find.startSearch(), 0);
    sleepMs(100);
    start = tickCount();
    find.stopSearch();
    EXPECT_LT(tickCount() - start, 800 * lurvik::test::kTimeScale) << "stopping the walk";
    EXPECT_LT(find.resultCount(), 50000);
    for (const auto& post : posts.all())
        EXPECT_NE(post.first, WM_FIND_DONE) << "a stopped search does not say it is done";
}

TEST_F(FindFetch, PacedBurstsStopAtTheStepShown) {
    SiteNode* page = donePage("http://site.test/many.html", "Many links");
    for (int i = 0; i < 350; ++i)
        page->links.add(LINK_HYPERLINK, URL("http://site.test/l" + std::to_string(i) + ".html"), "link");
    Posts posts;
    FindEngine find(&engine, pool);
    find.post = posts.callback();
    find.criteria = bodySearch("");
    // No body to fetch: the page's host is made up, and a fetch would ask a name server for it.
    find.criteria.lookInBody = 0;
    find.criteria.setObjectTypeIndex(OBJECT_ALL_LINKS);
    find.pacing.paceBursts = true;
    find.pacing.pauseMs = 1;
    find.searchNow();
    EXPECT_EQ(find.resultCount(), 351);
    EXPECT_EQ(
        posts.all(),
        (std::vector<std::pair<int, int>>{
            {WM_FIND_RESULTS, 100}, {WM_FIND_RESULTS, 200}, {WM_FIND_RESULTS, 300}, {WM_FIND_DONE, 0}}));

    Posts paused;
    find.post = paused.callback();
    find.pacing.pauseMs = 10000;
    ASSERT_EQ(find.startSearch(), 0);
    for (int i = 0; i < 2000 && paused.all().empty(); ++i)
        sleepMs(5);
    int64_t start = tickCount();
    find.stopSearch();
    EXPECT_LT(tickCount() - start, 1000) << "a stop ends the pause";
    EXPECT_EQ(find.resultCount(), 201) << "up to and including the next step";
    EXPECT_EQ(paused.all(), (std::vector<std::pair<int, int>>{{WM_FIND_RESULTS, 100}}));
}

// Run under ThreadSanitizer: searches read the nodes and the page cache while the retrieval on
// this thread adds pages, links children and stores replies.
TEST_F(FindFetch, SearchesWhileARetrievalRuns) {
    SiteGenerator site(SiteOptions{3, 120});
    for (const auto& [path, bytes] : site.files())
        server.addPage(path, bytes);
    engine.findOrAddNode(URL(server.url("/index.html")), 0);

    Posts posts;
    FindEngine find(&engine, pool);
    find.post = posts.callback();
    find.criteria = bodySearch("a");
    find.criteria.lookInTitle = 1;
    find.criteria.setObjectTypeIndex(OBJECT_ALL_LINKS);
    find.pacing.reportIntervalMs = 0;
    int searches = 0;
    int64_t deadline = tickCount() + 30000;
    while (engine.isBusy() && tickCount() < deadline) {
        if (!find.isSearching()) {
            ASSERT_EQ(find.startSearch(), 0);
            ++searches;
        }
        if (scheduler.idleHook() == 0)
            scheduler.waitForWork(5);
    }
    ASSERT_FALSE(engine.isBusy()) << "the retrieval did not end";
    find.stopSearch();
    EXPECT_GE(searches, 2) << "searches overlapped the retrieval";

    find.criteria = bodySearch("");
    find.criteria.lookInTitle = 1;
    find.searchNow();
    EXPECT_EQ(find.resultCount(), engine.doneNodes.len());
    EXPECT_EQ(static_cast<size_t>(find.resultCount()),
              site.manifest().pages.size() + site.manifest().brokenPages.size());
}
