#include "retrieval/ScanPool.h"
#include "retrieval/SiteNode.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

using namespace lurvik;

namespace {

std::string pageWithLinks(int number, int links) {
    std::string html = "<title>Page " + std::to_string(number) + "</title>";
    for (int i = 0; i < links; ++i)
        html += "<a href=\"p" + std::to_string(i) + ".html\">link</a>";
    return html;
}

// Waits for `count` results, as the main loop does: woken by the pool, taking what is finished.
std::vector<ScannedPage> takeAll(ScanPool& pool, size_t count) {
    std::mutex mutex;
    std::condition_variable woken;
    pool.setOnFinished([&] { woken.notify_all(); });
    std::vector<ScannedPage> all;
    std::vector<ScannedPage> some;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (all.size() < count && std::chrono::steady_clock::now() < deadline) {
        pool.takeFinished(some);
        for (ScannedPage& page : some)
            all.push_back(std::move(page));
        std::unique_lock lock(mutex);
        woken.wait_for(lock, std::chrono::milliseconds(5));
    }
    pool.setOnFinished(nullptr);
    return all;
}

} // namespace

// Each result belongs to the page it was scanned from, whichever thread scanned it; a cancel
// leaves no result behind, even of scans that were running, and the pool scans again afterwards.
TEST(ScanPool, ResultsMatchTheirPagesAndACancelLeavesNone) {
    ScanPool pool(3);
    std::vector<SiteNode> nodes(40);
    const URL base("http://example.test/dir/");
    for (int i = 0; i < 40; ++i)
        pool.submit(&nodes[i], Str(pageWithLinks(i, i)), base, LinkReading::Browser);
    std::vector<ScannedPage> results = takeAll(pool, 40);
    ASSERT_EQ(results.size(), 40u);
    EXPECT_EQ(pool.outstanding(), 0);
    std::map<const SiteNode*, const ScannedPage*> byNode;
    for (const ScannedPage& result : results)
        byNode[result.node] = &result;
    ASSERT_EQ(byNode.size(), 40u) << "every page once";
    for (int i = 0; i < 40; ++i) {
        const ScannedPage& result = *byNode[&nodes[i]];
        EXPECT_EQ(std::string(result.title.text()), "Page " + std::to_string(i));
        ASSERT_EQ(result.links.len(), i);
        if (i > 0) {
            EXPECT_EQ(result.links.get(i - 1)->url.view(),
                      "http://example.test/dir/p" + std::to_string(i - 1) + ".html");
        }
    }

    const Str big(pageWithLinks(0, 200000));
    for (SiteNode& node : nodes)
        pool.submit(&node, big, base, LinkReading::Browser);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    pool.cancelAll();
    EXPECT_EQ(pool.outstanding(), 0);
    pool.takeFinished(results);
    EXPECT_TRUE(results.empty());

    pool.submit(&nodes[7], Str(pageWithLinks(7, 3)), base, LinkReading::Classic);
    results = takeAll(pool, 1);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].node, &nodes[7]);
    EXPECT_EQ(results[0].links.len(), 3);
}

// A scan on the caller's thread finds what the pool's threads find; one that a cancel reached while
// it ran gives nothing, never a page's first links passed off as all of them.
TEST(ScanPool, AScanHereIsWholeOrNothing) {
    ScanPool pool(1);
    SiteNode node;
    const URL base("http://example.test/dir/");
    std::optional<ScannedPage> here =
        pool.scanHere(&node, Str(pageWithLinks(5, 12)), base, LinkReading::Browser);
    ASSERT_TRUE(here);
    EXPECT_EQ(here->node, &node);
    EXPECT_EQ(std::string(here->title.text()), "Page 5");
    ASSERT_EQ(here->links.len(), 12);
    EXPECT_EQ(here->links.get(11)->url.view(), "http://example.test/dir/p11.html");

    constexpr int kLinks = 90000; // fewer than a page may keep
    const Str big(pageWithLinks(0, kLinks));
    int cancelledOnes = 0;
    for (int round = 0; round < 6; ++round) {
        std::optional<ScannedPage> result;
        std::thread scanning([&] { result = pool.scanHere(&node, big, base, LinkReading::Browser); });
        std::this_thread::sleep_for(std::chrono::milliseconds(round * 2));
        pool.cancelAll();
        scanning.join();
        if (result)
            EXPECT_EQ(result->links.len(), kLinks) << "round " << round;
        else
            ++cancelledOnes;
    }
    EXPECT_GT(cancelledOnes, 0) << "a cancel came while a scan ran in some round";
}
