#pragma once

#include "Socket.h"

#include <cstddef>
#include <string>

struct ssl_st;

namespace lurvik {

// TLS on top of a connected Socket, for https: fetches. The session does not own the socket, which
// must stay open while the session is used. Every wait goes through Socket::waitReady, so the
// calling thread's blocking hook runs and a cancel or timeout ends a TLS wait exactly as it ends a
// plain one. Failures return a SocketError; errorText() says why in words for the user (certificate
// problems are SocketError::Failed with the verifier's reason).
class TlsSession {
public:
    explicit TlsSession(Socket& socket) : m_socket(socket) {}
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Negotiates TLS 1.2 or later and checks the server's certificate against the trust store and
    // hostName (a DNS name, sent as SNI, or an IPv4/IPv6 literal, brackets allowed). timeoutMs
    // bounds the whole handshake, so a server that trickles bytes cannot hold it open. With a
    // sessionKey (host and port), a session stored under it is resumed and new ones are stored.
    // protocols, when given, is offered by ALPN in the wire form (length-prefixed names, most wanted
    // first); what the server chose is then in protocol().
    [[nodiscard]] SocketError handshake(const std::string& hostName, int timeoutMs,
                                        const std::string& sessionKey = {},
                                        const std::string& protocols = {});
    // The protocol the server chose by ALPN ("h2", "http/1.1"), empty when it chose none.
    std::string protocol() const;
    // Whether bytes wait in the session, decrypted or not yet: a poll on the socket would not see them.
    bool hasBuffered() const;
    // Whether the last handshake resumed a stored session.
    bool isResumed() const;
    // timeoutMs is an idle time, as for Socket: how long one wait may last.
    [[nodiscard]] SocketError sendAll(const void* data, size_t length, int timeoutMs);
    // got is 0 when the peer closed, with or without close_notify: an HTTP/1.0 reply ends there.
    [[nodiscard]] SocketError receive(void* buffer, size_t capacity, size_t& got, int timeoutMs);
    // Sends close_notify without waiting for the peer's; harmless when the peer is gone.
    void shutdown();

    bool isConnected() const { return m_isConnected; }
    // Empty after success; otherwise e.g. "certificate verify failed: hostname mismatch".
    const std::string& errorText() const { return m_errorText; }

private:
    enum class Step { Handshake, Send, Receive };
    // Called after an SSL call that did not finish: waits for what OpenSSL asked for, or turns its
    // error into a SocketError and errorText.
    SocketError waitOrFail(int result, int savedErrno, int timeoutMs, Step step);
    SocketError fail(SocketError error, std::string text);

    Socket& m_socket;
    ssl_st* m_ssl = nullptr;
    bool m_isConnected = false;
    std::string m_errorText;
    std::string m_sessionKey;
};

// Trusts the certificates in path (PEM) in addition to the system store, for every session started
// afterwards; an empty path trusts the system store alone. Meant for tests and private CAs: set it
// before fetches start.
void setTlsExtraCaFile(const std::string& path);
// Turns certificate checks off (false) or on for sessions started afterwards: for staging sites
// whose certificates nobody signed, at the user's explicit request.
void setTlsVerification(bool verifiesPeers);

} // namespace lurvik
