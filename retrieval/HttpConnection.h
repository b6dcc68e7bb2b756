#pragma once

#include "Agent.h"
#include "platform/Socket.h"
#include "platform/TlsSession.h"

#include <memory>
#include <string>
#include <vector>

namespace lurvik {

// The byte stream of one request: a plain socket, or TLS over it for https: addresses. Through a
// proxy an https: address is reached by a CONNECT tunnel, so the proxy never sees the request.
class HostCache;

class HttpConnection {
public:
    enum class Failure { None, Cancelled, Socket, Resolve, Connect };

    // Finds the addresses to try: the proxy's, or the target host's (through hosts when given).
    [[nodiscard]] Failure resolve(const URL& target, const FetchSettings& settings,
                                  HostCache* hosts = nullptr);
    // Connects and, for https:, tunnels and negotiates TLS, offering HTTP/2 by ALPN when
    // offersHttp2. detail() gives the reason of a TLS or tunnel failure in words.
    [[nodiscard]] Failure connect(const URL& target, const FetchSettings& settings, bool offersHttp2 = false);
    // The server chose HTTP/2 in the TLS handshake.
    bool isHttp2() const { return m_isHttp2; }
    // For a session that waits on the socket itself: the descriptor, and whether TLS holds bytes
    // already read from it.
    int fd() const { return m_socket.fd(); }
    bool hasBuffered() const { return m_tls && m_tls->hasBuffered(); }
    // Whether the request line must carry the absolute address: a proxy that sees the request.
    bool sendsAbsoluteForm() const { return m_viaProxy && !m_tls; }
    [[nodiscard]] SocketError sendAll(const void* data, size_t length, int timeoutMs);
    [[nodiscard]] SocketError receive(void* buffer, size_t capacity, size_t& got, int timeoutMs);
    const std::string& detail() const { return m_detail; }
    // Whether a kept connection was closed (or sent something unasked) while it sat idle.
    bool isClosedByPeer() const;

private:
    Failure openTunnel(const URL& target, const FetchSettings& settings);

    Socket m_socket;
    std::unique_ptr<TlsSession> m_tls;
    std::vector<SocketAddress> m_addresses;
    bool m_viaProxy = false;
    bool m_isHttp2 = false;
    std::string m_detail;
};

} // namespace lurvik
