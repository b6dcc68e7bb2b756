#include "retrieval/AgentPool.h"
#include "TestServer.h"
#include "platform/Clock.h"
#include "retrieval/SiteEngine.h"

#include <gtest/gtest.h>

using namespace lurvik;
using lurvik::test::TestServer;

TEST(AgentPool, BalancingCreatesDeletesAndMovesOnlyIdleAgents) {
    AgentPool pool;
    pool.setAgentCounts(1, 4);
    EXPECT_EQ(pool.foregroundAgents.len(), 1);
    EXPECT_EQ(pool.backgroundAgents.len(), 4);

    pool.setAgentCounts(2, 2);
    EXPECT_EQ(pool.foregroundAgents.len(), 2);
    EXPECT_EQ(pool.backgroundAgents.len(), 2);

    pool.setAgentCounts(0, 1);
    EXPECT_EQ(pool.foregroundAgents.len(), 0);
    EXPECT_EQ(pool.backgroundAgents.len(), 1);

    pool.halted = 1;
    EXPECT_EQ(pool.getBackgroundAgent(), nullptr);
    EXPECT_EQ(pool.getForegroundAgent(), nullptr);
}

TEST(AgentPool, ForegroundRequestTakesOverARunningBackgroundAgent) {
    TestServer server;
    server.addStalled("/slow.html");
    ASSERT_EQ(server.start(), 0);
    SiteEngine engine;
    AgentPool pool;
    pool.setAgentCounts(1, 4);

    std::vector<SiteNode*> nodes;
    for (Agent* agent : pool.foregroundAgents) {
        SiteNode* node = engine.findOrAddNode(URL(server.url("/slow.html")), 0);
        ASSERT_EQ(agent->startFetchThread(node->url, node), 0);
    }
    for (int i = 0; i < 4; ++i) {
        SiteNode* node = engine.findOrAddNode(URL(server.url("/p" + std::to_string(i) + ".html")), 0);
        server.addStalled("/p" + std::to_string(i) + ".html");
        nodes.push_back(node);
        node->state = NODE_RETRIEVING;
        ASSERT_EQ(pool.backgroundAgents.get(i)->startFetchThread(node->url, node), 0);
    }
    EXPECT_EQ(pool.countRunning(), 5);

    Agent* taken = pool.getForegroundAgent();
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->state, AGENT_IDLE);
    EXPECT_EQ(nodes[0]->state, NODE_WAITING) << "the first running background agent's page waits again";
    EXPECT_EQ(pool.foregroundAgents.len(), 2);
    EXPECT_EQ(pool.backgroundAgents.len(), 3);
    EXPECT_EQ(pool.foregroundAgents.get(1), taken);
    EXPECT_EQ(pool.countRunning(), 4);

    // Balancing leaves running agents where they are, and moves the idle one back.
    pool.balanceAgents();
    EXPECT_EQ(pool.foregroundAgents.len(), 1);
    EXPECT_EQ(pool.backgroundAgents.len(), 4);

    int64_t start = tickCount();
    pool.stopAllAgents();
    EXPECT_LT(tickCount() - start, 1000);
    EXPECT_EQ(pool.countRunning(), 0);
}
