#include "retrieval/ConnectionPool.h"
#include "TimeScale.h"
#include "platform/BlockingHook.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace lurvik;

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
