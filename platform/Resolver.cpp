#include "Resolver.h"

#include "BlockingHook.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace lurvik {

bool parseNumericAddress(const std::string& host, int port, SocketAddress& out) {
    std::string bare = host;
    if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']')
        bare = bare.substr(1, bare.size() - 2);
    out = SocketAddress();
    auto* in = reinterpret_cast<sockaddr_in*>(&out.storage);
    if (inet_pton(AF_INET, bare.c_str(), &in->sin_addr) == 1) {
        in->sin_family = AF_INET;
        in->sin_port = htons(static_cast<uint16_t>(port));
        out.length = sizeof(sockaddr_in);
        return true;
    }
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&out.storage);
    if (inet_pton(AF_INET6, bare.c_str(), &in6->sin6_addr) == 1) {
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(static_cast<uint16_t>(port));
        out.length = sizeof(sockaddr_in6);
        return true;
    }
    return false;
}

namespace {

// Shared between the waiting caller and the look-up thread; whoever leaves last frees it.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::vector<SocketAddress> addresses;
};

void runLookup(const std::shared_ptr<Lookup>& lookup, const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* result = nullptr;
    std::vector<SocketAddress> found;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &result) == 0) {
        for (addrinfo* ai = result; ai; ai = ai->ai_next) {
            if (ai->ai_addrlen > sizeof(sockaddr_storage))
                continue;
            SocketAddress address;
            std::memcpy(&address.storage, ai->ai_addr, ai->ai_addrlen);
            address.length = ai->ai_addrlen;
            found.push_back(address);
        }
        freeaddrinfo(result);
    }
    std::lock_guard lock(lookup->mutex);
    lookup->addresses = std::move(found);
    lookup->finished = true;
    lookup->done.notify_all();
}

} // namespace

SocketError resolveHost(const std::string& host, int port, std::vector<SocketAddress>& out, int timeoutMs) {
    out.clear();
    SocketAddress numeric;
    if (parseNumericAddress(host, port, numeric)) {
        out.push_back(numeric);
        return SocketError::None;
    }
    if (host.empty())
        return SocketError::Failed;

    beginBlockingCall();
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread(runLookup, lookup, host, port).detach();
    } catch (const std::system_error&) {
        return SocketError::Failed;
    }
    int waited = 0;
    std::unique_lock lock(lookup->mutex);
    while (!lookup->finished) {
        lock.unlock();
        bool cancelled = runBlockingHook();
        lock.lock();
        if (cancelled)
            return SocketError::Cancelled;
        if (waited >= timeoutMs)
            return SocketError::TimedOut;
        lookup->done.wait_for(lock, std::chrono::milliseconds(kBlockingSliceMs));
        waited += kBlockingSliceMs;
    }
    if (lookup->addresses.empty())
        return SocketError::Failed;
    out = std::move(lookup->addresses);
    return SocketError::None;
}

} // namespace lurvik
