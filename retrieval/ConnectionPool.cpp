#include "ConnectionPool.h"

#include "platform/BlockingHook.h"
#include "platform/Clock.h"

namespace lurvik {

ConnectionPool::~ConnectionPool() {
    closeIdle();
}

void ConnectionPool::setLimits(const Limits& limits) {
    std::lock_guard lock(m_mutex);
    m_limits = limits;
    if (m_limits.perHost < 1)
        m_limits.perHost = 1;
    m_changed.notify_all();
}

ConnectionPool::Limits ConnectionPool::limits() const {
    std::lock_guard lock(m_mutex);
    return m_limits;
}

void ConnectionPool::dropExpired(int64_t now) {
    for (auto& [key, host] : m_hosts) {
        for (auto it = host.kept.begin(); it != host.kept.end();) {
            if (now - it->since < m_limits.idleMs && !it->connection->isClosedByPeer()) {
                ++it;
                continue;
            }
            it = host.kept.erase(it);
            --host.open;
        }
    }
}

SocketError ConnectionPool::acquire(const std::string& key, bool fresh,
                                    std::unique_ptr<HttpConnection>& out) {
    out.reset();
    beginBlockingCall();
    std::unique_lock lock(m_mutex);
    for (;;) {
        dropExpired(tickCount());
        Host& host = m_hosts[key];
        if (!fresh && !host.kept.empty()) {
            // The most recently used connection is the least likely to have been dropped.
            out = std::move(host.kept.back().connection);
            host.kept.pop_back();
            return SocketError::None;
        }
        if (host.open < m_limits.perHost) {
            ++host.open;
            ++m_opened;
            return SocketError::None;
        }
        if (fresh && !host.kept.empty()) {
            // A fresh connection is wanted and the host is at its limit: give up a kept one.
            host.kept.erase(host.kept.begin());
            --host.open;
            continue;
        }
        lock.unlock();
        bool cancelled = runBlockingHook();
        lock.lock();
        if (cancelled)
            return SocketError::Cancelled;
        m_changed.wait_for(lock, std::chrono::milliseconds(kBlockingSliceMs));
    }
}

void ConnectionPool::release(const std::string& key, std::unique_ptr<HttpConnection> connection) {
    std::lock_guard lock(m_mutex);
    m_hosts[key].kept.push_back({std::move(connection), tickCount()});
    m_changed.notify_all();
}

void ConnectionPool::discard(const std::string& key) {
    std::lock_guard lock(m_mutex);
    Host& host = m_hosts[key];
    if (host.open > 0)
        --host.open;
    m_changed.notify_all();
}

SocketError ConnectionPool::waitTurn(const std::string& key) {
    int64_t turn = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_limits.delayMs <= 0)
            return SocketError::None;
        Host& host = m_hosts[key];
        turn = std::max(tickCount(), host.nextTurn);
        host.nextTurn = turn + m_limits.delayMs;
    }
    beginBlockingCall();
    while (tickCount() < turn) {
        if (runBlockingHook())
            return SocketError::Cancelled;
        sleepMs(static_cast<int>(std::min<int64_t>(turn - tickCount(), kBlockingSliceMs)));
    }
    return SocketError::None;
}

void ConnectionPool::closeIdle() {
    std::lock_guard lock(m_mutex);
    for (auto& [key, host] : m_hosts) {
        host.open -= static_cast<int>(host.kept.size());
        host.kept.clear();
    }
    m_changed.notify_all();
}

void ConnectionPool::closeExpired() {
    std::lock_guard lock(m_mutex);
    dropExpired(tickCount());
    m_changed.notify_all();
}

int ConnectionPool::opened() const {
    std::lock_guard lock(m_mutex);
    return m_opened;
}

} // namespace lurvik
