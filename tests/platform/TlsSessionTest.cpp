#include "platform/TlsSession.h"
#include "TestIdentity.h"
#include "TimeScale.h"
#include "platform/BlockingHook.h"
#include "platform/Resolver.h"
#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace lurvik {
namespace {

using test::Identity;
using test::makeIdentity;
using test::makeServerContext;

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// ---- A tiny blocking TLS server on 127.0.0.1, serving one connection at a time.

enum class Behaviour {
    Echo, // replies with a status line and the request, then sends close_notify
    EchoAbruptClose,
    SilentTcp, // accepts the connection and never says a word
    SilentAfterHandshake,
    CloseAfterHandshake,
    CloseAtOnce,
    PlainHttp, // an http: server behind an address the user wrote as https:
};

class TestTlsServer {
public:
    TestTlsServer(SSL_CTX* context, Behaviour behaviour) : m_context(context), m_behaviour(behaviour) {
        m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_listenFd, 16) != 0)
            ADD_FAILURE() << "cannot listen on loopback";
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { acceptLoop(); });
    }

    ~TestTlsServer() {
        m_stop = true;
        m_thread.join();
        ::close(m_listenFd);
    }

    int port() const { return m_port; }

private:
    void acceptLoop() {
        // A client that gives up mid-handshake would otherwise kill the test with SIGPIPE from the
        // server's side; the client side is left unprotected on purpose.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        while (!m_stop) {
            pollfd p{m_listenFd, POLLIN, 0};
            int fd = ::poll(&p, 1, 10) > 0 ? ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
            if (fd < 0)
                continue;
            // A failing test must not leave the server blocked for ever.
            timeval limit{5, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
            serve(fd);
            ::close(fd);
        }
    }

    void holdUntilStopped() const {
        while (!m_stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    void serve(int fd) {
        switch (m_behaviour) {
        case Behaviour::SilentTcp:
            return holdUntilStopped();
        case Behaviour::CloseAtOnce:
            return;
        case Behaviour::PlainHttp: {
            const char reply[] = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html></html>";
            (void)!::write(fd, reply, sizeof reply - 1);
            return holdUntilStopped();
        }
        default:
            break;
        }
        SSL* ssl = SSL_new(m_context);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) == 1) {
            if (m_behaviour == Behaviour::SilentAfterHandshake)
                holdUntilStopped();
            if (m_behaviour == Behaviour::Echo || m_behaviour == Behaviour::EchoAbruptClose)
                echo(ssl);
            if (m_behaviour == Behaviour::Echo)
                SSL_shutdown(ssl);
        }
        SSL_free(ssl);
    }

    // Echoes a request up to its blank line, so both directions carry the same large bytes.
    static void echo(SSL* ssl) {
        std::string request = "HTTP/1.0 200 OK\r\n\r\n";
        char buffer[16384];
        for (size_t searched = request.size(); request.find("\r\n\r\n", searched - 3) == std::string::npos;) {
            searched = request.size();
            int n = SSL_read(ssl, buffer, sizeof buffer);
            if (n <= 0)
                return;
            request.append(buffer, static_cast<size_t>(n));
        }
        for (size_t sent = 0; sent < request.size();) {
            int n = SSL_write(ssl, request.data() + sent, static_cast<int>(request.size() - sent));
            if (n <= 0)
                return;
            sent += static_cast<size_t>(n);
        }
    }

    SSL_CTX* m_context;
    Behaviour m_behaviour;
    int m_listenFd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// ---- The tests

class TlsSessionTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        Identity ca = makeIdentity("Lurvik Test CA", nullptr, nullptr);
        Identity good = makeIdentity("localhost", "DNS:localhost,IP:127.0.0.1", &ca);
        Identity wrongName = makeIdentity("other.example", "DNS:other.example,IP:10.9.8.7", &ca);
        Identity selfSigned = makeIdentity("localhost", "DNS:localhost,IP:127.0.0.1", nullptr);
        s_good = makeServerContext(good);
        s_wrongName = makeServerContext(wrongName);
        s_selfSigned = makeServerContext(selfSigned);

        s_caFile = std::filesystem::temp_directory_path() /
                   ("lurvik-test-ca-" + std::to_string(::getpid()) + ".pem");
        ASSERT_EQ(test::writeCertificate(ca, s_caFile), 0);
        setTlsExtraCaFile(s_caFile);
    }

    static void TearDownTestSuite() {
        setTlsExtraCaFile("");
        std::filesystem::remove(s_caFile);
        SSL_CTX_free(s_good);
        SSL_CTX_free(s_wrongName);
        SSL_CTX_free(s_selfSigned);
    }

    static SocketError connectTo(int port, Socket& socket) {
        SocketAddress address;
        EXPECT_TRUE(parseNumericAddress("127.0.0.1", port, address));
        return socket.connect(address, 2000);
    }

    static inline SSL_CTX* s_good = nullptr;
    static inline SSL_CTX* s_wrongName = nullptr;
    static inline SSL_CTX* s_selfSigned = nullptr;
    static inline std::string s_caFile;
};

