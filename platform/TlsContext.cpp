#include "TlsContext.h"

#include "Socket.h"
#include "TlsSession.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

namespace lurvik {

namespace {

// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE when the server has already
// hung up, and servers often do. Ours sends with MSG_NOSIGNAL, as Socket does; it reads the fd from
// the Socket each time so a socket closed under the session fails cleanly instead of touching a
// reused descriptor.
int socketBioWrite(BIO* bio, const char* data, int length) {
    auto* socket = static_cast<Socket*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    ssize_t sent = ::send(socket->fd(), data, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_write(bio);
    return static_cast<int>(sent);
}

int socketBioRead(BIO* bio, char* buffer, int capacity) {
    auto* socket = static_cast<Socket*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    ssize_t got = ::recv(socket->fd(), buffer, static_cast<size_t>(capacity), 0);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_read(bio);
    return static_cast<int>(got);
}

int socketBioPuts(BIO* bio, const char* text) {
    return socketBioWrite(bio, text, static_cast<int>(strlen(text)));
}

long socketBioControl(BIO*, int command, long, void*) {
    // The TLS layer flushes after each flight; the kernel has the bytes already.
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int socketBioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* socketBioMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "lurvik socket");
        if (m) {
            BIO_meth_set_write(m, socketBioWrite);
            BIO_meth_set_read(m, socketBioRead);
            BIO_meth_set_puts(m, socketBioPuts);
            BIO_meth_set_ctrl(m, socketBioControl);
            BIO_meth_set_create(m, socketBioCreate);
        }
        return m;
    }();
    return method;
}

std::string lastOpenSslError() {
    unsigned long code = ERR_peek_last_error();
    const char* reason = code ? ERR_reason_error_string(code) : nullptr;
    return reason ? reason : "unknown error";
}

// Connections hold their own reference to the context, so replacing it (a new extra CA file)
// never pulls it from under a handshake in progress.
struct SharedContext {
    // OpenSSL's own clean-up at exit, registered here first, then runs after this one's.
    SharedContext() { OPENSSL_init_ssl(0, nullptr); }
    ~SharedContext() {
        SSL_CTX_free(context);
        for (auto& [key, session] : sessions)
            SSL_SESSION_free(session);
    }

    std::mutex mutex;
    SSL_CTX* context = nullptr;
    std::string extraCaFile;
    bool verifiesPeers = true;
    std::map<std::string, SSL_SESSION*> sessions;
};

SharedContext& shared() {
    static SharedContext instance;
    return instance;
}

int sessionKeyIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

int storeNewSession(SSL* ssl, SSL_SESSION* session) {
    auto* key = static_cast<const std::string*>(SSL_get_ex_data(ssl, sessionKeyIndex()));
    if (!key || key->empty())
        return 0;
    SharedContext& s = shared();
    std::lock_guard lock(s.mutex);
    SSL_SESSION*& slot = s.sessions[*key];
    SSL_SESSION_free(slot);
    // A copy: a connection freed without close_notify marks its own session as not resumable,
    // and kept connections are often dropped that way.
    slot = SSL_SESSION_dup(session);
    return 0;
}

void forgetSessions(SharedContext& s) {
    for (auto& [key, session] : s.sessions)
        SSL_SESSION_free(session);
    s.sessions.clear();
}

// Made again, and the stored sessions forgotten, whenever what a connection trusts changes.
void resetContext(SharedContext& s) {
    SSL_CTX_free(s.context);
    s.context = nullptr;
    forgetSessions(s);
}

// Whether dir holds certificates under their subject's hash ("1a2b3c4d.0"), as c_rehash and the
// system's certificate packages lay them out.
bool hasHashedCertificates(const char* dir) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == 10 && name.compare(8, 2, ".0") == 0 &&
            name.find_first_not_of("0123456789abcdef") == 8)
            return true;
    }
    return false;
}

