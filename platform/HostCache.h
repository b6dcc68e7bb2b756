#pragma once

#include "Socket.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace lurvik {

// Remembers name look-ups for one crawl, so a host is looked up once rather than once per page.
// Answers are kept for a bounded time (addresses change, and a crawl can run for days); a failed
// look-up is kept briefly too, so a dead name in a thousand links costs one query, not a thousand.
// While one thread looks a name up, others asking for it wait for that answer in blocking-hook
// slices, so each of them can still be cancelled.
class HostCache {
public:
    explicit HostCache(int lifetimeMs = 300000, int failureLifetimeMs = 10000)
        : m_lifetimeMs(lifetimeMs), m_failureLifetimeMs(failureLifetimeMs) {}

    // As resolveHost, through the cache.
    [[nodiscard]] SocketError resolve(const std::string& host, int port, std::vector<SocketAddress>& out,
                                      int timeoutMs);
    void clear();
    // How many look-ups went to the resolver: for tests and benchmarks.
    int lookups() const;

private:
    struct Entry {
        bool isPending = false;
        SocketError result = SocketError::None;
        std::vector<SocketAddress> addresses;
        int64_t expires = 0;
    };

    int m_lifetimeMs;
    int m_failureLifetimeMs;
    mutable std::mutex m_mutex;
    std::condition_variable m_answered;
    std::map<std::string, Entry> m_entries;
    int m_lookups = 0;
};

} // namespace lurvik
