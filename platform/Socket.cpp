#include "Socket.h"

#include "BlockingHook.h"
#include "Clock.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>

namespace lurvik {

const char* socketErrorText(SocketError error) {
    switch (error) {
    case SocketError::None:
        return "no error";
    case SocketError::Cancelled:
        return "cancelled";
    case SocketError::TimedOut:
        return "timed out";
    case SocketError::Refused:
        return "connection refused";
    case SocketError::Unreachable:
        return "network unreachable";
    case SocketError::Closed:
        return "connection closed";
    case SocketError::Failed:
        break;
    }
    return "socket error";
}

std::string SocketAddress::text() const {
    char host[INET6_ADDRSTRLEN] = "";
    int port = 0;
    if (storage.ss_family == AF_INET) {
        auto* in = reinterpret_cast<const sockaddr_in*>(&storage);
        inet_ntop(AF_INET, &in->sin_addr, host, sizeof host);
        port = ntohs(in->sin_port);
        return std::string(host) + ":" + std::to_string(port);
    }
    auto* in6 = reinterpret_cast<const sockaddr_in6*>(&storage);
    inet_ntop(AF_INET6, &in6->sin6_addr, host, sizeof host);
    port = ntohs(in6->sin6_port);
    return "[" + std::string(host) + "]:" + std::to_string(port);
}

SocketError Socket::waitReady(bool forRead, int timeoutMs) {
    const int64_t deadline = tickCount() + timeoutMs;
    for (;;) {
        if (runBlockingHook())
            return SocketError::Cancelled;
        int64_t left = deadline - tickCount();
        if (left <= 0)
            return SocketError::TimedOut;
        pollfd p{m_fd, static_cast<short>(forRead ? POLLIN : POLLOUT), 0};
        int ready = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left, kBlockingSliceMs)));
        if (ready > 0)
            return SocketError::None;
        if (ready < 0 && errno != EINTR)
            return SocketError::Failed;
    }
}

SocketError Socket::connect(const SocketAddress& address, int timeoutMs) {
    close();
    beginBlockingCall();
    m_fd = ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return SocketError::Failed;
    // A request follows the TLS handshake's last message, and HTTP/2 frames follow each other,
    // before the server has acknowledged what went before: Nagle's algorithm would hold each back
    // for that acknowledgement, which the server may delay by tens of milliseconds.
    const int on = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) == 0)
        return SocketError::None;
    if (errno != EINPROGRESS)
        return errno == ECONNREFUSED ? SocketError::Refused : SocketError::Failed;
    SocketError waited = waitReady(false, timeoutMs);
    if (waited != SocketError::None)
        return waited;
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error == 0)
        return SocketError::None;
    if (error == ECONNREFUSED)
        return SocketError::Refused;
    if (error == ENETUNREACH || error == EHOSTUNREACH)
        return SocketError::Unreachable;
    return SocketError::Failed;
}

SocketError Socket::sendAll(const void* data, size_t length, int timeoutMs) {
    beginBlockingCall();
    auto* bytes = static_cast<const char*>(data);
    while (length > 0) {
        ssize_t sent = ::send(m_fd, bytes, length, MSG_NOSIGNAL);
        if (sent > 0) {
            bytes += sent;
            length -= static_cast<size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            SocketError waited = waitReady(false, timeoutMs);
            if (waited != SocketError::None)
                return waited;
            continue;
        }
        return SocketError::Failed;
    }
    return SocketError::None;
}

SocketError Socket::receive(void* buffer, size_t capacity, size_t& got, int timeoutMs) {
    beginBlockingCall();
    got = 0;
    for (;;) {
        ssize_t n = ::recv(m_fd, buffer, capacity, 0);
        if (n >= 0) {
            got = static_cast<size_t>(n);
            return SocketError::None;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return errno == ECONNRESET ? SocketError::Closed : SocketError::Failed;
        SocketError waited = waitReady(true, timeoutMs);
        if (waited != SocketError::None)
            return waited;
    }
}

void Socket::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace lurvik