// The system's trusted roots. From the hashed folder only the root a site's chain names is read,
// when a handshake needs it; the bundle file holds the same roots, but OpenSSL decodes every one
// of them before the first handshake, tens of milliseconds before the first https: page. The
// bundle stays for a system without such a folder and for a file of other roots named in
// SSL_CERT_FILE (naming the system's own bundle there, as many setups do, changes nothing). A
// machine without a store at all is not an error by itself: verification then fails for each site
// with a reason the user can read.
void trustSystemRoots(SSL_CTX* context) {
    const char* dir = std::getenv(X509_get_default_cert_dir_env());
    if (!dir)
        dir = X509_get_default_cert_dir();
    const char* file = std::getenv(X509_get_default_cert_file_env());
    std::error_code error;
    const bool isSystemBundle =
        !file || std::filesystem::equivalent(file, X509_get_default_cert_file(), error);
    if (isSystemBundle && hasHashedCertificates(dir) && SSL_CTX_load_verify_dir(context, dir) == 1)
        return;
    SSL_CTX_set_default_verify_paths(context);
}

SSL_CTX* makeContext(const std::string& extraCaFile, bool verifiesPeers, std::string& error) {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (!context) {
        error = "cannot set up TLS: " + lastOpenSslError();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, verifiesPeers ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(context, storeNewSession);
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE);
    // Whatever the socket holds is read at once: otherwise each record costs two reads from the
    // kernel, its header and then its body.
    SSL_CTX_set_read_ahead(context, 1);
#ifdef SSL_OP_IGNORE_UNEXPECTED_EOF
    // An HTTP/1.0 reply ends where the connection ends, and many servers close without
    // close_notify; the reply is what arrived, as with a plain connection.
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
#endif
    trustSystemRoots(context);
    if (!extraCaFile.empty() && SSL_CTX_load_verify_locations(context, extraCaFile.c_str(), nullptr) != 1) {
        error = "cannot load CA file " + extraCaFile + ": " + lastOpenSslError();
        SSL_CTX_free(context);
        return nullptr;
    }
    return context;
}

} // namespace

void setTlsExtraCaFile(const std::string& path) {
    SharedContext& s = shared();
    std::lock_guard lock(s.mutex);
    s.extraCaFile = path;
    resetContext(s);
}

void setTlsVerification(bool verifiesPeers) {
    SharedContext& s = shared();
    std::lock_guard lock(s.mutex);
    if (s.verifiesPeers == verifiesPeers)
        return;
    s.verifiesPeers = verifiesPeers;
    resetContext(s);
}

bool tlsVerifiesPeers() {
    SharedContext& s = shared();
    std::lock_guard lock(s.mutex);
    return s.verifiesPeers;
}

void rememberSessionsUnder(ssl_st* ssl, const std::string* key) {
    SSL_set_ex_data(ssl, sessionKeyIndex(), const_cast<std::string*>(key));
}

void offerStoredSession(ssl_st* ssl, const std::string& key) {
    SharedContext& s = shared();
    std::lock_guard lock(s.mutex);
    auto found = s.sessions.find(key);
    if (found != s.sessions.end())
        SSL_set_session(ssl, found->second);
}

ssl_st* newTlsConnection(Socket& socket, std::string& error) {
    SSL* ssl = nullptr;
    {
        SharedContext& s = shared();
        std::lock_guard lock(s.mutex);
        if (!s.context)
            s.context = makeContext(s.extraCaFile, s.verifiesPeers, error);
        if (!s.context)
            return nullptr;
        ssl = SSL_new(s.context);
    }
    BIO* bio = socketBioMethod() ? BIO_new(socketBioMethod()) : nullptr;
    if (!ssl || !bio) {
        error = "cannot set up TLS: " + lastOpenSslError();
        BIO_free(bio);
        SSL_free(ssl);
        return nullptr;
    }
    BIO_set_data(bio, &socket);
    SSL_set_bio(ssl, bio, bio);
    return ssl;
}

} // namespace lurvik