// Several clients at once, so the shared context is made and used from racing threads; bodies span
// many TLS records in both directions; both ways a server may end the reply count as its end.
TEST_F(TlsSessionTest, RequestAndReplyCrossIntactUntilTheServerCloses) {
    for (Behaviour behaviour : {Behaviour::Echo, Behaviour::EchoAbruptClose}) {
        TestTlsServer server(s_good, behaviour);
        std::vector<std::thread> clients;
        const char* hosts[] = {"localhost", "127.0.0.1", "LocalHost."};
        for (int i = 0; i < 3; ++i) {
            clients.emplace_back([&, i] {
                const std::string host = hosts[i];
                const std::string request =
                    "POST / HTTP/1.0\r\nX-Fill: " + std::string(200000 + i, 'a' + i) + "\r\n\r\n";
                Socket socket;
                ASSERT_EQ(connectTo(server.port(), socket), SocketError::None);
                // Small kernel buffers, so that writes have to wait for the server to read.
                int small = 4096;
                ::setsockopt(socket.fd(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
                TlsSession tls(socket);
                ASSERT_EQ(tls.handshake(host, 5000), SocketError::None) << host << ": " << tls.errorText();
                EXPECT_TRUE(tls.errorText().empty());
                ASSERT_EQ(tls.sendAll(request.data(), request.size(), 5000), SocketError::None)
                    << tls.errorText();
                std::string reply;
                char buffer[4096];
                size_t got = 0;
                do {
                    ASSERT_EQ(tls.receive(buffer, sizeof buffer, got, 5000), SocketError::None)
                        << tls.errorText();
                    reply.append(buffer, got);
                } while (got > 0);
                EXPECT_EQ(reply, "HTTP/1.0 200 OK\r\n\r\n" + request) << host;
                tls.shutdown();
            });
        }
        for (std::thread& client : clients)
            client.join();
    }
}

TEST_F(TlsSessionTest, HandshakeFailuresNameTheirCause) {
    struct Row {
        SSL_CTX** serverContext;
        Behaviour behaviour;
        const char* host;
        SocketError expected;
        const char* text;
    };
    const Row rows[] = {
        {&s_wrongName, Behaviour::Echo, "localhost", SocketError::Failed,
         "certificate verify failed: hostname mismatch"},
        {&s_wrongName, Behaviour::Echo, "127.0.0.1", SocketError::Failed,
         "certificate verify failed: IP address mismatch"},
        {&s_selfSigned, Behaviour::Echo, "localhost", SocketError::Failed,
         "certificate verify failed: self-signed certificate"},
        {&s_good, Behaviour::PlainHttp, "localhost", SocketError::Failed, "TLS handshake failed: "},
        {&s_good, Behaviour::CloseAtOnce, "localhost", SocketError::Closed,
         "TLS handshake: connection closed by the server"},
        {&s_good, Behaviour::Echo, "", SocketError::Failed, "no host name to check the certificate against"},
    };
    for (const Row& row : rows) {
        TestTlsServer server(*row.serverContext, row.behaviour);
        Socket socket;
        ASSERT_EQ(connectTo(server.port(), socket), SocketError::None);
        TlsSession tls(socket);
        EXPECT_EQ(tls.handshake(row.host, 5000), row.expected) << row.text;
        EXPECT_EQ(tls.errorText().rfind(row.text, 0), 0u) << row.text << " / got: " << tls.errorText();
        EXPECT_FALSE(tls.isConnected());
        size_t got = 1;
        char buffer[16];
        EXPECT_EQ(tls.receive(buffer, sizeof buffer, got, 100), SocketError::Failed) << row.text;
        EXPECT_EQ(got, 0u);
    }
}

// A second connection under the same key resumes the first one's session instead of a full
// handshake; with checks turned off a certificate nobody signed is accepted, and only then.
// The system's roots: a folder of certificates under their subject's hash (SSL_CERT_DIR) serves on
// its own, and a file of other roots named in SSL_CERT_FILE is read as well as a hashed folder.
TEST_F(TlsSessionTest, SystemRootsComeFromTheHashedFolderAndTheFileNamed) {
    namespace fs = std::filesystem;
    const fs::path top = fs::temp_directory_path() / ("lurvik-roots-" + std::to_string(::getpid()));
    const fs::path withCa = top / "with-ca";
    const fs::path withOther = top / "with-other";
    fs::create_directories(withCa);
    fs::create_directories(withOther);
    auto hashedName = [](X509* cert) {
        char name[16];
        std::snprintf(name, sizeof name, "%08lx.0", X509_subject_name_hash(cert));
        return std::string(name);
    };
    FILE* caFile = std::fopen(s_caFile.c_str(), "r");
    ASSERT_NE(caFile, nullptr);
    std::unique_ptr<X509, decltype(&X509_free)> ca(PEM_read_X509(caFile, nullptr, nullptr, nullptr),
                                                   X509_free);
    std::fclose(caFile);
    ASSERT_NE(ca, nullptr);
    fs::copy_file(s_caFile, withCa / hashedName(ca.get()));
    Identity other = makeIdentity("Lurvik Other Root", nullptr, nullptr);
    ASSERT_EQ(test::writeCertificate(other, withOther / hashedName(other.cert.get())), 0);

    auto saved = [](const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const std::optional<std::string> savedDir = saved(X509_get_default_cert_dir_env());
    const std::optional<std::string> savedFile = saved(X509_get_default_cert_file_env());
    auto set = [](const char* name, const std::optional<std::string>& value) {
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    };
    struct Row {
        fs::path dir;
        std::optional<std::string> file;
        bool verifies;
    };
    const Row rows[] = {
        {withCa, std::nullopt, true},
        {withOther, s_caFile, true},
        {withOther, std::nullopt, false},
    };
    for (const Row& row : rows) {
        set(X509_get_default_cert_dir_env(), row.dir.string());
        set(X509_get_default_cert_file_env(), row.file);
        setTlsExtraCaFile(""); // a context made afresh, from the roots above alone
        TestTlsServer server(s_good, Behaviour::Echo);
        Socket socket;
        ASSERT_EQ(connectTo(server.port(), socket), SocketError::None);
        TlsSession tls(socket);
        const SocketError shaken = tls.handshake("localhost", 5000 * test::kTimeScale);
        EXPECT_EQ(shaken == SocketError::None, row.verifies)
            << row.dir << " " << row.file.value_or("(no file)") << ": " << tls.errorText();
        if (shaken == SocketError::None)
            tls.shutdown();
    }
    set(X509_get_default_cert_dir_env(), savedDir);
    set(X509_get_default_cert_file_env(), savedFile);
    setTlsExtraCaFile(s_caFile);
    fs::remove_all(top);
}

TEST_F(TlsSessionTest, SessionsResumeAndChecksTurnOffOnlyWhenAsked) {
    TestTlsServer server(s_good, Behaviour::Echo);
    const std::string key = "127.0.0.1:" + std::to_string(server.port());
    for (bool expectResumed : {false, true}) {
        Socket socket;
        ASSERT_EQ(connectTo(server.port(), socket), SocketError::None);
        TlsSession tls(socket);
        ASSERT_EQ(tls.handshake("127.0.0.1", 5000, key), SocketError::None) << tls.errorText();
        EXPECT_EQ(tls.isResumed(), expectResumed);
        // Reading the reply takes in the tickets a TLS 1.3 server sends after its handshake.
        const std::string request = "GET / HTTP/1.0\r\n\r\n";
        ASSERT_EQ(tls.sendAll(request.data(), request.size(), 5000), SocketError::None);
        char buffer[256];
        size_t got = 0;
        do
            ASSERT_EQ(tls.receive(buffer, sizeof buffer, got, 5000), SocketError::None);
        while (got > 0);
    }

    TestTlsServer unsigned_(s_selfSigned, Behaviour::Echo);
    for (bool verifies : {false, true}) {
        setTlsVerification(verifies);
        Socket socket;
        ASSERT_EQ(connectTo(unsigned_.port(), socket), SocketError::None);
        TlsSession tls(socket);
        EXPECT_EQ(tls.handshake("localhost", 5000), verifies ? SocketError::Failed : SocketError::None)
            << tls.errorText();
    }
}

// A server that sits on the connection must not hold a fetch beyond a cancel or its timeout,
// whether it stalls before the handshake or after it.
TEST_F(TlsSessionTest, CancelAndTimeoutEndTlsWaits) {
    struct Row {
        Behaviour behaviour;
        bool cancel; // else a short timeout runs out
    };
    // Both steps wait in the same place, so each is tried with one way out.
    const Row rows[] = {
        {Behaviour::SilentTcp, false},
        {Behaviour::SilentAfterHandshake, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.behaviour == Behaviour::SilentTcp ? "handshake" : "receive") +
                     (row.cancel ? " cancelled" : " timed out"));
        TestTlsServer server(s_good, row.behaviour);
        std::atomic<bool> stopAsked{false};
        std::atomic<bool> waiting{false};
        SocketError result = SocketError::None;
        std::string text;
        Clock::time_point returned;
        Clock::time_point started;
        const int timeoutMs = row.cancel ? 20000 : 200;
        std::thread fetch([&] {
            setBlockingHook([&] {
                if (stopAsked)
                    cancelBlockingCall();
            });
            Socket socket;
            ASSERT_EQ(connectTo(server.port(), socket), SocketError::None);
            TlsSession tls(socket);
            if (row.behaviour == Behaviour::SilentAfterHandshake) {
                ASSERT_EQ(tls.handshake("localhost", 5000), SocketError::None) << tls.errorText();
                char buffer[64];
                size_t got = 0;
                started = Clock::now();
                waiting = true;
                result = tls.receive(buffer, sizeof buffer, got, timeoutMs);
            } else {
                started = Clock::now();
                waiting = true;
                result = tls.handshake("localhost", timeoutMs);
            }
            returned = Clock::now();
            text = tls.errorText();
            unhookBlockingHook();
        });
        const Clock::time_point setUp = Clock::now();
        while (!waiting && msSince(setUp) < 10000)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        const Clock::time_point flagged = Clock::now();
        if (row.cancel)
            stopAsked = true;
        fetch.join();
        if (row.cancel) {
            EXPECT_EQ(result, SocketError::Cancelled) << text;
            EXPECT_NE(text.find("cancelled"), std::string::npos) << text;
            EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(returned - flagged).count(),
                      900 * lurvik::test::kTimeScale);
        } else {
            EXPECT_EQ(result, SocketError::TimedOut) << text;
            EXPECT_NE(text.find("timed out"), std::string::npos) << text;
            long waited = std::chrono::duration_cast<std::chrono::milliseconds>(returned - started).count();
            EXPECT_GE(waited, timeoutMs - 5);
            EXPECT_LT(waited, timeoutMs + 900 * lurvik::test::kTimeScale);
        }
    }
}

// Writing to a server that has hung up must fail with a code: with a plain write() underneath, the
// process would die of SIGPIPE instead.
TEST_F(TlsSessionTest, ServerThatHangsUpAfterTheHandshake) {
    TestTlsServer server(s_good, Behaviour::CloseAfterHandshake);
    Socket socket;
    ASSERT_EQ(connectTo(server.port(), socket), SocketError::None);
    TlsSession tls(socket);
    ASSERT_EQ(tls.handshake("127.0.0.1", 5000), SocketError::None) << tls.errorText();
    char buffer[64];
    size_t got = 1;
    EXPECT_EQ(tls.receive(buffer, sizeof buffer, got, 5000), SocketError::None) << tls.errorText();
    EXPECT_EQ(got, 0u);

    const std::string chunk(16384, 'x');
    const Clock::time_point start = Clock::now();
    SocketError sent = SocketError::None;
    while (sent == SocketError::None && msSince(start) < 5000) {
        sent = tls.sendAll(chunk.data(), chunk.size(), 1000);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(sent, SocketError::Closed) << tls.errorText();
    EXPECT_EQ(tls.errorText(), "TLS send: connection closed by the server");
}

} // namespace
} // namespace lurvik
