#include "platform/HostCache.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace lurvik {

// Agents asking for the same host at once make one look-up between them; a name that does not
// resolve is not asked again while its failure is fresh; literal addresses never reach it.
TEST(HostCache, LooksEachNameUpOnce) {
    HostCache cache;
    std::vector<std::thread> agents;
    std::vector<SocketError> results(6, SocketError::Failed);
    std::vector<std::vector<SocketAddress>> found(6);
    for (int i = 0; i < 6; ++i)
        agents.emplace_back([&, i] { results[i] = cache.resolve("localhost", 8000 + i, found[i], 5000); });
    for (std::thread& agent : agents)
        agent.join();
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(results[i], SocketError::None);
        ASSERT_FALSE(found[i].empty());
        EXPECT_NE(found[i][0].text().find(":" + std::to_string(8000 + i)), std::string::npos)
            << "each asker gets its own port";
    }
    EXPECT_EQ(cache.lookups(), 1);

    // A first label longer than DNS allows fails in the resolver itself, with no name server asked.
    const std::string unresolvable = std::string(64, 'x') + ".invalid";
    std::vector<SocketAddress> none;
    EXPECT_EQ(cache.resolve(unresolvable, 80, none, 5000), SocketError::Failed);
    EXPECT_EQ(cache.resolve(unresolvable, 80, none, 5000), SocketError::Failed);
    EXPECT_EQ(cache.resolve("127.0.0.1", 80, none, 5000), SocketError::None);
    EXPECT_EQ(cache.lookups(), 2);

    HostCache shortLived(0, 0);
    EXPECT_EQ(shortLived.resolve("localhost", 80, none, 5000), SocketError::None);
    EXPECT_EQ(shortLived.resolve("localhost", 80, none, 5000), SocketError::None);
    EXPECT_EQ(shortLived.lookups(), 2) << "an answer past its lifetime is asked for again";
}

} // namespace lurvik
