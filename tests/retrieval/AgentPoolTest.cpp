#include "retrieval/AgentPool.h"
#include "TestServer.h"
#include "TimeScale.h"
#include "platform/BlockingHook.h"
#include "platform/Clock.h"
#include "retrieval/ConnectionPool.h"
#include "retrieval/SiteEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

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

// The spares wait for a thread as the crawl's agents: no more requests at once than agents, the
// spares' pages fetched as threads come free, and a cancelled spare that never got a thread ends
// at once without its request being made. An agent no list holds is not kept waiting behind them.
TEST(AgentPool, SparesWaitTheirTurnAndOthersDoNot) {
    TestServer server;
    const int pages = 2 + 2 * AgentPool::kSparesPerAgent;
    for (int i = 0; i < pages; ++i)
        server.addPage("/p" + std::to_string(i) + ".html", "<title>P</title>");
    server.addPage("/own.html", "<title>Own</title>");
    server.addStalled("/stalled.html");
    server.setReplyDelay(std::chrono::milliseconds(150));
    ASSERT_EQ(server.start(), 0);
    AgentPool pool;
    pool.setAgentCounts(0, 2);
    ASSERT_EQ(pool.spareAgents.len(), pages - 2);

    std::vector<Agent*> agents;
    for (Agent* agent : pool.backgroundAgents)
        agents.push_back(agent);
    for (Agent* agent : pool.spareAgents)
        agents.push_back(agent);
    for (size_t i = 0; i < agents.size(); ++i)
        ASSERT_EQ(agents[i]->startFetchThread(URL(server.url("/p" + std::to_string(i) + ".html")), nullptr),
                  0);
    Agent* cancelled = agents.back();
    cancelled->requestCancel();
    EXPECT_EQ(cancelled->state, AGENT_CANCELLED) << "a spare still waiting ends without a thread";
    const int64_t deadline = tickCount() + 10000 * lurvik::test::kTimeScale;
    while (tickCount() < deadline && std::any_of(agents.begin(), agents.end(),
                                                 [](Agent* agent) { return agent->state == AGENT_RUNNING; }))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (size_t i = 0; i + 1 < agents.size(); ++i) {
        EXPECT_EQ(agents[i]->state, AGENT_FINISHED) << i;
        EXPECT_EQ(agents[i]->status, 200) << i;
    }
    EXPECT_EQ(server.mostRequestsAtOnce(), 2);
    EXPECT_EQ(server.requestCount("/p" + std::to_string(pages - 1) + ".html"), 0u);
    for (Agent* agent : agents)
        agent->resetAgent();

    for (Agent* agent : pool.backgroundAgents)
        ASSERT_EQ(agent->startFetchThread(URL(server.url("/stalled.html")), nullptr), 0);
    for (Agent* agent : pool.spareAgents)
        ASSERT_EQ(agent->startFetchThread(URL(server.url("/p0.html")), nullptr), 0);
    Agent own(pool);
    ASSERT_EQ(own.startFetchThread(URL(server.url("/own.html")), nullptr), 0);
    const int64_t ownDeadline = tickCount() + 10000 * lurvik::test::kTimeScale;
    while (own.state == AGENT_RUNNING && tickCount() < ownDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(own.state, AGENT_FINISHED) << "the threads are all held by stalled pages";
    EXPECT_EQ(pool.spareAgents.get(0)->state, AGENT_RUNNING) << "the spares still wait their turn";
    pool.stopAllAgents();
    EXPECT_EQ(pool.countRunning(), 0);
}

// A host at its limit makes the next agent wait until a connection is given up, and a cancel ends
// that wait; requests to one host are spaced by the delay, other hosts are not held up by it.
TEST(ConnectionPool, LimitsAndDelayPerHost) {
    ConnectionPool pool;
    pool.setLimits({2, 100, 4000});
    std::unique_ptr<HttpConnection> connection;
    ASSERT_EQ(pool.acquire("http://a", false, connection), SocketError::None);
    ASSERT_EQ(pool.acquire("http://a", false, connection), SocketError::None);
    EXPECT_EQ(connection, nullptr) << "no kept connection yet: the right to open one";
    ASSERT_EQ(pool.acquire("http://b", false, connection), SocketError::None) << "another host";

    std::atomic<bool> third{false};
    std::thread waiter([&] {
        std::unique_ptr<HttpConnection> mine;
        EXPECT_EQ(pool.acquire("http://a", false, mine), SocketError::None);
        third = true;
    });
    sleepMs(100);
    EXPECT_FALSE(third.load()) << "a host at its limit waits";
    pool.discard("http://a");
    waiter.join();
    EXPECT_TRUE(third.load());

    setBlockingHook([] { cancelBlockingCall(); });
    EXPECT_EQ(pool.acquire("http://a", false, connection), SocketError::Cancelled);
    unhookBlockingHook();

    const int64_t start = tickCount();
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(pool.waitTurn("http://a"), SocketError::None);
    ASSERT_EQ(pool.waitTurn("http://b"), SocketError::None);
    const int64_t elapsed = tickCount() - start;
    EXPECT_GE(elapsed, 300);
    EXPECT_LT(elapsed, 400 + 500 * lurvik::test::kTimeScale);
}
