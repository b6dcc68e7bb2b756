#include "TlsSession.h"

#include "BlockingHook.h"
#include "Clock.h"
#include "TlsContext.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>

namespace lurvik {

namespace {

// A URL keeps IPv6 hosts in brackets and may end a name with the root's dot; certificates have
// neither.
std::string bareHost(const std::string& hostName) {
    std::string host = hostName;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (!host.empty() && host.back() == '.')
        host.pop_back();
    return host;
}

bool isIpLiteral(const std::string& host) {
    in6_addr address;
    return inet_pton(AF_INET, host.c_str(), &address) == 1 ||
           inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

} // namespace

TlsSession::~TlsSession() {
    // No close_notify here: the socket may already be closed or gone by the time the session is.
    SSL_free(m_ssl);
}

SocketError TlsSession::fail(SocketError error, std::string text) {
    m_errorText = std::move(text);
    return error;
}

bool TlsSession::isResumed() const {
    return m_ssl && SSL_session_reused(m_ssl) == 1;
}

std::string TlsSession::protocol() const {
    const unsigned char* name = nullptr;
    unsigned int length = 0;
    if (m_ssl)
        SSL_get0_alpn_selected(m_ssl, &name, &length);
    return name ? std::string(reinterpret_cast<const char*>(name), length) : std::string();
}

bool TlsSession::hasBuffered() const {
    // Read ahead, bytes may wait in the session that no record has been made of yet: the socket
    // will not say they are there.
    return m_ssl && SSL_has_pending(m_ssl) == 1;
}

SocketError TlsSession::handshake(const std::string& hostName, int timeoutMs, const std::string& sessionKey,
                                  const std::string& protocols) {
    beginBlockingCall();
    m_errorText.clear();
    m_isConnected = false;
    SSL_free(m_ssl);
    m_ssl = newTlsConnection(m_socket, m_errorText);
    if (!m_ssl)
        return SocketError::Failed;
    m_sessionKey = sessionKey;
    if (!m_sessionKey.empty()) {
        rememberSessionsUnder(m_ssl, &m_sessionKey);
        offerStoredSession(m_ssl, m_sessionKey);
    }

    if (!protocols.empty() &&
        SSL_set_alpn_protos(m_ssl, reinterpret_cast<const unsigned char*>(protocols.data()),
                            static_cast<unsigned int>(protocols.size())) != 0)
        return fail(SocketError::Failed, "cannot offer the protocols by ALPN");
    const std::string host = bareHost(hostName);
    if (host.empty())
        return fail(SocketError::Failed, "no host name to check the certificate against");
    X509_VERIFY_PARAM* param = SSL_get0_param(m_ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (isIpLiteral(host)) {
        // Server names in SNI are DNS names only; an address is checked against the IP SANs.
        if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1)
            return fail(SocketError::Failed, "cannot check the certificate against " + host);
    } else if (SSL_set_tlsext_host_name(m_ssl, host.c_str()) != 1 ||
               X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size()) != 1) {
        return fail(SocketError::Failed, "cannot check the certificate against " + host);
    }

    const int64_t deadline = tickCount() + timeoutMs;
    for (;;) {
        ERR_clear_error();
        errno = 0;
        int result = SSL_connect(m_ssl);
        int savedErrno = errno;
        if (result == 1)
            break;
        SocketError error =
            waitOrFail(result, savedErrno, static_cast<int>(deadline - tickCount()), Step::Handshake);
        if (error != SocketError::None)
            return error;
    }
    // SSL_VERIFY_PEER already failed the handshake on a bad certificate; this guards against a
    // suite that sends none.
    if (tlsVerifiesPeers() &&
        (!SSL_get0_peer_certificate(m_ssl) || SSL_get_verify_result(m_ssl) != X509_V_OK))
        return fail(SocketError::Failed, "certificate verify failed: no valid certificate");
    m_isConnected = true;
    return SocketError::None;
}

SocketError TlsSession::sendAll(const void* data, size_t length, int timeoutMs) {
    beginBlockingCall();
    if (!m_isConnected)
        return fail(SocketError::Failed, "no TLS session");
    auto* bytes = static_cast<const char*>(data);
    while (length > 0) {
        ERR_clear_error();
        errno = 0;
        size_t written = 0;
        int result = SSL_write_ex(m_ssl, bytes, length, &written);
        int savedErrno = errno;
        if (result == 1) {
            bytes += written;
            length -= written;
            continue;
        }
        SocketError error = waitOrFail(result, savedErrno, timeoutMs, Step::Send);
        if (error != SocketError::None)
            return error;
    }
    return SocketError::None;
}

SocketError TlsSession::receive(void* buffer, size_t capacity, size_t& got, int timeoutMs) {
    beginBlockingCall();
    got = 0;
    if (!m_isConnected)
        return fail(SocketError::Failed, "no TLS session");
    for (;;) {
        ERR_clear_error();
        errno = 0;
        size_t read = 0;
        int result = SSL_read_ex(m_ssl, buffer, capacity, &read);
        int savedErrno = errno;
        if (result == 1) {
            got = read;
            return SocketError::None;
        }
        int code = SSL_get_error(m_ssl, result);
        bool isEof = code == SSL_ERROR_ZERO_RETURN ||
                     (code == SSL_ERROR_SYSCALL && savedErrno == 0 && ERR_peek_error() == 0);
        if (isEof)
            return SocketError::None;
        SocketError error = waitOrFail(result, savedErrno, timeoutMs, Step::Receive);
        if (error != SocketError::None)
            return error;
    }
}

void TlsSession::shutdown() {
    if (!m_isConnected)
        return;
    m_isConnected = false;
    ERR_clear_error();
    SSL_shutdown(m_ssl);
}

SocketError TlsSession::waitOrFail(int result, int savedErrno, int timeoutMs, Step step) {
    const char* what = step == Step::Handshake ? "TLS handshake"
                       : step == Step::Send    ? "TLS send"
                                               : "TLS receive";
    int code = SSL_get_error(m_ssl, result);
    if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) {
        SocketError waited = m_socket.waitReady(code == SSL_ERROR_WANT_READ, timeoutMs);
        if (waited != SocketError::None)
            return fail(waited, std::string(what) + ": " + socketErrorText(waited));
        return SocketError::None;
    }
    // After a fatal error OpenSSL forbids even close_notify on this connection.
    m_isConnected = false;
    if (code == SSL_ERROR_SSL) {
        long verified = SSL_get_verify_result(m_ssl);
        if (step == Step::Handshake && verified != X509_V_OK)
            return fail(SocketError::Failed,
                        std::string("certificate verify failed: ") + X509_verify_cert_error_string(verified));
        unsigned long reason = ERR_peek_last_error();
        const char* text = reason ? ERR_reason_error_string(reason) : nullptr;
        return fail(SocketError::Failed, std::string(what) + " failed: " + (text ? text : "protocol error"));
    }
    bool peerGone =
        code == SSL_ERROR_ZERO_RETURN || savedErrno == 0 || savedErrno == ECONNRESET || savedErrno == EPIPE;
    if (code == SSL_ERROR_SYSCALL || code == SSL_ERROR_ZERO_RETURN) {
        if (peerGone)
            return fail(SocketError::Closed, std::string(what) + ": connection closed by the server");
        return fail(SocketError::Failed, std::string(what) + ": " + std::strerror(savedErrno));
    }
    return fail(SocketError::Failed, std::string(what) + " failed");
}

} // namespace lurvik
