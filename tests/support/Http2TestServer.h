#pragma once

#include "RecordedRequest.h"
#include "TestServer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_ctx_st;

namespace lurvik::test {

// An HTTPS server on 127.0.0.1 that speaks HTTP/2 (nghttp2's server API) to clients that ask for it
// by ALPN and HTTP/1.1 to the others, for tests of the program's HTTP/2 client. It answers from the
// routes of a TestServer (pages, redirects, challenges, throttles, served directories, generated
// pages), so a fixture declared once is served over both protocols; a stalled route holds its
// stream open. Its certificate is signed by a CA made for the run (caFile()).
//
// It logs every request in arrival order, as TestServer does, and counts connections and streams.
// Each connection runs on its own thread; stop() (or the destructor) wakes and joins them all.
class Http2TestServer {
public:
    explicit Http2TestServer(TestServer& routes);
    ~Http2TestServer();
    Http2TestServer(const Http2TestServer&) = delete;
    Http2TestServer& operator=(const Http2TestServer&) = delete;

    // Set before start(). false: ALPN never picks h2, as a server of HTTP/1.1 only.
    void setOffersHttp2(bool offers) { m_offersHttp2 = offers; }
    // Announced as SETTINGS_MAX_CONCURRENT_STREAMS; 0 announces none (no limit).
    void setMaxConcurrentStreams(uint32_t streams) { m_maxStreams = streams; }
    // Every reply waits this long, without holding up the connection's other streams.
    void setReplyDelay(std::chrono::milliseconds delay) { m_replyDelay = delay; }
    // Once a connection has taken this many requests, GOAWAY naming the last of them: those are
    // answered, later ones refused, and the connection closes when it is done (0: never).
    void setGoawayAfter(int requests) { m_goawayAfter = requests; }
    // RST_STREAM with errorCode for the first `times` requests of path (all when negative).
    void addReset(const std::string& path, uint32_t errorCode, int times);

    // Listens on an ephemeral port; 0, or an errno.
    [[nodiscard]] int start();
    void stop();
    int port() const { return m_port; }
    // "https://127.0.0.1:<port>" followed by path.
    std::string url(const std::string& path = "/") const;
    // The CA certificate (PEM) that signed the server's; a client trusts it to connect.
    const std::string& caFile() const { return m_caFile; }

    int connectionsAccepted() const { return m_accepted.load(); }
    int http2Connections() const { return m_http2Connections.load(); }
    // Requests taken over HTTP/2, all connections together.
    int streamsServed() const { return m_streams.load(); }
    // The most streams open at once on one connection.
    int mostStreamsAtOnce() const { return m_mostStreams.load(); }
    std::vector<RecordedRequest> requests() const;

private:
    struct Reset {
        uint32_t errorCode = 0;
        int times = 0;
    };
    friend class Http2Connection;

    void acceptLoop();
    void serveConnection(int socket);
    void serveHttp1(struct TlsLink& link);
    void record(const RecordedRequest& request);
    // The reset due for the request of path, if any: its error code, else 0.
    uint32_t takeReset(const std::string& path);

    TestServer& m_routes;
    bool m_offersHttp2 = true;
    uint32_t m_maxStreams = 0;
    std::chrono::milliseconds m_replyDelay{0};
    int m_goawayAfter = 0;
    std::string m_caFile;
    ssl_ctx_st* m_context = nullptr;

    mutable std::mutex m_mutex; // guards m_log and m_resets
    std::vector<RecordedRequest> m_log;
    std::map<std::string, Reset> m_resets;
    std::atomic<int> m_accepted{0};
    std::atomic<int> m_http2Connections{0};
    std::atomic<int> m_streams{0};
    std::atomic<int> m_mostStreams{0};

    int m_listenFd = -1;
    int m_wakePipe[2] = {-1, -1};
    int m_port = 0;
    std::thread m_acceptThread;
};

} // namespace lurvik::test
