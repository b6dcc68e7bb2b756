#include "HttpConnection.h"

#include "HttpReply.h"
#include "platform/HostCache.h"
#include "platform/Resolver.h"

#include <arpa/inet.h>
#include <poll.h>

namespace lurvik {

namespace {

SocketAddress proxyAddress(const FetchSettings& settings) {
    SocketAddress proxy;
    auto* in = reinterpret_cast<sockaddr_in*>(&proxy.storage);
    in->sin_family = AF_INET;
    in->sin_addr.s_addr = settings.proxyAddress;
    in->sin_port = htons(static_cast<uint16_t>(settings.proxyPort));
    proxy.length = sizeof(sockaddr_in);
    return proxy;
}

} // namespace

HttpConnection::Failure HttpConnection::resolve(const URL& target, const FetchSettings& settings,
                                                HostCache* hosts) {
    m_viaProxy = settings.proxyAddress != 0;
    m_addresses.clear();
    if (m_viaProxy) {
        m_addresses.push_back(proxyAddress(settings));
        return Failure::None;
    }
    const std::string host(target.getHost());
    SocketError resolved =
        hosts ? hosts->resolve(host, target.getPort(), m_addresses, settings.connectTimeoutMs)
              : resolveHost(host, target.getPort(), m_addresses, settings.connectTimeoutMs);
    if (resolved == SocketError::Cancelled)
        return Failure::Cancelled;
    return resolved == SocketError::None ? Failure::None : Failure::Resolve;
}

HttpConnection::Failure HttpConnection::connect(const URL& target, const FetchSettings& settings,
                                                bool offersHttp2) {
    SocketError connected = SocketError::Failed;
    for (const SocketAddress& address : m_addresses) {
        connected = m_socket.connect(address, settings.connectTimeoutMs);
        if (connected == SocketError::None || connected == SocketError::Cancelled)
            break;
    }
    if (connected == SocketError::Cancelled)
        return Failure::Cancelled;
    if (connected == SocketError::Failed && !m_socket.isOpen())
        return Failure::Socket;
    if (connected != SocketError::None)
        return Failure::Connect;
    if (!target.isSecure())
        return Failure::None;

    if (m_viaProxy) {
        Failure tunnel = openTunnel(target, settings);
        if (tunnel != Failure::None)
            return tunnel;
    }
    m_tls = std::make_unique<TlsSession>(m_socket);
    // Classic mode makes a connection per page; a resumed session spares each one a full handshake.
    static const std::string kHttp2First("\x02h2\x08http/1.1", 12);
    SocketError handshake =
        m_tls->handshake(std::string(target.getHost()), settings.connectTimeoutMs,
                         std::string(target.getHostAndPort()), offersHttp2 ? kHttp2First : std::string());
    if (handshake == SocketError::Cancelled)
        return Failure::Cancelled;
    if (handshake != SocketError::None) {
        m_detail = m_tls->errorText();
        return Failure::Connect;
    }
    m_isHttp2 = m_tls->protocol() == "h2";
    return Failure::None;
}

HttpConnection::Failure HttpConnection::openTunnel(const URL& target, const FetchSettings& settings) {
    std::string authority = std::string(target.getHost()) + ":" + std::to_string(target.getPort());
    std::string request = "CONNECT " + authority + " HTTP/1.0\r\nHost: " + authority + "\r\n\r\n";
    SocketError sent = m_socket.sendAll(request.data(), request.size(), settings.receiveTimeoutMs);
    if (sent != SocketError::None)
        return sent == SocketError::Cancelled ? Failure::Cancelled : Failure::Connect;
    // Read the proxy's answer a byte at a time so nothing of the TLS stream behind it is taken.
    std::string head;
    while (head.size() < 16384 && replyHeadEnd(head) == std::string::npos) {
        char c = 0;
        size_t got = 0;
        SocketError received = m_socket.receive(&c, 1, got, settings.receiveTimeoutMs);
        if (received == SocketError::Cancelled)
            return Failure::Cancelled;
        if (received != SocketError::None || got == 0)
            break;
        head += c;
    }
    bool accepted = head.size() > 12 && head.compare(0, 5, "HTTP/") == 0 && head[9] == '2';
    if (!accepted) {
        m_detail = "the proxy refused the tunnel: " + head.substr(0, head.find('\n'));
        return Failure::Connect;
    }
    return Failure::None;
}

bool HttpConnection::isClosedByPeer() const {
    pollfd p{m_socket.fd(), POLLIN, 0};
    return m_socket.fd() < 0 || ::poll(&p, 1, 0) != 0;
}

SocketError HttpConnection::sendAll(const void* data, size_t length, int timeoutMs) {
    return m_tls ? m_tls->sendAll(data, length, timeoutMs) : m_socket.sendAll(data, length, timeoutMs);
}

SocketError HttpConnection::receive(void* buffer, size_t capacity, size_t& got, int timeoutMs) {
    return m_tls ? m_tls->receive(buffer, capacity, got, timeoutMs)
                 : m_socket.receive(buffer, capacity, got, timeoutMs);
}

} // namespace lurvik
