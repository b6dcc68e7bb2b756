#include "HostCache.h"

#include "BlockingHook.h"
#include "Clock.h"
#include "Resolver.h"

#include <arpa/inet.h>

namespace lurvik {

namespace {

void setPort(std::vector<SocketAddress>& addresses, int port) {
    for (SocketAddress& address : addresses) {
        if (address.storage.ss_family == AF_INET)
            reinterpret_cast<sockaddr_in*>(&address.storage)->sin_port = htons(static_cast<uint16_t>(port));
        else if (address.storage.ss_family == AF_INET6)
            reinterpret_cast<sockaddr_in6*>(&address.storage)->sin6_port = htons(static_cast<uint16_t>(port));
    }
}

} // namespace

SocketError HostCache::resolve(const std::string& host, int port, std::vector<SocketAddress>& out,
                               int timeoutMs) {
    out.clear();
    SocketAddress numeric;
    if (parseNumericAddress(host, port, numeric)) {
        out.push_back(numeric);
        return SocketError::None;
    }
    beginBlockingCall();
    const int64_t deadline = tickCount() + timeoutMs;
    std::unique_lock lock(m_mutex);
    for (;;) {
        Entry& entry = m_entries[host];
        if (!entry.isPending && entry.expires > tickCount()) {
            if (entry.result != SocketError::None)
                return entry.result;
            out = entry.addresses;
            setPort(out, port);
            return SocketError::None;
        }
        if (!entry.isPending)
            break;
        lock.unlock();
        bool cancelled = runBlockingHook();
        lock.lock();
        if (cancelled)
            return SocketError::Cancelled;
        if (tickCount() >= deadline)
            return SocketError::TimedOut;
        m_answered.wait_for(lock, std::chrono::milliseconds(kBlockingSliceMs));
    }
    m_entries[host].isPending = true;
    ++m_lookups;
    lock.unlock();
    std::vector<SocketAddress> found;
    SocketError result = resolveHost(host, port, found, timeoutMs);
    lock.lock();
    Entry& entry = m_entries[host];
    entry.isPending = false;
    // A cancelled or timed-out look-up says nothing about the name: the next asker tries again.
    if (result == SocketError::None || result == SocketError::Failed) {
        entry.result = result;
        entry.addresses = found;
        entry.expires = tickCount() + (result == SocketError::None ? m_lifetimeMs : m_failureLifetimeMs);
    } else {
        entry.expires = 0;
    }
    m_answered.notify_all();
    out = std::move(found);
    return result;
}

void HostCache::clear() {
    std::lock_guard lock(m_mutex);
    for (auto it = m_entries.begin(); it != m_entries.end();)
        it = it->second.isPending ? std::next(it) : m_entries.erase(it);
}

int HostCache::lookups() const {
    std::lock_guard lock(m_mutex);
    return m_lookups;
}

} // namespace lurvik
