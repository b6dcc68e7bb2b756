#pragma once

#include "TestFiles.h"
#include "TestServer.h"
#include "core/PageCache.h"
#include "platform/Clock.h"
#include "retrieval/RetrievalScheduler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace lurvik::test {

// An engine, a pool and a scheduler over a page cache in a temporary folder, with a loopback
// server to crawl: what every retrieval test starts from.
class CrawlFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(cacheDir.empty());
        CacheConfigure(1, Str(cacheDir + "/"), int64_t(64) << 20, 0);
        ASSERT_EQ(CacheBegin(), 0);
        ASSERT_EQ(server.start(), 0);
        pool.setUserAgent(1, "Lurvik/1.0");
        pool.setAgentCounts(1, 4);
        pool.connectTimeoutMs = 5000;
        pool.receiveTimeoutMs = 5000;
    }
    void TearDown() override {
        scheduler.stopRetrieval();
        engine.clearSite();
        CacheEnd();
    }

    // Starts at path and runs idle steps until the retrieval ends; false on a time-out.
    bool crawl(const std::string& path, int timeoutMs = 10000) {
        engine.findOrAddNode(URL(server.url(path)), 0);
        return runUntilIdle(timeoutMs);
    }
    bool runUntilIdle(int timeoutMs = 10000) {
        int64_t deadline = tickCount() + timeoutMs;
        while (engine.isBusy()) {
            if (tickCount() > deadline)
                return false;
            if (scheduler.idleHook() == 0)
                scheduler.waitForWork(5);
        }
        return true;
    }
    // The page at path. A page the crawl never made fails the test and reads as an empty waiting
    // page, so that the checks after it fail instead of crashing the whole suite.
    SiteNode* node(const std::string& path) {
        if (SiteNode* found = engine.findNode(URL(server.url(path)), true, true))
            return found;
        ADD_FAILURE() << "the crawl has no page " << path;
        missing.push_back(std::make_unique<SiteNode>());
        return missing.back().get();
    }
    // Every finished page by path, with its state.
    std::map<std::string, int> states() {
        std::map<std::string, int> out;
        engine.doneNodes.forEach(
            [&](SiteNode* n) { out[std::string(n->url.getRequestTarget())] = n->state; });
        return out;
    }

    TemporaryDirectory temporary{"lurvik-crawl-test"};
    const std::string& cacheDir = temporary.path();
    TestServer server;
    SiteEngine engine;
    AgentPool pool;
    RetrievalScheduler scheduler{engine, pool};
    std::vector<std::unique_ptr<SiteNode>> missing;
};

} // namespace lurvik::test
