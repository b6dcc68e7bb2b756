#include "ConnectionPool.h"

#include "platform/BlockingHook.h"
#include "platform/Clock.h"

namespace lurvik {

namespace {
// How long a connection may sit kept before the kernel is asked whether its server closed it.
constexpr int64_t kAskPeerAfterMs = 1000;
} // namespace

ConnectionPool::~ConnectionPool() {
    closeIdle();
}

void ConnectionPool::setLimits(const Limits& limits) {
    std::lock_guard lock(m_mutex);
    m_limits = limits;
    if (m_limits.perHost < 1)
        m_limits.perHost = 1;
    wakeAll();
}

void ConnectionPool::wakeAll() {
    for (auto& [key, host] : m_hosts)
        host.changed.notify_all();
}

bool ConnectionPool::waitForChange(std::unique_lock<std::mutex>& lock, Host& host) {
    // The hook may cancel this agent, and must not run under the pool's lock.
    lock.unlock();
    const bool cancelled = runBlockingHook();
    lock.lock();
    if (!cancelled)
        host.changed.wait_for(lock, std::chrono::milliseconds(kBlockingSliceMs));
    return cancelled;
}

bool ConnectionPool::isExpired(const Kept& kept, int64_t now, bool askPeer) const {
    return now - kept.since >= m_limits.idleMs || (askPeer && kept.connection->isClosedByPeer());
}

ConnectionPool::Limits ConnectionPool::limits() const {
    std::lock_guard lock(m_mutex);
    return m_limits;
}

void ConnectionPool::dropExpired(int64_t now) {
    for (auto& [key, host] : m_hosts) {
        const Http2Session* session = host.session.get();
        if (session && (!session->acceptsStreams() ||
                        (session->openStreams() == 0 && now - session->idleSince() >= m_limits.idleMs)))
            host.session.reset();
        for (auto it = host.kept.begin(); it != host.kept.end();) {
            if (!isExpired(*it, now, true)) {
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
    Host& host = m_hosts[key];
    for (;;) {
        // Only the connection about to be handed out is looked at: the idle sweep tidies the rest,
        // and asking the kernel about every kept connection on every acquire costs more than a page.
        while (!fresh && !host.kept.empty()) {
            // The most recently used connection is the least likely to have been dropped.
            Kept kept = std::move(host.kept.back());
            host.kept.pop_back();
            // A server seldom drops a connection it answered on a moment ago, and if it did the
            // request goes again on a new one: asking the kernel first would cost a call a page.
            const int64_t now = tickCount();
            if (!isExpired(kept, now, now - kept.since >= kAskPeerAfterMs)) {
                out = std::move(kept.connection);
                return SocketError::None;
            }
            --host.open;
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
        if (waitForChange(lock, host))
            return SocketError::Cancelled;
    }
}

void ConnectionPool::release(const std::string& key, std::unique_ptr<HttpConnection> connection) {
    std::lock_guard lock(m_mutex);
    Host& host = m_hosts[key];
    host.kept.push_back({std::move(connection), tickCount()});
    host.changed.notify_one();
}

void ConnectionPool::discard(const std::string& key) {
    std::lock_guard lock(m_mutex);
    Host& host = m_hosts[key];
    if (host.open > 0)
        --host.open;
    host.changed.notify_one();
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
        host.session.reset();
    }
    wakeAll();
}

void ConnectionPool::closeExpired() {
    std::lock_guard lock(m_mutex);
    dropExpired(tickCount());
    wakeAll();
}

SocketError ConnectionPool::acquireStream(const std::string& key, std::shared_ptr<Http2Session>& session,
                                          bool& speaksHttp1) {
    session.reset();
    speaksHttp1 = false;
    beginBlockingCall();
    std::unique_lock lock(m_mutex);
    Host& host = m_hosts[key];
    for (;;) {
        if (host.protocol == Protocol::Http1) {
            speaksHttp1 = true;
            return SocketError::None;
        }
        if (host.session && !host.session->acceptsStreams())
            host.session.reset();
        if (host.inFlight < m_limits.perHost) {
            if (host.session && host.session->placesTaken() < host.session->streamLimit()) {
                ++host.inFlight;
                session = host.session;
                session->takePlace();
                return SocketError::None;
            }
            // One connection at a time is opened: the others wait to learn whether it speaks HTTP/2.
            if (!host.session && !host.isOpening) {
                host.isOpening = true;
                ++host.inFlight;
                ++m_opened;
                return SocketError::None;
            }
        }
        if (waitForChange(lock, host))
            return SocketError::Cancelled;
    }
}

void ConnectionPool::settleHttp2(const std::string& key, const std::shared_ptr<Http2Session>& session) {
    std::lock_guard lock(m_mutex);
    Host& host = m_hosts[key];
    host.isOpening = false;
    host.protocol = Protocol::Http2;
    host.session = session;
    session->takePlace();
    host.changed.notify_all();
}

void ConnectionPool::settleHttp1(const std::string& key) {
    std::lock_guard lock(m_mutex);
    Host& host = m_hosts[key];
    host.isOpening = false;
    host.protocol = Protocol::Http1;
    --host.inFlight;
    // Handed straight to the request that opened it: a server that sent its session tickets after
    // the handshake leaves the socket readable, and a kept connection that is readable counts as
    // closed by the server.
    ++host.open;
    host.changed.notify_all();
}

void ConnectionPool::abandonOpening(const std::string& key) {
    std::lock_guard lock(m_mutex);
    Host& host = m_hosts[key];
    host.isOpening = false;
    --host.inFlight;
    host.changed.notify_all();
}

void ConnectionPool::releaseStream(const std::string& key, const std::shared_ptr<Http2Session>& session) {
    std::lock_guard lock(m_mutex);
    Host& host = m_hosts[key];
    --host.inFlight;
    session->givePlace();
    if (host.session == session && !session->acceptsStreams())
        host.session.reset();
    host.changed.notify_all();
}

void ConnectionPool::wake(const std::string& key) {
    std::lock_guard lock(m_mutex);
    m_hosts[key].changed.notify_all();
}

int ConnectionPool::opened() const {
    std::lock_guard lock(m_mutex);
    return m_opened;
}

} // namespace lurvik
